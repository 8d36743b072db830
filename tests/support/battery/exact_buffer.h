// A heap buffer of exactly the requested size (zero bytes included), so that
// AddressSanitizer reports the first byte read or written past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace vrel::hardening {

class ExactBuffer {
  public:
    explicit ExactBuffer(size_t size, uint8_t fill = 0) : bytes_(new uint8_t[size]), size_(size) {
        if (size != 0) {
            std::memset(bytes_.get(), fill, size);
        }
    }
    // A buffer holding a copy of `source`, cut or padded (with `fill`) to size.
    ExactBuffer(size_t size, const uint8_t* source, size_t sourceSize, uint8_t fill = 0)
        : ExactBuffer(size, fill) {
        if (size != 0 && sourceSize != 0) {
            std::memcpy(bytes_.get(), source, sourceSize < size ? sourceSize : size);
        }
    }

    uint8_t* data() { return bytes_.get(); }
    const uint8_t* data() const { return bytes_.get(); }
    size_t size() const { return size_; }
    // Appends the contents to a digest of results.
    void appendTo(std::vector<uint8_t>& digest) const {
        digest.insert(digest.end(), bytes_.get(), bytes_.get() + size_);
    }

  private:
    std::unique_ptr<uint8_t[]> bytes_;
    size_t size_;
};

} // namespace vrel::hardening
