// Folder listings, folder creation and openers over loopback against the
// real service, on real files in temporary folders.
#include "CData.h"
#include "FileEntity.h"
#include "FileFacts.h"
#include "InProcessServer.h"
#include "StubTools.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Entry {
    bool hidden;
    std::string name;
    bool directory;
    unsigned long long size;
    std::string created;
    std::string modified;
};

std::string Record(const Entry& e)
{
    return "0^%_2^%_" + std::string(e.hidden ? "1" : "0") + "^%_" + e.name + "^%_" + e.name + "^%_" +
           (e.directory ? "1" : "0") + "^%_" + std::to_string(e.size) + "^%_" + e.created + "^%_" + e.modified +
           "^%_0^_7";
}

// Sets the modification (and access) time of an entry without following links.
void SetTimes(const std::string& path, long long seconds, long nanoseconds)
{
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// The entry names in the order the file system lists them.
std::vector<std::string> DirectoryOrder(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    while (const dirent* entry = dir ? ::readdir(dir) : nullptr) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    if (dir)
        ::closedir(dir);
    return names;
}

bool WaitForCalls(const StubTools& stubs, std::size_t count)
{
    for (int i = 0; i < 500 && stubs.calls().size() < count; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return stubs.calls().size() >= count;
}

} // namespace

TEST(FileListing, DescribesEveryKindOfEntryByteForByteInDirectoryOrder)
{
    TempDir dir;
    const std::string folder = dir.file("listed");
    std::filesystem::create_directories(folder + "/subfolder");
    dir.write("listed/visible.txt", "twelve bytes");
    dir.write("listed/.dotfile", "x");
    dir.write("listed/named-in-hidden", "abc");
    dir.write("listed/.hidden", "named-in-hidden\nnot-present\n");
    dir.write("listed/empty.bin", "");
    ASSERT_EQ(::symlink("subfolder", (folder + "/link-to-folder").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere/at/all", (folder + "/dangling").c_str()), 0);
    dir.write("listed/caret^%_name^_7.txt", "z");

    SetTimes(folder + "/visible.txt", 1600000000, 123456000);
    SetTimes(folder + "/.dotfile", 1500000000, 500000000);
    SetTimes(folder + "/named-in-hidden", 1400000000, 0);
    SetTimes(folder + "/.hidden", 1400000001, 250000000);
    SetTimes(folder + "/empty.bin", 1300000000, 999999000);
    SetTimes(folder + "/subfolder", 1200000000, 1000);
    SetTimes(folder + "/link-to-folder", 1100000000, 10000);
    SetTimes(folder + "/dangling", 1000000000, 100000);
    SetTimes(folder + "/caret^%_name^_7.txt", 900000000, 0);

    const std::map<std::string, Entry> expected = {
        {"visible.txt", {false, "visible.txt", false, 12, "", "1600000000.123456"}},
        {".dotfile", {true, ".dotfile", false, 1, "", "1500000000.500000"}},
        {"named-in-hidden", {true, "named-in-hidden", false, 3, "", "1400000000.000000"}},
        {".hidden", {true, ".hidden", false, 28, "", "1400000001.250000"}},
        {"empty.bin", {false, "empty.bin", false, 0, "", "1300000000.999999"}},
        {"subfolder", {false, "subfolder", true, FileFacts::size(folder + "/subfolder"), "", "1200000000.000001"}},
        {"link-to-folder", {false, "link-to-folder", true, 9, "", "1100000000.000010"}},
        {"dangling", {false, "dangling", false, 14, "", "1000000000.000100"}},
        // Nothing is escaped: separators inside a name go out unchanged.
        {"caret^%_name^_7.txt", {false, "caret^%_name^_7.txt", false, 1, "", "900000000.000000"}},
    };

    std::string want = folder + "^_7";
    const std::vector<std::string> order = DirectoryOrder(folder);
    ASSERT_EQ(order.size(), expected.size());
    for (const std::string& name : order) {
        Entry entry = expected.at(name);
        entry.created = FileFacts::created(folder + "/" + name);
        want += Record(entry);
    }

    InProcessServer server;
    const InProcessServer::Reply reply = server.request("OpKey_GetFileList", folder);
    ASSERT_EQ(reply.result, NR_OK);
    EXPECT_EQ(reply.bytes, want);
}

TEST(FileListing, EmptyMissingAndNonFolderPathsGiveOnlyThePath)
{
    TempDir dir;
    std::filesystem::create_directories(dir.file("empty"));
    const std::string file = dir.write("plain.txt", "not a folder");
    InProcessServer server;

    EXPECT_EQ(server.request("OpKey_GetFileList", dir.file("empty")).bytes, dir.file("empty") + "^_7");
    EXPECT_EQ(server.request("OpKey_GetFileList", dir.file("missing")).bytes, dir.file("missing") + "^_7");
    EXPECT_EQ(server.request("OpKey_GetFileList", file).bytes, file + "^_7");
}

TEST(FileListing, EmptyPathListsTheRootAndPathsAreTakenLiterally)
{
    TempDir dir;
    dir.write("inner/only.txt", "1");
    InProcessServer server;

    const std::string root = server.request("OpKey_GetFileList", "").bytes;
    EXPECT_EQ(root.rfind("/^_7", 0), 0u);
    EXPECT_NE(root.find("^%_tmp^%_tmp^%_1^%_"), std::string::npos);

    // No normalisation: the reply repeats the path exactly as it was asked.
    const std::string asked = dir.path() + "//inner/./";
    const std::string listing = server.request("OpKey_GetFileList", asked).bytes;
    EXPECT_EQ(listing.rfind(asked + "^_7", 0), 0u);
    EXPECT_NE(listing.find("^%_only.txt^%_only.txt^%_0^%_1^%_"), std::string::npos);
}

// Tests usually run as root, which reads every folder; the listing then runs
// in a child that has dropped to the unprivileged user "nobody" (uid 65534).
TEST(FileListing, UnreadableFoldersAndAttributesReadAsZero)
{
    TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    const std::string closed = dir.file("closed");
    const std::string listOnly = dir.file("list-only");
    std::filesystem::create_directories(closed);
    std::filesystem::create_directories(listOnly + "/inner-folder");
    dir.write("closed/secret.txt", "s");
    dir.write("list-only/file.txt", "abc");
    ::chmod(closed.c_str(), 0);
    // Names can be read, but the entries cannot be examined without "x".
    ::chmod(listOnly.c_str(), 0444);

    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        const bool root = ::geteuid() == 0;
        if (root && (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0))
            ::_exit(2);
        std::string out;
        for (const std::string& path : {closed, listOnly}) {
            CData reply;
            FileEntity::GetFileList(path.c_str(), &reply);
            out += std::string(reply.Text()) + "\n";
        }
        const bool written = ::write(pipeFds[1], out.data(), out.size()) == static_cast<ssize_t>(out.size());
        ::_exit(written ? 0 : 3);
    }
    ::close(pipeFds[1]);
    std::string got;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        got.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    std::string want = closed + "^_7\n" + listOnly + "^_7";
    for (const std::string& name : DirectoryOrder(listOnly))
        want += Record({false, name, false, 0, "0.000000", "0.000000"});
    EXPECT_EQ(got, want + "\n");
}

TEST(CreateFolder, CreatesEveryMissingLevelAndAcceptsAnExistingFolder)
{
    TempDir dir;
    InProcessServer server;
    const std::string deep = dir.file("one/two/three");

    EXPECT_EQ(server.request("OpKey_CreateFloder", deep).bytes, "1");
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    EXPECT_EQ(server.request("OpKey_CreateFloder", deep).bytes, "1");
    EXPECT_EQ(server.request("OpKey_CreateFloder", dir.file("one/two/")).bytes, "1");
}

TEST(CreateFolder, RefusesPathsThatCannotBecomeFolders)
{
    TempDir dir;
    const std::string file = dir.write("a-file", "x");
    InProcessServer server;

    EXPECT_EQ(server.request("OpKey_CreateFloder", file).bytes, "0");
    EXPECT_EQ(server.request("OpKey_CreateFloder", file + "/below/it").bytes, "0");
    EXPECT_FALSE(std::filesystem::exists(file + "/below"));
    EXPECT_EQ(server.request("OpKey_CreateFloder", "/proc/corvane-cannot-exist/x").bytes, "0");
    EXPECT_EQ(server.request("OpKey_CreateFloder", "").bytes, "0");
}

TEST(Openers, UrlsAndFilesGoToTheDesktopOpener)
{
    StubTools stubs({"xdg-open"});
    InProcessServer server;

    // Text that is not a URL opens nothing; the request after it proves the
    // first one has been handled.
    EXPECT_EQ(server.request("OpKey_OpenURL", "not a url at all").bytes, "");
    EXPECT_EQ(server.request("OpKey_OpenURL", "-n").bytes, "");
    EXPECT_EQ(server.request("OpKey_OpenURL", "https://example.org/page?q=1&r=two").bytes, "");
    ASSERT_TRUE(WaitForCalls(stubs, 1));
    EXPECT_EQ(stubs.calls(), (std::vector<std::string>{"xdg-open https://example.org/page?q=1&r=two"}));

    CData reply;
    FileEntity::OpenFile("/tmp/some file.pdf", &reply);
    ASSERT_TRUE(WaitForCalls(stubs, 2));
    FileEntity::OpenFile("-rf", &reply);
    ASSERT_TRUE(WaitForCalls(stubs, 3));
    EXPECT_EQ(stubs.calls()[1], "xdg-open /tmp/some file.pdf");
    EXPECT_EQ(stubs.calls()[2], "xdg-open ./-rf");
    EXPECT_EQ(reply.size, 0);
}

TEST(FileDownload, SendsTheFileAndMarksAMissingOne)
{
    TempDir dir;
    std::string bytes(100000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 31 % 251);
    const std::string path = dir.write("data.bin", bytes);
    InProcessServer server;

    const InProcessServer::Reply reply = server.request("OpKey_GetFile", path);
    EXPECT_EQ(reply.result, NR_OK);
    EXPECT_EQ(reply.bytes, bytes);
    EXPECT_EQ(server.request("OpKey_GetFile", dir.file("missing")).result, NR_FileUnavailable);
    EXPECT_EQ(server.request("OpKey_GetFile", dir.path()).result, NR_FileUnavailable);
}
