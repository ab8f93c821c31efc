#pragma once

#include <QIcon>
#include <QList>
#include <QWidget>

class QAction;
class QPushButton;

// The status menu as a small window, for desktops without a system tray
// (a stock GNOME session, for one). Each action of the tray menu gets a
// button and each separator a line; the buttons follow their actions, so
// titles, check marks and the live device count stay the menu's.
class MenuWindow : public QWidget {
    Q_OBJECT
public:
    explicit MenuWindow(const QList<QAction*>& actions, QWidget* parent = nullptr);

    // The button that stands for an action; null for separators.
    QPushButton* buttonFor(const QAction* action) const;

protected:
    // The window is the only way to reach the menu: closing it from the
    // window manager minimises it instead (the quit entry ends the program).
    void closeEvent(QCloseEvent* event) override;

private:
    void follow(QAction* action, QPushButton* button);

    QList<QPair<const QAction*, QPushButton*>> buttons;
    QIcon checkedIcon;
    QIcon blankIcon;
};
