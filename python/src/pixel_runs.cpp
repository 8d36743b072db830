#include "pixel_runs.h"

#include <algorithm>
#include <fmt/format.h>
#include <string>

namespace py = pybind11;

namespace vrel::python {

namespace {

bool isPacked(const PixelArray& p) {
    if (p.channels > 1 && p.channelStride != 1)
        return false;
    py::ssize_t expected = p.channels;
    for (std::size_t d = p.shape.size(); d-- > 0;) {
        if (p.shape[d] != 1 && p.strides[d] != expected)
            return false;
        expected *= p.shape[d];
    }
    return true;
}

// One line of `width` pixels, `step` bytes apart, in runs.
void lineRuns(const PixelArray& p, const uint8_t* line, std::size_t width, py::ssize_t step,
              std::size_t first, std::size_t maxRun, std::vector<uint8_t>& scratch,
              const RunTaker& take) {
    const bool packed = step == p.channels && (p.channels == 1 || p.channelStride == 1);
    const auto channels = static_cast<std::size_t>(p.channels);
    for (std::size_t x = 0; x < width; x += maxRun) {
        const std::size_t count = std::min(maxRun, width - x);
        const uint8_t* start = line + static_cast<py::ssize_t>(x) * step;
        if (packed) {
            take(first + x, count, start);
            continue;
        }
        scratch.resize(count * channels);
        for (std::size_t i = 0; i < count; ++i) {
            const uint8_t* pixel = start + static_cast<py::ssize_t>(i) * step;
            for (std::size_t c = 0; c < channels; ++c)
                scratch[i * channels + c] = pixel[static_cast<py::ssize_t>(c) * p.channelStride];
        }
        take(first + x, count, scratch.data());
    }
}

} // namespace

PixelArray pixelArray(const py::object& object, bool grey, const char* call, py::array& holder) {
    holder = py::array::ensure(object);
    if (!holder)
        throw py::type_error(std::string(call) + " takes a uint8 array, not " +
                             std::string(py::str(object.get_type().attr("__name__"))));
    const py::array& input = holder;
    if (input.dtype().kind() != 'u' || input.itemsize() != 1)
        throw py::type_error(std::string(call) + " takes a uint8 array, not " +
                             std::string(py::str(input.dtype())));
    PixelArray p;
    p.data = static_cast<const uint8_t*>(input.data());
    p.channels = grey ? 1 : 3;
    const auto ndim = static_cast<std::size_t>(input.ndim());
    if (!grey && (ndim == 0 || input.shape(static_cast<py::ssize_t>(ndim - 1)) != 3))
        throw py::value_error(fmt::format(
            "{} takes RGB pixels: the last dimension must be 3, not {} (grey=True "
            "takes grey levels of any shape)",
            call,
            ndim == 0 ? std::string("absent (a scalar)")
                      : fmt::format("{}", input.shape(static_cast<py::ssize_t>(ndim - 1)))));
    const std::size_t pixelDims = grey ? ndim : ndim - 1;
    p.pixels = 1;
    for (std::size_t d = 0; d < pixelDims; ++d) {
        p.shape.push_back(input.shape(static_cast<py::ssize_t>(d)));
        p.strides.push_back(input.strides(static_cast<py::ssize_t>(d)));
        p.pixels *= static_cast<std::size_t>(p.shape.back());
    }
    if (!grey)
        p.channelStride = input.strides(static_cast<py::ssize_t>(ndim - 1));
    return p;
}

void forEachRun(const PixelArray& p, std::size_t maxRun, std::vector<uint8_t>& scratch,
                const RunTaker& take) {
    if (p.pixels == 0)
        return;
    if (p.shape.empty() || isPacked(p)) {
        lineRuns(p, p.data, p.pixels, p.channels, 0, maxRun, scratch, take);
        return;
    }
    // Line by line along the last pixel dimension; the others are counted
    // like the digits of a number.
    const std::size_t outer = p.shape.size() - 1;
    const auto width = static_cast<std::size_t>(p.shape[outer]);
    std::vector<py::ssize_t> index(outer, 0);
    for (std::size_t first = 0; first < p.pixels; first += width) {
        const uint8_t* line = p.data;
        for (std::size_t d = 0; d < outer; ++d)
            line += index[d] * p.strides[d];
        lineRuns(p, line, width, p.strides[outer], first, maxRun, scratch, take);
        for (std::size_t d = outer; d-- > 0;) {
            if (++index[d] < p.shape[d])
                break;
            index[d] = 0;
        }
    }
}

} // namespace vrel::python
