#include "RecordingInputWindow.h"

void RecordingInputWindow::record(std::string what)
{
    recorded.push_back({std::move(what), std::this_thread::get_id()});
}

void RecordingInputWindow::show()
{
    std::lock_guard lock(mutex);
    record("show");
    shown = true;
}

void RecordingInputWindow::hide()
{
    std::lock_guard lock(mutex);
    record("hide");
    shown = false;
}

void RecordingInputWindow::resetTxt(const std::string& text)
{
    std::lock_guard lock(mutex);
    record("resetTxt:" + text);
    shown = true;
    field = text;
}

std::string RecordingInputWindow::getTxt()
{
    std::lock_guard lock(mutex);
    record("getTxt");
    shown = true;
    return field;
}

bool RecordingInputWindow::getSendFlag()
{
    std::lock_guard lock(mutex);
    record("getSendFlag");
    return sendFlag;
}

void RecordingInputWindow::resetSendFlag()
{
    std::lock_guard lock(mutex);
    record("resetSendFlag");
    sendFlag = false;
    shown = true;
    field.clear();
}

void RecordingInputWindow::type(const std::string& text)
{
    std::lock_guard lock(mutex);
    field = text;
}

void RecordingInputWindow::pressSend()
{
    std::lock_guard lock(mutex);
    sendFlag = true;
}

bool RecordingInputWindow::visible() const { return read(shown); }
std::string RecordingInputWindow::text() const { return read(field); }
std::vector<RecordedCall> RecordingInputWindow::calls() const { return read(recorded); }

void RecordingInputWindow::clearCalls()
{
    std::lock_guard lock(mutex);
    recorded.clear();
}
