// The Win32 side of the platform seam: zero-filled movable memory from the
// global heap, locked once so that it stays at one address, and the database
// read through CreateFileA / SetFilePointer / ReadFile.
//
// A file handle is the Win32 HANDLE itself. A valid one is never null, so the
// file layer's "0 = no open file" holds here as on every host.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include "resources/platform.h"

#include <windows.h>

namespace vrel::platform {

namespace {

// GMEM_MOVEABLE | GMEM_ZEROINIT.
constexpr UINT kZeroedMovable = 0x42;

HANDLE handleOf(uintptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

} // namespace

void* allocZeroed(uint32_t size) {
    // A movable block of zero bytes has no memory behind it and cannot be
    // locked; a request for zero bytes still yields a distinct, freeable block.
    HGLOBAL memory = ::GlobalAlloc(kZeroedMovable, size == 0 ? 1 : size);
    if (memory == nullptr) {
        return nullptr;
    }
    void* address = ::GlobalLock(memory);
    if (address == nullptr) {
        ::GlobalFree(memory);
    }
    return address;
}

void release(void* address) {
    if (address == nullptr) {
        return;
    }
    HGLOBAL memory = ::GlobalHandle(address);
    if (memory == nullptr) {
        return; // not a block of ours: leave it alone rather than free a stranger
    }
    ::GlobalUnlock(memory);
    ::GlobalFree(memory);
}

char pathSeparator() {
    return '\\';
}

bool openExisting(const char* path, int16_t mode, uintptr_t* handle) {
    DWORD access = 0;
    DWORD share = 0;
    if (mode == 0) {
        access = GENERIC_READ;
        share = FILE_SHARE_READ;
    } else if (mode == 1) {
        access = GENERIC_READ | GENERIC_WRITE;
        share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    } else {
        return false;
    }
    HANDLE file =
        ::CreateFileA(path, access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE || file == nullptr) {
        return false;
    }
    // Only a file on disk is a database: a pipe or a character device could
    // block a read or never end.
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        ::CloseHandle(file);
        return false;
    }
    *handle = reinterpret_cast<uintptr_t>(file);
    return true;
}

bool seekAbsolute(uintptr_t handle, uint32_t offset) {
    // The offset is unsigned 32-bit: passing a zero high part makes offsets
    // of 2 GiB and more positions, not negative distances. With a high part
    // given, 0xFFFFFFFF is a valid low result, so the error is told apart by
    // GetLastError.
    LONG high = 0;
    ::SetLastError(NO_ERROR);
    const DWORD low =
        ::SetFilePointer(handleOf(handle), static_cast<LONG>(offset), &high, FILE_BEGIN);
    if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR) {
        return false;
    }
    return high == 0 && low == offset;
}

bool readFully(uintptr_t handle, void* destination, uint32_t length) {
    auto* out = static_cast<unsigned char*>(destination);
    uint32_t done = 0;
    while (done < length) {
        DWORD got = 0;
        if (!::ReadFile(handleOf(handle), out + done, length - done, &got, nullptr)) {
            return false;
        }
        if (got == 0) {
            return false; // end of file before the full length
        }
        done += got;
    }
    return true;
}

void close(uintptr_t handle) {
    ::CloseHandle(handleOf(handle));
}

} // namespace vrel::platform
