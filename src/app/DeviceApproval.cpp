#include "DeviceApproval.h"

#include "ApprovalPrompt.h"
#include "Log.h"
#include "MainQueue.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>

DeviceApproval::DeviceApproval(QObject* parent) : QObject(parent) {}

DeviceApproval::~DeviceApproval()
{
    bool open;
    {
        std::lock_guard lock(mutex);
        open = asking.has_value();
        asking.reset();
        waiting.clear();
        decided.notify_all();
    }
    if (ApprovalPrompt* prompt = ApprovalPrompt::instance(); open && prompt != nullptr)
        prompt->dismiss();
}

std::string DeviceApproval::DottedAddress(std::uint32_t address)
{
    in_addr network{htonl(address)};
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &network, text, sizeof text);
    return text;
}

PeerVerdict DeviceApproval::Admit(const sockaddr_in& peer, std::chrono::milliseconds wait)
{
    const std::uint32_t address = ntohl(peer.sin_addr.s_addr);
    if ((address >> 24) == 127 || !Config::isApproveDevices())
        return PeerVerdict::Serve;
    std::unique_lock lock(mutex);
    FollowList(false);
    switch (StateOf(address)) {
    case State::Trusted:
        return PeerVerdict::Serve;
    case State::Denied:
        return PeerVerdict::Refuse;
    case State::New:
        if (ApprovalPrompt::instance() == nullptr) {
            lock.unlock();
            ReportOnce(address, false);
            return PeerVerdict::Refuse;
        }
        if (!Enqueue(address)) {
            lock.unlock();
            ReportOnce(address, true);
            return PeerVerdict::Refuse;
        }
        break;
    case State::Asked:
        break;
    }
    decided.wait_for(lock, wait, [&] { return StateOf(address) != State::Asked; });
    switch (StateOf(address)) {
    case State::Trusted:
        return PeerVerdict::Serve;
    case State::Asked:
        return PeerVerdict::Hold;
    default:
        return PeerVerdict::Refuse;
    }
}

DeviceApproval::State DeviceApproval::StateOf(std::uint32_t address) const
{
    if (trusted.count(address) != 0 || allowedNow.count(address) != 0)
        return State::Trusted;
    if (denied.count(address) != 0)
        return State::Denied;
    if (asking == address || std::find(waiting.begin(), waiting.end(), address) != waiting.end())
        return State::Asked;
    return State::New;
}

void DeviceApproval::FollowList(bool ownChange)
{
    std::vector<TrustedDevice> list = Config::trustedDevices();
    if (list == seenList)
        return;
    seenList = std::move(list);
    trusted.clear();
    for (const TrustedDevice& device : seenList) {
        in_addr parsed{};
        if (::inet_pton(AF_INET, device.address.c_str(), &parsed) == 1)
            trusted.insert(ntohl(parsed.s_addr));
    }
    if (!ownChange) {
        allowedNow.clear();
        denied.clear();
    }
    decided.notify_all();
}

bool DeviceApproval::Enqueue(std::uint32_t address)
{
    const auto now = std::chrono::steady_clock::now();
    while (!questionTimes.empty() && now - questionTimes.front() >= kQuestionWindow)
        questionTimes.pop_front();
    // The question on screen counts from the moment it is queued, so the
    // bound holds also before the main thread has shown it.
    const std::size_t pending = waiting.size() + (asking ? 1 : 0);
    if (pending > kMaxWaiting || questionTimes.size() >= kMaxQuestions)
        return false;
    waiting.push_back(address);
    questionTimes.push_back(now);
    if (!asking) {
        MainQueue::instance().async([this, living = std::weak_ptr<int>(alive)] {
            if (!living.expired())
                AskNext();
        });
    }
    return true;
}

void DeviceApproval::ReportOnce(std::uint32_t address, bool crowded)
{
    // The set is bounded: a flood of addresses starts it over.
    constexpr std::size_t kMaxReported = 4096;
    {
        std::lock_guard lock(mutex);
        if (reported.size() >= kMaxReported)
            reported.clear();
        if (!reported.insert(address).second)
            return;
    }
    const QString dotted = QString::fromStdString(DottedAddress(address));
    const QString name = QString::fromStdString(peerNames.Lookup(address));
    const QString who = name.isEmpty() ? dotted : QStringLiteral("%1 (%2)").arg(dotted, name);
    const char* text = crowded ? QT_TRANSLATE_NOOP("DeviceApproval",
                                                   "%1 asked to connect while too many devices were asking; "
                                                   "allow it with: corvane --trust %2")
                               : QT_TRANSLATE_NOOP("DeviceApproval",
                                                   "%1 asked to connect; allow it with: corvane --trust %2");
    const QString line = QCoreApplication::translate("DeviceApproval", text);
    Log::Printf("corvane: %s\n", line.arg(who, dotted).toUtf8().constData());
}

void DeviceApproval::AskNext()
{
    std::uint32_t address;
    std::uint64_t question;
    std::string name;
    {
        std::lock_guard lock(mutex);
        if (asking || waiting.empty())
            return;
        address = waiting.front();
        waiting.pop_front();
        asking = address;
        question = ++questionSerial;
        askingName = peerNames.Lookup(address);
        name = askingName;
    }
    ApprovalPrompt* prompt = ApprovalPrompt::instance();
    if (prompt == nullptr) {
        Finish(question, false);
        return;
    }
    prompt->ask(name, DottedAddress(address), [this, question, living = std::weak_ptr<int>(alive)](bool allowed) {
        if (!living.expired())
            Finish(question, allowed);
    });
    QTimer::singleShot(answerLimit, this, [this, question] {
        {
            std::lock_guard lock(mutex);
            if (!asking || questionSerial != question)
                return;
        }
        if (ApprovalPrompt* open = ApprovalPrompt::instance())
            open->dismiss();
        Finish(question, false);
    });
}

void DeviceApproval::Finish(std::uint64_t question, bool allowed)
{
    std::string dotted;
    {
        std::lock_guard lock(mutex);
        if (!asking || questionSerial != question)
            return;
        const std::uint32_t address = *asking;
        dotted = DottedAddress(address);
        asking.reset();
        if (allowed) {
            // Written and read back under the lock, so no connection reads
            // the list half-way and takes this answer for a change made
            // elsewhere.
            Config::trustDevice(dotted, askingName);
            FollowList(true);
            allowedNow.insert(address);
        } else {
            denied.insert(address);
        }
        decided.notify_all();
    }
    const QString outcome = allowed ? QCoreApplication::translate("DeviceApproval", "%1 allowed")
                                    : QCoreApplication::translate("DeviceApproval", "%1 refused");
    Log::Printf("corvane: %s\n", outcome.arg(QString::fromStdString(dotted)).toUtf8().constData());
    AskNext();
}
