#include "NetResult.h"

const char* NetResultName(int result)
{
    switch (result) {
    case NR_OK: return "NR_OK";
    case NR_SocketError: return "NR_SocketError";
    case NR_BindError: return "NR_BindError";
    case NR_ListenError: return "NR_ListenError";
    case NR_ConnectError: return "NR_ConnectError";
    case NR_RecvHeadError: return "NR_RecvHeadError";
    case NR_RecvBodyError: return "NR_RecvBodyError";
    case NR_SendError: return "NR_SendError";
    case NR_SendHeadError: return "NR_SendHeadError";
    case NR_SendBodyError: return "NR_SendBodyError";
    case NR_RecvResponseError: return "NR_RecvResponseError";
    case NR_UDPSocketError: return "NR_UDPSocketError";
    case NR_UDPBindError: return "NR_UDPBindError";
    case NR_BroadcastError: return "NR_BroadcastError";
    case NR_FileUnavailable: return "NR_FileUnavailable";
    default: return "NR_Unknown";
    }
}
