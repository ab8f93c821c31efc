#include "WindowCtl.h"

#include "ShellResources.h"

#include <QGuiApplication>
#include <QScreen>

WindowCtl::WindowCtl(QWidget* parent) : QWidget(parent)
{
    ShellResources::load();
    setWindowFlags(Qt::Window | Qt::WindowStaysOnTopHint);
}

void WindowCtl::center()
{
    const QScreen* where = screen() ? screen() : QGuiApplication::primaryScreen();
    if (where == nullptr)
        return;
    // The layout decides the final size; take it before placing the window.
    resize(size().expandedTo(minimumSizeHint()));
    const QRect area = where->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
}

void WindowCtl::makeKeyAndOrderFront()
{
    show();
    raise();
    activateWindow();
}
