#include "support/test_support.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace vrel::test {

TempDir::TempDir() {
    const std::string pattern =
        (std::filesystem::temp_directory_path() / "vrel-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary directory from " + pattern);
    }
    path_ = buffer.data();
    text_ = path_.string();
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path writeBytesFile(const std::filesystem::path& dir, std::string_view name,
                                     std::span<const uint8_t> bytes) {
    const std::filesystem::path path = dir / std::string(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
    return path;
}

std::filesystem::path writeDatabaseFile(const std::filesystem::path& dir, std::string_view name,
                                        const dbwriter::Database& db) {
    return writeBytesFile(dir, name, dbwriter::writeDatabase(db));
}

} // namespace vrel::test
