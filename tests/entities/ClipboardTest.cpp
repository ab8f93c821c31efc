// Clipboard replies: the record format over an in-memory clipboard, the
// headless service without a clipboard, and the desktop clipboard of a real
// X server filled by a real X client (xclip).
#include "CData.h"
#include "ChildProcess.h"
#include "DesktopApplication.h"
#include "FileFacts.h"
#include "InProcessServer.h"
#include "MemoryPasteboard.h"
#include "Pasteboard.h"
#include "SRequest.h"
#include "ServerProcess.h"
#include "TempDir.h"
#include "UserSandbox.h"
#include "XvfbServer.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string ClipboardRecord(const std::string& path, const std::string& name, bool directory)
{
    const bool exists = std::filesystem::exists(std::filesystem::symlink_status(path));
    return "0^%_2^%_0^%_" + name + "^%_" + name + "^%_" + (directory ? "1" : "0") + "^%_" +
           std::to_string(FileFacts::size(path)) + "^%_" + (exists ? FileFacts::created(path) : "0.000000") +
           "^%_" + FileFacts::modified(path) + "^%_0^%_" + path + "^_7";
}

// Installs an in-memory clipboard for the life of the object.
class InstalledPasteboard {
public:
    InstalledPasteboard() { Pasteboard::setInstance(&board); }
    ~InstalledPasteboard() { Pasteboard::setInstance(nullptr); }
    MemoryPasteboard board;
};

} // namespace

TEST(ClipboardReply, TextAloneAndNothingAtAll)
{
    InstalledPasteboard clipboard;
    InProcessServer server;

    clipboard.board.set(std::string("hello"), {});
    EXPECT_EQ(server.request("OpKey_GetChipBoardData").bytes, "1^_7hello");
    EXPECT_EQ(server.request("OpKey_GetRichChipBoardData").bytes, "_^_7hello");

    clipboard.board.set(std::nullopt, {});
    EXPECT_EQ(server.request("OpKey_GetChipBoardData").bytes, "0");
    EXPECT_EQ(server.request("OpKey_GetRichChipBoardData").bytes, "_^_7");

    // Separators inside the text are sent unchanged.
    clipboard.board.set(std::string("a^_7b_^_7c"), {});
    EXPECT_EQ(server.request("OpKey_GetChipBoardData").bytes, "1^_7a^_7b_^_7c");
    EXPECT_EQ(server.request("OpKey_GetRichChipBoardData").bytes, "_^_7a^_7b_^_7c");
}

TEST(ClipboardReply, CopiedFilesAreRecordsBeforeTheText)
{
    TempDir dir;
    const std::string file = dir.write("report.pdf", "%PDF-1.4 twenty bytes");
    const std::string folder = dir.file("photos");
    std::filesystem::create_directories(folder);
    const std::string gone = dir.file("deleted-since.txt");
    InstalledPasteboard clipboard;
    InProcessServer server;

    clipboard.board.set(std::nullopt, {file, folder + "/", gone});
    const std::string want = ClipboardRecord(file, "report.pdf", false) +
                             ClipboardRecord(folder + "/", "photos", true) +
                             ClipboardRecord(gone, "deleted-since.txt", false) + "_^_7";
    EXPECT_EQ(server.request("OpKey_GetRichChipBoardData").bytes, want);
    // The plain reply never lists files.
    EXPECT_EQ(server.request("OpKey_GetChipBoardData").bytes, "0");

    clipboard.board.set(std::string("caption"), {file});
    EXPECT_EQ(server.request("OpKey_GetRichChipBoardData").bytes,
              ClipboardRecord(file, "report.pdf", false) + "_^_7caption");
}

TEST(ClipboardReply, AHeadlessServiceHasNoClipboard)
{
    UserSandbox user;
    ServerProcess corvane;
    SRequest plain;
    plain.SetInfo("127.0.0.1", corvane.tcpPort(), 5);
    CData plainReply;
    ASSERT_EQ(plain.SendRequest("OpKey_GetChipBoardData", "", &plainReply), NR_OK);
    EXPECT_EQ(plainReply.Text(), "0");

    SRequest rich;
    rich.SetInfo("127.0.0.1", corvane.tcpPort(), 5);
    CData richReply;
    ASSERT_EQ(rich.SendRequest("OpKey_GetRichChipBoardData", "", &richReply), NR_OK);
    EXPECT_EQ(richReply.size, 0);
}

namespace {

// A real X client owning the clipboard: xclip in the foreground serving the
// bytes as one type until it is ended (by its PID) or loses the selection.
ChildProcess ServeClipboard(const TempDir& dir, const std::string& type, const std::string& bytes)
{
    static int count = 0;
    const std::string input = dir.write("xclip-input-" + std::to_string(++count), bytes);
    return ChildProcess({"xclip", "-quiet", "-selection", "clipboard", "-t", type, "-i", input},
                        {.out = ChildProcess::Stream::Discard, .err = ChildProcess::Stream::Discard});
}

// Pumps events until the clipboard offers the format.
bool Offers(DesktopApplication& desktop, const QString& format)
{
    return desktop.pumpUntil([&] {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        return data != nullptr && data->hasFormat(format);
    });
}

// The reply bytes of a request that must succeed.
std::string Ask(DesktopApplication& desktop, const InProcessServer& server, const std::string& head)
{
    const InProcessServer::Reply reply = desktop.request(server, head);
    EXPECT_EQ(reply.result, NR_OK) << head;
    return reply.bytes;
}

} // namespace

TEST(DesktopClipboard, TextAndCopiedFilesFromAnotherXClient)
{
    CORVANE_START_XVFB(xvfb, 320, 200);
    DesktopApplication desktop;
    TempDir dir;
    InProcessServer server;
    Pasteboard& pasteboard = Pasteboard::instance();

    EXPECT_EQ(Ask(desktop, server, "OpKey_GetChipBoardData"), "0");
    EXPECT_EQ(Ask(desktop, server, "OpKey_GetRichChipBoardData"), "_^_7");
    const long long before = pasteboard.changeCount();
    EXPECT_GE(before, 1);
    int changes = 0;
    pasteboard.setChangeListener([&] { ++changes; });

    {
        ChildProcess owner = ServeClipboard(dir, "UTF8_STRING", "héllo from X");
        ASSERT_TRUE(owner.started());
        ASSERT_TRUE(Offers(desktop, QStringLiteral("text/plain")));
        EXPECT_EQ(Ask(desktop, server, "OpKey_GetChipBoardData"), "1^_7héllo from X");
        EXPECT_EQ(Ask(desktop, server, "OpKey_GetRichChipBoardData"), "_^_7héllo from X");
    }
    EXPECT_TRUE(desktop.pumpUntil([&] { return pasteboard.changeCount() > before; }));
    EXPECT_GE(changes, 1);

    const std::string file = dir.write("two words.txt", "some bytes");
    const std::string folder = dir.file("album");
    std::filesystem::create_directories(folder);
    const std::string uris = "file://" + dir.path() + "/two%20words.txt\r\nfile://" + folder + "\r\n";
    ChildProcess owner = ServeClipboard(dir, "text/uri-list", uris);
    ASSERT_TRUE(owner.started());
    ASSERT_TRUE(Offers(desktop, QStringLiteral("text/uri-list")));
    EXPECT_EQ(Ask(desktop, server, "OpKey_GetRichChipBoardData"),
              ClipboardRecord(file, "two words.txt", false) + ClipboardRecord(folder, "album", true) + "_^_7");
    EXPECT_EQ(Ask(desktop, server, "OpKey_GetChipBoardData"), "0");
    EXPECT_EQ(pasteboard.data("text/uri-list"), uris);
    EXPECT_FALSE(pasteboard.data("x-kde-passwordManagerHint").has_value());
    pasteboard.setChangeListener({});
}
