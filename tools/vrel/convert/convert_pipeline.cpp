#include "convert_pipeline.h"

#include "cli_error.h"
#include "image/image_write.h"
#include "image/png_stream.h"
#include "preview.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
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

} // namespace

struct ConvertPipeline::Band {
    int index = 0;
    Image input, inks;
    std::vector<uint8_t> strip; // the compressed TIFF strip
    PngBand preview;
    std::vector<PngBand> planes;
    std::size_t sinksLeft = 0; // outputs that have yet to write this band
};

// One output, written band after band by whichever thread holds its lock.
struct ConvertPipeline::Sink {
    std::mutex lock;
    std::atomic<int> next{0};
    std::function<void(const Band&)> write;
};

struct ConvertPipeline::State {
    ConversionRequest request;
    PipelineOutputs outputs;
    int method = 0;
    int width = 0, height = 0, channels = 0, inks = 0;
    int bandRows = 1, bandCount = 0;
    int maxInFlight = 0;

    TiffFile tiff;
    std::unique_ptr<PngStream> preview;
    std::unique_ptr<InkPreview> previewModel;
    std::vector<std::unique_ptr<PngStream>> planes;
    std::vector<std::unique_ptr<Sink>> sinks;

    std::mutex mutex; // guards what follows
    std::condition_variable changed;
    std::deque<std::shared_ptr<Band>> pending; // decoded, not yet converted
    std::vector<std::shared_ptr<Band>> ready;  // converted, by band index
    int inFlight = 0;
    int bandsDone = 0;
    bool stopping = false;
    std::exception_ptr failure;

    std::unique_ptr<BandConverter> ownConverter; // the decoding thread's
    std::vector<std::thread> workers;
};

ConvertPipeline::ConvertPipeline(const ConversionRequest& request, const PipelineOutputs& outputs)
    : state_(std::make_unique<State>()) {
    state_->request = request;
    state_->outputs = outputs;
}

ConvertPipeline::~ConvertPipeline() {
    stopWorkers();
}

int ConvertPipeline::begin(int width, int height, int channels) {
    State& s = *state_;
    if (channels != 1 && channels != 3)
        throw CliError("the image must be RGB or grey");
    s.width = width;
    s.height = height;
    s.channels = channels;
    s.ownConverter = std::make_unique<BandConverter>(s.request, channels, width);
    s.method = s.ownConverter->method();
    s.inks = inkCountFor(s.method);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(s.inks);
    s.bandRows = static_cast<int>(
        std::clamp<std::size_t>(kBandBytes / rowBytes, 1, static_cast<std::size_t>(height)));
    s.bandCount = (height + s.bandRows - 1) / s.bandRows;
    s.ready.resize(static_cast<std::size_t>(s.bandCount));
    const int threads = std::clamp(s.request.threads, 1, s.bandCount);
    // One thread does everything in turn; more keep a few bands per thread
    // in flight so that none waits for the decoder or a slow output.
    s.maxInFlight = threads == 1 ? 0 : 4 * threads;

    if (s.outputs.tiff) {
        InkTiffLayout layout;
        layout.width = width;
        layout.height = height;
        layout.inks = s.inks;
        layout.inkNames = s.outputs.inkNames;
        layout.compression = tiffCompressionTag(s.outputs.compression);
        layout.rowsPerStrip = static_cast<uint32_t>(s.bandRows);
        s.tiff = openInkTiff(*s.outputs.tiff, layout);
        auto sink = std::make_unique<Sink>();
        sink->write = [this](const Band& band) {
            State& st = *state_;
            const bool raw = st.outputs.compression == TiffCompression::None;
            const uint8_t* data = raw ? band.inks.pixels.data() : band.strip.data();
            const std::size_t size = raw ? band.inks.pixels.size() : band.strip.size();
            if (TIFFWriteRawStrip(st.tiff.get(), static_cast<uint32_t>(band.index),
                                  const_cast<uint8_t*>(data), static_cast<tmsize_t>(size)) < 0)
                throw CliError("cannot write '" + st.outputs.tiff->path() +
                               "': " + st.tiff.lastMessage());
        };
        s.sinks.push_back(std::move(sink));
    }
    if (s.outputs.preview) {
        s.preview = std::make_unique<PngStream>(*s.outputs.preview, width, height, 3);
        s.previewModel = std::make_unique<InkPreview>(s.method);
        auto sink = std::make_unique<Sink>();
        sink->write = [this](const Band& band) { state_->preview->writeBand(band.preview); };
        s.sinks.push_back(std::move(sink));
    }
    for (std::size_t i = 0; i < s.outputs.planes.size(); ++i) {
        s.planes.push_back(std::make_unique<PngStream>(*s.outputs.planes[i], width, height, 1));
        auto sink = std::make_unique<Sink>();
        sink->write = [this, i](const Band& band) { state_->planes[i]->writeBand(band.planes[i]); };
        s.sinks.push_back(std::move(sink));
    }
    for (int t = 1; t < threads; ++t)
        s.workers.emplace_back([this] { workerLoop(); });
    return s.bandRows;
}

void ConvertPipeline::add(Image&& rows, int firstRow) {
    State& s = *state_;
    auto band = std::make_shared<Band>();
    band->index = firstRow / s.bandRows;
    band->input = std::move(rows);
    band->sinksLeft = s.sinks.size();
    {
        std::lock_guard<std::mutex> hold(s.mutex);
        s.pending.push_back(std::move(band));
        ++s.inFlight;
    }
    s.changed.notify_one();
    help(s.maxInFlight);
}

void ConvertPipeline::finish() {
    State& s = *state_;
    help(0);
    stopWorkers();
    if (s.bandsDone != s.bandCount)
        throw CliError("the conversion stopped after " + std::to_string(s.bandsDone) + " of " +
                       std::to_string(s.bandCount) + " bands");
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

// Works on pending bands until at most maxInFlight bands are in flight.
void ConvertPipeline::help(int maxInFlight) {
    State& s = *state_;
    for (;;) {
        std::shared_ptr<Band> band;
        {
            std::unique_lock<std::mutex> hold(s.mutex);
            s.changed.wait(
                hold, [&] { return s.failure || s.inFlight <= maxInFlight || !s.pending.empty(); });
            if (s.failure)
                std::rethrow_exception(s.failure);
            if (s.inFlight <= maxInFlight)
                return;
            band = std::move(s.pending.front());
            s.pending.pop_front();
        }
        run(band, s.ownConverter);
    }
}

void ConvertPipeline::workerLoop() {
    State& s = *state_;
    std::unique_ptr<BandConverter> converter;
    for (;;) {
        std::shared_ptr<Band> band;
        {
            std::unique_lock<std::mutex> hold(s.mutex);
            s.changed.wait(hold, [&] { return s.stopping || s.failure || !s.pending.empty(); });
            if (s.stopping || s.failure)
                return;
            band = std::move(s.pending.front());
            s.pending.pop_front();
        }
        run(band, converter);
    }
}

void ConvertPipeline::run(const std::shared_ptr<Band>& band,
                          std::unique_ptr<BandConverter>& converter) {
    State& s = *state_;
    try {
        if (!converter)
            converter = std::make_unique<BandConverter>(s.request, s.channels, s.width);
        process(*band, *converter);
        {
            std::lock_guard<std::mutex> hold(s.mutex);
            s.ready[static_cast<std::size_t>(band->index)] = band;
        }
        if (s.sinks.empty())
            release(*band);
        drain();
    } catch (...) {
        fail(std::current_exception());
    }
}

void ConvertPipeline::process(Band& band, BandConverter& converter) const {
    const State& s = *state_;
    const int rows = band.input.height;
    band.inks = Image(s.width, rows, s.inks);
    converter.convert(band.input.pixels.data(), band.inks.pixels.data(), rows);
    band.input = Image();
    if (s.tiff && s.outputs.compression != TiffCompression::None)
        band.strip = compressStrip(s.outputs.compression, band.inks.pixels.data(),
                                   {static_cast<uint32_t>(s.width), static_cast<uint32_t>(rows),
                                    static_cast<uint16_t>(s.inks)});
    // The PNGs' bands are compressed here, in parallel like the strips.
    const bool first = band.index == 0, last = band.index == s.bandCount - 1;
    const auto inks = static_cast<std::size_t>(s.inks);
    if (s.preview)
        band.preview = encodePngBand(
            static_cast<std::size_t>(s.width) * 3, rows, first, last,
            [&](int y, uint8_t* out) { s.previewModel->row(band.inks.row(y), s.width, out); });
    for (std::size_t i = 0; i < s.planes.size(); ++i)
        band.planes.push_back(encodePngBand(
            static_cast<std::size_t>(s.width), rows, first, last,
            [&](int y, uint8_t* out) { planeRow(band.inks.row(y) + i, inks, s.width, out); }));
    if (s.outputs.compression != TiffCompression::None || !s.tiff)
        band.inks = Image();
}

// Writes, for every output whose lock is free, the bands that are next in
// its order. A band that becomes ready while another thread holds an
// output's lock is written by that thread: it looks again after letting go.
void ConvertPipeline::drain() {
    State& s = *state_;
    const auto readyBand = [&](const Sink& sink) {
        std::lock_guard<std::mutex> hold(s.mutex);
        const int next = sink.next.load();
        return next < s.bandCount && !s.failure ? s.ready[static_cast<std::size_t>(next)]
                                                : std::shared_ptr<Band>();
    };
    for (auto& sink : s.sinks) {
        for (;;) {
            std::unique_lock<std::mutex> own(sink->lock, std::try_to_lock);
            if (!own.owns_lock())
                break;
            while (auto band = readyBand(*sink)) {
                sink->write(*band);
                sink->next.fetch_add(1);
                release(*band);
            }
            own.unlock();
            if (!readyBand(*sink))
                break;
        }
    }
}

void ConvertPipeline::release(Band& band) {
    State& s = *state_;
    {
        std::lock_guard<std::mutex> hold(s.mutex);
        if (band.sinksLeft > 0 && --band.sinksLeft > 0)
            return;
        s.ready[static_cast<std::size_t>(band.index)].reset();
        --s.inFlight;
        ++s.bandsDone;
    }
    s.changed.notify_all();
}

void ConvertPipeline::fail(std::exception_ptr failure) {
    State& s = *state_;
    {
        std::lock_guard<std::mutex> hold(s.mutex);
        if (!s.failure)
            s.failure = std::move(failure);
    }
    s.changed.notify_all();
}

void ConvertPipeline::stopWorkers() {
    State& s = *state_;
    {
        std::lock_guard<std::mutex> hold(s.mutex);
        s.stopping = true;
    }
    s.changed.notify_all();
    for (auto& worker : s.workers)
        worker.join();
    s.workers.clear();
}

} // namespace vrel::cli
