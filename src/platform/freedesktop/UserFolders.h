#pragma once

#include <string>

// The user's folders and name: the folders from HOME and the XDG user
// directories, as the desktop defines them; the name from the password
// database.
class UserFolders {
public:
    UserFolders() = delete;

    static std::string documents();
    static std::string desktop();
    static std::string home();
    static std::string userName();
};
