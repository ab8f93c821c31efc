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
#include <utility>

namespace {

// A connected pair of stream sockets standing in for a TCP connection.
struct SocketPair {
    SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0); }
    ~SocketPair() { closeWriter(); ::close(reader); }
    void closeWriter() { ::close(std::exchange(writer, -1)); }
    void write(const std::string& bytes) { ASSERT_EQ(::write(writer, bytes.data(), bytes.size()), ssize_t(bytes.size())); }
    // Everything the reader side can read until the writer closes.
    std::string drain()
    {
        std::string bytes;
        char buffer[65536];
        for (ssize_t got; (got = ::read(reader, buffer, sizeof buffer)) > 0;)
            bytes.append(buffer, static_cast<size_t>(got));
        return bytes;
    }
    int fds[2] = {-1, -1};
    int& reader = fds[0];
    int& writer = fds[1];
};

} // namespace

TEST(SizePacket, IsTheDecimalLengthPaddedWithZerosToSixtyFourBytes)
{
    SocketPair pair;
    for (const long long length : {10, 0, -1})
        ASSERT_TRUE(BaseSocket::SendSizePacket(pair.writer, length));
    pair.closeWriter();
    EXPECT_EQ(pair.drain(), "10" + std::string(62, '\0') + "0" + std::string(63, '\0') + "-1" + std::string(62, '\0'));
}

TEST(SizePacket, ReadsDecimalTextWithCRulesAndFailsWhenCutShort)
{
    SocketPair pair;
    pair.write(std::string(64, '\0'));                         // no digits: 0
    pair.write(std::string("  +42abc") + std::string(56, 'x')); // blanks, sign, trailing text
    pair.write(std::string(30, '7'));                          // then the peer closes
    pair.closeWriter();
    EXPECT_EQ(BaseSocket::GetSizePacket(pair.reader), 0);
    EXPECT_EQ(BaseSocket::GetSizePacket(pair.reader), 42);
    EXPECT_EQ(BaseSocket::GetSizePacket(pair.reader), -2);
}

TEST(ReceiveLoop, ReassemblesPiecesAndKeepsWhatArrivedWhenThePeerClosesEarly)
{
    SocketPair pair;
    std::thread sender([&] {
        pair.write("hello ");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        pair.write("world");
        pair.write("abc");
        pair.closeWriter();
    });
    char buffer[12];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_TRUE(BaseSocket::RecvToBuf(pair.reader, buffer, 11, 4, 0));
    EXPECT_STREQ(buffer, "hello world");
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_FALSE(BaseSocket::RecvToBuf(pair.reader, buffer, 10, 40960, 0));
    sender.join();
    EXPECT_STREQ(buffer, "abc");
    EXPECT_TRUE(BaseSocket::RecvToBuf(pair.reader, buffer, 0, 40960, 0));
}

TEST(CDataPayload, SettersFollowTheirEmptinessRules)
{
    CData fromNull, fromZeroLength, fromEmptyText, binary;
    fromNull.SetData(nullptr, 5);
    EXPECT_EQ(fromNull.size, 0);
    EXPECT_EQ(fromNull.pData, nullptr);
    fromZeroLength.SetData("abc", 0);
    EXPECT_EQ(fromZeroLength.pData, nullptr);
    fromEmptyText.SetData("");
    EXPECT_EQ(fromEmptyText.size, 0);
    ASSERT_NE(fromEmptyText.pData, nullptr);
    EXPECT_EQ(fromEmptyText.pData[0], 0);
    binary.SetData("a\0b", 3);
    EXPECT_EQ(binary.Text(), std::string_view("a\0b", 3));
    EXPECT_EQ(binary.pData[3], 0);
}

TEST(CDataPayload, AFileIsMeasuredWhenAttachedAndUnreadableOnesAreMinusOne)
{
    TempDir dir;
    const std::string path = dir.write("data.bin", std::string(1234, 'q'));
    CData file, missing, folder;
    file.SetDataByFilePath(path.c_str());
    EXPECT_EQ(file.size, 1234);
    EXPECT_STREQ(file.pFilePath, path.c_str());
    missing.SetDataByFilePath(dir.file("missing").c_str());
    EXPECT_EQ(missing.size, -1);
    folder.SetDataByFilePath(dir.path().c_str());
    EXPECT_EQ(folder.size, -1);
}

TEST(CDataPayload, AFileIsSentWholeAndExactlyAsAnnounced)
{
    TempDir dir;
    std::string content(100000, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 31 + 7);
    CData file;
    file.SetDataByFilePath(dir.write("big.bin", content).c_str());
    // Growing the file after it was attached must not change what is sent.
    dir.write("big.bin", content + "tail that was not announced");
    SocketPair pair;
    std::string received;
    std::thread reader([&] { received = pair.drain(); });
    EXPECT_TRUE(BaseSocket::SendFromCData(pair.writer, &file, SConfig::kPayloadChunk, 0));
    pair.closeWriter();
    reader.join();
    EXPECT_TRUE(received == content) << received.size() << " bytes";
}

TEST(CDataPayload, AFileThatShrankFailsAndAnEmptyOrMissingOneSendsNothing)
{
    TempDir dir;
    CData shrinks, empty, missing;
    shrinks.SetDataByFilePath(dir.write("shrinks.bin", std::string(50000, 'a')).c_str());
    dir.write("shrinks.bin", std::string(100, 'a'));
    empty.SetDataByFilePath(dir.write("empty", "").c_str());
    missing.SetDataByFilePath(dir.file("nothing").c_str());
    SocketPair pair;
    EXPECT_TRUE(BaseSocket::SendFromCData(pair.writer, &empty, SConfig::kPayloadChunk, 0));
    EXPECT_TRUE(BaseSocket::SendFromCData(pair.writer, &missing, SConfig::kPayloadChunk, 0));
    EXPECT_FALSE(BaseSocket::SendFromCData(pair.writer, &shrinks, SConfig::kPayloadChunk, 0));
    pair.closeWriter();
    EXPECT_EQ(pair.drain(), std::string(100, 'a'));
}
