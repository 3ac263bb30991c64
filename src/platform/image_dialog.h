// The "Save image as.." dialog: a file name, a file type, and the picture's
// long side in pixels (points for PDF), as lozengia-cli's --size. Qt's own
// file dialog (not the desktop's), so that the field can sit in it; the
// name and type are read as image_saving.h says.
#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace lozengia {

struct ImageChoice {
  QString name;
  QString filter;  // one of image_filters()
  int long_side = 0;
};

// Asks in a modal dialog, starting in `folder` (when given) with `long_side`
// in the field; nothing when cancelled.
std::optional<ImageChoice> ask_image_file(QWidget* parent, const std::optional<QString>& folder,
                                          int long_side);

}  // namespace lozengia
