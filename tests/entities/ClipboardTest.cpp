// Clipboard replies (over an in-memory clipboard, without one, and from a
// real X client's selection), the clipboard watch, and the push
// notifications that a local HTTP server on loopback receives.
#include "AppDelegate.h"
#include "CData.h"
#include "ChildProcess.h"
#include "Config.h"
#include "DesktopApplication.h"
#include "FileFacts.h"
#include "FreePort.h"
#include "HttpRequest.h"
#include "InProcessServer.h"
#include "LoopbackHttpServer.h"
#include "MemoryPasteboard.h"
#include "Phone.h"
#include "Pasteboard.h"
#include "PasteboardWatch.h"
#include "SRequest.h"
#include "ServerProcess.h"
#include "StdoutCapture.h"
#include "TempDir.h"
#include "UserSandbox.h"
#include "XvfbServer.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <tuple>

namespace {

using Replies = std::pair<std::string, std::string>; // plain, rich

std::string ClipboardRecord(const std::string& path, const std::string& name, bool directory)
{
    const bool exists = std::filesystem::exists(std::filesystem::symlink_status(path));
    return "0^%_2^%_0^%_" + name + "^%_" + name + "^%_" + (directory ? "1" : "0") + "^%_" +
           std::to_string(FileFacts::size(path)) + "^%_" + (exists ? FileFacts::created(path) : "0.000000") +
           "^%_" + FileFacts::modified(path) + "^%_0^%_" + path + "^_7";
}

// An in-memory clipboard installed for the life of the fixture.
class Clipboard : public ::testing::Test {
protected:
    void SetUp() override { Pasteboard::setInstance(&board); }
    void TearDown() override { Pasteboard::setInstance(nullptr); }
    MemoryPasteboard board;
};

TEST_F(Clipboard, RepliesCarryTheTextAndCopiedFilesUnescaped)
{
    TempDir dir;
    const std::string file = dir.write("report.pdf", "%PDF-1.4 twenty bytes");
    const std::string folder = dir.file("photos");
    std::filesystem::create_directories(folder);
    const std::string gone = dir.file("deleted-since.txt");
    InProcessServer server;
    const auto replies = [&] {
        return Replies{server.request("OpKey_GetChipBoardData").bytes, server.request("OpKey_GetRichChipBoardData").bytes};
    };
    board.set(std::string("hello"), {});
    EXPECT_EQ(replies(), Replies("1^_7hello", "_^_7hello"));
    board.set(std::nullopt, {});
    EXPECT_EQ(replies(), Replies("0", "_^_7"));
    board.set(std::string("a^_7b_^_7c"), {});
    EXPECT_EQ(replies(), Replies("1^_7a^_7b_^_7c", "_^_7a^_7b_^_7c"));
    // Files come as records before the text; the plain reply never lists them.
    board.set(std::nullopt, {file, folder + "/", gone});
    EXPECT_EQ(replies(), Replies(
                             "0", ClipboardRecord(file, "report.pdf", false) + ClipboardRecord(folder + "/", "photos", true) +
                                      ClipboardRecord(gone, "deleted-since.txt", false) + "_^_7"));
    board.set(std::string("caption"), {file});
    EXPECT_EQ(replies().second, ClipboardRecord(file, "report.pdf", false) + "_^_7caption");
}

TEST(ClipboardReply, AHeadlessServiceHasNoClipboard)
{
    UserSandbox user;
    ServerProcess corvane;
    for (const char* head : {"OpKey_GetChipBoardData", "OpKey_GetRichChipBoardData"}) {
        SRequest request;
        request.SetInfo("127.0.0.1", corvane.tcpPort(), 5);
        CData reply;
        ASSERT_EQ(request.SendRequest(head, "", &reply), NR_OK);
        EXPECT_EQ(std::string(reply.Text()), head == std::string("OpKey_GetChipBoardData") ? "0" : "") << head;
    }
}

TEST(DesktopClipboard, TextAndCopiedFilesFromAnotherXClient)
{
    CORVANE_START_XVFB(xvfb, 320, 200);
    DesktopApplication desktop;
    TempDir dir;
    InProcessServer server;
    Pasteboard& pasteboard = Pasteboard::instance();
    const auto replies = [&] {
        return Replies{desktop.request(server, "OpKey_GetChipBoardData").bytes,
                       desktop.request(server, "OpKey_GetRichChipBoardData").bytes};
    };
    // xclip in the foreground owns the clipboard, serving one type, until it is ended by its PID.
    const auto serve = [&](const std::string& type, const std::string& bytes) {
        const std::string input = dir.write("xclip-" + std::to_string(bytes.size()), bytes);
        return std::make_unique<ChildProcess>(
            std::vector<std::string>{"xclip", "-quiet", "-selection", "clipboard", "-t", type, "-i", input},
            ChildProcess::Options{.out = ChildProcess::Stream::Discard, .err = ChildProcess::Stream::Discard});
    };
    // The desktop learns of a new owner through its event loop, which the requests pump.
    const auto answers = [&](const Replies& want) { return Eventually([&] { return replies() == want; }); };

    EXPECT_EQ(replies(), Replies("0", "_^_7"));
    const long long before = pasteboard.changeCount();
    EXPECT_GE(before, 1);
    int changes = 0;
    pasteboard.setChangeListener([&] { ++changes; });
    auto owner = serve("UTF8_STRING", "héllo from X");
    ASSERT_TRUE(owner->started());
    EXPECT_TRUE(answers(Replies("1^_7héllo from X", "_^_7héllo from X"))) << testing::PrintToString(replies());
    owner.reset();
    EXPECT_TRUE(desktop.pumpUntil([&] { return pasteboard.changeCount() > before; }));
    EXPECT_GE(changes, 1);

    const std::string file = dir.write("two words.txt", "some bytes");
    const std::string folder = dir.file("album");
    std::filesystem::create_directories(folder);
    const std::string uris = "file://" + dir.path() + "/two%20words.txt\r\nfile://" + folder + "\r\n";
    owner = serve("text/uri-list", uris);
    ASSERT_TRUE(owner->started());
    EXPECT_TRUE(answers(Replies("0", ClipboardRecord(file, "two words.txt", false) +
                                         ClipboardRecord(folder, "album", true) + "_^_7")))
        << testing::PrintToString(replies());
    EXPECT_EQ(pasteboard.data("text/uri-list"), uris);
    EXPECT_FALSE(pasteboard.data("x-kde-passwordManagerHint").has_value());
    pasteboard.setChangeListener({});
}

// The notification body the phone's push service expects, for a
// registration id already in its JSON form.
std::string Notification(const std::string& jsonRegistrationId, int type)
{
    return "{\"platform\": \"all\",\"audience\": {\"registration_id\": [\"" + jsonRegistrationId +
           "\"]},\"notification\": {\"ios\": {\"badge\":\"0\",\"alert\": \"\",\"sound\":\"\",\"content-available\": "
           "true,\"extras\": {\"type\":" + std::to_string(type) +
           ",\"txt\": \"\"}}},\"options\": {\"time_to_live\": 0,\"apns_production\": true,\"apns_collapse_id\":"
           "\"corvane\"}}";
}

const char* const kId = "1a0018970a1b2c3d";
const char* const kAuth = "Basic YXBwa2V5Om1hc3RlcnNlY3JldA==";
const char* const kChanged = "=====>粘帖板有变化"; // the clipboard watch's log line of a change

// A request as the push service received it: method, target, Authorization values, body.
using Sent = std::tuple<std::string, std::string, std::vector<std::string>, std::string>;

// The push of one change of the given type.
Sent Pushed(const std::string& jsonRegistrationId, const std::string& authorization, int type)
{
    return Sent{"POST", "/v3/push", {authorization}, Notification(jsonRegistrationId, type)};
}

// Every request received once count have come.
std::vector<Sent> Received(const LoopbackHttpServer& http, std::size_t count)
{
    EXPECT_TRUE(http.waitForRequests(count));
    std::vector<Sent> sent;
    for (const LoopbackHttpServer::Request& r : http.requests())
        sent.emplace_back(r.method, r.target, r.header("Authorization"), r.body);
    return sent;
}

// How many of the captured lines are line.
long Count(const StdoutCapture& output, const std::string& line)
{
    const std::vector<std::string> lines = output.lines();
    return std::count(lines.begin(), lines.end(), line);
}

class ClipboardPush : public Clipboard {
protected:
    void SetUp() override
    {
        Clipboard::SetUp();
        ASSERT_TRUE(http.listening());
        Config::setPushRegestId(kId);
        Config::setPushURL(http.url().c_str());
        Config::setPushAuthorInfo(kAuth);
    }

    // Contents no earlier test had: the last attempt's contents live as long as the process.
    std::string Unique(const std::string& text) const
    {
        return text + " (" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ")";
    }

    UserSandbox sandbox;
    LoopbackHttpServer http;
};

// Copies in turn, each asking for a push as the clipboard watch does: text
// goes as type 2 and files as type 3, only for new, non-empty, non-secret
// contents with complete settings. One worker sends in order, so once the
// last push has come, an unwanted earlier one is there too.
TEST_F(ClipboardPush, OnlyNewNonEmptyNonSecretContentsAreSentWithCompleteSettings)
{
    const std::map<std::string, std::string> secret{{"x-kde-passwordManagerHint", "secret"}};
    const struct {
        std::optional<std::string> text;
        std::vector<std::string> files;
        std::map<std::string, std::string> formats;
        bool pushed;
        std::string id = kId, auth = kAuth;
        bool available = true;
        std::string jsonId = ""; // the id as the body carries it, when it differs
    } steps[] = {
        {Unique("hello"), {}, {}, true},
        {Unique("hello"), {}, {}, false}, // copied again: the change count moves, the contents do not
        {"_^_7", {}, {}, true},           // looks like the separator, still text
        {"caption", {"/home/user/report.pdf", "/home/user/photo.jpg"}, {}, true},
        {std::nullopt, {"/home/user/notes.txt"}, {}, true},
        {std::nullopt, {}, {}, false},
        {"", {}, {}, false},
        {std::nullopt, {"/home/user/notes.txt"}, {}, true}, // differs from the empty clipboard last seen
        {"one", {}, {}, false, ""},
        {"one", {}, {}, false, kId, ""},
        {"one", {}, {}, false, kId, "Basic abc\r\nX-Injected: 1"}, // would end the header line early
        {"one", {}, {}, true, kId, "Basic abc"}, // the refused attempts did not count as handled
        {"password", {}, secret, false},
        {"password", {}, {}, false}, // remembered: not looked at again
        {"second secret", {"/tmp/key.pem"}, secret, false},
        {"unseen", {}, {}, false, kId, kAuth, false},
        {"not secret", {}, {{"x-kde-passwordManagerHint", "public"}}, true},
        {"escaped", {}, {}, true, std::string("id\"with\\quote\nline\ttab\x01") + "\x1f end 中文", kAuth, true,
         "id\\\"with\\\\quote\\nline\\ttab\\u0001\\u001f end 中文"},
    };
    std::vector<Sent> want;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.text.value_or("(no text)"));
        Config::setPushRegestId(step.id.c_str());
        Config::setPushAuthorInfo(step.auth.c_str());
        board.setAvailable(step.available);
        board.set(step.text, step.files, step.formats);
        EXPECT_EQ(HttpRequest().sendJPush(), step.pushed);
        if (step.pushed)
            want.push_back(Pushed(step.jsonId.empty() ? step.id : step.jsonId, step.auth,
                                  step.files.empty() ? HttpRequest::kTypeText : HttpRequest::kTypeFiles));
    }
    EXPECT_EQ(Received(http, want.size()), want);
}

TEST_F(ClipboardPush, TheResponseIsLoggedAndAnUnreachableServiceAsStatus0)
{
    LoopbackHttpServer refusing(400, "{\"error\":{\"code\":1003}}");
    Config::setPushURL(refusing.url().c_str());
    StdoutCapture output(sandbox.root().file("stdout"));
    board.set(Unique("logged"), {});
    EXPECT_TRUE(HttpRequest().sendJPush());
    const std::string logged = "====>[Response][Status:400] : {\"error\":{\"code\":1003}}";
    ASSERT_TRUE(Eventually([&] { return Count(output, logged) == 1; }, 12000));
    const auto lines = output.lines(); // the body, then the status line
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(lines.end() - 2, lines.end()),
              (std::vector<std::string>{"{\"error\":{\"code\":1003}}", logged}));

    Config::setPushURL(("http://127.0.0.1:" + std::to_string(FreePort::tcp()) + "/v3/push").c_str());
    board.set(Unique("unreachable"), {});
    EXPECT_TRUE(HttpRequest().sendJPush());
    EXPECT_TRUE(Eventually([&] { return Count(output, "====>[Response][Status:0] : ") == 1; }, 12000));
}

TEST_F(ClipboardPush, TheWatchRecordsAtItsFirstCheckPushesNewContentsAndKeepsItsCountWhileStopped)
{
    DesktopApplication desktop{"offscreen"};
    StdoutCapture output(sandbox.root().file("stdout"));
    board.setAvailable(false);
    PasteboardWatch watch;
    watch.startPasteboardTimer();
    EXPECT_EQ(watch.changeCount(), 0); // no clipboard: nothing checked
    watch.stopPasteboardTimer();
    EXPECT_EQ(Count(output, kChanged), 0);

    board.setAvailable(true);
    board.set(Unique("there before the watch"), {});
    watch.startPasteboardTimer();
    watch.startPasteboardTimer(); // already running: nothing new
    EXPECT_EQ(watch.changeCount(), board.changeCount()); // checked at once, nothing sent
    board.set(Unique("copied text"), {});
    ASSERT_TRUE(desktop.pumpUntil([&] { return http.requests().size() == 1; }));
    board.set(Unique("copied text"), {}); // copied again: a change, the same contents, no push
    ASSERT_TRUE(desktop.pumpUntil([&] { return watch.changeCount() == board.changeCount(); }));

    watch.stopPasteboardTimer();
    EXPECT_FALSE(watch.running());
    const long long seen = watch.changeCount();
    board.set(Unique("caption"), {"/home/user/slides.odp"});
    EXPECT_EQ(watch.changeCount(), seen);
    watch.startPasteboardTimer(); // the count is kept: this check pushes
    EXPECT_EQ(watch.changeCount(), board.changeCount());
    EXPECT_EQ(Received(http, 2),
              (std::vector<Sent>{Pushed(kId, kAuth, HttpRequest::kTypeText), Pushed(kId, kAuth, HttpRequest::kTypeFiles)}));
    EXPECT_EQ(Count(output, kChanged), 4); // the first check and three changes
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
    ASSERT_TRUE(desktop.pumpUntil([&] { return delegate.pasteboardWatch.changeCount() != 0; })); // its first check

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
    EXPECT_EQ(Received(http, 2), (std::vector<Sent>{Pushed("x11-id", "Basic eDExOmtleQ==", HttpRequest::kTypeText),
                                                    Pushed("x11-id", "Basic eDExOmtleQ==", HttpRequest::kTypeFiles)}));

    EXPECT_EQ(desktop.request(server, "OpKey_SyncWork", "0").bytes, "");
    ASSERT_TRUE(desktop.pumpUntil([&] { return !delegate.pasteboardWatch.running(); }));
    AppDelegateHooks::setCurrent(nullptr);
}

} // namespace
