#include "platform/settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QVariant>

namespace lozengia {

Settings::Settings(const QString& ini_path) {
  if (ini_path.isEmpty())
    s_ = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, "Lozengia",
                                     "lozengia");
  else
    s_ = std::make_unique<QSettings>(ini_path, QSettings::IniFormat);
}

Settings::~Settings() = default;

std::optional<int> Settings::integer(const QString& key, int lo, int hi) const {
  const QVariant v = s_->value(key);
  if (!v.isValid()) return std::nullopt;
  // Only a plain number or its text; a list or anything else is not one.
  if (v.typeId() != QMetaType::Int && v.typeId() != QMetaType::LongLong &&
      v.typeId() != QMetaType::QString)
    return std::nullopt;
  bool ok = false;
  const qlonglong n = v.toString().trimmed().toLongLong(&ok);
  if (!ok || n < lo || n > hi) return std::nullopt;
  return static_cast<int>(n);
}

std::optional<QString> Settings::text(const QString& key, int max_length) const {
  const QVariant v = s_->value(key);
  if (!v.isValid() || v.typeId() != QMetaType::QString) return std::nullopt;
  const QString t = v.toString();
  if (t.size() > max_length) return std::nullopt;
  for (QChar c : t)
    if (c.category() == QChar::Other_Control) return std::nullopt;
  return t;
}

std::optional<bool> Settings::flag(const QString& key) const {
  const QVariant v = s_->value(key);
  if (!v.isValid()) return std::nullopt;
  const QString t = v.toString().trimmed().toLower();
  if (t == "true" || t == "1") return true;
  if (t == "false" || t == "0") return false;
  return std::nullopt;
}

QByteArray Settings::bytes(const QString& key, int max_size) const {
  const QVariant v = s_->value(key);
  if (!v.isValid() || v.typeId() != QMetaType::QByteArray) return {};
  const QByteArray b = v.toByteArray();
  return b.size() <= max_size ? b : QByteArray();
}

std::optional<QString> Settings::folder(const QString& key) const {
  const std::optional<QString> t = text(key, 4096);
  if (!t || t->isEmpty() || !QFileInfo(*t).isDir()) return std::nullopt;
  return QDir(*t).absolutePath();
}

void Settings::set(const QString& key, int value) { s_->setValue(key, value); }
void Settings::set(const QString& key, const QString& value) { s_->setValue(key, value); }
void Settings::set_flag(const QString& key, bool value) { s_->setValue(key, value); }
void Settings::set_bytes(const QString& key, const QByteArray& value) { s_->setValue(key, value); }

void Settings::clear() {
  s_->clear();
  s_->sync();
}

void Settings::sync() { s_->sync(); }

}  // namespace lozengia
