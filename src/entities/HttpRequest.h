#pragma once

#include <string>

// The push notification that tells the phone the clipboard has new
// contents, so that it can fetch them. Made for one push and dropped after.
class HttpRequest {
public:
    // Sends one notification for the clipboard's current contents when one
    // is due: the push settings are there, the contents differ from those
    // of the last attempt, something was copied, and the contents are not
    // marked secret by a password manager. Returns at once; the exchange
    // runs on a worker thread. Main thread only. True when a notification
    // was handed over.
    bool sendJPush();

    // The notification's JSON text for a registration id and a type; its
    // alert and txt values are empty.
    static std::string JPushBody(const std::string& registrationId, int type);

    // The notification types the phone knows.
    static constexpr int kTypeText = 2;
    static constexpr int kTypeFiles = 3;

    // The MIME type, and its value, with which password managers mark a
    // copied secret that must not leave the desktop.
    static constexpr const char* kSecretHintType = "x-kde-passwordManagerHint";
    static constexpr const char* kSecretHintValue = "secret";
};
