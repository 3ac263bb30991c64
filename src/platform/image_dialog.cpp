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
  QFileDialog dlg(parent, "Save image as..");
  // The platform's dialog could not take a field of the program's own.
  dlg.setOption(QFileDialog::DontUseNativeDialog, true);
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  dlg.setNameFilters(image_filters());
  dlg.selectNameFilter(image_filters().first());
  if (folder) dlg.setDirectory(*folder);
  auto* side = new QSpinBox(&dlg);
  side->setObjectName("longSide");
  side->setRange(kMinLongSide, kMaxLongSide);
  side->setValue(long_side);
  side->setToolTip(QString("The picture's longer side: %1 to %2 pixels (points for PDF)")
                       .arg(kMinLongSide)
                       .arg(kMaxLongSide));
  auto* label = new QLabel("Long side (pixels):", &dlg);
  label->setBuddy(side);
  // Under the file type, in the columns of the name and the type.
  if (auto* grid = qobject_cast<QGridLayout*>(dlg.layout())) {
    const int row = grid->rowCount();
    grid->addWidget(label, row, 0);
    grid->addWidget(side, row, 1);
  } else {
    dlg.layout()->addWidget(label);
    dlg.layout()->addWidget(side);
  }
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
  // A number typed but not yet taken by the field (no Enter, no focus change)
  // counts as typed.
  side->interpretText();
  return ImageChoice{dlg.selectedFiles().first(), dlg.selectedNameFilter(), side->value()};
}

}  // namespace lozengia
