#include "OverlayWindows.h"

OverlayWindows::OverlayWindows()
{
    InputWindow::setInstance(&inputCtl);
    LaserPointer::setInstance(&lightCtl);
}

OverlayWindows::~OverlayWindows()
{
    LaserPointer::setInstance(nullptr);
    InputWindow::setInstance(nullptr);
}
