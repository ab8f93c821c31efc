#include "ClientTool.h"

#include "CData.h"
#include "MyClient.h"
#include "NetResult.h"
#include "SCommon.h"
#include "SDiscover.h"
#include "SFileRequest.h"
#include "SUpload.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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

} // namespace

ClientTool::ClientTool(std::istream& input, std::FILE* output, std::ostream& errors)
    : in(input), out(output), err(errors)
{
}

const char* ClientTool::Usage()
{
    return "Usage: corvane-client [--host H] [--port P] [--timeout S] COMMAND\n"
           "\n"
           "  request HEAD [BODY]           send one request; the reply goes to standard output\n"
           "  upload FILE FOLDER [--contact] send FILE into FOLDER (or as the contact backup)\n"
           "  live                          send each input line \"TYPE TEXT X Y\" as a live message\n"
           "  discover [--broadcast ADDR] [--udp-port N] [--wait S]\n"
           "                                search the network and print \"type name ip sysType\"\n";
}

int ClientTool::Failure(int result)
{
    err << NetResultName(result) << "\n";
    return result;
}

int ClientTool::Run(const std::vector<std::string>& args)
{
    std::size_t i = 0;
    for (; i < args.size(); ++i) {
        long value = 0;
        if (args[i] == "--host" && i + 1 < args.size()) {
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
    if (i >= args.size()) {
        err << Usage();
        return 2;
    }
    const std::string command = args[i];
    const std::vector<std::string> rest(args.begin() + static_cast<long>(i) + 1, args.end());
    if (command == "request" && (rest.size() == 1 || rest.size() == 2))
        return Request(rest);
    if (command == "upload" && (rest.size() == 2 || (rest.size() == 3 && rest[2] == "--contact")))
        return Upload(rest);
    if (command == "live" && rest.empty())
        return Live();
    if (command == "discover")
        return Discover(rest);
    err << Usage();
    return 2;
}

int ClientTool::Request(const std::vector<std::string>& args)
{
    std::fflush(out);
    SFileRequest request(fileno(out));
    request.SetInfo(host.c_str(), port, timeout);
    const NetResult result = request.SendRequestToFile(args[0].c_str(), args.size() > 1 ? args[1].c_str() : "");
    return result == NR_OK ? 0 : Failure(result);
}

int ClientTool::Upload(const std::vector<std::string>& args)
{
    SUpload upload;
    upload.SetInfo(host.c_str(), port, timeout);
    CData reply;
    const NetResult result =
        upload.UploadFile(args[0].c_str(), args[1].c_str(), BaseName(args[0]).c_str(), args.size() == 3, &reply);
    if (reply.pData)
        std::fprintf(out, "%s\n", reply.pData);
    return result == NR_OK ? 0 : Failure(result);
}

int ClientTool::Live()
{
    MyClient client;
    client.SetInfo(host.c_str(), port, timeout);
    const NetResult connected = client.ConnService();
    if (connected != NR_OK)
        return Failure(connected);
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
            err << "live: expected \"TYPE TEXT X Y\", got: " << line << "\n";
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
            return Failure(sent);
    }
    return 0;
}

int ClientTool::Discover(const std::vector<std::string>& args)
{
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
            err << Usage();
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
