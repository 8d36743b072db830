#include "escp2_dots.h"

#include <bit>
#include <string_view>

namespace vrel::cups_test {

namespace {

struct Reader {
    const std::vector<unsigned char>& d;
    std::size_t at = 0;
    bool has(std::size_t n) const { return at + n <= d.size(); }
    unsigned word(std::size_t offset) const { return d[at + offset] | d[at + offset + 1] << 8; }
};

// Dots in `bytes` at `bits` bits a position.
uint64_t dotsIn(const std::vector<unsigned char>& bytes, unsigned bits) {
    uint64_t dots = 0;
    const unsigned mask = (1u << bits) - 1;
    for (unsigned char b : bytes)
        for (unsigned shift = 0; shift < 8; shift += bits)
            dots += ((b >> shift) & mask) != 0;
    return dots;
}

// Appends `count` bytes from the reader to out; false past the end.
bool copyBytes(Reader& r, std::size_t count, std::vector<unsigned char>* out) {
    if (!r.has(count))
        return false;
    out->insert(out->end(), r.d.begin() + r.at, r.d.begin() + r.at + count);
    r.at += count;
    return true;
}

// The data of an ESC i block, unpacked; false when it runs past the end.
bool unpack(Reader& r, bool compressed, std::size_t size, std::vector<unsigned char>* out) {
    out->clear();
    if (!compressed)
        return copyBytes(r, size, out);
    while (out->size() < size) {
        if (!r.has(2))
            return false;
        const unsigned n = r.d[r.at++];
        if (n < 128 && !copyBytes(r, n + 1, out))
            return false;
        if (n > 128)
            out->insert(out->end(), 257 - n, r.d[r.at++]);
    }
    return out->size() == size;
}

// Skips a remote mode block: two-letter commands with a 16-bit length, up
// to ESC 0 0 0.
bool skipRemote(Reader& r) {
    while (r.has(4) && !(r.d[r.at] == 0x1b && r.d[r.at + 1] == 0))
        r.at += 4 + r.word(2);
    r.at += 4;
    return r.has(0);
}

} // namespace

uint64_t Escp2Dots::total() const {
    uint64_t sum = 0;
    for (const auto& [colour, n] : dots)
        sum += n;
    return sum;
}

Escp2Dots countEscp2Dots(const std::vector<unsigned char>& job) {
    Escp2Dots result;
    const std::string_view text(reinterpret_cast<const char*>(job.data()), job.size());
    Reader r{job, text.find("\x1b@")};
    std::vector<unsigned char> data;
    while (r.at < job.size() && result.problem.empty()) {
        if (job[r.at] != 0x1b) {
            ++r.at; // carriage return, form feed and the like
            continue;
        }
        if (!r.has(2))
            result.problem = "ESC at the end";
        else if (job[r.at + 1] == '(' && r.has(5)) {
            const bool remote = job[r.at + 2] == 'R';
            r.at += 5 + r.word(3);
            if (remote && !skipRemote(r))
                result.problem = "cut remote mode block";
        } else if (job[r.at + 1] == 'i' && r.has(9)) {
            const int colour = job[r.at + 2];
            const bool compressed = job[r.at + 3] == 1;
            const unsigned bits = job[r.at + 4];
            const std::size_t size = std::size_t{r.word(5)} * r.word(7);
            r.at += 9;
            if (bits == 0 || bits > 8 || !std::has_single_bit(bits) ||
                !unpack(r, compressed, size, &data))
                result.problem = "bad ESC i block";
            else
                result.dots[colour] += dotsIn(data, bits);
        } else if (job[r.at + 1] == '@')
            r.at += 2;
        else if (job[r.at + 1] == 'U' || job[r.at + 1] == 'r')
            r.at += 3;
        else
            result.problem = "unknown command ESC " + std::to_string(job[r.at + 1]);
    }
    if (r.at == std::string_view::npos || job.empty())
        result.problem = "no ESC @";
    return result;
}

} // namespace vrel::cups_test
