// The upload exchange, into a sandbox folder. An input is: a flags byte, a
// name length and the name, then the file's bytes. The flags say whether
// the contact flag is sent, and whether the announced length is the bytes'
// own, more than them (a transfer cut short), negative, or 64 raw bytes
// taken from the input. Checks that "1" comes only for a complete transfer
// and leaves exactly one new file holding exactly the announced bytes, and
// that "0" leaves nothing behind.
#include "FuzzCheck.h"
#include "MyServiceOp.h"
#include "SConfig.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string home; // the sandbox: uploads go here, the contact backup below it

std::string Framed(const std::string& payload)
{
    std::string packet(64, '\0');
    std::snprintf(packet.data(), 65, "%zu", payload.size());
    return packet + payload;
}

// The regular files under the sandbox, whatever their names.
std::vector<fs::path> Files()
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(home))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    return files;
}

std::string Read(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char root[] = "/tmp/corvane-fuzz-upload-XXXXXX";
    if (::mkdtemp(root) == nullptr)
        std::abort();
    home = root;
    std::atexit([] { fs::remove_all(home); });
    ::setenv("HOME", root, 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2 || size - 2 < data[1] || size > 96 * 1024)
        return 0;
    const unsigned flags = data[0];
    const std::string name(reinterpret_cast<const char*>(data + 2), data[1]);
    if (name.find('/') != std::string::npos || name.find('\0') != std::string::npos)
        return 0; // the sandbox is the folder; a name must not lead out of it
    std::string bytes(reinterpret_cast<const char*>(data + 2 + data[1]), size - 2 - data[1]);

    std::string lengthPacket(64, '\0');
    long long announced = static_cast<long long>(bytes.size());
    switch (flags >> 1 & 3) {
    case 0: break;
    case 1: announced += 1 + (flags >> 3); break; // cut short
    case 2: announced = -1; break;
    case 3: // the size packet as the input has it
        if (bytes.size() < 64)
            return 0;
        lengthPacket = bytes.substr(0, 64);
        bytes.erase(0, 64);
        announced = std::atoll(std::string(lengthPacket.c_str()).c_str());
        break;
    }
    if ((flags >> 1 & 3) != 3)
        std::snprintf(lengthPacket.data(), 65, "%lld", announced);
    const std::string body = home + SConfig::kFieldSep + name + ((flags & 1) ? std::string(SConfig::kFieldSep) + "1" : "");
    const std::string stream = Framed("upload") + Framed(body) + lengthPacket + bytes;

    int ends[2];
    FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0);
    const int buffer = 1 << 20;
    ::setsockopt(ends[0], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    FUZZ_CHECK(::send(ends[0], stream.data(), stream.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(stream.size()));
    ::shutdown(ends[0], SHUT_WR);
    {
        MyServiceOp upload(ends[1]);
        upload.limits.seconds = 1;
        upload.ProcessConn();
    }
    ::shutdown(ends[1], SHUT_WR);
    std::string answer;
    char chunk[4096];
    for (ssize_t got; (got = ::recv(ends[0], chunk, sizeof chunk, 0)) > 0;)
        answer.append(chunk, static_cast<std::size_t>(got));
    ::close(ends[0]);
    ::close(ends[1]);

    // The acknowledgement byte, then the framed one-byte reply: "1" only
    // after an acknowledgement of "1" (which a cut transfer follows with "0").
    FUZZ_CHECK(answer.size() == 1 + 64 + 1 && answer.compare(1, 64, Framed("x"), 0, 64) == 0);
    FUZZ_CHECK((answer[0] == '0' || answer[0] == '1') && (answer[65] == '0' || answer[65] == '1'));
    const bool stored = answer[65] == '1';
    FUZZ_CHECK(!stored || answer[0] == '1');
    const bool complete = announced >= 0 && static_cast<long long>(bytes.size()) >= announced;
    const std::vector<fs::path> files = Files();
    if (stored) {
        FUZZ_CHECK(complete);
        FUZZ_CHECK(files.size() == 1 && Read(files[0]) == bytes.substr(0, static_cast<std::size_t>(announced)));
    } else {
        FUZZ_CHECK(files.empty());
    }
    for (const fs::path& file : files)
        fs::remove(file);
    return 0;
}
