// Uploads over loopback against the real service: naming, refusals, cut-off
// transfers, simultaneous uploads of one name, and the contact backup.
#include "BaseSocket.h"
#include "CData.h"
#include "InProcessServer.h"
#include "SUpload.h"
#include "TempDir.h"
#include "UserSandbox.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <filesystem>
#include <netinet/in.h>
#include <set>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// The phone's side of one upload, step by step, over a plain socket.
class RawUpload {
public:
    RawUpload(int port, const std::string& body)
    {
        sock = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected = ::connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        connected = connected && Frame("upload") && Frame(body);
    }
    ~RawUpload() { ::close(sock); }

    bool ok() const { return connected; }
    bool announce(long long length) { return BaseSocket::SendSizePacket(sock, length); }
    // The one-byte acknowledgement, or 0 when none came.
    char ack()
    {
        char byte[2] = {};
        return BaseSocket::RecvToBuf(sock, byte, 1, 1, 0) ? byte[0] : 0;
    }
    bool send(const std::string& bytes)
    {
        return BaseSocket::SendFromBuf(sock, bytes.data(), static_cast<long long>(bytes.size()), 40960, 0);
    }
    void finishSending() { ::shutdown(sock, SHUT_WR); }
    // The framed reply, or "(none)".
    std::string reply()
    {
        const long long length = BaseSocket::GetSizePacket(sock);
        if (length < 0 || length > 16)
            return "(none)";
        char text[17] = {};
        return BaseSocket::RecvToBuf(sock, text, length, 16, 0) ? std::string(text, static_cast<size_t>(length))
                                                                 : "(none)";
    }

private:
    bool Frame(const std::string& text)
    {
        return BaseSocket::SendSizePacket(sock, static_cast<long long>(text.size())) &&
               BaseSocket::SendFromBuf(sock, text.data(), static_cast<long long>(text.size()), 40960, 0);
    }

    int sock = -1;
    bool connected = false;
};

struct UploadOutcome {
    NetResult result;
    std::string reply;
};

UploadOutcome Upload(const InProcessServer& server, const std::string& file, const std::string& folder,
                     const std::string& name, bool contact = false)
{
    SUpload upload;
    upload.SetInfo("127.0.0.1", server.port(), 5);
    CData reply;
    const NetResult result = upload.UploadFile(file.c_str(), folder.c_str(), name.c_str(), contact, &reply);
    return {result, std::string(reply.Text())};
}

std::set<std::string> Names(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

bool WaitUntilEmpty(const std::string& folder)
{
    for (int i = 0; i < 500 && !Names(folder).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return Names(folder).empty();
}

std::string Pattern(std::size_t size, int seed)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + static_cast<std::size_t>(seed) * 7) % 253);
    return bytes;
}

} // namespace

TEST(Upload, NeverOverwritesAndNumbersTheNameAsThePhoneExpects)
{
    TempDir source;
    TempDir target;
    InProcessServer server;
    const std::string first = source.write("first", Pattern(100000, 1));
    const std::string second = source.write("second", "second upload");

    const struct {
        const char* name;
        std::vector<std::string> stored;
    } cases[] = {
        {"photo.jpg", {"photo.jpg", "photo_1.jpg", "photo_2.jpg"}},
        {"archive.tar.gz", {"archive.tar.gz", "archive_1.gz"}},
        {"README", {"README", "README_1"}},
        {".profile", {".profile", "profile_1"}},
    };
    for (const auto& c : cases) {
        for (std::size_t i = 0; i < c.stored.size(); ++i) {
            const std::string& file = i == 0 ? first : second;
            const UploadOutcome outcome = Upload(server, file, target.path(), c.name);
            EXPECT_EQ(outcome.result, NR_OK) << c.name;
            EXPECT_EQ(outcome.reply, "1") << c.name;
            EXPECT_EQ(TempDir::read(target.file(c.stored[i])), TempDir::read(file)) << c.stored[i];
        }
    }
    // The first upload of each name kept its bytes; nothing else appeared.
    EXPECT_EQ(TempDir::read(target.file("photo.jpg")), TempDir::read(first));
    EXPECT_EQ(Names(target.path()).size(), 9u);
}

TEST(Upload, AnEmptyFileIsStored)
{
    TempDir source;
    TempDir target;
    InProcessServer server;
    const UploadOutcome outcome = Upload(server, source.write("empty", ""), target.path(), "empty.txt");
    EXPECT_EQ(outcome.reply, "1");
    EXPECT_TRUE(std::filesystem::is_regular_file(target.file("empty.txt")));
    EXPECT_EQ(std::filesystem::file_size(target.file("empty.txt")), 0u);
}

TEST(Upload, RefusedTargetsAnswerZeroAndReadNoData)
{
    TempDir source;
    TempDir target;
    InProcessServer server;
    const std::string file = source.write("data", "payload");

    UploadOutcome outcome = Upload(server, file, target.file("no-such-folder"), "a.txt");
    EXPECT_EQ(outcome.result, NR_SendError);
    EXPECT_EQ(outcome.reply, "0");
    outcome = Upload(server, file, target.path(), "...");
    EXPECT_EQ(outcome.reply, "0");
    outcome = Upload(server, file, target.path() + "/" + std::string(1100, 'd'), "a.txt");
    EXPECT_EQ(outcome.reply, "0");
    outcome = Upload(server, file, target.path(), std::string(1100, 'n'));
    EXPECT_EQ(outcome.reply, "0");

    // A body with only one field names no file.
    RawUpload oneField(server.port(), target.path());
    ASSERT_TRUE(oneField.ok());
    ASSERT_TRUE(oneField.announce(7));
    EXPECT_EQ(oneField.ack(), '0');
    EXPECT_EQ(oneField.reply(), "0");
    EXPECT_TRUE(Names(target.path()).empty());
}

TEST(Upload, ACutOffTransferLeavesNothingBehind)
{
    TempDir target;
    InProcessServer server;
    {
        RawUpload upload(server.port(), target.path() + "^_7cut.bin");
        ASSERT_TRUE(upload.ok());
        ASSERT_TRUE(upload.announce(100000));
        ASSERT_EQ(upload.ack(), '1');
        ASSERT_TRUE(upload.send(Pattern(50000, 3)));
        upload.finishSending();
        EXPECT_EQ(upload.reply(), "0");
    }
    EXPECT_TRUE(WaitUntilEmpty(target.path()));

    // A length that cannot be read: refused, nothing created.
    {
        RawUpload upload(server.port(), target.path() + "^_7nolength.bin");
        ASSERT_TRUE(upload.ok());
        upload.finishSending();
        EXPECT_EQ(upload.ack(), '0');
        EXPECT_EQ(upload.reply(), "0");
    }
    EXPECT_TRUE(Names(target.path()).empty());

    // The name is free again for the next upload.
    TempDir source;
    EXPECT_EQ(Upload(server, source.write("whole", "whole"), target.path(), "cut.bin").reply, "1");
    EXPECT_EQ(Names(target.path()), (std::set<std::string>{"cut.bin"}));
}

TEST(Upload, SimultaneousUploadsOfOneNameGetTwoFiles)
{
    TempDir source;
    TempDir target;
    InProcessServer server;
    const std::string slowBytes = Pattern(200000, 5);
    const std::string fastFile = source.write("fast", Pattern(300000, 6));

    // The first upload has its name and is still receiving when the second
    // one asks for the same name.
    RawUpload slow(server.port(), target.path() + "^_7same.bin");
    ASSERT_TRUE(slow.ok());
    ASSERT_TRUE(slow.announce(static_cast<long long>(slowBytes.size())));
    ASSERT_EQ(slow.ack(), '1');
    ASSERT_TRUE(slow.send(slowBytes.substr(0, 1000)));

    EXPECT_EQ(Upload(server, fastFile, target.path(), "same.bin").reply, "1");

    ASSERT_TRUE(slow.send(slowBytes.substr(1000)));
    EXPECT_EQ(slow.reply(), "1");
    EXPECT_EQ(TempDir::read(target.file("same.bin")), slowBytes);
    EXPECT_EQ(TempDir::read(target.file("same_1.bin")), TempDir::read(fastFile));
    EXPECT_EQ(Names(target.path()), (std::set<std::string>{"same.bin", "same_1.bin"}));
}

TEST(Upload, ManyConcurrentUploadsOfOneNameNeverShareAFile)
{
    TempDir source;
    TempDir target;
    InProcessServer server;
    constexpr int kUploads = 8;
    std::vector<std::string> files;
    for (int i = 0; i < kUploads; ++i)
        files.push_back(source.write("f" + std::to_string(i), Pattern(50000 + static_cast<std::size_t>(i), i)));
    std::vector<std::thread> threads;
    std::vector<std::string> replies(kUploads);
    for (int i = 0; i < kUploads; ++i)
        threads.emplace_back([&, i] { replies[i] = Upload(server, files[i], target.path(), "clip.mov").reply; });
    for (std::thread& t : threads)
        t.join();

    std::multiset<std::string> stored;
    for (const std::string& name : Names(target.path()))
        stored.insert(TempDir::read(target.file(name)));
    std::multiset<std::string> sent;
    for (const std::string& file : files)
        sent.insert(TempDir::read(file));
    EXPECT_EQ(replies, std::vector<std::string>(kUploads, "1"));
    EXPECT_EQ(stored, sent);
}

TEST(Upload, ContactBackupRoundTrip)
{
    UserSandbox user;
    TempDir source;
    InProcessServer server;
    const std::string backup = user.documents() + "/Corvane/backup_contact.vcf";

    EXPECT_EQ(server.request("OpKey_GetFile", "backup_contact").result, NR_FileUnavailable);

    const std::string first = source.write("a.vcf", "BEGIN:VCARD\nFN:First\nEND:VCARD\n");
    // Folder and name must be present but are not used.
    EXPECT_EQ(Upload(server, first, "x", "y", true).reply, "1");
    EXPECT_EQ(TempDir::read(backup), TempDir::read(first));
    EXPECT_EQ(server.request("OpKey_GetFile", "backup_contact").bytes, TempDir::read(first));

    const std::string second = source.write("b.vcf", "BEGIN:VCARD\nFN:Second\nEND:VCARD\n");
    EXPECT_EQ(Upload(server, second, "x", "y", true).reply, "1");
    EXPECT_EQ(server.request("OpKey_GetFile", "backup_contact").bytes, TempDir::read(second));
    EXPECT_EQ(Names(user.documents() + "/Corvane"), (std::set<std::string>{"backup_contact.vcf"}));
    EXPECT_FALSE(std::filesystem::exists("x/y"));

    // A cut-off backup keeps the previous one whole.
    {
        RawUpload upload(server.port(), "x^_7y^_71");
        ASSERT_TRUE(upload.ok());
        ASSERT_TRUE(upload.announce(1000));
        ASSERT_EQ(upload.ack(), '1');
        ASSERT_TRUE(upload.send("BEGIN:VCARD\nFN:Trunc"));
        upload.finishSending();
        EXPECT_EQ(upload.reply(), "0");
    }
    EXPECT_EQ(server.request("OpKey_GetFile", "backup_contact").bytes, TempDir::read(second));
    // The path /backup_contact is an ordinary path, not the backup.
    EXPECT_EQ(server.request("OpKey_GetFile", "/backup_contact").result, NR_FileUnavailable);
}
