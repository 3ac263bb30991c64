// What the program remembers between runs: the main window's geometry and its
// windows' places, the
// fields of the command dialogs, the picture style, "Redraw after each
// command", the long side of saved pictures and the last folders of saving
// and export. Every value read is
// checked: a setting of the wrong type or out of range is ignored, as if it
// had never been written. GUI thread only.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantMap>
#include <memory>
#include <optional>
#include <string>

class QSettings;

namespace lozengia {

class Settings {
 public:
  // `ini_path` empty: the user's own settings of the program; else that file
  // (tests keep theirs private this way). A path that is there but not a
  // regular file (a pipe, a device, a folder) is never opened: the settings
  // then live in memory for the run, and problem() says so.
  explicit Settings(const QString& ini_path = QString());
  ~Settings();

  // A whole number in [lo, hi], typed as such or as its text.
  std::optional<int> integer(const QString& key, int lo, int hi) const;
  // A text of at most `max_length` characters.
  std::optional<QString> text(const QString& key, int max_length = 80) const;
  std::optional<bool> flag(const QString& key) const;
  QByteArray bytes(const QString& key, int max_size = 64 * 1024) const;
  // An existing folder.
  std::optional<QString> folder(const QString& key) const;

  void set(const QString& key, int value);
  void set(const QString& key, const QString& value);
  void set_flag(const QString& key, bool value);
  void set_bytes(const QString& key, const QByteArray& value);

  // Forgets every setting.
  void clear();
  void sync();

  // One line for the text window when the settings file was not used; empty
  // when it was.
  const std::string& problem() const { return problem_; }

 private:
  QVariant value(const QString& key) const;
  void store(const QString& key, const QVariant& v);

  std::unique_ptr<QSettings> s_;  // null when the file is not used
  QVariantMap memory_;            // the settings then
  std::string problem_;
};

// The keys.
namespace setting {
inline const QString kGeometry = "window/geometry";
// The text window's and the first picture window's places in the frame, as
// "x,y,width,height".
inline const QString kTextWindowPlace = "window/text";
inline const QString kPictureWindowPlace = "window/picture";
// Whether they were left maximised (their places are then where they go back
// to when restored).
inline const QString kTextWindowMaximised = "window/text_maximised";
inline const QString kPictureWindowMaximised = "window/picture_maximised";
inline const QString kNewKind = "new/kind";
// "new/1002" ... : the New hexagon fields by control id.
inline QString new_field(int id) { return QString("new/%1").arg(id); }
inline const QString kSteps = "steps/steps";
inline const QString kSamples = "steps/samples";
inline const QString kLiveTransition = "live/transition";
inline const QString kLiveDelay = "live/delay";
inline const QString kStyle = "picture/style";
inline const QString kRedrawAfterCommand = "picture/redraw_after_each_command";
// "Save image as..": the long side last typed, in pixels.
inline const QString kSaveLongSide = "picture/save_long_side";
inline const QString kSaveFolder = "folders/save";
inline const QString kExportFolder = "folders/export";
}  // namespace setting

}  // namespace lozengia
