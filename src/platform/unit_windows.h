// The windows the commands address by unit number: 10 the text window
// ("Information and help"), 27 the picture window that receives new
// pictures, 100 the scratch window (only its title is kept: pictures are
// drawn off screen). Opens them in the frame's window area, writes the text
// window's lines, shows tilings, and tells the picture windows' titles what
// the program's present tiling is.
//
// Lives on the GUI thread; the services marked "any thread" may be called
// from the program's own thread: they are carried out on the GUI thread,
// queued in order or waited for (gui_call_queue.h). The keys typed in the
// receiving picture window are only passed on, as keyTyped (picture_keys.h
// keeps them).
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

#include "core/hexagon.h"

class QMdiSubWindow;

namespace lozengia {

constexpr int kTextUnit = 10;
constexpr int kPictureUnit = 27;
constexpr int kScratchUnit = 100;

class GuiCallQueue;
class MainWindow;
class PictureWindow;
class TextWindow;
struct TilingSnapshot;

class UnitWindows : public QObject {
  Q_OBJECT
 public:
  UnitWindows(GuiCallQueue& gui, MainWindow& frame);

  // Any thread.
  void open_text_window(const std::string& title);
  void write_line(int unit, const std::string& text);  // queued, in order
  void clear_window(int unit);
  // Opens unit 27 as a new picture window; an earlier one stays on screen
  // with its picture but no longer receives pictures.
  void open_picture_window(const std::string& title);
  void open_scratch_window(const std::string& title);
  // Brings the window of `unit` to the front (queued). A maximised picture
  // keeps the text window behind it.
  void focus(int unit);
  // Shows `tiling` in the window of `unit` (unit 27), reopening it when the
  // user closed it, and brings it to the front. From another thread the
  // picture is drawn on that thread and shown whole when done; on the GUI
  // thread it is drawn on the window's own drawing thread.
  void show_tiling(int unit, std::shared_ptr<const TilingSnapshot> tiling);
  // The program's tiling is now `version` of this hexagon and model, the
  // average of `averaged` samples: older pictures say so in their titles.
  void set_present_tiling(uint64_t version, const HexagonParams& params, int32_t averaged);

  // GUI thread: the picture window that receives pictures and keys (unit
  // 27); null once the user closed it.
  PictureWindow* current_picture() const { return receiving_; }

  // Inspection, for the tests (GUI thread): the title of the window of
  // `unit`, empty when it is not open.
  QString window_title(int unit) const;

 signals:
  // A key typed in the receiving picture window.
  void keyTyped(char c);
  // The receiving picture window was closed: no key can come from it.
  void receivingPictureClosed();

 private:
  PictureWindow* open_picture_window_now(const QString& title);

  GuiCallQueue& gui_;
  MainWindow& frame_;
  QMdiSubWindow* text_sub_ = nullptr;
  TextWindow* text_ = nullptr;
  QString scratch_title_;
  PictureWindow* receiving_ = nullptr;  // unit 27; cleared when it is destroyed
};

}  // namespace lozengia
