// The tiling picture as an SVG file that stays small: one path element per
// colour and per line type, regions of one lozenge type merged into
// polygons, integer lattice coordinates under one transform, written as a
// stream (the document is never held whole).
#pragma once

#include <cstdint>
#include <string>

#include "core/hexagon.h"
#include "render/pp_writer.h"
#include "render/tiling.h"

namespace lozengia {

// Largest SVG picture written, in bytes (an upper bound of the file is
// checked against it before any work), and the most memory its writing may
// take besides the configuration itself.
constexpr uint64_t kSvgMaxBytes = 100ull << 20;
constexpr uint64_t kSvgMaxMemory = 160ull << 20;

// Upper bounds of the file's size and of the writer's memory for a hexagon
// N x (T-S) x S in `style`, whatever the configuration.
uint64_t svg_size_bound(int32_t N, int32_t T, int32_t S, StyleNumber style);
uint64_t svg_memory_bound(int32_t N, int32_t T, int32_t S, StyleNumber style);

// Empty when the picture may be written; otherwise the reason it is refused,
// one line for the user, the same in every front-end (the CLI, the desktop
// program's "Save image as..", the Python module).
std::string svg_size_check(int32_t N, int32_t T, int32_t S, StyleNumber style);

// The same document handed to `write` in pieces of about a MiB (the web page
// has no files); false when the frame is empty or `write` returns false.
bool stream_svg_picture(const Tiling& tiling, const PictureStyle& style, const PictureFrame& frame,
                        const TextWriter& write);
// Writes the picture of the frame, frame.width x frame.height pixels, to
// `path` through a ReplacingFile: a failure leaves an existing file as it
// was.
WriteStatus write_svg_picture(const std::string& path, const Tiling& tiling,
                              const PictureStyle& style, const PictureFrame& frame,
                              const WriteOptions& options = {});

}  // namespace lozengia
