#include "BaseSocket.h"
#include "CData.h"
#include "SConfig.h"
#include "TempDir.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// A connected pair of stream sockets standing in for a TCP connection.
struct SocketPair {
    SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0); }
    ~SocketPair()
    {
        closeWriter();
        ::close(fds[0]);
    }
    void closeWriter()
    {
        if (fds[1] >= 0)
            ::close(fds[1]);
        fds[1] = -1;
    }
    int reader() const { return fds[0]; }
    int writer() const { return fds[1]; }
    // Everything the reader side can read until the writer closes.
    std::string drain()
    {
        closeWriter();
        std::string bytes;
        char buffer[65536];
        for (ssize_t got; (got = ::read(fds[0], buffer, sizeof buffer)) > 0;)
            bytes.append(buffer, static_cast<size_t>(got));
        return bytes;
    }
    int fds[2] = {-1, -1};
};

void WriteAll(int fd, const std::string& bytes)
{
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

} // namespace

TEST(SizePacket, IsTheDecimalLengthPaddedWithZerosToSixtyFourBytes)
{
    SocketPair pair;
    ASSERT_TRUE(BaseSocket::SendSizePacket(pair.writer(), 10));
    ASSERT_TRUE(BaseSocket::SendSizePacket(pair.writer(), 0));
    ASSERT_TRUE(BaseSocket::SendSizePacket(pair.writer(), -1));
    const std::string bytes = pair.drain();
    ASSERT_EQ(bytes.size(), 192u);
    EXPECT_EQ(bytes.substr(0, 64), std::string("10") + std::string(62, '\0'));
    EXPECT_EQ(bytes.substr(64, 64), std::string("0") + std::string(63, '\0'));
    EXPECT_EQ(bytes.substr(128, 64), std::string("-1") + std::string(62, '\0'));
}

TEST(SizePacket, ReadsDecimalTextWithCRulesAndFailsWhenCutShort)
{
    SocketPair pair;
    WriteAll(pair.writer(), std::string(64, '\0'));                         // no digits: 0
    WriteAll(pair.writer(), std::string("  +42abc") + std::string(56, 'x')); // blanks, sign, trailing text
    WriteAll(pair.writer(), std::string(30, '7'));                          // then the peer closes
    pair.closeWriter();
    EXPECT_EQ(BaseSocket::GetSizePacket(pair.reader()), 0);
    EXPECT_EQ(BaseSocket::GetSizePacket(pair.reader()), 42);
    EXPECT_EQ(BaseSocket::GetSizePacket(pair.reader()), -2);
}

TEST(ReceiveLoop, ReassemblesAPayloadThatArrivesInPieces)
{
    SocketPair pair;
    std::thread sender([&] {
        WriteAll(pair.writer(), "hello ");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        WriteAll(pair.writer(), "world");
    });
    char buffer[12];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_TRUE(BaseSocket::RecvToBuf(pair.reader(), buffer, 11, 4, 0));
    sender.join();
    EXPECT_STREQ(buffer, "hello world");
}

TEST(ReceiveLoop, KeepsWhatArrivedTerminatedWhenThePeerClosesEarly)
{
    SocketPair pair;
    WriteAll(pair.writer(), "abc");
    pair.closeWriter();
    char buffer[11];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_FALSE(BaseSocket::RecvToBuf(pair.reader(), buffer, 10, 40960, 0));
    EXPECT_STREQ(buffer, "abc");
    char empty[1] = {'x'};
    EXPECT_TRUE(BaseSocket::RecvToBuf(pair.reader(), empty, 0, 40960, 0));
}

TEST(CDataPayload, SettersFollowTheirEmptinessRules)
{
    CData fromNull;
    fromNull.SetData(nullptr, 5);
    EXPECT_EQ(fromNull.size, 0);
    EXPECT_EQ(fromNull.pData, nullptr);

    CData fromZeroLength;
    fromZeroLength.SetData("abc", 0);
    EXPECT_EQ(fromZeroLength.pData, nullptr);

    CData fromEmptyText;
    fromEmptyText.SetData("");
    EXPECT_EQ(fromEmptyText.size, 0);
    ASSERT_NE(fromEmptyText.pData, nullptr);
    EXPECT_EQ(fromEmptyText.pData[0], 0);

    CData binary;
    binary.SetData("a\0b", 3);
    EXPECT_EQ(binary.size, 3);
    EXPECT_EQ(binary.Text(), std::string_view("a\0b", 3));
    EXPECT_EQ(binary.pData[3], 0);
}

TEST(CDataPayload, AFileIsMeasuredWhenAttachedAndUnreadableOnesAreMinusOne)
{
    TempDir dir;
    const std::string path = dir.write("data.bin", std::string(1234, 'q'));
    CData file;
    file.SetDataByFilePath(path.c_str());
    EXPECT_EQ(file.size, 1234);
    EXPECT_STREQ(file.pFilePath, path.c_str());

    CData missing;
    missing.SetDataByFilePath(dir.file("missing").c_str());
    EXPECT_EQ(missing.size, -1);

    CData folder;
    folder.SetDataByFilePath(dir.path().c_str());
    EXPECT_EQ(folder.size, -1);
}

TEST(CDataPayload, AFileIsSentWholeAndExactlyAsAnnounced)
{
    TempDir dir;
    std::string content(100000, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 31 + 7);
    const std::string path = dir.write("big.bin", content);
    CData file;
    file.SetDataByFilePath(path.c_str());
    // Growing the file after it was attached must not change what is sent.
    dir.write("big.bin", content + "tail that was not announced");

    SocketPair pair;
    std::string received;
    std::thread reader([&] {
        char buffer[65536];
        for (ssize_t got; (got = ::read(pair.reader(), buffer, sizeof buffer)) > 0;)
            received.append(buffer, static_cast<size_t>(got));
    });
    EXPECT_TRUE(BaseSocket::SendFromCData(pair.writer(), &file, SConfig::kPayloadChunk, 0));
    pair.closeWriter();
    reader.join();
    EXPECT_EQ(received.size(), 100000u);
    EXPECT_EQ(received, content);
}

TEST(CDataPayload, AFileThatShrankAfterAttachingFailsInsteadOfSendingLess)
{
    TempDir dir;
    const std::string path = dir.write("shrinks.bin", std::string(50000, 'a'));
    CData file;
    file.SetDataByFilePath(path.c_str());
    dir.write("shrinks.bin", std::string(100, 'a'));
    SocketPair pair;
    EXPECT_FALSE(BaseSocket::SendFromCData(pair.writer(), &file, SConfig::kPayloadChunk, 0));
    EXPECT_EQ(pair.drain().size(), 100u);
}

TEST(CDataPayload, AnEmptyOrMissingFileSendsNothingAndSucceeds)
{
    TempDir dir;
    CData empty;
    empty.SetDataByFilePath(dir.write("empty", "").c_str());
    CData missing;
    missing.SetDataByFilePath(dir.file("nothing").c_str());
    SocketPair pair;
    EXPECT_TRUE(BaseSocket::SendFromCData(pair.writer(), &empty, SConfig::kPayloadChunk, 0));
    EXPECT_TRUE(BaseSocket::SendFromCData(pair.writer(), &missing, SConfig::kPayloadChunk, 0));
    EXPECT_EQ(pair.drain(), "");
}
