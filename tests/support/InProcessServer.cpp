#include "InProcessServer.h"

#include "CData.h"
#include "DesktopModule.h"
#include "FreePort.h"
#include "SRequest.h"
#include "SService.h"

#include <stdexcept>

InProcessServer::InProcessServer() : tcpPort(0), server(std::make_unique<SService>())
{
    // The desktop module is linked into the program rather than loaded.
    DesktopModule::setInstance(corvane_desktop_module());
    for (int attempt = 0; attempt < 5; ++attempt) {
        tcpPort = FreePort::tcp();
        server->port = tcpPort;
        if (server->Start() == NR_OK)
            return;
    }
    throw std::runtime_error("no free port for the test server");
}

InProcessServer::~InProcessServer() = default;

InProcessServer::Reply InProcessServer::request(const std::string& head, const std::string& body) const
{
    SRequest client;
    client.SetInfo("127.0.0.1", tcpPort, 5);
    CData headData;
    CData bodyData;
    headData.SetData(head.data(), static_cast<long long>(head.size()));
    bodyData.SetData(body.data(), static_cast<long long>(body.size()));
    CData reply;
    const NetResult result = client.SendRequestByCData(&headData, &bodyData, &reply);
    return {result, std::string(reply.Text())};
}
