// How worker threads reach a window: the window hands out a ReplySink that posts to its
// own thread, and the sender holds it through a weak pointer.
#pragma once

#include <cstdint>
#include <string>

namespace vistrel {

class ReplySink {
  public:
    virtual ~ReplySink() = default;
    // Called from any thread. Implementations queue the message to the owner's thread
    // and must not block on it.
    virtual void Post(uint32_t message, uintptr_t wparam, intptr_t lparam) = 0;
    // Called from any thread when a request of this owner is dropped without being sent
    // (the queue was full, or a newer request superseded it), so no reply will come. An
    // owner that disabled a control until the reply arrives enables it again here. Not
    // called for requests that a flush marker discards: whoever flushes asks for fresh state.
    virtual void Dropped(const std::string& body) { (void)body; }
};

}  // namespace vistrel
