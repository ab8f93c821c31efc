#include "Config.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <glib.h>
#include <mutex>
#include <sys/stat.h>

namespace {

QString ConfigHome()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

// The settings are read often (every device-information request) and
// written rarely. Reads come from a snapshot of the file that is taken again
// whenever the file changes on disk (our writes, or an edit by hand); writes
// go straight to the file. One lock orders them.
struct SettingsSnapshot {
    bool valid = false;
    std::string path;
    bool exists = false;
    struct timespec modified {};
    off_t size = 0;
    QVariantMap values;
};

std::mutex settingsMutex;
SettingsSnapshot snapshot;

bool SameFileState(const SettingsSnapshot& taken, const std::string& path, bool exists, const struct stat& st)
{
    return taken.valid && taken.path == path && taken.exists == exists &&
           (!exists || (taken.size == st.st_size && taken.modified.tv_sec == st.st_mtim.tv_sec &&
                        taken.modified.tv_nsec == st.st_mtim.tv_nsec));
}

// The values of the file as they are now.
QVariantMap CurrentValues()
{
    const std::string path = Config::settingsPath();
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    std::lock_guard lock(settingsMutex);
    if (!SameFileState(snapshot, path, exists, st)) {
        snapshot = SettingsSnapshot{};
        snapshot.path = path;
        snapshot.exists = exists;
        snapshot.modified = st.st_mtim;
        snapshot.size = st.st_size;
        if (exists) {
            QSettings settings(QString::fromStdString(path), QSettings::IniFormat);
            for (const QString& name : settings.allKeys())
                snapshot.values.insert(name, settings.value(name));
        }
        snapshot.valid = true;
    }
    return snapshot.values;
}

QVariant ReadValue(const char* key)
{
    return CurrentValues().value(QLatin1String(key));
}

// Changes the file through edit and writes it at once; the file and its
// folder are private to the user.
void EditFile(const std::function<void(QSettings&)>& edit)
{
    std::lock_guard lock(settingsMutex);
    const QString path = QString::fromStdString(Config::settingsPath());
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo::exists(folder)) {
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    {
        QSettings settings(path, QSettings::IniFormat);
        edit(settings);
        settings.sync();
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    snapshot.valid = false;
}

void WriteValue(const char* key, const QVariant& value)
{
    EditFile([&](QSettings& settings) { settings.setValue(QLatin1String(key), value); });
}

// The trusted devices are an array group of the file ("trusted_devices/size",
// "trusted_devices/1/address", ...), read through value from the snapshot or
// from an open file. A file edited by hand cannot make the list longer than
// this.
constexpr int kMaxTrustedDevices = 1000;
constexpr const char* kDevicesGroup = "trusted_devices";

std::vector<TrustedDevice> ReadDevices(const std::function<QVariant(const QString&)>& value)
{
    std::vector<TrustedDevice> devices;
    const QString group = QLatin1String(kDevicesGroup);
    const int count = std::min(value(group + QStringLiteral("/size")).toInt(), kMaxTrustedDevices);
    for (int index = 1; index <= count; ++index) {
        const QString prefix = QStringLiteral("%1/%2/").arg(group).arg(index);
        TrustedDevice device{value(prefix + QStringLiteral("address")).toString().toStdString(),
                             value(prefix + QStringLiteral("name")).toString().toStdString(),
                             value(prefix + QStringLiteral("approved")).toString().toStdString()};
        if (!device.address.empty())
            devices.push_back(std::move(device));
    }
    return devices;
}

// Reads the devices from the file, lets edit change them and, when it says
// it did, writes them back, all under the one lock.
bool EditDevices(const std::function<bool(std::vector<TrustedDevice>&)>& edit)
{
    bool changed = false;
    EditFile([&](QSettings& settings) {
        std::vector<TrustedDevice> devices = ReadDevices([&](const QString& key) { return settings.value(key); });
        changed = edit(devices);
        if (!changed)
            return;
        const QString group = QLatin1String(kDevicesGroup);
        settings.remove(group);
        settings.beginWriteArray(group, static_cast<int>(devices.size()));
        for (size_t index = 0; index < devices.size(); ++index) {
            settings.setArrayIndex(static_cast<int>(index));
            settings.setValue(QStringLiteral("address"), QString::fromStdString(devices[index].address));
            settings.setValue(QStringLiteral("name"), QString::fromStdString(devices[index].name));
            settings.setValue(QStringLiteral("approved"), QString::fromStdString(devices[index].approved));
        }
        settings.endArray();
    });
    return changed;
}

bool BoolOf(const QVariant& value, bool fallback)
{
    return value.isValid() ? value.toBool() : fallback;
}

bool ReadBool(const char* key, bool fallback)
{
    return BoolOf(ReadValue(key), fallback);
}

void WriteBool(const char* key, bool value)
{
    WriteValue(key, value);
}

std::string ReadString(const char* key)
{
    return ReadValue(key).toString().toStdString();
}

void WriteString(const char* key, const char* value)
{
    WriteValue(key, QString::fromUtf8(value ? value : ""));
}

// --- autostart entries -------------------------------------------------

struct AutostartEntry {
    std::string file;    // as the file system spells it
    std::string program; // the first argument of Exec
    std::string id;      // X-Corvane-Id
};

// Reads an entry with GLib's key-file reader, and its Exec with the quoting
// rules GIO starts it by.
AutostartEntry ReadEntry(const std::string& file)
{
    AutostartEntry entry{file, {}, {}};
    GKeyFile* keys = g_key_file_new();
    if (g_key_file_load_from_file(keys, file.c_str(), G_KEY_FILE_NONE, nullptr)) {
        gchar* exec = g_key_file_get_string(keys, G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_EXEC, nullptr);
        gchar** argv = nullptr;
        if (exec != nullptr && g_shell_parse_argv(exec, nullptr, &argv, nullptr)) {
            entry.program = argv[0];
            g_strfreev(argv);
        }
        g_free(exec);
        gchar* id = g_key_file_get_string(keys, G_KEY_FILE_DESKTOP_GROUP, "X-Corvane-Id", nullptr);
        entry.id = id != nullptr ? id : "";
        g_free(id);
    }
    g_key_file_free(keys);
    return entry;
}

// The folder's desktop entries. Every start looks through them (see
// addAppAsLoginItem), so they are listed with GLib, which the entries are
// read with anyway: Qt's name filter would compile a regular expression for
// the one suffix, and its directory code would stay in the idle server's
// memory.
std::vector<AutostartEntry> ReadEntries()
{
    std::vector<AutostartEntry> entries;
    const std::string folder = Config::autostartFolder();
    GDir* dir = g_dir_open(folder.c_str(), 0, nullptr);
    if (dir == nullptr)
        return entries;
    while (const gchar* name = g_dir_read_name(dir)) {
        const std::string file = folder + '/' + name;
        if (g_str_has_suffix(name, ".desktop") && g_file_test(file.c_str(), G_FILE_TEST_IS_REGULAR))
            entries.push_back(ReadEntry(file));
    }
    g_dir_close(dir);
    return entries;
}

// An entry "resolves" when the program it starts still exists.
bool Resolves(const AutostartEntry& entry)
{
    return !entry.program.empty() && g_file_test(entry.program.c_str(), G_FILE_TEST_EXISTS);
}

QString QuoteExecArgument(const QString& path)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : path) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted += u'"';
    // The value itself escapes backslashes once more.
    return quoted.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
}

} // namespace

bool Config::isFirstStart() { return ReadBool("is_first_start", true); }
void Config::setIsFirstStart(bool value) { WriteBool("is_first_start", value); }
bool Config::isAutoStart() { return ReadBool("auto_start", true); }

void Config::setAutoStart(bool value)
{
    // Every start confirms the stored choice: the file is written only when
    // the choice is new, so a start leaves the user's files untouched.
    const QVariant stored = ReadValue("auto_start");
    if (!stored.isValid() || stored.toBool() != value)
        WriteBool("auto_start", value);
    if (value)
        addAppAsLoginItem();
    else
        deleteAppFromLoginItem();
}

std::string Config::getConnPwd() { return ReadString("conn_pwd"); }

Config::PasswordAndAutoStart Config::passwordAndAutoStart()
{
    const QVariantMap values = CurrentValues();
    return {values.value(QStringLiteral("conn_pwd")).toString().toStdString(),
            BoolOf(values.value(QStringLiteral("auto_start")), true)};
}
void Config::setConnPwd(const char* value) { WriteString("conn_pwd", value); }
std::string Config::getPushRegestId() { return ReadString("push_regest_id"); }
void Config::setPushRegestId(const char* value) { WriteString("push_regest_id", value); }
std::string Config::getPushDeviceToken() { return ReadString("device_token"); }
void Config::setPushDeviceToken(const char* value) { WriteString("device_token", value); }
std::string Config::getPushURL() { return ReadString("push_url"); }
void Config::setPushURL(const char* value) { WriteString("push_url", value); }
std::string Config::getPushAuthorInfo() { return ReadString("push_author_info"); }
void Config::setPushAuthorInfo(const char* value) { WriteString("push_author_info", value); }
bool Config::isLanOnly() { return ReadBool("lan_only", true); }
void Config::setLanOnly(bool value) { WriteBool("lan_only", value); }
bool Config::isShellAllowed() { return ReadBool("allow_shell", false); }
void Config::setShellAllowed(bool value) { WriteBool("allow_shell", value); }
bool Config::isApproveDevices() { return ReadBool("approve_devices", true); }
void Config::setApproveDevices(bool value) { WriteBool("approve_devices", value); }

std::vector<TrustedDevice> Config::trustedDevices()
{
    const QVariantMap values = CurrentValues();
    return ReadDevices([&](const QString& key) { return values.value(key); });
}

void Config::trustDevice(const std::string& address, const std::string& name)
{
    const std::string now = QDateTime::currentDateTime().toOffsetFromUtc(QDateTime::currentDateTime().offsetFromUtc())
                                .toString(Qt::ISODate)
                                .toStdString();
    EditDevices([&](std::vector<TrustedDevice>& devices) {
        const auto known = std::find_if(devices.begin(), devices.end(),
                                        [&](const TrustedDevice& device) { return device.address == address; });
        if (known == devices.end()) {
            devices.push_back({address, name, now});
        } else {
            known->approved = now;
            if (!name.empty())
                known->name = name;
        }
        return true;
    });
}

bool Config::untrustDevice(const std::string& address)
{
    return EditDevices([&](std::vector<TrustedDevice>& devices) {
        return std::erase_if(devices, [&](const TrustedDevice& device) { return device.address == address; }) > 0;
    });
}

std::string Config::settingsPath()
{
    return (ConfigHome() + QStringLiteral("/corvane/corvane.conf")).toStdString();
}

std::string Config::autostartFolder()
{
    return (ConfigHome() + QStringLiteral("/autostart")).toStdString();
}

std::string Config::programPath()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath().toStdString();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().toStdString();
}

void Config::addAppAsLoginItem()
{
    const std::string folder = autostartFolder();
    const std::string path = folder + "/corvane.desktop";
    deleteAllMyAppLoginItem(path);
    const QString program = QString::fromStdString(programPath());
    const QByteArray text = QStringLiteral("[Desktop Entry]\n"
                                           "Type=Application\n"
                                           "Name=Corvane\n"
                                           "Comment=Phone remote control server\n"
                                           "Exec=%1\n"
                                           // Desktops skip the entry once the program is gone (uninstalled).
                                           "TryExec=%2\n"
                                           "Icon=corvane\n"
                                           "Terminal=false\n"
                                           "X-GNOME-Autostart-enabled=true\n"
                                           "X-Corvane-Id=%3\n")
                                .arg(QuoteExecArgument(program), QString(program).replace(u'\\', QStringLiteral("\\\\")),
                                     QLatin1String(kLoginItemId))
                                .toUtf8();
    // An entry that already says this is left as it is.
    gchar* current = nullptr;
    gsize length = 0;
    const bool same = g_file_get_contents(path.c_str(), &current, &length, nullptr) &&
                      QByteArrayView(current, static_cast<qsizetype>(length)) == text;
    g_free(current);
    if (same || g_mkdir_with_parents(folder.c_str(), 0777) != 0)
        return;
    // Written whole or not at all.
    g_file_set_contents(path.c_str(), text.constData(), text.size(), nullptr);
}

void Config::deleteAppFromLoginItem()
{
    const std::string self = programPath();
    for (const AutostartEntry& entry : ReadEntries()) {
        if (Resolves(entry) && entry.program == self)
            std::remove(entry.file.c_str());
    }
}

void Config::deleteAllMyAppLoginItem(const std::string& except)
{
    for (const AutostartEntry& entry : ReadEntries()) {
        if (entry.file != except && Resolves(entry) && entry.id == kLoginItemId)
            std::remove(entry.file.c_str());
    }
}
