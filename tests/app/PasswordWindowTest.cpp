#include "Config.h"
#include "RecordingAlerts.h"
#include "SetCtl.h"
#include "ShellApplication.h"
#include "UserSandbox.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <gtest/gtest.h>

namespace {

class PasswordWindow : public ::testing::Test {
protected:
    template <typename T>
    static T* outlet(SetCtl& window, const char* name)
    {
        T* child = window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }

    // Types both fields and presses the submit button.
    void submit(SetCtl& window, const QString& password, const QString& confirmation)
    {
        outlet<QLineEdit>(window, "pwdTf_")->setText(password);
        outlet<QLineEdit>(window, "rePwdTf_")->setText(confirmation);
        outlet<QPushButton>(window, "setBtn_")->click();
    }

    static bool fieldsShown(SetCtl& window)
    {
        return outlet<QLineEdit>(window, "pwdTf_")->isVisible() && outlet<QLineEdit>(window, "rePwdTf_")->isVisible() &&
               outlet<QPushButton>(window, "setBtn_")->isVisible() &&
               !outlet<QScrollArea>(window, "scrollView_")->isVisible() &&
               !outlet<QPushButton>(window, "resetBtn_")->isVisible();
    }

    static bool resetShown(SetCtl& window)
    {
        return !outlet<QLineEdit>(window, "pwdTf_")->isVisible() && !outlet<QLineEdit>(window, "rePwdTf_")->isVisible() &&
               !outlet<QPushButton>(window, "setBtn_")->isVisible() &&
               outlet<QScrollArea>(window, "scrollView_")->isVisible() &&
               outlet<QPushButton>(window, "resetBtn_")->isVisible();
    }

    UserSandbox sandbox;
    ShellApplication app;
    RecordingAlerts alerts;
};

} // namespace

TEST_F(PasswordWindow, LabelsButtonsAndTheStateOfAFreshAccount)
{
    SetCtl window;
    window.show();
    EXPECT_EQ(outlet<QLabel>(window, "tf1_")->text(), "您已经设置了连接密码");
    EXPECT_EQ(outlet<QLabel>(window, "tf2_")->text(), "设置连接密码");
    EXPECT_EQ(outlet<QLabel>(window, "tf3_")->text(), "输入密码");
    EXPECT_EQ(outlet<QLabel>(window, "tf4_")->text(), "确认密码");
    EXPECT_EQ(outlet<QPushButton>(window, "resetBtn_")->text(), "重置");
    EXPECT_EQ(outlet<QPushButton>(window, "setBtn_")->text(), "提交");
    EXPECT_EQ(outlet<QLineEdit>(window, "pwdTf_")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(outlet<QLineEdit>(window, "rePwdTf_")->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(fieldsShown(window));
    // The three labels belong to neither state.
    EXPECT_TRUE(outlet<QLabel>(window, "tf2_")->isVisible());
    EXPECT_TRUE(outlet<QLabel>(window, "tf3_")->isVisible());
    EXPECT_TRUE(outlet<QLabel>(window, "tf4_")->isVisible());
}

TEST_F(PasswordWindow, ResetClearsTheStoredPasswordAtOnce)
{
    Config::setConnPwd("secret");
    {
        SetCtl window;
        window.show();
        EXPECT_TRUE(resetShown(window));
        EXPECT_TRUE(outlet<QLabel>(window, "tf2_")->isVisible());
        outlet<QPushButton>(window, "resetBtn_")->click();
        // Cleared before anything is submitted, and the fields are offered.
        EXPECT_EQ(Config::getConnPwd(), "");
        EXPECT_TRUE(fieldsShown(window));
        window.close();
    }
    EXPECT_EQ(Config::getConnPwd(), "");
    SetCtl reopened;
    reopened.show();
    EXPECT_TRUE(fieldsShown(reopened));
    EXPECT_TRUE(alerts.alerts().empty());
}

TEST_F(PasswordWindow, RefusalsComeOneAtATimeInTheirOrderAndKeepTheFields)
{
    struct Case {
        QString password;
        QString confirmation;
        QString message;
        QString informative;
    };
    const QString tooLong(31, QLatin1Char('x'));
    const std::vector<Case> cases = {
        {"", "", "请输入密码", "密码不能为空"},
        {"", "abc", "请输入密码", "密码不能为空"},
        {tooLong, "", "密码太长", "密码最大长度:30"},
        {tooLong, tooLong, "密码太长", "密码最大长度:30"},
        {"abc", "", "请输入确认密码", "确认密码不能为空"},
        {"abc", "abd", "确认密码不正确!!!", "确认密码与密码不相同"},
        {"abc", "abc ", "确认密码不正确!!!", "确认密码与密码不相同"},
        {"Abc", "abc", "确认密码不正确!!!", "确认密码与密码不相同"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.password.toStdString() + " / " + c.confirmation.toStdString());
        alerts.clear();
        SetCtl window;
        window.show();
        submit(window, c.password, c.confirmation);
        const auto shown = alerts.alerts();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].message, c.message);
        EXPECT_EQ(shown[0].informativeText, c.informative);
        EXPECT_EQ(shown[0].button, "确定");
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(outlet<QLineEdit>(window, "pwdTf_")->text(), c.password);
        EXPECT_EQ(outlet<QLineEdit>(window, "rePwdTf_")->text(), c.confirmation);
        EXPECT_EQ(Config::getConnPwd(), "");
    }
}

TEST_F(PasswordWindow, LengthIsCountedInUtf16UnitsUpToThirty)
{
    const QString emoji = QString::fromUtf8("\xF0\x9F\x94\x92"); // one character, two UTF-16 units
    struct Case {
        QString password;
        bool accepted;
    };
    const std::vector<Case> cases = {
        {QString(30, QLatin1Char('a')), true},
        {QString(31, QLatin1Char('a')), false},
        {QString(30, QChar(0x5BC6)), true}, // 密 x 30
        {QString(31, QChar(0x5BC6)), false},
        {emoji.repeated(15), true},
        {emoji.repeated(15) + QLatin1Char('a'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.password.toStdString());
        alerts.clear();
        Config::setConnPwd(nullptr);
        SetCtl window;
        window.show();
        submit(window, c.password, c.password);
        const auto shown = alerts.alerts();
        ASSERT_EQ(shown.size(), 1u);
        if (c.accepted) {
            EXPECT_EQ(shown[0].message, "设置成功");
            EXPECT_EQ(Config::getConnPwd(), c.password.toStdString());
        } else {
            EXPECT_EQ(shown[0].message, "密码太长");
            EXPECT_EQ(Config::getConnPwd(), "");
        }
    }
}

TEST_F(PasswordWindow, ASubmittedPasswordIsStoredAsTypedThenTheWindowHides)
{
    for (const QString& password : {QStringLiteral("  two  spaces "), QStringLiteral("   "), QStringLiteral("密码 pass")}) {
        SCOPED_TRACE(password.toStdString());
        alerts.clear();
        Config::setConnPwd(nullptr);
        SetCtl window;
        window.show();
        // The window stays up while the user reads the confirmation.
        bool visibleDuringAlert = false;
        std::string storedDuringAlert;
        alerts.setWhileShown([&](const RecordingAlerts::Alert&) {
            visibleDuringAlert = window.isVisible();
            storedDuringAlert = Config::getConnPwd();
        });
        submit(window, password, password);
        alerts.setWhileShown(nullptr);
        const auto shown = alerts.alerts();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].message, "设置成功");
        EXPECT_EQ(shown[0].informativeText, "现在需要密码才能连接该设备");
        EXPECT_EQ(shown[0].button, "确定");
        EXPECT_TRUE(visibleDuringAlert);
        EXPECT_EQ(storedDuringAlert, password.toStdString());
        EXPECT_FALSE(window.isVisible());
        EXPECT_EQ(Config::getConnPwd(), password.toStdString());
    }
    // The next opening shows the password-set state.
    SetCtl reopened;
    reopened.show();
    EXPECT_TRUE(resetShown(reopened));
}
