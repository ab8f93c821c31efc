#pragma once

class CData;

// Device information, remote scripts and the clipboard-push settings.
class DeviceEntity {
public:
    DeviceEntity() = delete;

    static void GetInfo(CData* reply);
    static void ExecShell(const char* script, CData* reply);
    static void syncWorkConfig(const char* registrationId, const char* deviceToken, const char* pushURL,
                               const char* authorInfo, CData* reply);
    static void syncWork(bool enable, CData* reply);
};
