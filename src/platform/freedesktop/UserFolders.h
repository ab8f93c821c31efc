#pragma once

#include <string>

// The user's folders and names, as the desktop defines them (XDG user
// directories, the password database).
class UserFolders {
public:
    UserFolders() = delete;

    static std::string documents();
    static std::string desktop();
    static std::string home();
    static std::string userName();
};
