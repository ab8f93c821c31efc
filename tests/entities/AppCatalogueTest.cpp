#include "AppEntity.h"
#include "CData.h"
#include "ChildProcess.h"
#include "IconTheme.h"
#include "SCommon.h"
#include "TestAppProcess.h"
#include "UserSandbox.h"

#include <QImage>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The catalogue of a private tree: XDG_DATA_HOME and two system folders,
// no desktop named, an English locale.
class AppCatalogue : public ::testing::Test {
protected:
    AppCatalogue()
    {
        sandbox.set("XDG_DATA_DIRS", system1() + ":" + system2());
        sandbox.set("XDG_CURRENT_DESKTOP", "TestDesk");
        sandbox.set("LANG", "en_US.UTF-8");
        ::unsetenv("LC_ALL");
        ::unsetenv("LC_MESSAGES");
    }

    std::string system1() const { return sandbox.root().file("sys1"); }
    std::string system2() const { return sandbox.root().file("sys2"); }

    // Writes <folder>/applications/<relative> and returns its path.
    std::string entry(const std::string& folder, const std::string& relative, const std::string& body) const
    {
        const std::string path = folder + "/applications/" + relative;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        const std::string text = "[Desktop Entry]\n" + body;
        FILE* file = std::fopen(path.c_str(), "w");
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
        return path;
    }

    static std::vector<std::vector<std::string>> Records(const std::string& reply)
    {
        std::vector<std::vector<std::string>> records;
        const std::vector<std::string> pieces = split(reply, "^_7");
        for (std::size_t i = 1; i < pieces.size(); ++i)
            records.push_back(split(pieces[i], "^%_"));
        return records;
    }

    static std::string List()
    {
        CData reply;
        AppEntity::GetAppList(&reply);
        return std::string(reply.Text());
    }

    // The names (field 5) of the listing, in order.
    static std::vector<std::string> Names()
    {
        std::vector<std::string> names;
        for (const auto& record : Records(List()))
            names.push_back(record.size() > 4 ? record[4] : "?");
        return names;
    }

    // The record of one listed application, empty when it is not listed.
    static std::vector<std::string> Record(const std::string& name)
    {
        for (const auto& record : Records(List())) {
            if (record.size() > 4 && record[4] == name)
                return record;
        }
        return {};
    }

    UserSandbox sandbox;
};

TEST_F(AppCatalogue, AnEmptyCatalogueListsOnlyTheFolder)
{
    EXPECT_EQ(List(), "/Applications^_7");
}

TEST_F(AppCatalogue, EachApplicationIsADirectoryRecordWithTheEntryFilesFacts)
{
    const std::string file = entry(system1(), "org.example.Editor.desktop",
                                   "Type=Application\nName=Text Editor\nExec=/bin/true %F\n");
    const std::string reply = List();
    ASSERT_EQ(reply.rfind("/Applications^_7", 0), 0u);
    const auto records = Records(reply);
    ASSERT_EQ(records.size(), 1u);
    const std::vector<std::string>& r = records[0];
    ASSERT_EQ(r.size(), 10u);
    EXPECT_EQ(r[0], "0");
    EXPECT_EQ(r[1], "2");
    EXPECT_EQ(r[2], "0");
    EXPECT_EQ(r[3], "Text Editor");
    EXPECT_EQ(r[4], "org.example.Editor.app");
    EXPECT_EQ(r[5], "1");
    EXPECT_EQ(r[6], std::to_string(std::filesystem::file_size(file)));
    struct stat facts {};
    ASSERT_EQ(::stat(file.c_str(), &facts), 0);
    char modified[64];
    std::snprintf(modified, sizeof modified, "%f", facts.st_mtim.tv_sec + facts.st_mtim.tv_nsec / 1e9);
    EXPECT_EQ(r[8], modified);
    EXPECT_NE(r[7].find('.'), std::string::npos);
    EXPECT_EQ(r[7].size() - r[7].find('.') - 1, 6u) << "six decimals";
    EXPECT_EQ(r[9], "0");
    EXPECT_TRUE(reply.size() > 3 && reply.compare(reply.size() - 3, 3, "^_7") == 0);
}

TEST_F(AppCatalogue, LeavesOutEntriesAUserWouldNotSee)
{
    const std::string app = "Type=Application\nExec=/bin/true\n";
    entry(system1(), "shown.desktop", app + "Name=Shown\n");
    entry(system1(), "hidden.desktop", app + "Name=Hidden\nHidden=true\n");
    entry(system1(), "nodisplay.desktop", app + "Name=NoDisplay\nNoDisplay=true\n");
    entry(system1(), "link.desktop", "Type=Link\nName=Link\nURL=https://example.org\n");
    entry(system1(), "noexec.desktop", "Type=Application\nName=NoExec\n");
    entry(system1(), "noname.desktop", app);
    entry(system1(), "elsewhere.desktop", app + "Name=Elsewhere\nOnlyShowIn=OtherDesk;\n");
    entry(system1(), "here.desktop", app + "Name=Here\nOnlyShowIn=OtherDesk;TestDesk;\n");
    entry(system1(), "nothere.desktop", app + "Name=NotHere\nNotShowIn=TestDesk;\n");
    entry(system1(), "missing-tryexec.desktop", app + "Name=Missing\nTryExec=/no/such/program\n");
    entry(system1(), "present-tryexec.desktop", app + "Name=Present\nTryExec=sh\n");
    entry(system1(), "readme.txt", app + "Name=NotAnEntry\n");
    entry(system1(), "grouped.desktop", "[Other Group]\nName=Wrong\n");
    EXPECT_EQ(Names(), (std::vector<std::string>{"here.app", "present-tryexec.app", "shown.app"}));
}

TEST_F(AppCatalogue, EntryIdsComeFromSubfoldersAndNamesOrderTheList)
{
    const std::string app = "Type=Application\nExec=/bin/true\n";
    entry(system1(), "kde/okular.desktop", app + "Name=zeta viewer\n");
    entry(system1(), "a/b/c.desktop", app + "Name=Alpha\n");
    entry(system1(), "beta.desktop", app + "Name=beta\n");
    EXPECT_EQ(Names(), (std::vector<std::string>{"a-b-c.app", "beta.app", "kde-okular.app"}));
}

TEST_F(AppCatalogue, TheUsersEntryOverridesTheSystemsAndEarlierSystemFoldersWin)
{
    const std::string app = "Type=Application\nExec=/bin/true\n";
    entry(system2(), "editor.desktop", app + "Name=System Editor\n");
    entry(sandbox.dataHome(), "editor.desktop", app + "Name=My Editor\n");
    entry(system2(), "viewer.desktop", app + "Name=Old Viewer\n");
    entry(system1(), "viewer.desktop", app + "Name=New Viewer\n");
    // A user's hidden copy removes the system entry altogether.
    entry(system1(), "player.desktop", app + "Name=Player\n");
    entry(sandbox.dataHome(), "player.desktop", app + "Name=Player\nHidden=true\n");

    const auto records = Records(List());
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0][3], "My Editor");
    EXPECT_EQ(records[1][3], "New Viewer");
}

TEST_F(AppCatalogue, DisplayNamesFollowTheMessagesLocale)
{
    entry(system1(), "calc.desktop",
          "Type=Application\nExec=/bin/true\nName=Calculator\nName[de]=Rechner\nName[de_CH]=Taschenrechner\n"
          "Name[sr@latin]=Kalkulator\nName[zh_CN]=计算器\nComment[fr]=ignored\n");
    const auto nameIn = [&](const char* lang) {
        sandbox.set("LANG", lang);
        const auto record = Record("calc.app");
        return record.size() > 3 ? record[3] : std::string("?");
    };
    EXPECT_EQ(nameIn("en_US.UTF-8"), "Calculator");
    EXPECT_EQ(nameIn("de_DE.UTF-8"), "Rechner");
    EXPECT_EQ(nameIn("de_CH.UTF-8"), "Taschenrechner");
    EXPECT_EQ(nameIn("sr_RS.UTF-8@latin"), "Kalkulator");
    EXPECT_EQ(nameIn("zh_CN.UTF-8"), "计算器");
    EXPECT_EQ(nameIn("C"), "Calculator");

    sandbox.set("LANG", "en_US.UTF-8");
    sandbox.set("LC_MESSAGES", "de_DE.UTF-8");
    EXPECT_EQ(Record("calc.app")[3], "Rechner");
    sandbox.set("LC_ALL", "zh_CN.UTF-8");
    EXPECT_EQ(Record("calc.app")[3], "计算器");
}

TEST_F(AppCatalogue, MarksAnApplicationRunningWhileItsProgramRuns)
{
    const std::string log = sandbox.root().file("app.log");
    const std::string program = TestAppProcess::privateCopy(sandbox.root().file("bin"));
    const std::string name = std::filesystem::path(program).filename().string();
    // By path, by name through PATH, and by the script an interpreter runs.
    entry(system1(), "bypath.desktop", "Type=Application\nName=By Path\nExec=" + program + " %U\n");
    entry(system1(), "byname.desktop", "Type=Application\nName=By Name\nExec=" + name + "\n");
    entry(system1(), "other.desktop", "Type=Application\nName=Other\nExec=/bin/true\n");
    sandbox.set("PATH", sandbox.root().file("bin") + ":" + std::getenv("PATH"));

    EXPECT_EQ(Record("bypath.app")[9], "0");
    EXPECT_EQ(Record("byname.app")[9], "0");
    {
        TestAppProcess app(program, log, {"--no-window"});
        ASSERT_FALSE(TestAppProcess::waitForLine(log, "started").empty());
        EXPECT_EQ(Record("bypath.app")[9], "1");
        EXPECT_EQ(Record("byname.app")[9], "1");
        EXPECT_EQ(Record("other.app")[9], "0");
        ::kill(app.pid(), SIGKILL);
        ASSERT_TRUE(app.waitForExit());
    }
    EXPECT_EQ(Record("bypath.app")[9], "0");
}

TEST_F(AppCatalogue, AScriptEntryRunsWhileItsInterpreterRunsThatScript)
{
    // The script waits on its standard input with a shell builtin, so the
    // shell is the only process and ends with the test's kill.
    const std::string script = sandbox.root().write("tool/serve.sh", "read -r line\n");
    entry(system1(), "script.desktop", "Type=Application\nName=Script\nExec=sh " + script + "\n");
    // An inline command names no program to look for.
    entry(system1(), "inline.desktop", "Type=Application\nName=Inline\nExec=sh -c \"read -r line\"\n");
    EXPECT_EQ(Record("script.app")[9], "0");

    ChildProcess shell({"/bin/sh", script}, {.input = true, .stopSignal = SIGKILL});
    ASSERT_TRUE(shell.started());
    EXPECT_EQ(Record("script.app")[9], "1");
    EXPECT_EQ(Record("inline.app")[9], "0");
    shell.stop();
    EXPECT_EQ(Record("script.app")[9], "0");
}

TEST_F(AppCatalogue, TheFileListingGetsTheVirtualFolderOnlyForItsExactPath)
{
    entry(system1(), "one.desktop", "Type=Application\nName=One\nExec=/bin/true\n");
    CData reply;
    ASSERT_TRUE(AppEntity::ListVirtualFolder("/Applications", &reply));
    EXPECT_EQ(std::string(reply.Text()), List());
    for (const char* other : {"/Applications/", "/applications", "/", "", "/Applications/one.app"}) {
        CData untouched;
        EXPECT_FALSE(AppEntity::ListVirtualFolder(other, &untouched)) << other;
        EXPECT_EQ(untouched.size, 0);
    }
    CData none;
    EXPECT_FALSE(AppEntity::ListVirtualFolder(nullptr, &none));
}

TEST_F(AppCatalogue, IconsComeFromTheEntryWithTheGenericIconAsFallback)
{
    QImage red(24, 24, QImage::Format_ARGB32);
    red.fill(Qt::red);
    const std::string iconFile = sandbox.root().file("red.png");
    ASSERT_TRUE(red.save(QString::fromStdString(iconFile)));
    entry(system1(), "red.desktop", "Type=Application\nName=Red\nExec=/bin/true\nIcon=" + iconFile + "\n");
    entry(system1(), "plain.desktop", "Type=Application\nName=Plain\nExec=/bin/true\nIcon=no-such-icon-anywhere\n");

    CData own;
    ASSERT_TRUE(AppEntity::IconForPath("/Applications/red.app", &own));
    const QImage image = QImage::fromData(reinterpret_cast<const uchar*>(own.pData), static_cast<int>(own.size));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixelColor(12, 12), QColor(Qt::red));

    CData generic;
    ASSERT_TRUE(AppEntity::IconForPath("/Applications/plain.app", &generic));
    EXPECT_EQ(std::string(generic.pData, static_cast<std::size_t>(generic.size)), IconTheme::genericPng());

    for (const char* other : {"/Applications/unknown.app", "/Applications/red", "/etc/passwd", "/Applications"}) {
        CData untouched;
        EXPECT_FALSE(AppEntity::IconForPath(other, &untouched)) << other;
        EXPECT_EQ(untouched.size, 0);
    }
    CData none;
    EXPECT_FALSE(AppEntity::IconForPath(nullptr, &none));
}

} // namespace
