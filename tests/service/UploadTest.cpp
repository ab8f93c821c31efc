// Uploads over loopback against the real service: naming, refusals, cut-off
// transfers, simultaneous uploads of one name, and the contact backup.
#include "CData.h"
#include "InProcessServer.h"
#include "RawConnection.h"
#include "SUpload.h"
#include "TempDir.h"
#include "UserSandbox.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace {

std::string SizePacket(long long length)
{
    std::string packet = std::to_string(length);
    packet.resize(64, '\0');
    return packet;
}

// The phone's side of one upload, step by step, over a plain connection:
// the request, and what the test wants to send along with it.
class RawUpload : public RawConnection {
public:
    RawUpload(int port, const std::string& body, const std::string& along = "") : RawConnection(port)
    {
        send(RawConnection::framed("upload") + RawConnection::framed(body) + along);
    }
    // The one-byte acknowledgement, or 0 when none came.
    char ack()
    {
        char byte = 0;
        return ::recv(socket(), &byte, 1, 0) == 1 ? byte : 0;
    }
    void finishSending() { ::shutdown(socket(), SHUT_WR); }
};

// What SUpload answers: "1", "0", or an empty text when it failed.
std::string Upload(const InProcessServer& server, const std::string& file, const std::string& folder,
                   const std::string& name, bool contact = false, NetResult* result = nullptr)
{
    SUpload upload;
    upload.SetInfo("127.0.0.1", server.port(), 5);
    CData reply;
    const NetResult outcome = upload.UploadFile(file.c_str(), folder.c_str(), name.c_str(), contact, &reply);
    if (result)
        *result = outcome;
    return std::string(reply.Text());
}

// The folder's files by name, with their bytes.
using Files = std::map<std::string, std::string>;
Files Contents(const std::string& folder)
{
    Files files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files[entry.path().filename().string()] = TempDir::read(entry.path().string());
    return files;
}

std::string Pattern(std::size_t size, int variant)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + static_cast<std::size_t>(variant) * 7) % 253);
    return bytes;
}

const std::string kRefused = RawConnection::framed("0");

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
    Files expected{{"empty.txt", ""}};
    for (const auto& c : cases) {
        for (std::size_t i = 0; i < c.stored.size(); ++i) {
            const std::string& file = i == 0 ? first : second;
            NetResult result;
            EXPECT_EQ(Upload(server, file, target.path(), c.name, false, &result), "1") << c.name;
            EXPECT_EQ(result, NR_OK) << c.name;
            expected[c.stored[i]] = TempDir::read(file);
        }
    }
    EXPECT_EQ(Upload(server, source.write("empty", ""), target.path(), "empty.txt"), "1");
    // Every upload kept its bytes under its own name; nothing else appeared.
    EXPECT_TRUE(Contents(target.path()) == expected);
}

TEST(Upload, RefusedTargetsAnswerZeroAndReadNoData)
{
    TempDir source;
    TempDir target;
    InProcessServer server;
    const std::string file = source.write("data", "payload");
    NetResult result;
    EXPECT_EQ(Upload(server, file, target.file("no-such-folder"), "a.txt", false, &result), "0");
    EXPECT_EQ(result, NR_SendError);
    EXPECT_EQ(Upload(server, file, target.path(), "..."), "0");
    EXPECT_EQ(Upload(server, file, target.path() + "/" + std::string(1100, 'd'), "a.txt"), "0");
    EXPECT_EQ(Upload(server, file, target.path(), std::string(1100, 'n')), "0");
    // A body with only one field names no file.
    RawUpload oneField(server.port(), target.path(), SizePacket(7));
    EXPECT_EQ(oneField.ack(), '0');
    EXPECT_EQ(oneField.readAll(), kRefused);
    EXPECT_TRUE(Contents(target.path()).empty());
}

TEST(Upload, ACutOffTransferOrAnUnreadableLengthLeavesNothingBehind)
{
    TempDir target;
    InProcessServer server;
    {
        RawUpload upload(server.port(), target.path() + "^_7cut.bin", SizePacket(100000));
        ASSERT_EQ(upload.ack(), '1');
        upload.send(Pattern(50000, 3));
        upload.finishSending();
        EXPECT_EQ(upload.readAll(), kRefused);
    }
    {
        RawUpload upload(server.port(), target.path() + "^_7nolength.bin");
        upload.finishSending();
        EXPECT_EQ(upload.ack(), '0');
        EXPECT_EQ(upload.readAll(), kRefused);
    }
    // The temporary file is gone once the reply came; the name is free again.
    EXPECT_TRUE(Contents(target.path()).empty());
    TempDir source;
    EXPECT_EQ(Upload(server, source.write("whole", "whole"), target.path(), "cut.bin"), "1");
    EXPECT_EQ(Contents(target.path()), (Files{{"cut.bin", "whole"}}));
}

TEST(Upload, SimultaneousUploadsOfOneNameGetTwoFilesAndDataMayComeWithTheRequest)
{
    TempDir source;
    TempDir target;
    InProcessServer server;
    const std::string slowBytes = Pattern(200000, 5);
    const std::string fastFile = source.write("fast", Pattern(300000, 6));
    // The first upload has its name and is still receiving when the second
    // one asks for the same name. Its length and first bytes come in one
    // piece with the request.
    RawUpload slow(server.port(), target.path() + "^_7same.bin", SizePacket(200000) + slowBytes.substr(0, 1000));
    ASSERT_EQ(slow.ack(), '1');
    EXPECT_EQ(Upload(server, fastFile, target.path(), "same.bin"), "1");
    slow.send(slowBytes.substr(1000));
    EXPECT_EQ(slow.readAll(), RawConnection::framed("1"));
    EXPECT_TRUE(Contents(target.path()) == (Files{{"same.bin", slowBytes}, {"same_1.bin", TempDir::read(fastFile)}}));
}

TEST(Upload, ManyConcurrentUploadsOfOneNameNeverShareAFile)
{
    TempDir source;
    TempDir target;
    InProcessServer server;
    std::multiset<std::string> sent;
    std::vector<std::string> replies(8);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        const std::string file = source.write("f" + std::to_string(i), Pattern(50000 + i, i));
        sent.insert(TempDir::read(file));
        threads.emplace_back([&, i, file] { replies[i] = Upload(server, file, target.path(), "clip.mov"); });
    }
    for (std::thread& t : threads)
        t.join();
    std::multiset<std::string> stored;
    for (const auto& [name, bytes] : Contents(target.path()))
        stored.insert(bytes);
    EXPECT_EQ(replies, std::vector<std::string>(8, "1"));
    EXPECT_TRUE(stored == sent);
}

TEST(Upload, ContactBackupRoundTrip)
{
    UserSandbox user;
    TempDir source;
    InProcessServer server;
    const auto backup = [&] { return server.request("OpKey_GetFile", "backup_contact"); };
    EXPECT_EQ(backup().result, NR_FileUnavailable);
    // Folder and name must be present but are not used.
    for (const char* card : {"BEGIN:VCARD\nFN:First\nEND:VCARD\n", "BEGIN:VCARD\nFN:Second\nEND:VCARD\n"}) {
        EXPECT_EQ(Upload(server, source.write("card.vcf", card), "x", "y", true), "1");
        EXPECT_EQ(backup().bytes, card);
    }
    EXPECT_EQ(Contents(user.documents() + "/Corvane"),
              (Files{{"backup_contact.vcf", "BEGIN:VCARD\nFN:Second\nEND:VCARD\n"}}));
    EXPECT_FALSE(std::filesystem::exists("x/y"));
    // A cut-off backup keeps the previous one whole.
    {
        RawUpload upload(server.port(), "x^_7y^_71", SizePacket(1000));
        ASSERT_EQ(upload.ack(), '1');
        upload.send("BEGIN:VCARD\nFN:Trunc");
        upload.finishSending();
        EXPECT_EQ(upload.readAll(), kRefused);
    }
    EXPECT_EQ(backup().bytes, "BEGIN:VCARD\nFN:Second\nEND:VCARD\n");
    // The path /backup_contact is an ordinary path, not the backup.
    EXPECT_EQ(server.request("OpKey_GetFile", "/backup_contact").result, NR_FileUnavailable);
}
