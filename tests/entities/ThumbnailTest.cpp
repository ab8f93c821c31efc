// File pictures over loopback: JPEG thumbnails of pictures, PNG icons of
// everything else.
#include "DesktopApplication.h"
#include "InProcessServer.h"
#include "TempDir.h"
#include "Thumbnail.h"
#include "XvfbServer.h"

#include <QColor>
#include <QImage>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsJpeg(const std::string& bytes)
{
    return bytes.size() > 3 && bytes.compare(0, 3, "\xff\xd8\xff") == 0;
}

bool IsPng(const std::string& bytes)
{
    return bytes.size() > 8 && bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0;
}

QImage Decode(const std::string& bytes)
{
    return QImage::fromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()));
}

// A picture with a red left half and a blue right half.
QImage TwoColours(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width / 2; ++x)
            image.setPixel(x, y, qRgb(255, 0, 0));
    return image;
}

std::string SavePicture(const TempDir& dir, const std::string& name, const QImage& image, const char* format)
{
    const std::string path = dir.file(name);
    EXPECT_TRUE(image.save(QString::fromStdString(path), format)) << path;
    return path;
}

} // namespace

TEST(Thumbnail, LongerSideBecomesEightyKeepingTheAspectRatio)
{
    const struct {
        int width, height, fittedWidth, fittedHeight;
    } cases[] = {
        {400, 200, 80, 40}, {200, 400, 40, 80}, {40, 40, 80, 80}, {300, 300, 80, 80},
        {100, 30, 80, 24},  {4000, 3000, 80, 60}, {1, 1, 80, 80}, {10000, 10, 80, 1}, {6, 3, 80, 40},
        {3, 7, 34, 80},
    };
    TempDir dir;
    InProcessServer server;
    for (const auto& c : cases) {
        int width = 0;
        int height = 0;
        Thumbnail::fit(c.width, c.height, width, height);
        EXPECT_EQ(width, c.fittedWidth) << c.width << "x" << c.height;
        EXPECT_EQ(height, c.fittedHeight) << c.width << "x" << c.height;

        const std::string name = std::to_string(c.width) + "x" + std::to_string(c.height) + ".png";
        const std::string path = SavePicture(dir, name, TwoColours(c.width, c.height), "PNG");
        const std::string reply = server.request("OpKey_GetFileIcon", path).bytes;
        ASSERT_TRUE(IsJpeg(reply)) << name;
        const QImage thumbnail = Decode(reply);
        EXPECT_EQ(thumbnail.width(), c.fittedWidth) << name;
        EXPECT_EQ(thumbnail.height(), c.fittedHeight) << name;
    }
}

TEST(Thumbnail, ShowsThePictureItself)
{
    TempDir dir;
    InProcessServer server;
    // A large JPEG takes the reduced-scale decoding path.
    const std::string path = SavePicture(dir, "photo.jpg", TwoColours(1600, 1200), "JPEG");
    const QImage thumbnail = Decode(server.request("OpKey_GetFileIcon", path).bytes);
    ASSERT_EQ(thumbnail.size(), QSize(80, 60));
    const QColor left = thumbnail.pixelColor(10, 30);
    const QColor right = thumbnail.pixelColor(70, 30);
    EXPECT_GT(left.red(), 200);
    EXPECT_LT(left.blue(), 60);
    EXPECT_GT(right.blue(), 200);
    EXPECT_LT(right.red(), 60);
}

TEST(Thumbnail, TransparentPartsAreShownOnWhite)
{
    TempDir dir;
    InProcessServer server;
    QImage clear(160, 160, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    const std::string path = SavePicture(dir, "clear.png", clear, "PNG");
    const QImage thumbnail = Decode(server.request("OpKey_GetFileIcon", path).bytes);
    ASSERT_EQ(thumbnail.size(), QSize(80, 80));
    EXPECT_GT(qGray(thumbnail.pixel(40, 40)), 240);
}

TEST(FileIcon, FilesThatAreNotPicturesGetTheirIconAsPng)
{
    TempDir dir;
    InProcessServer server;
    const std::string text = dir.write("notes.txt", "just some words\n");
    const std::string fake = dir.write("broken.jpg", "this claims to be a JPEG but is not");
    std::filesystem::create_directories(dir.file("folder"));
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);

    for (const std::string& path : {text, fake, dir.file("folder"), dir.file("missing.bin"), dir.file("pipe"),
                                    std::string("")}) {
        const std::string reply = server.request("OpKey_GetFileIcon", path).bytes;
        EXPECT_TRUE(IsPng(reply)) << "'" << path << "'";
        EXPECT_FALSE(Decode(reply).isNull()) << path;
    }
}

// Files of 10 MiB or more are never decoded: a picture padded to exactly that
// size gets its icon, one byte less still gets its thumbnail.
TEST(FileIcon, TenMebibytesIsTheThumbnailLimit)
{
    TempDir dir;
    InProcessServer server;
    const std::string path = SavePicture(dir, "padded.jpg", TwoColours(200, 100), "JPEG");
    const auto padTo = [&](off_t size) { ASSERT_EQ(::truncate(path.c_str(), size), 0); };

    padTo(10 * 1024 * 1024 - 1);
    std::string reply = server.request("OpKey_GetFileIcon", path).bytes;
    ASSERT_TRUE(IsJpeg(reply));
    EXPECT_EQ(Decode(reply).size(), QSize(80, 40));

    padTo(10 * 1024 * 1024);
    reply = server.request("OpKey_GetFileIcon", path).bytes;
    EXPECT_TRUE(IsPng(reply));
}

// In the desktop program the icon theme belongs to the main thread; the
// connection thread's request is answered through it.
TEST(FileIcon, ADesktopApplicationAnswersThroughItsMainThread)
{
    CORVANE_START_XVFB(xvfb, 320, 200);
    DesktopApplication desktop;
    TempDir dir;
    InProcessServer server;
    const std::string text = dir.write("notes.txt", "words\n");
    const std::string picture = SavePicture(dir, "small.png", TwoColours(40, 20), "PNG");

    const InProcessServer::Reply icon = desktop.request(server, "OpKey_GetFileIcon", text);
    ASSERT_EQ(icon.result, NR_OK);
    EXPECT_TRUE(IsPng(icon.bytes));
    EXPECT_FALSE(Decode(icon.bytes).isNull());
    const InProcessServer::Reply thumbnail = desktop.request(server, "OpKey_GetFileIcon", picture);
    ASSERT_TRUE(IsJpeg(thumbnail.bytes));
    EXPECT_EQ(Decode(thumbnail.bytes).size(), QSize(80, 40));
}
