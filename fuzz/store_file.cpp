// The store's file: hand-edited, half-written by a crashed program, or just damaged. The
// reader must accept what it can round-trip, and the store must never overwrite a file it
// could not read.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz_check.h"
#include "store/reg_store.h"
#include "store/reg_text.h"

using namespace vistrel;
using fuzz::Check;

namespace {

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const RegNode* AppKey(const RegNode& root) {
    const RegNode* node = &root;
    for (const char* part : {"HKEY_CURRENT_USER", "Software", "Brightwerk", "Vistrel"}) {
        node = node ? node->FindChild(part) : nullptr;
    }
    return node;
}

RegNode* AddAppKey(RegNode& root) {
    RegNode* node = &root;
    for (const char* part : {"HKEY_CURRENT_USER", "Software", "Brightwerk", "Vistrel"})
        node = node->AddChild(part);
    return node;
}

// One folder for the whole run, in memory when the system offers it (fsync is then free).
const std::filesystem::path& WorkFolder() {
    static const std::filesystem::path folder = [] {
        std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        auto path = base / ("vistrel-fuzz-store-" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        return path;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(fuzz::AsText(data, size));

    // The reader: whatever it accepts is written back in a form it reads as the same tree.
    RegNode root;
    std::string error;
    const bool readable = ParseReg(text, root, &error);
    Check(readable || !error.empty(), "a refusal says why");
    if (readable) {
        const std::string written = SerializeReg(root);
        RegNode again;
        Check(ParseReg(written, again, &error), "the store reads what it writes");
        Check(SerializeReg(again) == written, "a written file reads back as the same tree");
    }

    // The store over that file.
    const std::filesystem::path& folder = WorkFolder();
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        std::filesystem::remove(entry.path());
    const std::filesystem::path file = folder / "registry.reg";
    {
        std::ofstream out(file, std::ios::binary);
        out << text;
    }

    RegStore store(file, "Vistrel");
    uint32_t interval = store.GetAppDword("Interval", 10000);
    if (readable) {
        const RegNode* app = AppKey(root);
        const RegValue* value = app ? app->FindValue("Interval") : nullptr;
        Check(interval == (value && value->isDword ? value->dword : 10000u),
              "the stored interval is read");
        // Reading creates nothing, whether the key exists or not: the file stays as it was.
        Check(ReadAll(file) == text, "reading never rewrites the file");
    } else {
        // The damaged file is kept aside, byte for byte.
        bool kept = false;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("registry.reg.bad-", 0) == 0)
                kept = kept || ReadAll(entry.path()) == text;
        }
        Check(kept, "an unreadable file is kept aside unchanged");
        Check(interval == 10000, "an unreadable file reads as an empty store");
    }

    // A write keeps everything else the file held.
    Check(store.SetAppDword("FuzzMark", 7) == 1, "a write succeeds");
    RegNode after;
    Check(ParseReg(ReadAll(file), after, &error), "the written file is readable");
    RegNode expected;
    if (readable)
        ParseReg(text, expected, &error);
    AddAppKey(expected)->SetDword("FuzzMark", 7);
    Check(SerializeReg(after) == SerializeReg(expected), "a write loses nothing else");
    return 0;
}
