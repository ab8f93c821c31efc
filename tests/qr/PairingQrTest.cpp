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

// Checks the written code: a 300 x 300 opaque image, white except for the
// symbol, with at least four modules of white on every side (the module
// size taken from the top-left finder, seven modules wide), and returns
// what zbar reads from it.
std::string ReadPairingPng(const std::string& path)
{
    QImage image;
    EXPECT_TRUE(image.load(QString::fromStdString(path), "PNG"));
    EXPECT_EQ(image.width(), 300);
    EXPECT_EQ(image.height(), 300);
    image = image.convertToFormat(QImage::Format_RGBA8888);

    int left = 300, top = 300, right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* pixel = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x, pixel += 4) {
            EXPECT_EQ(pixel[3], 255) << "transparent pixel at " << x << ", " << y;
            const bool white = pixel[0] == 255 && pixel[1] == 255 && pixel[2] == 255;
            const bool black = pixel[0] == 0 && pixel[1] == 0 && pixel[2] == 0;
            EXPECT_TRUE(white || black) << "grey pixel at " << x << ", " << y;
            if (black) {
                left = std::min(left, x);
                top = std::min(top, y);
                right = std::max(right, x);
                bottom = std::max(bottom, y);
            }
        }
        if (::testing::Test::HasFailure())
            return {};
    }
    EXPECT_GE(right, left);
    int finder = 0;
    while (left + finder < 300 && image.pixelColor(left + finder, top) == Qt::black)
        ++finder;
    const int module = finder / 7;
    EXPECT_EQ(finder % 7, 0);
    EXPECT_GT(module, 0);
    EXPECT_GE(left, 4 * module);
    EXPECT_GE(top, 4 * module);
    EXPECT_GE(299 - right, 4 * module);
    EXPECT_GE(299 - bottom, 4 * module);

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
