#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// One format of the clipboard's contents: a MIME type and its bytes.
struct ClipboardFormat {
    std::string mimeType;
    std::string bytes;
};
using ClipboardContents = std::vector<ClipboardFormat>;

// The clipboard lent out for typing text that the keyboard layout lacks,
// by the same rules on every desktop whose clipboard this program can set
// without a window (the data-control protocol, mutter's remote-desktop
// session); the desktop's clipboard derives from it and says how its
// selection is read, set and taken.
//
// paste() puts the text on the clipboard in place of the user's contents,
// which it reads in full first, and sends the paste keys. kGiveBackAfter
// after the last paste the user's contents are put back, unless somebody
// copied something else in the meantime (then that copy stays). While the
// clipboard is lent out, reads answer with the user's contents (read()).
//
// A program takes the pasted text when it handles the paste keys, which
// may come after it has seen a later selection; so the selection does not
// change again, by the next paste or the give-back, before the desktop says
// the paste was taken (waitUntilTaken()).
//
// Any thread. The derived class's destructor calls endLoans() first: the
// give-back thread calls its operations.
class ClipboardLoan {
public:
    // Typing silence after which the user's contents are put back.
    static constexpr std::chrono::milliseconds kGiveBackAfter{1000};
    // The most bytes of the user's contents kept while the clipboard is lent.
    static constexpr std::size_t kMaxBytes = 64u << 20;
    // Text formats, the preferred first: what programs offer for text on
    // Wayland, and the X11 names that XWayland programs offer. Lent text is
    // offered in all of them.
    static constexpr const char* kTextTypes[] = {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING", "STRING",
                                                 "TEXT"};

    virtual ~ClipboardLoan();

    // Lends the clipboard to the text (UTF-8) and calls pasteKeys once it is
    // the selection; false when it could not be put there (then no keys
    // are sent).
    bool paste(const std::string& utf8, const std::function<void()>& pasteKeys);

protected:
    ClipboardLoan() = default;

    // The desktop's side of the clipboard. What this program selected, when
    // the selection is its own; nothing when it is somebody else's.
    virtual std::optional<std::shared_ptr<const ClipboardContents>> ownContents() = 0;
    // The formats of somebody else's selection, and one of them read in
    // full (at most budget bytes).
    virtual std::vector<std::string> offeredFormats() = 0;
    virtual std::optional<std::string> readOffered(const std::string& mimeType, std::size_t budget) = 0;
    // Makes contents this program's selection and returns once the desktop
    // has made it the selection; false when it could not.
    virtual bool makeSelection(std::shared_ptr<const ClipboardContents> contents) = 0;
    // Waits until the program that got the paste keys sent at keysSent has
    // taken the text, or as long as the desktop allows for it.
    virtual void waitUntilTaken(std::chrono::steady_clock::time_point keysSent) = 0;

    // What reads answer: the selection's formats, and one of them in full;
    // from memory when the selection is this program's own, where the
    // user's contents stand in for the lent text.
    std::vector<std::string> formats();
    std::optional<std::string> read(const std::string& mimeType, std::size_t budget);
    // The formats of contents (none for null), and the bytes of one of them.
    static std::vector<std::string> Formats(const ClipboardContents* contents);
    static std::optional<std::string> Bytes(const ClipboardContents* contents, const std::string& mimeType);
    // Ends the give-back thread; the user's contents stay where they are.
    void endLoans();

private:
    // What this program's own selection shows, nothing when the selection
    // is somebody else's.
    std::optional<std::shared_ptr<const ClipboardContents>> shown();
    // Waits until the last paste was taken. Called with pasting held.
    void settle();
    void giveBack();
    void giveBackLoop();

    std::mutex pasting; // held by a paste and by a give-back, so that they never interleave
    std::mutex mutex;   // guards everything below
    std::condition_variable wake;
    std::shared_ptr<const ClipboardContents> user; // the user's contents while lent out
    bool lending = false;
    std::chrono::steady_clock::time_point lastPaste;
    std::optional<std::chrono::steady_clock::time_point> keysSent; // a paste not yet taken
    bool stopping = false;
    std::thread giveBackThread;
};
