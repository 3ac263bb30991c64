// The Help menu's "Models" page: for each of the six models, what its measure
// is, what each parameter means, its allowed range and a good first value,
// with a small picture of a sample drawn by the program itself.
#pragma once

#include <QImage>
#include <cstdint>
#include <string>

#include "core/params.h"
#include "render/tiling.h"

namespace lozengia {

// The hexagon every first value is given for, and the pictures are drawn of.
constexpr int32_t kGuideN = 50, kGuideT = 100, kGuideS = 50;

// The dialog's fields holding a model's good first values on that hexagon.
NewHexagonInput guide_example(ModelKind kind);

// The page as HTML; the picture of model `kind` is the image resource
// "sample:<kind>".
std::string models_page_html();

// An exact sample of guide_example(kind), drawn `size_px` pixels square in
// the lozenge style without borders. The same picture every time: the
// sample has a seed of its own and leaves the program's random numbers alone.
QImage guide_picture(ModelKind kind, const LozengeColors& colors, int size_px);

// The paper the models and the algorithm come from, as the page and About
// cite it.
extern const char* const kModelsPaper;

}  // namespace lozengia
