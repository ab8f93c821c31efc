#pragma once

class CData;

// The installed desktop applications, shown as "/Applications/<id>.app":
// one entry per XDG desktop entry, addressed by its entry id.
class AppEntity {
public:
    AppEntity() = delete;

    static void GetAppList(CData* reply);
    static void OpenApp(const char* path, CData* reply);
    static void ActiviteApp(const char* path, CData* reply);
    static void ExitApp(const char* path, CData* reply);
    static void CloseApp(const char* path, CData* reply);

    // For the file listing: fills the reply with the application listing
    // and returns true when path is exactly "/Applications" and no real
    // folder of that name exists; otherwise returns false and leaves the
    // reply alone.
    static bool ListVirtualFolder(const char* path, CData* reply);
    // For the file icons: fills the reply with the PNG icon of the listed
    // application "/Applications/<id>.app" (the program's generic icon when
    // its own cannot be found) and returns true; returns false, leaving the
    // reply alone, for any other path or when a real "/Applications" exists.
    static bool IconForPath(const char* path, CData* reply);
};
