#include "DesktopEntry.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// Desktop entries are a few kilobytes; anything far larger is not one.
constexpr std::streamoff kMaxEntryBytes = 1 << 20;

std::string Trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// Undoes the string escapes. A backslash before ';' is kept for list
// splitting (keepSemicolon) or becomes a plain ';'.
std::string Unescape(const std::string& value, bool keepSemicolon)
{
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const char next = value[++i];
        switch (next) {
        case 's': out += ' '; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case '\\': out += keepSemicolon ? "\\\\" : "\\"; break;
        case ';': out += keepSemicolon ? "\\;" : ";"; break;
        default: out += '\\'; out += next; break;
        }
    }
    return out;
}

} // namespace

std::optional<DesktopEntry> DesktopEntry::load(const std::string& filePath, const std::string& id)
{
    std::ifstream file(filePath, std::ios::binary);
    if (!file)
        return std::nullopt;
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    if (size < 0 || size > kMaxEntryBytes)
        return std::nullopt;
    file.seekg(0);
    std::ostringstream text;
    text << file.rdbuf();
    return parse(text.str(), filePath, id);
}

std::optional<DesktopEntry> DesktopEntry::parse(const std::string& text, const std::string& filePath,
                                                const std::string& id)
{
    DesktopEntry entry;
    entry.entryId = id;
    entry.path = filePath;
    bool inGroup = false;
    bool sawGroup = false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == '#')
            continue;
        if (trimmed[0] == '[') {
            // The keys of the first [Desktop Entry] group; other groups
            // (actions, vendor extensions) are skipped.
            inGroup = trimmed == "[Desktop Entry]" && !sawGroup;
            sawGroup = sawGroup || inGroup;
            continue;
        }
        if (!inGroup)
            continue;
        const auto equals = trimmed.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = Trim(trimmed.substr(0, equals));
        if (key.empty())
            continue;
        // The first occurrence of a key counts; duplicates are invalid files.
        entry.values.emplace(key, Trim(trimmed.substr(equals + 1)));
    }
    if (!sawGroup || entry.values.empty())
        return std::nullopt;
    return entry;
}

std::string DesktopEntry::raw(const std::string& key) const
{
    const auto found = values.find(key);
    return found == values.end() ? std::string() : found->second;
}

bool DesktopEntry::has(const std::string& key) const
{
    return values.count(key) != 0;
}

std::string DesktopEntry::string(const std::string& key) const
{
    return Unescape(raw(key), false);
}

std::string DesktopEntry::localeString(const std::string& key) const
{
    const std::string locale = messagesLocale();
    if (!locale.empty()) {
        // lang_COUNTRY@MODIFIER split into its parts.
        std::string lang = locale, country, modifier;
        if (const auto at = lang.find('@'); at != std::string::npos) {
            modifier = lang.substr(at + 1);
            lang.erase(at);
        }
        if (const auto underscore = lang.find('_'); underscore != std::string::npos) {
            country = lang.substr(underscore + 1);
            lang.erase(underscore);
        }
        std::vector<std::string> candidates;
        if (!country.empty() && !modifier.empty())
            candidates.push_back(lang + "_" + country + "@" + modifier);
        if (!country.empty())
            candidates.push_back(lang + "_" + country);
        if (!modifier.empty())
            candidates.push_back(lang + "@" + modifier);
        candidates.push_back(lang);
        for (const std::string& candidate : candidates) {
            const auto found = values.find(key + "[" + candidate + "]");
            if (found != values.end() && !found->second.empty())
                return Unescape(found->second, false);
        }
    }
    return string(key);
}

bool DesktopEntry::boolean(const std::string& key) const
{
    const std::string value = raw(key);
    return value == "true" || value == "1";
}

std::vector<std::string> DesktopEntry::list(const std::string& key) const
{
    const std::string value = Unescape(raw(key), true);
    std::vector<std::string> items;
    std::string item;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            const char next = value[++i];
            item += next == ';' ? ';' : next; // "\;" and "\\" were kept for this step
            continue;
        }
        if (value[i] == ';') {
            if (!item.empty())
                items.push_back(item);
            item.clear();
            continue;
        }
        item += value[i];
    }
    if (!item.empty())
        items.push_back(item);
    return items;
}

std::string DesktopEntry::messagesLocale()
{
    std::string locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != 0) {
            locale = value;
            break;
        }
    }
    if (locale == "C" || locale == "POSIX" || locale.rfind("C.", 0) == 0)
        return {};
    // Drop the encoding: lang_COUNTRY.ENCODING@MODIFIER -> lang_COUNTRY@MODIFIER.
    const auto dot = locale.find('.');
    if (dot != std::string::npos) {
        const auto at = locale.find('@', dot);
        locale = locale.substr(0, dot) + (at == std::string::npos ? std::string() : locale.substr(at));
    }
    return locale;
}
