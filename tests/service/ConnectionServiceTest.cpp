#include "CData.h"
#include "FreePort.h"
#include "InProcessServer.h"
#include "MyClient.h"
#include "MyServiceOp.h"
#include "RawConnection.h"
#include "RecordingDelegate.h"
#include "SCommon.h"
#include "SService.h"
#include "ServiceProcess.h"
#include "TempDir.h"
#include "UserSandbox.h"

#include <arpa/inet.h>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace {

const std::string kEmptyReply = RawConnection::framed("");

// A service whose live channels only record the messages they receive.
class LiveRecorder : public TCPServiceSocket {
public:
    LiveRecorder()
    {
        port = FreePort::tcp();
        EXPECT_EQ(Start(), NR_OK);
    }
    ~LiveRecorder() { Shutdown(); }

    void ProcessConn(ProcessParam* param) override
    {
        Process process(param->sock, *this);
        process.ProcessConn();
    }

    std::vector<std::string> messages()
    {
        std::lock_guard lock(mutex);
        return received;
    }
    bool waitForMessages(size_t count)
    {
        for (int i = 0; i < 500 && messages().size() < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return messages().size() >= count;
    }

private:
    class Process : public ServiceProcess {
    public:
        Process(int sock, LiveRecorder& owner) : ServiceProcess(sock), owner(owner) {}
        void ProcessLiveMsg(const char* msg) override
        {
            std::lock_guard lock(owner.mutex);
            owner.received.emplace_back(msg);
        }
        LiveRecorder& owner;
    };

    std::mutex mutex;
    std::vector<std::string> received;
};

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

std::string Message(const std::string& text)
{
    std::string record = text;
    record.resize(256, '\0');
    return record;
}

} // namespace

TEST(ConnectionService, APeerThatClosesAtOnceGetsNothingAndTheServiceGoesOn)
{
    InProcessServer server;
    for (int i = 0; i < 3; ++i) {
        RawConnection quitter(server.port());
        ASSERT_TRUE(quitter.connected());
    }
    RawConnection halfHead(server.port());
    halfHead.send(std::string(30, '1'));
    halfHead.close();
    EXPECT_EQ(server.request("OpKey_NoSuchOperation").result, NR_OK);
}

TEST(ConnectionService, HeadsThatNameNoOperationGetAnEmptyReplyAndTheConnectionCloses)
{
    InProcessServer server;
    for (const char* head : {"OpKey_NoSuchOperation", "Keep_Alive", "opkey_getdeviceinfo", ""}) {
        RawConnection peer(server.port());
        peer.sendFramed(head);
        peer.sendFramed("body");
        EXPECT_EQ(peer.readAll(), kEmptyReply) << "head '" << head << "'";
    }
}

TEST(ConnectionService, AnnouncedLengthsAboveTheCapAreRefusedWithoutAReply)
{
    InProcessServer server;
    for (const char* length : {"4611686018427387904", "67108865", "-5", "9223372036854775807"}) {
        RawConnection peer(server.port());
        char packet[64] = {};
        std::snprintf(packet, sizeof packet, "%s", length);
        peer.send(std::string(packet, 64));
        EXPECT_EQ(peer.readAll(), "") << length;
    }
    // The body is checked the same way.
    RawConnection peer(server.port());
    peer.sendFramed("OpKey_GetDeviceInfo");
    char packet[64] = {};
    std::snprintf(packet, sizeof packet, "%s", "4611686018427387904");
    peer.send(std::string(packet, 64));
    EXPECT_EQ(peer.readAll(), "");
    EXPECT_EQ(server.request("OpKey_NoSuchOperation").result, NR_OK);
}

TEST(ConnectionService, APeerThatFallsSilentIsDroppedAfterTheIdleTime)
{
    InProcessServer server;
    server.service().idleSeconds = 1;
    RawConnection silent(server.port());
    RawConnection stalled(server.port());
    stalled.sendFramed("OpKey_GetDeviceInfo");
    stalled.send("12");
    EXPECT_TRUE(silent.waitForClose(10000));
    EXPECT_TRUE(stalled.waitForClose(10000));
}

TEST(ConnectionService, PeersOutsideTheLocalNetworkAreRefusedUnlessAllowed)
{
    FarAwayPeers service;
    service.port = FreePort::tcp();
    ASSERT_EQ(service.Start(), NR_OK);
    {
        RawConnection peer(service.port);
        peer.sendFramed("OpKey_NoSuchOperation");
        peer.sendFramed("");
        EXPECT_EQ(peer.readAll(), "");
    }
    service.lanOnly = false;
    RawConnection peer(service.port);
    peer.sendFramed("OpKey_NoSuchOperation");
    peer.sendFramed("");
    EXPECT_EQ(peer.readAll(), kEmptyReply);
}

TEST(ConnectionService, ConnectionsBeyondTheLimitAreClosedAtOnce)
{
    InProcessServer server;
    server.service().maxConnections = 2;
    RawConnection first(server.port());
    RawConnection second(server.port());
    first.sendFramed("keep_alive");
    first.sendFramed("");
    second.sendFramed("keep_alive");
    second.sendFramed("");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    RawConnection third(server.port());
    EXPECT_TRUE(third.waitForClose(5000));
    first.close();
    second.close();
    // Once they are gone, new connections are served again.
    bool served = false;
    for (int i = 0; i < 100 && !served; ++i) {
        served = server.request("OpKey_NoSuchOperation").result == NR_OK;
        if (!served)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(served);
}

TEST(ConnectionService, StartingTwiceRebindsThePort)
{
    InProcessServer server;
    ASSERT_EQ(server.service().Start(), NR_OK);
    EXPECT_EQ(server.request("OpKey_NoSuchOperation").result, NR_OK);
    server.service().Stop();
    EXPECT_EQ(server.request("OpKey_NoSuchOperation").result, NR_ConnectError);
}

TEST(ConnectionService, ABusyPortFailsToBind)
{
    InProcessServer server;
    SService second;
    second.port = server.port();
    EXPECT_EQ(second.Start(), NR_BindError);
}

TEST(LiveChannel, CountsOpenChannelsAndTellsTheDelegate)
{
    RecordingDelegate delegate;
    InProcessServer server;
    auto first = std::make_unique<MyClient>();
    first->SetInfo("127.0.0.1", server.port(), 5);
    ASSERT_EQ(first->ConnService(), NR_OK);
    ASSERT_TRUE(delegate.waitFor([](RecordingDelegate& d) { return d.counts().size() == 1; }));
    auto second = std::make_unique<MyClient>();
    second->SetInfo("127.0.0.1", server.port(), 5);
    ASSERT_EQ(second->ConnService(), NR_OK);
    ASSERT_TRUE(delegate.waitFor([](RecordingDelegate& d) { return d.counts().size() == 2; }));
    EXPECT_EQ(keepAliveCnt.load(), 2);
    first.reset();
    ASSERT_TRUE(delegate.waitFor([](RecordingDelegate& d) { return d.counts().size() == 3; }));
    second.reset();
    ASSERT_TRUE(delegate.waitFor([](RecordingDelegate& d) { return d.counts().size() == 4; }));
    EXPECT_EQ(delegate.counts(), (std::vector<int>{1, 2, 1, 0}));
    EXPECT_EQ(keepAliveCnt.load(), 0);
}

TEST(LiveChannel, HandsOverWholeRecordsInOrderHoweverTheyArrive)
{
    LiveRecorder service;
    RawConnection phone(service.port);
    phone.sendFramed("keep_alive");
    phone.sendFramed("");
    const std::string first = Message("5^_7 ^_712.50^_7-3.00");
    phone.send(first.substr(0, 100));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    phone.send(first.substr(100));
    ASSERT_TRUE(service.waitForMessages(1));
    EXPECT_EQ(service.messages(), (std::vector<std::string>{"5^_7 ^_712.50^_7-3.00"}));

    // Text behind the first zero byte is not part of the message.
    std::string withTrailer = Message("0^_72^_70.00^_70.00");
    withTrailer.replace(100, 5, "extra");
    std::string burst = withTrailer;
    for (int i = 0; i < 40; ++i)
        burst += Message("8^_7n" + std::to_string(i) + "^_70.00^_70.00");
    phone.send(burst);
    ASSERT_TRUE(service.waitForMessages(42));
    const std::vector<std::string> all = service.messages();
    EXPECT_EQ(all[1], "0^_72^_70.00^_70.00");
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(all[2 + i], "8^_7n" + std::to_string(i) + "^_70.00^_70.00");
}

TEST(LiveChannel, MessagesSentTogetherWithTheHeadAreNotLost)
{
    LiveRecorder service;
    RawConnection phone(service.port);
    phone.send(RawConnection::framed("keep_alive") + RawConnection::framed("") + Message("9^_7 ^_70.00^_70.00") +
               Message("10^_7 ^_70.00^_70.00") + Message("11^_7 ^_70.00^_70.00").substr(0, 30));
    ASSERT_TRUE(service.waitForMessages(2));
    phone.send(Message("11^_7 ^_70.00^_70.00").substr(30));
    ASSERT_TRUE(service.waitForMessages(3));
    EXPECT_EQ(service.messages(),
              (std::vector<std::string>{"9^_7 ^_70.00^_70.00", "10^_7 ^_70.00^_70.00", "11^_7 ^_70.00^_70.00"}));
}

TEST(Upload, TheLengthAndTheFirstBytesMayArriveWithTheRequest)
{
    TempDir dir;
    InProcessServer server;
    RawConnection phone(server.port());
    char length[64] = {};
    std::snprintf(length, sizeof length, "%d", 11);
    phone.send(RawConnection::framed("upload") + RawConnection::framed(dir.path() + "^_7early.txt") +
               std::string(length, 64) + "hello");
    char ack = 0;
    ASSERT_EQ(::recv(phone.socket(), &ack, 1, 0), 1);
    EXPECT_EQ(ack, '1');
    phone.send(" world");
    EXPECT_EQ(phone.readAll(), RawConnection::framed("1"));
    EXPECT_EQ(TempDir::read(dir.file("early.txt")), "hello world");
}

TEST(LiveChannel, StaysOpenThroughSilenceAndSendsAnEmptyReplyWhenThePeerStops)
{
    LiveRecorder service;
    service.idleSeconds = 1;
    RawConnection phone(service.port);
    phone.sendFramed("keep_alive");
    phone.sendFramed("");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    phone.send(Message("9^_7 ^_70.00^_70.00"));
    ASSERT_TRUE(service.waitForMessages(1));
    ::shutdown(phone.socket(), SHUT_WR);
    EXPECT_EQ(phone.readAll(), kEmptyReply);
}

TEST(FileReply, ArrivesExactlyOrReportsTheMissingFile)
{
    TempDir dir;
    std::string content(100000, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>((i * 7919) >> 3);
    const std::string path = dir.write("photo.bin", content);
    InProcessServer server;
    const InProcessServer::Reply reply = server.request("OpKey_GetFile", path);
    EXPECT_EQ(reply.result, NR_OK);
    EXPECT_EQ(reply.bytes, content);
    EXPECT_EQ(server.request("OpKey_GetFile", dir.file("missing.bin")).result, NR_FileUnavailable);
    EXPECT_EQ(server.request("OpKey_GetFile", dir.path()).result, NR_FileUnavailable);
    EXPECT_EQ(server.request("OpKey_GetFile", dir.write("empty", "")).bytes, "");
}

TEST(FileReply, TheWordBackupContactNamesTheStoredContactBackup)
{
    UserSandbox sandbox;
    TempDir dir;
    const std::string backup = sandbox.root().write("home/Documents/Corvane/backup_contact.vcf", "BEGIN:VCARD\n");
    ASSERT_EQ(backup, MyServiceOp::ContactBackupPath());
    InProcessServer server;
    EXPECT_EQ(server.request("OpKey_GetFile", "backup_contact").bytes, "BEGIN:VCARD\n");
    EXPECT_EQ(server.request("OpKey_GetFile", "/backup_contact").result, NR_FileUnavailable);
}
