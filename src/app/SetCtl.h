#pragma once

#include "WindowCtl.h"

#include <memory>

namespace Ui {
class SetCtl;
}

// The connection password window. With a password stored it shows that a
// password is set and offers to reset it; without one it offers the two
// password fields and the submit button. The password is kept in Config
// exactly as typed; the phone app is the one that checks it.
class SetCtl : public WindowCtl {
    Q_OBJECT
public:
    explicit SetCtl(QWidget* parent = nullptr);
    ~SetCtl() override;

    // Longest password accepted, in UTF-16 units.
    static constexpr int kMaxPasswordLength = 30;

public slots:
    // Clears the stored password at once and shows the password fields.
    void reSetPwd();
    // Checks the two fields and stores the password, or tells the user
    // what is wrong and leaves the fields as they are.
    void setPwd();

private:
    void windowDidLoad();
    void showPasswordSetState(bool passwordSet);

    std::unique_ptr<Ui::SetCtl> ui;
};
