#include "FreePort.h"
#include "MyUDP.h"
#include "RecordingDelegate.h"
#include "SCommon.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr const char* kLoopbackBroadcast = "127.255.255.255";

// A phone on the loopback network: shares the discovery port, hears every
// broadcast and sends datagrams of its choosing.
class Phone {
public:
    explicit Phone(int port) : port(port)
    {
        fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    ~Phone() { ::close(fd); }

    void send(const std::string& bytes)
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<uint16_t>(port));
        to.sin_addr.s_addr = inet_addr(kLoopbackBroadcast);
        ASSERT_EQ(::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
                  static_cast<ssize_t>(bytes.size()));
    }
    void sendRecord(const std::string& text)
    {
        std::string record = text;
        record.resize(256, '\0');
        send(record);
    }
    // The texts of the datagrams heard within timeoutMs, skipping the ones
    // this phone sent itself.
    std::vector<std::string> hear(int timeoutMs, const std::string& ownId)
    {
        std::vector<std::string> heard;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd ready{fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0)
                return heard;
            char buffer[512] = {};
            const ssize_t got = ::recv(fd, buffer, sizeof buffer - 1, 0);
            if (got > 0 && std::string(buffer).find(ownId) == std::string::npos)
                heard.emplace_back(buffer);
        }
    }

    const int port;
    int fd;
};

struct Discovery {
    Discovery() : port(FreePort::udp())
    {
        udp.port = port;
        std::strcpy(udp.broadcastIp, kLoopbackBroadcast);
        udp.delegate = &delegate;
    }
    RecordingDelegate delegate;
    int port;
    MyUDP udp;
};

const std::string kPhoneId = "PhoneId00000001";

} // namespace

TEST(Discovery, AnswersAPhonesQueryWithItsNameSystemTypeAndId)
{
    Discovery discovery;
    Phone phone(discovery.port);
    ASSERT_EQ(discovery.udp.Start(), NR_OK);
    phone.sendRecord("0^_7iPhone^_71^_7" + kPhoneId);
    const std::vector<std::string> heard = phone.hear(2000, kPhoneId);
    std::string expectedName = hostName();
    if (expectedName.empty())
        expectedName = "Hi";
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0], "1^_7" + expectedName + "^_72^_7" + getUUID());
    // Queries are answered, not passed on.
    EXPECT_TRUE(discovery.delegate.answers().empty());
}

TEST(Discovery, IgnoresItsOwnBroadcasts)
{
    Discovery discovery;
    Phone phone(discovery.port);
    ASSERT_EQ(discovery.udp.Start(), NR_OK);
    ASSERT_EQ(discovery.udp.SendBoardcast(UDPMsg_Query), NR_OK);
    const std::vector<std::string> heard = phone.hear(1000, kPhoneId);
    // The phone hears the query itself and no answer to it.
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].substr(0, 4), "0^_7");
    EXPECT_TRUE(discovery.delegate.answers().empty());
}

TEST(Discovery, PassesAnswersAndLeavingNoticesOfOtherPeersToTheDelegate)
{
    Discovery discovery;
    Phone phone(discovery.port);
    ASSERT_EQ(discovery.udp.Start(), NR_OK);
    phone.sendRecord("1^_7other-desktop^_72^_7OtherDesktop001");
    phone.sendRecord("2^_7leaving-phone^_71^_7" + kPhoneId);
    ASSERT_TRUE(discovery.delegate.waitFor([](RecordingDelegate& d) { return d.answers().size() == 2; }));
    const auto answers = discovery.delegate.answers();
    EXPECT_EQ(answers[0].type, 1);
    EXPECT_EQ(answers[0].name, "other-desktop");
    EXPECT_EQ(answers[0].ip, "127.0.0.1");
    EXPECT_EQ(answers[0].sysType, 2);
    EXPECT_EQ(answers[1].type, 2);
    EXPECT_EQ(answers[1].name, "leaving-phone");
    EXPECT_EQ(answers[1].sysType, 1);
    // Nothing answers an answer or a leaving notice: the phone hears only
    // what it sent itself.
    for (const std::string& heard : phone.hear(300, kPhoneId))
        EXPECT_EQ(heard.find(getUUID()), std::string::npos) << heard;
}

TEST(Discovery, TakesEachDatagramAsOneMessageAndSkipsIncompleteOnes)
{
    Discovery discovery;
    Phone phone(discovery.port);
    ASSERT_EQ(discovery.udp.Start(), NR_OK);
    phone.send("1^_7short-one^_72^_7ShortDatagram01"); // fewer than 256 bytes: still one message
    phone.sendRecord("1^_7three^_72");                  // three fields: ignored
    phone.sendRecord("");                               // empty: ignored
    phone.sendRecord("1^_7full-one^_72^_7FullDatagram001");
    ASSERT_TRUE(discovery.delegate.waitFor([](RecordingDelegate& d) { return d.answers().size() == 2; }));
    const auto answers = discovery.delegate.answers();
    EXPECT_EQ(answers[0].name, "short-one");
    EXPECT_EQ(answers[1].name, "full-one");
}

TEST(Discovery, StopEndsReceivingAndBroadcastsStillWorkAfterwards)
{
    Discovery discovery;
    Phone phone(discovery.port);
    ASSERT_EQ(discovery.udp.Start(), NR_OK);
    discovery.udp.Stop();
    phone.sendRecord("1^_7late^_72^_7LateDatagram001");
    ASSERT_EQ(discovery.udp.SendBoardcast(UDPMsg_Leaving), NR_OK);
    const std::vector<std::string> heard = phone.hear(500, "LateDatagram001");
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].substr(0, 4), "2^_7");
    EXPECT_TRUE(discovery.delegate.answers().empty());
    // Starting again works on the same port.
    ASSERT_EQ(discovery.udp.Start(), NR_OK);
}

TEST(Discovery, ReportsABroadcastThatCannotBeSent)
{
    MyUDP udp;
    udp.port = FreePort::udp();
    std::strcpy(udp.broadcastIp, "not-an-address");
    EXPECT_EQ(udp.SendBoardcast(UDPMsg_Query), NR_BroadcastError);
}
