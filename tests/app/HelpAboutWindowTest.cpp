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
    auto* scrollView = window.findChild<QScrollArea*>(QStringLiteral("scrollView_"));
    ASSERT_NE(scrollView, nullptr);
    QWidget* page = scrollView->widget();
    ASSERT_NE(page, nullptr);
    // Eleven texts (tf0_ to tf10_), each within the page.
    for (int i = 0; i <= 10; ++i) {
        auto* label = window.findChild<QLabel*>(QStringLiteral("tf%1_").arg(i));
        ASSERT_TRUE(label && page->isAncestorOf(label) && !label->text().isEmpty()) << i;
        EXPECT_TRUE(page->rect().contains(QRect(label->mapTo(page, QPoint(0, 0)), label->size()))) << i;
    }
    // 583 wide, and 2045 high or more where the fonts need more room.
    EXPECT_TRUE(page->width() == 583 && page->height() >= 2045) << page->width() << " x " << page->height();
    // Taller than the window: it scrolls, and it opens at the top.
    EXPECT_GT(scrollView->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(scrollView->verticalScrollBar()->value(), 0);
    // The whole width of the page is in view.
    EXPECT_GE(scrollView->viewport()->width(), 583);

    // The page explains pairing, what the phone can do, the ports in use and
    // what protects the computer.
    const QString text = AllText(*page);
    for (const char* topic : {"Corvane在这里", "手机怎么控制我的电脑?", "自动搜索", "输入IP地址", "二维码",
                              "显示IP地址", "TCP 端口 40111", "UDP 端口 40122", "设置密码", "激光笔", "剪贴板",
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
