#pragma once

class CData;

// Command of an "OpKey_Input" request.
enum InputCmdType : int {
    InputCmd_Show = 0,
    InputCmd_Hide = 1,
    InputCmd_SetText = 2,
    InputCmd_Poll = 3,
};

// Drives the text-input window on the main thread and answers
// "<send flag>^_7<text>".
class InputEntity {
public:
    InputEntity() = delete;

    static void InputCmd(InputCmdType type, const char* text, CData* reply);
};
