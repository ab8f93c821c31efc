#pragma once

#include <QString>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

class ScriptReplies;

// Runs a short JavaScript program inside KWin through its scripting
// interface on the session bus (/Scripting: loadScript, start, then
// unloadScript) and returns the one text it reports back: the program
// calls report(text), which KWin's callDBus delivers to an object of this
// program's bus connection. KWin keeps some facts to itself that no
// protocol tells a client (where the pointer is). Any thread; a call takes
// a few milliseconds.
class KwinScript {
public:
    KwinScript();
    ~KwinScript();
    KwinScript(const KwinScript&) = delete;
    KwinScript& operator=(const KwinScript&) = delete;

    // Runs the program (which must end by calling report(...) once) and
    // returns what it reported; nothing when KWin did not run it within
    // timeoutMs or the session bus is not there.
    std::optional<QString> run(const QString& program, int timeoutMs);

private:
    std::shared_ptr<ScriptReplies> replies;
    std::mutex mutex; // guards registered and next
    bool registered = false;
    unsigned long long next = 0;
};
