#include "AboutCtl.h"
#include "AppDelegate.h"
#include "Config.h"
#include "HelpCtl.h"
#include "HostAddresses.h"
#include "InputCtl.h"
#include "Language.h"
#include "MenuWindow.h"
#include "QRCodeCtl.h"
#include "QtApprovalPrompt.h"
#include "RawConnection.h"
#include "ServerProcess.h"
#include "SetCtl.h"
#include "DesktopApplication.h"
#include "FreePort.h"
#include "RecordingAlerts.h"
#include "TempDir.h"
#include "TrayHost.h"
#include "TrustCtl.h"
#include "UserSandbox.h"

#include <QAction>
#include <QApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTableWidget>
#include <QThread>
#include <arpa/inet.h>
#include <memory>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <regex>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// The texts of a window as the user sees it: its title, then the texts and
// placeholders of its visible widgets and its table headers. Each label is
// checked on the way for the room its text needs: the height of its wrapped
// lines at its width, or its whole size when it does not wrap.
QStringList Texts(const QWidget& window)
{
    QStringList texts{window.windowTitle()};
    for (const QWidget* widget : window.findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(&window))
            continue;
        texts << widget->property("text").toString() << widget->property("placeholderText").toString();
        if (auto* table = qobject_cast<const QTableWidget*>(widget)) {
            for (int column = 0; column < table->columnCount(); ++column)
                texts << table->horizontalHeaderItem(column)->text();
        }
        // A picture scaled to its label has no size of its own.
        auto* label = qobject_cast<const QLabel*>(widget);
        if (label == nullptr || label->hasScaledContents())
            continue;
        const QSize needed = label->wordWrap() ? QSize(0, label->heightForWidth(label->width())) : label->sizeHint();
        EXPECT_TRUE(label->height() >= needed.height() && label->width() >= needed.width())
            << texts[0].toStdString() << ": " << label->text().toStdString();
    }
    texts.removeAll(QString());
    return texts;
}

// The shell on the offscreen platform (which has no system tray), with its
// services on free loopback ports and the alerts recorded.
class StatusMenu : public ::testing::Test {
protected:
    StatusMenu() { Config::setIsFirstStart(false); }
    ~StatusMenu() override { AppDelegateHooks::setCurrent(nullptr); }

    // Starts a delegate (ending the previous one) as the network threads' target.
    void launch()
    {
        AppDelegateHooks::setCurrent(nullptr);
        delegate.reset();
        delegate = std::make_unique<AppDelegate>(options);
        AppDelegateHooks::setCurrent(delegate.get());
        EXPECT_TRUE(delegate->applicationDidFinishLaunching());
    }
    QAction* item(int tag) { return delegate->menuItem(tag); }
    // Start at login as the menu marks it (the checks of 7 and 8), as the
    // setting has it, and the autostart entry: one naming Corvane, or another.
    std::string login()
    {
        const std::string entry = TempDir::read(sandbox.configHome() + "/autostart/corvane.desktop");
        return std::to_string(item(7)->isChecked()) + std::to_string(item(8)->isChecked()) +
               (Config::isAutoStart() ? " on" : " off") +
               (entry.empty() ? "" : entry.find("X-Corvane-Id=org.corvane.Corvane") != std::string::npos ? " entry" : " other");
    }

    // Sends one request from another thread while the event loop runs.
    std::string request(const std::string& head)
    {
        std::string reply;
        app.runAside([&] {
            RawConnection connection(options.tcpPort);
            connection.sendFramed(head);
            connection.sendFramed("");
            reply = connection.readAll();
        });
        return reply;
    }

    UserSandbox sandbox;
    DesktopApplication app{"offscreen"};
    RecordingAlerts alerts;
    LaunchOptions options = FreePort::launchOptions();
    std::unique_ptr<AppDelegate> delegate;
};

} // namespace

TEST_F(StatusMenu, FirstLaunchRegistersAtLoginAndOpensTheHelpOnceAndTheChoiceSurvivesARelaunch)
{
    Config::setIsFirstStart(true);
    launch();
    EXPECT_EQ(login(), "10 on entry");
    ASSERT_NE(delegate->helpCtl, nullptr);
    EXPECT_TRUE(delegate->helpCtl->isVisible());
    EXPECT_FALSE(Config::isFirstStart());
    // Choosing the checked entry again keeps it checked.
    item(8)->trigger();
    item(8)->trigger();
    EXPECT_EQ(login(), "01 off");

    launch();
    EXPECT_EQ(delegate->helpCtl, nullptr);
    EXPECT_EQ(login(), "01 off");
    item(7)->trigger();
    EXPECT_EQ(login(), "10 on entry");
    EXPECT_EQ(alerts.shown(), "");
}

TEST_F(StatusMenu, IPDisplayShowsEveryQualifyingAddressInOrderOrTheFailure)
{
    launch();
    delegate->hostAddresses = [] {
        return std::vector<std::string>{"127.0.0.1", "192.168.1.5", "fe80::1", "10.0.0.2", "::ffff:172.16.0.9"};
    };
    item(1)->trigger();
    EXPECT_EQ(alerts.shown(), "本机IP|192.168.1.5|确定\n本机IP|10.0.0.2|确定\n本机IP|::ffff:172.16.0.9|确定\n");

    alerts.clear();
    delegate->hostAddresses = [] { return std::vector<std::string>{"127.0.0.1", "::1", "fe80::1"}; };
    ::testing::internal::CaptureStdout();
    item(1)->trigger();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "IPv4 address not available\n");
    item(3)->trigger(); // the menu stays usable
    EXPECT_EQ(alerts.shown(), "获取IP失败！|请您手动查看|确定\n连接状态|已连接设备数量：0|确定\n");
}

TEST_F(StatusMenu, AFailedStartShowsItsAlertWithTheApplicationIcon)
{
    launch();
    QApplication::setWindowIcon(QIcon()); // as a second process would start
    bool withIcon = false;
    alerts.setWhileShown([&](const RecordingAlerts::Alert&) { withIcon = !QApplication::windowIcon().isNull(); });
    EXPECT_FALSE(AppDelegate(options).applicationDidFinishLaunching());
    EXPECT_TRUE(withIcon);
}

TEST_F(StatusMenu, CountRetitlesItemThreeOnTheMainThreadInArrivalOrder)
{
    launch();
    std::vector<QString> titles;
    bool offMainThread = false;
    QObject::connect(item(3), &QAction::changed, [&] {
        titles.push_back(item(3)->text());
        offMainThread |= QThread::currentThread() != qApp->thread();
    });

    // Calls from a network thread, in a known order.
    constexpr int kCalls = 400;
    ::testing::internal::CaptureStdout();
    std::thread([&] {
        for (int i = 1; i <= kCalls; ++i)
            delegate->setConnectCnt(i);
    }).join();
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
    item(3)->trigger();
    EXPECT_EQ(alerts.shown(), "连接状态|已连接设备数量：400|确定\n");

    // Live channels of real connections count while they are open.
    delegate->setConnectCnt(0);
    const auto phone = [&] {
        auto connection = std::make_unique<RawConnection>(options.tcpPort);
        connection->sendFramed("keep_alive");
        connection->sendFramed("");
        return connection;
    };
    const auto counted = [&](int n) {
        return app.pumpUntil([&] { return item(3)->text() == QStringLiteral("已连接设备数量：%1").arg(n); });
    };
    auto first = phone();
    EXPECT_TRUE(counted(1));
    auto second = phone();
    EXPECT_TRUE(counted(2));
    first.reset();
    EXPECT_TRUE(counted(1));
    second.reset();
    EXPECT_TRUE(counted(0));
    EXPECT_EQ(delegate->connectCnt, 0);
}

TEST_F(StatusMenu, EachOpeningMakesANewCentredWindowAboveTheOthers)
{
    launch();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const std::vector<std::pair<int, std::function<QWidget*()>>> openings = {
        {4, [&] { return delegate->setCtl.get(); }},
        {5, [&] { return delegate->trustCtl.get(); }},
        {10, [&] { return delegate->helpCtl.get(); }},
        {11, [&] { return delegate->aboutCtl.get(); }},
    };
    for (const auto& [tag, window] : openings) {
        SCOPED_TRACE(tag);
        EXPECT_EQ(window(), nullptr);
        item(tag)->trigger();
        QPointer<QWidget> first = window();
        ASSERT_NE(first, nullptr);
        EXPECT_TRUE(first->isVisible());
        EXPECT_TRUE(first->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        const QPoint offCentre = first->geometry().center() - screen.center();
        EXPECT_LE(std::max(std::abs(offCentre.x()), std::abs(offCentre.y())), 1);

        item(tag)->trigger();
        EXPECT_NE(window(), first.data());
        EXPECT_TRUE(window()->isVisible());
        // The replaced window is closed, and gone once the loop has run.
        EXPECT_TRUE(first.isNull() || !first->isVisible());
        EXPECT_TRUE(app.pumpUntil([&] { return first.isNull(); }, 2000));
    }
    EXPECT_EQ(alerts.shown(), "");
}

TEST_F(StatusMenu, PairingWindowOpensWithTheCodeAndClosesWhenAPhoneScans)
{
    launch();
    delegate->hostAddresses = [] { return std::vector<std::string>{"192.168.1.5"}; };
    item(0)->trigger();
    ASSERT_NE(delegate->qrCodeCtl, nullptr);
    EXPECT_TRUE(delegate->qrCodeCtl->isVisible());
    EXPECT_EQ(request("OpKey_ScanConnect"), RawConnection::framed(""));
    EXPECT_TRUE(app.pumpUntil([&] { return !delegate->qrCodeCtl->isVisible(); }));
    EXPECT_EQ(alerts.shown(), "");

    // Without an address there is only the alert, and no window stays open.
    delegate->hostAddresses = [] { return std::vector<std::string>{"127.0.0.1"}; };
    item(0)->trigger();
    EXPECT_EQ(alerts.shown(), "获取二维码失败！|无法获取您的IP地址|确定\n");
    ASSERT_NE(delegate->qrCodeCtl, nullptr);
    EXPECT_FALSE(delegate->qrCodeCtl->isVisible());
    // A scan with no window open does nothing harmful.
    EXPECT_EQ(request("OpKey_ScanConnect"), RawConnection::framed(""));
    app.pump(50);
}

TEST_F(StatusMenu, DiscoveryAnswersBecomeOneSignalEachOnTheMainThread)
{
    launch();
    QStringList posted;
    bool offMainThread = false;
    QObject::connect(delegate.get(), &AppDelegate::BoardcastKey_UDPAnswer, [&](const QVariantMap& info) {
        QStringList fields;
        for (auto it = info.begin(); it != info.end(); ++it)
            fields << it.key() + '=' + it.value().toString();
        posted << fields.join(' ');
        offMainThread |= QThread::currentThread() != qApp->thread();
    });
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{AF_INET, htons(static_cast<uint16_t>(options.udpPort)), {htonl(INADDR_LOOPBACK)}, {}};
    for (std::string record : {"1^_7other-desktop^_72^_7OtherDesktop001", "2^_7leaving-phone^_71^_7PhoneInstance01"}) {
        record.resize(256, '\0');
        ::sendto(fd, record.data(), record.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    ::close(fd);
    ASSERT_TRUE(app.pumpUntil([&] { return posted.size() == 2; }));
    app.pump(100);
    EXPECT_EQ(posted, QStringList({"SysType=2 UDPMsgType=1 ip=127.0.0.1 name=other-desktop",
                                   "SysType=1 UDPMsgType=2 ip=127.0.0.1 name=leaving-phone"}));
    EXPECT_FALSE(offMainThread);
}

TEST_F(StatusMenu, WithoutATrayAWindowCarriesTheSameEntries)
{
    launch();
    EXPECT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    ASSERT_NE(delegate->statusItem(), nullptr);
    EXPECT_FALSE(delegate->statusItem()->isVisible());
    MenuWindow* window = delegate->menuWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    auto button = [&](int tag) { return window->buttonFor(item(tag)); };
    for (int tag = 0; tag < 14; ++tag) {
        if (item(tag)->isSeparator()) {
            EXPECT_EQ(button(tag), nullptr);
            continue;
        }
        ASSERT_NE(button(tag), nullptr) << tag;
        EXPECT_EQ(button(tag)->text(), item(tag)->text()) << tag;
        EXPECT_TRUE(button(tag)->isVisible()) << tag;
    }
    EXPECT_EQ(item(14), nullptr);
    EXPECT_EQ(item(-1), nullptr);
    // Check marks and the live count follow the menu.
    auto mark = [&](int tag) { return button(tag)->icon().pixmap(16).toImage(); };
    const QImage markShown = mark(7), markAbsent = mark(8);
    EXPECT_NE(markShown, markAbsent);
    button(8)->click();
    EXPECT_FALSE(Config::isAutoStart());
    EXPECT_EQ(mark(8), markShown);
    EXPECT_EQ(mark(7), markAbsent);
    delegate->setConnectCnt(2);
    EXPECT_TRUE(app.pumpUntil([&] { return button(3)->text() == "已连接设备数量：2"; }));

    // The buttons run the entries' actions.
    button(11)->click();
    ASSERT_NE(delegate->aboutCtl, nullptr);
    EXPECT_TRUE(delegate->aboutCtl->isVisible());
    button(3)->click();
    EXPECT_EQ(alerts.shown(), "连接状态|已连接设备数量：2|确定\n");
}

// What the user reads, in a Chinese and in an English locale: the menu, every
// window, the alerts and the programs' terminal texts. In English no Chinese
// character is left in any window, and in both every label has the room its
// text needs, measured with Noto CJK (the font Corvane installs for the
// Chinese texts, whose lines are taller than the layouts' design).
TEST_F(StatusMenu, EveryTextFollowsTheLocaleInChineseAndEnglish)
{
    const QStringList noto = QFontDatabase::families(QFontDatabase::SimplifiedChinese).filter("Noto Sans CJK");
    CORVANE_REQUIRE_TOOLS(!noto.isEmpty(), "fonts-noto-cjk");
    // The menu; the title and first text of each window; an alert; in the
    // terminal a second copy on these ports, the trust and autostart
    // commands, a wrong option, the client's help; the pairing line.
    const std::vector<std::array<std::string, 3>> languages = {{
        {"zh_CN.UTF-8",
         "Corvane|显示二维码|显示IP地址|已连接设备数量：0|设置密码...|已信任的设备...|开机启动|不开机启动|帮助...|关于...|退出\n"
         "Corvane 帮助|Corvane在这里\nCorvane 文字输入|输入文字，点击发送交给手机\nCorvane|显示二维码\n"
         "关于 Corvane|Corvane\n已信任的设备|下面这些设备可以控制这台电脑。移除后，设备再次连接时需要重新批准。\n"
         "扫码连接|使用手机进行扫码连接\n新设备请求连接|设备“未知设备”（10.0.0.7）请求控制这台电脑。只允许您自己的手机。\n"
         "设置密码|您已经设置了连接密码\n连接状态|已连接设备数量：0|确定\n"
         "错误: 您已经启动了一个Corvane，请关闭已经启动的Corvane再重试\n正在运行的Corvane（进程号 <pid>）占用着TCP端口"
         "<port>。\ncorvane: 10.1.2.3 已被信任\ncorvane: 开机启动已关闭\ncorvane: 未知选项 --frobnicate\n"
         "用法：corvane-client [--host H] [--port P] [--timeout S] [--verbose] 命令",
         "本机IP: "},
        {"en_US.UTF-8",
         "Corvane|Show QR Code…|Show IP Address…|Connected devices: 0|Set Password…|Trusted Devices…|Start at Login|"
         "Don't Start at Login|Help|About Corvane|Quit\nAbout Corvane|Corvane\nCorvane Help|Corvane is here\n"
         "Corvane Text Input|Type text, then click Send to pass it to the phone\nCorvane|Show QR Code…\n"
         "New Device Wants to Connect|The device “Unknown device” (10.0.0.7) wants to control this computer. Allow only "
         "your own phone.\nScan to Connect|Scan with your phone to connect\nSet Password|A connection password is set.\n"
         "Trusted Devices|These devices can control this computer. A device you remove must be approved again the next "
         "time it connects.\nConnection status|Connected devices: 0|OK\n"
         "Error: Corvane is already running. Quit it and try again.\nThe Corvane that is running (process <pid>) holds "
         "TCP port <port>.\ncorvane: 10.1.2.3 is trusted\ncorvane: start at login is off\n"
         "corvane: unknown option --frobnicate\nUsage: corvane-client [--host H] [--port P] [--timeout S] [--verbose] COMMAND",
         "This computer's IP address: "},
    }};
    auto run = [](const std::vector<std::string>& args) { return ChildProcess::Run(args); };
    auto firstLine = [](const std::string& text) { return text.substr(0, text.find('\n')); };
    for (const auto& [locale, expected, pairing] : languages) {
        sandbox.set("LANG", locale);
        const Language language{QLocale(QString::fromStdString(locale))};
        Config::setConnPwd("secret");
        Config::trustDevice("10.0.0.5", "");
        launch();
        alerts.clear();
        // Every window: those the menu opens, the text-input window, the
        // question about a new device and the menu window.
        delegate->hostAddresses = [] { return std::vector<std::string>{"192.168.1.5"}; };
        for (const int tag : {0, 4, 5, 10, 11})
            item(tag)->trigger();
        InputCtl input;
        input.show();
        QtApprovalPrompt prompt;
        prompt.ask("", "10.0.0.7", [](bool) {});
        app.pump(50);
        QStringList shown;
        for (const QWidget* window : QApplication::topLevelWidgets()) {
            if (!window->isVisible())
                continue;
            const QString all = Texts(*window).join('|');
            EXPECT_FALSE(locale[0] == 'e' && all.contains(QRegularExpression("\\p{Han}"))) << all.toStdString();
            shown << all.section('|', 0, 1);
        }
        shown.sort();
        item(3)->trigger();

        const std::string port = std::to_string(options.tcpPort);
        std::string said = Texts(*delegate->menuWindow()).join('|').toStdString() + '\n' +
                           shown.join('\n').toStdString() + '\n' + alerts.shown() +
                           run({CORVANE_SERVER_EXE, "--headless", "--port", port, "--udp-port",
                                std::to_string(options.udpPort), "--broadcast", "127.255.255.255"}).err +
                           firstLine(run({CORVANE_SERVER_EXE, "--trust", "10.1.2.3"}).out) + '\n' +
                           firstLine(run({CORVANE_SERVER_EXE, "--autostart", "off"}).out) + '\n' +
                           firstLine(run({CORVANE_SERVER_EXE, "--frobnicate"}).err) + '\n' +
                           firstLine(run({CORVANE_CLIENT_EXE, "--help"}).out);
        said = std::regex_replace(said, std::regex("\\b" + std::to_string(::getpid()) + "\\b"), "<pid>");
        EXPECT_EQ(std::regex_replace(said, std::regex("\\b" + port + "\\b"), "<port>"), expected);
        // The pairing line, where this machine has an address for it.
        const std::vector<std::string> addresses = HostAddresses::qualifying();
        ServerProcess headless;
        EXPECT_TRUE(addresses.empty() || headless.waitForOutput(pairing + addresses[0] + "\n")) << headless.output();
    }

    // The language a locale chooses, by the help's first line: the first one
    // Corvane has in LANGUAGE, then LC_ALL, LC_MESSAGES and LANG; English
    // where it has none.
    const std::vector<std::pair<std::array<const char*, 4>, std::string>> locales = {
        {{"de_DE.UTF-8", "", "", ""}, "Usage: corvane [options]"},
        {{"de_DE.UTF-8", "fr:zh_TW", "", ""}, "用法：corvane [选项]"},
        {{"zh_CN.UTF-8", "", "en_US.UTF-8", ""}, "Usage: corvane [options]"},
        {{"en_US.UTF-8", "", "", "zh_CN.UTF-8"}, "用法：corvane [选项]"},
    };
    for (const auto& [values, expected] : locales) {
        for (size_t i = 0; i < values.size(); ++i)
            sandbox.set(std::array{"LANG", "LANGUAGE", "LC_MESSAGES", "LC_ALL"}[i], values[i]);
        EXPECT_EQ(firstLine(run({CORVANE_SERVER_EXE, "--help"}).out), expected) << values[0] << ' ' << values[1];
    }
}
