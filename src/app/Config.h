#pragma once

#include <string>
#include <vector>

// A device the user allowed to control this computer: its IPv4 address,
// the name its phone gave when known (else empty) and when it was allowed
// (ISO 8601 local time with offset).
struct TrustedDevice {
    std::string address;
    std::string name;
    std::string approved;

    bool operator==(const TrustedDevice&) const = default;
};

// The settings kept across launches, in "<XDG config>/corvane/corvane.conf"
// (mode 0600, written through at once), and the start-at-login entry in the
// XDG autostart folder. Safe to use from any thread.
class Config {
public:
    Config() = delete;

    static bool isFirstStart();                  // "is_first_start", default YES
    static void setIsFirstStart(bool value);
    static bool isAutoStart();                   // "auto_start", default YES
    // Stores the flag and adds or removes the login item accordingly.
    static void setAutoStart(bool value);
    static std::string getConnPwd();             // "conn_pwd", default empty
    // The password and the start-at-login flag from one reading of the file.
    struct PasswordAndAutoStart {
        std::string password;
        bool autoStart;
    };
    static PasswordAndAutoStart passwordAndAutoStart();
    static void setConnPwd(const char* value);   // null stores the empty text
    static std::string getPushRegestId();        // "push_regest_id"
    static void setPushRegestId(const char* value);
    static std::string getPushDeviceToken();     // "device_token"
    static void setPushDeviceToken(const char* value);
    static std::string getPushURL();             // "push_url"
    static void setPushURL(const char* value);
    static std::string getPushAuthorInfo();      // "push_author_info"
    static void setPushAuthorInfo(const char* value);
    static bool isLanOnly();                     // "lan_only", default YES
    static void setLanOnly(bool value);
    static bool isShellAllowed();                // "allow_shell", default NO
    static void setShellAllowed(bool value);
    static bool isApproveDevices();              // "approve_devices", default YES
    static void setApproveDevices(bool value);

    // The trusted devices ("trusted_devices"), in the order they were added.
    static std::vector<TrustedDevice> trustedDevices();
    // Adds the device at address with the time of now, or renews its entry
    // (and its name, unless name is empty).
    static void trustDevice(const std::string& address, const std::string& name);
    // Removes the entry of address; false when there was none.
    static bool untrustDevice(const std::string& address);

    // Login item: one autostart entry for this program at its current path.
    static void addAppAsLoginItem();
    // Removes the entries that start this very executable.
    static void deleteAppFromLoginItem();
    // Removes the entries of this program wherever its copy lies, but for
    // the file except (the entry about to be confirmed).
    static void deleteAllMyAppLoginItem(const std::string& except = {});

    static std::string settingsPath();
    static std::string autostartFolder();
    // The executable that login items start: this process's program.
    static std::string programPath();

    // Marks an autostart entry as belonging to this program.
    static constexpr const char* kLoginItemId = "org.corvane.Corvane";
};
