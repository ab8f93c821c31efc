#include "Config.h"
#include "SetCtl.h"
#include "DesktopApplication.h"
#include "RecordingAlerts.h"
#include "UserSandbox.h"

#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

// Shown while no password is set, and once one is.
const std::string kFieldsShown = "pwdTf_ rePwdTf_ setBtn_ tf2_ tf3_ tf4_ ";
const std::string kResetShown = "scrollView_ resetBtn_ tf2_ tf3_ tf4_ ";

class PasswordWindow : public ::testing::Test {
protected:
    template <typename T = QWidget>
    static T* part(SetCtl& window, const char* name)
    {
        T* child = window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }

    static std::string visibleParts(SetCtl& window)
    {
        std::string names;
        for (const char* name : {"pwdTf_", "rePwdTf_", "setBtn_", "scrollView_", "resetBtn_", "tf2_", "tf3_", "tf4_"})
            names += part(window, name)->isVisible() ? std::string(name) + ' ' : "";
        return names;
    }

    UserSandbox sandbox;
    DesktopApplication app{"offscreen"};
    RecordingAlerts alerts;
};

} // namespace

TEST_F(PasswordWindow, TheStateOfAFreshAccount)
{
    SetCtl window;
    window.show();
    for (const char* name : {"pwdTf_", "rePwdTf_"})
        EXPECT_EQ(part<QLineEdit>(window, name)->echoMode(), QLineEdit::Password) << name;
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(visibleParts(window), kFieldsShown);
}

TEST_F(PasswordWindow, ResetClearsTheStoredPasswordAtOnce)
{
    Config::setConnPwd("secret");
    {
        SetCtl window;
        window.show();
        EXPECT_EQ(visibleParts(window), kResetShown);
        part<QPushButton>(window, "resetBtn_")->click();
        // Cleared before anything is submitted, and the fields are offered.
        EXPECT_EQ(Config::getConnPwd(), "");
        EXPECT_EQ(visibleParts(window), kFieldsShown);
    }
    SetCtl reopened;
    reopened.show();
    EXPECT_EQ(visibleParts(reopened), kFieldsShown);
    EXPECT_EQ(alerts.shown(), "");
}

TEST_F(PasswordWindow, ASubmissionIsRefusedForOneReasonAtATimeOrStoredAsTypedAndTheWindowHides)
{
    const std::string stored = "设置成功|现在需要密码才能连接该设备|确定\n";
    const std::string empty = "请输入密码|密码不能为空|确定\n";
    const std::string tooLong = "密码太长|密码最大长度:30|确定\n";
    const std::string mismatch = "确认密码不正确!!!|确认密码与密码不相同|确定\n";
    const std::string separator = "密码包含不允许的字符|密码不能包含 ^_7|确定\n";
    // Lengths count UTF-16 units: the emoji takes two.
    const QString a30(30, QLatin1Char('a')), mi30(30, QChar(0x5BC6)), lock15 = QString::fromUtf8("🔒").repeated(15);
    struct Case {
        QString password;
        QString confirmation;
        std::string alert;
    };
    const std::vector<Case> cases = {
        {"", "", empty},
        {"", "abc", empty},
        {a30 + 'x', "", tooLong},
        {"abc", "", "请输入确认密码|确认密码不能为空|确定\n"},
        {"abc", "abd", mismatch},
        {"abc", "abc ", mismatch},
        {"Abc", "abc", mismatch},
        {a30, a30, stored},
        {a30 + 'x', a30 + 'x', tooLong},
        {mi30, mi30, stored},
        {mi30 + QChar(0x5BC6), mi30 + QChar(0x5BC6), tooLong},
        {lock15, lock15, stored},
        {lock15 + 'a', lock15 + 'a', tooLong},
        {"  two  spaces ", "  two  spaces ", stored},
        {"   ", "   ", stored},
        {"密码 pass", "密码 pass", stored},
        // The device information's field separator would shift its fields.
        {"a^_7b", "a^_7b", separator},
        {"^_7", "", separator},
        {"a^_8 _7^", "a^_8 _7^", stored},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.password.toStdString() + " / " + c.confirmation.toStdString());
        alerts.clear();
        Config::setConnPwd(nullptr);
        SetCtl window;
        window.show();
        // The window stays up while the user reads the alert.
        bool visibleDuringAlert = false;
        std::string storedDuringAlert;
        alerts.setWhileShown([&](const RecordingAlerts::Alert&) {
            visibleDuringAlert = window.isVisible();
            storedDuringAlert = Config::getConnPwd();
        });
        part<QLineEdit>(window, "pwdTf_")->setText(c.password);
        part<QLineEdit>(window, "rePwdTf_")->setText(c.confirmation);
        part<QPushButton>(window, "setBtn_")->click();
        alerts.setWhileShown(nullptr);

        EXPECT_EQ(alerts.shown(), c.alert);
        const bool accepted = c.alert == stored;
        EXPECT_TRUE(visibleDuringAlert);
        EXPECT_EQ(window.isVisible(), !accepted);
        EXPECT_EQ(Config::getConnPwd(), accepted ? c.password.toStdString() : "");
        EXPECT_EQ(storedDuringAlert, Config::getConnPwd());
        if (!accepted) {
            EXPECT_EQ(part<QLineEdit>(window, "pwdTf_")->text(), c.password);
            EXPECT_EQ(part<QLineEdit>(window, "rePwdTf_")->text(), c.confirmation);
        }
    }
    SetCtl reopened;
    reopened.show();
    EXPECT_EQ(visibleParts(reopened), kResetShown);
}
