#include "AboutCtl.h"
#include "HelpCtl.h"
#include "DesktopApplication.h"

#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <gtest/gtest.h>

namespace {

// The visible texts of every label under a widget, in one string.
QString AllText(const QWidget& root)
{
    QString text;
    for (const QLabel* label : root.findChildren<QLabel*>())
        text += label->text() + QLatin1Char('\n');
    return text;
}

} // namespace

TEST(HelpWindow, ElevenLabelsOnAScrollablePageOpenedAtItsTop)
{
    DesktopApplication app{"offscreen"};
    HelpCtl window(40111, 40122);
    window.show();
    const std::vector<std::pair<const char*, const char*>> labels = {
        {"tf0_", "Corvane在这里"},
        {"tf1_", "手机怎么控制我的电脑?"},
        {"tf2_", "1、使用您的iPhone去App Store下载Corvane"},
        {"tf3_", "2、您的手机与电脑在同一个Wifi中"},
        {"tf4_", "3、打开Corvane，然后点击自动开始按扭或输入IP地址"},
        {"tf5_", "或"},
        {"tf6_", "自动搜索"},
        {"tf7_", "输入IP地址"},
        {"tf8_", "手机能控制什么?"},
        {"tf9_", "1、移动鼠标，模拟输入等等..."},
        {"tf10_", "2、下载/上传文件，播放音乐/视频等等..."},
    };
    auto* scrollView = window.findChild<QScrollArea*>(QStringLiteral("scrollView_"));
    ASSERT_NE(scrollView, nullptr);
    QWidget* page = scrollView->widget();
    ASSERT_NE(page, nullptr);
    for (const auto& [name, text] : labels) {
        auto* label = window.findChild<QLabel*>(QString::fromLatin1(name));
        ASSERT_TRUE(label && page->isAncestorOf(label)) << name;
        EXPECT_EQ(label->text(), QString::fromUtf8(text)) << name;
        const QRect onPage(label->mapTo(page, QPoint(0, 0)), label->size());
        EXPECT_TRUE(page->rect().contains(onPage)) << name;
    }
    // 583 wide, and 2045 high or more where the fonts need more room.
    EXPECT_TRUE(page->width() == 583 && page->height() >= 2045) << page->width() << " x " << page->height();
    // Taller than the window: it scrolls, and it opens at the top.
    EXPECT_GT(scrollView->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(scrollView->verticalScrollBar()->value(), 0);
    // The whole width of the page is in view.
    EXPECT_GE(scrollView->viewport()->width(), 583);

    // Beyond the eleven texts, the page explains pairing, what the phone can
    // do, the ports in use and what protects the computer.
    const QString text = AllText(*page);
    for (const char* topic : {"二维码", "显示IP地址", "TCP 端口 40111", "UDP 端口 40122", "设置密码", "激光笔", "剪贴板",
                              "开机启动", "新设备请求连接", "已信任的设备...", "corvane --trust", "密码由手机应用检查",
                              "只接受本机和局域网地址", "脚本默认不会执行", "冒用"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(topic))) << topic;
    EXPECT_FALSE(text.contains(QStringLiteral("1811")) || text.contains(QStringLiteral("1822")));
    EXPECT_FALSE(text.contains(QStringLiteral("%1")));
}

TEST(AboutWindow, NameVersionDescriptionAndLicence)
{
    DesktopApplication app{"offscreen"};
    AboutCtl window;
    window.show();
    const QString text = AllText(window);
    for (const QString& part : {QStringLiteral("Corvane"), QStringLiteral("版本 " CORVANE_VERSION),
                                QStringLiteral("MIT"), QStringLiteral("局域网")})
        EXPECT_TRUE(text.contains(part)) << part.toStdString();
    auto* icon = window.findChild<QLabel*>(QStringLiteral("iconLabel"));
    ASSERT_NE(icon, nullptr);
    EXPECT_FALSE(icon->pixmap().isNull());
}
