#include "platform/window_registry.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTimer>

#include "platform/picture_window.h"

namespace lozengia {

WindowRegistry::WindowRegistry(QMdiArea* mdi, QObject* parent) : QObject(parent), mdi_(mdi) {}

void WindowRegistry::add_picture_window(QMdiSubWindow* sub) {
  pictures_.append(sub);
  current_ = sub;
  QObject::connect(sub, &QObject::destroyed, this, [this, sub] {
    // `sub` is half destroyed here: it is only compared, never used, and the
    // others hear of it once it is gone.
    pictures_.removeAll(sub);
    if (current_ == sub) current_ = nullptr;
    QTimer::singleShot(0, this, [this] { emit windowsChanged(); });
  });
  if (PictureWindow* p = picture_in(sub))
    QObject::connect(p, &PictureWindow::imageShown, this,
                     [this, sub] { sub->setWindowTitle(title_for(sub)); });
  update_titles();
  emit windowsChanged();
}

PictureWindow* WindowRegistry::picture_in(const QMdiSubWindow* sub) {
  return sub ? qobject_cast<PictureWindow*>(sub->widget()) : nullptr;
}

PictureWindow* WindowRegistry::current_picture() const { return picture_in(current_); }

PictureWindow* WindowRegistry::looked_at() const {
  if (PictureWindow* active = picture_in(mdi_->activeSubWindow())) return active;
  return current_picture();
}

QList<QMdiSubWindow*> WindowRegistry::windows() const {
  QList<QMdiSubWindow*> all;
  if (text_) all.append(text_);
  all.append(pictures_);
  return all;
}

QString WindowRegistry::label(const QMdiSubWindow* sub) const {
  if (sub == text_)
    return text_->isVisible() ? "Information and help" : "Information and help (closed)";
  const int n = static_cast<int>(pictures_.indexOf(const_cast<QMdiSubWindow*>(sub))) + 1;
  QString text = QString("Picture %1").arg(n);
  if (const PictureWindow* p = picture_in(sub); p && p->tiling())
    text += QString(": N=%1 T=%2 S=%3").arg(p->tiling()->N).arg(p->tiling()->T).arg(p->tiling()->S);
  if (sub != current_) text += " (kept)";
  return text;
}

void WindowRegistry::bring_back(QMdiSubWindow* sub) {
  if (!sub) return;
  const bool was_closed = !sub->isVisible();
  if (sub->isMinimized() || !sub->isVisible()) sub->showNormal();
  sub->show();
  // Closing a sub-window closes (hides) its widget as well.
  if (sub->widget()) sub->widget()->show();
  if (auto* text = qobject_cast<QPlainTextEdit*>(sub->widget()); text && was_closed) {
    // Back with the newest message in sight, once it is laid out again.
    QTimer::singleShot(0, text, [text] {
      text->verticalScrollBar()->setValue(text->verticalScrollBar()->maximum());
    });
  }
  mdi_->setActiveSubWindow(sub);
  sub->raise();
  if (sub->widget()) sub->widget()->setFocus();
  emit windowsChanged();
}

void WindowRegistry::set_present(uint64_t version, int32_t N, int32_t T, int32_t S) {
  version_ = version;
  N_ = N;
  T_ = T;
  S_ = S;
  update_titles();
}

QString WindowRegistry::title_for(const QMdiSubWindow* sub) const {
  const PictureWindow* p = picture_in(sub);
  // Only the window that receives pictures is redrawn by "Show tiling"; one
  // kept from before keeps its plain title.
  if (sub != current_ || !p || !p->tiling() || p->tiling()->version >= version_) return "Lozengia";
  const TilingSnapshot& t = *p->tiling();
  if (t.N != N_ || t.T != T_)
    return QString("Lozengia \u2014 N=%1 T=%2 S=%3, now N=%4 T=%5 S=%6: Show tiling to redraw")
        .arg(t.N)
        .arg(t.T)
        .arg(t.S)
        .arg(N_)
        .arg(T_)
        .arg(S_);
  return QString("Lozengia \u2014 S=%1, now S=%2: Show tiling to redraw").arg(t.S).arg(S_);
}

void WindowRegistry::update_titles() {
  for (QMdiSubWindow* sub : pictures_) sub->setWindowTitle(title_for(sub));
}

}  // namespace lozengia
