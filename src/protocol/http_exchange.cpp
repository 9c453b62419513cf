#include "protocol/http_exchange.h"

#include "protocol/host_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace vistrel {

namespace {

bool IsPlainMethod(const std::string& method) {
    return !method.empty() && method.size() <= 16 &&
           std::all_of(method.begin(), method.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

// One host: not "this network" (0/8, which reaches the workstation itself), not multicast
// or reserved (224/3, which includes the limited broadcast).
bool IsOneHost(uint32_t address) {
    const uint32_t first = address >> 24;
    return first != 0 && first < 224;
}

// Judges the address curl is about to connect to, so a name that resolves to an unusable
// address is refused as well.
curl_socket_t OpenCheckedSocket(void*, curlsocktype, curl_sockaddr* address) {
    if (address->family == AF_INET) {
        sockaddr_in in{};
        std::memcpy(&in, &address->addr, std::min<size_t>(sizeof in, address->addrlen));
        if (!IsOneHost(ntohl(in.sin_addr.s_addr)))
            return CURL_SOCKET_BAD;
    } else if (address->family == AF_INET6) {
        sockaddr_in6 in6{};
        std::memcpy(&in6, &address->addr, std::min<size_t>(sizeof in6, address->addrlen));
        if (IN6_IS_ADDR_UNSPECIFIED(&in6.sin6_addr) || IN6_IS_ADDR_MULTICAST(&in6.sin6_addr))
            return CURL_SOCKET_BAD;
    }
    return socket(address->family, address->socktype, address->protocol);
}

}  // namespace

bool CurlReady() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ready;
}

HttpExchange::~HttpExchange() {
    if (easy_ != nullptr)
        curl_easy_cleanup(easy_);
    curl_slist_free_all(headers_);
}

size_t HttpExchange::Write(char* data, size_t size, size_t count, void* userdata) {
    auto* self = static_cast<HttpExchange*>(userdata);
    const size_t n = size * count;
    if (n > self->cap_ - self->reply_.size())
        return CURL_WRITEFUNC_ERROR;  // oversized: the whole exchange fails
    self->reply_.append(data, n);
    return n;
}

bool HttpExchange::Prepare(const std::string& host, std::string body, const std::string& method,
                           const HttpOptions& options) {
    if (easy_ != nullptr || !IsUsableHostAddress(host) || !IsPlainMethod(method) || !CurlReady())
        return false;
    easy_ = curl_easy_init();
    if (easy_ == nullptr)
        return false;
    // "Expect:" with no value stops curl from announcing the body and waiting for a
    // 100 Continue that a projector's small server may never send.
    for (const char* line : {"Content-Type: application/x-www-form-urlencoded", "Expect:"}) {
        curl_slist* grown = curl_slist_append(headers_, line);
        if (grown == nullptr)
            return false;
        headers_ = grown;
    }
    url_.assign("http://").append(host);
    if (options.port != 80)
        url_.append(":").append(std::to_string(options.port));
    url_.append("/tgi/return.tgi");
    body_ = std::move(body);
    cap_ = options.maxReplyBytes;

    CURL* e = easy_;
    bool ok = true;
    auto set = [&ok](CURLcode code) { ok = ok && code == CURLE_OK; };
    set(curl_easy_setopt(e, CURLOPT_URL, url_.c_str()));
    set(curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http"));
    set(curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)));
    set(curl_easy_setopt(e, CURLOPT_PROXY, ""));
    set(curl_easy_setopt(e, CURLOPT_NOPROXY, "*"));
    set(curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L));
    set(curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L));
    // A projector serves one exchange at a time; a fresh connection per exchange is what
    // it expects, and no idle connection is left holding a descriptor.
    set(curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L));
    set(curl_easy_setopt(e, CURLOPT_OPENSOCKETFUNCTION, &OpenCheckedSocket));
    set(curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(std::max(options.connectTimeoutMs, 1))));
    set(curl_easy_setopt(e, CURLOPT_TIMEOUT_MS,
                         static_cast<long>(std::max(options.totalTimeoutMs, 1))));
    set(curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE,
                         static_cast<curl_off_t>(options.maxReplyBytes)));
    set(curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers_));
    set(curl_easy_setopt(e, CURLOPT_POST, 1L));
    if (method != "POST")
        set(curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, method.c_str()));
    // Sent as given: no percent-encoding, and the size makes it binary-safe.
    set(curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_.size())));
    set(curl_easy_setopt(e, CURLOPT_POSTFIELDS, body_.data()));
    set(curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &HttpExchange::Write));
    set(curl_easy_setopt(e, CURLOPT_WRITEDATA, this));
    set(curl_easy_setopt(e, CURLOPT_PRIVATE, this));
    return ok;
}

std::string HttpExchange::TakeReply(CURLcode result) {
    // Bytes as received: the protocol is byte-counted, so no charset conversion happens.
    if (result != CURLE_OK)
        return {};
    return std::move(reply_);
}

}  // namespace vistrel
