#include "ChildProcess.h"
#include "HostAddresses.h"
#include "NetworkNamespaces.h"
#include "ServerProcess.h"
#include "TempDir.h"
#include "ZbarDecoder.h"

#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// Runs corvane --pairing-qr in a fresh network namespace whose loopback
// interface carries the given addresses (in that order) besides 127.0.0.1.
ChildProcess::Result PairingQrInNamespace(const std::vector<std::string>& addresses, const std::string& file)
{
    std::string script = "ip link set lo up";
    for (const std::string& address : addresses)
        script += " && ip addr add " + address + " dev lo";
    script += " && exec \"$0\" --pairing-qr \"$1\"";
    return ChildProcess::Run({"unshare", "-n", "sh", "-c", script, CORVANE_SERVER_EXE, file});
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
        EXPECT_FALSE(std::filesystem::exists(file));
        return;
    }
    ASSERT_EQ(status, 0) << program.output();
    // Nothing else ran: no service started, nothing printed.
    EXPECT_EQ(program.output(), "");
    EXPECT_EQ(ReadPairingPng(file), payload);
}

TEST(PairingQr, EveryQualifyingAddressInTheSystemOrder)
{
    CORVANE_REQUIRE_NAMESPACES();
    TempDir dir;
    const std::string file = dir.file("pairing.png");
    const ChildProcess::Result result =
        PairingQrInNamespace({"10.1.2.3/24", "127.0.0.2/8", "fd00::5/64", "192.168.1.20/24"}, file);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(ReadPairingPng(file), "10.1.2.3^_7192.168.1.20^_7");

    const std::string single = dir.file("single.png");
    const ChildProcess::Result one = PairingQrInNamespace({"172.20.30.40/16"}, single);
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(ReadPairingPng(single), "172.20.30.40^_7");
}

TEST(PairingQr, NoQualifyingAddressExitsWithAMessage)
{
    CORVANE_REQUIRE_NAMESPACES();
    TempDir dir;
    const std::string file = dir.file("pairing.png");
    // Only loopback and IPv6.
    const ChildProcess::Result result = PairingQrInNamespace({"127.0.0.2/8", "fd00::5/64"}, file);
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("no IPv4 address a phone can reach"), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(file));
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
    EXPECT_FALSE(std::filesystem::exists(file));
}
