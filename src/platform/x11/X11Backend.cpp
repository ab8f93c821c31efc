#include "X11Backend.h"

#include "WidgetLaserDot.h"

#include <QApplication>

std::unique_ptr<LaserDotSurface> X11Backend::makeLaserDotSurface()
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return nullptr;
    return std::make_unique<WidgetLaserDot>();
}
