#include "IconTheme.h"
#include "TempDir.h"

#include <QImage>
#include <gtest/gtest.h>

TEST(IconTheme, ReadsIconFilesAndShipsAGenericIconButNothingForUnknownNames)
{
    TempDir dir;
    QImage red(32, 32, QImage::Format_ARGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(QString::fromStdString(dir.file("red.png"))));
    const auto decode = [](const std::string& png) { return QImage::fromData(QByteArray::fromStdString(png), "PNG"); };
    EXPECT_EQ(decode(IconTheme::png(dir.file("red.png"))).pixelColor(5, 5), QColor(Qt::red));
    EXPECT_EQ(decode(IconTheme::genericPng()).width(), 64);
    EXPECT_TRUE(IconTheme::png("no-such-icon-name-anywhere").empty());
    EXPECT_TRUE(IconTheme::png(dir.file("missing.png")).empty());
}
