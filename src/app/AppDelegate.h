#pragma once

#include "AppDelegateHooks.h"
#include "DeviceApproval.h"
#include "InstanceLock.h"
#include "LaunchOptions.h"
#include "PasteboardWatch.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class SService;
class MyUDP;
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

// One entry of the status menu: the key that decides its action (empty for
// a separator) and its title.
struct MenuInfo {
    QString key;
    QString displayname;
};

// The application delegate: starts the TCP service and discovery and owns
// them for the life of the process; shows the status menu (a tray icon, or
// a small window where the desktop has no tray) and the windows it opens;
// receives the network threads' calls and carries them out on the main
// thread; sends the leaving notice when the process is asked to terminate.
// Without a display (a core application) it runs the services only and
// prints its addresses and the pairing code in the terminal.
class AppDelegate : public QObject, public AppDelegateHooks {
    Q_OBJECT
public:
    explicit AppDelegate(const LaunchOptions& options, QObject* parent = nullptr);
    ~AppDelegate() override;

    // The start-up sequence. Returns false after a failed start has been
    // reported; the caller then exits with status 1.
    bool applicationDidFinishLaunching();
    // Stops discovery and broadcasts the leaving notice; runs once.
    void applicationWillTerminate();

    bool startTCP();
    bool startUDP();
    void stopTCP();
    void stopUDP();
    bool sendUDPQueryBoardcast();
    // Running copies of this program for this user on this port, this one
    // included.
    int getRunningCnt();

    void initView();
    void initMenu();
    void showIP();
    void showConnectCnt();
    void showSet();
    void showHelp();
    void showAbout();
    void showQRCode();
    void showTrusted();
    // Stores the start-at-login setting and checks the matching menu item.
    void setAutoStart(bool flag);

    // Calls from the network threads (any thread).
    void setConnectCnt(int count) override;
    void closeQRCode() override;
    void myUDPAnswer(MyUDP* udp, int type, const char* name, const char* ip, int sysType) override;
    void startPasteboardTimer() override;
    void stopPasteboardTimer() override;

    static std::vector<MenuInfo> buildMenuInfo(int connectCount);
    static QString connectCountTitle(int count);

    // The status menu and the item of a tag (its index in menuInfoArr);
    // null before initMenu and without a display.
    QMenu* statusMenu() const { return menu.get(); }
    QAction* menuItem(int tag) const;
    QSystemTrayIcon* statusItem() const { return trayIcon.get(); }
    // The window that carries the menu while there is no system tray.
    MenuWindow* menuWindow() const { return fallbackWindow.get(); }

    int connectCnt = 0;
    std::vector<MenuInfo> menuInfoArr;
    // Which phones the service serves; it outlives the service and discovery.
    DeviceApproval deviceApproval;
    std::unique_ptr<SService> pService;
    std::unique_ptr<MyUDP> pUDP;
    // The clipboard watch that the phone switches on and off: its timer and
    // the change count seen last.
    PasteboardWatch pasteboardWatch;

    // The most recently opened window of each kind; an open replaces it.
    std::unique_ptr<SetCtl> setCtl;
    std::unique_ptr<HelpCtl> helpCtl;
    std::unique_ptr<AboutCtl> aboutCtl;
    std::unique_ptr<QRCodeCtl> qrCodeCtl;
    std::unique_ptr<TrustCtl> trustCtl;
    // The host's address texts for the IP display and the pairing code:
    // the system's list unless a test supplies its own.
    std::function<std::vector<std::string>()> hostAddresses;

    // How often the desktop is checked for a system tray appearing or going.
    static constexpr int kTrayWatchMs = 1000;

public slots:
    // The action of every menu item; tag is the item's index.
    void menuItemCliked(int tag);

signals:
    // A discovery answer or leaving notice from a peer, with the string
    // values "UDPMsgType", "name", "ip" and "SysType"; emitted on the main thread.
    void BoardcastKey_UDPAnswer(const QVariantMap& info);

private:
    bool desktop() const;
    // The tray icon where a tray exists, the menu window otherwise.
    void placeStatusMenu();
    // Makes a new window into its slot, centred; the one it replaces is
    // closed and deleted once control is back in the event loop (an alert
    // of the old one may still be on the stack).
    template <typename Ctl, typename... Args>
    Ctl& replaceWindow(std::unique_ptr<Ctl>& slot, Args&&... args);
    void printPairingInfo();
    // The alert text of a failed start: a running copy, or the port that
    // could not be taken and why.
    QString startFailureText(bool tcpStarted);

    LaunchOptions options;
    InstanceLock instanceLock;
    bool terminated = false;
    std::unique_ptr<QMenu> menu;
    std::vector<QAction*> menuItems;
    std::unique_ptr<QSystemTrayIcon> trayIcon;
    std::unique_ptr<MenuWindow> fallbackWindow;
    int trayPresent = -1; // unknown, 0 absent, 1 present
    QTimer trayWatch;
};
