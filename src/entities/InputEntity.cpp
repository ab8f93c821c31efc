#include "InputEntity.h"

#include "CData.h"
#include "InputWindow.h"
#include "MainQueue.h"
#include "SConfig.h"

#include <string>

// The window lives on the main thread: the connection thread hands the whole
// command over and waits, so the reply carries the window's state as it
// stood right after the command. Without a window (no display) every
// command answers flag 0 and no text.
void InputEntity::InputCmd(InputCmdType type, const char* text, CData* reply)
{
    const std::string given = text ? text : "";
    bool sendFlag = false;
    std::string result;
    MainQueue::instance().sync([&] {
        InputWindow* window = InputWindow::instance();
        if (window == nullptr)
            return;
        switch (type) {
        case InputCmd_Show: window->show(); break;
        case InputCmd_Hide: window->hide(); break;
        case InputCmd_SetText:
            window->resetTxt(given);
            result = window->getTxt();
            break;
        case InputCmd_Poll:
            // The text as it stood before the reset: the phone collects what
            // the user sent exactly once.
            sendFlag = window->getSendFlag();
            result = window->getTxt();
            if (sendFlag)
                window->resetSendFlag();
            break;
        default: break;
        }
    });
    const std::string record = (sendFlag ? "1" : "0") + std::string(SConfig::kFieldSep) + result;
    reply->SetData(record.data(), static_cast<long long>(record.size()));
}
