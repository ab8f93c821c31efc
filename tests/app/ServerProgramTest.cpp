#include "FreePort.h"
#include "RawConnection.h"
#include "ServerProcess.h"
#include "TempDir.h"
#include "UserSandbox.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

// Runs a program to its end and collects its exit status and output.
Outcome RunProgram(const std::vector<std::string>& args)
{
    TempDir dir;
    const std::string outPath = dir.file("out");
    const std::string errPath = dir.file("err");
    std::vector<char*> argv;
    std::vector<std::string> copy = args;
    for (std::string& arg : copy)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return {-1, "", ""};
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, TempDir::read(outPath), TempDir::read(errPath)};
}

// Listens on a UDP port (shared with the server) for one datagram.
std::string HearDatagram(int fd, int timeoutMs)
{
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, timeoutMs) <= 0)
        return {};
    char buffer[512] = {};
    ::recv(fd, buffer, sizeof buffer - 1, 0);
    return buffer;
}

int BindShared(int port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    return fd;
}

} // namespace

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
    const int listener = BindShared(server.udpPort());
    EXPECT_EQ(server.stop(), 0);
    const std::string notice = HearDatagram(listener, 3000);
    ::close(listener);
    EXPECT_EQ(notice.substr(0, 4), "2^_7") << notice;
}

TEST(ServerProgram, ASecondCopyOnTheSamePortsSaysSoAndExitsWithOne)
{
    UserSandbox sandbox;
    ServerProcess first;
    const Outcome second = RunProgram({CORVANE_SERVER_EXE, "--headless", "--port", std::to_string(first.tcpPort()),
                                       "--udp-port", std::to_string(first.udpPort()), "--broadcast",
                                       "127.255.255.255"});
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
    const Outcome outcome = RunProgram({CORVANE_SERVER_EXE, "--headless", "--port", std::to_string(port), "--udp-port",
                                        std::to_string(FreePort::udp()), "--broadcast", "127.255.255.255"});
    ::close(holder);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("服务启动失败，请等待一分钟再重试"), std::string::npos) << outcome.err;
}

TEST(ServerProgram, CommandLineOptions)
{
    const Outcome unknown = RunProgram({CORVANE_SERVER_EXE, "--frobnicate"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("unknown option --frobnicate"), std::string::npos);
    EXPECT_NE(unknown.err.find("Usage: corvane"), std::string::npos);
    EXPECT_EQ(unknown.out, "");

    const Outcome badPort = RunProgram({CORVANE_SERVER_EXE, "--port", "70000"});
    EXPECT_EQ(badPort.status, 2);
    const Outcome badBroadcast = RunProgram({CORVANE_SERVER_EXE, "--broadcast", "everyone"});
    EXPECT_EQ(badBroadcast.status, 2);

    const Outcome version = RunProgram({CORVANE_SERVER_EXE, "--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("corvane ") + CORVANE_VERSION + "\n");

    const Outcome help = RunProgram({CORVANE_SERVER_EXE, "--help"});
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

    const Outcome fetched = RunProgram({CORVANE_CLIENT_EXE, "--port", port, "request", "OpKey_GetFile", file});
    EXPECT_EQ(fetched.status, 0);
    EXPECT_EQ(fetched.out, "line one\nline two\n");

    const Outcome missing = RunProgram({CORVANE_CLIENT_EXE, "--port", port, "request", "OpKey_GetFile", dir.file("x")});
    EXPECT_EQ(missing.status, 17);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("NR_FileUnavailable"), std::string::npos);

    const Outcome refused = RunProgram({CORVANE_CLIENT_EXE, "--port", std::to_string(FreePort::tcp()), "request", "OpKey_GetDeviceInfo"});
    EXPECT_EQ(refused.status, 6);
    EXPECT_NE(refused.err.find("NR_ConnectError"), std::string::npos);

    const Outcome usage = RunProgram({CORVANE_CLIENT_EXE, "request"});
    EXPECT_EQ(usage.status, 2);
}

TEST(ClientProgram, DiscoversTheServerOnTheLoopbackNetwork)
{
    UserSandbox sandbox;
    ServerProcess server;
    const Outcome found = RunProgram({CORVANE_CLIENT_EXE, "discover", "--broadcast", "127.255.255.255", "--udp-port",
                                      std::to_string(server.udpPort()), "--wait", "1"});
    EXPECT_EQ(found.status, 0);
    EXPECT_NE(found.out.find(" 127.0.0.1 2\n"), std::string::npos) << found.out;
    EXPECT_EQ(found.out.substr(0, 2), "1 ");
}
