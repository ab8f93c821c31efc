#include "FileEntity.h"

#include "CData.h"

void FileEntity::GetFileList(const char*, CData*) {}

void FileEntity::GetFile(const char* path, CData* reply)
{
    reply->SetDataByFilePath(path);
}

void FileEntity::OpenURL(const char*, CData*) {}
void FileEntity::CreateFloder(const char*, CData*) {}
void FileEntity::OpenFile(const char*, CData*) {}
void FileEntity::GetFileShowInfo(const char*, CData*) {}
void FileEntity::GetFileIcon(const char*, CData*) {}
void FileEntity::GetScreenShotFile(CData*) {}
