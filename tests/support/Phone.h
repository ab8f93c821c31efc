#pragma once

#include "MyClient.h"
#include "SCommon.h"

#include <functional>
#include <string>
#include <vector>

class QImage;

// The phone app's side of a server program on loopback: one request per
// connection, and one live channel kept open for the phone's messages.
class Phone {
public:
    // A live message; a field left empty is dropped on the wire, so the
    // text is never empty.
    struct Live {
        MsgType type;
        const char* text = "0";
        float x = 0, y = 0;
    };

    explicit Phone(int port);

    // The reply to one request, as text (empty when none came).
    std::string request(const std::string& head, const std::string& body = {}) const;
    // The messages on the live channel, in order.
    void send(const std::vector<Live>& messages);
    // The screenshot the server answers with, decoded.
    QImage screenshot() const;

private:
    int port;
    MyClient live;
};

// Polls done() until it holds; false when it still does not after timeoutMs.
bool Eventually(const std::function<bool()>& done, int timeoutMs = 5000);
