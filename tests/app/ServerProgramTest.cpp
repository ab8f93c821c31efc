#include "ChildProcess.h"
#include "FreePort.h"
#include "HostAddresses.h"
#include "NetworkNamespaces.h"
#include "NoticeListener.h"
#include "PairingCode.h"
#include "PeerNames.h"
#include "Phone.h"
#include "SCommon.h"
#include "RawConnection.h"
#include "SConfig.h"
#include "ServerProcess.h"
#include "TempDir.h"
#include "UserSandbox.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <optional>
#include <regex>
#include <sys/socket.h>
#include <tuple>
#include <unistd.h>

namespace {

std::string Ask(int port, const std::string& head, const std::string& body = "")
{
    RawConnection phone(port);
    phone.sendFramed(head);
    phone.sendFramed(body);
    return phone.readAll();
}

// Exit status and standard output.
std::string Outcome(const ChildProcess::Result& run)
{
    return std::to_string(run.status) + " " + run.out;
}

ChildProcess::Result RunServer(std::vector<std::string> args)
{
    args.insert(args.begin(), CORVANE_SERVER_EXE);
    return ChildProcess::Run(args);
}

} // namespace

TEST(ServerProgram, AHeadlessRunFromStartUpToSigterm)
{
    UserSandbox sandbox;
    ServerProcess server;
    NoticeListener listener(server.udpPort());
    for (const std::string& line : {"[IP]:[0.0.0.0]  [Port]:[" + std::to_string(server.tcpPort()) + "]  [Timeout]:[10]\n",
                                   std::string("listen OK!!!\n"), std::string("accept thread start!!!\n")})
        EXPECT_NE(server.output().find(line), std::string::npos) << server.output();

    // Its addresses in the system's order, then the pairing code.
    const std::vector<std::string> addresses = HostAddresses::qualifying();
    const std::string code = addresses.empty() ? "IPv4 address not available\n" : PairingCode::TerminalText();
    ASSERT_FALSE(code.empty());
    ASSERT_TRUE(server.waitForOutput(code)) << server.output();
    size_t previous = 0;
    for (const std::string& address : addresses) {
        const size_t at = server.output().find("This computer's IP address: " + address + "\n");
        ASSERT_NE(at, std::string::npos) << address;
        EXPECT_GE(at, previous) << "addresses out of the system's order";
        previous = at;
    }
    EXPECT_LE(previous, server.output().find(code));

    // A first launch registers the login item, and leaves the help for the
    // first launch with a desktop.
    const auto entry = [&] { return TempDir::read(sandbox.configHome() + "/autostart/corvane.desktop"); };
    Eventually([&] { return entry().find("X-Corvane-Id") != std::string::npos; });
    EXPECT_NE(entry().find("X-Corvane-Id=org.corvane.Corvane"), std::string::npos) << entry();
    EXPECT_EQ(TempDir::read(sandbox.configHome() + "/corvane/corvane.conf").find("is_first_start"), std::string::npos);

    // Scan reports are taken in stride; the service goes on answering.
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(Ask(server.tcpPort(), "OpKey_ScanConnect"), RawConnection::framed(""));
    const std::string reply = Ask(server.tcpPort(), "OpKey_GetDeviceInfo");
    ASSERT_GT(reply.size(), 64u);
    EXPECT_EQ(reply.substr(64, 4), "2^_7");
    EXPECT_TRUE(server.waitForOutput("[Head]:OpKey_GetDeviceInfo\n"));

    EXPECT_EQ(server.stop(), 0) << server.output();
    EXPECT_EQ(listener.hear(3000).substr(0, 4), "2^_7") << "the leaving notice";
}

// A port that another program holds until the end of the test.
struct HeldPort {
    explicit HeldPort(int type) : fd(::socket(AF_INET, type, 0)), port(type == SOCK_STREAM ? FreePort::tcp() : FreePort::udp())
    {
        sockaddr_in address{AF_INET, htons(static_cast<uint16_t>(port)), {}, {}};
        EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_TRUE(type != SOCK_STREAM || ::listen(fd, 1) == 0);
    }
    ~HeldPort() { ::close(fd); }
    int fd, port;
};

// A running copy is named in the language test (StatusMenuTest).
TEST(ServerProgram, AFailedStartNamesThePortInUseAndEndsWithOne)
{
    UserSandbox sandbox;
    sandbox.set("LANG", "zh_CN.UTF-8"); // the alerts as written
    const HeldPort tcp(SOCK_STREAM);
    const HeldPort udp(SOCK_DGRAM);
    const std::vector<std::tuple<int, int, std::string>> cases = {
        {tcp.port, FreePort::udp(),
         "错误: 服务启动失败，请等待一分钟再重试\nTCP端口" + std::to_string(tcp.port) +
             "已被其他程序占用。请关闭占用它的程序后再试，或用 --port 选择其他端口（手机应用只连接1811端口）。\n"},
        {FreePort::tcp(), udp.port,
         "错误: 服务启动失败，请等待一分钟再重试\nUDP端口" + std::to_string(udp.port) +
             "已被其他程序占用。请关闭占用它的程序后再试，或用 --udp-port 选择其他端口（手机应用只在1822端口搜索）。\n"},
    };
    for (const auto& [tcpPort, udpPort, expected] : cases) {
        const ChildProcess::Result run = RunServer({"--headless", "--port", std::to_string(tcpPort), "--udp-port",
                                                    std::to_string(udpPort), "--broadcast", "127.255.255.255"});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, expected);
    }
}

TEST(ServerProgram, CommandLineOptions)
{
    const ChildProcess::Result unknown = RunServer({"--frobnicate"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.out, "");
    EXPECT_NE(unknown.err.find("Usage: corvane"), std::string::npos);
    EXPECT_EQ(RunServer({"--port", "70000"}).status, 2);
    EXPECT_EQ(RunServer({"--broadcast", "everyone"}).status, 2);
    EXPECT_EQ(Outcome(RunServer({"--version"})), std::string("0 corvane ") + CORVANE_VERSION + "\n");
    const ChildProcess::Result help = RunServer({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--broadcast ADDR"), std::string::npos);

    // Start at login switched from the command line, without a menu.
    UserSandbox sandbox;
    const std::string entry = sandbox.configHome() + "/autostart/corvane.desktop";
    EXPECT_EQ(Outcome(RunServer({"--autostart", "on"})),
              "0 corvane: start at login is on (" + entry + " starts " + CORVANE_SERVER_EXE + ")\n");
    EXPECT_NE(TempDir::read(entry).find(std::string("Exec=\"") + CORVANE_SERVER_EXE + "\""), std::string::npos);
    EXPECT_EQ(Outcome(RunServer({"--autostart", "off"})), "0 corvane: start at login is off\n");
    EXPECT_EQ(TempDir::read(entry), "");
    EXPECT_NE(TempDir::read(sandbox.configHome() + "/corvane/corvane.conf").find("auto_start=false"), std::string::npos);
    EXPECT_EQ(RunServer({"--autostart", "maybe"}).status, 2);
}

TEST(ServerProgram, HeadlessRefusesAnUntrustedPhoneWithOneLineAndFollowsTheTrustCommands)
{
    CORVANE_REQUIRE_NAMESPACES();
    UserSandbox sandbox;
    NetworkNamespaces nets;
    std::optional<ServerProcess> server;
    {
        NetworkNamespaces::Inside inside(nets, NetworkNamespaces::Side::Server);
        server.emplace(std::vector<std::string>{"--broadcast", NetworkNamespaces::kBroadcast});
    }
    ASSERT_TRUE(server->waitForOutput("This computer's IP address: ")); // printed once discovery runs too
    {
        // A search from the phone's first address, which calls itself by this host's name.
        NetworkNamespaces::Inside inside(nets, NetworkNamespaces::Side::Phone);
        const ChildProcess::Result found = ChildProcess::Run({CORVANE_CLIENT_EXE, "discover", "--broadcast",
            NetworkNamespaces::kBroadcast, "--udp-port", std::to_string(server->udpPort()), "--wait", "1"});
        EXPECT_NE(found.out.find(" 10.213.0.1 2\n"), std::string::npos) << found.out;
    }
    // What the phone at 10.213.1.10 gets for the device information now.
    auto phoneGets = [&] {
        auto phone = nets.connect(0, server->tcpPort(), "OpKey_GetDeviceInfo");
        const std::string reply = phone->readAll(3000);
        return reply.empty() ? std::string(phone->waitForClose(0) ? "closed" : "open") : reply.substr(64, 4);
    };
    EXPECT_EQ(phoneGets(), "closed");
    // Each command: its status, what it printed, what the running server does next.
    const std::vector<std::pair<std::vector<std::string>, std::string>> steps = {
        {{"--trusted"}, "0|corvane: no trusted devices\n|closed"},
        {{"--trust", "10.213.1.10"}, "0|corvane: 10.213.1.10 is trusted\n|2^_7"},
        {{"--trusted"}, "0|10.213.1.10\t-\t<when>\n|2^_7"},
        {{"--untrust", "10.213.1.10"}, "0|corvane: 10.213.1.10 is no longer trusted\n|closed"},
        {{"--untrust", "10.213.1.10"}, "1|corvane: 10.213.1.10 was not trusted\n|closed"},
        {{"--trust", "10.213.1"}, "2||closed"},
    };
    const std::regex when("\\d{4}-\\d\\d-\\d\\dT[0-9:]+(Z|[+-]\\d\\d:\\d\\d)");
    for (const auto& [args, expected] : steps) {
        const ChildProcess::Result run = RunServer(args);
        EXPECT_EQ(std::to_string(run.status) + "|" + std::regex_replace(run.out, when, "<when>") + "|" + phoneGets(),
                  expected);
    }
    // One line for the address however often it came, with the name from
    // its discovery query.
    const std::string line = "corvane: 10.213.1.10 (" + PeerNames::Clean(hostName().c_str()) +
                             ") asked to connect; allow it with: corvane --trust 10.213.1.10\n";
    const std::string output = server->output();
    EXPECT_NE(output.find(line), std::string::npos) << output;
    EXPECT_EQ(output.find(line), output.rfind(line));
}

TEST(ClientProgram, PrintsRepliesSaysWhatFailedListsItsHeadsAndDiscoversTheServer)
{
    UserSandbox sandbox;
    ServerProcess server;
    TempDir dir;
    const std::string file = dir.write("note.txt", "line one\nline two\n");
    auto client = [](std::vector<std::string> args) {
        args.insert(args.begin(), CORVANE_CLIENT_EXE);
        return ChildProcess::Run(args);
    };
    const std::string port = std::to_string(server.tcpPort());
    EXPECT_EQ(Outcome(client({"--port", port, "request", "OpKey_GetFile", file})), "0 line one\nline two\n");
    // Failures in words on standard error, without the protocol's log lines
    // unless --verbose asks for them.
    const ChildProcess::Result missing = client({"--port", port, "request", "OpKey_GetFile", dir.file("x")});
    EXPECT_EQ(Outcome(missing), "17 ");
    EXPECT_EQ(missing.err,
              "corvane-client: the service cannot open the file the reply should carry (NR_FileUnavailable)\n");
    const std::string closed = std::to_string(FreePort::tcp());
    const ChildProcess::Result refused = client({"--port", closed, "request", "OpKey_GetDeviceInfo"});
    EXPECT_EQ(refused.status, 6);
    EXPECT_EQ(refused.err, "corvane-client: no connection to the service at 127.0.0.1:" + closed +
                               ": Connection refused: nothing listens on that port (is corvane running, with this "
                               "--port?) (NR_ConnectError)\n");
    const ChildProcess::Result verbose = client({"--verbose", "--port", closed, "request", "OpKey_GetDeviceInfo"});
    EXPECT_NE(verbose.err.find("BaseSocket::~BaseSocket\n"), std::string::npos) << verbose.err;
    EXPECT_EQ(verbose.out, "");
    EXPECT_EQ(client({"request"}).status, 2);

    // The help: every request head the service knows, and the exit statuses.
    const ChildProcess::Result help = client({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const SConfig::OperationHead& head : SConfig::kOperationHeads)
        EXPECT_NE(help.out.find("\n  " + std::string(head.head)), std::string::npos) << head.head;
    for (const char* status : {"\n  0   success\n", "\n  6   no connection to the service (NR_ConnectError)\n",
                               "\n  17  the service cannot open the file"})
        EXPECT_NE(help.out.find(status), std::string::npos) << status;

    const ChildProcess::Result found = client(
        {"discover", "--broadcast", "127.255.255.255", "--udp-port", std::to_string(server.udpPort()), "--wait", "1"});
    EXPECT_EQ(found.status, 0);
    EXPECT_EQ(found.out.substr(0, 2), "1 ");
    EXPECT_NE(found.out.find(" 127.0.0.1 2\n"), std::string::npos) << found.out;
}
