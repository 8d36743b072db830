// The convert command: reads the image, converts it through the engine and
// writes the ink TIFF, the preview and the planes as one set of outputs.
#include "cli_error.h"
#include "commands.h"
#include "convert_image.h"
#include "convert_pipeline.h"
#include "image_read.h"
#include "output_set.h"
#include "progress.h"

#include <algorithm>
#include <filesystem>
#include <iostream>

namespace vrel::cli {

namespace {

std::string extensionOf(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

// A name without an extension and an existing device or FIFO take the
// format as it is.
void checkExtension(const std::string& path, const std::string& option,
                    std::initializer_list<const char*> taken, const char* format) {
    const auto ext = extensionOf(path);
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (path.empty() || ext.empty() ||
        (!error && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
         !std::filesystem::is_directory(status)) ||
        std::any_of(taken.begin(), taken.end(), [&](const char* t) { return ext == t; }))
        return;
    throw CliError(option + " '" + path + "': this output is a " + format + " file; name it " +
                   *taken.begin() +
                   (option == "-o" ? " or .tiff (the preview, --preview, is a PNG)" : ""));
}

// Image limits out of range are refused, never wrapped into "no limit".
void checkLimits(const ConversionOptions& o) {
    constexpr long long kMostPixels = 1LL << 48, kMostMiB = 1LL << 30;
    if (o.maxPixels < 1 || o.maxPixels > kMostPixels)
        throw CliError("--max-pixels must be between 1 and " + std::to_string(kMostPixels));
    if (o.maxImageMiB < 1 || o.maxImageMiB > kMostMiB)
        throw CliError("--max-image-memory must be between 1 and " + std::to_string(kMostMiB) +
                       " (MiB)");
    if (o.page < 1)
        throw CliError("--page must be 1 or more");
}

std::string planeFileName(int index, std::string name) {
    for (auto& c : name)
        c = c == ' ' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return "ink" + std::to_string(index) + "-" + name + ".png";
}

} // namespace

void runConvert(const ConversionOptions& o) {
    if (o.output.empty() && o.planesDir.empty() && o.preview.empty())
        throw CliError("nothing to write: give -o OUT.tif, --planes DIR or --preview OUT.png");
    if (o.threads < 1 || o.threads > 256)
        throw CliError("--threads must be between 1 and 256");
    checkLimits(o);
    checkExtension(o.output, "-o", {".tif", ".tiff"}, "TIFF");
    checkExtension(o.preview, "--preview", {".png"}, "PNG");
    const TiffCompression compression = parseTiffCompression(o.compression);
    ConversionRequest request;
    request.databasePath = o.database;
    request.settings = o.settings;
    request.correct = o.correct;
    request.threads = o.threads;
    std::vector<std::string> inkNames;
    {
        // The profile decides the planes' names; opening it first also
        // reports a bad database before the image is read.
        EngineSession probe(o.settings, o.database);
        inkNames = inkNamesFor(conversionMethodOf(probe.context()));
    }
    // Every output is prepared before any work, so that one that cannot be
    // written is refused at once.
    OutputSet outputs;
    PipelineOutputs targets;
    targets.tiff = o.output.empty() ? nullptr : &outputs.add(o.output);
    targets.compression = compression;
    targets.preview = o.preview.empty() ? nullptr : &outputs.add(o.preview);
    targets.inkNames = inkNames;
    if (!o.planesDir.empty()) {
        outputs.createDirectories(o.planesDir);
        for (std::size_t i = 0; i < inkNames.size(); ++i)
            targets.planes.push_back(&outputs.add((std::filesystem::path(o.planesDir) /
                                                   planeFileName(static_cast<int>(i), inkNames[i]))
                                                      .string()));
    }

    ProgressBar bar(!o.noProgress, o.progressStream);
    bool shown = false; // only large images show progress
    ReadOptions reading;
    reading.maxPixels = static_cast<uint64_t>(o.maxPixels);
    reading.wholeImageBytes = static_cast<uint64_t>(o.maxImageMiB) << 20;
    reading.page = o.page;
    reading.inputProfile = o.inputProfile;
    reading.progress = [&](long done, long total) {
        if (!shown && total > o.progressPixels) {
            shown = true;
            bar.stage("converting");
        }
        if (shown)
            bar.update(done, total);
    };
    // The image is decoded, converted and written band by band.
    ConvertPipeline pipeline(request, targets);
    reading.streamBegin = [&](int width, int height, int channels) {
        return pipeline.begin(width, height, channels);
    };
    reading.streamBand = [&](Image&& band, int firstRow) {
        pipeline.add(std::move(band), firstRow);
    };
    std::string profileUsed;
    readImage(o.input, reading, &profileUsed);
    if (shown)
        bar.stage("finishing");
    pipeline.finish();
    outputs.commit();
    if (shown)
        bar.update(1, 1);
    bar.finish();
    std::cerr << "vrel: input profile: " << profileUsed << "\n";
}

} // namespace vrel::cli
