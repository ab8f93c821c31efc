#include "FileRecord.h"

#include "SCommon.h"
#include "SConfig.h"

#include <charconv>

namespace {

// "%llu" of the number, without the cost of a format string.
void AppendNumber(std::string& out, std::uint64_t value)
{
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

// "%f" of the seconds: six decimals, correctly rounded like printf.
void AppendSeconds(std::string& out, double seconds)
{
    char text[400];
    const auto result = std::to_chars(text, text + sizeof text, seconds, std::chars_format::fixed, 6);
    if (result.ec == std::errc())
        out.append(text, result.ptr);
    else
        out += "0.000000";
}

// Fields 1 to 10, each followed by the record field separator but the last.
void AppendFields(std::string& out, const FileEntryInfo& info)
{
    const char* sep = SConfig::kRecordSep;
    out += '0';
    out += sep;
    AppendNumber(out, static_cast<std::uint64_t>(SysType_Desktop));
    out += sep;
    out += info.hidden ? '1' : '0';
    out += sep;
    out += wirePath(info.displayName);
    out += sep;
    out += wirePath(info.name);
    out += sep;
    out += info.isDirectory ? '1' : '0';
    out += sep;
    AppendNumber(out, info.size);
    out += sep;
    AppendSeconds(out, info.created);
    out += sep;
    AppendSeconds(out, info.modified);
    out += sep;
    out += info.runningApp ? '1' : '0';
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
    out += wirePath(path);
    out += SConfig::kFieldSep;
}
