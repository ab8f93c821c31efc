#include "QRCodeCtl.h"
#include "DesktopApplication.h"
#include "RecordingAlerts.h"
#include "ZbarDecoder.h"

#include <QLabel>
#include <gtest/gtest.h>

namespace {

QImage ShownImage(QRCodeCtl& window)
{
    auto* view = window.findChild<QLabel*>(QStringLiteral("imgView"));
    EXPECT_NE(view, nullptr);
    return view ? view->pixmap().toImage().convertToFormat(QImage::Format_RGBA8888) : QImage();
}

} // namespace

TEST(PairingWindow, ShowsAScannableCodeOfTheAddressesOnAnyTheme)
{
    DesktopApplication app{"offscreen"};
    RecordingAlerts alerts;
    QRCodeCtl window([] { return std::vector<std::string>{"127.0.0.1", "192.168.1.5", "fe80::1", "10.0.0.2"}; });
    ASSERT_TRUE(window.updateQRImg());
    EXPECT_EQ(alerts.shown(), "");
    window.show();

    // The renderer's quiet zone and opacity are the QR renderer tests' to check.
    const QImage image = ShownImage(window);
    ASSERT_EQ(image.size(), QSize(300, 300));
    const std::vector<std::string> decoded = {"192.168.1.5^_710.0.0.2^_7"};
    EXPECT_EQ(ZbarDecoder::DecodeImage(image), decoded);

    // What the screen shows on a dark theme still scans.
    QPalette dark = window.palette();
    dark.setColor(QPalette::Window, Qt::black);
    dark.setColor(QPalette::WindowText, Qt::white);
    window.setPalette(dark);
    EXPECT_EQ(ZbarDecoder::DecodeImage(window.findChild<QLabel*>(QStringLiteral("imgView"))->grab().toImage()), decoded);

    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST(PairingWindow, WithoutAnIPv4AddressOrWithTooManyTheUserIsToldAndNothingIsDrawn)
{
    DesktopApplication app{"offscreen"};
    RecordingAlerts alerts;
    std::vector<std::string> many; // over 3000 bytes: more than a level-L symbol holds
    for (int i = 0; i < 250; ++i)
        many.push_back("10.20." + std::to_string(i / 200) + "." + std::to_string(i % 200));
    const std::vector<std::tuple<std::vector<std::string>, std::string, std::string>> cases = {
        {{"127.0.0.1", "::1", "fe80::1"}, "获取二维码失败！|无法获取您的IP地址|确定\n", ""},
        {many, "获取二维码失败！|请与我们联系|确定\n", "make qrcode matrix failed\n"},
    };
    for (const auto& [addresses, alert, log] : cases) {
        alerts.clear();
        QRCodeCtl window([addresses] { return addresses; });
        ::testing::internal::CaptureStdout();
        EXPECT_FALSE(window.updateQRImg());
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), log);
        EXPECT_EQ(alerts.shown(), alert);
        EXPECT_TRUE(ShownImage(window).isNull());
    }
}
