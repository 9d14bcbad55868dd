// An SVG picture, as plain text: numbers with one decimal, so that a day of log stays
// small.
#pragma once

#include "platform/canvas.h"

namespace canvas {

std::unique_ptr<Canvas> NewSvg(int width, int height);

} // namespace canvas
