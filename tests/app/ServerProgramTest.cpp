#include "ChildProcess.h"
#include "FreePort.h"
#include "HostAddresses.h"
#include "NoticeListener.h"
#include "PairingCode.h"
#include "RawConnection.h"
#include "ServerProcess.h"
#include "TempDir.h"
#include "UserSandbox.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>


TEST(ServerProgram, StartsListeningAndPrintsItsStartUpLines)
{
    UserSandbox sandbox;
    ServerProcess server;
    const std::string out = server.output();
    EXPECT_NE(out.find("[IP]:[0.0.0.0]  [Port]:[" + std::to_string(server.tcpPort()) + "]  [Timeout]:[10]\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("listen OK!!!\n"), std::string::npos);
    EXPECT_NE(out.find("accept thread start!!!\n"), std::string::npos);
    RawConnection phone(server.tcpPort());
    phone.sendFramed("OpKey_GetDeviceInfo");
    phone.sendFramed("");
    const std::string reply = phone.readAll();
    ASSERT_GT(reply.size(), 64u);
    EXPECT_EQ(reply.substr(64, 4), "2^_7");
    EXPECT_TRUE(server.waitForOutput("[Head]:OpKey_GetDeviceInfo\n"));
}

TEST(ServerProgram, EndsCleanlyOnSigtermWithALeavingNotice)
{
    UserSandbox sandbox;
    ServerProcess server;
    NoticeListener listener(server.udpPort());
    EXPECT_EQ(server.stop(), 0);
    const std::string notice = listener.hear(3000);
    EXPECT_EQ(notice.substr(0, 4), "2^_7") << notice;
}

TEST(ServerProgram, ASecondCopyOnTheSamePortsSaysSoAndExitsWithOne)
{
    UserSandbox sandbox;
    ServerProcess first;
    const ChildProcess::Result second =
        ChildProcess::Run({CORVANE_SERVER_EXE, "--headless", "--port", std::to_string(first.tcpPort()), "--udp-port",
                           std::to_string(first.udpPort()), "--broadcast", "127.255.255.255"});
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.err.find("您已经启动了一个Corvane，请关闭已经启动的Corvane再重试"), std::string::npos) << second.err;
}

TEST(ServerProgram, APortHeldByAnotherProgramIsAServiceFailure)
{
    UserSandbox sandbox;
    const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    const int port = FreePort::tcp();
    address.sin_port = htons(static_cast<uint16_t>(port));
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(holder, 1), 0);
    const ChildProcess::Result outcome =
        ChildProcess::Run({CORVANE_SERVER_EXE, "--headless", "--port", std::to_string(port), "--udp-port",
                           std::to_string(FreePort::udp()), "--broadcast", "127.255.255.255"});
    ::close(holder);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("服务启动失败，请等待一分钟再重试"), std::string::npos) << outcome.err;
}

TEST(ServerProgram, CommandLineOptions)
{
    const ChildProcess::Result unknown = ChildProcess::Run({CORVANE_SERVER_EXE, "--frobnicate"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("unknown option --frobnicate"), std::string::npos);
    EXPECT_NE(unknown.err.find("Usage: corvane"), std::string::npos);
    EXPECT_EQ(unknown.out, "");

    const ChildProcess::Result badPort = ChildProcess::Run({CORVANE_SERVER_EXE, "--port", "70000"});
    EXPECT_EQ(badPort.status, 2);
    const ChildProcess::Result badBroadcast = ChildProcess::Run({CORVANE_SERVER_EXE, "--broadcast", "everyone"});
    EXPECT_EQ(badBroadcast.status, 2);

    const ChildProcess::Result version = ChildProcess::Run({CORVANE_SERVER_EXE, "--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("corvane ") + CORVANE_VERSION + "\n");

    const ChildProcess::Result help = ChildProcess::Run({CORVANE_SERVER_EXE, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--broadcast ADDR"), std::string::npos);
}

TEST(ServerProgram, FirstLaunchRegistersTheLoginItem)
{
    UserSandbox sandbox;
    ServerProcess server;
    const std::string path = sandbox.configHome() + "/autostart/corvane.desktop";
    std::string entry;
    for (int i = 0; i < 500 && entry.find("X-Corvane-Id") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        entry = TempDir::read(path);
    }
    EXPECT_NE(entry.find("X-Corvane-Id=org.corvane.Corvane"), std::string::npos) << entry;
}

TEST(ClientProgram, PrintsRepliesAndReportsFailuresByNameAndCode)
{
    UserSandbox sandbox;
    ServerProcess server;
    TempDir dir;
    const std::string file = dir.write("note.txt", "line one\nline two\n");
    const std::string port = std::to_string(server.tcpPort());

    const ChildProcess::Result fetched =
        ChildProcess::Run({CORVANE_CLIENT_EXE, "--port", port, "request", "OpKey_GetFile", file});
    EXPECT_EQ(fetched.status, 0);
    EXPECT_EQ(fetched.out, "line one\nline two\n");

    const ChildProcess::Result missing =
        ChildProcess::Run({CORVANE_CLIENT_EXE, "--port", port, "request", "OpKey_GetFile", dir.file("x")});
    EXPECT_EQ(missing.status, 17);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("NR_FileUnavailable"), std::string::npos);

    const ChildProcess::Result refused = ChildProcess::Run(
        {CORVANE_CLIENT_EXE, "--port", std::to_string(FreePort::tcp()), "request", "OpKey_GetDeviceInfo"});
    EXPECT_EQ(refused.status, 6);
    EXPECT_NE(refused.err.find("NR_ConnectError"), std::string::npos);

    const ChildProcess::Result usage = ChildProcess::Run({CORVANE_CLIENT_EXE, "request"});
    EXPECT_EQ(usage.status, 2);
}

TEST(ClientProgram, DiscoversTheServerOnTheLoopbackNetwork)
{
    UserSandbox sandbox;
    ServerProcess server;
    const ChildProcess::Result found = ChildProcess::Run({CORVANE_CLIENT_EXE, "discover", "--broadcast", "127.255.255.255",
                                                          "--udp-port", std::to_string(server.udpPort()), "--wait", "1"});
    EXPECT_EQ(found.status, 0);
    EXPECT_NE(found.out.find(" 127.0.0.1 2\n"), std::string::npos) << found.out;
    EXPECT_EQ(found.out.substr(0, 2), "1 ");
}

TEST(ServerProgram, HeadlessPrintsItsAddressesAndThePairingCode)
{
    UserSandbox sandbox;
    ServerProcess server;
    const std::vector<std::string> addresses = HostAddresses::qualifying();
    if (addresses.empty()) {
        EXPECT_TRUE(server.waitForOutput("IPv4 address not available\n")) << server.output();
        return;
    }
    const std::string code = PairingCode::TerminalText();
    ASSERT_FALSE(code.empty());
    ASSERT_TRUE(server.waitForOutput(code)) << server.output();
    const std::string out = server.output();
    size_t previous = 0;
    for (const std::string& address : addresses) {
        const size_t at = out.find("本机IP: " + address + "\n");
        ASSERT_NE(at, std::string::npos) << address;
        EXPECT_GE(at, previous) << "addresses out of the system's order";
        previous = at;
    }
    EXPECT_LT(previous, out.find(code));
    // A headless first launch leaves the help for the first launch with a desktop.
    EXPECT_EQ(TempDir::read(sandbox.configHome() + "/corvane/corvane.conf").find("is_first_start"), std::string::npos);
}

TEST(ServerProgram, HeadlessTakesAScanReportInStride)
{
    UserSandbox sandbox;
    ServerProcess server;
    NoticeListener listener(server.udpPort());
    for (int i = 0; i < 2; ++i) {
        RawConnection phone(server.tcpPort());
        phone.sendFramed("OpKey_ScanConnect");
        phone.sendFramed("");
        EXPECT_EQ(phone.readAll(), RawConnection::framed(""));
    }
    RawConnection phone(server.tcpPort());
    phone.sendFramed("OpKey_GetDeviceInfo");
    phone.sendFramed("");
    EXPECT_GT(phone.readAll().size(), 64u);
    EXPECT_EQ(server.stop(), 0) << server.output();
    EXPECT_EQ(listener.hear(3000).substr(0, 4), "2^_7");
}
