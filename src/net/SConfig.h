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
constexpr long long kMaxPayload = 64LL * 1024 * 1024; // body length cap
constexpr long long kMaxHead = 256;         // head length cap: heads are operation names
constexpr long long kFirstBodyStep = 64 * 1024;       // body memory before its bytes arrive
constexpr long long kLargeBody = 1024 * 1024;         // bodies above this draw on the budget
constexpr long long kBodyBudget = 256LL * 1024 * 1024; // large bodies in flight together
constexpr int kRequestIdleSeconds = 30;     // time for head and body (plus the rate allowance)
constexpr long long kMinBodyRate = 64 * 1024; // bytes/s a long body is allowed at least
constexpr int kUploadIdleSeconds = 60;      // silence allowed while receiving an upload
constexpr int kMaxConnections = 1024;       // concurrent connections
constexpr int kMaxConnectionsPerAddress = 64; // concurrent connections of one peer address
constexpr int kDiscoveryAnswerBurst = 8;    // discovery answers sent back to back at most
constexpr int kDiscoveryAnswersPerSecond = 4; // and on average beyond that

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
    // Whether the log may show the body's text: only bodies that are paths
    // or numbers. Typed text, texts for the input window, scripts, addresses
    // that may carry tokens and the push credentials are logged by length.
    bool bodyShownInLog;
};
constexpr OperationHead kOperationHeads[] = {
    {"OpKey_GetDeviceInfo", "", true},
    {"OpKey_GetFileList", "FOLDER", true},
    {"OpKey_GetFileIcon", "FILE", true},
    {"OpKey_GetFile", "FILE, or backup_contact", true},
    {"OpKey_ScreenShot", "", true},
    {"OpKey_GetAppList", "", true},
    {"OpKey_OpenApp", "/Applications/ENTRY.app", true},
    {"OpKey_CloseApp", "/Applications/ENTRY.app", true},
    {"OpKey_ActivityApp", "/Applications/ENTRY.app", true},
    {"OpKey_SafeExitApp", "/Applications/ENTRY.app", true},
    {"OpKey_WriteStr", "TEXT", false},
    {"OpKey_WriteKeyCode", "KEYCODE", true},
    {"OpKey_Command", "COMMAND", true},
    {"OpKey_ScanConnect", "", true},
    {"OpKey_PPTExec", "COMMAND", true},
    {"OpKey_WindowExec", "COMMAND", true},
    {"OpKey_OpenURL", "URL", false},
    {"OpKey_WriteKeyCode2", "KEYCODE^_7SELECTOR", true},
    {"OpKey_CreateFloder", "FOLDER", true},
    {"OpKey_Shell", "SCRIPT", false},
    {"OpKey_LightColor", "COLOUR^_7ALPHA^_7SHOW", true},
    {"OpKey_LightSize", "WIDTH^_7HEIGHT^_7SHOW", true},
    {"OpKey_GetChipBoardData", "", true},
    {"OpKey_GetRichChipBoardData", "", true},
    {"OpKey_TimeSchedule", "COMMAND^_7TYPE^_7SECONDS", true},
    {"OpKey_GetTimeSchedule", "", true},
    {"OpKey_SyncWorkConfig", "ID^_7TOKEN^_7URL^_7AUTHORIZATION", false},
    {"OpKey_SyncWork", "0 or 1", true},
    {"OpKey_HotKey", "KEYCODE^_7MODIFIERS", true},
    {"OpKey_Input", "COMMAND^_7TEXT", false},
};

} // namespace SConfig
