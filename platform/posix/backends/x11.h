// The X11 display backend: the program's windows on screen, with the menu bar, the
// drop-down list and the message boxes drawn by the layer as Windows draws its own.
#pragma once

#include "platform/posix/layer.h"

namespace w32 {

// Opens the display named by DISPLAY; null when there is none.
Backend* OpenX11Backend();

} // namespace w32
