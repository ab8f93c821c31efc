#include "SUpload.h"

#include "CData.h"
#include "SConfig.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

NetResult SUpload::UploadFile(const char* path, const char* folder, const char* name, bool contact, CData* reply)
{
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC); // a pipe must not block
    if (fd < 0)
        return NR_SendError;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return NR_SendError;
    }
    std::string bodyText = std::string(folder) + SConfig::kFieldSep + name;
    if (contact)
        bodyText += std::string(SConfig::kFieldSep) + "1";

    CData head;
    CData body;
    head.SetData(SConfig::kHeadUpload);
    body.SetData(bodyText.c_str());
    pResponse = reply;

    NetResult result = ConnService();
    if (result == NR_OK)
        result = SendHead(&head);
    if (result == NR_OK)
        result = SendBody(&body);
    if (result == NR_OK && !SendSizePacket(sock, st.st_size))
        result = NR_SendError;
    char ack[2] = {};
    if (result == NR_OK && !RecvToBuf(sock, ack, 1, 1, 0))
        result = NR_RecvResponseError;
    if (result == NR_OK && ack[0] != '1')
        result = NR_SendError;
    off_t offset = 0;
    while (result == NR_OK && offset < st.st_size) {
        const ssize_t sent = ::sendfile(sock, fd, &offset, static_cast<size_t>(st.st_size - offset));
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            result = NR_SendError;
    }
    ::close(fd);
    // After a refusal ("0") the service still sends its reply; collect it so
    // the caller sees the service's answer.
    if (result == NR_OK || ack[0] == '0') {
        const NetResult replied = RecvResponse();
        if (result == NR_OK)
            result = replied;
    }
    return result;
}
