#pragma once

#include <string_view>

// The payload of one framed message: bytes in memory, or the contents of a
// file that is streamed when the payload is sent. Never copied; the owner
// passes it by pointer and deletes it.
class CData {
public:
    CData() = default;
    ~CData();
    CData(const CData&) = delete;
    CData& operator=(const CData&) = delete;

    // A copy of the zero-terminated text; a null text changes nothing.
    void SetData(const char* str);
    // A copy of len bytes; nothing happens unless buf is set and len >= 1.
    void SetData(const void* buf, long long len);
    // The payload becomes the file at path, opened now so that exactly the
    // size measured here is sent later. size is -1 when the path is not a
    // readable regular file.
    void SetDataByFilePath(const char* path);

    // Memory payload for the receive path: len + 1 zeroed bytes.
    // Returns false, leaving the payload empty, when they cannot be allocated.
    bool Allocate(long long len);
    // Makes the memory payload len bytes long, keeping the bytes it holds
    // (as many as fit); the bytes beyond them are left unset and byte len
    // is 0. Returns false, changing nothing, when the memory cannot be had.
    // The receive path grows a body this way as its bytes arrive.
    bool Resize(long long len);

    // The memory payload as text (empty for a file payload).
    std::string_view Text() const;
    bool IsFile() const { return pFilePath != nullptr; }
    // The descriptor opened by SetDataByFilePath, or -1.
    int FileDescriptor() const { return fileFd; }

    // Back to an empty payload, releasing what it held.
    void Clear();

    long long size = 0;
    char* pData = nullptr;
    char* pFilePath = nullptr;

private:
    int fileFd = -1;
};
