#pragma once

#include "SRequest.h"

// Sends a file to the service: head "upload", body "folder^_7name" (with
// "^_71" for the contact backup), the length, then the bytes once the
// service has acknowledged that it created the target.
class SUpload : public SRequest {
public:
    SUpload() = default;
    ~SUpload() = default;

    // Uploads the file at path. The reply ("1" or "0") lands in reply.
    // Returns NR_SendError when the service refused the target ("0").
    NetResult UploadFile(const char* path, const char* folder, const char* name, bool contact, CData* reply);
};
