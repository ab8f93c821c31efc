#pragma once

#include "ApprovalPrompt.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>

// The question as a message box above other windows, with the buttons
// "允许" (allow) and "拒绝" (deny); the Escape key, the Return key and the
// window's close button deny. The box does not block: the program goes on
// serving trusted phones while it is open.
class QtApprovalPrompt : public ApprovalPrompt {
public:
    QtApprovalPrompt() = default;
    ~QtApprovalPrompt() override;
    QtApprovalPrompt(const QtApprovalPrompt&) = delete;
    QtApprovalPrompt& operator=(const QtApprovalPrompt&) = delete;

    void ask(const std::string& name, const std::string& address, std::function<void(bool)> answered) override;
    void dismiss() override;

    // The open question, or null.
    QMessageBox* openBox() const { return box.data(); }

private:
    QPointer<QMessageBox> box;
    std::function<void(bool)> onAnswer;
    QMetaObject::Connection answerConnection;
};
