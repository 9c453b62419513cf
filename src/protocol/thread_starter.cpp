#include "protocol/thread_starter.h"

#include <cstdio>
#include <exception>
#include <mutex>
#include <set>
#include <system_error>

namespace vistrel {

namespace {

std::mutex& ReportMutex() {
    static std::mutex mutex;
    return mutex;
}

ThreadFailureReporter& Reporter() {
    static ThreadFailureReporter reporter;
    return reporter;
}

std::set<std::string>& Reported() {
    static std::set<std::string> reported;
    return reported;
}

void ReportOnce(const std::string& what, const std::string& reason) {
    std::lock_guard lock(ReportMutex());
    if (!Reported().insert(what).second)
        return;
    const std::string message = what + ": " + reason;
    if (Reporter()) {
        Reporter()(message);
    } else {
        std::fprintf(stderr, "vistrel: %s\n", message.c_str());
    }
}

}  // namespace

ThreadStarter DefaultThreadStarter() {
    return [](std::function<void()> body) { return std::thread(std::move(body)); };
}

std::thread StartThread(const ThreadStarter& starter, const std::string& what,
                        std::function<void()> body) {
    try {
        if (starter)
            return starter(std::move(body));
        return std::thread(std::move(body));
    } catch (const std::system_error& error) {
        ReportOnce(what, std::string("no thread could be started (") + error.what() + ")");
    } catch (const std::exception& error) {
        ReportOnce(what, std::string("no thread could be started (") + error.what() + ")");
    }
    return {};
}

ThreadFailureReporter SetThreadFailureReporter(ThreadFailureReporter reporter) {
    std::lock_guard lock(ReportMutex());
    ThreadFailureReporter previous = std::move(Reporter());
    Reporter() = std::move(reporter);
    // A new listener hears every kind of failure once again.
    Reported().clear();
    return previous;
}

}  // namespace vistrel
