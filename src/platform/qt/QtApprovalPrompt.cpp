#include "QtApprovalPrompt.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

QtApprovalPrompt::~QtApprovalPrompt()
{
    dismiss();
}

void QtApprovalPrompt::ask(const std::string& name, const std::string& address, std::function<void(bool)> answered)
{
    dismiss();
    const QString shownName = name.empty() ? QCoreApplication::translate("QtApprovalPrompt", "未知设备")
                                           : QString::fromStdString(name);
    box = new QMessageBox;
    box->setAttribute(Qt::WA_DeleteOnClose);
    // The box does not block the program; setting the modality clears the
    // window flags, so it comes first.
    box->setWindowModality(Qt::NonModal);
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
    box->setWindowTitle(QCoreApplication::translate("QtApprovalPrompt", "新设备请求连接"));
    const QIcon icon = QApplication::windowIcon();
    if (!icon.isNull())
        box->setIconPixmap(icon.pixmap(64, 64));
    // The name comes from the network: shown as plain text, never as markup.
    box->setTextFormat(Qt::PlainText);
    box->setText(QCoreApplication::translate("QtApprovalPrompt", "设备“%1”（%2）请求控制这台电脑。只允许您自己的手机。")
                     .arg(shownName, QString::fromStdString(address)));
    QPushButton* allow = box->addButton(QCoreApplication::translate("QtApprovalPrompt", "允许"), QMessageBox::AcceptRole);
    QPushButton* deny = box->addButton(QCoreApplication::translate("QtApprovalPrompt", "拒绝"), QMessageBox::RejectRole);
    // A key pressed by chance must not let a device in.
    box->setDefaultButton(deny);
    box->setEscapeButton(deny);
    onAnswer = std::move(answered);
    // A button ends the box with that button clicked; the close button
    // ends it with none.
    QMessageBox* shown = box;
    answerConnection = QObject::connect(shown, &QDialog::finished, shown, [this, shown, allow] {
        // The answer may open the next question at once.
        box = nullptr;
        auto answer = std::move(onAnswer);
        onAnswer = nullptr;
        if (answer)
            answer(shown->clickedButton() == allow);
    });
    box->show();
    box->raise();
    box->activateWindow();
}

void QtApprovalPrompt::dismiss()
{
    onAnswer = nullptr;
    if (QMessageBox* open = box.data()) {
        box = nullptr;
        QObject::disconnect(answerConnection);
        open->close();
    }
}
