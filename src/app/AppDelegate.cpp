#include "AppDelegate.h"

#include "Config.h"
#include "HostAddresses.h"
#include "Log.h"
#include "MainQueue.h"
#include "MyUDP.h"
#include "SService.h"

#include <cstdio>

AppDelegate::AppDelegate(const LaunchOptions& launchOptions, QObject* parent)
    : QObject(parent), options(launchOptions), instanceLock(launchOptions.tcpPort)
{
}

AppDelegate::~AppDelegate()
{
    if (pUDP)
        pUDP->delegate = nullptr;
}

QString AppDelegate::connectCountTitle(int count)
{
    return QStringLiteral("已连接设备数量：%1").arg(count);
}

std::vector<MenuInfo> AppDelegate::buildMenuInfo(int connectCount)
{
    return {
        {QStringLiteral("show_qr_code"), QStringLiteral("显示二维码")},
        {QStringLiteral("show_ip"), QStringLiteral("显示IP地址")},
        {QString(), QStringLiteral("分割线")},
        {QStringLiteral("connect_cnt"), connectCountTitle(connectCount)},
        {QStringLiteral("set"), QStringLiteral("设置密码...")},
        {QString(), QStringLiteral("分割线")},
        {QStringLiteral("auto_start"), QStringLiteral("开机启动")},
        {QStringLiteral("disauto_start"), QStringLiteral("不开机启动")},
        {QString(), QStringLiteral("分割线")},
        {QStringLiteral("help"), QStringLiteral("帮助...")},
        {QStringLiteral("about"), QStringLiteral("关于...")},
        {QString(), QStringLiteral("分割线")},
        {QStringLiteral("exit"), QStringLiteral("退出")},
    };
}

bool AppDelegate::applicationDidFinishLaunching()
{
    connectCnt = 0;
    menuInfoArr = buildMenuInfo(connectCnt);
    instanceLock.Acquire();
    if (!startTCP() || !startUDP()) {
        if (getRunningCnt() > 1)
            showStartFailure(QStringLiteral("您已经启动了一个Corvane，请关闭已经启动的Corvane再重试"));
        else
            showStartFailure(QStringLiteral("服务启动失败，请等待一分钟再重试"));
        return false;
    }
    initView();
    Config::setAutoStart(Config::isAutoStart());
    return true;
}

void AppDelegate::applicationWillTerminate()
{
    if (!pUDP)
        return;
    pUDP->Stop();
    pUDP->SendBoardcast(UDPMsg_Leaving);
}

bool AppDelegate::startTCP()
{
    pService = std::make_unique<SService>();
    pService->port = options.tcpPort;
    pService->lanOnly = Config::isLanOnly();
    return pService->Start() == NR_OK;
}

bool AppDelegate::startUDP()
{
    if (!pUDP) {
        pUDP = std::make_unique<MyUDP>();
        pUDP->port = options.udpPort;
        std::snprintf(pUDP->broadcastIp, sizeof pUDP->broadcastIp, "%s", options.broadcast.c_str());
        pUDP->delegate = this;
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

void AppDelegate::setConnectCnt(int count)
{
    MainQueue::instance().async([this, count] {
        connectCnt = count;
        for (size_t index = 0; index < menuInfoArr.size(); ++index) {
            if (menuInfoArr[index].key == QLatin1String("connect_cnt")) {
                Log::Printf("===>%d  %d\n", count, static_cast<int>(index));
                menuInfoArr[index].displayname = connectCountTitle(count);
                break;
            }
        }
    });
}

void AppDelegate::closeQRCode()
{
    // No pairing window is shown without a display; nothing to close.
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

void AppDelegate::initView()
{
    const std::vector<std::string> addresses = HostAddresses::qualifying();
    if (addresses.empty()) {
        Log::Printf("IPv4 address not available\n");
        return;
    }
    for (const std::string& address : addresses)
        Log::Printf("本机IP: %s\n", address.c_str());
}

void AppDelegate::showStartFailure(const QString& informativeText)
{
    std::fprintf(stderr, "错误: %s\n", informativeText.toUtf8().constData());
}
