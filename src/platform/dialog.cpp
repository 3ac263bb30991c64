#include "platform/dialog.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVariant>

#include "ui_dialog101_new.h"
#include "ui_dialog102_style.h"
#include "ui_dialog103_splus.h"
#include "ui_dialog104_sminus.h"
#include "ui_dialog105_live.h"

namespace lozengia {

namespace {

template <class Ui>
void setup(QDialog* d) {
  Ui ui;
  ui.setupUi(d);  // the widgets belong to the dialog; the Ui record is not kept
}

int control_id(const QObject* w) {
  const QVariant v = w->property("controlId");
  return v.isValid() ? v.toInt() : -1;
}

}  // namespace

Dialog::Dialog(int resource_id, QWidget* parent) : resource_id_(resource_id) {
  auto d = std::make_unique<QDialog>(parent);
  switch (resource_id) {
    case 101:
      setup<Ui_Dialog101>(d.get());
      break;
    case 102:
      setup<Ui_Dialog102>(d.get());
      break;
    case 103:
      setup<Ui_Dialog103>(d.get());
      break;
    case 104:
      setup<Ui_Dialog104>(d.get());
      break;
    case 105:
      setup<Ui_Dialog105>(d.get());
      break;
    default:
      return;  // unknown template: not loaded
  }
  dialog_ = std::move(d);
  // The dialog is opened as the user's next step, not left behind.
  dialog_->setModal(true);
  for (QPushButton* b : dialog_->findChildren<QPushButton*>()) {
    const int id = control_id(b);
    if (id < 0) continue;
    if (id != 1 && b->text() == QLatin1String("Cancel")) dismiss_id_ = id;
    QObject::connect(b, &QPushButton::clicked, dialog_.get(), [this, id] {
      auto it = callbacks_.find(id);
      if (it != callbacks_.end())
        it->second(*this, id);
      else
        close(id);
    });
  }
  for (QComboBox* c : dialog_->findChildren<QComboBox*>()) {
    const int id = control_id(c);
    QObject::connect(c, &QComboBox::currentIndexChanged, dialog_.get(), [this, id](int) {
      auto it = callbacks_.find(id);
      if (it != callbacks_.end()) it->second(*this, id);
    });
  }
}

Dialog::~Dialog() = default;

QWidget* Dialog::control(int id) const {
  if (!dialog_) return nullptr;
  for (QWidget* w : dialog_->findChildren<QWidget*>())
    if (control_id(w) == id) return w;
  return nullptr;
}

void Dialog::set_text(int id, const std::string& text) {
  QWidget* w = control(id);
  // Fields hold at most 80 characters, like the buffers they are read into.
  const QString t = QString::fromStdString(text).left(80);
  if (auto* e = qobject_cast<QLineEdit*>(w))
    e->setText(t);
  else if (auto* l = qobject_cast<QLabel*>(w))
    l->setText(t);
  else if (auto* b = qobject_cast<QAbstractButton*>(w))
    b->setText(t);
}

std::string Dialog::text(int id) const {
  QWidget* w = control(id);
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text().toStdString();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text().toStdString();
  if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText().toStdString();
  return {};
}

void Dialog::set_label(int id, const std::string& text) {
  if (!dialog_) return;
  if (auto* l = dialog_->findChild<QLabel*>(QString("label%1").arg(id)))
    l->setText(QString::fromStdString(text));
}

std::string Dialog::label(int id) const {
  if (!dialog_) return {};
  const auto* l = dialog_->findChild<QLabel*>(QString("label%1").arg(id));
  return l ? l->text().toStdString() : std::string();
}

void Dialog::set_tooltip(int id, const std::string& text) {
  const QString t = QString::fromStdString(text);
  if (QWidget* w = control(id)) w->setToolTip(t);
  if (dialog_)
    if (auto* l = dialog_->findChild<QLabel*>(QString("label%1").arg(id))) l->setToolTip(t);
}

void Dialog::set_checked(int id, bool on) {
  if (auto* b = qobject_cast<QAbstractButton*>(control(id))) b->setChecked(on);
}

bool Dialog::checked(int id) const {
  auto* b = qobject_cast<QAbstractButton*>(control(id));
  return b != nullptr && b->isChecked();
}

void Dialog::set_enabled(int id, bool on) {
  if (QWidget* w = control(id)) w->setEnabled(on);
}

bool Dialog::enabled(int id) const {
  QWidget* w = control(id);
  return w != nullptr && w->isEnabled();
}

void Dialog::set_items(int id, const std::vector<std::string>& items) {
  auto* c = qobject_cast<QComboBox*>(control(id));
  if (!c) return;
  const QSignalBlocker block(c);  // filling the list is not a user's change
  c->clear();
  for (const auto& s : items) c->addItem(QString::fromStdString(s));
}

void Dialog::set_selection(int id, int k) {
  auto* c = qobject_cast<QComboBox*>(control(id));
  if (!c) return;
  const QSignalBlocker block(c);
  c->setCurrentIndex(k >= 1 && k <= c->count() ? k - 1 : -1);
}

int Dialog::selection(int id) const {
  auto* c = qobject_cast<QComboBox*>(control(id));
  return c ? c->currentIndex() + 1 : 0;
}

void Dialog::set_callback(int id, Callback callback) { callbacks_[id] = std::move(callback); }

int Dialog::run() {
  if (!dialog_) return 0;
  if (auto* e = qobject_cast<QLineEdit*>(control(first_field_))) {
    e->setFocus(Qt::TabFocusReason);
    e->selectAll();
  }
  const int r = dialog_->exec();
  return r == QDialog::Rejected ? dismiss_id_ : r;
}

void Dialog::close(int id) {
  if (dialog_) dialog_->done(id);
}

}  // namespace lozengia
