#include "ChildProcess.h"
#include "TempDir.h"
#include "UserSandbox.h"

#include <QImage>
#include <QSettings>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

// cmake --install of this build into a private prefix: the programs, the
// command scripts, an application-menu entry and the icons, where desktops
// look for them.
TEST(Install, PutsTheProgramsScriptsMenuEntryAndIconsInTheStandardPlaces)
{
    TempDir prefix;
    const ChildProcess::Result install =
        ChildProcess::Run({"cmake", "--install", CORVANE_BINARY_DIR, "--prefix", prefix.path()});
    ASSERT_EQ(install.status, 0) << install.out << install.err;

    // The programs, and beside them the scripts behind the phone's commands.
    for (const char* program : {"bin/corvane", "bin/corvane-client", "share/corvane/resources/shutdown.sh",
                                "share/corvane/resources/volume_add.sh", "share/corvane/resources/iTunes_playpause.sh"}) {
        struct stat info {};
        ASSERT_EQ(::stat(prefix.file(program).c_str(), &info), 0) << program;
        EXPECT_TRUE(info.st_mode & S_IXUSR) << program;
    }
    const ChildProcess::Result version = ChildProcess::Run({prefix.file("bin/corvane"), "--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("corvane ") + CORVANE_VERSION + "\n");
    // It finds its desktop module in the installation's library folder: the
    // pairing code's picture comes from there (or, on a host without an
    // IPv4 address, the module's message that there is none).
    TempDir pictures;
    const ChildProcess::Result code =
        ChildProcess::Run({prefix.file("bin/corvane"), "--pairing-qr", pictures.file("code.png")});
    EXPECT_EQ(code.err.find("desktop module"), std::string::npos) << code.err;
    EXPECT_TRUE(code.status == 0 ? std::filesystem::exists(pictures.file("code.png"))
                                 : code.err.find("IPv4") != std::string::npos) << code.err;

    // The menu entry starts the installed program and shows the icon.
    const std::string entryPath = prefix.file("share/applications/corvane.desktop");
    ASSERT_TRUE(std::filesystem::exists(entryPath));
    QSettings entry(QString::fromStdString(entryPath), QSettings::IniFormat);
    entry.beginGroup(QStringLiteral("Desktop Entry"));
    for (const auto& [key, value] : std::vector<std::pair<const char*, QString>>{
             {"Type", "Application"}, {"Name", "Corvane"}, {"Exec", CORVANE_INSTALLED_PROGRAM}, {"Icon", "corvane"},
             {"Terminal", "false"}})
        EXPECT_EQ(entry.value(key).toString(), value) << key;
    // It also grants KWin's restricted interfaces to the installed program.
    for (const char* line : {"\nCategories=Network;RemoteAccess;\n",
                             "\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input,org_kde_plasma_window_management\n",
                             "\nX-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2\n"})
        EXPECT_NE(TempDir::read(entryPath).find(line), std::string::npos) << line;
    if (std::filesystem::exists("/usr/bin/desktop-file-validate")) {
        const ChildProcess::Result valid = ChildProcess::Run({"desktop-file-validate", entryPath});
        EXPECT_EQ(valid.status, 0) << valid.out << valid.err;
    }

    // Icons of every size in the hicolor theme, each of its nominal size.
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const std::string dim = std::to_string(size);
        const QImage icon(
            QString::fromStdString(prefix.file("share/icons/hicolor/" + dim + "x" + dim + "/apps/corvane.png")));
        EXPECT_EQ(icon.size(), QSize(size, size)) << "missing or of the wrong size";
        EXPECT_TRUE(icon.hasAlphaChannel()) << size;
    }
    EXPECT_TRUE(std::filesystem::exists(prefix.file("share/icons/hicolor/scalable/apps/corvane.svg")));
    for (const char* page : {"share/man/man1/corvane.1.gz", "share/man/man1/corvane-client.1.gz"})
        EXPECT_TRUE(std::filesystem::exists(prefix.file(page))) << page;

    // uninstall.sh takes it all away again, with the start-at-login entry,
    // and leaves the settings. The list of installed files is the one run.sh
    // keeps (install's own lines here: other tests may install this build
    // at the same time).
    UserSandbox sandbox;
    ASSERT_EQ(ChildProcess::Run({prefix.file("bin/corvane"), "--autostart", "on"}).status, 0);
    std::string manifest;
    for (std::size_t at = 0; (at = install.out.find(": " + prefix.path(), at)) != std::string::npos; ++at)
        manifest += install.out.substr(at + 2, install.out.find('\n', at) - at - 1);
    manifest.pop_back(); // CMake's list has no line break at its end
    prefix.write("share/corvane/install_manifest.txt", manifest);
    const ChildProcess::Result uninstall = ChildProcess::Run(
        {"env", "CORVANE_PREFIX=" + prefix.path(), std::string(CORVANE_SOURCE_DIR) + "/scripts/uninstall.sh"});
    EXPECT_EQ(uninstall.status, 0) << uninstall.out << uninstall.err;
    std::string left;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(prefix.path()))
        left += entry.is_directory() ? "" : entry.path().string() + " ";
    EXPECT_EQ(left, "");
    EXPECT_FALSE(std::filesystem::exists(sandbox.configHome() + "/autostart/corvane.desktop"));
    EXPECT_TRUE(std::filesystem::exists(sandbox.configHome() + "/corvane/corvane.conf"));
}
