#pragma once

#include <cstddef>

// Fixed values of the wire protocol and the service limits.
namespace SConfig {

constexpr int kServicePort = 1811;          // TCP requests and live channels
constexpr int kDiscoveryPort = 1822;        // UDP discovery datagrams
constexpr const char* kBroadcastAddress = "255.255.255.255";
constexpr int kListenBacklog = 100;
constexpr long kConnectTimeoutSeconds = 10;

constexpr long kSizePacketLen = 64;         // decimal length, zero padded
constexpr long kPayloadChunk = 40960;       // request, reply and upload chunks
constexpr long kLiveMsgLen = 256;           // one live control message
constexpr long kDatagramLen = 256;          // one discovery datagram
constexpr std::size_t kUploadPathMax = 1023; // longest upload target path

// Limits that protect the service from hostile or broken peers.
constexpr long long kMaxPayload = 64LL * 1024 * 1024; // head/body length cap
constexpr int kRequestIdleSeconds = 30;     // silence allowed while reading head/body
constexpr int kUploadIdleSeconds = 60;      // silence allowed while receiving an upload
constexpr int kMaxConnections = 1024;       // concurrent connections

constexpr const char* kFieldSep = "^_7";     // between fields; ends list records
constexpr const char* kRecordSep = "^%_";    // between fields inside one record
constexpr const char* kSectionEnd = "_^_7";  // ends the file section of a reply

constexpr const char* kHeadKeepAlive = "keep_alive";
constexpr const char* kHeadUpload = "upload";

// The operation heads, in the order the dispatcher compares them, with the
// body each takes (fields joined by "^_7"): the one list that the dispatcher
// and the client tool's help share.
struct OperationHead {
    const char* head;
    const char* body;
};
constexpr OperationHead kOperationHeads[] = {
    {"OpKey_GetDeviceInfo", ""},
    {"OpKey_GetFileList", "FOLDER"},
    {"OpKey_GetFileIcon", "FILE"},
    {"OpKey_GetFile", "FILE, or backup_contact"},
    {"OpKey_ScreenShot", ""},
    {"OpKey_GetAppList", ""},
    {"OpKey_OpenApp", "/Applications/ENTRY.app"},
    {"OpKey_CloseApp", "/Applications/ENTRY.app"},
    {"OpKey_ActivityApp", "/Applications/ENTRY.app"},
    {"OpKey_SafeExitApp", "/Applications/ENTRY.app"},
    {"OpKey_WriteStr", "TEXT"},
    {"OpKey_WriteKeyCode", "KEYCODE"},
    {"OpKey_Command", "COMMAND"},
    {"OpKey_ScanConnect", ""},
    {"OpKey_PPTExec", "COMMAND"},
    {"OpKey_WindowExec", "COMMAND"},
    {"OpKey_OpenURL", "URL"},
    {"OpKey_WriteKeyCode2", "KEYCODE^_7SELECTOR"},
    {"OpKey_CreateFloder", "FOLDER"},
    {"OpKey_Shell", "SCRIPT"},
    {"OpKey_LightColor", "COLOUR^_7ALPHA^_7SHOW"},
    {"OpKey_LightSize", "WIDTH^_7HEIGHT^_7SHOW"},
    {"OpKey_GetChipBoardData", ""},
    {"OpKey_GetRichChipBoardData", ""},
    {"OpKey_TimeSchedule", "COMMAND^_7TYPE^_7SECONDS"},
    {"OpKey_GetTimeSchedule", ""},
    {"OpKey_SyncWorkConfig", "ID^_7TOKEN^_7URL^_7AUTHORIZATION"},
    {"OpKey_SyncWork", "0 or 1"},
    {"OpKey_HotKey", "KEYCODE^_7MODIFIERS"},
    {"OpKey_Input", "COMMAND^_7TEXT"},
};

} // namespace SConfig
