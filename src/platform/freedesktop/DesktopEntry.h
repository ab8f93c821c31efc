#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

// The [Desktop Entry] group of one .desktop file: its keys with their
// localised variants, read by the Desktop Entry rules (escapes, lists,
// booleans, the LC_MESSAGES locale matching).
class DesktopEntry {
public:
    // Reads the file. Empty when it cannot be read, is larger than a desktop
    // entry sensibly is, or has no [Desktop Entry] group.
    static std::optional<DesktopEntry> load(const std::string& filePath, const std::string& id);
    // The same from text already in memory.
    static std::optional<DesktopEntry> parse(const std::string& text, const std::string& filePath,
                                             const std::string& id);

    // The entry id ("org.example.Editor" for org/example/Editor.desktop)
    // and the file it came from.
    const std::string& id() const { return entryId; }
    const std::string& filePath() const { return path; }

    bool has(const std::string& key) const;
    // The unlocalised value with the string escapes (\s \n \t \r \\) undone;
    // empty when the key is absent.
    std::string string(const std::string& key) const;
    // The value for the messages locale of the environment (LC_ALL,
    // LC_MESSAGES, LANG): lang_COUNTRY@MODIFIER, lang_COUNTRY, lang@MODIFIER,
    // lang, then the unlocalised value.
    std::string localeString(const std::string& key) const;
    // "true" (or the old "1") is true; anything else is false.
    bool boolean(const std::string& key) const;
    // A ';'-separated list ("\;" is a literal semicolon); empty items dropped.
    std::vector<std::string> list(const std::string& key) const;

    // The locale name used for localised keys, without its encoding part:
    // "de_DE@euro" for LANG=de_DE.UTF-8@euro; empty for C/POSIX or unset.
    static std::string messagesLocale();

private:
    DesktopEntry() = default;
    std::string raw(const std::string& key) const;

    std::string entryId;
    std::string path;
    std::map<std::string, std::string> values; // key (with its [locale]) -> raw value
};
