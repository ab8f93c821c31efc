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

} // namespace SConfig
