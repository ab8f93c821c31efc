// Folder listings, folder creation, openers, downloads, file pictures and
// screenshots over loopback against the real service, on real files.
#include "CData.h"
#include "DesktopApplication.h"
#include "FileEntity.h"
#include "FileFacts.h"
#include "InProcessServer.h"
#include "Phone.h"
#include "SRequest.h"
#include "ServerProcess.h"
#include "StubTools.h"
#include "TempDir.h"
#include "UserSandbox.h"
#include "X11Display.h"
#include "XvfbServer.h"

#include <QImage>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <tuple>
#include <unistd.h>

// Last: Xlib defines macros (None, Status, Bool) that clash with other headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

std::string Record(const std::string& name, bool hidden, bool directory, unsigned long long size,
                   const std::string& created, const std::string& modified)
{
    return "0^%_2^%_" + std::string(hidden ? "1" : "0") + "^%_" + name + "^%_" + name + "^%_" +
           (directory ? "1" : "0") + "^%_" + std::to_string(size) + "^%_" + created + "^%_" + modified + "^%_0^_7";
}

// The entry names in the order the file system lists them.
std::vector<std::string> DirectoryOrder(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

QImage Decode(const std::string& bytes)
{
    return QImage::fromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()));
}

// The picture of a JPEG (a PNG) file's bytes; a null image for anything else.
QImage Jpeg(const std::string& bytes) { return bytes.rfind("\xff\xd8\xff", 0) == 0 ? Decode(bytes) : QImage(); }
QImage Png(const std::string& bytes) { return bytes.rfind("\x89PNG\r\n\x1a\n", 0) == 0 ? Decode(bytes) : QImage(); }

// A picture with a red left half and a blue right half, saved as name.
std::string TwoColours(const TempDir& dir, const std::string& name, int width, int height, const char* format)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width / 2; ++x)
            image.setPixel(x, y, qRgb(255, 0, 0));
    EXPECT_TRUE(image.save(QString::fromStdString(dir.file(name)), format)) << name;
    return dir.file(name);
}

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
    // Names that are not UTF-8 go as characters that stand for their bytes
    // (and so do characters of that range in a name).
    const std::map<std::string, std::string> wire = {
        {"bad\xff\xfe.txt", "bad\xee\xbf\xbf\xee\xbf\xbe.txt"},
        {"pua\xee\xbe\x80", "pua\xee\xbf\xae\xee\xbe\xbe\xee\xbe\x80"}};
    for (const auto& [name, sent] : wire)
        dir.write("listed/" + name, sent);
    // Hidden, folder, size (-1: the folder's own), modification time set and expected.
    const std::map<std::string, std::tuple<bool, bool, long long, std::string>> entries = {
        {"visible.txt", {false, false, 12, "1600000000.123456"}},
        {".dotfile", {true, false, 1, "1500000000.500000"}},
        {"named-in-hidden", {true, false, 3, "1400000000.000000"}},
        {".hidden", {true, false, 28, "1400000001.250000"}},
        {"empty.bin", {false, false, 0, "1300000000.999999"}},
        {"subfolder", {false, true, -1, "1200000000.000001"}},
        {"link-to-folder", {false, true, 9, "1100000000.000010"}},
        {"dangling", {false, false, 14, "1000000000.000100"}},
        {"caret^%_name^_7.txt", {false, false, 1, "900000000.000000"}}, // nothing is escaped
        {"bad\xff\xfe.txt", {false, false, 13, "800000000.000000"}},
        {"pua\xee\xbe\x80", {false, false, 12, "700000000.000000"}},
    };
    for (const auto& [name, facts] : entries) {
        const std::string& time = std::get<3>(facts); // six decimals
        const timespec at = {std::stoll(time), std::stol(time.substr(time.size() - 6)) * 1000}, times[2] = {at, at};
        ASSERT_EQ(::utimensat(AT_FDCWD, (folder + "/" + name).c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << name;
    }
    std::string want = folder + "^_7";
    for (const std::string& name : DirectoryOrder(folder)) {
        const auto& [hidden, directory, size, modified] = entries.at(name);
        const std::string path = folder + "/" + name;
        want += Record(wire.count(name) ? wire.at(name) : name, hidden, directory,
                       size < 0 ? FileFacts::size(path) : size, FileFacts::created(path), modified);
    }
    InProcessServer server;
    const InProcessServer::Reply reply = server.request("OpKey_GetFileList", folder);
    ASSERT_EQ(reply.result, NR_OK);
    EXPECT_EQ(reply.bytes, want);
    // The names the phone was given fetch the files (each holds its sent name).
    for (const auto& [name, sent] : wire)
        EXPECT_EQ(server.request("OpKey_GetFile", folder + "/" + sent).bytes, sent);
}

// Paths are taken literally: a listing repeats the path as it was asked, and
// without a folder gives only the path; creating a folder makes every missing
// level, or refuses what cannot be a folder.
TEST(FolderRequests, TakePathsLiterallyListingOnlyFoldersAndCreatingEveryLevel)
{
    TempDir dir;
    std::filesystem::create_directories(dir.file("empty"));
    const std::string file = dir.write("plain.txt", "not a folder");
    dir.write("inner/only.txt", "1");
    InProcessServer server;
    for (const std::string& path : {dir.file("empty"), dir.file("missing"), file})
        EXPECT_EQ(server.request("OpKey_GetFileList", path).bytes, path + "^_7");

    const std::string root = server.request("OpKey_GetFileList", "").bytes; // the empty path lists the root
    EXPECT_EQ(root.rfind("/^_7", 0), 0u);
    EXPECT_NE(root.find("^%_tmp^%_tmp^%_1^%_"), std::string::npos);
    // No normalisation: the reply repeats the path exactly as it was asked.
    const std::string asked = dir.path() + "//inner/./";
    const std::string listing = server.request("OpKey_GetFileList", asked).bytes;
    EXPECT_EQ(listing.rfind(asked + "^_7", 0), 0u);
    EXPECT_NE(listing.find("^%_only.txt^%_only.txt^%_0^%_1^%_"), std::string::npos);

    const std::string deep = dir.file("one/two/three");
    for (const std::string& path : {deep, deep, dir.file("one/two/")})
        EXPECT_EQ(server.request("OpKey_CreateFloder", path).bytes, "1") << path;
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    for (const std::string& path : {file, file + "/below/it", std::string("/proc/corvane-cannot-exist/x"), std::string()})
        EXPECT_EQ(server.request("OpKey_CreateFloder", path).bytes, "0") << path;
    EXPECT_FALSE(std::filesystem::exists(file + "/below"));
}

// Tests usually run as root, which reads every folder; the listing then runs
// on a thread that has become the unprivileged user "nobody" (uid 65534).
// Credentials belong to each thread in the kernel: the raw system calls
// change this thread's alone (the C library's wrappers would change all).
TEST(FileListing, UnreadableFoldersAndAttributesReadAsZero)
{
    TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    const std::string closed = dir.file("closed"), listOnly = dir.file("list-only");
    std::filesystem::create_directories(listOnly + "/inner-folder");
    dir.write("closed/secret.txt", "s");
    dir.write("list-only/file.txt", "abc");
    ::chmod(closed.c_str(), 0);
    ::chmod(listOnly.c_str(), 0444); // names can be read, the entries not examined
    std::string text = "not listed";
    std::thread([&] {
        if (::geteuid() == 0 && (::syscall(SYS_setresgid, 65534, 65534, 65534) != 0 ||
                                 ::syscall(SYS_setresuid, 65534, 65534, 65534) != 0))
            return;
        text.clear();
        for (const std::string& path : {closed, listOnly}) {
            CData reply;
            FileEntity::GetFileList(path.c_str(), &reply);
            text += std::string(reply.Text()) + "\n";
        }
    }).join();
    std::string want = closed + "^_7\n" + listOnly + "^_7";
    for (const std::string& name : DirectoryOrder(listOnly))
        want += Record(name, false, false, 0, "0.000000", "0.000000");
    EXPECT_EQ(text, want + "\n");
}

TEST(Openers, UrlsAndFilesGoToTheDesktopOpener)
{
    StubTools stubs({"xdg-open"});
    InProcessServer server;
    const auto opened = [&](std::size_t count) { return Eventually([&] { return stubs.calls().size() == count; }); };
    // Text that is not a URL opens nothing; each opener is called before the next request.
    for (const char* text : {"not a url at all", "-n", "https://example.org/page?q=1&r=two"})
        EXPECT_EQ(server.request("OpKey_OpenURL", text).bytes, "");
    ASSERT_TRUE(opened(1));
    CData reply;
    FileEntity::OpenFile("/tmp/some file.pdf", &reply);
    ASSERT_TRUE(opened(2));
    FileEntity::OpenFile("-rf", &reply);
    ASSERT_TRUE(opened(3));
    EXPECT_EQ(stubs.calls(), (std::vector<std::string>{"xdg-open https://example.org/page?q=1&r=two",
                                                       "xdg-open /tmp/some file.pdf", "xdg-open ./-rf"}));
    EXPECT_EQ(reply.size, 0);
}

// Pictures become JPEG thumbnails with the longer side 80 that show them:
// red on the left, blue on the right (but 1 x 1, all blue).
TEST(FileIcon, PicturesBecomeJpegsOfEightyPixelsAndEverythingElseGetsItsIconAsPng)
{
    const struct {
        int width, height, fittedWidth, fittedHeight;
        const char* format = "PNG";
    } cases[] = {{400, 200, 80, 40}, {200, 400, 40, 80}, {40, 40, 80, 80},     {300, 300, 80, 80},
                 {100, 30, 80, 24},  {4000, 3000, 80, 60}, {1, 1, 80, 80},     {10000, 10, 80, 1},
                 {6, 3, 80, 40},     {3, 7, 34, 80},
                 {1600, 1200, 80, 60, "JPEG"}}; // a large JPEG takes the reduced-scale decoding path
    TempDir dir;
    InProcessServer server;
    for (const auto& c : cases) {
        const std::string name = std::to_string(c.width) + "x" + std::to_string(c.height) + "." + c.format;
        const QImage thumbnail =
            Jpeg(server.request("OpKey_GetFileIcon", TwoColours(dir, name, c.width, c.height, c.format)).bytes);
        EXPECT_EQ(thumbnail.size(), QSize(c.fittedWidth, c.fittedHeight)) << name;
        const QColor left = thumbnail.pixelColor(c.fittedWidth / 8, c.fittedHeight / 2);
        const QColor right = thumbnail.pixelColor(c.fittedWidth * 7 / 8, c.fittedHeight / 2);
        EXPECT_TRUE((c.width == 1 || (left.red() > 200 && left.blue() < 60)) && right.blue() > 200 && right.red() < 60)
            << name << " " << left.name().toStdString() << " " << right.name().toStdString();
    }

    // Transparent parts are shown on white.
    QImage clear(160, 160, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    ASSERT_TRUE(clear.save(QString::fromStdString(dir.file("clear.png")), "PNG"));
    const QImage onWhite = Jpeg(server.request("OpKey_GetFileIcon", dir.file("clear.png")).bytes);
    ASSERT_EQ(onWhite.size(), QSize(80, 80));
    EXPECT_GT(qGray(onWhite.pixel(40, 40)), 240);

    // Everything else gets its icon as a PNG: files that are no pictures, a
    // folder, a pipe, nothing at all, pictures that claim more pixels than are
    // worth decoding (a 1-bit PNG of 5600 x 5600, a JPEG whose header claims
    // 40000 x 40000), and files of 10 MiB (one byte less still gets a thumbnail).
    std::filesystem::create_directories(dir.file("folder"));
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    QImage mono(5600, 5600, QImage::Format_Mono);
    mono.fill(1);
    ASSERT_TRUE(mono.save(QString::fromStdString(dir.file("bomb.png")), "PNG"));
    std::string jpeg = TempDir::read(TwoColours(dir, "small.jpg", 16, 16, "JPEG"));
    const std::size_t frame = jpeg.find("\xff\xc0");
    ASSERT_NE(frame, std::string::npos);
    jpeg.replace(frame + 5, 4, "\x9c\x40\x9c\x40"); // height and width 40000
    const std::string padded = TwoColours(dir, "padded.jpg", 200, 100, "JPEG");
    ASSERT_EQ(::truncate(padded.c_str(), 10 * 1024 * 1024 - 1), 0);
    EXPECT_EQ(Jpeg(server.request("OpKey_GetFileIcon", padded).bytes).size(), QSize(80, 40));
    ASSERT_EQ(::truncate(padded.c_str(), 10 * 1024 * 1024), 0);

    for (const std::string& path : {dir.write("notes.txt", "just some words\n"), dir.write("broken.jpg", "not a JPEG"),
                                    dir.file("folder"), dir.file("missing.bin"), dir.file("pipe"), std::string(),
                                    dir.file("bomb.png"), dir.write("bomb.jpg", jpeg), padded})
        EXPECT_FALSE(Png(server.request("OpKey_GetFileIcon", path).bytes).isNull()) << "'" << path << "'";
}

// In the desktop program the icon theme belongs to the main thread; the
// connection thread's request is answered through it.
TEST(FileIcon, ADesktopApplicationAnswersThroughItsMainThread)
{
    CORVANE_START_XVFB(xvfb, 320, 200);
    DesktopApplication desktop;
    TempDir dir;
    InProcessServer server;
    EXPECT_FALSE(Png(desktop.request(server, "OpKey_GetFileIcon", dir.write("notes.txt", "words\n")).bytes).isNull());
    const std::string thumbnail =
        desktop.request(server, "OpKey_GetFileIcon", TwoColours(dir, "small.png", 40, 20, "PNG")).bytes;
    EXPECT_EQ(Jpeg(thumbnail).size(), QSize(80, 40));
}

// Draws the picture (RGB32, the size of the screen) straight onto the root window.
void DrawOnRoot(const QImage& picture)
{
    X11Display::instance().With([&](Display* display) {
        const int screen = DefaultScreen(display);
        XImage* image = XCreateImage(display, DefaultVisual(display, screen), DefaultDepth(display, screen), ZPixmap,
                                     0, const_cast<char*>(reinterpret_cast<const char*>(picture.constBits())),
                                     static_cast<unsigned>(picture.width()), static_cast<unsigned>(picture.height()),
                                     32, static_cast<int>(picture.bytesPerLine()));
        XPutImage(display, RootWindow(display, screen), DefaultGC(display, screen), image, 0, 0, 0, 0,
                  static_cast<unsigned>(picture.width()), static_cast<unsigned>(picture.height()));
        image->data = nullptr; // the pixels belong to the QImage
        XDestroyImage(image);
        XSync(display, False);
    });
}

// Kept on the desktop, or, when there is no display or nothing can be
// written, logged and sent as a missing file.
TEST(Screenshot, IsAPngOfTheWholeDisplayKeepingEveryPixel)
{
    UserSandbox user;
    const auto expectMissingFile = [&] {
        ServerProcess corvane;
        SRequest client;
        client.SetInfo("127.0.0.1", corvane.tcpPort(), 5);
        CData reply;
        EXPECT_EQ(client.SendRequest("OpKey_ScreenShot", "", &reply), NR_FileUnavailable);
        EXPECT_TRUE(corvane.waitForOutput("Failed to write image to " + user.desktop() + "/screenshot.png\n"));
    };
    const char* display = std::getenv("DISPLAY");
    const std::string saved = display ? display : "";
    ::unsetenv("DISPLAY");
    expectMissingFile();
    if (display)
        ::setenv("DISPLAY", saved.c_str(), 1);
    EXPECT_FALSE(std::filesystem::exists(user.desktop() + "/screenshot.png"));

    CORVANE_START_XVFB(xvfb, 333, 217); // odd sizes: rows are not a multiple of anything
    std::filesystem::remove_all(user.desktop()); // made by the first capture
    InProcessServer server;
    for (int round = 0; round < 2; ++round) {
        QImage picture(333, 217, QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                picture.setPixel(x, y, qRgb((x * 7 + y + round * 50) & 0xff, (y * 5) & 0xff, (x ^ y) & 0xff));
        DrawOnRoot(picture);
        const InProcessServer::Reply shot = server.request("OpKey_ScreenShot");
        EXPECT_TRUE(Png(shot.bytes).convertToFormat(QImage::Format_RGB32) == picture) << "round " << round;
        // Each capture replaces the file, and no temporary files are left.
        EXPECT_EQ(TempDir::read(user.desktop() + "/screenshot.png"), shot.bytes);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(user.desktop()), {}), 1);
    }
    std::filesystem::remove_all(user.desktop());
    user.root().write("home/Desktop", "not a folder"); // nothing can be written into it
    expectMissingFile();
}

} // namespace
