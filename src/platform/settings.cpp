#include "platform/settings.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QVariant>

namespace lozengia {

namespace {

// The user's own settings file, where QSettings keeps a user-scope INI file
// of organisation "Lozengia" and application "lozengia".
QString user_settings_path() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         "/Lozengia/lozengia.ini";
}

}  // namespace

Settings::Settings(const QString& ini_path) {
  const QString path = ini_path.isEmpty() ? user_settings_path() : ini_path;
  // QSettings opens the file blindly: a pipe would hang the program before
  // its first window, a device might never end. Only a regular file (or none
  // yet) is used; anything else is left alone, and the settings are kept in
  // memory for this run. stat() opens nothing.
  struct stat file_info {};
  if (::stat(QFile::encodeName(path).constData(), &file_info) == 0 && !S_ISREG(file_info.st_mode)) {
    problem_ = "The settings file " + path.toStdString() +
               " is not a regular file: it is ignored, and this run's settings are not kept.";
    return;
  }
  s_ = std::make_unique<QSettings>(path, QSettings::IniFormat);
}

Settings::~Settings() = default;

QVariant Settings::value(const QString& key) const {
  if (!s_) return memory_.value(key);
  return s_->value(key);
}

void Settings::store(const QString& key, const QVariant& v) {
  if (s_)
    s_->setValue(key, v);
  else
    memory_.insert(key, v);
}

std::optional<int> Settings::integer(const QString& key, int lo, int hi) const {
  const QVariant v = value(key);
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
  const QVariant v = value(key);
  if (!v.isValid() || v.typeId() != QMetaType::QString) return std::nullopt;
  const QString t = v.toString();
  if (t.size() > max_length) return std::nullopt;
  for (QChar c : t)
    if (c.category() == QChar::Other_Control) return std::nullopt;
  return t;
}

std::optional<bool> Settings::flag(const QString& key) const {
  const QVariant v = value(key);
  if (!v.isValid()) return std::nullopt;
  const QString t = v.toString().trimmed().toLower();
  if (t == "true" || t == "1") return true;
  if (t == "false" || t == "0") return false;
  return std::nullopt;
}

QByteArray Settings::bytes(const QString& key, int max_size) const {
  const QVariant v = value(key);
  if (!v.isValid() || v.typeId() != QMetaType::QByteArray) return {};
  const QByteArray b = v.toByteArray();
  return b.size() <= max_size ? b : QByteArray();
}

std::optional<QString> Settings::folder(const QString& key) const {
  const std::optional<QString> t = text(key, 4096);
  if (!t || t->isEmpty() || !QFileInfo(*t).isDir()) return std::nullopt;
  return QDir(*t).absolutePath();
}

void Settings::set(const QString& key, int value) { store(key, value); }
void Settings::set(const QString& key, const QString& value) { store(key, value); }
void Settings::set_flag(const QString& key, bool value) { store(key, value); }
void Settings::set_bytes(const QString& key, const QByteArray& value) { store(key, value); }

void Settings::clear() {
  memory_.clear();
  if (!s_) return;
  s_->clear();
  s_->sync();
}

void Settings::sync() {
  if (s_) s_->sync();
}

}  // namespace lozengia
