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
#include "render/output_file.h"
#include "render/tiling.h"

namespace lozengia {

// The picture on a white `width` x `height` image, rasterised on every core.
// `view`, when given, is the world rectangle to show instead of the style's
// whole world (a zoomed part, drawn sharply at that zoom).
QImage render_tiling_image(const PathArray& paths, int32_t N, int32_t T, int32_t S, int32_t style,
                           const LozengeColors& colors, int width, int height,
                           const WorldRect* view = nullptr);

enum class PictureFormat { kPng, kBmp, kSvg, kPdf };

// A square picture of `size_px` pixels (PDF: points) written to `path`.
// kOpenError when the target is refused (checked before anything is drawn),
// kWriteError when the picture could not be made or written; an existing file
// is then left as it was.
WriteStatus write_tiling_picture(PictureFormat format, const std::string& path,
                                 const PathArray& paths, int32_t N, int32_t T, int32_t S,
                                 int32_t style, const LozengeColors& colors, int size_px,
                                 const WriteOptions& options = {});

// The same, true when the file was written.
bool write_tiling_png(const std::string& path, const PathArray& paths, int32_t N, int32_t T,
                      int32_t S, int32_t style, const LozengeColors& colors, int size_px);
bool write_tiling_bmp(const std::string& path, const PathArray& paths, int32_t N, int32_t T,
                      int32_t S, int32_t style, const LozengeColors& colors, int size_px);
bool write_tiling_svg(const std::string& path, const PathArray& paths, int32_t N, int32_t T,
                      int32_t S, int32_t style, const LozengeColors& colors, int size_px);
bool write_tiling_pdf(const std::string& path, const PathArray& paths, int32_t N, int32_t T,
                      int32_t S, int32_t style, const LozengeColors& colors, int size_px);

}  // namespace lozengia
