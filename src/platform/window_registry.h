// The frame's windows: the text window (unit 10), the picture windows, and
// which of them receives new pictures (unit 27). Keeps the picture windows'
// titles saying whether they show the program's present tiling, and lists
// every window for the Window menu.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>

class QMdiArea;
#include <QMdiSubWindow>

namespace lozengia {

class PictureWindow;

class WindowRegistry : public QObject {
  Q_OBJECT
 public:
  explicit WindowRegistry(QMdiArea* mdi, QObject* parent = nullptr);

  void set_text_window(QMdiSubWindow* sub) { text_ = sub; }
  QMdiSubWindow* text_window() const { return text_; }

  // `sub` holds a PictureWindow and receives the pictures from now on; the
  // one before stays on screen with its picture.
  void add_picture_window(QMdiSubWindow* sub);
  QMdiSubWindow* current_picture_window() const { return current_; }
  PictureWindow* current_picture() const;
  QList<QMdiSubWindow*> picture_windows() const { return pictures_; }
  // The picture window held by `sub`, if it is one.
  static PictureWindow* picture_in(const QMdiSubWindow* sub);
  // The picture the user looks at: the active picture window, else unit 27.
  PictureWindow* looked_at() const;

  // Every window in the order the Window menu lists them, with its label.
  QList<QMdiSubWindow*> windows() const;
  QString label(const QMdiSubWindow* sub) const;
  // Shows `sub` again (also a closed text window), active and in front.
  void bring_back(QMdiSubWindow* sub);

  // The program's tiling is now `version`, of this hexagon.
  void set_present(uint64_t version, int32_t N, int32_t T, int32_t S);
  void update_titles();
  QString title_for(const QMdiSubWindow* sub) const;

 signals:
  void windowsChanged();

 private:
  QMdiArea* mdi_;
  QMdiSubWindow* text_ = nullptr;
  QMdiSubWindow* current_ = nullptr;  // unit 27; cleared when it is destroyed
  QList<QMdiSubWindow*> pictures_;
  uint64_t version_ = 0;
  int32_t N_ = 0, T_ = 0, S_ = 0;
};

}  // namespace lozengia
