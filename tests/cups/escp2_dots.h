// Dots per ink channel in an ESC/P2 print job, as Gutenprint writes it for
// Epson printers: after the job's preamble (EJL, ESC @, remote mode
// blocks), raster comes in ESC i blocks
//   ESC i colour compression bits bytesPerLine(2) lines(2) data
// whose data is run-length compressed (compression 1: a count byte n < 128
// copies n + 1 bytes, n > 128 repeats the next byte 257 - n times) and holds
// `bits` bits per dot position, a dot where they are not zero. The colour
// byte names the ink: 0 black, 1 magenta, 2 cyan, 4 yellow; 0x10 added
// marks the light ink of the colour, 0x30 the light-light one.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vrel::cups_test {

struct Escp2Dots {
    std::map<int, uint64_t> dots; // colour byte -> dots
    std::string problem;          // empty when the job decoded to its end

    uint64_t of(int colour) const {
        const auto it = dots.find(colour);
        return it == dots.end() ? 0 : it->second;
    }
    uint64_t total() const;
};

namespace ink {
inline constexpr int kBlack = 0x00, kMagenta = 0x01, kCyan = 0x02, kYellow = 0x04;
inline constexpr int kLightBlack = 0x10, kLightMagenta = 0x11, kLightCyan = 0x12;
inline constexpr int kLightLightBlack = 0x30;
} // namespace ink

Escp2Dots countEscp2Dots(const std::vector<unsigned char>& job);

} // namespace vrel::cups_test
