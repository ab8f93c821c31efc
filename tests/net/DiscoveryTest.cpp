#include "ChildProcess.h"
#include "FreePort.h"
#include "MyUDP.h"
#include "NetworkNamespaces.h"
#include "RecordingDelegate.h"
#include "SCommon.h"

#include <arpa/inet.h>
#include <cstring>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char* kLoopbackBroadcast = "127.255.255.255";
const std::string kPhoneId = "PhoneId00000001";

// The discovery service and a phone on the loopback network that shares its
// port, hears every broadcast and sends datagrams of its choosing.
class LoopbackDiscovery {
public:
    LoopbackDiscovery()
    {
        udp.port = FreePort::udp();
        std::strcpy(udp.broadcastIp, kLoopbackBroadcast);
        udp.delegate = &delegate;
        const int on = 1;
        ::setsockopt(phone, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        ::setsockopt(phone, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        const int room = 1 << 20; // the phone hears its own broadcasts too
        ::setsockopt(phone, SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(udp.port));
        EXPECT_EQ(::bind(phone, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        address.sin_addr.s_addr = inet_addr(kLoopbackBroadcast);
    }
    ~LoopbackDiscovery() { ::close(phone); }

    // Sends bytes, by default padded with zeros to a 256-byte record; from
    // another local address of the host when one is given.
    void send(std::string bytes, bool record = true, const char* from = nullptr)
    {
        bytes.resize(record ? 256 : bytes.size(), '\0');
        int sender = phone;
        if (from != nullptr) {
            sender = ::socket(AF_INET, SOCK_DGRAM, 0);
            const int on = 1;
            ::setsockopt(sender, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
            sockaddr_in source{};
            source.sin_family = AF_INET;
            source.sin_addr.s_addr = inet_addr(from);
            ASSERT_EQ(::bind(sender, reinterpret_cast<sockaddr*>(&source), sizeof source), 0) << from;
        }
        EXPECT_EQ(::sendto(sender, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&address), sizeof address),
                  static_cast<ssize_t>(bytes.size()));
        if (sender != phone)
            ::close(sender);
    }
    // The answers of this host among the datagrams heard.
    std::vector<std::string> hearAnswers(int quietMs)
    {
        std::vector<std::string> answered;
        for (const std::string& datagram : hear(quietMs, kPhoneId))
            if (datagram.find(getUUID()) != std::string::npos)
                answered.push_back(datagram);
        return answered;
    }
    // The texts of the datagrams heard until quietMs pass without one,
    // skipping those that contain skip (the ones this phone sent itself).
    std::vector<std::string> hear(int quietMs, const std::string& skip)
    {
        const timeval quiet{quietMs / 1000, quietMs % 1000 * 1000};
        ::setsockopt(phone, SOL_SOCKET, SO_RCVTIMEO, &quiet, sizeof quiet);
        std::vector<std::string> heard;
        char buffer[512];
        for (ssize_t got; (got = ::recv(phone, buffer, sizeof buffer, 0)) >= 0;) {
            const std::string text = std::string(buffer, static_cast<size_t>(got)).c_str(); // up to the first zero
            if (text.find(skip) == std::string::npos)
                heard.push_back(text);
        }
        return heard;
    }

    RecordingDelegate delegate;
    MyUDP udp;
    int phone = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
};

class Discovery : public testing::Test, protected LoopbackDiscovery {};

// The answers passed on to the delegate, whole: "type name address system".
std::vector<std::string> Answers(RecordingDelegate& delegate)
{
    std::vector<std::string> lines;
    for (const RecordingDelegate::Answer& a : delegate.answers())
        lines.push_back(std::to_string(a.type) + " " + a.name + " " + a.ip + " " + std::to_string(a.sysType));
    return lines;
}

} // namespace

TEST_F(Discovery, AnswersQueriesAndPassesAnswersAndLeavingNoticesOn)
{
    ASSERT_EQ(udp.Start(), NR_OK);
    send("0^_7iPhone^_71^_7" + kPhoneId);
    send("1^_7other-desktop^_72^_7OtherDesktop001", false); // shorter than a record: still one message
    send("1^_7three^_72");                                  // three fields: ignored
    send("");                                               // empty: ignored
    send("2^_7leaving-phone^_71^_7" + kPhoneId);
    ASSERT_TRUE(delegate.waitFor([](RecordingDelegate& d) { return d.answers().size() >= 2; }));
    // Exactly one answer, to the query; answers and notices are not answered.
    const std::vector<std::string> answered = hearAnswers(1000);
    const std::string name = hostName().empty() ? "Hi" : hostName();
    EXPECT_EQ(answered, std::vector<std::string>{"1^_7" + name + "^_72^_7" + getUUID()});
    // The query is answered, not passed on.
    EXPECT_EQ(Answers(delegate),
              (std::vector<std::string>{"1 other-desktop 127.0.0.1 2", "2 leaving-phone 127.0.0.1 1"}));
}

TEST_F(Discovery, IgnoresItsOwnBroadcastsAndStillBroadcastsWhenStopped)
{
    ASSERT_EQ(udp.Start(), NR_OK);
    ASSERT_EQ(udp.SendBoardcast(UDPMsg_Query), NR_OK);
    // The phone hears the query itself and no answer to it.
    std::vector<std::string> heard = hear(1000, kPhoneId);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].substr(0, 4), "0^_7");

    udp.Stop();
    send("1^_7late^_72^_7LateDatagram001");
    ASSERT_EQ(udp.SendBoardcast(UDPMsg_Leaving), NR_OK);
    heard = hear(500, "LateDatagram001");
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].substr(0, 4), "2^_7");
    EXPECT_TRUE(delegate.answers().empty());
    ASSERT_EQ(udp.Start(), NR_OK); // again, on the same port
}

TEST_F(Discovery, ReportsABroadcastThatCannotBeSent)
{
    std::strcpy(udp.broadcastIp, "not-an-address");
    EXPECT_EQ(udp.SendBoardcast(UDPMsg_Query), NR_BroadcastError);
}

TEST_F(Discovery, AFloodOfQueriesDrawsOnlyAFewAnswers)
{
    ASSERT_EQ(udp.Start(), NR_OK);
    for (int i = 0; i < 100; ++i)
        send("0^_7iPhone^_71^_7" + kPhoneId);
    const std::size_t answers = hearAnswers(1000).size();
    EXPECT_GE(answers, 1u);
    EXPECT_LE(answers, 12u);
}

// Peers outside the local network, in a network namespace of the test's own
// whose loopback interface also carries a public and a private address.
TEST(DiscoveryAddressRule, PeersOutsideTheLocalNetworkAreIgnoredUnlessAllowed)
{
    CORVANE_REQUIRE_NAMESPACES();
    std::thread([] {
        ASSERT_EQ(::unshare(CLONE_NEWNET), 0); // this thread, and what it starts, only
        ASSERT_EQ(ChildProcess::Run({"sh", "-c", "ip link set lo up && ip addr add 8.8.4.4/32 dev lo && "
                                                 "ip addr add 10.9.8.7/32 dev lo"}).status, 0);
        const struct {
            const char* from;
            bool lanOnly;
            bool served;
        } cases[] = {{"8.8.4.4", true, false}, {"10.9.8.7", true, true}, {"8.8.4.4", false, true}};
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.from) + (c.lanOnly ? " LAN only" : " anyone"));
            LoopbackDiscovery net;
            net.udp.lanOnly = c.lanOnly;
            ASSERT_EQ(net.udp.Start(), NR_OK);
            net.send("0^_7iPhone^_71^_7" + kPhoneId, true, c.from);
            net.send("1^_7far-desktop^_72^_7FarDesktop00001", true, c.from);
            EXPECT_EQ(net.hearAnswers(500).size(), c.served ? 1u : 0u);
            const std::string answer = "1 far-desktop " + std::string(c.from) + " 2";
            EXPECT_EQ(Answers(net.delegate), c.served ? std::vector<std::string>{answer} : std::vector<std::string>{});
        }
    }).join();
}
