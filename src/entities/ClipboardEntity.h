#pragma once

class CData;

// Reads the clipboard for the phone: its text, and the files copied to it.
class ClipboardEntity {
public:
    ClipboardEntity() = delete;

    static void GetData(CData* reply);
    static void GetRichData(CData* reply);
};
