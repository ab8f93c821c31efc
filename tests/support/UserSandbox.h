#pragma once

#include "TempDir.h"

#include <map>
#include <optional>
#include <string>

// A private home for one test: HOME and the XDG variables point into a
// temporary tree (with Documents and Desktop folders), so settings, login
// items, uploads and screenshots never touch the real user's files, the
// session bus address leads nowhere and no HTTP proxy is used. The previous environment comes back on
// destruction.
class UserSandbox {
public:
    UserSandbox();
    ~UserSandbox();

    std::string home() const { return dir.file("home"); }
    std::string configHome() const { return dir.file("config"); }
    std::string dataHome() const { return dir.file("data"); }
    std::string documents() const { return dir.file("home/Documents"); }
    std::string desktop() const { return dir.file("home/Desktop"); }
    const TempDir& root() const { return dir; }

    // Settings as a first start leaves them, so the help window stays shut.
    void skipFirstStart() { dir.write("config/corvane/corvane.conf", "[General]\nis_first_start=false\n"); }
    // Sets a variable for the life of the sandbox.
    void set(const std::string& name, const std::string& value);

private:
    TempDir dir;
    std::map<std::string, std::optional<std::string>> saved;
};
