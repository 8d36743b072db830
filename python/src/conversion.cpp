#include "conversion.h"

#include "common/engine_limits.h"
#include "convert/convert_image.h"
#include "errors.h"
#include "pixel_runs.h"

#include <array>
#include <fmt/format.h>
#include <pybind11/numpy.h>
#include <pybind11/stl.h>
#include <string>
#include <vector>

namespace py = pybind11;

namespace vrel::python {

namespace {

constexpr std::size_t kRun = vrel::tools::kPixelsPerCall;

struct Request {
    bool grey = false;
    bool planes = false;
    bool correct = false;
};

// The packed output format of the bitmap conversion for each method's inks.
uint32_t packedFormat(int method) {
    switch (method) {
    case VrelMethodThreeChannel:
        return VrelFormatRgb24;
    case VrelMethodSixColor:
        return VrelFormatInk6;
    case VrelMethodSevenColor:
        return VrelFormatInk7;
    default:
        return VrelFormatCmyk32;
    }
}

void check(int result, const char* call) {
    if (result < 0)
        throw ModuleError(fmt::format("the engine refused the {} (result {})", call, result),
                          result);
}

// Converts the pixels into `out`: packed inks (pixels x inks) or planes
// (inks x pixels). Runs with the GIL released.
class Converter {
  public:
    Converter(EngineContext* context, int method, const Request& request, uint8_t* out,
              std::size_t pixels)
        : ctx_(context), method_(method), inks_(cli::inkCountFor(method)), request_(request),
          out_(out), pixels_(pixels), spare_(kRun) {}

    void run(const uint8_t* source, std::size_t first, std::size_t count) {
        const uint32_t format = request_.grey ? VrelFormatGray8 : VrelFormatRgb24;
        if (request_.correct) {
            // The correction works on a copy of the run, as the tool's does.
            own_.assign(source, source + count * (request_.grey ? 1 : 3));
            VrelBitmapColorCorrection(format, own_.data(), own_.data(),
                                      static_cast<uint16_t>(count), 0, 0, ctx_);
            source = own_.data();
        }
        if (!request_.planes && method_ != VrelMethodBlack) {
            check(VrelBitmapColorConversion(format, packedFormat(method_), source,
                                            out_ + first * static_cast<std::size_t>(inks_),
                                            static_cast<uint32_t>(count), 0, 0, 0, ctx_),
                  "bitmap conversion");
            return;
        }
        LineRecord line{};
        line.format = format;
        line.source = source;
        if (method_ == VrelMethodBlack && !request_.grey) {
            // The black line takes grey: the tool's luminance of each pixel.
            grey_.resize(count);
            for (std::size_t i = 0; i < count; ++i)
                grey_[i] = cli::greyOf(source[3 * i], source[3 * i + 1], source[3 * i + 2]);
            line.format = VrelFormatGray8;
            line.source = grey_.data();
        }
        // The black method writes plane 3 only: the one output plane.
        for (int i = 0; i < 7; ++i) {
            const int plane = method_ == VrelMethodBlack ? (i == 3 ? 0 : -1) : i < inks_ ? i : -1;
            line.planes[i] = plane < 0 ? spare_.data()
                                       : out_ + static_cast<std::size_t>(plane) * pixels_ + first;
        }
        check(VrelLineColorConversion(&line, static_cast<uint16_t>(count), 0, 0, 0, ctx_),
              "line conversion");
    }

  private:
    EngineContext* ctx_;
    int method_, inks_;
    Request request_;
    uint8_t* out_;
    std::size_t pixels_;
    std::vector<uint8_t> spare_, own_, grey_;
};

std::vector<py::ssize_t> outputShape(const PixelArray& p, int channels, bool planesFirst) {
    std::vector<py::ssize_t> shape = p.shape;
    if (planesFirst)
        shape.insert(shape.begin(), channels);
    else
        shape.push_back(channels);
    return shape;
}

py::array_t<uint8_t> convert(Context& c, const py::object& input, const Request& request) {
    py::array holder;
    const PixelArray pixels = pixelArray(input, request.grey, "convert()", holder);
    py::array_t<uint8_t> out(outputShape(pixels, c.inks(), request.planes));
    uint8_t* target = out.mutable_data();
    c.run([&](EngineContext* ctx) {
        c.useMode(ctx, request.grey ? VrelModeGray : VrelModeDirect);
        Converter converter(ctx, c.method(), request, target, pixels.pixels);
        std::vector<uint8_t> scratch;
        forEachRun(pixels, kRun, scratch,
                   [&](std::size_t first, std::size_t count, const uint8_t* packed) {
                       converter.run(packed, first, count);
                   });
    });
    return out;
}

py::array_t<uint8_t> correct(Context& c, const py::object& input, bool grey) {
    py::array holder;
    const PixelArray pixels = pixelArray(input, grey, "correct()", holder);
    const int channels = grey ? 1 : 3;
    py::array_t<uint8_t> out(grey ? pixels.shape : outputShape(pixels, channels, false));
    uint8_t* target = out.mutable_data();
    c.run([&](EngineContext* ctx) {
        const uint32_t format = grey ? VrelFormatGray8 : VrelFormatRgb24;
        std::vector<uint8_t> scratch;
        forEachRun(pixels, kRun, scratch,
                   [&](std::size_t first, std::size_t count, const uint8_t* packed) {
                       VrelBitmapColorCorrection(format, packed, target + first * channels,
                                                 static_cast<uint16_t>(count), 0, 0, ctx);
                   });
    });
    return out;
}

std::array<uint8_t, 3> colourOf(const std::vector<long long>& rgb) {
    if (rgb.size() != 3)
        throw py::value_error(fmt::format(
            "convert_pixel() takes one colour: (red, green, blue), not {} values", rgb.size()));
    std::array<uint8_t, 3> colour{};
    for (std::size_t i = 0; i < 3; ++i) {
        if (rgb[i] < 0 || rgb[i] > 255)
            throw py::value_error(
                fmt::format("convert_pixel(): each value must be from 0 to 255, not {}", rgb[i]));
        colour[i] = static_cast<uint8_t>(rgb[i]);
    }
    return colour;
}

// One colour through the pixel export where the method has a packed format
// for it (black, three channels, four inks); six and seven inks have none,
// so their colour is a run of one pixel.
py::tuple convertPixel(Context& c, const std::vector<long long>& rgb) {
    const auto colour = colourOf(rgb);
    const uint32_t packed = static_cast<uint32_t>(colour[0]) << 16 | colour[1] << 8 | colour[2];
    std::vector<uint8_t> inks(static_cast<std::size_t>(c.inks()));
    c.run([&](EngineContext* ctx) {
        c.useMode(ctx, VrelModeDirect);
        uint32_t result = 0;
        switch (c.method()) {
        case VrelMethodBlack:
            check(VrelPixelColorConversion(
                      0, VrelFormatBlackPixel32,
                      static_cast<uint32_t>(cli::greyOf(colour[0], colour[1], colour[2])) << 24,
                      &result, ctx),
                  "pixel conversion");
            // The pixel export answers in grey: 255 minus the black.
            inks[0] = static_cast<uint8_t>(255 - (result >> 24));
            return;
        case VrelMethodThreeChannel:
        case VrelMethodFourColor:
            check(VrelPixelColorConversion(
                      0, c.method() == VrelMethodFourColor ? VrelFormatCmyk32 : VrelFormatXrgb32,
                      packed, &result, ctx),
                  "pixel conversion");
            for (std::size_t i = 0; i < inks.size(); ++i)
                inks[i] = static_cast<uint8_t>(result >> (8 * (inks.size() - 1 - i)));
            return;
        default:
            Converter converter(ctx, c.method(), Request{}, inks.data(), 1);
            converter.run(colour.data(), 0, 1);
        }
    });
    py::tuple out(inks.size());
    for (std::size_t i = 0; i < inks.size(); ++i)
        out[i] = py::int_(inks[i]);
    return out;
}

constexpr const char* kConvertDoc = R"(Converts pixels into inks.

rgb: a uint8 numpy array of shape (..., 3) (red, green, blue), or of any
shape with grey=True (grey levels). Any leading shape and any strides are
taken; a packed array is read where it lies.

Returns a new uint8 array of shape (..., inks): cyan, magenta, yellow, black,
then the further inks (see ink_names); red, green, blue for a three-channel
context; black alone for a black-only one. With planes=True the result is
the line conversion's planes instead, shape (inks, ...). With correct=True
the colour correction runs first, as ``vrel convert --correct`` does.

The result is the engine's, byte for byte: the same as the C interface and
as ``vrel convert --input-profile none`` on the same pixels. Lines longer
than the engine takes in one call are split here; the GIL is released
while the engine works.)";

constexpr const char* kCorrectDoc =
    R"(Corrects pixels RGB to RGB through the profile's correction table.

rgb: a uint8 array of shape (..., 3), or of any shape with grey=True.
Returns a new array of the same shape. A profile without a correction
table gives the pixels back unchanged.)";

} // namespace

void bindConversions(py::class_<Context>& cls) {
    cls.def(
        "convert",
        [](Context& c, const py::object& rgb, bool grey, bool planes, bool correctFirst) {
            return convert(c, rgb, Request{grey, planes, correctFirst});
        },
        py::arg("rgb"), py::kw_only(), py::arg("grey") = false, py::arg("planes") = false,
        py::arg("correct") = false, kConvertDoc);
    cls.def("correct", &correct, py::arg("rgb"), py::kw_only(), py::arg("grey") = false,
            kCorrectDoc);
    cls.def("convert_pixel", &convertPixel, py::arg("rgb"),
            "Converts one colour (red, green, blue), each 0..255, into a tuple of inks in the "
            "order of convert().");
}

} // namespace vrel::python
