#include "platform/help_page.h"

#include <QDialogButtonBox>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace lozengia {

HelpPage::HelpPage(const QString& title, const HelpContent& content, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(title);
  setModal(false);
  browser_ = new QTextBrowser(this);
  browser_->setOpenLinks(false);
  for (const auto& [name, image] : content.images)
    browser_->document()->addResource(QTextDocument::ImageResource, QUrl(name), image);
  browser_->setHtml(content.html);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(browser_);
  layout->addWidget(buttons);
  resize(760, 640);
}

}  // namespace lozengia
