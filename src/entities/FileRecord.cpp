#include "FileRecord.h"

#include "SCommon.h"
#include "SConfig.h"

#include <cinttypes>
#include <cstdio>

namespace {

// Fields 1 to 10, each followed by the record field separator.
void AppendFields(std::string& out, const FileEntryInfo& info)
{
    char number[64];
    const std::string sep = SConfig::kRecordSep;
    out += "0" + sep;
    out += std::to_string(static_cast<int>(SysType_Desktop)) + sep;
    out += (info.hidden ? "1" : "0") + sep;
    out += info.displayName + sep;
    out += info.name + sep;
    out += (info.isDirectory ? "1" : "0") + sep;
    std::snprintf(number, sizeof number, "%" PRIu64, info.size);
    out += number + sep;
    std::snprintf(number, sizeof number, "%f", info.created);
    out += number + sep;
    std::snprintf(number, sizeof number, "%f", info.modified);
    out += number + sep;
    out += info.runningApp ? "1" : "0";
}

} // namespace

void FileRecord::AppendEntry(std::string& out, const FileEntryInfo& info)
{
    AppendFields(out, info);
    out += SConfig::kFieldSep;
}

void FileRecord::AppendClipboardEntry(std::string& out, const FileEntryInfo& info, const std::string& path)
{
    AppendFields(out, info);
    out += SConfig::kRecordSep;
    out += path;
    out += SConfig::kFieldSep;
}
