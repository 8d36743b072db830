// The per-process scratch directory of the fuzz targets.
#include "scratch_directory.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace vrel::test {

namespace {

std::string makeDirectory() {
    char pattern[] = "/tmp/vrel-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        harnessFailure("cannot create the scratch directory");
    }
    return pattern;
}

void removeDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(scratchDirectory(), ignored);
}

} // namespace

const std::string& scratchDirectory() {
    static const std::string directory = [] {
        std::string made = makeDirectory();
        return made;
    }();
    static const bool registered = (std::atexit(removeDirectory), true);
    (void)registered;
    return directory;
}

void writeScratchFile(const char* name, const unsigned char* data, size_t size) {
    const std::string path = scratchDirectory() + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        harnessFailure("cannot write the database file");
    }
    const bool complete = size == 0 || std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !complete) {
        harnessFailure("cannot write the database file");
    }
}

[[noreturn]] void harnessFailure(const char* what) {
    std::fprintf(stderr, "harness invariant broken: %s\n", what);
    std::abort();
}

} // namespace vrel::test
