#include "engine_scenario.h"

#include <array>
#include <cstring>

namespace vrel::windows_check {

namespace {

constexpr uint16_t kCount = 181; // pixels in each run
constexpr int16_t kSkipStart = 3;
constexpr uint16_t kSkipEnd = 4;
constexpr std::size_t kMaxPixelBytes = 8;
constexpr uint8_t kGuard = 0xAA; // fill of every output buffer before a call

// splitmix64: the same sequence on every target.
class Random {
  public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::vector<uint8_t> bytes(std::size_t n) {
        std::vector<uint8_t> out(n);
        for (auto& b : out) {
            b = static_cast<uint8_t>(next() >> 56);
        }
        return out;
    }

  private:
    uint64_t state_;
};

class Recorder {
  public:
    explicit Recorder(ScenarioRun& run) : run_(run) {}

    void bytes(const std::string& name, const void* data, std::size_t length) {
        const auto* p = static_cast<const uint8_t*>(data);
        run_.observations.push_back({name, std::vector<uint8_t>(p, p + length)});
    }
    void bytes(const std::string& name, const std::vector<uint8_t>& data) {
        bytes(name, data.data(), data.size());
    }
    void result(const std::string& name, VrelResult r) {
        const uint16_t u = static_cast<uint16_t>(r);
        const uint8_t le[2] = {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8)};
        bytes(name, le, sizeof le);
    }
    void word(const std::string& name, uint32_t w) {
        const uint8_t le[4] = {static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8),
                               static_cast<uint8_t>(w >> 16), static_cast<uint8_t>(w >> 24)};
        bytes(name, le, sizeof le);
    }
    void expect(bool ok, const std::string& rule) {
        if (!ok) {
            run_.violations.push_back(rule);
        }
    }

  private:
    ScenarioRun& run_;
};

bool allGuard(const uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (p[i] != kGuard) {
            return false;
        }
    }
    return true;
}

// The pixels outside [kSkipStart, kCount - kSkipEnd) and the bytes past the
// run keep their guard fill; some processed pixel was written.
void expectRunWritten(Recorder& rec, const std::vector<uint8_t>& out, std::size_t pixelBytes,
                      const std::string& what) {
    const std::size_t first = kSkipStart * pixelBytes;
    const std::size_t last = (kCount - kSkipEnd) * pixelBytes;
    rec.expect(allGuard(out.data(), first), what + " leaves the skipped start pixels alone");
    rec.expect(allGuard(out.data() + last, out.size() - last),
               what + " leaves the skipped end pixels and the bytes after the run alone");
    rec.expect(!allGuard(out.data() + first, last - first), what + " writes the processed pixels");
}

std::string bitmapName(uint32_t in, uint32_t out, uint32_t step) {
    return "VrelBitmapColorConversion in " + std::to_string(in) + " out " + std::to_string(out) +
           " step " + std::to_string(step);
}

void queries(const EngineApi& api, EngineContext* context, Recorder& rec) {
    struct Query {
        const char* name;
        uint32_t(VREL_CALL* call)(EngineContext*, uint8_t*, uint32_t);
        std::size_t size;
    };
    const Query all[] = {{"VrelGetSearchData", api.searchData, VREL_SEARCH_DATA_SIZE},
                         {"VrelGetProfileName", api.profileName, VREL_PROFILE_NAME_SIZE},
                         {"VrelGetSearchDataC", api.searchDataC, VREL_SEARCH_DATA_SIZE},
                         {"VrelGetProfileNameC", api.profileNameC, VREL_PROFILE_NAME_SIZE}};
    for (const Query& q : all) {
        std::array<uint8_t, 40> buffer;
        buffer.fill(kGuard);
        const uint32_t value = q.call(context, buffer.data(), 0xDEADBEEFu);
        rec.word(std::string(q.name) + " value", value);
        rec.bytes(std::string(q.name) + " buffer", buffer.data(), buffer.size());
        rec.expect(allGuard(buffer.data() + q.size, buffer.size() - q.size),
                   std::string(q.name) + " writes no byte past its buffer");
    }
}

void bitmapConversions(const EngineApi& api, EngineContext* context, Recorder& rec,
                       Random& random) {
    const std::vector<uint8_t> source = random.bytes(kCount * kMaxPixelBytes);
    struct Case {
        uint32_t in, out, step;
        std::size_t outBytes; // bytes per output pixel, 0 = not checked here
    };
    const Case cases[] = {
        {VrelFormatRgb24, VrelFormatCmyk32, 0, 4},  {VrelFormatBgrx32, VrelFormatKymc32, 0, 4},
        {VrelFormatXrgb32, VrelFormatCmyk32, 0, 4}, {VrelFormatRgb24, VrelFormatCmyk32, 5, 4},
        {VrelFormatBgr24, VrelFormatBlack8, 0, 0},  {VrelFormatGray8, VrelFormatCmyk32, 0, 0},
        {VrelFormatRgb24, VrelFormatRgb24, 0, 0},   {VrelFormatRgb24, VrelFormatInk7, 0, 0},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> out(kCount * kMaxPixelBytes, kGuard);
        const VrelResult r = api.bitmapConversion(c.in, c.out, source.data(), out.data(), kCount,
                                                  kSkipStart, kSkipEnd, c.step, context);
        const std::string name = bitmapName(c.in, c.out, c.step);
        rec.result(name + " result", r);
        rec.bytes(name + " output", out);
        if (c.outBytes != 0) {
            rec.expect(r == VREL_OK, name + " succeeds for a four-ink profile");
            expectRunWritten(rec, out, c.outBytes, name);
        }
    }
}

void pixelConversions(const EngineApi& api, EngineContext* context, Recorder& rec, Random& random) {
    for (int i = 0; i < 16; ++i) {
        const uint32_t value = static_cast<uint32_t>(random.next()) & 0x00FFFFFFu;
        const uint32_t format = i % 2 == 0 ? VrelFormatCmyk32 : VrelFormatKymc32;
        uint32_t result = 0xA5A5A5A5u;
        const VrelResult r = api.pixelConversion(0x5A5A5A5Au, format, value, &result, context);
        const std::string name = "VrelPixelColorConversion " + std::to_string(i);
        rec.result(name + " result", r);
        rec.word(name + " value", result);
    }
}

void lineConversion(const EngineApi& api, EngineContext* context, Recorder& rec, Random& random) {
    const std::vector<uint8_t> source = random.bytes(kCount * 3);
    std::array<std::vector<uint8_t>, 7> planes;
    LineRecord line{};
    line.format = VrelFormatRgb24;
    line.source = source.data();
    for (int k = 0; k < 7; ++k) {
        planes[k].assign(kCount + 16, kGuard);
        line.planes[k] = planes[k].data();
    }
    const VrelResult r = api.lineConversion(&line, kCount, kSkipStart, kSkipEnd, 0, context);
    rec.result("VrelLineColorConversion result", r);
    rec.expect(r == VREL_OK, "VrelLineColorConversion succeeds for a four-ink profile");
    for (int k = 0; k < 7; ++k) {
        rec.bytes("VrelLineColorConversion plane " + std::to_string(k), planes[k]);
    }
    for (int k = 0; k < 4; ++k) {
        expectRunWritten(rec, planes[k], 1,
                         "VrelLineColorConversion ink plane " + std::to_string(k));
    }
}

void corrections(const EngineApi& api, EngineContext* context, Recorder& rec, Random& random) {
    const std::vector<uint8_t> source = random.bytes(kCount * 3);
    std::vector<uint8_t> out(kCount * 3 + 16, kGuard);
    VrelResult r = api.bitmapCorrection(VrelFormatRgb24, source.data(), out.data(), kCount,
                                        kSkipStart, kSkipEnd, context);
    rec.result("VrelBitmapColorCorrection result", r);
    rec.bytes("VrelBitmapColorCorrection output", out);
    expectRunWritten(rec, out, 3, "VrelBitmapColorCorrection");

    std::vector<uint8_t> inPlace = source;
    inPlace.resize(out.size(), kGuard);
    r = api.bitmapCorrection(VrelFormatRgb24, inPlace.data(), inPlace.data(), kCount, kSkipStart,
                             kSkipEnd, context);
    rec.result("VrelBitmapColorCorrection in place result", r);
    rec.bytes("VrelBitmapColorCorrection in place output", inPlace);
    const std::size_t first = kSkipStart * 3;
    const std::size_t last = (kCount - kSkipEnd) * 3;
    rec.expect(std::memcmp(inPlace.data() + first, out.data() + first, last - first) == 0,
               "in-place correction gives the same pixels as correction into another buffer");
    rec.expect(std::memcmp(inPlace.data(), source.data(), first) == 0 &&
                   std::memcmp(inPlace.data() + last, source.data() + last, kCount * 3 - last) == 0,
               "in-place correction leaves the skipped pixels as they were");

    for (int i = 0; i < 12; ++i) {
        const uint32_t colour = static_cast<uint32_t>(random.next()) & 0x00FFFFFFu;
        const int32_t format = i % 2 == 0 ? 2 : 5;
        uint32_t result = 0xA5A5A5A5u;
        r = api.pixelCorrection(format, colour, &result, context);
        const std::string name = "VrelPixelColorCorrection " + std::to_string(i);
        rec.result(name + " result", r);
        rec.word(name + " value", result);
    }
}

bool bitOf(const std::vector<uint8_t>& plane, int p) {
    return (plane[static_cast<std::size_t>(p / 8)] >> (7 - p % 8)) & 1;
}
void setBit(std::vector<uint8_t>& plane, int p, bool v) {
    const auto mask = static_cast<uint8_t>(0x80 >> (p % 8));
    plane[static_cast<std::size_t>(p / 8)] =
        static_cast<uint8_t>(v ? plane[static_cast<std::size_t>(p / 8)] | mask
                               : plane[static_cast<std::size_t>(p / 8)] & ~mask);
}

// Four ink planes from three light-sense planes, pixel by pixel: black where
// all three colours are dark, colour dots only where there is no black.
void onDotBlackReference(std::array<std::vector<uint8_t>, 4>& planes, int count, int skipStart,
                         int skipEnd) {
    for (std::size_t i = 0; i < static_cast<std::size_t>((count + 7) / 8); ++i) {
        planes[3][i] = 0;
    }
    for (int p = skipStart; p < count - skipEnd; ++p) {
        const bool k = !(bitOf(planes[0], p) || bitOf(planes[1], p) || bitOf(planes[2], p));
        setBit(planes[3], p, k);
        for (int q = 0; q < 3; ++q) {
            setBit(planes[q], p, !(bitOf(planes[q], p) || k));
        }
    }
}

void onDotBlack(const EngineApi& api, EngineContext* context, Recorder& rec, Random& random,
                bool fourInkMethod) {
    const int count = 203;
    const int skipStart = 5;
    const int skipEnd = 6;
    std::array<std::vector<uint8_t>, 4> planes;
    for (auto& plane : planes) {
        plane = random.bytes((count + 7) / 8 + 4);
    }
    auto expected = planes;
    const VrelResult r =
        api.onDotBlack(planes[0].data(), planes[1].data(), planes[2].data(), planes[3].data(),
                       count, skipStart, skipEnd, 0x12345678u, context);
    rec.result("VrelOnDotBlack result", r);
    for (int k = 0; k < 4; ++k) {
        rec.bytes("VrelOnDotBlack plane " + std::to_string(k), planes[k]);
    }
    if (fourInkMethod) {
        onDotBlackReference(expected, count, skipStart, skipEnd);
        rec.expect(r == VREL_OK && planes == expected,
                   "VrelOnDotBlack makes the four ink planes pixel by pixel");
    }
}

} // namespace

ScenarioRun runScenario(const EngineApi& api, const ParamRecord& params) {
    ScenarioRun run;
    Recorder rec(run);
    Random random(0x5EEDF00Du);

    EngineContext* context = nullptr;
    VrelResult r = api.init(&context, &params);
    rec.result("VrelInit result", r);
    rec.expect(r == VREL_OK || r == VREL_OK_ADJUST,
               "VrelInit opens the profile (result " + std::to_string(r) + ")");
    rec.expect(context != nullptr, "VrelInit hands back a context");
    if (context == nullptr) {
        return run;
    }

    queries(api, context, rec);

    r = api.initConversion(context, VrelModeDirect, nullptr);
    rec.result("VrelInitColorConversion result", r);
    rec.expect(r == VrelMethodFourColor,
               "VrelInitColorConversion reports the four-ink method (result " + std::to_string(r) +
                   ")");

    bitmapConversions(api, context, rec, random);
    pixelConversions(api, context, rec, random);
    lineConversion(api, context, rec, random);
    corrections(api, context, rec, random);
    onDotBlack(api, context, rec, random, r == VrelMethodFourColor);

    // The same record keeps the context; a new density opens a new one.
    EngineContext* const kept = context;
    r = api.reset(&context, &params);
    rec.result("VrelReset same record result", r);
    rec.expect((r == VREL_OK_KEPT || r == (VREL_OK_KEPT | 1)) && context == kept,
               "VrelReset with the same record keeps the context");

    ParamRecord changed = params;
    changed.density = static_cast<int16_t>(changed.density + 7);
    r = api.reset(&context, &changed);
    rec.result("VrelReset new density result", r);
    rec.expect((r == VREL_OK || r == VREL_OK_ADJUST) && context != nullptr,
               "VrelReset with a new density opens a new context");
    if (context != nullptr) {
        r = api.initConversion(context, VrelModeDirect, nullptr);
        rec.result("VrelInitColorConversion after reset result", r);
        const std::vector<uint8_t> source = random.bytes(kCount * 3);
        std::vector<uint8_t> out(kCount * 4, kGuard);
        r = api.bitmapConversion(VrelFormatRgb24, VrelFormatCmyk32, source.data(), out.data(),
                                 kCount, 0, 0, 0, context);
        rec.result("VrelBitmapColorConversion after reset result", r);
        rec.bytes("VrelBitmapColorConversion after reset output", out);
    }
    api.close(context);
    api.close(nullptr);
    return run;
}

} // namespace vrel::windows_check
