#include "HttpRequest.h"

#include "Config.h"
#include "Pasteboard.h"
#include "PushSender.h"
#include "SConfig.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <optional>
#include <vector>

namespace {

// The clipboard contents of the last push attempt: the copied files' paths
// run together, the section terminator, then the text. Empty at start, which
// no snapshot is (each holds the terminator). Main thread only.
std::string preClipStr;

// The text as a JSON string's contents, as Qt's JSON writer escapes it:
// quotes, backslashes and control characters; UTF-8 as it is.
std::string JsonEscaped(const std::string& text)
{
    const QByteArray quoted =
        QJsonDocument(QJsonArray{QString::fromStdString(text)}).toJson(QJsonDocument::Compact); // ["..."]
    return quoted.mid(2, quoted.size() - 4).toStdString();
}

// The push service's notification template with its four values.
std::string FilledTemplate(const std::string& registrationId, const std::string& alert, int type,
                           const std::string& txt)
{
    return "{\"platform\": \"all\",\"audience\": {\"registration_id\": [\"" + JsonEscaped(registrationId) +
           "\"]},\"notification\": {\"ios\": {\"badge\":\"0\",\"alert\": \"" + JsonEscaped(alert) +
           "\",\"sound\":\"\",\"content-available\": true,\"extras\": {\"type\":" + std::to_string(type) +
           ",\"txt\": \"" + JsonEscaped(txt) +
           "\"}}},\"options\": {\"time_to_live\": 0,\"apns_production\": true,\"apns_collapse_id\":\"corvane\"}}";
}

// A header value that would end its line early could smuggle in headers
// of its own.
bool UsableHeaderValue(const std::string& value)
{
    return value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

} // namespace

std::string HttpRequest::JPushBody(const std::string& registrationId, int type)
{
    return FilledTemplate(registrationId, "", type, "");
}

bool HttpRequest::sendJPush()
{
    const std::string registrationId = Config::getPushRegestId();
    const std::string authorization = Config::getPushAuthorInfo();
    if (registrationId.empty() || authorization.empty() || !UsableHeaderValue(authorization))
        return false;
    Pasteboard& pasteboard = Pasteboard::instance();
    if (!pasteboard.available())
        return false;

    std::string files;
    for (const std::string& path : pasteboard.filePaths())
        files += path;
    const std::string text = pasteboard.text().value_or(std::string());
    const std::string snapshot = files + SConfig::kSectionEnd + text;
    if (snapshot == preClipStr)
        return false; // these contents were already handled
    preClipStr = snapshot;

    // Remembered above, so a secret is not looked at again at the next
    // change count, but never sent.
    if (pasteboard.data(kSecretHintType) == std::optional<std::string>(kSecretHintValue))
        return false;

    // The file part is what comes before the first terminator, the text part
    // all that follows it, separators inside the text included.
    int type;
    if (!files.empty())
        type = kTypeFiles;
    else if (!text.empty())
        type = kTypeText;
    else
        return false; // nothing copied

    PushSender::Send({Config::getPushURL(), authorization, JPushBody(registrationId, type)});
    return true;
}
