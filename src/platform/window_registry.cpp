#include "platform/window_registry.h"

#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStringList>
#include <QTimer>

#include "core/params.h"
#include "platform/picture_window.h"

namespace lozengia {

WindowRegistry::WindowRegistry(QMdiArea* mdi, QObject* parent) : QObject(parent), mdi_(mdi) {}

namespace {

// "Racah N=100 T=200 S=100 K=250", with ", average of 4 samples" for an
// average.
QString description(const HexagonParams& p, int32_t averaged) {
  const ModelKind kind = model_kind_numbered(p.model.kind).value_or(kHahn);
  QString text = QString("%1 N=%2 T=%3 S=%4").arg(kModelTitles[kind]).arg(p.N).arg(p.T).arg(p.S);
  const std::string values = model_values_text(p);
  if (!values.empty()) text += " " + QString::fromStdString(values);
  if (averaged > 1) text += QString(", average of %1 samples").arg(averaged);
  return text;
}

}  // namespace

void WindowRegistry::set_text_window(QMdiSubWindow* sub) {
  text_ = sub;
  if (sub) sub->installEventFilter(this);
}

bool WindowRegistry::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::Move || e->type() == QEvent::Resize) {
    // Maximising sets the state before the window grows, so only normal
    // places are kept.
    if (auto* sub = qobject_cast<QMdiSubWindow*>(watched);
        sub && !(sub->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized)))
      normal_places_[sub] = sub->geometry();
  }
  return QObject::eventFilter(watched, e);
}

QRect WindowRegistry::normal_place(const QMdiSubWindow* sub) const {
  if (!sub) return {};
  if (!(sub->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized))) return sub->geometry();
  return normal_places_.value(sub, sub->geometry());
}

bool WindowRegistry::picture_maximised() const {
  for (const QMdiSubWindow* sub : pictures_)
    if (sub->isVisible() && sub->isMaximized()) return true;
  return false;
}

void WindowRegistry::add_picture_window(QMdiSubWindow* sub) {
  pictures_.append(sub);
  current_ = sub;
  numbers_.insert(sub, ++opened_);
  sub->installEventFilter(this);
  QObject::connect(sub, &QObject::destroyed, this, [this, sub] {
    // `sub` is half destroyed here: it is only compared, never used, and the
    // others hear of it once it is gone.
    pictures_.removeAll(sub);
    numbers_.remove(sub);
    normal_places_.remove(sub);
    if (current_ == sub) current_ = nullptr;
    QTimer::singleShot(0, this, [this] { emit windowsChanged(); });
  });
  if (PictureWindow* p = picture_in(sub)) {
    QObject::connect(p, &PictureWindow::imageShown, this,
                     [this, sub] { sub->setWindowTitle(title_for(sub)); });
    QObject::connect(p, &PictureWindow::viewChanged, this, &WindowRegistry::viewChanged);
  }
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
  // What the window shows, without the note that it is out of date.
  QString text = QString("Lozengia %1").arg(number_of(sub));
  if (const PictureWindow* p = picture_in(sub); p && p->tiling())
    text += ": " + description(p->tiling()->params(), p->tiling()->averaged);
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

void WindowRegistry::set_present(uint64_t version, const HexagonParams& params,
                                 int32_t averaged) {
  version_ = version;
  present_ = params;
  averaged_ = averaged;
  update_titles();
}

QString WindowRegistry::title_for(const QMdiSubWindow* sub) const {
  const PictureWindow* p = picture_in(sub);
  QString title = QString("Lozengia %1").arg(number_of(sub));
  if (!p || !p->tiling()) return title;
  const TilingSnapshot& t = *p->tiling();
  title += ": " + description(t.params(), t.averaged);
  // Only the window that receives pictures is redrawn by "Show tiling"; one
  // kept from before just says what it shows.
  if (sub != current_ || t.version >= version_) return title;
  QStringList changed;
  if (t.model.kind != present_.model.kind ||
      model_values_text(t.params()) != model_values_text(present_))
    changed << "model changed";
  if (t.N != present_.N || t.T != present_.T)
    changed << QString("now N=%1 T=%2 S=%3").arg(present_.N).arg(present_.T).arg(present_.S);
  else if (t.S != present_.S)
    changed << QString("now S=%1").arg(present_.S);
  if (averaged_ > 1)
    changed << QString("average of %1 samples").arg(averaged_);
  else if (changed.isEmpty())
    changed << "the tiling changed";  // a new sample at the same S
  return title + " \u2014 " + changed.join(", ") + ": Show tiling to redraw";
}

void WindowRegistry::update_titles() {
  for (QMdiSubWindow* sub : pictures_) sub->setWindowTitle(title_for(sub));
}

}  // namespace lozengia
