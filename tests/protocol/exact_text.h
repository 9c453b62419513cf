// Test text held in a heap block of exactly its length, so AddressSanitizer reports any read
// past the end (a std::string would hide one inside its spare capacity or terminator).
#pragma once

#include <cstring>
#include <memory>
#include <string_view>

namespace vistrel::testing {

class ExactText {
  public:
    explicit ExactText(std::string_view text)
        : bytes_(std::make_unique<char[]>(text.size())), size_(text.size()) {
        if (size_ > 0)
            std::memcpy(bytes_.get(), text.data(), size_);
    }
    std::string_view View() const { return {bytes_.get(), size_}; }

  private:
    std::unique_ptr<char[]> bytes_;
    size_t size_;
};

}  // namespace vistrel::testing
