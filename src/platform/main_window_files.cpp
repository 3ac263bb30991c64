// The frame's slots that write a picture out: "Save image as.." (the whole
// tiling as PNG, BMP, SVG or PDF), "Save view as.." (what a window shows),
// Copy and Print. Each refuses or reports in a message box; none changes the
// tiling.
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QStatusBar>
#include <algorithm>
#include <memory>
#include <new>

#include "platform/image_dialog.h"
#include "platform/image_saving.h"
#include "platform/main_window.h"
#include "platform/picture_actions.h"
#include "platform/picture_window.h"
#include "platform/settings.h"
#include "platform/text_window.h"
#include "platform/window_registry.h"
#include "render/lozenge_regions.h"
#include "render/qpainter_canvas.h"

namespace lozengia {

namespace {
// Pixels of the longer side of a saved picture at least.
constexpr int kMinSavedPixels = 600;
}  // namespace

void MainWindow::save_image() {
  QPointer<PictureWindow> shown = registry_->looked_at();  // the dialog lets it go meanwhile
  if (!shown || !shown->tiling()) return;
  // The long side last typed, else the window's, at least kMinSavedPixels.
  const int window_side = std::max({kMinSavedPixels, shown->width(), shown->height()});
  ImageChoice choice{{}, {}, std::min(window_side, kMaxLongSide)};
  if (auto last = settings_.integer(setting::kSaveLongSide, kMinLongSide, kMaxLongSide))
    choice.long_side = *last;
  if (image_name_source_) {
    auto chosen = image_name_source_();
    if (!chosen) return;
    std::tie(choice.name, choice.filter) = *chosen;
  } else {
    auto asked = ask_image_file(this, settings_.folder(setting::kSaveFolder), choice.long_side);
    if (!asked) return;
    choice = *asked;
    settings_.set(setting::kSaveLongSide, choice.long_side);
  }
  if (choice.name.isEmpty() || !shown || !shown->tiling()) return;
  const TilingSnapshot& tiling = *shown->tiling();
  const ImageTarget target = image_target(choice.name, choice.filter);
  const std::string why = image_refusal(target, tiling, choice.long_side);
  if (!why.empty()) return message_box(why, "Error!");
  WriteStatus status;
  try {
    status = save_tiling_image(target, tiling, choice.long_side);
  } catch (const std::bad_alloc&) {
    // Counted before, and short all the same: the old file is as it was.
    return message_box(
        "Not enough memory for this picture: " + target.path.toStdString() + " is not written.",
        "Error!");
  }
  if (status == WriteStatus::kOk) {
    settings_.set(setting::kSaveFolder, QFileInfo(target.path).absolutePath());
    statusBar()->showMessage("Image saved as " + target.path, 5000);
  } else {
    message_box(save_failure_text(status, target.path.toStdString()), "Error!");
  }
}

void MainWindow::save_view(PictureWindow* window) {
  if (!window) window = registry_->looked_at();
  if (!window || !window->tiling()) return;
  QPointer<PictureWindow> target = window;  // the dialog lets the window go meanwhile
  QString name, filter;
  if (view_name_source_) {
    auto chosen = view_name_source_();
    if (!chosen) return;
    std::tie(name, filter) = *chosen;
  } else {
    QFileDialog dialog(this, "Save view as..");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(view_filters());
    if (auto dir = settings_.folder(setting::kSaveFolder)) dialog.setDirectory(*dir);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    name = dialog.selectedFiles().first();
    filter = dialog.selectedNameFilter();
  }
  if (name.isEmpty() || !target) return;
  if (name.endsWith(".svg", Qt::CaseInsensitive) || name.endsWith(".pdf", Qt::CaseInsensitive)) {
    message_box(
        "A view is saved as a PNG or BMP picture; \"Save image as..\" draws the whole "
        "hexagon as SVG or PDF.",
        "Error!");
    return;
  }
  const QString path = view_path(name, filter);
  WriteStatus status;
  try {
    status = lozengia::save_view(*target, path);
  } catch (const std::bad_alloc&) {
    return message_box(
        "Not enough memory for this picture: " + path.toStdString() + " is not written.", "Error!");
  }
  if (status == WriteStatus::kOk) {
    settings_.set(setting::kSaveFolder, QFileInfo(path).absolutePath());
    statusBar()->showMessage("View saved as " + path, 5000);
  } else {
    message_box(save_failure_text(status, path.toStdString()), "Error!");
  }
}

void MainWindow::copy(PictureWindow* window) {
  TextWindow* text = text_window();
  if (!window && text && mdi_->activeSubWindow() == registry_->text_window() &&
      text->copy_selection())
    return;
  if (!window) window = registry_->looked_at();
  if (!window) return;
  std::unique_ptr<QMimeData> data;
  try {
    data = picture_mime_data(*window);
  } catch (const std::bad_alloc&) {
    statusBar()->showMessage("Not enough memory to copy the picture", 5000);
    return;
  }
  if (!data) return;
  const bool svg = data->hasFormat("image/svg+xml");
  QGuiApplication::clipboard()->setMimeData(data.release());
  statusBar()->showMessage(
      svg ? "Picture copied (image and SVG drawing)" : "Picture copied (image)", 5000);
}

bool MainWindow::print_picture(QPrinter& printer) const {
  const PictureWindow* view = registry_->looked_at();
  if (!view || !view->tiling()) return false;
  const TilingSnapshot& tiling = *view->tiling();
  QPainter p;
  if (!p.begin(&printer)) return false;
  // The lozenges as vector shapes (the merged ones of the PDF picture),
  // sharp at the printer's resolution whatever the window's size, centred
  // on the sheet: in the largest rectangle about the sheet's centre that
  // the printable area holds (its margins need not be even).
  const QRectF page = printer.pageRect(QPrinter::DevicePixel);
  const QRectF paper = printer.paperRect(QPrinter::DevicePixel);
  const QPointF centre = paper.center() - page.topLeft();  // in the painter's coordinates
  const double half_w = std::min(centre.x(), page.width() - centre.x());
  const double half_h = std::min(centre.y(), page.height() - centre.y());
  if (!(half_w > 0.0 && half_h > 0.0)) {
    p.end();
    return false;
  }
  const QRectF area(centre.x() - half_w, centre.y() - half_h, 2 * half_w, 2 * half_h);
  p.translate(area.topLeft());
  const int width = static_cast<int>(area.width()), height = static_cast<int>(area.height());
  QPainterCanvas canvas(p, QSizeF(area.width(), area.height()));
  const WorldRect world =
      fit_to_aspect(picture_content(tiling.tiling(), tiling.style), area.width(), area.height());
  draw_tiling_merged(canvas, tiling.tiling(), tiling.picture_style(), {world, width, height});
  return p.end();
}

void MainWindow::print_image() {
  QPrinter printer(QPrinter::HighResolution);
  QPrintDialog dialog(&printer, this);
  dialog.setWindowTitle("Print image");
  if (dialog.exec() != QDialog::Accepted) return;
  if (!print_picture(printer)) message_box("The image could not be printed.", "Error!");
}

}  // namespace lozengia
