#include "ClientTool.h"

#include "CData.h"
#include "MyClient.h"
#include "NetResult.h"
#include "SCommon.h"
#include "SConfig.h"
#include "SDiscover.h"
#include "SFileRequest.h"
#include "SUpload.h"

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

bool ReadNumber(const std::string& text, long low, long high, long& value)
{
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == 0 && value >= low && value <= high;
}

std::string BaseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Every exit status with what it means: the table of the help, and the
// words of a failure.
const struct {
    int status;
    const char* meaning;
} kExitStatuses[] = {
    {0, "success"},
    {1, "the client could not set up its output"},
    {2, "wrong usage"},
    {NR_ConnectError, "no connection to the service"},
    {NR_SendError, "an upload or live message could not be sent, or the service refused the upload"},
    {NR_SendHeadError, "the request head could not be sent"},
    {NR_SendBodyError, "the request body could not be sent"},
    {NR_RecvResponseError, "the reply did not arrive whole"},
    {NR_UDPSocketError, "no socket for discovery"},
    {NR_UDPBindError, "the discovery port could not be taken"},
    {NR_BroadcastError, "the discovery query could not be sent"},
    {NR_FileUnavailable, "the service cannot open the file the reply should carry"},
};

} // namespace

ClientTool::ClientTool(std::istream& input, std::FILE* output, std::FILE* errors)
    : in(input), out(output), err(errors)
{
}

std::string ClientTool::Usage()
{
    std::string text =
        "Usage: corvane-client [--host H] [--port P] [--timeout S] [--verbose] COMMAND\n"
        "A peer of the Corvane service (default 127.0.0.1, port 1811, 10 s to connect).\n"
        "\n"
        "Commands:\n"
        "  request HEAD [BODY]           send one request; the reply goes to standard output\n"
        "  upload FILE FOLDER [--contact] send FILE into FOLDER (or as the contact backup)\n"
        "  live                          send each input line \"TYPE TEXT X Y\" as a live message\n"
        "  discover [--broadcast ADDR] [--udp-port N] [--wait S]\n"
        "                                search the network and print \"type name ip sysType\"\n"
        "\n"
        "Options:\n"
        "  --verbose                     also print the protocol classes' own log lines\n"
        "  --help                        print this help and exit\n"
        "\n"
        "Request heads (BODY fields are joined by ^_7):\n";
    char line[160];
    for (const SConfig::OperationHead& head : SConfig::kOperationHeads) {
        if (*head.body != 0)
            std::snprintf(line, sizeof line, "  %-27s %s\n", head.head, head.body);
        else
            std::snprintf(line, sizeof line, "  %s\n", head.head);
        text += line;
    }
    text += "\nExit status:\n";
    for (const auto& [status, meaning] : kExitStatuses) {
        if (status > 2)
            std::snprintf(line, sizeof line, "  %-3d %s (%s)\n", status, meaning, NetResultName(status));
        else
            std::snprintf(line, sizeof line, "  %-3d %s\n", status, meaning);
        text += line;
    }
    return text;
}

int ClientTool::Failure(int result, const TCPClientSocket* socket)
{
    const char* meaning = "unknown failure";
    for (const auto& [status, words] : kExitStatuses) {
        if (status == result)
            meaning = words;
    }
    std::string cause;
    if (result == NR_ConnectError && socket != nullptr && socket->connectErrno != 0) {
        cause = " at " + host + ":" + std::to_string(port) + ": " + std::strerror(socket->connectErrno);
        if (socket->connectErrno == ECONNREFUSED)
            cause += ": nothing listens on that port (is corvane running, with this --port?)";
        else if (socket->connectErrno == ETIMEDOUT)
            cause += ": no answer within " + std::to_string(timeout) + " s (see --timeout)";
    }
    std::fprintf(err, "corvane-client: %s%s (%s)\n", meaning, cause.c_str(), NetResultName(result));
    return result;
}

bool ClientTool::Parse(const std::vector<std::string>& args, int& status)
{
    std::size_t i = 0;
    for (; i < args.size(); ++i) {
        long value = 0;
        if (args[i] == "--help" || args[i] == "-h") {
            std::fputs(Usage().c_str(), out);
            status = 0;
            return false;
        }
        if (args[i] == "--verbose") {
            verboseLog = true;
        } else if (args[i] == "--host" && i + 1 < args.size()) {
            host = args[++i];
        } else if (args[i] == "--port" && i + 1 < args.size() && ReadNumber(args[i + 1], 1, 65535, value)) {
            port = static_cast<int>(value);
            ++i;
        } else if (args[i] == "--timeout" && i + 1 < args.size() && ReadNumber(args[i + 1], 0, 86400, value)) {
            timeout = value;
            ++i;
        } else {
            break;
        }
    }
    if (i < args.size()) {
        command = args[i];
        operands.assign(args.begin() + static_cast<long>(i) + 1, args.end());
    }
    const std::size_t n = operands.size();
    const bool valid = (command == "request" && (n == 1 || n == 2)) ||
                       (command == "upload" && (n == 2 || (n == 3 && operands[2] == "--contact"))) ||
                       (command == "live" && n == 0) || command == "discover";
    if (!valid) {
        std::fputs(Usage().c_str(), err);
        status = 2;
        return false;
    }
    return true;
}

int ClientTool::Run()
{
    if (command == "request")
        return Request();
    if (command == "upload")
        return Upload();
    if (command == "live")
        return Live();
    return Discover();
}

int ClientTool::Request()
{
    std::fflush(out);
    SFileRequest request(fileno(out));
    request.SetInfo(host.c_str(), port, timeout);
    const NetResult result =
        request.SendRequestToFile(operands[0].c_str(), operands.size() > 1 ? operands[1].c_str() : "");
    return result == NR_OK ? 0 : Failure(result, &request);
}

int ClientTool::Upload()
{
    SUpload upload;
    upload.SetInfo(host.c_str(), port, timeout);
    CData reply;
    const NetResult result = upload.UploadFile(operands[0].c_str(), operands[1].c_str(),
                                               BaseName(operands[0]).c_str(), operands.size() == 3, &reply);
    if (reply.pData)
        std::fprintf(out, "%s\n", reply.pData);
    return result == NR_OK ? 0 : Failure(result, &upload);
}

int ClientTool::Live()
{
    MyClient client;
    client.SetInfo(host.c_str(), port, timeout);
    const NetResult connected = client.ConnService();
    if (connected != NR_OK)
        return Failure(connected, &client);
    std::string line;
    while (std::getline(in, line)) {
        // TYPE TEXT X Y: the text is everything between the type and the
        // last two words, so it may hold blanks.
        std::vector<std::pair<std::size_t, std::size_t>> words; // start and end of each
        for (std::size_t end = 0;;) {
            const std::size_t start = line.find_first_not_of(" \t", end);
            if (start == std::string::npos)
                break;
            end = std::min(line.find_first_of(" \t", start), line.size());
            words.emplace_back(start, end);
        }
        if (words.size() < 4) {
            std::fprintf(err, "corvane-client: live: expected \"TYPE TEXT X Y\", got: %s\n", line.c_str());
            continue;
        }
        const auto word = [&](std::size_t i) { return line.substr(words[i].first, words[i].second - words[i].first); };
        const std::size_t x = words.size() - 2;
        const std::string text = line.substr(words[1].first, words[x - 1].second - words[1].first);
        char* message = GetMsgBuf(static_cast<MsgType>(std::atoi(word(0).c_str())), text.c_str(), realField(word(x)),
                                  realField(word(x + 1)));
        const NetResult sent = client.SendMsg(message);
        delete[] message;
        if (sent != NR_OK)
            return Failure(sent, &client);
    }
    return 0;
}

int ClientTool::Discover()
{
    const std::vector<std::string>& args = operands;
    std::string broadcast = "255.255.255.255";
    long udpPort = 1822;
    long waitSeconds = 2;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--broadcast" && hasValue) {
            broadcast = args[++i];
        } else if (args[i] == "--udp-port" && hasValue && ReadNumber(args[i + 1], 1, 65535, udpPort)) {
            ++i;
        } else if (args[i] == "--wait" && hasValue && ReadNumber(args[i + 1], 0, 3600, waitSeconds)) {
            ++i;
        } else {
            std::fputs(Usage().c_str(), err);
            return 2;
        }
    }
    std::mutex outputMutex;
    SDiscover probe([this, &outputMutex](UDPMsgType type, const std::string& name, const std::string& ip, SysType sysType) {
        std::lock_guard lock(outputMutex);
        std::fprintf(out, "%d %s %s %d\n", static_cast<int>(type), name.c_str(), ip.c_str(), static_cast<int>(sysType));
        std::fflush(out);
    });
    probe.port = static_cast<int>(udpPort);
    std::snprintf(probe.broadcastIp, sizeof probe.broadcastIp, "%s", broadcast.c_str());
    const NetResult started = probe.Start();
    if (started != NR_OK)
        return Failure(started);
    const NetResult sent = probe.SendBoardcast(UDPMsg_Query);
    if (sent != NR_OK)
        return Failure(sent);
    std::this_thread::sleep_for(std::chrono::seconds(waitSeconds));
    probe.Stop();
    return 0;
}
