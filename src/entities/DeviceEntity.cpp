#include "DeviceEntity.h"

#include "AppDelegateHooks.h"
#include "CData.h"
#include "Config.h"
#include "MainQueue.h"
#include "ProcessRunner.h"
#include "SCommon.h"
#include "SConfig.h"
#include "UserFolders.h"

#include <string>
#include <string_view>

namespace {
// A remote script that runs longer than this is ended and reported as failed.
constexpr int kShellTimeLimitSeconds = 60;
}

void DeviceEntity::GetInfo(CData* reply)
{
    const std::string user = UserFolders::userName();
    const UserFolders::Standard folders = UserFolders::standard();
    const std::string home = wirePath(folders.home);
    const std::string documents = wirePath(folders.documents);
    const std::string desktop = wirePath(folders.desktop);
    const std::string host = hostName();
    const auto [password, autoStart] = Config::passwordAndAutoStart();

    const std::string_view sep = SConfig::kFieldSep;
    std::string info;
    info.reserve(256);
    const std::string type = std::to_string(static_cast<int>(SysType_Desktop));
    const std::string_view fields[] = {type, host, user, home, password, "180", "0", documents, desktop,
                                       autoStart ? "1" : "0"};
    for (const std::string_view field : fields) {
        info += field;
        info += sep;
    }
    reply->SetData(info.data(), static_cast<long long>(info.size()));
}

// The phone's script runs with /bin/sh only when the user has allowed remote
// scripts in the settings; by default the request is refused with "0".
void DeviceEntity::ExecShell(const char* script, CData* reply)
{
    if (script == nullptr || !Config::isShellAllowed()) {
        reply->SetData("0");
        return;
    }
    const int status = ProcessRunner::run({"/bin/sh", "-c", script}, kShellTimeLimitSeconds);
    reply->SetData(status == 0 ? "1" : "0");
}

void DeviceEntity::syncWorkConfig(const char* registrationId, const char* deviceToken, const char* pushURL,
                                  const char* authorInfo, CData* reply)
{
    if (registrationId)
        Config::setPushRegestId(registrationId);
    if (deviceToken)
        Config::setPushDeviceToken(deviceToken);
    if (pushURL)
        Config::setPushURL(pushURL);
    if (authorInfo)
        Config::setPushAuthorInfo(authorInfo);
    const std::string sep = SConfig::kFieldSep;
    const std::string settings = Config::getPushRegestId() + sep + Config::getPushDeviceToken() + sep +
                                 Config::getPushURL() + sep + Config::getPushAuthorInfo();
    reply->SetData(settings.data(), static_cast<long long>(settings.size()));
}

void DeviceEntity::syncWork(bool enable, CData*)
{
    MainQueue::instance().async([enable] {
        AppDelegateHooks* delegate = AppDelegateHooks::current();
        if (delegate == nullptr)
            return;
        if (enable)
            delegate->startPasteboardTimer();
        else
            delegate->stopPasteboardTimer();
    });
}
