// One prepared HTTP POST to a projector: the curl easy handle with every limit of the
// console set, its headers and its reply buffer. Shared by the synchronous request and the
// engine so both speak to projectors the same way.
#pragma once

#include <curl/curl.h>

#include <string>

#include "protocol/host_address.h"
#include "protocol/http_request.h"

namespace vistrel {

// Initialises curl for the process once; false when it cannot be used.
bool CurlReady();

class HttpExchange {
  public:
    HttpExchange() = default;
    ~HttpExchange();
    HttpExchange(const HttpExchange&) = delete;
    HttpExchange& operator=(const HttpExchange&) = delete;

    // Prepares a POST of `body` to http://host[:port]/tgi/return.tgi. False when the host or
    // method is not acceptable or curl cannot be set up; the exchange must not be started.
    bool Prepare(const std::string& host, std::string body, const std::string& method,
                 const HttpOptions& options);

    CURL* Handle() const { return easy_; }
    // The reply once curl has finished with `result`: empty unless the transfer succeeded.
    std::string TakeReply(CURLcode result);

  private:
    static size_t Write(char* data, size_t size, size_t count, void* userdata);

    CURL* easy_ = nullptr;
    curl_slist* headers_ = nullptr;
    std::string url_;
    std::string body_;
    std::string reply_;
    size_t cap_ = 0;
};

}  // namespace vistrel
