#include "SService.h"

#include "MyServiceOp.h"

SService::~SService()
{
    Shutdown();
}

void SService::ProcessConn(ProcessParam* param)
{
    TCPServiceSocket::ProcessConn(param);
    MyServiceOp op(param->sock);
    op.limits = RequestLimits();
    op.ProcessConn();
}
