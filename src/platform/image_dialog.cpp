#include "platform/image_dialog.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QSpinBox>

#include "platform/image_saving.h"
#include "render/tiling.h"

namespace lozengia {

std::optional<ImageChoice> ask_image_file(QWidget* parent, const std::optional<QString>& folder,
                                          int long_side) {
  QFileDialog dialog(parent, "Save image as..");
  // The platform's dialog could not take a field of the program's own.
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilters(image_filters());
  dialog.selectNameFilter(image_filters().first());
  if (folder) dialog.setDirectory(*folder);
  auto* side = new QSpinBox(&dialog);
  side->setObjectName("longSide");
  side->setRange(kMinLongSide, kMaxLongSide);
  side->setValue(long_side);
  side->setToolTip(QString("The picture's longer side: %1 to %2 pixels (points for PDF)")
                       .arg(kMinLongSide)
                       .arg(kMaxLongSide));
  auto* label = new QLabel("Long side (pixels):", &dialog);
  label->setBuddy(side);
  // Under the file type, in the columns of the name and the type.
  if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
    const int row = grid->rowCount();
    grid->addWidget(label, row, 0);
    grid->addWidget(side, row, 1);
  } else {
    dialog.layout()->addWidget(label);
    dialog.layout()->addWidget(side);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  // A number typed but not yet taken by the field (no Enter, no focus change)
  // counts as typed.
  side->interpretText();
  return ImageChoice{dialog.selectedFiles().first(), dialog.selectedNameFilter(), side->value()};
}

}  // namespace lozengia
