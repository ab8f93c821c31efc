#include "PushSender.h"

#include "Log.h"

#include <QLibrary>
#include <algorithm>
#include <curl/curl.h>
#include <type_traits>

namespace {

// libcurl's functions, from the library loaded on the first push rather
// than linked: few users ever send one, and libcurl with the TLS, proxy and
// authentication libraries it needs (two dozen, some 5 MB resident) would
// otherwise load with every start of the program.
struct Curl {
    decltype(&curl_global_init) globalInit = nullptr;
    decltype(&curl_easy_init) easyInit = nullptr;
    decltype(&curl_slist_append) slistAppend = nullptr;
    decltype(&curl_easy_setopt) setopt = nullptr;
    decltype(&curl_easy_perform) perform = nullptr;
    decltype(&curl_easy_getinfo) getinfo = nullptr;
    decltype(&curl_slist_free_all) slistFreeAll = nullptr;
    decltype(&curl_easy_cleanup) cleanup = nullptr;

    bool loaded() const
    {
        return globalInit && easyInit && slistAppend && setopt && perform && getinfo && slistFreeAll && cleanup;
    }
};

// Loads libcurl once (the sender's worker is its only caller); the library
// stays loaded. Without it every exchange fails as one that got no answer.
const Curl& LoadCurl()
{
    static const Curl curl = [] {
        Curl functions;
        QLibrary library(QStringLiteral("curl"), 4);
        if (!library.load())
            return functions;
        const auto resolve = [&](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(library.resolve(name));
        };
        resolve(functions.globalInit, "curl_global_init");
        resolve(functions.easyInit, "curl_easy_init");
        resolve(functions.slistAppend, "curl_slist_append");
        resolve(functions.setopt, "curl_easy_setopt");
        resolve(functions.perform, "curl_easy_perform");
        resolve(functions.getinfo, "curl_easy_getinfo");
        resolve(functions.slistFreeAll, "curl_slist_free_all");
        resolve(functions.cleanup, "curl_easy_cleanup");
        if (functions.loaded())
            functions.globalInit(CURL_GLOBAL_DEFAULT);
        return functions;
    }();
    return curl;
}

size_t CollectResponse(char* data, size_t size, size_t count, void* userData)
{
    auto* text = static_cast<std::string*>(userData);
    const size_t bytes = size * count;
    if (text->size() < PushSender::kMaxResponseText)
        text->append(data, std::min(bytes, PushSender::kMaxResponseText - text->size()));
    return bytes;
}

} // namespace

// The sender is made on first use and never destroyed: its worker may be in
// the middle of an exchange when the process ends, and ending the process
// must not wait for a slow push service.
void PushSender::Send(PushPost post)
{
    static PushSender* const sender = new PushSender;
    {
        std::lock_guard lock(sender->mutex);
        sender->queued.push_back(std::move(post));
    }
    sender->wake.notify_one();
}

PushSender::PushSender()
{
    std::thread([this] { Run(); }).detach();
}

void PushSender::Run()
{
    for (;;) {
        PushPost post;
        {
            std::unique_lock lock(mutex);
            wake.wait(lock, [this] { return !queued.empty(); });
            post = std::move(queued.front());
            queued.pop_front();
        }
        Exchange(post);
    }
}

void PushSender::Exchange(const PushPost& post)
{
    std::string response;
    long status = 0;
    const Curl& api = LoadCurl();
    if (CURL* curl = api.loaded() ? api.easyInit() : nullptr) {
        curl_slist* headers = nullptr;
        headers = api.slistAppend(headers, ("Authorization: " + post.authorization).c_str());
        // No "Expect: 100-continue" round trip for long bodies.
        headers = api.slistAppend(headers, "Expect:");
        api.setopt(curl, CURLOPT_URL, post.url.c_str());
        // The address comes from the phone: plain web requests only.
        api.setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
        api.setopt(curl, CURLOPT_NOSIGNAL, 1L);
        api.setopt(curl, CURLOPT_TIMEOUT_MS, kTimeoutMs);
        api.setopt(curl, CURLOPT_POST, 1L);
        api.setopt(curl, CURLOPT_POSTFIELDS, post.body.data());
        api.setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(post.body.size()));
        api.setopt(curl, CURLOPT_HTTPHEADER, headers);
        api.setopt(curl, CURLOPT_WRITEFUNCTION, CollectResponse);
        api.setopt(curl, CURLOPT_WRITEDATA, &response);
        api.perform(curl); // a failure shows as status 0 and no text
        api.getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        api.slistFreeAll(headers);
        api.cleanup(curl);
    }
    Log::Printf("%s\n", response.c_str());
    Log::Printf("====>[Response][Status:%ld] : %s\n", status, response.c_str());
}
