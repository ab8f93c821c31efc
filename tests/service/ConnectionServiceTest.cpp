#include "ClientTool.h"
#include "FreePort.h"
#include "InProcessServer.h"
#include "Phone.h"
#include "RawConnection.h"
#include "RecordingEventPoster.h"
#include "SService.h"
#include "TempDir.h"

#include <arpa/inet.h>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace {

const std::string kEmptyReply = RawConnection::framed("");

// Text padded with zeros to a 256-byte live record, or to a 64-byte size packet.
std::string Padded(std::string text, std::size_t size = 256)
{
    text.resize(size, '\0');
    return text;
}

// The texts that live messages typed so far, once there are at least count (or after 5 s).
std::vector<std::string> Typed(const RecordingEventPoster& poster, std::size_t count)
{
    Eventually([&] { return poster.count() >= count; });
    std::vector<std::string> texts;
    for (const PostedEvent& event : poster.events())
        texts.emplace_back(event.text.begin(), event.text.end()); // ASCII only
    return texts;
}

// Whether the service keeps a new connection from `from` that sends bytes
// open, trying for up to 5 s (one that just closed takes a moment to go).
bool KeptOpen(int port, const std::string& bytes, const char* from = nullptr)
{
    for (int i = 0; i < 100; ++i) {
        RawConnection peer("127.0.0.1", port, from ? from : "");
        peer.send(bytes);
        if (!peer.waitForClose(50))
            return true;
    }
    return false;
}

// A service that sees every peer as coming from a public Internet address.
class FarAwayPeers : public SService {
public:
    bool AcceptPeer(const sockaddr_in&) override
    {
        sockaddr_in far{};
        far.sin_family = AF_INET;
        far.sin_addr.s_addr = inet_addr("8.8.8.8");
        return SService::AcceptPeer(far);
    }
};

} // namespace

TEST(ConnectionService, MalformedRequestsGetAnEmptyReplyOrNoneAndTheServiceGoesOn)
{
    InProcessServer server;
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(RawConnection(server.port()).connected());
    RawConnection(server.port()).send(std::string(30, '1')); // half a size packet
    // A head is the whole payload: one with more behind a zero byte names
    // nothing, not even a live channel.
    for (const std::string& head : std::vector<std::string>{"OpKey_NoSuchOperation", "Keep_Alive", "opkey_getdeviceinfo", "",
                                   std::string("keep_alive\0", 11), std::string("OpKey_GetDeviceInfo\0x", 21)}) {
        RawConnection peer(server.port());
        peer.send(RawConnection::framed(head) + RawConnection::framed("body"));
        EXPECT_EQ(peer.readAll(), kEmptyReply) << "head '" << head << "'";
    }
    // Heads, then a body, announced above the cap get no reply; a head has
    // a small cap of its own.
    for (const std::string& request :
         {Padded("4611686018427387904", 64), Padded("67108865", 64), Padded("-5", 64), Padded("9223372036854775807", 64),
          RawConnection::framed("OpKey_GetDeviceInfo") + Padded("4611686018427387904", 64),
          RawConnection::framed(std::string(257, 'k')) + RawConnection::framed("")}) {
        RawConnection peer(server.port());
        peer.send(request);
        EXPECT_EQ(peer.readAll(), "") << request.substr(0, 20);
    }
    EXPECT_EQ(server.request("OpKey_NoSuchOperation").result, NR_OK);
}

TEST(ConnectionService, AnnouncedBodiesCostMemoryAsTheirBytesArriveAndDrawOnABudget)
{
    const auto residentBytes = [] {
        long pages = 0, resident = 0;
        std::ifstream("/proc/self/statm") >> pages >> resident;
        return resident * ::sysconf(_SC_PAGESIZE);
    };
    InProcessServer server;
    constexpr long long kMiB = 1024 * 1024;
    server.service().bodyBudget.SetTotal(128 * kMiB);
    const std::string announce = RawConnection::framed("OpKey_GetFile") + Padded(std::to_string(64 * kMiB), 64) + "x";
    const long before = residentBytes();
    std::vector<std::unique_ptr<RawConnection>> peers;
    for (int i = 0; i < 2; ++i) {
        peers.push_back(std::make_unique<RawConnection>(server.port()));
        peers.back()->send(announce);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LT(residentBytes() - before, 16 * kMiB);
    // The budget is spent: another large body is refused at once, a small
    // request is still served.
    RawConnection refused(server.port());
    refused.send(announce);
    EXPECT_TRUE(refused.waitForClose(5000));
    EXPECT_EQ(server.request("OpKey_NoSuchOperation", std::string(1000, 'b')).result, NR_OK);
    peers.clear();
    EXPECT_TRUE(KeptOpen(server.port(), announce)); // what a finished request took comes back
}

// Silent peers, stalled requests and requests that trickle in are all
// dropped: a request must arrive whole within the idle time.
TEST(ConnectionService, APeerThatFallsSilentOrTricklesIsDropped)
{
    InProcessServer server;
    server.service().idleSeconds = 1;
    RawConnection silent(server.port());
    RawConnection stalled(server.port());
    RawConnection peer(server.port());
    const std::string request = RawConnection::framed("OpKey_GetDeviceInfo") + RawConnection::framed("");
    stalled.send(RawConnection::framed("OpKey_GetDeviceInfo") + "12");
    bool closed = false;
    std::size_t sent = 0;
    for (; sent < request.size() && !closed; ++sent) {
        peer.send(request.substr(sent, 1)); // a byte every 200 ms: never silent for the idle time
        closed = peer.waitForClose(200);
    }
    EXPECT_TRUE(closed);
    EXPECT_LT(sent, request.size()) << "the peer had its whole request read";
    EXPECT_TRUE(silent.waitForClose(10000));
    EXPECT_TRUE(stalled.waitForClose(10000));
}

TEST(ConnectionService, OneAddressCannotTakeEveryConnectionAndThoseBeyondTheLimitAreClosedAtOnce)
{
    InProcessServer server;
    server.service().maxConnections = 65;
    // Live channels, requests being read and silent connections all count.
    std::vector<std::unique_ptr<RawConnection>> crowd;
    for (int i = 0; i < 64; ++i) {
        crowd.push_back(std::make_unique<RawConnection>("127.0.0.1", server.port(), "127.0.0.2"));
        if (i % 2 == 0)
            crowd.back()->send(RawConnection::framed("keep_alive") + RawConnection::framed(""));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    RawConnection oneTooMany("127.0.0.1", server.port(), "127.0.0.2");
    EXPECT_TRUE(oneTooMany.waitForClose(5000));
    RawConnection other("127.0.0.1", server.port(), "127.0.0.3");
    other.send(RawConnection::framed("keep_alive") + RawConnection::framed(""));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // The 65 connections are all the service takes, from any address.
    EXPECT_TRUE(RawConnection("127.0.0.1", server.port(), "127.0.0.4").waitForClose(5000));
    EXPECT_FALSE(other.waitForClose(0));
    crowd.pop_back();
    // Once one has gone, the address may connect again (a peer that speaks:
    // the service takes a silent one only after a second).
    EXPECT_TRUE(KeptOpen(server.port(), RawConnection::framed("keep_alive") + RawConnection::framed(""), "127.0.0.2"));
    crowd.clear();
    EXPECT_TRUE(Eventually([&] { return server.request("OpKey_NoSuchOperation").result == NR_OK; }));
}

TEST(ConnectionService, PeersOutsideTheLocalNetworkAreRefusedUnlessAllowed)
{
    FarAwayPeers service;
    service.port = FreePort::tcp();
    ASSERT_EQ(service.Start(), NR_OK);
    for (const bool lanOnly : {true, false}) {
        service.lanOnly = lanOnly;
        RawConnection peer(service.port);
        peer.send(RawConnection::framed("OpKey_NoSuchOperation") + RawConnection::framed(""));
        EXPECT_EQ(peer.readAll(), lanOnly ? "" : kEmptyReply) << "LAN only " << lanOnly;
    }
}

TEST(ConnectionService, StartingTwiceRebindsThePortAndABusyPortFailsToBind)
{
    InProcessServer server;
    ASSERT_EQ(server.service().Start(), NR_OK);
    EXPECT_EQ(server.request("OpKey_NoSuchOperation").result, NR_OK);
    SService second;
    second.port = server.port();
    EXPECT_EQ(second.Start(), NR_BindError);
    server.service().Stop();
    EXPECT_EQ(server.request("OpKey_NoSuchOperation").result, NR_ConnectError);
}

TEST(LiveChannel, HandsOverWholeRecordsInOrderHoweverTheyArriveAndHasNoIdleLimit)
{
    RecordingEventPoster poster;
    EventPoster::setInstance(&poster);
    InProcessServer server;
    server.service().idleSeconds = 1;
    RawConnection phone(server.port());
    // Records sent together with the head are not lost; a record may come
    // in pieces, with pauses longer than the idle time between them.
    const std::string split = Padded("8^_7third^_70.00^_70.00");
    phone.send(RawConnection::framed("keep_alive") + RawConnection::framed("") + Padded("8^_7first^_70.00^_70.00") +
               Padded("8^_7second^_70.00^_70.00") + split.substr(0, 30));
    std::vector<std::string> expected = {"first", "second"};
    EXPECT_EQ(Typed(poster, 2), expected);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    phone.send(split.substr(30, 100));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    phone.send(split.substr(130));
    expected.push_back("third");
    EXPECT_EQ(Typed(poster, 3), expected);

    // Text behind the first zero byte is not part of the message; a burst
    // of records arrives whole and in order.
    std::string burst = Padded("8^_7fourth^_70.00^_70.00").replace(100, 5, "extra");
    expected.push_back("fourth");
    for (int i = 0; i < 40; ++i) {
        burst += Padded("8^_7n" + std::to_string(i) + "^_70.00^_70.00");
        expected.push_back("n" + std::to_string(i));
    }
    phone.send(burst);
    EXPECT_EQ(Typed(poster, expected.size()), expected);
    // When the phone stops, the channel answers with an empty reply.
    ::shutdown(phone.socket(), SHUT_WR);
    EXPECT_EQ(phone.readAll(), kEmptyReply);
    EventPoster::setInstance(nullptr);
}

TEST(LiveChannel, TheClientToolSendsTheTextBetweenTheTypeAndTheLastTwoWords)
{
    RecordingEventPoster poster;
    EventPoster::setInstance(&poster);
    InProcessServer server;
    // The x value may also stand inside the text, and the text may hold blanks.
    std::istringstream lines("8 hi 1 11\n8  a  b\t2 3 \n8 . -1.5 2\n");
    ClientTool tool(lines, stdout, stderr);
    int status = -1;
    ASSERT_TRUE(tool.Parse({"--port", std::to_string(server.port()), "live"}, status));
    EXPECT_EQ(tool.Run(), 0);
    EXPECT_EQ(Typed(poster, 3), (std::vector<std::string>{"hi", "a  b", "."}));
    EventPoster::setInstance(nullptr);
}

TEST(FileReply, ArrivesExactlyOrReportsTheMissingFile)
{
    TempDir dir;
    std::string content(100000, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>((i * 7919) >> 3);
    InProcessServer server;
    const InProcessServer::Reply reply = server.request("OpKey_GetFile", dir.write("photo.bin", content));
    EXPECT_EQ(reply.result, NR_OK);
    EXPECT_TRUE(reply.bytes == content) << reply.bytes.size() << " bytes";
    EXPECT_EQ(server.request("OpKey_GetFile", dir.file("missing.bin")).result, NR_FileUnavailable);
    EXPECT_EQ(server.request("OpKey_GetFile", dir.path()).result, NR_FileUnavailable);
    // A pipe is no file to send, and must not hold the request up.
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    EXPECT_EQ(server.request("OpKey_GetFile", dir.file("pipe")).result, NR_FileUnavailable);
    EXPECT_EQ(server.request("OpKey_GetFile", dir.write("empty", "")).bytes, "");
}
