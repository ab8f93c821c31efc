#include "SetCtl.h"

#include "Alerts.h"
#include "Config.h"
#include "SConfig.h"
#include "ui_SetCtl.h"

SetCtl::SetCtl(QWidget* parent) : WindowCtl(parent), ui(std::make_unique<Ui::SetCtl>())
{
    ui->setupUi(this);
    connect(ui->resetBtn_, &QPushButton::clicked, this, &SetCtl::reSetPwd);
    connect(ui->setBtn_, &QPushButton::clicked, this, &SetCtl::setPwd);
    connect(ui->rePwdTf_, &QLineEdit::returnPressed, this, &SetCtl::setPwd);
    windowDidLoad();
}

SetCtl::~SetCtl() = default;

void SetCtl::windowDidLoad()
{
    ui->tf1_->setText(tr("您已经设置了连接密码"));
    ui->tf2_->setText(tr("设置连接密码"));
    ui->tf3_->setText(tr("输入密码"));
    ui->tf4_->setText(tr("确认密码"));
    ui->resetBtn_->setText(tr("重置"));
    ui->setBtn_->setText(tr("提交"));
    showPasswordSetState(!Config::getConnPwd().empty());
}

void SetCtl::showPasswordSetState(bool passwordSet)
{
    ui->scrollView_->setVisible(passwordSet);
    ui->resetBtn_->setVisible(passwordSet);
    ui->pwdTf_->setVisible(!passwordSet);
    ui->rePwdTf_->setVisible(!passwordSet);
    ui->setBtn_->setVisible(!passwordSet);
    if (!passwordSet)
        ui->pwdTf_->setFocus();
}

void SetCtl::reSetPwd()
{
    showPasswordSetState(false);
    Config::setConnPwd(nullptr);
    update();
}

void SetCtl::setPwd()
{
    const QString password = ui->pwdTf_->text();
    const QString confirmation = ui->rePwdTf_->text();
    const QString ok = tr("确定");
    Alerts& alerts = Alerts::instance();
    if (password.isEmpty()) {
        alerts.show(tr("请输入密码"), tr("密码不能为空"), ok);
        return;
    }
    if (password.length() > kMaxPasswordLength) {
        alerts.show(tr("密码太长"), tr("密码最大长度:%1").arg(kMaxPasswordLength), ok);
        return;
    }
    // The device information carries the password as one of its fields, so
    // a field separator in it would shift every later field.
    if (password.contains(QString::fromLatin1(SConfig::kFieldSep))) {
        alerts.show(tr("密码包含不允许的字符"), tr("密码不能包含 ^_7"), ok);
        return;
    }
    if (confirmation.isEmpty()) {
        alerts.show(tr("请输入确认密码"), tr("确认密码不能为空"), ok);
        return;
    }
    if (password != confirmation) {
        alerts.show(tr("确认密码不正确!!!"), tr("确认密码与密码不相同"), ok);
        return;
    }
    Config::setConnPwd(password.toUtf8().constData());
    alerts.show(tr("设置成功"), tr("现在需要密码才能连接该设备"), ok);
    hide();
}
