#include "MenuWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kMarkSize = 16;

// A check mark in the text colour, or a blank of the same size so that
// every title starts at the same place.
QIcon MarkIcon(bool checked, const QColor& colour)
{
    QPixmap pixmap(kMarkSize * 2, kMarkSize * 2);
    pixmap.setDevicePixelRatio(2.0);
    pixmap.fill(Qt::transparent);
    if (checked) {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(colour, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        QPainterPath mark;
        mark.moveTo(3.5, 8.5);
        mark.lineTo(6.5, 11.5);
        mark.lineTo(12.5, 4.5);
        painter.drawPath(mark);
    }
    return QIcon(pixmap);
}

} // namespace

MenuWindow::MenuWindow(const QList<QAction*>& actions, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("MenuWindow"));
    setWindowTitle(QStringLiteral("Corvane"));
    const QColor text = palette().color(QPalette::ButtonText);
    checkedIcon = MarkIcon(true, text);
    blankIcon = MarkIcon(false, text);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(0);
    for (QAction* action : actions) {
        if (action->isSeparator()) {
            auto* line = new QFrame(this);
            line->setFrameShape(QFrame::HLine);
            line->setFrameShadow(QFrame::Sunken);
            layout->addSpacing(3);
            layout->addWidget(line);
            layout->addSpacing(3);
            continue;
        }
        auto* button = new QPushButton(this);
        button->setFlat(true);
        button->setIconSize(QSize(kMarkSize, kMarkSize));
        button->setFocusPolicy(Qt::TabFocus);
        connect(button, &QPushButton::clicked, action, &QAction::trigger);
        buttons.append({action, button});
        follow(action, button);
        connect(action, &QAction::changed, button, [this, action, button] { follow(action, button); });
        layout->addWidget(button);
    }
    setStyleSheet(QStringLiteral("QPushButton { text-align: left; padding: 5px 14px 5px 6px; border: none; border-radius: 4px; }"
                                 "QPushButton:hover, QPushButton:focus { background: palette(highlight); color: palette(highlighted-text); }"));
    setMinimumWidth(260);
}

void MenuWindow::follow(QAction* action, QPushButton* button)
{
    button->setText(action->text());
    button->setIcon(action->isCheckable() && action->isChecked() ? checkedIcon : blankIcon);
    button->setEnabled(action->isEnabled());
    button->setVisible(action->isVisible());
}

QPushButton* MenuWindow::buttonFor(const QAction* action) const
{
    for (const auto& [owner, button] : buttons) {
        if (owner == action)
            return button;
    }
    return nullptr;
}

void MenuWindow::closeEvent(QCloseEvent* event)
{
    // Only the window manager's close (a spontaneous event) is turned into
    // minimising: the application closes its windows when it quits, and a
    // refusal there would keep it from quitting.
    if (event->spontaneous()) {
        event->ignore();
        showMinimized();
        return;
    }
    QWidget::closeEvent(event);
}
