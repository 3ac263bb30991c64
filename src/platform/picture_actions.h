// What a user does with one picture window besides looking at it: copy it to
// the clipboard (Ctrl+C), save what it shows ("Save view as.."), and its
// right-click menu. The picture is always drawn afresh from the window's
// tiling, at the window's zoom.
#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

#include "render/output_file.h"
#include "render/tiling.h"

class QMenu;
class QMimeData;

namespace lozengia {

class PictureWindow;

// The picture as the window shows it (its zoom and pan), in device pixels:
// sharp on a screen with a scale factor. Null without a tiling.
QImage view_image(const PictureWindow& window);

// Largest SVG drawing put on the clipboard beside the image, in bytes.
constexpr uint64_t kClipboardSvgMaxBytes = 32ull << 20;

// What Copy puts on the clipboard: the view as an image, and, when the window
// shows the whole hexagon, the same picture as an SVG drawing
// ("image/svg+xml") for programs that take vector pictures, unless the
// drawing would be larger than kClipboardSvgMaxBytes. Null without a tiling.
std::unique_ptr<QMimeData> picture_mime_data(const PictureWindow& window);

// "Save view as..": the file types offered (PNG, BMP) and the file written,
// through the project's one file writer. A name without either suffix gets the
// chosen type's.
QStringList view_filters();
QString view_path(const QString& name, const QString& chosen_filter);
WriteStatus save_view(const PictureWindow& window, const QString& path);

// The right-click menu of a picture: Save view as.., Copy, Fit, Zoom in,
// Zoom out, then the five picture styles with the present one checked.
struct PictureMenuHandlers {
  std::function<void(PictureWindow*)> save_view;
  std::function<void(PictureWindow*)> copy;
  std::function<void(PictureWindow*, StyleNumber style)> choose_style;
  // The styles are greyed while a command runs, as "Show tiling" is.
  bool styles_enabled = true;
};
void fill_picture_menu(QMenu& menu, PictureWindow* window, const PictureMenuHandlers& handlers);

// The labels of the five styles, as the style dialog gives them (index 1..5).
extern const char* const kStyleLabels[6];

}  // namespace lozengia
