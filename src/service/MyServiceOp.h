#pragma once

#include "ServiceProcess.h"

#include <atomic>

// Number of live channels open at this moment.
extern std::atomic<int> keepAliveCnt;

// The application's request handling: counts live channels, hands live
// messages to MsgEntity, receives uploads and dispatches operations.
class MyServiceOp : public ServiceProcess {
public:
    explicit MyServiceOp(int sock);
    ~MyServiceOp() override = default;

    CData* ProcessBussiness(CData* head, CData* body) override;
    void ProcessLiveMsg(const char* msg) override;
    void ProcessUpload(CData* head, CData* body, CData* reply) override;
    void ProcessOpBussiness(CData* head, CData* body, CData* reply) override;
    bool BodyShownInLog(const CData& head) const override;

    // Where the phone's contact backup is kept:
    // "<Documents>/Corvane/backup_contact.vcf".
    static std::string ContactBackupPath();

private:
    void ReceiveUpload(const char* target, int reservedFd, bool replaceTarget, long long length, CData* reply);
    bool ReceiveFileBytes(int fd, long long length);
};
