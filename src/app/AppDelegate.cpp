#include "AppDelegate.h"

#include "AboutCtl.h"
#include "Alerts.h"
#include "Config.h"
#include "HelpCtl.h"
#include "HostAddresses.h"
#include "Log.h"
#include "MainQueue.h"
#include "MenuWindow.h"
#include "MyUDP.h"
#include "PairingCode.h"
#include "QRCodeCtl.h"
#include "SService.h"
#include "SetCtl.h"
#include "ShellResources.h"
#include "TrustCtl.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QSessionManager>
#include <QSystemTrayIcon>
#include <cerrno>
#include <cstdio>
#include <cstring>
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

AppDelegate::AppDelegate(const LaunchOptions& launchOptions, QObject* parent)
    : QObject(parent), hostAddresses(&HostAddresses::all), options(launchOptions),
      instanceLock(launchOptions.tcpPort)
{
    ShellResources::load();
}

AppDelegate::~AppDelegate()
{
    if (pUDP)
        pUDP->delegate = nullptr;
}

QString AppDelegate::connectCountTitle(int count)
{
    return tr("已连接设备数量：%1").arg(count);
}

std::vector<MenuInfo> AppDelegate::buildMenuInfo(int connectCount)
{
    // The separators' "分割线" is never shown, so it is not translated.
    return {
        {QStringLiteral("show_qr_code"), tr("显示二维码")},
        {QStringLiteral("show_ip"), tr("显示IP地址")},
        {QString(), QStringLiteral("分割线")},
        {QStringLiteral("connect_cnt"), connectCountTitle(connectCount)},
        {QStringLiteral("set"), tr("设置密码...")},
        {QStringLiteral("trusted_devices"), tr("已信任的设备...")},
        {QString(), QStringLiteral("分割线")},
        {QStringLiteral("auto_start"), tr("开机启动")},
        {QStringLiteral("disauto_start"), tr("不开机启动")},
        {QString(), QStringLiteral("分割线")},
        {QStringLiteral("help"), tr("帮助...")},
        {QStringLiteral("about"), tr("关于...")},
        {QString(), QStringLiteral("分割线")},
        {QStringLiteral("exit"), tr("退出")},
    };
}

bool AppDelegate::desktop() const
{
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

bool AppDelegate::applicationDidFinishLaunching()
{
    connectCnt = 0;
    menuInfoArr = buildMenuInfo(connectCnt);
    // Every alert carries the application icon, the start-failure ones too.
    if (desktop())
        QApplication::setWindowIcon(ResourceIcon(QStringLiteral("corvane"), {16, 32, 48, 64, 128, 256}));
    instanceLock.Acquire();
    const bool tcpStarted = startTCP();
    if (!tcpStarted || !startUDP()) {
        Alerts::instance().show(tr("错误"), startFailureText(tcpStarted), tr("我知道了"));
        return false;
    }
    initView();
    setAutoStart(Config::isAutoStart());
    // The help opens on the first launch that has windows to show it in.
    if (desktop() && Config::isFirstStart()) {
        showHelp();
        Config::setIsFirstStart(false);
    }
    return true;
}

QString AppDelegate::startFailureText(bool tcpStarted)
{
    if (getRunningCnt() > 1) {
        const long pid = instanceLock.HolderPid();
        const QString holder = pid > 0 ? tr("正在运行的Corvane（进程号 %1）占用着TCP端口%2。").arg(pid).arg(options.tcpPort)
                                       : tr("正在运行的Corvane占用着TCP端口%1。").arg(options.tcpPort);
        return tr("您已经启动了一个Corvane，请关闭已经启动的Corvane再重试") + QLatin1Char('\n') + holder;
    }
    // The step that failed and why. The phone app knows only the standard
    // ports, so another port helps tests and a second server, not a phone.
    const bool tcp = !tcpStarted;
    const int error = tcp ? pService->startErrno : pUDP->startErrno;
    const int port = tcp ? options.tcpPort : options.udpPort;
    QString text = tr("服务启动失败，请等待一分钟再重试");
    if (error == EADDRINUSE && tcp)
        text += QLatin1Char('\n') + tr("TCP端口%1已被其他程序占用。请关闭占用它的程序后再试，"
                                       "或用 --port 选择其他端口（手机应用只连接1811端口）。")
                                        .arg(port);
    else if (error == EADDRINUSE)
        text += QLatin1Char('\n') + tr("UDP端口%1已被其他程序占用。请关闭占用它的程序后再试，"
                                       "或用 --udp-port 选择其他端口（手机应用只在1822端口搜索）。")
                                        .arg(port);
    else if (error != 0)
        text += QLatin1Char('\n') + tr("%1端口%2无法使用：%3")
                                        .arg(tcp ? QStringLiteral("TCP") : QStringLiteral("UDP"))
                                        .arg(port)
                                        .arg(QString::fromLocal8Bit(std::strerror(error)));
    return text;
}

void AppDelegate::applicationWillTerminate()
{
    if (terminated || !pUDP)
        return;
    terminated = true;
    pUDP->Stop();
    pUDP->SendBoardcast(UDPMsg_Leaving);
}

bool AppDelegate::startTCP()
{
    pService = std::make_unique<SService>();
    pService->port = options.tcpPort;
    pService->lanOnly = Config::isLanOnly();
    pService->peerGate = &deviceApproval;
    return pService->Start() == NR_OK;
}

bool AppDelegate::startUDP()
{
    if (!pUDP) {
        pUDP = std::make_unique<MyUDP>();
        pUDP->port = options.udpPort;
        std::snprintf(pUDP->broadcastIp, sizeof pUDP->broadcastIp, "%s", options.broadcast.c_str());
        pUDP->lanOnly = Config::isLanOnly();
        pUDP->delegate = this;
        pUDP->peerNames = &deviceApproval.names();
    }
    return pUDP->Start() == NR_OK;
}

void AppDelegate::stopTCP()
{
    if (pService)
        pService->Stop();
}

void AppDelegate::stopUDP()
{
    if (pUDP)
        pUDP->Stop();
}

bool AppDelegate::sendUDPQueryBoardcast()
{
    return pUDP && pUDP->SendBoardcast(UDPMsg_Query) == NR_OK;
}

int AppDelegate::getRunningCnt()
{
    return instanceLock.HeldElsewhere() ? 2 : 1;
}

void AppDelegate::initView()
{
    if (!desktop()) {
        printPairingInfo();
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

void AppDelegate::printPairingInfo()
{
    const std::vector<std::string> addresses = HostAddresses::qualifying();
    if (addresses.empty()) {
        Log::Printf("IPv4 address not available\n");
        return;
    }
    QString text;
    for (const std::string& address : addresses)
        text += tr("本机IP") + QLatin1String(": ") + QString::fromStdString(address) + QLatin1Char('\n');
    text += tr("使用手机进行扫码连接") + QLatin1String(":\n") + QString::fromStdString(PairingCode::TerminalText());
    Log::Printf("%s", text.toUtf8().constData());
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
    Config::setAutoStart(flag);
    for (size_t index = 0; index < menuInfoArr.size() && index < menuItems.size(); ++index) {
        const QString& key = menuInfoArr[index].key;
        if (key != QLatin1String("auto_start") && key != QLatin1String("disauto_start"))
            continue;
        QAction* item = menuItems[index];
        item->setCheckable(true);
        item->setChecked(key == QLatin1String("auto_start") ? flag : !flag);
    }
}

void AppDelegate::setConnectCnt(int count)
{
    // Connection threads call this; the menu changes on the main thread, in
    // the order the calls arrive.
    MainQueue::instance().async([this, count] {
        connectCnt = count;
        for (size_t index = 0; index < menuInfoArr.size(); ++index) {
            if (menuInfoArr[index].key != QLatin1String("connect_cnt"))
                continue;
            Log::Printf("===>%d  %d\n", count, static_cast<int>(index));
            if (QAction* item = menuItem(static_cast<int>(index)))
                item->setText(connectCountTitle(count));
            break;
        }
    });
}

void AppDelegate::myUDPAnswer(MyUDP*, int type, const char* name, const char* ip, int sysType)
{
    QVariantMap info;
    info.insert(QStringLiteral("UDPMsgType"), QString::number(type));
    info.insert(QStringLiteral("name"), QString::fromUtf8(name ? name : ""));
    info.insert(QStringLiteral("ip"), QString::fromUtf8(ip ? ip : ""));
    info.insert(QStringLiteral("SysType"), QString::number(sysType));
    MainQueue::instance().async([this, info] { emit BoardcastKey_UDPAnswer(info); });
}

void AppDelegate::startPasteboardTimer()
{
    pasteboardWatch.startPasteboardTimer();
}

void AppDelegate::stopPasteboardTimer()
{
    pasteboardWatch.stopPasteboardTimer();
}
