// Temporary folders and a settable clock for the store tests.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "protocol/clock.h"

namespace vistrel::testing {

class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vistrel-store-XXXXXX");
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path File() const { return path_ / "Brightwerk" / "registry.reg"; }

  private:
    std::filesystem::path path_;
};

class FixedClock final : public Clock {
  public:
    explicit FixedClock(int64_t now) : now_(now) {}
    uint32_t TickMs() const override { return 0; }
    int64_t Now() const override { return now_; }
    void Set(int64_t now) { now_ = now; }

  private:
    int64_t now_;
};

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

}  // namespace vistrel::testing
