#include "PushSender.h"

#include "Log.h"

#include <algorithm>
#include <curl/curl.h>

namespace {

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
    curl_global_init(CURL_GLOBAL_DEFAULT);
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
    if (CURL* curl = curl_easy_init()) {
        curl_slist* headers = nullptr;
        headers = curl_slist_append(headers, ("Authorization: " + post.authorization).c_str());
        // No "Expect: 100-continue" round trip for long bodies.
        headers = curl_slist_append(headers, "Expect:");
        curl_easy_setopt(curl, CURLOPT_URL, post.url.c_str());
        // The address comes from the phone: plain web requests only.
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, kTimeoutMs);
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, post.body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(post.body.size()));
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, CollectResponse);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &response);
        curl_easy_perform(curl); // a failure shows as status 0 and no text
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        curl_slist_free_all(headers);
        curl_easy_cleanup(curl);
    }
    Log::Printf("%s\n", response.c_str());
    Log::Printf("====>[Response][Status:%ld] : %s\n", status, response.c_str());
}
