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
// words of a failure (translated where they are shown).
const struct {
    int status;
    const char* meaning;
} kExitStatuses[] = {
    {0, QT_TRANSLATE_NOOP("ClientTool", "success")},
    {1, QT_TRANSLATE_NOOP("ClientTool", "the client could not set up its output")},
    {2, QT_TRANSLATE_NOOP("ClientTool", "wrong usage")},
    {NR_ConnectError, QT_TRANSLATE_NOOP("ClientTool", "no connection to the service")},
    {NR_SendError, QT_TRANSLATE_NOOP("ClientTool", "an upload or live message could not be sent, or the service "
                                                   "refused the upload")},
    {NR_SendHeadError, QT_TRANSLATE_NOOP("ClientTool", "the request head could not be sent")},
    {NR_SendBodyError, QT_TRANSLATE_NOOP("ClientTool", "the request body could not be sent")},
    {NR_RecvResponseError, QT_TRANSLATE_NOOP("ClientTool", "the reply did not arrive whole")},
    {NR_UDPSocketError, QT_TRANSLATE_NOOP("ClientTool", "no socket for discovery")},
    {NR_UDPBindError, QT_TRANSLATE_NOOP("ClientTool", "the discovery port could not be taken")},
    {NR_BroadcastError, QT_TRANSLATE_NOOP("ClientTool", "the discovery query could not be sent")},
    {NR_FileUnavailable, QT_TRANSLATE_NOOP("ClientTool", "the service cannot open the file the reply should carry")},
};

// A command or option with what it does, lined up as a help column.
QString HelpLine(const char* what, const char* description)
{
    constexpr int kColumn = 29;
    return QLatin1String("  ") + QString::fromLatin1(what).leftJustified(kColumn) + QLatin1Char(' ') +
           ClientTool::tr(description) + QLatin1Char('\n');
}

} // namespace

ClientTool::ClientTool(std::istream& input, std::FILE* output, std::FILE* errors)
    : in(input), out(output), err(errors)
{
}

std::string ClientTool::Usage()
{
    QString text = tr("Usage: corvane-client [--host H] [--port P] [--timeout S] [--verbose] COMMAND") +
                   QLatin1Char('\n') +
                   tr("A peer of the Corvane service (default 127.0.0.1, port 1811, 10 s to connect).") +
                   QLatin1String("\n\n") + tr("Commands:") + QLatin1Char('\n') +
                   HelpLine("request HEAD [BODY]", QT_TR_NOOP("send one request; the reply goes to standard output")) +
                   HelpLine("upload FILE FOLDER [--contact]",
                            QT_TR_NOOP("send FILE into FOLDER (or as the contact backup)")) +
                   HelpLine("live", QT_TR_NOOP("send each input line \"TYPE TEXT X Y\" as a live message")) +
                   QLatin1String("  discover [--broadcast ADDR] [--udp-port N] [--wait S]\n") +
                   HelpLine("", QT_TR_NOOP("search the network and print \"type name ip sysType\"")) +
                   QLatin1Char('\n') + tr("Options:") + QLatin1Char('\n') +
                   HelpLine("--verbose", QT_TR_NOOP("also print the protocol classes' own log lines")) +
                   HelpLine("--help", QT_TR_NOOP("print this help and exit")) + QLatin1Char('\n') +
                   tr("Request heads (BODY fields are joined by ^_7):") + QLatin1Char('\n');
    for (const SConfig::OperationHead& head : SConfig::kOperationHeads) {
        const QString name = QString::fromLatin1(head.head);
        const QString body = QString::fromLatin1(head.body);
        text += body.isEmpty() ? QStringLiteral("  %1\n").arg(name)
                               : QStringLiteral("  %1 %2\n").arg(name.leftJustified(27), body);
    }
    text += QLatin1Char('\n') + tr("Exit status:") + QLatin1Char('\n');
    for (const auto& [status, meaning] : kExitStatuses) {
        const QString number = QString::number(status).leftJustified(3);
        text += status <= 2 ? QStringLiteral("  %1 %2\n").arg(number, tr(meaning))
                            : QStringLiteral("  %1 %2 (%3)\n")
                                  .arg(number, tr(meaning), QLatin1String(NetResultName(status)));
    }
    return text.toStdString();
}

int ClientTool::Failure(int result, const TCPClientSocket* socket)
{
    QString words = tr("unknown failure");
    for (const auto& [status, meaning] : kExitStatuses) {
        if (status == result)
            words = tr(meaning);
    }
    if (result == NR_ConnectError && socket != nullptr && socket->connectErrno != 0) {
        words = tr("%1 at %2:%3: %4")
                    .arg(words, QString::fromStdString(host), QString::number(port),
                         QString::fromLocal8Bit(std::strerror(socket->connectErrno)));
        if (socket->connectErrno == ECONNREFUSED)
            words = tr("%1: nothing listens on that port (is corvane running, with this --port?)").arg(words);
        else if (socket->connectErrno == ETIMEDOUT)
            words = tr("%1: no answer within %2 s (see --timeout)").arg(words, QString::number(timeout));
    }
    std::fprintf(err, "corvane-client: %s (%s)\n", words.toUtf8().constData(), NetResultName(result));
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
            const QString message = tr("live: expected \"TYPE TEXT X Y\", got: %1").arg(QString::fromStdString(line));
            std::fprintf(err, "corvane-client: %s\n", message.toUtf8().constData());
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
