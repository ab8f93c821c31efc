#include "MyClient.h"

#include "CData.h"
#include "SConfig.h"

NetResult MyClient::ConnService()
{
    NetResult result = TCPClientSocket::ConnService();
    if (result != NR_OK)
        return result;
    CData head;
    CData body;
    head.SetData(SConfig::kHeadKeepAlive);
    result = SendHead(&head);
    if (result == NR_OK)
        result = SendBody(&body);
    return result;
}

NetResult MyClient::SendMsg(char* msg)
{
    return SendFromBuf(sock, msg, SConfig::kLiveMsgLen, SConfig::kLiveMsgLen, 0) ? NR_OK : NR_SendError;
}
