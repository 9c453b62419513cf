// Starting a thread may fail (no memory, a process or system thread limit). Every thread the
// core starts goes through here, so a failure degrades the one job that wanted the thread
// instead of ending the process, and the reason is said once.
#pragma once

#include <functional>
#include <string>
#include <thread>

namespace vistrel {

// Starts `body` on a new thread; throws std::system_error when it cannot, as std::thread
// does. Tests substitute one that fails on cue.
using ThreadStarter = std::function<std::thread(std::function<void()> body)>;

ThreadStarter DefaultThreadStarter();

// Starts a thread with `starter` (the default one when empty). When it cannot, reports
// "<what>: <reason>" once per `what` (per reporter) and returns a thread that
// is not joinable.
std::thread StartThread(const ThreadStarter& starter, const std::string& what,
                        std::function<void()> body);

// Where the once-only reports go (standard error when unset); each kind is reported once
// more to the new reporter. Returns the previous one.
using ThreadFailureReporter = std::function<void(const std::string& message)>;
ThreadFailureReporter SetThreadFailureReporter(ThreadFailureReporter reporter);

}  // namespace vistrel
