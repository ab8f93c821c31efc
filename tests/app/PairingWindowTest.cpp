#include "QRCodeCtl.h"
#include "RecordingAlerts.h"
#include "ShellApplication.h"
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

// The light margin around the dark modules, in modules, on the side where
// it is narrowest (the module size taken from the top-left finder pattern,
// seven modules wide).
int NarrowestQuietZone(const QImage& image)
{
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 128) {
                left = std::min(left, x);
                top = std::min(top, y);
                right = std::max(right, x);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0)
        return 0;
    int finder = 0;
    while (left + finder < image.width() && qGray(image.pixel(left + finder, top)) < 128)
        ++finder;
    const int module = finder / 7;
    if (module == 0)
        return 0;
    return std::min({left, top, image.width() - 1 - right, image.height() - 1 - bottom}) / module;
}

} // namespace

TEST(PairingWindow, PayloadIsEveryQualifyingAddressEachEndedBySeparator)
{
    struct Case {
        std::vector<std::string> addresses;
        QString payload;
    };
    const std::vector<Case> cases = {
        {{"192.168.1.5"}, "192.168.1.5^_7"},
        {{"192.168.1.5", "10.0.0.2"}, "192.168.1.5^_710.0.0.2^_7"},
        {{"10.0.0.2", "192.168.1.5"}, "10.0.0.2^_7192.168.1.5^_7"},
        {{"127.0.0.1", "::1", "fe80::1c2:3ff:fe45:6789", "172.16.4.4"}, "172.16.4.4^_7"},
        // An IPv4-mapped IPv6 text has three dots and counts.
        {{"::ffff:192.168.7.7"}, "::ffff:192.168.7.7^_7"},
        {{"127.10.0.1", "::1"}, ""},
        {{}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(QRCodeCtl::getIPStr(c.addresses), c.payload);
}

TEST(PairingWindow, ShowsAScannableCodeOfTheAddressesOnAnyTheme)
{
    ShellApplication app;
    RecordingAlerts alerts;
    QRCodeCtl window([] { return std::vector<std::string>{"127.0.0.1", "192.168.1.5", "fe80::1", "10.0.0.2"}; });
    ASSERT_TRUE(window.updateQRImg());
    EXPECT_TRUE(alerts.alerts().empty());
    window.show();

    const QImage image = ShownImage(window);
    ASSERT_EQ(image.size(), QSize(300, 300));
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            ASSERT_EQ(qAlpha(image.pixel(x, y)), 255) << x << ", " << y;
    }
    EXPECT_GE(NarrowestQuietZone(image), 4);
    const std::vector<std::string> decoded = ZbarDecoder::DecodeImage(image);
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_EQ(decoded[0], "192.168.1.5^_710.0.0.2^_7");

    // What the screen shows on a dark theme still scans.
    QPalette dark = window.palette();
    dark.setColor(QPalette::Window, Qt::black);
    dark.setColor(QPalette::WindowText, Qt::white);
    window.setPalette(dark);
    auto* view = window.findChild<QLabel*>(QStringLiteral("imgView"));
    const QImage onScreen = view->grab().toImage();
    EXPECT_EQ(ZbarDecoder::DecodeImage(onScreen), decoded);

    auto* prompt = window.findChild<QLabel*>(QStringLiteral("promptTf"));
    ASSERT_NE(prompt, nullptr);
    EXPECT_EQ(prompt->text(), "使用手机进行扫码连接");
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST(PairingWindow, WithoutAnIPv4AddressTheUserIsToldAndNothingIsDrawn)
{
    ShellApplication app;
    RecordingAlerts alerts;
    QRCodeCtl window([] { return std::vector<std::string>{"127.0.0.1", "::1", "fe80::1"}; });
    EXPECT_FALSE(window.updateQRImg());
    const auto shown = alerts.alerts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].message, "获取二维码失败！");
    EXPECT_EQ(shown[0].informativeText, "无法获取您的IP地址");
    EXPECT_EQ(shown[0].button, "确定");
    EXPECT_TRUE(ShownImage(window).isNull());
}

TEST(PairingWindow, AddressesBeyondTheLargestCodeAreReportedAndLogged)
{
    ShellApplication app;
    RecordingAlerts alerts;
    // Over 3000 bytes of payload: more than a level-L symbol holds.
    std::vector<std::string> many;
    for (int i = 0; i < 250; ++i)
        many.push_back("10.20." + std::to_string(i / 200) + "." + std::to_string(i % 200));
    QRCodeCtl window([many] { return many; });
    ::testing::internal::CaptureStdout();
    const bool drawn = window.updateQRImg();
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_FALSE(drawn);
    EXPECT_EQ(out, "make qrcode matrix failed\n");
    const auto shown = alerts.alerts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].message, "获取二维码失败！");
    EXPECT_EQ(shown[0].informativeText, "请与我们联系");
    EXPECT_EQ(shown[0].button, "确定");
}
