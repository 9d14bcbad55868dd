// Windows has no cairo beside the system: the Windows build writes SVG only.
#include "platform/canvas.h"

namespace canvas {

std::unique_ptr<Canvas> NewPng(int, int, std::string* whyNot) {
    *whyNot = "PNG pictures are made by the Linux build only; write SVG (the default), which "
              "any browser shows";
    return nullptr;
}

} // namespace canvas
