// Helpers of the metrics tests: a plain HTTP GET, and running the Prometheus tools.
#pragma once

#include <curl/curl.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace vistrel::metrics::test {

// The body of http GET `url`, or nullopt when the exchange failed or the status was not 200.
inline std::optional<std::string> HttpGet(const std::string& url) {
    CURL* easy = curl_easy_init();
    if (!easy)
        return std::nullopt;
    std::string body;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, 10000L);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(
        easy, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t n, void* out) -> size_t {
            static_cast<std::string*>(out)->append(data, size * n);
            return size * n;
        });
    const CURLcode result = curl_easy_perform(easy);
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(easy);
    if (result != CURLE_OK || status != 200)
        return std::nullopt;
    return body;
}

struct ToolRun {
    int status = -1;
    std::string output;  // standard output and error
};

// Runs a shell command line and collects what it printed.
inline ToolRun RunTool(const std::string& commandLine) {
    ToolRun run;
    FILE* pipe = ::popen((commandLine + " 2>&1").c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

inline bool HaveTool(const std::string& name) {
    return RunTool("command -v " + name).status == 0;
}

}  // namespace vistrel::metrics::test
