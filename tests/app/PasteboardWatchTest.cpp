#include "AppDelegate.h"
#include "Config.h"
#include "DesktopApplication.h"
#include "HttpRequest.h"
#include "InProcessServer.h"
#include "LoopbackHttpServer.h"
#include "MemoryPasteboard.h"
#include "Pasteboard.h"
#include "PasteboardWatch.h"
#include "FreePort.h"
#include "StdoutCapture.h"
#include "UserSandbox.h"
#include "XvfbServer.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Bodies(const LoopbackHttpServer& http)
{
    std::vector<std::string> bodies;
    for (const auto& request : http.requests())
        bodies.push_back(request.body);
    return bodies;
}

// How often the watch logged a change.
long Changes(StdoutCapture& output)
{
    const std::vector<std::string> lines = output.lines();
    return std::count(lines.begin(), lines.end(), "=====>粘帖板有变化");
}

class PasteboardWatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(http.listening());
        Config::setPushRegestId("watch-id");
        Config::setPushURL(http.url().c_str());
        Config::setPushAuthorInfo("Basic d2F0Y2g=");
        Pasteboard::setInstance(&board);
    }
    void TearDown() override { Pasteboard::setInstance(nullptr); }

    // Contents no earlier test copied: the last push attempt's outlives a test.
    std::string Unique(const std::string& text) const
    {
        return text + " (" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ")";
    }

    UserSandbox sandbox;
    LoopbackHttpServer http;
    MemoryPasteboard board;
    DesktopApplication desktop{"offscreen"};
};

TEST_F(PasteboardWatchTest, TheFirstCheckOnlyRecordsThenEachNewContentIsPushed)
{
    StdoutCapture output(sandbox.root().file("stdout"));
    board.set(Unique("there before the watch"), {});
    PasteboardWatch watch;
    watch.startPasteboardTimer();
    EXPECT_TRUE(watch.running());
    EXPECT_EQ(watch.changeCount(), board.changeCount()); // checked at once, nothing sent

    board.set(Unique("copied text"), {});
    ASSERT_TRUE(desktop.pumpUntil([&] { return http.requests().size() == 1; }));
    EXPECT_EQ(watch.changeCount(), board.changeCount());

    // Copied again: a change, the same contents, no push.
    board.set(Unique("copied text"), {});
    ASSERT_TRUE(desktop.pumpUntil([&] { return watch.changeCount() == board.changeCount(); }));

    board.set(Unique("caption"), {"/home/user/slides.odp"});
    ASSERT_TRUE(desktop.pumpUntil([&] { return http.requests().size() == 2; }));
    EXPECT_EQ(Bodies(http), std::vector<std::string>({HttpRequest::JPushBody("watch-id", HttpRequest::kTypeText),
                                                      HttpRequest::JPushBody("watch-id", HttpRequest::kTypeFiles)}));
    EXPECT_EQ(http.requests()[0].header("Authorization"), std::vector<std::string>({"Basic d2F0Y2g="}));
    EXPECT_EQ(Changes(output), 4); // the first check and three changes
}

TEST_F(PasteboardWatchTest, WithoutAClipboardNothingIsCheckedAndAChangeWhileStoppedIsPushedAtTheNextStart)
{
    StdoutCapture output(sandbox.root().file("stdout"));
    board.setAvailable(false);
    PasteboardWatch watch;
    watch.startPasteboardTimer();
    EXPECT_EQ(watch.changeCount(), 0);
    EXPECT_EQ(Changes(output), 0);
    watch.stopPasteboardTimer();

    board.setAvailable(true);
    watch.startPasteboardTimer();
    watch.startPasteboardTimer(); // already running: nothing new
    const long long seen = watch.changeCount();
    watch.stopPasteboardTimer();
    EXPECT_FALSE(watch.running());
    board.set(Unique("copied while off"), {});
    EXPECT_EQ(watch.changeCount(), seen);
    watch.startPasteboardTimer(); // the count is kept: this check pushes
    EXPECT_EQ(watch.changeCount(), board.changeCount());
    ASSERT_TRUE(http.waitForRequests(1));
    EXPECT_EQ(Bodies(http), std::vector<std::string>{HttpRequest::JPushBody("watch-id", HttpRequest::kTypeText)});
}

// The phone hands over its push settings and switches the watch on through
// the service; the desktop user copies on a real X server.
TEST(ClipboardWatchOnX, ThePhoneSwitchesTheWatchAndCopiesArePushed)
{
    CORVANE_START_XVFB(xvfb, 640, 480);
    UserSandbox sandbox;
    LoopbackHttpServer http;
    DesktopApplication desktop;
    AppDelegate delegate(FreePort::launchOptions());
    AppDelegateHooks::setCurrent(&delegate);
    InProcessServer server;

    const std::string settings = "x11-id^_7device-token^_7" + http.url() + "^_7Basic eDExOmtleQ==";
    EXPECT_EQ(desktop.request(server, "OpKey_SyncWorkConfig", settings).bytes, settings);
    EXPECT_EQ(desktop.request(server, "OpKey_SyncWork", "1").bytes, "");
    ASSERT_TRUE(desktop.pumpUntil([&] { return delegate.pasteboardWatch.running(); }));
    ASSERT_TRUE(desktop.pumpUntil([&] { return delegate.pasteboardWatch.changeCount() != 0; }));

    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("copied on the X desktop"));
    ASSERT_TRUE(desktop.pumpUntil([&] { return http.requests().size() == 1; }, 10000));

    // A password manager's copy is seen, and not sent.
    auto* secret = new QMimeData;
    secret->setText(QStringLiteral("s3cr3t-passw0rd"));
    secret->setData(QStringLiteral("x-kde-passwordManagerHint"), "secret");
    const long long beforeSecret = delegate.pasteboardWatch.changeCount();
    clipboard->setMimeData(secret);
    ASSERT_TRUE(desktop.pumpUntil([&] { return delegate.pasteboardWatch.changeCount() > beforeSecret; }));

    auto* files = new QMimeData;
    files->setUrls({QUrl::fromLocalFile(QString::fromStdString(sandbox.documents() + "/report.pdf"))});
    clipboard->setMimeData(files);
    ASSERT_TRUE(desktop.pumpUntil([&] { return http.requests().size() >= 2; }, 10000));
    EXPECT_EQ(Bodies(http), std::vector<std::string>({HttpRequest::JPushBody("x11-id", HttpRequest::kTypeText),
                                                      HttpRequest::JPushBody("x11-id", HttpRequest::kTypeFiles)}));
    EXPECT_EQ(http.requests()[1].header("Authorization"), std::vector<std::string>({"Basic eDExOmtleQ=="}));

    EXPECT_EQ(desktop.request(server, "OpKey_SyncWork", "0").bytes, "");
    ASSERT_TRUE(desktop.pumpUntil([&] { return !delegate.pasteboardWatch.running(); }));
    AppDelegateHooks::setCurrent(nullptr);
}

} // namespace
