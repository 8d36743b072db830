// The pixels of a numpy array as runs the engine takes: at most the per-call
// limit each, packed (three bytes per RGB pixel, one per grey level). Packed
// stretches of the array are handed over where they lie, with no copy; other
// layouts (slices, transposes, negative steps) are gathered run by run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <pybind11/numpy.h>
#include <vector>

namespace vrel::python {

struct PixelArray {
    const uint8_t* data = nullptr;
    int channels = 3;                       // 3 (RGB) or 1 (grey)
    std::vector<pybind11::ssize_t> shape;   // the pixel dimensions (no channel axis)
    std::vector<pybind11::ssize_t> strides; // in bytes, per pixel dimension
    pybind11::ssize_t channelStride = 1;    // bytes from red to green
    std::size_t pixels = 0;
};

// Checks the array (uint8; the last dimension 3 unless grey) and describes
// it; raises TypeError for another dtype and ValueError for another last
// dimension. `call` names the method in messages.
// Anything numpy makes an array of is taken (a list gives int64 and is
// refused for its dtype); the array is kept alive in `holder`.
PixelArray pixelArray(const pybind11::object& input, bool grey, const char* call,
                      pybind11::array& holder);

// Calls take(first, count, packed) for every pixel in C order, in runs of at
// most maxRun pixels; `packed` holds the run's count pixels packed. Needs no
// GIL: it reads only the array's memory.
using RunTaker = std::function<void(std::size_t first, std::size_t count, const uint8_t* packed)>;
void forEachRun(const PixelArray& pixels, std::size_t maxRun, std::vector<uint8_t>& scratch,
                const RunTaker& take);

} // namespace vrel::python
