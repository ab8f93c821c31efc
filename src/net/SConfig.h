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

} // namespace SConfig
