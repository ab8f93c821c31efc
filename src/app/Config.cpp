#include "Config.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTextStream>
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

QVariant ReadValue(const char* key)
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
    return snapshot.values.value(QLatin1String(key));
}

// Stores one value and writes the file at once; the file and its folder are
// private to the user.
void WriteValue(const char* key, const QVariant& value)
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
        settings.setValue(QLatin1String(key), value);
        settings.sync();
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    snapshot.valid = false;
}

bool ReadBool(const char* key, bool fallback)
{
    const QVariant value = ReadValue(key);
    return value.isValid() ? value.toBool() : fallback;
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

// Undoes the escapes of a desktop entry value (\s \n \t \r \\).
QString UnescapeValue(const QString& value)
{
    QString out;
    for (int i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const QChar next = value[++i];
        if (next == u's') out += u' ';
        else if (next == u'n') out += u'\n';
        else if (next == u't') out += u'\t';
        else if (next == u'r') out += u'\r';
        else out += next;
    }
    return out;
}

// The program an Exec line starts: its first argument, unquoted.
QString ExecProgram(const QString& exec)
{
    QString program;
    int i = 0;
    while (i < exec.size() && exec[i].isSpace())
        ++i;
    if (i < exec.size() && exec[i] == u'"') {
        for (++i; i < exec.size() && exec[i] != u'"'; ++i) {
            if (exec[i] == u'\\' && i + 1 < exec.size())
                ++i;
            program += exec[i];
        }
        return program;
    }
    while (i < exec.size() && !exec[i].isSpace())
        program += exec[i++];
    return program;
}

struct AutostartEntry {
    QString file;
    QString program;
    QString id;
};

AutostartEntry ReadEntry(const QString& file)
{
    AutostartEntry entry{file, {}, {}};
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly | QIODevice::Text))
        return entry;
    QTextStream stream(&input);
    bool inMainGroup = false;
    while (!stream.atEnd()) {
        const QString line = stream.readLine().trimmed();
        if (line.startsWith(u'[')) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMainGroup)
            continue;
        const int equals = line.indexOf(u'=');
        if (equals < 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = UnescapeValue(line.mid(equals + 1).trimmed());
        if (key == QLatin1String("Exec"))
            entry.program = ExecProgram(value);
        else if (key == QLatin1String("X-Corvane-Id"))
            entry.id = value;
    }
    return entry;
}

QList<AutostartEntry> ReadEntries()
{
    QList<AutostartEntry> entries;
    const QDir folder(QString::fromStdString(Config::autostartFolder()));
    for (const QString& name : folder.entryList({QStringLiteral("*.desktop")}, QDir::Files, QDir::Name))
        entries.append(ReadEntry(folder.filePath(name)));
    return entries;
}

// An entry "resolves" when the program it starts still exists.
bool Resolves(const AutostartEntry& entry)
{
    return !entry.program.isEmpty() && QFileInfo::exists(entry.program);
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
    WriteBool("auto_start", value);
    if (value)
        addAppAsLoginItem();
    else
        deleteAppFromLoginItem();
}

std::string Config::getConnPwd() { return ReadString("conn_pwd"); }
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
    deleteAllMyAppLoginItem();
    const QString folder = QString::fromStdString(autostartFolder());
    if (!QDir().mkpath(folder))
        return;
    QSaveFile file(folder + QStringLiteral("/corvane.desktop"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return;
    QTextStream out(&file);
    out << "[Desktop Entry]\n"
        << "Type=Application\n"
        << "Name=Corvane\n"
        << "Comment=Phone remote control server\n"
        << "Exec=" << QuoteExecArgument(QString::fromStdString(programPath())) << "\n"
        // Desktops skip the entry once the program is gone (uninstalled).
        << "TryExec=" << QString::fromStdString(programPath()).replace(u'\\', QStringLiteral("\\\\")) << "\n"
        << "Icon=corvane\n"
        << "Terminal=false\n"
        << "X-GNOME-Autostart-enabled=true\n"
        << "X-Corvane-Id=" << kLoginItemId << "\n";
    out.flush();
    file.commit();
}

void Config::deleteAppFromLoginItem()
{
    const QString self = QString::fromStdString(programPath());
    for (const AutostartEntry& entry : ReadEntries()) {
        if (Resolves(entry) && entry.program == self)
            QFile::remove(entry.file);
    }
}

void Config::deleteAllMyAppLoginItem()
{
    for (const AutostartEntry& entry : ReadEntries()) {
        if (Resolves(entry) && entry.id == QLatin1String(kLoginItemId))
            QFile::remove(entry.file);
    }
}
