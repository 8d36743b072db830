#include "platform_checks.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include "resources/platform.h"
#include "transcript.h"

#include <cstdio>
#include <cstring>
#include <vector>
#include <windows.h>

namespace vrel::windows_check {

namespace {

namespace pf = vrel::platform;

void checkMemory(Tally& tally) {
    const uint32_t size = 1u << 20;
    auto* block = static_cast<uint8_t*>(pf::allocZeroed(size));
    if (!tally.check(block != nullptr, "a 1 MiB block is allocated")) {
        return;
    }
    bool zero = true;
    for (uint32_t i = 0; i < size; ++i) {
        zero = zero && block[i] == 0;
    }
    tally.check(zero, "a new block reads as all zero");
    std::memset(block, 0x5C, size);
    tally.check(block[size - 1] == 0x5C, "the whole block is writable");
    HGLOBAL handle = ::GlobalHandle(block);
    tally.check(handle != nullptr && ::GlobalSize(handle) >= size,
                "the block is a global-heap block of at least the requested size");
    tally.check(handle != nullptr && (::GlobalFlags(handle) & GMEM_LOCKCOUNT) == 1,
                "the block stays locked at one address while it lives");

    void* empty = pf::allocZeroed(0);
    void* other = pf::allocZeroed(0);
    tally.check(empty != nullptr && other != nullptr && empty != other,
                "requests for zero bytes give distinct blocks");
    pf::release(empty);
    pf::release(other);
    pf::release(block);
    pf::release(nullptr); // must be harmless
}

void checkFiles(const std::string& path, Tally& tally) {
    const auto content = readFileBytes(path);
    if (!tally.check(content && content->size() >= 64, "the check file is readable: " + path)) {
        return;
    }
    tally.check(pf::pathSeparator() == '\\', "directories and names are joined with a backslash");

    uintptr_t handle = 0;
    tally.check(!pf::openExisting((path + ".missing").c_str(), 0, &handle),
                "a missing file does not open");
    tally.check(!pf::openExisting(path.c_str(), 2, &handle), "mode 2 is refused");
    tally.check(!pf::openExisting("NUL", 0, &handle), "a device (NUL) is not a database file");
    if (!tally.check(pf::openExisting(path.c_str(), 0, &handle) && handle != 0,
                     "an existing file opens for reading")) {
        return;
    }
    uint8_t part[16] = {};
    tally.check(pf::seekAbsolute(handle, 10) && pf::readFully(handle, part, sizeof part) &&
                    std::memcmp(part, content->data() + 10, sizeof part) == 0,
                "reading 16 bytes at offset 10 gives the file's bytes 10 to 25");
    const auto size = static_cast<uint32_t>(content->size());
    std::vector<uint8_t> tail(32);
    tally.check(pf::seekAbsolute(handle, size - 8) && !pf::readFully(handle, tail.data(), 32),
                "a read that runs past the end of the file fails");
    tally.check(pf::seekAbsolute(handle, size + 100) && !pf::readFully(handle, tail.data(), 1),
                "a position past the end is taken, reading there fails");
    tally.check(pf::seekAbsolute(handle, 0x80000000u),
                "a position of 2 GiB is taken as a position, not a negative distance");
    tally.check(pf::seekAbsolute(handle, 0) && pf::readFully(handle, tail.data(), 4) &&
                    std::memcmp(tail.data(), content->data(), 4) == 0,
                "the file can be read again from the start");

    uintptr_t second = 0;
    tally.check(pf::openExisting(path.c_str(), 0, &second),
                "a file open for reading may be opened for reading again");
    if (second != 0) {
        pf::close(second);
    }
    uintptr_t writer = 0;
    const bool writerOpened = pf::openExisting(path.c_str(), 1, &writer);
    tally.check(!writerOpened, "a file open for reading shares no write access");
    if (writerOpened) {
        pf::close(writer);
    }
    pf::close(handle);

    uintptr_t a = 0;
    uintptr_t b = 0;
    const bool openedA = pf::openExisting(path.c_str(), 1, &a);
    const bool openedB = pf::openExisting(path.c_str(), 1, &b);
    tally.check(openedA && openedB, "mode 1 shares read and write access with mode 1");
    if (openedA) {
        pf::close(a);
    }
    if (openedB) {
        pf::close(b);
    }
}

} // namespace

void checkPlatformSeam(const std::string& readableFile, Tally& tally) {
    checkMemory(tally);
    checkFiles(readableFile, tally);
}

} // namespace vrel::windows_check
