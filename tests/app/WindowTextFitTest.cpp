#include "AboutCtl.h"
#include "Config.h"
#include "HelpCtl.h"
#include "QRCodeCtl.h"
#include "SetCtl.h"
#include "DesktopApplication.h"
#include "RecordingAlerts.h"
#include "TrayHost.h"
#include "UserSandbox.h"

#include <QFontDatabase>
#include <QLabel>
#include <gtest/gtest.h>

// Every label of every window, laid out as the user sees it, has the room its
// text needs: the height of its wrapped lines at its width, or its whole size
// when it does not wrap. Measured with Noto CJK, the font Corvane installs
// for the Chinese texts, whose lines are taller than the layouts' design.
TEST(WindowTexts, NoLabelIsShorterThanItsTextNeedsWithNotoCjk)
{
    DesktopApplication app{"offscreen"};
    const QStringList noto = QFontDatabase::families(QFontDatabase::SimplifiedChinese).filter("Noto Sans CJK");
    CORVANE_REQUIRE_TOOLS(!noto.isEmpty(), "fonts-noto-cjk");
    UserSandbox sandbox;
    RecordingAlerts alerts;

    std::vector<std::unique_ptr<WindowCtl>> windows;
    windows.push_back(std::make_unique<HelpCtl>());
    windows.push_back(std::make_unique<AboutCtl>());
    windows.push_back(std::make_unique<SetCtl>()); // no password: the two fields
    Config::setConnPwd("secret");
    windows.push_back(std::make_unique<SetCtl>()); // a password set: the reset button
    auto pairing = std::make_unique<QRCodeCtl>([] { return std::vector<std::string>{"192.168.1.5"}; });
    ASSERT_TRUE(pairing->updateQRImg());
    windows.push_back(std::move(pairing));
    for (const std::unique_ptr<WindowCtl>& window : windows) {
        window->center();
        window->show();
    }
    app.pump(100);

    int checked = 0;
    for (const std::unique_ptr<WindowCtl>& window : windows) {
        for (const QLabel* label : window->findChildren<QLabel*>()) {
            // A picture scaled to its label has no size of its own.
            if (!label->isVisibleTo(window.get()) || label->hasScaledContents())
                continue;
            ++checked;
            const std::string where = window->metaObject()->className() + (' ' + label->objectName()).toStdString();
            const QSize needed = label->wordWrap() ? QSize(0, label->heightForWidth(label->width())) : label->sizeHint();
            EXPECT_GE(label->height(), needed.height()) << where;
            EXPECT_GE(label->width(), needed.width()) << where;
        }
    }
    EXPECT_GT(checked, 50);
}
