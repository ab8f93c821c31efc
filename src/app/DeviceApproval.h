#pragma once

#include "Config.h"
#include "PeerGate.h"
#include "PeerNames.h"

#include <QObject>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

// Which phones may control this computer. Programs of this computer
// (loopback peers) are always served; with "approve_devices" off every peer
// that reaches the service is. Otherwise a device is served once the user trusts it: its address is
// in the trusted list of the settings, which the desktop, the trusted-device
// window and `corvane --trust` change and which is read again whenever the
// settings file changes, so a running service follows it at once.
//
// A connection from an address that is not trusted is held, unread, while
// the desktop asks the user once through the installed ApprovalPrompt. Allow
// trusts the address and serves what was held; deny, closing the question or
// no answer within answerLimit refuse it, and the address is refused without
// asking again until the trusted list changes or the program restarts.
// Without a prompt (no display) the connection is refused and one line per
// address tells how to trust it from the terminal.
//
// The questions are bounded: one on screen, at most kMaxWaiting addresses
// waiting behind it, each address asked at most once, and at most
// kMaxQuestions questions in any kQuestionWindow. An address that comes
// while the queue or the window is full is refused without a question, and
// may ask again later.
class DeviceApproval : public QObject, public PeerGate {
public:
    explicit DeviceApproval(QObject* parent = nullptr);
    ~DeviceApproval() override;

    // Any connection thread.
    PeerVerdict Admit(const sockaddr_in& peer, std::chrono::milliseconds wait) override;

    // The names phones gave in their discovery queries; discovery fills it.
    PeerNames& names() { return peerNames; }

    // How long a question waits for its answer; tests shorten it. Set on the
    // main thread before the first question.
    std::chrono::milliseconds answerLimit{30000};

    static constexpr std::size_t kMaxWaiting = 4;
    static constexpr std::size_t kMaxQuestions = 10;
    static constexpr std::chrono::minutes kQuestionWindow{10};

    // "a.b.c.d" of an address in host byte order.
    static std::string DottedAddress(std::uint32_t address);

private:
    enum class State { Trusted, Denied, Asked, New };

    // Under mutex.
    State StateOf(std::uint32_t address) const;
    // Reads the trusted list. A change made elsewhere (the window, the
    // terminal, an edit of the file) forgets the denials; ownChange is the
    // list just written by an answer, which does not. Under mutex.
    void FollowList(bool ownChange);
    // Queues a question for address when the bounds allow it; under mutex.
    bool Enqueue(std::uint32_t address);
    // Refuses a device that cannot be asked, with one line the first time;
    // crowded when the bounds on the questions were the reason.
    void ReportOnce(std::uint32_t address, bool crowded);

    // Main thread.
    void AskNext();
    void Finish(std::uint64_t question, bool allowed);

    PeerNames peerNames;
    mutable std::mutex mutex;
    std::condition_variable decided;
    std::vector<TrustedDevice> seenList;       // the trusted list as last read
    std::set<std::uint32_t> trusted;           // its addresses
    std::set<std::uint32_t> allowedNow;        // allowed since the list last changed
    std::set<std::uint32_t> denied;            // refused since the list last changed
    std::deque<std::uint32_t> waiting;         // addresses waiting for their question
    std::optional<std::uint32_t> asking;       // the address whose question is open
    std::string askingName;                    // the name that question shows
    std::uint64_t questionSerial = 0;          // counts the questions shown
    std::deque<std::chrono::steady_clock::time_point> questionTimes; // of the recent questions
    std::set<std::uint32_t> reported;          // addresses already told about in the terminal
    // Tasks queued for the main thread hold a weak reference: a task that
    // runs after this object is gone does nothing.
    std::shared_ptr<int> alive = std::make_shared<int>(0);
};
