// How worker threads reach a window: the window hands out a ReplySink that posts to its
// own thread, and the sender holds it through a weak pointer.
#pragma once

#include <cstdint>

namespace vistrel {

class ReplySink {
public:
    virtual ~ReplySink() = default;
    // Called from any thread. Implementations queue the message to the owner's thread
    // and must not block on it.
    virtual void Post(uint32_t message, uintptr_t wparam, intptr_t lparam) = 0;
};

}  // namespace vistrel
