#include "dashboard/dashboard.h"

// The panel's entries are not drawn yet: the frame that PaintDashboard draws is all the
// panel shows so far.
void DrawFaultPanel(HDC) {}
