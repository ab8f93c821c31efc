#include "IconTheme.h"
#include "TempDir.h"

#include <QImage>
#include <gtest/gtest.h>

static bool IsPng(const std::string& bytes)
{
    return bytes.size() > 8 && bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0;
}

TEST(IconTheme, ShipsAGenericIconThatDecodes)
{
    const std::string png = IconTheme::genericPng();
    ASSERT_TRUE(IsPng(png));
    const QImage image = QImage::fromData(reinterpret_cast<const uchar*>(png.data()), static_cast<int>(png.size()));
    EXPECT_EQ(image.width(), 64);
}

TEST(IconTheme, ReadsAnIconFileGivenByPathAndNothingForUnknownNames)
{
    TempDir dir;
    QImage source(32, 32, QImage::Format_ARGB32);
    source.fill(Qt::red);
    const std::string path = dir.file("red.png");
    ASSERT_TRUE(source.save(QString::fromStdString(path)));
    EXPECT_TRUE(IsPng(IconTheme::png(path)));
    EXPECT_TRUE(IconTheme::png("no-such-icon-name-anywhere").empty());
    EXPECT_TRUE(IconTheme::png(dir.file("missing.png")).empty());
}
