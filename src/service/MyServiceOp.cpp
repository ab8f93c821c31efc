#include "MyServiceOp.h"

#include "AppDelegateHooks.h"
#include "AppEntity.h"
#include "BaseSocket.h"
#include "ClipboardEntity.h"
#include "CommandEntity.h"
#include "DeviceEntity.h"
#include "FileEntity.h"
#include "InputEntity.h"
#include "KeybdEntity.h"
#include "Log.h"
#include "MsgEntity.h"
#include "PPTEntity.h"
#include "SCommon.h"
#include "SConfig.h"
#include "TimeEntity.h"
#include "UserFolders.h"
#include "WindowEntity.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

std::atomic<int> keepAliveCnt{0};

MyServiceOp::MyServiceOp(int connSock) : ServiceProcess(connSock) {}

CData* MyServiceOp::ProcessBussiness(CData* requestHead, CData* requestBody)
{
    AppDelegateHooks* delegate = AppDelegateHooks::current();
    const bool live = HeadIs(*requestHead, SConfig::kHeadKeepAlive);
    if (live) {
        const int count = ++keepAliveCnt;
        if (delegate)
            delegate->setConnectCnt(count);
    }
    CData* reply = ServiceProcess::ProcessBussiness(requestHead, requestBody);
    if (live) {
        const int count = --keepAliveCnt;
        if (delegate)
            delegate->setConnectCnt(count);
    }
    return reply;
}

void MyServiceOp::ProcessLiveMsg(const char* msg)
{
    MsgEntity::ProcessMsg(msg);
}

std::string MyServiceOp::ContactBackupPath()
{
    return UserFolders::documents() + "/Corvane/backup_contact.vcf";
}

// Creates an empty, private temporary file next to target; its path goes to
// tempPath. Returns the descriptor or -1.
static int CreateTempBeside(const std::string& target, std::string& tempPath)
{
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : target.substr(0, slash);
    std::vector<char> pattern(folder.begin(), folder.end());
    const char suffix[] = "/.corvane-upload-XXXXXX";
    pattern.insert(pattern.end(), suffix, suffix + sizeof suffix);
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd >= 0) {
        ::fchmod(fd, 0644);
        tempPath = pattern.data();
    }
    return fd;
}

void MyServiceOp::ProcessUpload(CData*, CData* requestBody, CData* reply)
{
    Log::Printf("MyServiceOp::ProcessUpload\n");
    const std::vector<std::string> fields = split(localPath(requestBody->pData ? requestBody->pData : ""), SConfig::kFieldSep);
    const bool contact = fields.size() > 2 && std::atoi(fields[2].c_str()) != 0;

    // The phone sends the length right after the body without waiting.
    const long long length = ReadSizePacket();

    std::string target;
    bool replaceTarget = false;
    int reservedFd = -1;
    if (fields.size() >= 2 && length >= 0) {
        if (contact) {
            target = ContactBackupPath();
            // A failure here is left to the file creation that follows.
            createFolders(target.substr(0, target.rfind('/')));
            replaceTarget = target.size() <= SConfig::kUploadPathMax;
        } else {
            char path[SConfig::kUploadPathMax + 1];
            reservedFd = getNewPath(path, sizeof path, fields[0].c_str(), fields[1].c_str(), "/");
            if (reservedFd >= 0)
                target = path;
        }
    }
    if (target.empty() || (!replaceTarget && reservedFd < 0)) {
        BaseSocket::SendFromBuf(sock, "0", 1, 1, 0);
        reply->SetData("0");
        return;
    }
    ReceiveUpload(target.c_str(), reservedFd, replaceTarget, length, reply);
}

// Receives the bytes into a temporary file beside the target and moves it
// into place only when all of them arrived; otherwise nothing is left behind
// and the reply is "0".
void MyServiceOp::ReceiveUpload(const char* target, int reservedFd, bool replaceTarget, long long length, CData* reply)
{
    std::string tempPath;
    const int fd = CreateTempBeside(target, tempPath);
    const auto abandon = [&] {
        if (!replaceTarget)
            ::unlink(target); // the reserved, still empty name
        if (reservedFd >= 0)
            ::close(reservedFd);
    };
    if (fd < 0) {
        abandon();
        BaseSocket::SendFromBuf(sock, "0", 1, 1, 0);
        reply->SetData("0");
        return;
    }
    BaseSocket::SendFromBuf(sock, "1", 1, 1, 0);

    const timeval idle{SConfig::kUploadIdleSeconds, 0};
    ::setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &idle, sizeof idle);
    const bool received = ReceiveFileBytes(fd, length);
    const bool closed = ::close(fd) == 0;
    if (!received || !closed || ::rename(tempPath.c_str(), target) != 0) {
        ::unlink(tempPath.c_str());
        abandon();
        reply->SetData("0");
        return;
    }
    if (reservedFd >= 0)
        ::close(reservedFd);
    reply->SetData("1");
}

namespace {

bool WriteAll(int fd, const char* bytes, size_t count)
{
    while (count > 0) {
        const ssize_t written = ::write(fd, bytes, count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}

} // namespace

// Stores the next length bytes of the connection in the file. The kernel
// moves them from the socket into the file through a pipe, without copying
// them through this process; where the file system cannot take spliced data
// they are copied through a buffer instead.
bool MyServiceOp::ReceiveFileBytes(int fd, long long length)
{
    char buffer[SConfig::kPayloadChunk];
    long long remaining = length;
    // Bytes that were read ahead with the request come first.
    const size_t ahead = TakeReadAhead(buffer, static_cast<size_t>(std::min<long long>(remaining, sizeof buffer)));
    if (!WriteAll(fd, buffer, ahead))
        return false;
    remaining -= static_cast<long long>(ahead);

    int pipeFds[2];
    bool splicing = remaining > 0 && ::pipe2(pipeFds, O_CLOEXEC) == 0;
    const bool havePipe = splicing;
    if (havePipe)
        ::fcntl(pipeFds[1], F_SETPIPE_SZ, 1 << 20);
    bool ok = true;
    while (ok && splicing && remaining > 0) {
        const ssize_t got = ::splice(sock, nullptr, pipeFds[1], nullptr,
                                     static_cast<size_t>(std::min<long long>(remaining, 1 << 20)), SPLICE_F_MOVE | SPLICE_F_MORE);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno == EINVAL) {
            splicing = false; // this socket cannot splice: copy instead
            break;
        }
        if (got <= 0) {
            ok = false;
            break;
        }
        for (ssize_t left = got; ok && left > 0;) {
            const ssize_t moved = splicing ? ::splice(pipeFds[0], nullptr, fd, nullptr, static_cast<size_t>(left), SPLICE_F_MOVE)
                                           : ::read(pipeFds[0], buffer, static_cast<size_t>(std::min<ssize_t>(left, sizeof buffer)));
            if (moved < 0 && errno == EINTR)
                continue;
            if (moved < 0 && errno == EINVAL && splicing) {
                splicing = false; // the file system cannot take spliced data
                continue;
            }
            if (moved <= 0) {
                ok = false;
                break;
            }
            if (!splicing)
                ok = WriteAll(fd, buffer, static_cast<size_t>(moved));
            left -= moved;
        }
        remaining -= got;
    }
    if (havePipe) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
    }
    while (ok && remaining > 0) {
        const ssize_t got = ::recv(sock, buffer, static_cast<size_t>(std::min<long long>(remaining, sizeof buffer)), 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        ok = WriteAll(fd, buffer, static_cast<size_t>(got));
        remaining -= got;
    }
    return ok;
}

namespace {

int IntField(const std::string& text)
{
    return std::atoi(text.c_str());
}

// The operations, in the order their names are compared.
enum Operation {
    Op_GetDeviceInfo, Op_GetFileList, Op_GetFileIcon, Op_GetFile, Op_ScreenShot, Op_GetAppList, Op_OpenApp,
    Op_CloseApp, Op_ActivityApp, Op_SafeExitApp, Op_WriteStr, Op_WriteKeyCode, Op_Command, Op_ScanConnect,
    Op_PPTExec, Op_WindowExec, Op_OpenURL, Op_WriteKeyCode2, Op_CreateFloder, Op_Shell, Op_LightColor,
    Op_LightSize, Op_GetChipBoardData, Op_GetRichChipBoardData, Op_TimeSchedule, Op_GetTimeSchedule,
    Op_SyncWorkConfig, Op_SyncWork, Op_HotKey, Op_Input, Op_Count
};

static_assert(std::size(SConfig::kOperationHeads) == Op_Count, "one head for each operation, in this order");

int FindOperation(const CData& head)
{
    for (int op = 0; op < Op_Count; ++op) {
        if (ServiceProcess::HeadIs(head, SConfig::kOperationHeads[op].head))
            return op;
    }
    return -1;
}

} // namespace

bool MyServiceOp::BodyShownInLog(const CData& requestHead) const
{
    if (HeadIs(requestHead, SConfig::kHeadUpload) || HeadIs(requestHead, SConfig::kHeadKeepAlive))
        return true; // a folder and a file name; nothing
    const int op = FindOperation(requestHead);
    return op >= 0 && SConfig::kOperationHeads[op].bodyShownInLog;
}

void MyServiceOp::ProcessOpBussiness(CData* requestHead, CData* requestBody, CData* reply)
{
    if (requestHead == nullptr || requestBody == nullptr || reply == nullptr)
        return;
    const char* text = requestBody->pData ? requestBody->pData : "";
    const int op = FindOperation(*requestHead);
    if (op < 0)
        return;
    // Paths come back in the form the listings gave them.
    const std::string localText = localPath(text);
    const char* path = localText.c_str();
    const auto fields = [text] { return split(text, SConfig::kFieldSep); };

    switch (op) {
    case Op_GetDeviceInfo: DeviceEntity::GetInfo(reply); break;
    case Op_GetFileList: FileEntity::GetFileList(path, reply); break;
    case Op_GetFileIcon: FileEntity::GetFileIcon(path, reply); break;
    case Op_GetFile:
        if (std::strcmp(text, "backup_contact") == 0)
            FileEntity::GetFile(ContactBackupPath().c_str(), reply);
        else
            FileEntity::GetFile(path, reply);
        break;
    case Op_ScreenShot: FileEntity::GetScreenShotFile(reply); break;
    case Op_GetAppList: AppEntity::GetAppList(reply); break;
    case Op_OpenApp: AppEntity::OpenApp(path, reply); break;
    case Op_CloseApp: AppEntity::CloseApp(path, reply); break;
    case Op_ActivityApp: AppEntity::ActiviteApp(path, reply); break;
    case Op_SafeExitApp: AppEntity::ExitApp(path, reply); break;
    case Op_WriteStr: KeybdEntity::InputChar(text); break;
    case Op_WriteKeyCode: KeybdEntity::InputChar(std::atoi(text)); break;
    case Op_Command: CommandEntity::Exec(static_cast<CommandType>(std::atoi(text))); break;
    case Op_ScanConnect:
        if (AppDelegateHooks* delegate = AppDelegateHooks::current())
            delegate->closeQRCode();
        break;
    case Op_PPTExec: PPTEntity::PPTExec(std::atoi(text)); break;
    case Op_WindowExec: WindowEntity::Exec(std::atoi(text)); break;
    case Op_OpenURL: FileEntity::OpenURL(text, reply); break;
    case Op_WriteKeyCode2:
        if (const auto f = fields(); f.size() == 2)
            KeybdEntity::InputChar(IntField(f[0]), IntField(f[1]));
        break;
    case Op_CreateFloder: FileEntity::CreateFloder(path, reply); break;
    case Op_Shell: DeviceEntity::ExecShell(text, reply); break;
    case Op_LightColor:
        if (const auto f = fields(); f.size() == 3)
            PPTEntity::LightColor(IntField(f[0]), realField(f[1]), IntField(f[2]) != 0);
        break;
    case Op_LightSize:
        if (const auto f = fields(); f.size() == 3)
            PPTEntity::LightSize(IntField(f[0]), IntField(f[1]), IntField(f[2]) != 0);
        break;
    case Op_GetChipBoardData: ClipboardEntity::GetData(reply); break;
    case Op_GetRichChipBoardData: ClipboardEntity::GetRichData(reply); break;
    case Op_TimeSchedule:
        if (const auto f = fields(); f.size() >= 3)
            TimeEntity::TimeSchedule(static_cast<ScheduleCmd>(IntField(f[0])),
                                     static_cast<TimeScheduleType>(IntField(f[1])), std::atol(f[2].c_str()), reply);
        break;
    case Op_GetTimeSchedule: TimeEntity::GetTimeSchedule(reply); break;
    case Op_SyncWorkConfig:
        if (const auto f = fields(); f.size() >= 4)
            DeviceEntity::syncWorkConfig(f[0].c_str(), f[1].c_str(), f[2].c_str(), f[3].c_str(), reply);
        break;
    case Op_SyncWork: DeviceEntity::syncWork(std::atoi(text) != 0, reply); break;
    case Op_HotKey:
        if (const auto f = fields(); f.size() == 2)
            KeybdEntity::HotKey(IntField(f[0]), IntField(f[1]));
        break;
    case Op_Input:
        if (const auto f = fields(); !f.empty())
            InputEntity::InputCmd(static_cast<InputCmdType>(IntField(f[0])), f.size() > 1 ? f[1].c_str() : "", reply);
        break;
    default: break;
    }
}
