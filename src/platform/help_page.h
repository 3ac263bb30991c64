// A help page of the Help menu: rich text with pictures in a window of its
// own that stays open beside the program (not modal), brought back to the
// front when asked for again.
#pragma once

#include <QDialog>
#include <QImage>
#include <QString>
#include <utility>
#include <vector>

class QTextBrowser;

namespace lozengia {

// What a page shows: HTML, and the pictures it names in its <img src="...">
// tags.
struct HelpContent {
  QString html;
  std::vector<std::pair<QString, QImage>> images;
};

class HelpPage : public QDialog {
  Q_OBJECT
 public:
  HelpPage(const QString& title, const HelpContent& content, QWidget* parent);

  QTextBrowser* browser() const { return browser_; }

 private:
  QTextBrowser* browser_ = nullptr;
};

}  // namespace lozengia
