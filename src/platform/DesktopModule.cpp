#include "DesktopModule.h"

#include "Log.h"
#include "NoDesktopBackend.h"

#include <atomic>
#include <climits>
#include <dlfcn.h>
#include <mutex>
#include <string>
#include <unistd.h>

namespace {

constexpr const char* kModuleFile = "corvane-desktop.so";

// What a program gets whose module cannot be loaded: no display, no pictures.
class MissingDesktopModule : public DesktopModule {
public:
    BackendChoice detectBackend() override { return {BackendKind::None, "no desktop module"}; }
    std::unique_ptr<DesktopBackend> makeBackend(BackendKind) override { return std::make_unique<NoDesktopBackend>(); }
    bool prepareDisplay(BackendKind) override { return false; }
    int runApplication(int, char**, const LaunchOptions&) override { return 1; }
    std::string thumbnailJpeg(const std::string&) override { return {}; }
    std::string iconPng(const std::string&) override { return {}; }
    std::string iconPngForFile(const std::string&) override { return {}; }
    std::string genericIconPng() override { return {}; }
    bool saveScreenshot(const std::string&) override { return false; }
    bool writePairingPng(const std::string&, std::string& error) override
    {
        error = "no desktop module";
        return false;
    }
};

std::atomic<DesktopModule*> currentModule{nullptr};
std::mutex loadMutex;

// The folder of the running program (a build tree keeps the module there).
std::string ProgramFolder()
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return {};
    const std::string program(path, static_cast<std::size_t>(length));
    return program.substr(0, program.rfind('/'));
}

DesktopModule* Load()
{
    std::string errors;
    const std::string program = ProgramFolder();
    for (const std::string& folder : {program, program + "/" CORVANE_MODULE_FROM_PROGRAM}) {
        const std::string file = folder + "/" + kModuleFile;
        if (::access(file.c_str(), F_OK) != 0)
            continue;
        // Never unloaded: its objects live until the process ends.
        void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        const auto entry = handle ? reinterpret_cast<DesktopModuleEntry>(::dlsym(handle, "corvane_desktop_module")) : nullptr;
        if (entry != nullptr)
            return entry();
        errors += std::string(" ") + ::dlerror();
    }
    Log::Printf("desktop module %s not loaded:%s\n", kModuleFile, errors.empty() ? " not found" : errors.c_str());
    static MissingDesktopModule missing;
    return &missing;
}

} // namespace

DesktopModule& DesktopModule::instance()
{
    if (DesktopModule* module = currentModule.load(std::memory_order_acquire))
        return *module;
    std::lock_guard lock(loadMutex);
    if (DesktopModule* module = currentModule.load(std::memory_order_acquire))
        return *module;
    DesktopModule* module = Load();
    currentModule.store(module, std::memory_order_release);
    return *module;
}

bool DesktopModule::loaded()
{
    return currentModule.load(std::memory_order_acquire) != nullptr;
}

void DesktopModule::setInstance(DesktopModule* module)
{
    std::lock_guard lock(loadMutex);
    currentModule.store(module, std::memory_order_release);
}
