// The frame's windows: the text window (unit 10), the picture windows, and
// which of them receives new pictures (unit 27). Keeps the picture windows'
// titles saying whether they show the program's present tiling, and lists
// every window for the Window menu.
#pragma once

#include <QHash>
#include <QList>
#include <QMdiSubWindow>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <cstdint>

#include "core/hexagon.h"

class QMdiArea;

namespace lozengia {

class PictureWindow;

class WindowRegistry : public QObject {
  Q_OBJECT
 public:
  explicit WindowRegistry(QMdiArea* mdi, QObject* parent = nullptr);

  void set_text_window(QMdiSubWindow* sub);
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

  // The program's tiling is now `version`, of this hexagon and model, the
  // average of `averaged` samples (1: a sample).
  void set_present(uint64_t version, const HexagonParams& params, int32_t averaged);
  void update_titles();
  // A picture window's title says what it shows, numbered in the order the
  // windows were opened ("Lozengia 2: Racah N=100 T=200 S=100 K=250"), and,
  // when the program's tiling has changed since, what changed ("... — model
  // changed: Show tiling to redraw").
  QString title_for(const QMdiSubWindow* sub) const;
  // A picture window's number, from 1.
  int number_of(const QMdiSubWindow* sub) const { return numbers_.value(sub, 0); }

  // Where `sub` is when neither maximised nor minimised: the place it goes
  // back to, which is the one to remember.
  QRect normal_place(const QMdiSubWindow* sub) const;
  // True when a picture window fills the window area (and hides the text
  // window behind it).
  bool picture_maximised() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 signals:
  void windowsChanged();
  // A picture window's zoom or view changed.
  void viewChanged();

 private:
  QMdiArea* mdi_;
  QMdiSubWindow* text_ = nullptr;
  QMdiSubWindow* current_ = nullptr;  // unit 27; cleared when it is destroyed
  QList<QMdiSubWindow*> pictures_;
  QHash<const QMdiSubWindow*, int> numbers_;
  QHash<const QObject*, QRect> normal_places_;
  int opened_ = 0;
  uint64_t version_ = 0;
  HexagonParams present_;
  int32_t averaged_ = 1;
};

}  // namespace lozengia
