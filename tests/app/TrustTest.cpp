// Trusted devices: phones at addresses of their own (network namespaces of
// the test) against the real service with the approval in front of it; the
// question window; the trusted-device window.
#include "Config.h"
#include "DeviceApproval.h"
#include "InProcessServer.h"
#include "MyServiceOp.h"
#include "NetworkNamespaces.h"
#include "Phone.h"
#include "QtApprovalPrompt.h"
#include "RecordingApprovalPrompt.h"
#include "SService.h"
#include "DesktopApplication.h"
#include "TempDir.h"
#include "TrustCtl.h"
#include "UserSandbox.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <arpa/inet.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <regex>
#include <tuple>

namespace {

// What became of a connection within waitMs: "served" (the device
// information with the password), "uploaded", other reply bytes as they
// are, "closed" (without a reply) or "open" (nothing yet).
std::string Outcome(RawConnection& phone, int waitMs)
{
    const std::string bytes = phone.readAll(waitMs);
    if (bytes.find("^_7pw1^_7180^_70^_7") != std::string::npos)
        return "served";
    if (bytes == "1" + RawConnection::framed("1"))
        return "uploaded";
    return !bytes.empty() ? bytes : phone.waitForClose(0) ? "closed" : "open";
}

// The trusted list as "address=name" words.
std::string TrustedList()
{
    std::string list;
    for (const TrustedDevice& device : Config::trustedDevices())
        list += (list.empty() ? "" : " ") + device.address + "=" + device.name;
    return list;
}

// The service in the server's namespace with the approval in front of it;
// questions go to a recording prompt and time out after 300 ms.
class Approval : public ::testing::Test {
protected:
    void SetUp() override
    {
        CORVANE_REQUIRE_NAMESPACES();
        nets.emplace(100);
        Config::setConnPwd("pw1");
        approval.answerLimit = std::chrono::milliseconds(300);
        NetworkNamespaces::Inside inside(*nets, NetworkNamespaces::Side::Server);
        server.emplace();
        server->service().peerGate = &approval;
    }

    // A connection from the phone's n-th address (-1: the server's own
    // loopback) that has sent its request.
    std::unique_ptr<RawConnection> send(int phone, const std::string& head, const std::string& body = "",
                                        const std::string& along = "")
    {
        auto connection = phone >= 0 ? nets->connect(phone, server->port()) : [&] {
            NetworkNamespaces::Inside inside(*nets, NetworkNamespaces::Side::Server);
            return std::make_unique<RawConnection>(server->port());
        }();
        connection->send(RawConnection::framed(head) + RawConnection::framed(body) + along);
        return connection;
    }

    UserSandbox sandbox;
    DesktopApplication app{"offscreen"};
    RecordingApprovalPrompt prompt;
    std::optional<NetworkNamespaces> nets;
    DeviceApproval approval;
    std::optional<InProcessServer> server;
};

} // namespace

TEST_F(Approval, EachAnswerDecidesOnceForEveryConnectionAndKindOfRequestOfItsAddress)
{
    approval.names().Remember(ntohl(inet_addr(NetworkNamespaces::phoneAddress(1).c_str())), "Pixel 7");
    TempDir folders;
    // The loopback (-1) and a phone while approval is off go unasked.
    enum Answer { Allow, Deny, Silence, Unasked, ApprovalOff };
    // Each row: the phone, the request's head, the answer, and the record:
    // the question and the request while it is open; the request and a
    // second connection after the answer; the list; a later connection, the
    // questions and those dismissed.
    using Row = std::tuple<int, std::string, Answer, std::string>;
    const std::string info = "OpKey_GetDeviceInfo", one = "; 10.213.1.11=Pixel 7; ",
                      two = "; 10.213.1.11=Pixel 7 10.213.1.15=; ", three = "; 10.213.1.11=Pixel 7 10.213.1.15= 10.213.1.17=; ";
    const std::vector<Row> rows = {
        {1, info, Allow, "Pixel 7|10.213.1.11 open 0 0; served 0 0 served" + one + "served 1 0"},
        {2, info, Deny, "|10.213.1.12 open 0 0; closed 0 0 closed" + one + "closed 1 0"},
        {3, info, Silence, "|10.213.1.13 open 0 0; closed 0 0 closed" + one + "closed 1 1"},
        {4, "keep_alive", Deny, "|10.213.1.14 open 0 0; closed 0 0 closed" + one + "closed 1 0"},
        {5, "keep_alive", Allow, "|10.213.1.15 open 0 0; open 1 0 served" + two + "served 1 0"},
        {6, "upload", Deny, "|10.213.1.16 open 0 0; closed 0 0 closed" + two + "closed 1 0"},
        {7, "upload", Allow, "|10.213.1.17 open 0 0; uploaded 0 1 served" + three + "served 1 0"},
        {8, info, ApprovalOff, "served 0 0 served" + three + "served 0 0"},
        {-1, info, Unasked, "served 0 0 served" + three + "served 0 0"},
    };
    for (const auto& [phone, head, answer, expected] : rows) {
        SCOPED_TRACE(phone);
        Config::setApproveDevices(answer != ApprovalOff);
        const std::string folder = folders.file(std::to_string(phone));
        std::filesystem::create_directory(folder);
        const bool upload = head == "upload", live = head == "keep_alive";
        std::string size = "5";
        size.resize(64, '\0');
        const size_t before = prompt.questions().size();
        prompt.dismissed = 0;
        auto first = send(phone, head, upload ? folder + "^_7note.txt" : "", upload ? size + "hello" : "");
        auto second = send(phone, info);
        // The request's outcome, the live channels open, the files uploaded.
        auto state = [&](int waitMs) {
            const std::string outcome = Outcome(*first, waitMs);
            return outcome + " " + std::to_string(keepAliveCnt.load()) + " " +
                   std::to_string(std::distance(std::filesystem::directory_iterator(folder), {}));
        };
        std::string record;
        if (answer < Unasked) {
            ASSERT_TRUE(app.pumpUntil([&] { return prompt.open(); }));
            app.pump(200); // both connections are held by now
            record = prompt.questions().back() + " " + state(0) + "; ";
            if (answer == Silence)
                ASSERT_TRUE(app.pumpUntil([&] { return !prompt.open(); }));
            else
                prompt.answer(answer == Allow);
            if (live && answer == Allow)
                app.pumpUntil([] { return keepAliveCnt.load() == 1; });
        }
        record += state(live ? 300 : 3000) + " " + Outcome(*second, 3000) + "; " + TrustedList() + "; ";
        auto later = send(phone, info);
        record += Outcome(*later, 3000);
        app.pump(100);
        record += " " + std::to_string(prompt.questions().size() - before) + " " + std::to_string(prompt.dismissed);
        EXPECT_EQ(record, expected);
        first->close();
        EXPECT_TRUE(app.pumpUntil([] { return keepAliveCnt.load() == 0; }));
    }

    // A change of the list made elsewhere forgets the refusals: the removed
    // phone and a refused one are asked again.
    EXPECT_TRUE(Config::untrustDevice(NetworkNamespaces::phoneAddress(1)));
    for (const int phone : {1, 2}) {
        auto connection = send(phone, info);
        ASSERT_TRUE(app.pumpUntil([&] { return prompt.open(); }));
        prompt.answer(false);
    }
    EXPECT_EQ(std::vector<std::string>(prompt.questions().end() - 2, prompt.questions().end()),
              std::vector<std::string>({"Pixel 7|10.213.1.11", "|10.213.1.12"}));
}

TEST_F(Approval, AHundredAddressesGetABoundedNumberOfQuestions)
{
    // Every address of the phone's network connects at once. Before any
    // question shows, all but those queued for one are refused; then each
    // question is denied as soon as it shows.
    auto wave = [&](int queued) {
        std::vector<std::unique_ptr<RawConnection>> phones;
        for (int n = 0; n < 100; ++n)
            phones.push_back(send(n, "OpKey_GetDeviceInfo"));
        auto closed = [&] {
            return std::count_if(phones.begin(), phones.end(), [](auto& phone) { return phone->waitForClose(0); });
        };
        Eventually([&] { return closed() >= 100 - queued; });
        const std::string record = std::to_string(closed()) + " refused at once, ";
        while (app.pumpUntil([&] { return prompt.open(); }, 1000))
            prompt.answer(false);
        for (auto& phone : phones)
            EXPECT_EQ(Outcome(*phone, 3000), "closed");
        return record + std::to_string(prompt.questions().size()) + " questions";
    };
    // One to show and four waiting; then the five refused addresses are not
    // asked again and five others are; then the window's ten are used up.
    EXPECT_EQ(wave(5), "95 refused at once, 5 questions");
    EXPECT_EQ(wave(5), "95 refused at once, 10 questions");
    EXPECT_EQ(wave(0), "100 refused at once, 10 questions");
    EXPECT_EQ(prompt.overlapping, 0);
}

TEST(ApprovalQuestion, AWindowAboveTheOthersWhoseButtonsAndCloseBoxAnswer)
{
    DesktopApplication app{"offscreen"};
    QtApprovalPrompt prompt;
    auto click = [](int index) { return [index](QMessageBox& box) { box.buttons()[index]->click(); }; };
    const std::string text = "（10.0.0.7）请求控制这台电脑。只允许您自己的手机。|允许 拒绝|拒绝|";
    const std::vector<std::tuple<std::string, std::function<void(QMessageBox&)>, std::string>> rows = {
        {"iPhone", click(0), "设备“iPhone”" + text + "allowed"},
        {"", click(1), "设备“未知设备”" + text + "denied"},
        // A name from the network is text, never markup or a placeholder.
        {"<b>%2</b>", [](QMessageBox& box) { box.close(); }, "设备“<b>%2</b>”" + text + "denied"},
        {"Pixel", [&](QMessageBox&) { prompt.dismiss(); }, "设备“Pixel”" + text + "none"},
    };
    for (const auto& [name, act, expected] : rows) {
        std::string answer = "none";
        prompt.ask(name, "10.0.0.7", [&](bool allowed) { answer = allowed ? "allowed" : "denied"; });
        QPointer<QMessageBox> box = prompt.openBox();
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->isVisible() && !box->isModal() && box->textFormat() == Qt::PlainText &&
                    box->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QStringList buttons;
        for (QAbstractButton* button : box->buttons())
            buttons << button->text();
        const QString shown = box->windowTitle() + '|' + box->text() + '|' + buttons.join(' ') + '|' +
                              box->defaultButton()->text() + '|';
        act(*box);
        EXPECT_TRUE(app.pumpUntil([&] { return box.isNull() && prompt.openBox() == nullptr; }));
        EXPECT_EQ(shown.toStdString() + answer, "新设备请求连接|" + expected);
    }
}

TEST(TrustedDevicesWindow, FollowsTheListAndTheSettingAndRemovesDevices)
{
    UserSandbox sandbox;
    DesktopApplication app{"offscreen"};
    TrustCtl window;
    window.show();
    auto* list = window.findChild<QTableWidget*>(QStringLiteral("deviceList"));
    auto* approve = window.findChild<QCheckBox*>(QStringLiteral("approveBox"));
    ASSERT_TRUE(list && approve);
    EXPECT_TRUE(window.findChild<QLabel*>(QStringLiteral("emptyLabel"))->isVisible());
    EXPECT_FALSE(list->isVisible());
    // The title, the check box, the headers and every row as "name address when button".
    auto shown = [&] {
        std::string text = window.windowTitle().toStdString() + ": " + approve->text().toStdString() +
                           (approve->isChecked() ? " on" : " off");
        for (int row = -1; row < list->rowCount(); ++row) {
            text += '|';
            for (int column = 0; column < 4; ++column) {
                QTableWidgetItem* item = row < 0 ? list->horizontalHeaderItem(column) : list->item(row, column);
                auto* button = static_cast<QPushButton*>(list->cellWidget(row, column));
                text += (item ? item->text() : button ? button->text() : QString()).toStdString() + ' ';
            }
        }
        return std::regex_replace(text, std::regex("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d"), "<when>");
    };
    // Changes made elsewhere show while the window is open.
    Config::trustDevice("192.168.1.23", "iPhone");
    Config::trustDevice("10.0.0.5", "");
    Config::setApproveDevices(false);
    EXPECT_TRUE(app.pumpUntil([&] { return list->rowCount() == 2 && !approve->isChecked(); }));
    EXPECT_EQ(shown(), "已信任的设备: 新设备需要批准 off|名称 地址 批准时间  |iPhone 192.168.1.23 <when> 移除 |"
                       "未知设备 10.0.0.5 <when> 移除 ");
    approve->click();
    EXPECT_TRUE(Config::isApproveDevices());
    static_cast<QPushButton*>(list->cellWidget(0, 3))->click();
    EXPECT_TRUE(app.pumpUntil([&] { return list->rowCount() == 1; }));
    EXPECT_EQ(TrustedList(), "10.0.0.5=");
    EXPECT_EQ(shown(), "已信任的设备: 新设备需要批准 on|名称 地址 批准时间  |未知设备 10.0.0.5 <when> 移除 ");
}
