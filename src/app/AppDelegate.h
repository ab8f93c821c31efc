#pragma once

#include "ServerDelegate.h"

#include <QTimer>
#include <memory>
#include <vector>

class QAction;
class QMenu;
class QSystemTrayIcon;
class MenuWindow;
class WindowCtl;
class SetCtl;
class HelpCtl;
class AboutCtl;
class QRCodeCtl;
class TrustCtl;

// The application delegate of the desktop: the server's delegate with the
// status menu (a tray icon, or a small window where the desktop has no
// tray) and the windows it opens. Without a display (a core application)
// it serves as ServerDelegate does.
class AppDelegate : public ServerDelegate {
    Q_OBJECT
public:
    explicit AppDelegate(const LaunchOptions& options, QObject* parent = nullptr);
    ~AppDelegate() override;

    bool applicationDidFinishLaunching() override;

    void initView() override;
    void initMenu();
    void showIP();
    void showConnectCnt();
    void showSet();
    void showHelp();
    void showAbout();
    void showQRCode();
    void showTrusted();
    // Stores the start-at-login setting and checks the matching menu item.
    void setAutoStart(bool flag) override;

    void closeQRCode() override;

    // The status menu and the item of a tag (its index in menuInfoArr);
    // null before initMenu and without a display.
    QMenu* statusMenu() const { return menu.get(); }
    QAction* menuItem(int tag) const;
    QSystemTrayIcon* statusItem() const { return trayIcon.get(); }
    // The window that carries the menu while there is no system tray.
    MenuWindow* menuWindow() const { return fallbackWindow.get(); }

    // The most recently opened window of each kind; an open replaces it.
    std::unique_ptr<SetCtl> setCtl;
    std::unique_ptr<HelpCtl> helpCtl;
    std::unique_ptr<AboutCtl> aboutCtl;
    std::unique_ptr<QRCodeCtl> qrCodeCtl;
    std::unique_ptr<TrustCtl> trustCtl;

    // How often the desktop is checked for a system tray appearing or going.
    static constexpr int kTrayWatchMs = 1000;

public slots:
    // The action of every menu item; tag is the item's index.
    void menuItemCliked(int tag);

protected:
    void connectCountChanged(int tag, int count) override;

private:
    bool desktop() const;
    // The tray icon where a tray exists, the menu window otherwise.
    void placeStatusMenu();
    // Makes a new window into its slot, centred; the one it replaces is
    // closed and deleted once control is back in the event loop (an alert
    // of the old one may still be on the stack).
    template <typename Ctl, typename... Args>
    Ctl& replaceWindow(std::unique_ptr<Ctl>& slot, Args&&... args);
    std::unique_ptr<QMenu> menu;
    std::vector<QAction*> menuItems;
    std::unique_ptr<QSystemTrayIcon> trayIcon;
    std::unique_ptr<MenuWindow> fallbackWindow;
    int trayPresent = -1; // unknown, 0 absent, 1 present
    QTimer trayWatch;
};
