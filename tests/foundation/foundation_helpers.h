// Helpers of the foundation tests: a scratch directory that removes itself,
// parameter records naming a database in it, and plain little-endian writers.
#pragma once

#include "vrel/vrel.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace foundation {

class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vrel-foundation-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (::mkdtemp(buffer.data()) != nullptr) {
            path_ = buffer.data();
        }
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }

  private:
    std::filesystem::path path_;
};

inline void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline void putLe16(std::vector<uint8_t>& out, std::size_t at, uint16_t v) {
    if (out.size() < at + 2) {
        out.resize(at + 2);
    }
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}

inline void putLe32(std::vector<uint8_t>& out, std::size_t at, uint32_t v) {
    if (out.size() < at + 4) {
        out.resize(at + 4);
    }
    for (int i = 0; i < 4; ++i) {
        out[at + static_cast<std::size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    }
}

// A zeroed record naming databaseName (copied without a NUL when it fills
// the 20-byte field) below directory (which must outlive the record's use).
inline ParamRecord makeParams(const std::string& databaseName, const char* directory) {
    ParamRecord params;
    std::memset(&params, 0, sizeof params);
    std::memcpy(params.databaseName, databaseName.data(),
                databaseName.size() < sizeof params.databaseName ? databaseName.size()
                                                                 : sizeof params.databaseName);
    params.directoryName = directory;
    return params;
}

} // namespace foundation
