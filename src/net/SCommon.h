#pragma once

#include <cstddef>
#include <cstdint>
#include <netinet/in.h>
#include <string>
#include <string_view>
#include <vector>

// Types and functions shared by the service, the client and discovery.

// Type of a live control message (first field of the 256-byte record).
enum MsgType : int {
    MsgType_LeftAction = 0,
    MsgType_LeftDouble = 1,
    MsgType_LeftTriple = 2,
    MsgType_RightAction = 3,
    MsgType_None = 4,
    MsgType_Move = 5,
    MsgType_Drag = 6,
    MsgType_Scroll = 7,
    MsgType_Text = 8,
    MsgType_Return = 9,
    MsgType_Delete = 10,
    MsgType_Up = 11,
    MsgType_Down = 12,
    MsgType_Left = 13,
    MsgType_Right = 14,
    MsgType_Space = 15,
    MsgType_MusicPlayPause = 16,
    MsgType_MusicVolumeUp = 17,
    MsgType_MusicVolumeDown = 18,
    MsgType_MusicPrevious = 19,
    MsgType_MusicNext = 20,
    MsgType_LightOn = 21,
    MsgType_LightOff = 22,
    MsgType_LightSwitch = 23,
    MsgType_LightMove = 24,
};

// Kind of system a peer runs; this host is a desktop (2).
enum SysType : int {
    SysType_Phone = 1,
    SysType_Desktop = 2,
    SysType_Windows = 3,
    SysType_Android = 4,
};

// Discovery message type.
enum UDPMsgType : int {
    UDPMsg_Query = 0,
    UDPMsg_Answer = 1,
    UDPMsg_Leaving = 2,
};

// Cuts text at every occurrence of sep and drops empty pieces, so an empty
// field moves the following ones forward.
std::vector<std::string> split(const std::string& text, const std::string& sep);

// A real field of a message or body, read with the C atof rules and
// narrowed to float; a value beyond the float range becomes the largest
// float of its sign (converting it as it stands would be undefined).
float realField(const std::string& field);

// Length of the regular file at path, or -1 when it cannot be opened as one.
long long getFileSize(const char* path);

// Finds the first free name for an upload (name, name_1.ext, name_2.ext, ...)
// and reserves it by creating it exclusively, so that two uploads never pick
// the same file. Writes the path (at most outSize - 1 characters) into out and
// returns the descriptor of the new empty file, or -1 when the folder cannot
// take a new file, the path would be too long, or the name has no usable part.
int getNewPath(char* out, std::size_t outSize, const char* dir, const char* name, const char* sep);

// Creates the folder at path and every missing folder above it
// (std::filesystem::create_directories, mode 0777 before the umask). True
// when the path is a folder afterwards, whether it was made now or existed
// already.
bool createFolders(const std::string& path);

// The 15-character id of this process, made once from a random source.
const char* getUUID();

// Whether the path ends in the application extension of the system type
// (1 ipa, 2 app, 3 exe, 4 apk).
bool isApp(const char* path, SysType type);

// A new 257-byte live message: "type^_7text^_7x^_7y" with two decimals,
// a single blank for a null text. The caller deletes it with delete[].
char* GetMsgBuf(MsgType type, const char* str, float x, float y);

// Whether an IPv4 address (host byte order) belongs to the local network:
// loopback, private (RFC 1918), link-local or shared (100.64/10) ranges.
bool isLanAddress(std::uint32_t hostOrderAddress);

// The address rule of every service (TCP requests and discovery): with
// lanOnly set, only peers at local network addresses are served.
bool servesPeer(const sockaddr_in& peer, bool lanOnly);

// File names and paths on the wire. A Linux name is any bytes, but the
// phone reads replies as UTF-8 and loses a whole listing over one bad byte.
// A name that is valid UTF-8 is sent as it is. In any other, every byte that
// is not part of a valid character goes as the character U+EF00 + byte
// (U+EF80 to U+EFFF, private use), and so does every byte of a character of
// that range the name itself holds, so that localPath undoes it exactly and
// the file can still be fetched by the name the phone was given.
std::string wirePath(std::string_view bytes);
// A path from the phone: each character U+EF80 to U+EFFF becomes the byte
// it stands for; everything else stays as it is.
std::string localPath(std::string_view text);

// Makes the calling thread use the normal time-sharing policy. A thread
// inherits the policy of the thread that starts it, and a live channel's
// thread runs at real-time priority while the channel lasts; helpers it
// starts must not.
void useNormalScheduling();

// The host name, at most 127 bytes; empty when it cannot be read.
std::string hostName();
