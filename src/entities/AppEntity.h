#pragma once

class CData;

// The installed desktop applications, shown as "/Applications/<id>.app".
class AppEntity {
public:
    AppEntity() = delete;

    static void GetAppList(CData* reply);
    static void OpenApp(const char* path, CData* reply);
    static void ActiviteApp(const char* path, CData* reply);
    static void ExitApp(const char* path, CData* reply);
    static void CloseApp(const char* path, CData* reply);
};
