#include "ChildProcess.h"
#include "HostAddresses.h"
#include "ServerProcess.h"
#include "TempDir.h"
#include "ZbarDecoder.h"

#include <gtest/gtest.h>

#include <QImage>
#include <csignal>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

struct ProgramResult {
    int status = -1; // exit status, -1 when it did not exit normally
    std::string output;
};

// Runs a program found through PATH with its output collected; a program
// still running after 20 s is killed by its PID.
ProgramResult RunProgram(const std::vector<std::string>& args)
{
    ChildProcess program(args, {.out = ChildProcess::Stream::Collect,
                                .err = ChildProcess::Stream::Collect,
                                .stopSignal = SIGKILL});
    const int status = program.wait(20000);
    return {status, program.output()};
}

bool FileExists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// Network namespaces of the test's own, where it sets the addresses a
// host has; needs the unshare and ip tools and the right to use them.
bool NamespacesAvailable()
{
    static const bool available = RunProgram({"unshare", "-n", "ip", "link", "set", "lo", "up"}).status == 0;
    return available;
}

// Runs corvane --pairing-qr in a fresh network namespace whose loopback
// interface carries the given addresses (in that order) besides 127.0.0.1.
ProgramResult PairingQrInNamespace(const std::vector<std::string>& addresses, const std::string& file)
{
    std::string script = "ip link set lo up";
    for (const std::string& address : addresses)
        script += " && ip addr add " + address + " dev lo";
    script += " && exec \"$0\" --pairing-qr \"$1\"";
    return RunProgram({"unshare", "-n", "sh", "-c", script, CORVANE_SERVER_EXE, file});
}

// The written code (the renderer's quiet zone and opacity are the QR
// renderer tests' to check): a 300 x 300 PNG, and what zbar reads from it.
std::string ReadPairingPng(const std::string& path)
{
    QImage image;
    EXPECT_TRUE(image.load(QString::fromStdString(path), "PNG"));
    EXPECT_EQ(image.size(), QSize(300, 300));
    const std::vector<std::string> decoded = ZbarDecoder::DecodeImage(image);
    EXPECT_EQ(decoded.size(), 1u);
    return decoded.empty() ? std::string() : decoded[0];
}

} // namespace

TEST(PairingQr, WritesThisHostsAddressesAndExits)
{
    TempDir dir;
    const std::string file = dir.file("pairing.png");
    ServerProcess program({"--pairing-qr", file}, false);
    const int status = program.wait(20000);
    const std::string payload = HostAddresses::pairingPayload();
    if (payload.empty()) {
        // A machine with no reachable IPv4 address: the clear refusal.
        EXPECT_EQ(status, 1);
        EXPECT_NE(program.output().find("no IPv4 address"), std::string::npos) << program.output();
        EXPECT_FALSE(FileExists(file));
        return;
    }
    ASSERT_EQ(status, 0) << program.output();
    // Nothing else ran: no service started, nothing printed.
    EXPECT_EQ(program.output(), "");
    EXPECT_EQ(ReadPairingPng(file), payload);
}

TEST(PairingQr, EveryQualifyingAddressInTheSystemOrder)
{
    if (!NamespacesAvailable())
        GTEST_SKIP() << "no network namespaces here (unshare and ip as root needed)";
    TempDir dir;
    const std::string file = dir.file("pairing.png");
    const ProgramResult result = PairingQrInNamespace(
        {"10.1.2.3/24", "127.0.0.2/8", "fd00::5/64", "192.168.1.20/24"}, file);
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(ReadPairingPng(file), "10.1.2.3^_7192.168.1.20^_7");

    const std::string single = dir.file("single.png");
    const ProgramResult one = PairingQrInNamespace({"172.20.30.40/16"}, single);
    ASSERT_EQ(one.status, 0) << one.output;
    EXPECT_EQ(ReadPairingPng(single), "172.20.30.40^_7");
}

TEST(PairingQr, NoQualifyingAddressExitsWithAMessage)
{
    if (!NamespacesAvailable())
        GTEST_SKIP() << "no network namespaces here (unshare and ip as root needed)";
    TempDir dir;
    const std::string file = dir.file("pairing.png");
    // Only loopback and IPv6.
    const ProgramResult result = PairingQrInNamespace({"127.0.0.2/8", "fd00::5/64"}, file);
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.output.find("no IPv4 address a phone can reach"), std::string::npos) << result.output;
    EXPECT_FALSE(FileExists(file));
}

TEST(PairingQr, UnwritableFileExitsWithAMessage)
{
    TempDir dir;
    const std::string file = dir.file("missing-folder/pairing.png");
    if (HostAddresses::pairingPayload().empty())
        GTEST_SKIP() << "no reachable IPv4 address on this machine";
    ServerProcess program({"--pairing-qr", file}, false);
    EXPECT_EQ(program.wait(20000), 1);
    EXPECT_NE(program.output().find("cannot write " + file), std::string::npos) << program.output();
    EXPECT_FALSE(FileExists(file));
}
