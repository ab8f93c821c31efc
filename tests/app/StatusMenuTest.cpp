#include "AboutCtl.h"
#include "AppDelegate.h"
#include "Config.h"
#include "FreePort.h"
#include "HelpCtl.h"
#include "MenuWindow.h"
#include "QRCodeCtl.h"
#include "RawConnection.h"
#include "RecordingAlerts.h"
#include "SetCtl.h"
#include "ShellApplication.h"
#include "TempDir.h"
#include "UserSandbox.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QThread>
#include <arpa/inet.h>
#include <atomic>
#include <condition_variable>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

LaunchOptions LoopbackOptions()
{
    LaunchOptions options;
    options.tcpPort = FreePort::tcp();
    options.udpPort = FreePort::udp();
    options.broadcast = "127.255.255.255";
    return options;
}

std::string AutostartEntry(const UserSandbox& sandbox)
{
    return TempDir::read(sandbox.configHome() + "/autostart/corvane.desktop");
}

// The shell on the offscreen platform (which has no system tray), with its
// services on free loopback ports and the alerts recorded.
class StatusMenu : public ::testing::Test {
protected:
    std::unique_ptr<AppDelegate> launch()
    {
        auto delegate = std::make_unique<AppDelegate>(LoopbackOptions());
        EXPECT_TRUE(delegate->applicationDidFinishLaunching());
        return delegate;
    }

    // Sends one request from another thread while the event loop runs.
    std::string request(int port, const std::string& head, const std::string& body = "")
    {
        std::atomic<bool> done{false};
        std::string reply;
        std::thread phone([&] {
            RawConnection connection(port);
            connection.sendFramed(head);
            connection.sendFramed(body);
            reply = connection.readAll();
            done = true;
        });
        app.pumpUntil([&] { return done.load(); }, 10000);
        phone.join();
        return reply;
    }

    UserSandbox sandbox;
    ShellApplication app;
    RecordingAlerts alerts;
};

} // namespace

TEST_F(StatusMenu, ThirteenEntriesInOrderWithTagsTitlesAndSeparators)
{
    auto delegate = launch();
    QMenu* menu = delegate->statusMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), "Menu");
    const QList<QAction*> items = menu->actions();
    ASSERT_EQ(items.size(), 13);
    const std::vector<const char*> titles = {"显示二维码", "显示IP地址", nullptr, "已连接设备数量：0", "设置密码...", nullptr,
                                             "开机启动", "不开机启动", nullptr, "帮助...", "关于...", nullptr, "退出"};
    for (int tag = 0; tag < 13; ++tag) {
        SCOPED_TRACE(tag);
        QAction* item = items[tag];
        EXPECT_EQ(item, delegate->menuItem(tag));
        EXPECT_EQ(item->data().toInt(), tag);
        if (titles[static_cast<size_t>(tag)] == nullptr) {
            EXPECT_TRUE(item->isSeparator());
            EXPECT_TRUE(delegate->menuInfoArr[static_cast<size_t>(tag)].key.isEmpty());
        } else {
            EXPECT_FALSE(item->isSeparator());
            EXPECT_EQ(item->text(), QString::fromUtf8(titles[static_cast<size_t>(tag)]));
        }
    }
    const std::vector<const char*> keys = {"show_qr_code", "show_ip", "", "connect_cnt", "set", "", "auto_start",
                                           "disauto_start", "", "help", "about", "", "exit"};
    ASSERT_EQ(delegate->menuInfoArr.size(), keys.size());
    for (size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(delegate->menuInfoArr[i].key, QString::fromLatin1(keys[i]));
    EXPECT_EQ(delegate->menuItem(13), nullptr);
    EXPECT_EQ(delegate->menuItem(-1), nullptr);
}

TEST_F(StatusMenu, FirstLaunchRegistersAtLoginAndOpensTheHelpOnce)
{
    {
        auto delegate = launch();
        EXPECT_TRUE(delegate->menuItem(6)->isChecked());
        EXPECT_FALSE(delegate->menuItem(7)->isChecked());
        EXPECT_NE(AutostartEntry(sandbox).find("X-Corvane-Id=org.corvane.Corvane"), std::string::npos);
        ASSERT_NE(delegate->helpCtl, nullptr);
        EXPECT_TRUE(delegate->helpCtl->isVisible());
        EXPECT_FALSE(Config::isFirstStart());
    }
    auto again = launch();
    EXPECT_EQ(again->helpCtl, nullptr);
    EXPECT_TRUE(alerts.alerts().empty());
}

TEST_F(StatusMenu, StartAtLoginChoiceMovesTheMarkAndSurvivesARelaunch)
{
    Config::setIsFirstStart(false);
    {
        auto delegate = launch();
        delegate->menuItem(7)->trigger();
        EXPECT_FALSE(delegate->menuItem(6)->isChecked());
        EXPECT_TRUE(delegate->menuItem(7)->isChecked());
        EXPECT_FALSE(Config::isAutoStart());
        EXPECT_EQ(AutostartEntry(sandbox), "");
        // Choosing the checked entry again keeps it checked.
        delegate->menuItem(7)->trigger();
        EXPECT_TRUE(delegate->menuItem(7)->isChecked());
        EXPECT_FALSE(delegate->menuItem(6)->isChecked());
    }
    {
        auto delegate = launch();
        EXPECT_FALSE(delegate->menuItem(6)->isChecked());
        EXPECT_TRUE(delegate->menuItem(7)->isChecked());
        EXPECT_EQ(AutostartEntry(sandbox), "");
        delegate->menuItem(6)->trigger();
        EXPECT_TRUE(delegate->menuItem(6)->isChecked());
        EXPECT_FALSE(delegate->menuItem(7)->isChecked());
        EXPECT_TRUE(Config::isAutoStart());
        EXPECT_NE(AutostartEntry(sandbox).find("X-Corvane-Id"), std::string::npos);
    }
}

TEST_F(StatusMenu, IPDisplayShowsEveryQualifyingAddressInOrderOrTheFailure)
{
    Config::setIsFirstStart(false);
    auto delegate = launch();
    delegate->hostAddresses = [] {
        return std::vector<std::string>{"127.0.0.1", "192.168.1.5", "fe80::1", "10.0.0.2", "::ffff:172.16.0.9"};
    };
    delegate->menuItem(1)->trigger();
    auto shown = alerts.alerts();
    ASSERT_EQ(shown.size(), 3u);
    const std::vector<const char*> expected = {"192.168.1.5", "10.0.0.2", "::ffff:172.16.0.9"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(shown[i].message, "本机IP");
        EXPECT_EQ(shown[i].informativeText, QString::fromLatin1(expected[i]));
        EXPECT_EQ(shown[i].button, "确定");
    }

    alerts.clear();
    delegate->hostAddresses = [] { return std::vector<std::string>{"127.0.0.1", "::1", "fe80::1"}; };
    ::testing::internal::CaptureStdout();
    delegate->menuItem(1)->trigger();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "IPv4 address not available\n");
    shown = alerts.alerts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].message, "获取IP失败！");
    EXPECT_EQ(shown[0].informativeText, "请您手动查看");
    EXPECT_EQ(shown[0].button, "确定");
    // The menu stays usable.
    delegate->menuItem(3)->trigger();
    EXPECT_EQ(alerts.alerts().size(), 2u);
}

TEST_F(StatusMenu, CountRetitlesItemThreeOnTheMainThreadInArrivalOrder)
{
    Config::setIsFirstStart(false);
    auto delegate = launch();
    QAction* item = delegate->menuItem(3);
    std::vector<QString> titles;
    bool offMainThread = false;
    QObject::connect(item, &QAction::changed, [&] {
        titles.push_back(item->text());
        offMainThread |= QThread::currentThread() != qApp->thread();
    });

    // Eight threads take turns, so the order of the calls is known.
    constexpr int kCalls = 400;
    std::mutex turnMutex;
    std::condition_variable turnChanged;
    int next = 1;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (;;) {
                std::unique_lock lock(turnMutex);
                turnChanged.wait(lock, [&] { return next > kCalls || next % 8 == t; });
                if (next > kCalls)
                    return;
                delegate->setConnectCnt(next);
                ++next;
                turnChanged.notify_all();
            }
        });
    }
    ::testing::internal::CaptureStdout();
    for (std::thread& thread : threads)
        thread.join();
    ASSERT_TRUE(app.pumpUntil([&] { return titles.size() == static_cast<size_t>(kCalls); }));
    const std::string log = ::testing::internal::GetCapturedStdout();
    EXPECT_FALSE(offMainThread);
    std::string expectedLog;
    for (int i = 1; i <= kCalls; ++i) {
        ASSERT_EQ(titles[static_cast<size_t>(i - 1)], QStringLiteral("已连接设备数量：%1").arg(i));
        expectedLog += "===>" + std::to_string(i) + "  3\n";
    }
    EXPECT_EQ(log, expectedLog);
    EXPECT_EQ(delegate->connectCnt, kCalls);
    delegate->menuItem(3)->trigger();
    ASSERT_EQ(alerts.alerts().size(), 1u);
    EXPECT_EQ(alerts.alerts()[0].message, "连接状态");
    EXPECT_EQ(alerts.alerts()[0].informativeText, QStringLiteral("已连接设备数量：%1").arg(kCalls));
}

TEST_F(StatusMenu, ALiveChannelCountsWhileOpen)
{
    Config::setIsFirstStart(false);
    LaunchOptions options = LoopbackOptions();
    AppDelegate delegate(options);
    AppDelegateHooks::setCurrent(&delegate);
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    {
        RawConnection phone(options.tcpPort);
        phone.sendFramed("keep_alive");
        phone.sendFramed("");
        EXPECT_TRUE(app.pumpUntil([&] { return delegate.menuItem(3)->text() == "已连接设备数量：1"; }));
        EXPECT_EQ(delegate.connectCnt, 1);
    }
    EXPECT_TRUE(app.pumpUntil([&] { return delegate.menuItem(3)->text() == "已连接设备数量：0"; }));
    EXPECT_EQ(delegate.connectCnt, 0);
    AppDelegateHooks::setCurrent(nullptr);
}

TEST_F(StatusMenu, EachOpeningMakesANewCentredWindowAboveTheOthers)
{
    Config::setIsFirstStart(false);
    auto delegate = launch();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    struct Opening {
        int tag;
        std::function<QWidget*()> window;
    };
    const std::vector<Opening> openings = {
        {4, [&] { return delegate->setCtl.get(); }},
        {9, [&] { return delegate->helpCtl.get(); }},
        {10, [&] { return delegate->aboutCtl.get(); }},
    };
    for (const Opening& opening : openings) {
        SCOPED_TRACE(opening.tag);
        EXPECT_EQ(opening.window(), nullptr);
        delegate->menuItem(opening.tag)->trigger();
        QPointer<QWidget> first = opening.window();
        ASSERT_NE(first, nullptr);
        EXPECT_TRUE(first->isVisible());
        EXPECT_TRUE(first->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_LE(std::abs(first->geometry().center().x() - screen.center().x()), 1);
        EXPECT_LE(std::abs(first->geometry().center().y() - screen.center().y()), 1);

        delegate->menuItem(opening.tag)->trigger();
        QWidget* second = opening.window();
        EXPECT_NE(second, first.data());
        EXPECT_TRUE(second->isVisible());
        // The replaced window is closed, and gone once the loop has run.
        EXPECT_TRUE(first.isNull() || !first->isVisible());
        app.pumpUntil([&] { return first.isNull(); }, 2000);
        EXPECT_TRUE(first.isNull());
    }
    EXPECT_TRUE(alerts.alerts().empty());
}

TEST_F(StatusMenu, PairingWindowOpensWithTheCodeAndClosesWhenAPhoneScans)
{
    Config::setIsFirstStart(false);
    LaunchOptions options = LoopbackOptions();
    AppDelegate delegate(options);
    AppDelegateHooks::setCurrent(&delegate);
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    delegate.hostAddresses = [] { return std::vector<std::string>{"192.168.1.5"}; };
    delegate.menuItem(0)->trigger();
    ASSERT_NE(delegate.qrCodeCtl, nullptr);
    EXPECT_TRUE(delegate.qrCodeCtl->isVisible());
    EXPECT_TRUE(alerts.alerts().empty());

    const std::string reply = request(options.tcpPort, "OpKey_ScanConnect");
    EXPECT_EQ(reply, RawConnection::framed(""));
    EXPECT_TRUE(app.pumpUntil([&] { return !delegate.qrCodeCtl->isVisible(); }));

    // Without an address there is only the alert, and no window stays open.
    delegate.hostAddresses = [] { return std::vector<std::string>{"127.0.0.1"}; };
    delegate.menuItem(0)->trigger();
    ASSERT_EQ(alerts.alerts().size(), 1u);
    EXPECT_EQ(alerts.alerts()[0].informativeText, "无法获取您的IP地址");
    ASSERT_NE(delegate.qrCodeCtl, nullptr);
    EXPECT_FALSE(delegate.qrCodeCtl->isVisible());
    // A scan with no window open does nothing harmful.
    EXPECT_EQ(request(options.tcpPort, "OpKey_ScanConnect"), RawConnection::framed(""));
    app.pump(50);
    AppDelegateHooks::setCurrent(nullptr);
}

TEST_F(StatusMenu, DiscoveryAnswersBecomeOneSignalEachOnTheMainThread)
{
    Config::setIsFirstStart(false);
    LaunchOptions options = LoopbackOptions();
    AppDelegate delegate(options);
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    std::vector<QVariantMap> posted;
    bool offMainThread = false;
    QObject::connect(&delegate, &AppDelegate::BoardcastKey_UDPAnswer, [&](const QVariantMap& info) {
        posted.push_back(info);
        offMainThread |= QThread::currentThread() != qApp->thread();
    });
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(options.udpPort));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (const std::string& text : {std::string("1^_7other-desktop^_72^_7OtherDesktop001"),
                                    std::string("2^_7leaving-phone^_71^_7PhoneInstance01")}) {
        std::string record = text;
        record.resize(256, '\0');
        ::sendto(fd, record.data(), record.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    ::close(fd);
    ASSERT_TRUE(app.pumpUntil([&] { return posted.size() == 2; }));
    app.pump(100);
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_FALSE(offMainThread);
    const QVariantMap& answer = posted[0];
    EXPECT_EQ(answer.size(), 4);
    EXPECT_EQ(answer.value("UDPMsgType"), QVariant(QStringLiteral("1")));
    EXPECT_EQ(answer.value("name"), QVariant(QStringLiteral("other-desktop")));
    EXPECT_EQ(answer.value("ip"), QVariant(QStringLiteral("127.0.0.1")));
    EXPECT_EQ(answer.value("SysType"), QVariant(QStringLiteral("2")));
    EXPECT_EQ(posted[1].value("UDPMsgType"), QVariant(QStringLiteral("2")));
    EXPECT_EQ(posted[1].value("SysType"), QVariant(QStringLiteral("1")));
}

TEST_F(StatusMenu, WithoutATrayAWindowCarriesTheSameEntries)
{
    auto delegate = launch();
    EXPECT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    ASSERT_NE(delegate->statusItem(), nullptr);
    EXPECT_FALSE(delegate->statusItem()->isVisible());
    MenuWindow* window = delegate->menuWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Corvane");

    for (int tag = 0; tag < 13; ++tag) {
        QAction* item = delegate->menuItem(tag);
        QPushButton* button = window->buttonFor(item);
        if (item->isSeparator()) {
            EXPECT_EQ(button, nullptr);
            continue;
        }
        ASSERT_NE(button, nullptr) << tag;
        EXPECT_EQ(button->text(), item->text()) << tag;
        EXPECT_TRUE(button->isVisible()) << tag;
    }
    // Check marks and the live count follow the menu.
    QPushButton* atLogin = window->buttonFor(delegate->menuItem(6));
    QPushButton* notAtLogin = window->buttonFor(delegate->menuItem(7));
    const QImage markShown = atLogin->icon().pixmap(16).toImage();
    const QImage markAbsent = notAtLogin->icon().pixmap(16).toImage();
    EXPECT_NE(markShown, markAbsent);
    notAtLogin->click();
    EXPECT_FALSE(Config::isAutoStart());
    EXPECT_EQ(notAtLogin->icon().pixmap(16).toImage(), markShown);
    EXPECT_EQ(atLogin->icon().pixmap(16).toImage(), markAbsent);

    delegate->setConnectCnt(2);
    EXPECT_TRUE(app.pumpUntil(
        [&] { return window->buttonFor(delegate->menuItem(3))->text() == "已连接设备数量：2"; }));

    // The buttons run the entries' actions.
    window->buttonFor(delegate->menuItem(10))->click();
    ASSERT_NE(delegate->aboutCtl, nullptr);
    EXPECT_TRUE(delegate->aboutCtl->isVisible());
    window->buttonFor(delegate->menuItem(3))->click();
    ASSERT_EQ(alerts.alerts().size(), 1u);
    EXPECT_EQ(alerts.alerts()[0].informativeText, "已连接设备数量：2");

}
