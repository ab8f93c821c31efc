#include "AppDelegate.h"

#include "AboutCtl.h"
#include "Alerts.h"
#include "Config.h"
#include "HelpCtl.h"
#include "HostAddresses.h"
#include "Log.h"
#include "MainQueue.h"
#include "MenuWindow.h"
#include "QRCodeCtl.h"
#include "SetCtl.h"
#include "ShellResources.h"
#include "TrustCtl.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QSessionManager>
#include <QSystemTrayIcon>
#include <unistd.h>

namespace {

QIcon ResourceIcon(const QString& name, std::initializer_list<int> sizes)
{
    QIcon icon;
    for (const int size : sizes)
        icon.addFile(QStringLiteral(":/corvane/%1-%2.png").arg(name).arg(size), QSize(size, size));
    return icon;
}

} // namespace

AppDelegate::AppDelegate(const LaunchOptions& launchOptions, QObject* parent) : ServerDelegate(launchOptions, parent)
{
    ShellResources::load();
}

AppDelegate::~AppDelegate()
{
    endServices();
}

bool AppDelegate::desktop() const
{
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

bool AppDelegate::applicationDidFinishLaunching()
{
    // Every alert carries the application icon, the start-failure ones too.
    if (desktop())
        QApplication::setWindowIcon(ResourceIcon(QStringLiteral("corvane"), {16, 32, 48, 64, 128, 256}));
    if (!ServerDelegate::applicationDidFinishLaunching())
        return false;
    // The help opens on the first launch that has windows to show it in.
    if (desktop() && Config::isFirstStart()) {
        showHelp();
        Config::setIsFirstStart(false);
    }
    return true;
}

void AppDelegate::initView()
{
    if (!desktop()) {
        ServerDelegate::initView();
        return;
    }
    // The program lives in the tray: closing its last window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    // The autostart entry starts the program at login; a session manager
    // restoring it as well would start a second copy.
    auto noRestart = [](QSessionManager& manager) { manager.setRestartHint(QSessionManager::RestartNever); };
    connect(qApp, &QGuiApplication::commitDataRequest, this, noRestart);
    connect(qApp, &QGuiApplication::saveStateRequest, this, noRestart);
    // A session manager ends the program by quitting its event loop.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &AppDelegate::applicationWillTerminate);
    initMenu();
}

void AppDelegate::initMenu()
{
    menu = std::make_unique<QMenu>();
    menu->setTitle(QStringLiteral("Menu"));
    menuItems.clear();
    for (size_t index = 0; index < menuInfoArr.size(); ++index) {
        const MenuInfo& info = menuInfoArr[index];
        QAction* item = info.key.isEmpty() ? menu->addSeparator() : menu->addAction(info.displayname);
        const int tag = static_cast<int>(index);
        item->setData(tag);
        if (!info.key.isEmpty())
            connect(item, &QAction::triggered, this, [this, tag] { menuItemCliked(tag); });
        menuItems.push_back(item);
    }

    trayIcon = std::make_unique<QSystemTrayIcon>(ResourceIcon(QStringLiteral("ico_menu"), {16, 22, 24, 32, 48, 64}));
    trayIcon->setToolTip(QStringLiteral("Corvane"));
    trayIcon->setContextMenu(menu.get());
    // A left click opens the menu too, as the status item does.
    connect(trayIcon.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            menu->popup(QCursor::pos());
    });
    placeStatusMenu();
    connect(&trayWatch, &QTimer::timeout, this, &AppDelegate::placeStatusMenu);
    trayWatch.start(kTrayWatchMs);
}

void AppDelegate::placeStatusMenu()
{
    const int present = QSystemTrayIcon::isSystemTrayAvailable() ? 1 : 0;
    if (present == trayPresent)
        return;
    trayPresent = present;
    Log::Printf(present ? "status menu: in the tray\n" : "status menu: in a window (the desktop has no tray)\n");
    if (present) {
        trayIcon->show();
        if (fallbackWindow)
            fallbackWindow->hide();
        return;
    }
    trayIcon->hide();
    if (!fallbackWindow)
        fallbackWindow = std::make_unique<MenuWindow>(menu->actions());
    fallbackWindow->showNormal();
    fallbackWindow->raise();
}

QAction* AppDelegate::menuItem(int tag) const
{
    if (tag < 0 || static_cast<size_t>(tag) >= menuItems.size())
        return nullptr;
    return menuItems[static_cast<size_t>(tag)];
}

void AppDelegate::menuItemCliked(int tag)
{
    if (tag < 0 || static_cast<size_t>(tag) >= menuInfoArr.size())
        return;
    const QString& key = menuInfoArr[static_cast<size_t>(tag)].key;
    if (key == QLatin1String("show_qr_code")) {
        showQRCode();
    } else if (key == QLatin1String("show_ip")) {
        showIP();
    } else if (key == QLatin1String("connect_cnt")) {
        showConnectCnt();
    } else if (key == QLatin1String("auto_start")) {
        setAutoStart(true);
    } else if (key == QLatin1String("disauto_start")) {
        setAutoStart(false);
    } else if (key == QLatin1String("set")) {
        showSet();
    } else if (key == QLatin1String("trusted_devices")) {
        showTrusted();
    } else if (key == QLatin1String("help")) {
        showHelp();
    } else if (key == QLatin1String("about")) {
        showAbout();
    } else if (key == QLatin1String("exit")) {
        // Ends at once, without the termination sequence: no leaving notice.
        // Settings are already on disk (every setter writes through).
        ::_exit(1);
    }
}

void AppDelegate::showIP()
{
    bool found = false;
    for (const std::string& address : hostAddresses()) {
        if (!HostAddresses::qualifies(address))
            continue;
        found = true;
        Alerts::instance().show(tr("本机IP"), QString::fromStdString(address), tr("确定"));
    }
    if (!found) {
        Log::Printf("IPv4 address not available\n");
        Alerts::instance().show(tr("获取IP失败！"), tr("请您手动查看"), tr("确定"));
    }
}

void AppDelegate::showConnectCnt()
{
    Alerts::instance().show(tr("连接状态"), connectCountTitle(connectCnt), tr("确定"));
}

template <typename Ctl, typename... Args>
Ctl& AppDelegate::replaceWindow(std::unique_ptr<Ctl>& slot, Args&&... args)
{
    if (slot) {
        slot->close();
        slot.release()->deleteLater();
    }
    slot = std::make_unique<Ctl>(std::forward<Args>(args)...);
    slot->center();
    return *slot;
}

void AppDelegate::showSet()
{
    replaceWindow(setCtl).makeKeyAndOrderFront();
}

void AppDelegate::showHelp()
{
    replaceWindow(helpCtl, options.tcpPort, options.udpPort).makeKeyAndOrderFront();
}

void AppDelegate::showAbout()
{
    replaceWindow(aboutCtl).makeKeyAndOrderFront();
}

void AppDelegate::showQRCode()
{
    QRCodeCtl& window = replaceWindow(qrCodeCtl, hostAddresses);
    if (window.updateQRImg())
        window.makeKeyAndOrderFront();
    else
        window.close();
}

void AppDelegate::showTrusted()
{
    replaceWindow(trustCtl).makeKeyAndOrderFront();
}

void AppDelegate::closeQRCode()
{
    MainQueue::instance().async([this] {
        if (qrCodeCtl)
            qrCodeCtl->close();
    });
}

void AppDelegate::setAutoStart(bool flag)
{
    ServerDelegate::setAutoStart(flag);
    for (size_t index = 0; index < menuInfoArr.size() && index < menuItems.size(); ++index) {
        const QString& key = menuInfoArr[index].key;
        if (key != QLatin1String("auto_start") && key != QLatin1String("disauto_start"))
            continue;
        QAction* item = menuItems[index];
        item->setCheckable(true);
        item->setChecked(key == QLatin1String("auto_start") ? flag : !flag);
    }
}

void AppDelegate::connectCountChanged(int tag, int count)
{
    if (QAction* item = menuItem(tag))
        item->setText(connectCountTitle(count));
}
