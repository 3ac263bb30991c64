// The tiling picture as a file: PNG and BMP rasterised into a QImage, SVG
// streamed as merged shapes (svg_tiling.h), PDF (vector) through QPdfWriter
// with the same merged shapes. Needs QtGui and QtSvg but no running
// application object. Every file is written by the project's one file writer
// (render/output_file.h): "-" is standard output, pipes and devices are
// written straight in, files are replaced only once whole.
#pragma once

#include <cstdint>
#include <string>

#include <QImage>

#include "core/hexagon.h"
#include "core/memory_need.h"
#include "render/output_file.h"
#include "render/tiling.h"

namespace lozengia {

// The picture of the frame on a white frame.width x frame.height image,
// rasterised on every core (drawn sharply at the frame's scale, however small
// a part of the tiling it shows).
QImage render_tiling_image(const Tiling& tiling, const PictureStyle& style,
                           const PictureFrame& frame);

enum class PictureFormat { kPng, kBmp, kSvg, kPdf };

// The picture of the frame written to `path`, frame.width x frame.height
// pixels (PDF: points). kOpenError when the target is refused (checked before
// anything is drawn), kWriteError when the picture could not be made (ENOMEM
// when its image could not be had) or written; an existing file is then left
// as it was. std::bad_alloc when the drawing runs out of memory.
WriteStatus write_tiling_picture(PictureFormat format, const std::string& path,
                                 const Tiling& tiling, const PictureStyle& style,
                                 const PictureFrame& frame, const WriteOptions& options = {});

// What writing that picture allocates at its largest, counted before it is
// drawn: PNG and BMP the image's pixels, the rasteriser's bands and the
// encoded file; SVG and PDF the shapes traced at once (svg_memory_bound).
// A PDF page's own bytes (the shapes' drawing commands, in Qt's writer) are
// not counted: they do not grow with the page's size.
MemoryNeed picture_file_need(PictureFormat format, const Tiling& tiling, const PictureStyle& style,
                             const PictureFrame& frame);

}  // namespace lozengia
