#pragma once

class CData;

// The phone's view of the file system: listings, downloads, URLs, folders,
// thumbnails and icons, screenshots.
class FileEntity {
public:
    FileEntity() = delete;

    static void GetFileList(const char* path, CData* reply);
    static void GetFile(const char* path, CData* reply);
    static void OpenURL(const char* url, CData* reply);
    static void CreateFloder(const char* path, CData* reply);
    static void OpenFile(const char* path, CData* reply);
    static void GetFileShowInfo(const char* path, CData* reply);
    static void GetFileIcon(const char* path, CData* reply);
    static void GetScreenShotFile(CData* reply);
};
