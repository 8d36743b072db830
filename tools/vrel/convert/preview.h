// An on-screen simulation of the printed result: a simple subtractive ink
// model. Each ink has a colour, the fraction of red, green and blue light it
// lets through at full coverage (T); at coverage a = ink / 255 it passes
// 1 - a (1 - T) of each. The inks of a pixel multiply, on white paper:
//   out = 255 * prod_i (1 - a_i (1 - T_i)),
// computed directly on display values. With ideal inks (cyan passing
// (0, 1, 1), ...) this inverts the analytic ink model of the bundled
// database exactly; the colours below are slightly impure, as real inks are.
// Light inks pass 1 - 0.35 (1 - T) of their dark ink's colour, the grey ink
// 1 - 0.4 (1 - T) of black's (the light-ink ratios of the analytic model).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vrel::cli {

// Transmittance colours of the inks of a method, in the engine's ink order.
std::vector<std::array<double, 3>> inkColoursFor(int method);

// RGB preview of the ink rows of a method (3-channel RGB output of method 3
// is shown as is), a row at a time.
class InkPreview {
  public:
    explicit InkPreview(int method);
    // `width` pixels of interleaved inks into as many RGB pixels.
    void row(const uint8_t* inks, int width, uint8_t* rgb) const;

  private:
    bool rgb_ = false;
    std::size_t inks_ = 0;
    std::vector<std::array<double, 3>> factors_; // ink i at value v: [i * 256 + v]
};

// One pixel of the model, for tests and plots.
std::array<uint8_t, 3> previewPixel(const uint8_t* inks, int count,
                                    const std::vector<std::array<double, 3>>& colours);

} // namespace vrel::cli
