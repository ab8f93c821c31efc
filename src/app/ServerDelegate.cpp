#include "ServerDelegate.h"

#include "Alerts.h"
#include "Config.h"
#include "HostAddresses.h"
#include "Log.h"
#include "MainQueue.h"
#include "MyUDP.h"
#include "PairingCode.h"
#include "SService.h"
#include "TerminationSignals.h"

#include <QCoreApplication>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>

ServerDelegate::ServerDelegate(const LaunchOptions& launchOptions, QObject* parent)
    : QObject(parent), hostAddresses(&HostAddresses::all), options(launchOptions), instanceLock(launchOptions.tcpPort)
{
}

ServerDelegate::~ServerDelegate()
{
    endServices();
}

void ServerDelegate::endServices()
{
    if (pUDP)
        pUDP->delegate = nullptr;
    pUDP.reset();
    pService.reset();
}

void ServerDelegate::prepareApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("Corvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
    // Qt adopts the user's locale; numbers on the wire must keep the dot as
    // decimal separator whatever the desktop's language.
    std::setlocale(LC_NUMERIC, "C");
}

int ServerDelegate::run()
{
    // Watch for SIGTERM/SIGINT before anything starts, so a request to end
    // that arrives during start-up still runs the termination sequence.
    TerminationSignals terminationSignals;
    connect(&terminationSignals, &TerminationSignals::terminationRequested, QCoreApplication::instance(),
            &QCoreApplication::quit, Qt::QueuedConnection);
    AppDelegateHooks::setCurrent(this);
    int status = 1;
    if (applicationDidFinishLaunching()) {
        status = QCoreApplication::exec();
        applicationWillTerminate();
    }
    endServices();
    AppDelegateHooks::setCurrent(nullptr);
    return status;
}

QString ServerDelegate::connectCountTitle(int count)
{
    return tr("已连接设备数量：%1").arg(count);
}

std::vector<MenuInfo> ServerDelegate::buildMenuInfo(int connectCount)
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

bool ServerDelegate::applicationDidFinishLaunching()
{
    connectCnt = 0;
    menuInfoArr = buildMenuInfo(connectCnt);
    instanceLock.Acquire();
    const bool tcpStarted = startTCP();
    if (!tcpStarted || !startUDP()) {
        Alerts::instance().show(tr("错误"), startFailureText(tcpStarted), tr("我知道了"));
        return false;
    }
    initView();
    setAutoStart(Config::isAutoStart());
    return true;
}

QString ServerDelegate::startFailureText(bool tcpStarted)
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

void ServerDelegate::applicationWillTerminate()
{
    if (terminated || !pUDP)
        return;
    terminated = true;
    pUDP->Stop();
    pUDP->SendBoardcast(UDPMsg_Leaving);
}

bool ServerDelegate::startTCP()
{
    pService = std::make_unique<SService>();
    pService->port = options.tcpPort;
    pService->lanOnly = Config::isLanOnly();
    pService->peerGate = &deviceApproval;
    return pService->Start() == NR_OK;
}

bool ServerDelegate::startUDP()
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

void ServerDelegate::stopTCP()
{
    if (pService)
        pService->Stop();
}

void ServerDelegate::stopUDP()
{
    if (pUDP)
        pUDP->Stop();
}

bool ServerDelegate::sendUDPQueryBoardcast()
{
    return pUDP && pUDP->SendBoardcast(UDPMsg_Query) == NR_OK;
}

int ServerDelegate::getRunningCnt()
{
    return instanceLock.HeldElsewhere() ? 2 : 1;
}

void ServerDelegate::printPairingInfo()
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

void ServerDelegate::initView()
{
    printPairingInfo();
}

void ServerDelegate::setAutoStart(bool flag)
{
    Config::setAutoStart(flag);
}

void ServerDelegate::setConnectCnt(int count)
{
    // Connection threads call this; the count changes on the main thread, in
    // the order the calls arrive.
    MainQueue::instance().async([this, count] {
        connectCnt = count;
        for (size_t index = 0; index < menuInfoArr.size(); ++index) {
            if (menuInfoArr[index].key != QLatin1String("connect_cnt"))
                continue;
            Log::Printf("===>%d  %d\n", count, static_cast<int>(index));
            connectCountChanged(static_cast<int>(index), count);
            break;
        }
    });
}

void ServerDelegate::connectCountChanged(int, int) {}

void ServerDelegate::closeQRCode() {}

void ServerDelegate::myUDPAnswer(MyUDP*, int type, const char* name, const char* ip, int sysType)
{
    QVariantMap info;
    info.insert(QStringLiteral("UDPMsgType"), QString::number(type));
    info.insert(QStringLiteral("name"), QString::fromUtf8(name ? name : ""));
    info.insert(QStringLiteral("ip"), QString::fromUtf8(ip ? ip : ""));
    info.insert(QStringLiteral("SysType"), QString::number(sysType));
    MainQueue::instance().async([this, info] { emit BoardcastKey_UDPAnswer(info); });
}

void ServerDelegate::startPasteboardTimer()
{
    pasteboardWatch.startPasteboardTimer();
}

void ServerDelegate::stopPasteboardTimer()
{
    pasteboardWatch.stopPasteboardTimer();
}
