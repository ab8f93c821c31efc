#include "CData.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

CData::~CData()
{
    Clear();
}

void CData::Clear()
{
    delete[] pData;
    delete[] pFilePath;
    pData = nullptr;
    pFilePath = nullptr;
    if (fileFd >= 0)
        ::close(fileFd);
    fileFd = -1;
    size = 0;
}

void CData::SetData(const char* str)
{
    if (str == nullptr)
        return;
    const long long len = static_cast<long long>(std::strlen(str));
    Clear();
    pData = new char[len + 1]();
    std::memcpy(pData, str, static_cast<size_t>(len));
    size = len;
}

void CData::SetData(const void* buf, long long len)
{
    if (buf == nullptr || len < 1)
        return;
    Clear();
    pData = new char[len + 1]();
    std::memcpy(pData, buf, static_cast<size_t>(len));
    size = len;
}

void CData::SetDataByFilePath(const char* path)
{
    if (path == nullptr)
        return;
    Clear();
    const size_t len = std::strlen(path);
    pFilePath = new char[len + 1];
    std::memcpy(pFilePath, path, len + 1);
    size = -1;
    // Without blocking: opening a pipe would wait for a writer for ever.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return;
    }
    fileFd = fd;
    size = static_cast<long long>(st.st_size);
}

bool CData::Allocate(long long len)
{
    Clear();
    if (len < 0)
        return false;
    pData = new (std::nothrow) char[static_cast<size_t>(len) + 1]();
    if (pData == nullptr)
        return false;
    size = len;
    return true;
}

bool CData::Resize(long long len)
{
    if (len < 0 || pFilePath != nullptr)
        return false;
    char* grown = new (std::nothrow) char[static_cast<size_t>(len) + 1];
    if (grown == nullptr)
        return false;
    if (pData != nullptr)
        std::memcpy(grown, pData, static_cast<size_t>(std::min(size, len)));
    grown[len] = 0;
    delete[] pData;
    pData = grown;
    size = len;
    return true;
}

std::string_view CData::Text() const
{
    if (pData == nullptr || size <= 0)
        return {};
    return {pData, static_cast<size_t>(size)};
}
