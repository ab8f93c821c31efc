// The clipboard push: the notification a local HTTP server on loopback
// receives (body, "Authorization" header), and when none is sent.
#include "Config.h"
#include "FreePort.h"
#include "HttpRequest.h"
#include "LoopbackHttpServer.h"
#include "MemoryPasteboard.h"
#include "Pasteboard.h"
#include "StdoutCapture.h"
#include "UserSandbox.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

// The notification body the phone's push service expects, for a
// registration id already in its JSON form.
std::string Notification(const std::string& jsonRegistrationId, int type)
{
    return "{\"platform\": \"all\",\"audience\": {\"registration_id\": [\"" + jsonRegistrationId +
           "\"]},\"notification\": {\"ios\": {\"badge\":\"0\",\"alert\": \"\",\"sound\":\"\",\"content-available\": "
           "true,\"extras\": {\"type\":" +
           std::to_string(type) +
           ",\"txt\": \"\"}}},\"options\": {\"time_to_live\": 0,\"apns_production\": true,\"apns_collapse_id\":"
           "\"corvane\"}}";
}

class ClipboardPush : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Straight to the loopback server, whatever proxy the machine names.
        sandbox.set("no_proxy", "*");
        sandbox.set("NO_PROXY", "*");
        ASSERT_TRUE(http.listening());
        Config::setPushRegestId("1a0018970a1b2c3d");
        Config::setPushURL(http.url().c_str());
        Config::setPushAuthorInfo("Basic YXBwa2V5Om1hc3RlcnNlY3JldA==");
        Pasteboard::setInstance(&board);
    }
    void TearDown() override { Pasteboard::setInstance(nullptr); }

    // Copies something and asks for a push, as the clipboard watch does.
    bool Copy(std::optional<std::string> text, std::vector<std::string> files = {},
              std::map<std::string, std::string> formats = {})
    {
        board.set(std::move(text), std::move(files), std::move(formats));
        return HttpRequest().sendJPush();
    }

    // Each test starts from contents no earlier test had, since the last
    // attempt's contents live as long as the process.
    std::string Unique(const std::string& text) const
    {
        return text + " (" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ")";
    }

    // Pushes one last, recognisable notification and returns every body
    // received up to it. One worker sends the notifications in order, so an
    // unwanted one sent earlier has arrived by then.
    std::vector<std::string> BodiesUpToAFinalPush()
    {
        Config::setPushRegestId("final");
        EXPECT_TRUE(Copy(Unique("final contents")));
        std::vector<std::string> bodies;
        const std::string last = Notification("final", HttpRequest::kTypeText);
        for (std::size_t count = 1; http.waitForRequests(count); ++count) {
            bodies.push_back(http.requests()[count - 1].body);
            if (bodies.back() == last)
                return bodies;
        }
        ADD_FAILURE() << "the final notification did not arrive";
        return bodies;
    }

    UserSandbox sandbox;
    LoopbackHttpServer http;
    MemoryPasteboard board;
};

TEST_F(ClipboardPush, CopiedTextIsAnnouncedAsType2WithTheAuthorizationHeader)
{
    ASSERT_TRUE(Copy(Unique("hello")));
    ASSERT_TRUE(http.waitForRequests(1));
    const LoopbackHttpServer::Request request = http.requests()[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/v3/push");
    EXPECT_EQ(request.header("Authorization"), std::vector<std::string>({"Basic YXBwa2V5Om1hc3RlcnNlY3JldA=="}));
    EXPECT_EQ(request.body, Notification("1a0018970a1b2c3d", HttpRequest::kTypeText));
}

TEST_F(ClipboardPush, CopiedFilesAreType3EvenWithAText)
{
    ASSERT_TRUE(Copy(Unique("caption"), {"/home/user/report.pdf", "/home/user/photo.jpg"}));
    ASSERT_TRUE(Copy(std::nullopt, {Unique("/home/user/notes.txt")}));
    ASSERT_TRUE(http.waitForRequests(2));
    for (const auto& request : http.requests())
        EXPECT_EQ(request.body, Notification("1a0018970a1b2c3d", HttpRequest::kTypeFiles));
}

TEST_F(ClipboardPush, NothingIsSentWithoutRegistrationIdOrAuthorization)
{
    Config::setPushRegestId("");
    EXPECT_FALSE(Copy(Unique("one")));
    Config::setPushRegestId("1a0018970a1b2c3d");
    Config::setPushAuthorInfo("");
    EXPECT_FALSE(Copy(Unique("two")));
    // A value that would end the header line early is no value either.
    Config::setPushAuthorInfo("Basic abc\r\nX-Injected: 1");
    EXPECT_FALSE(Copy(Unique("three")));

    // Those attempts did not count as handled: the same contents go out once
    // the settings are complete.
    Config::setPushAuthorInfo("Basic abc");
    EXPECT_TRUE(HttpRequest().sendJPush());
    ASSERT_TRUE(http.waitForRequests(1));
    EXPECT_EQ(http.requests()[0].header("Authorization"), std::vector<std::string>({"Basic abc"}));
    EXPECT_EQ(BodiesUpToAFinalPush().size(), 2u);
}

TEST_F(ClipboardPush, TheSameContentsAreSentOnce)
{
    const std::string text = Unique("same");
    EXPECT_TRUE(Copy(text));
    EXPECT_FALSE(Copy(text)); // copied again: the change count moves, the contents do not
    EXPECT_FALSE(HttpRequest().sendJPush());
    EXPECT_TRUE(Copy(text + " changed"));
    EXPECT_EQ(BodiesUpToAFinalPush().size(), 3u);
}

TEST_F(ClipboardPush, AnEmptyClipboardSendsNothingButIsRemembered)
{
    const std::string text = Unique("before and after");
    EXPECT_TRUE(Copy(text));
    EXPECT_FALSE(Copy(std::nullopt));
    EXPECT_FALSE(Copy(std::string())); // empty text: nothing copied either
    EXPECT_TRUE(Copy(text));           // differs from the empty clipboard last seen
    EXPECT_EQ(BodiesUpToAFinalPush().size(), 3u);
}

TEST_F(ClipboardPush, TextThatLooksLikeTheSeparatorIsStillText)
{
    EXPECT_TRUE(Copy("_^_7"));
    ASSERT_TRUE(http.waitForRequests(1));
    EXPECT_EQ(http.requests()[0].body, Notification("1a0018970a1b2c3d", HttpRequest::kTypeText));
}

TEST_F(ClipboardPush, SecretsFromPasswordManagersAreNeverSent)
{
    const std::string password = Unique("correct horse battery staple");
    EXPECT_FALSE(Copy(password, {}, {{"x-kde-passwordManagerHint", "secret"}}));
    // Remembered: the same secret is not looked at again.
    EXPECT_FALSE(Copy(password));
    EXPECT_FALSE(Copy(Unique("second secret"), {"/tmp/key.pem"}, {{"x-kde-passwordManagerHint", "secret"}}));
    // Any other hint is ordinary contents.
    EXPECT_TRUE(Copy(Unique("not secret"), {}, {{"x-kde-passwordManagerHint", "public"}}));
    EXPECT_EQ(BodiesUpToAFinalPush().size(), 2u);
}

TEST_F(ClipboardPush, TheRegistrationIdIsEscapedForJson)
{
    const std::string id = std::string("id\"with\\quote\nline\ttab\x01") + "\x1f end 中文";
    Config::setPushRegestId(id.c_str());
    EXPECT_TRUE(Copy(Unique("escape")));
    ASSERT_TRUE(http.waitForRequests(1));
    const std::string body = http.requests()[0].body;
    EXPECT_EQ(body, Notification("id\\\"with\\\\quote\\nline\\ttab\\u0001\\u001f end 中文", HttpRequest::kTypeText));

    // What the push service reads back is the id as it was set.
    QJsonParseError error{};
    const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(body), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << body;
    const QJsonObject audience = json.object().value("audience").toObject();
    EXPECT_EQ(audience.value("registration_id").toArray().at(0).toString().toStdString(), id);
    const QJsonObject extras =
        json.object().value("notification").toObject().value("ios").toObject().value("extras").toObject();
    EXPECT_EQ(extras.value("type").toInt(), HttpRequest::kTypeText);
    EXPECT_EQ(extras.value("txt").toString(), QString());
}

TEST_F(ClipboardPush, WithoutAClipboardNothingIsSent)
{
    board.setAvailable(false);
    EXPECT_FALSE(Copy(Unique("unseen")));
    board.setAvailable(true);
    EXPECT_EQ(BodiesUpToAFinalPush().size(), 1u);
}

TEST_F(ClipboardPush, TheResponseIsLogged)
{
    LoopbackHttpServer refusing(400, "{\"error\":{\"code\":1003}}");
    Config::setPushURL(refusing.url().c_str());
    StdoutCapture output(sandbox.root().file("stdout"));
    EXPECT_TRUE(Copy(Unique("logged")));
    ASSERT_TRUE(refusing.waitForRequests(1));
    const std::string statusLine = "====>[Response][Status:400] : {\"error\":{\"code\":1003}}";
    std::vector<std::string> lines;
    for (int i = 0; i < 500 && std::find(lines.begin(), lines.end(), statusLine) == lines.end(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        lines = output.lines();
    }
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "{\"error\":{\"code\":1003}}");
    EXPECT_EQ(lines.back(), statusLine);
}

TEST_F(ClipboardPush, AnUnreachableServiceIsLoggedAsStatus0)
{
    Config::setPushURL(("http://127.0.0.1:" + std::to_string(FreePort::tcp()) + "/v3/push").c_str());
    StdoutCapture output(sandbox.root().file("stdout"));
    EXPECT_TRUE(Copy(Unique("unreachable")));
    const std::string statusLine = "====>[Response][Status:0] : ";
    std::vector<std::string> lines;
    for (int i = 0; i < 1200 && std::find(lines.begin(), lines.end(), statusLine) == lines.end(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        lines = output.lines();
    }
    EXPECT_NE(std::find(lines.begin(), lines.end(), statusLine), lines.end());
}

} // namespace
