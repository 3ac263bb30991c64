// "Save image as..": the file type comes from the type chosen in the dialog,
// the matching suffix is added when the name has none of the four, and the
// picture is drawn afresh from the tiling (PNG and BMP as pixels, SVG and PDF
// as vectors), through the same canvas code as the command-line tool's. Also
// the words the desktop program uses for a file it could not write.
#pragma once

#include <QString>
#include <QStringList>
#include <string>

#include "render/output_file.h"
#include "render/picture_files.h"

namespace lozengia {

struct TilingSnapshot;

struct ImageTarget {
  QString path;
  PictureFormat format = PictureFormat::kPng;
};

// The dialog's list of types, in this order: PNG, BMP, SVG, PDF.
QStringList image_filters();
// A name ending in one of the four suffixes keeps it and its type, whatever
// the chosen filter; any other name gets the chosen type and its suffix.
ImageTarget image_target(const QString& name, const QString& chosen_filter);
// Why the picture, `size_px` on its long side, is not even tried in that
// type: an SVG file that could grow past its bound (the message every
// front-end gives), or a picture whose memory (picture_file_need) is not to
// be had ("Not enough memory for this picture: needs X, Y available");
// empty when it may be.
std::string image_refusal(const ImageTarget& target, const TilingSnapshot& tiling, int size_px);
// The picture, `size_px` on its long side (points for PDF); a failure leaves
// an old file as it was.
WriteStatus save_tiling_image(const ImageTarget& target, const TilingSnapshot& tiling,
                              int size_px);

// What the desktop program says of a file it could not write (an export, a
// saved picture or view): the program's own "Error while opening file" or
// "Error while writing to file" first, then the file's name and the system's
// reason, as the command-line tool says them; for a file refused because it
// could only be written in place without a copy of its old content, also
// what the user can do about it.
std::string save_failure_text(const WriteStatus& status, const std::string& name);

}  // namespace lozengia
