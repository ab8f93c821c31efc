#pragma once

#include <string>

// The user's folders and name: the folders from HOME and the XDG user
// directories, as the desktop defines them; the name from the password
// database.
class UserFolders {
public:
    UserFolders() = delete;

    // Home, Documents and Desktop together, from one look at the XDG user
    // directories (one request needs all three).
    struct Standard {
        std::string home;
        std::string documents;
        std::string desktop;
    };
    static Standard standard();
    static std::string documents();
    static std::string desktop();
    static std::string home();
    static std::string userName();
};
