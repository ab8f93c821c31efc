#include "FreePort.h"
#include "InProcessServer.h"
#include "MyClient.h"
#include "MyServiceOp.h"
#include "RawConnection.h"
#include "RecordingEventPoster.h"
#include "RecordingDelegate.h"
#include "SService.h"
#include "TempDir.h"

#include <arpa/inet.h>
#include <chrono>
#include <gtest/gtest.h>
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
    for (int i = 0; i < 500 && poster.count() < count; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::vector<std::string> texts;
    for (const PostedEvent& event : poster.events())
        texts.emplace_back(event.text.begin(), event.text.end()); // ASCII only
    return texts;
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

TEST(ConnectionService, PeersThatQuitEarlyOrNameNoOperationGetNothingAndTheServiceGoesOn)
{
    InProcessServer server;
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(RawConnection(server.port()).connected());
    RawConnection(server.port()).send(std::string(30, '1')); // half a size packet
    for (const char* head : {"OpKey_NoSuchOperation", "Keep_Alive", "opkey_getdeviceinfo", ""}) {
        RawConnection peer(server.port());
        peer.send(RawConnection::framed(head) + RawConnection::framed("body"));
        EXPECT_EQ(peer.readAll(), kEmptyReply) << "head '" << head << "'";
    }
}

TEST(ConnectionService, AnnouncedLengthsAboveTheCapAreRefusedWithoutAReply)
{
    InProcessServer server;
    for (const char* length : {"4611686018427387904", "67108865", "-5", "9223372036854775807"}) {
        RawConnection peer(server.port());
        peer.send(Padded(length, 64));
        EXPECT_EQ(peer.readAll(), "") << length;
    }
    // The body is checked the same way.
    RawConnection peer(server.port());
    peer.send(RawConnection::framed("OpKey_GetDeviceInfo") + Padded("4611686018427387904", 64));
    EXPECT_EQ(peer.readAll(), "");
    EXPECT_EQ(server.request("OpKey_NoSuchOperation").result, NR_OK);
}

TEST(ConnectionService, APeerThatFallsSilentIsDroppedAfterTheIdleTime)
{
    InProcessServer server;
    server.service().idleSeconds = 1;
    RawConnection silent(server.port());
    RawConnection stalled(server.port());
    stalled.send(RawConnection::framed("OpKey_GetDeviceInfo") + "12");
    EXPECT_TRUE(silent.waitForClose(10000));
    EXPECT_TRUE(stalled.waitForClose(10000));
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

TEST(ConnectionService, ConnectionsBeyondTheLimitAreClosedAtOnce)
{
    InProcessServer server;
    server.service().maxConnections = 2;
    auto first = std::make_unique<RawConnection>(server.port());
    auto second = std::make_unique<RawConnection>(server.port());
    first->send(RawConnection::framed("keep_alive") + RawConnection::framed(""));
    second->send(RawConnection::framed("keep_alive") + RawConnection::framed(""));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(RawConnection(server.port()).waitForClose(5000));
    first.reset();
    second.reset();
    // Once they are gone, new connections are served again.
    bool served = false;
    for (int i = 0; i < 100 && !served; ++i) {
        served = server.request("OpKey_NoSuchOperation").result == NR_OK;
        std::this_thread::sleep_for(std::chrono::milliseconds(served ? 0 : 20));
    }
    EXPECT_TRUE(served);
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

TEST(LiveChannel, CountsOpenChannelsAndTellsTheDelegate)
{
    RecordingDelegate delegate;
    InProcessServer server;
    auto first = std::make_unique<MyClient>();
    auto second = std::make_unique<MyClient>();
    const auto calls = [&](size_t n) { return delegate.waitFor([n](RecordingDelegate& d) { return d.counts().size() == n; }); };
    first->SetInfo("127.0.0.1", server.port(), 5);
    ASSERT_EQ(first->ConnService(), NR_OK);
    ASSERT_TRUE(calls(1));
    char message[257] = "9^_7 ^_70.00^_70.00";
    EXPECT_EQ(first->SendMsg(message), NR_OK);
    second->SetInfo("127.0.0.1", server.port(), 5);
    ASSERT_EQ(second->ConnService(), NR_OK);
    ASSERT_TRUE(calls(2));
    EXPECT_EQ(keepAliveCnt.load(), 2);
    first.reset();
    ASSERT_TRUE(calls(3));
    second.reset();
    ASSERT_TRUE(calls(4));
    EXPECT_EQ(delegate.counts(), (std::vector<int>{1, 2, 1, 0}));
    EXPECT_EQ(keepAliveCnt.load(), 0);
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
    EXPECT_EQ(server.request("OpKey_GetFile", dir.write("empty", "")).bytes, "");
}
