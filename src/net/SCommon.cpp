#include "SCommon.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <pthread.h>
#include <random>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

std::vector<std::string> split(const std::string& text, const std::string& sep)
{
    std::vector<std::string> pieces;
    if (sep.empty()) {
        if (!text.empty())
            pieces.push_back(text);
        return pieces;
    }
    std::size_t position = 0;
    while (position < text.size()) {
        std::size_t found = text.find(sep, position);
        if (found == std::string::npos)
            found = text.size();
        if (found > position)
            pieces.emplace_back(text, position, found - position);
        position = found + sep.size();
    }
    return pieces;
}

float realField(const std::string& field)
{
    const double value = std::atof(field.c_str());
    if (value > std::numeric_limits<float>::max())
        return std::numeric_limits<float>::max();
    if (value < -std::numeric_limits<float>::max())
        return -std::numeric_limits<float>::max();
    return static_cast<float>(value);
}

long long getFileSize(const char* path)
{
    if (path == nullptr)
        return -1;
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC); // a pipe must not block
    if (fd < 0)
        return -1;
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return regular ? static_cast<long long>(st.st_size) : -1;
}

int getNewPath(char* out, std::size_t outSize, const char* dir, const char* name, const char* sep)
{
    if (out == nullptr || outSize == 0 || dir == nullptr || name == nullptr || sep == nullptr)
        return -1;
    out[0] = 0;
    const std::vector<std::string> pieces = split(name, ".");
    if (pieces.empty())
        return -1; // empty, or dots only: no base name to number
    const std::string& base = pieces.front();
    const std::string ext = pieces.size() >= 2 ? pieces.back() : std::string();

    for (long i = 0;; ++i) {
        int written;
        if (i == 0)
            written = std::snprintf(out, outSize, "%s%s%s", dir, sep, name);
        else if (!ext.empty())
            written = std::snprintf(out, outSize, "%s%s%s_%ld.%s", dir, sep, base.c_str(), i, ext.c_str());
        else
            written = std::snprintf(out, outSize, "%s%s%s_%ld", dir, sep, base.c_str(), i);
        if (written < 0 || static_cast<std::size_t>(written) >= outSize) {
            out[0] = 0;
            return -1;
        }
        const int fd = ::open(out, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST) {
            out[0] = 0;
            return -1;
        }
    }
}

bool createFolders(const std::string& path)
{
    std::error_code error;
    std::filesystem::create_directories(path, error);
    return !path.empty() && std::filesystem::is_directory(path, error);
}

const char* getUUID()
{
    static const std::string pUUID = [] {
        std::random_device source;
        std::uniform_int_distribution<int> kind(0, 2), letter(0, 25), digit(0, 9);
        std::string id;
        for (int i = 0; i < 15; ++i) {
            switch (kind(source)) {
            case 0: id += static_cast<char>('A' + letter(source)); break;
            case 1: id += static_cast<char>('a' + letter(source)); break;
            default: id += static_cast<char>('0' + digit(source)); break;
            }
        }
        return id;
    }();
    return pUUID.c_str();
}

bool isApp(const char* path, SysType type)
{
    if (path == nullptr)
        return false;
    const std::vector<std::string> pieces = split(path, ".");
    if (pieces.size() < 2)
        return false;
    const std::string& ext = pieces.back();
    switch (type) {
    case SysType_Phone: return ext == "ipa";
    case SysType_Desktop: return ext == "app";
    case SysType_Windows: return ext == "exe";
    case SysType_Android: return ext == "apk";
    }
    return false;
}

char* GetMsgBuf(MsgType type, const char* str, float x, float y)
{
    char* buffer = new char[257]();
    std::snprintf(buffer, 257, "%d%s%s%s%.2f%s%.2f", static_cast<int>(type), "^_7", str ? str : " ", "^_7",
                  static_cast<double>(x), "^_7", static_cast<double>(y));
    return buffer;
}

bool isLanAddress(std::uint32_t a)
{
    return (a >> 24) == 127                   // loopback
        || (a >> 24) == 10                    // 10.0.0.0/8
        || (a >> 20) == ((172u << 4) | 1u)    // 172.16.0.0/12
        || (a >> 16) == ((192u << 8) | 168u)  // 192.168.0.0/16
        || (a >> 16) == ((169u << 8) | 254u)  // link-local 169.254.0.0/16
        || (a >> 22) == ((100u << 2) | 1u);   // shared 100.64.0.0/10
}

bool servesPeer(const sockaddr_in& peer, bool lanOnly)
{
    return !lanOnly || (peer.sin_family == AF_INET && isLanAddress(ntohl(peer.sin_addr.s_addr)));
}

namespace {

// The length of the valid UTF-8 character at the start of bytes (shortest
// form, no surrogates, at most U+10FFFF), or 0; its code point in cp.
std::size_t Utf8Character(std::string_view bytes, char32_t& cp)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(0);
    std::size_t length;
    char32_t least;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, least = 0x80, cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, least = 0x800, cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, least = 0x10000, cp = lead & 0x07;
    } else {
        return 0;
    }
    if (bytes.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i) & 0x3F);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return length;
}

constexpr char32_t kByteCharacters = 0xEF00; // U+EF80..U+EFFF stand for bytes 0x80..0xFF

bool StandsForByte(char32_t cp)
{
    return cp >= kByteCharacters + 0x80 && cp <= kByteCharacters + 0xFF;
}

void AppendUtf8(std::string& out, char32_t cp) // cp < 0x10000 here
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

std::string wirePath(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t cp = 0;
        const std::size_t length = Utf8Character(bytes.substr(i), cp);
        if (length > 0 && !StandsForByte(cp)) {
            out.append(bytes, i, length);
            i += length;
            continue;
        }
        // One byte at a time, also through a character of the escape range.
        for (const std::size_t end = i + std::max<std::size_t>(length, 1); i < end; ++i)
            AppendUtf8(out, kByteCharacters + static_cast<unsigned char>(bytes[i]));
    }
    return out;
}

std::string localPath(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const std::size_t length = Utf8Character(text.substr(i), cp);
        if (length > 0 && StandsForByte(cp)) {
            out += static_cast<char>(cp - kByteCharacters);
            i += length;
        } else {
            out += text[i++];
        }
    }
    return out;
}

void useNormalScheduling()
{
    const sched_param normal{};
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &normal);
}

std::string hostName()
{
    char name[128] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    name[sizeof name - 1] = 0;
    return name;
}
