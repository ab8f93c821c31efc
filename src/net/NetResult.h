#pragma once

// Result codes of the connection service, the client and discovery.
// The numbers travel in logs and the client tool's exit status; keep them.
enum NetResult : int {
    NR_OK = 1,
    NR_SocketError = 3,
    NR_BindError = 4,
    NR_ListenError = 5,
    NR_ConnectError = 6,
    NR_RecvHeadError = 7,
    NR_RecvBodyError = 8,
    NR_SendError = 9,
    NR_SendHeadError = 10,
    NR_SendBodyError = 11,
    NR_RecvResponseError = 12,
    NR_UDPSocketError = 13,
    NR_UDPBindError = 14,
    NR_BroadcastError = 15,
    NR_FileUnavailable = 17,
};

// The symbolic name of a result code, for messages ("NR_ConnectError").
const char* NetResultName(int result);
