#include "convert_pipeline.h"

#include "cli_error.h"
#include "image/image_write.h"
#include "image/png_stream.h"
#include "preview.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <fmt/format.h>
#include <functional>
#include <malloc.h>
#include <mutex>
#include <tbb/concurrent_queue.h>
#include <tbb/global_control.h>
#include <tbb/parallel_pipeline.h>
#include <tbb/task_arena.h>
#include <tbb/task_group.h>
#include <thread>

namespace vrel::cli {

namespace {

// Output bytes of one band (one TIFF strip): large enough that the
// per-band work is small beside the conversion, small enough that many
// bands keep both threads busy and little memory is held.
constexpr std::size_t kBandBytes = 512 * 1024;

// A row of one ink's plane as the ink would print alone in black: 0 ink is
// white. The ink count as a constant lets the compiler unroll the loop.
template <std::size_t N> void invertedInk(const uint8_t* in, int width, uint8_t* out) {
    for (int x = 0; x < width; ++x)
        out[x] = static_cast<uint8_t>(255 - in[static_cast<std::size_t>(x) * N]);
}

void planeRow(const uint8_t* in, std::size_t inks, int width, uint8_t* out) {
    switch (inks) {
    case 1:
        return invertedInk<1>(in, width, out);
    case 3:
        return invertedInk<3>(in, width, out);
    case 6:
        return invertedInk<6>(in, width, out);
    case 7:
        return invertedInk<7>(in, width, out);
    default:
        return invertedInk<4>(in, width, out);
    }
}

// Each band's buffers are made on one thread and freed on another; glibc
// would hand the freed pages back to the system after most bands and fault
// them in again for the next, some tenths of a second in the kernel for a
// 16-Mpixel image. Blocks up to 32 MiB come from the heap instead, and up to
// 64 MiB of it stays when free.
void keepBandMemory() {
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}

} // namespace

struct ConvertPipeline::Band {
    int index = 0;
    Image input, inks;
    std::vector<uint8_t> strip; // the compressed TIFF strip
    PngBand preview;
    std::vector<PngBand> planes;
};

struct ConvertPipeline::State {
    ConversionRequest request;
    PipelineOutputs outputs;
    int method = 0;
    int width = 0, height = 0, channels = 0, inks = 0;
    int bandRows = 1, bandCount = 0, threads = 1;
    std::optional<Resolution> resolution;

    TiffFile tiff;
    std::unique_ptr<PngStream> preview;
    std::unique_ptr<InkPreview> previewModel;
    std::vector<std::unique_ptr<PngStream>> planes;
    // One per output, each a stage of the pipeline that takes the bands in order.
    std::vector<std::function<void(const Band&)>> writers;
    // Idle converters, one engine context each: as many are made as bands
    // are converted at once.
    tbb::concurrent_queue<std::unique_ptr<BandConverter>> converters;
    int bandsWritten = 0; // counted by the last stage alone
    // The bands in flight, band i in slot i % tokens: they outlive a
    // cancelled pipeline, which leaves its tokens behind.
    std::vector<std::unique_ptr<Band>> slots;

    // The hand-over of bands from the decoding thread to the pipeline.
    std::mutex mutex; // guards what follows
    std::condition_variable changed;
    bool wanted = false; // the pipeline waits for the next band
    // Handed over, not yet taken. With several threads the decoder runs up
    // to `ahead` bands ahead of the pipeline, so that it never waits for a
    // converting thread to ask; with one, it hands over one band at a time
    // when asked, and everything runs in turn.
    std::deque<std::unique_ptr<Band>> offered;
    std::size_t ahead = 0;
    bool ended = false;         // no more bands will come
    bool done = false;          // the pipeline has returned
    std::exception_ptr failure; // what ended it early

    tbb::task_group_context context; // cancelled when the run is abandoned
    std::thread runner;              // runs the pipeline while the caller decodes
};

ConvertPipeline::ConvertPipeline(const ConversionRequest& request, const PipelineOutputs& outputs)
    : state_(std::make_unique<State>()) {
    state_->request = request;
    state_->outputs = outputs;
}

ConvertPipeline::~ConvertPipeline() {
    stop(true);
}

int ConvertPipeline::begin(int width, int height, int channels,
                           const std::optional<Resolution>& resolution) {
    State& s = *state_;
    s.resolution = s.outputs.dpi ? s.outputs.dpi : resolution;
    if (channels != 1 && channels != 3)
        throw CliError("the image must be RGB or grey");
    s.width = width;
    s.height = height;
    s.channels = channels;
    auto converter = std::make_unique<BandConverter>(s.request, channels, width);
    s.method = converter->method();
    s.converters.push(std::move(converter));
    s.inks = inkCountFor(s.method);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(s.inks);
    s.bandRows = static_cast<int>(
        std::clamp<std::size_t>(kBandBytes / rowBytes, 1, static_cast<std::size_t>(height)));
    s.bandCount = (height + s.bandRows - 1) / s.bandRows;
    s.threads = std::clamp(s.request.threads, 1, s.bandCount);
    s.ahead = s.threads == 1 ? 0 : static_cast<std::size_t>(s.threads);
    openOutputs();
    keepBandMemory();
    s.runner = std::thread([this] { runPipeline(); });
    return s.bandRows;
}

void ConvertPipeline::openOutputs() {
    State& s = *state_;
    if (s.outputs.tiff) {
        InkTiffLayout layout;
        layout.width = s.width;
        layout.height = s.height;
        layout.inks = s.inks;
        layout.inkNames = s.outputs.inkNames;
        layout.compression = tiffCompressionTag(s.outputs.compression);
        layout.predictor = tiffPredictorTag(s.outputs.compression);
        layout.rowsPerStrip = static_cast<uint32_t>(s.bandRows);
        layout.resolution = s.resolution;
        layout.iccProfile = s.outputs.iccProfile;
        s.tiff = openInkTiff(*s.outputs.tiff, layout);
        s.writers.push_back([&s](const Band& band) {
            const bool raw = s.outputs.compression == TiffCompression::None;
            const uint8_t* data = raw ? band.inks.pixels.data() : band.strip.data();
            const std::size_t size = raw ? band.inks.pixels.size() : band.strip.size();
            if (TIFFWriteRawStrip(s.tiff.get(), static_cast<uint32_t>(band.index),
                                  const_cast<uint8_t*>(data), static_cast<tmsize_t>(size)) < 0)
                throw CliError("cannot write '" + s.outputs.tiff->path() +
                               "': " + s.tiff.lastMessage());
        });
    }
    if (s.outputs.preview) {
        s.preview = std::make_unique<PngStream>(*s.outputs.preview, s.width, s.height, 3);
        // A soft proof is sRGB, made with the relative colorimetric intent.
        const uint8_t relative = 1;
        if (s.outputs.proof)
            s.preview->writeChunk("sRGB", &relative, 1);
        if (s.resolution) {
            const auto phys = pngPhysData(*s.resolution);
            s.preview->writeChunk("pHYs", phys.data(), phys.size());
        }
        if (!s.outputs.proof)
            s.previewModel = std::make_unique<InkPreview>(s.method);
        s.writers.push_back([&s](const Band& band) { s.preview->writeBand(band.preview); });
    }
    for (std::size_t i = 0; i < s.outputs.planes.size(); ++i) {
        s.planes.push_back(std::make_unique<PngStream>(*s.outputs.planes[i], s.width, s.height, 1));
        s.writers.push_back([&s, i](const Band& band) { s.planes[i]->writeBand(band.planes[i]); });
    }
}

// Runs on its own thread, which joins an arena of --threads threads: the
// bands are taken in order, converted in parallel, then written by one
// stage per output. One thread takes each band through every stage in turn;
// more keep a few bands per thread in flight, so that none waits for the
// decoder or a slow output.
void ConvertPipeline::runPipeline() {
    State& s = *state_;
    using BandPtr = Band*;
    const auto tokens = static_cast<std::size_t>(s.threads == 1 ? 1 : 4 * s.threads);
    s.slots.resize(tokens);
    constexpr auto serial = tbb::filter_mode::serial_in_order;
    auto stages =
        tbb::make_filter<void, BandPtr>(serial,
                                        [this, &s](tbb::flow_control& control) {
                                            auto band = takeBand();
                                            if (!band) {
                                                control.stop();
                                                return BandPtr();
                                            }
                                            auto& slot = s.slots[band->index % s.slots.size()];
                                            slot = std::move(band);
                                            return slot.get();
                                        }) &
        tbb::make_filter<BandPtr, BandPtr>(tbb::filter_mode::parallel, [this](BandPtr band) {
            convert(*band);
            return band;
        });
    for (const auto& write : s.writers)
        stages = stages & tbb::make_filter<BandPtr, BandPtr>(serial, [&write](BandPtr band) {
                     write(*band);
                     return band;
                 });
    std::exception_ptr failure;
    try {
        // Allows as many threads as asked for, even beyond the cores.
        const tbb::global_control allowed(tbb::global_control::max_allowed_parallelism,
                                          static_cast<std::size_t>(s.threads));
        tbb::task_arena arena(s.threads);
        arena.execute([&] {
            tbb::parallel_pipeline(tokens,
                                   stages & tbb::make_filter<BandPtr, void>(
                                                serial,
                                                [&s](BandPtr band) {
                                                    ++s.bandsWritten;
                                                    s.slots[band->index % s.slots.size()].reset();
                                                }),
                                   s.context);
        });
    } catch (...) {
        failure = std::current_exception();
    }
    const std::lock_guard<std::mutex> hold(s.mutex);
    s.failure = failure;
    s.done = true;
    s.changed.notify_all();
}

// The pipeline's first stage: asks the decoding thread for the next band and
// waits for it; null once the bands have ended.
std::unique_ptr<ConvertPipeline::Band> ConvertPipeline::takeBand() {
    State& s = *state_;
    std::unique_lock<std::mutex> hold(s.mutex);
    s.wanted = true;
    s.changed.notify_all();
    s.changed.wait(hold, [&] { return !s.offered.empty() || s.ended; });
    s.wanted = false;
    if (s.offered.empty())
        return nullptr;
    auto band = std::move(s.offered.front());
    s.offered.pop_front();
    s.changed.notify_all();
    return band;
}

void ConvertPipeline::add(Image&& rows, int firstRow) {
    State& s = *state_;
    auto band = std::make_unique<Band>();
    band->index = firstRow / s.bandRows;
    band->input = std::move(rows);
    std::unique_lock<std::mutex> hold(s.mutex);
    const auto asked = [&] {
        return s.done || (s.ahead > 0 ? s.offered.size() < s.ahead : s.wanted && s.offered.empty());
    };
    s.changed.wait(hold, asked);
    if (!s.done) {
        s.offered.push_back(std::move(band));
        s.changed.notify_all();
        // With one thread the decoding goes on once the pipeline waits for
        // the next band: the thread that waits leaves its place to the decoder.
        if (s.ahead == 0)
            s.changed.wait(hold, asked);
    }
    if (s.failure)
        std::rethrow_exception(s.failure);
}

void ConvertPipeline::finish() {
    State& s = *state_;
    stop(false);
    if (s.failure)
        std::rethrow_exception(s.failure);
    if (s.bandsWritten != s.bandCount)
        throw CliError(fmt::format("the conversion stopped after {} of {} bands", s.bandsWritten,
                                   s.bandCount));
    if (s.tiff) {
        if (!TIFFFlush(s.tiff.get()))
            throw CliError("cannot write '" + s.outputs.tiff->path() +
                           "': " + s.tiff.lastMessage());
        s.tiff.close();
    }
    if (s.preview)
        s.preview->finish();
    for (auto& plane : s.planes)
        plane->finish();
}

// Ends the bands and waits for the pipeline; an abandoned run (the decoder
// failed) drops the bands still in flight.
void ConvertPipeline::stop(bool abandon) {
    State& s = *state_;
    if (!s.runner.joinable())
        return;
    if (abandon)
        s.context.cancel_group_execution();
    {
        const std::lock_guard<std::mutex> hold(s.mutex);
        s.ended = true;
    }
    s.changed.notify_all();
    s.runner.join();
}

void ConvertPipeline::convert(Band& band) {
    State& s = *state_;
    std::unique_ptr<BandConverter> converter;
    if (!s.converters.try_pop(converter))
        converter = std::make_unique<BandConverter>(s.request, s.channels, s.width);
    const int rows = band.input.height;
    band.inks = Image(s.width, rows, s.inks);
    converter->convert(band.input.pixels.data(), band.inks.pixels.data(), rows);
    s.converters.push(std::move(converter));
    band.input = Image();
    if (s.tiff && s.outputs.compression != TiffCompression::None)
        band.strip = compressStrip(s.outputs.compression, band.inks.pixels.data(),
                                   {static_cast<uint32_t>(s.width), static_cast<uint32_t>(rows),
                                    static_cast<uint16_t>(s.inks)});
    // The PNGs' bands are compressed here, in parallel like the strips.
    const bool first = band.index == 0, last = band.index == s.bandCount - 1;
    const auto inks = static_cast<std::size_t>(s.inks);
    if (s.preview)
        band.preview = encodePngBand(static_cast<std::size_t>(s.width) * 3, rows, first, last,
                                     [&](int y, uint8_t* out) {
                                         if (s.outputs.proof)
                                             s.outputs.proof->row(band.inks.row(y), s.width, out);
                                         else
                                             s.previewModel->row(band.inks.row(y), s.width, out);
                                     });
    for (std::size_t i = 0; i < s.planes.size(); ++i)
        band.planes.push_back(encodePngBand(
            static_cast<std::size_t>(s.width), rows, first, last,
            [&](int y, uint8_t* out) { planeRow(band.inks.row(y) + i, inks, s.width, out); }));
    if (s.outputs.compression != TiffCompression::None || !s.tiff)
        band.inks = Image();
}

} // namespace vrel::cli
