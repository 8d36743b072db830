// The convert command: reads the image, converts it through the engine and
// writes the ink TIFF, the preview and the planes as one set of outputs.
#include "convert_command.h"

#include "cli_error.h"
#include "convert/convert_image.h"
#include "convert/convert_pipeline.h"
#include "convert/output_profile.h"
#include "convert/soft_proof.h"
#include "files/output_set.h"
#include "files/progress.h"
#include "image/database_space.h"
#include "image/image_read.h"

#include <algorithm>
#include <filesystem>
#include <fmt/format.h>
#include <iostream>
#include <memory>
#include <optional>

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
        throw CliError(fmt::format("--max-pixels must be between 1 and {}", kMostPixels));
    if (o.maxImageMiB < 1 || o.maxImageMiB > kMostMiB)
        throw CliError(fmt::format("--max-image-memory must be between 1 and {} (MiB)", kMostMiB));
    if (o.page < 1)
        throw CliError("--page must be 1 or more");
}

std::string planeFileName(int index, std::string name) {
    for (auto& c : name)
        c = c == ' ' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return fmt::format("ink{}-{}.png", index, name);
}

// Options that cannot work are refused before anything is opened.
void checkOptions(const ConversionOptions& o) {
    if (o.output.empty() && o.planesDir.empty() && o.preview.empty())
        throw CliError("nothing to write: give -o OUT.tif, --planes DIR or --preview OUT.png");
    if (o.threads < 1 || o.threads > 256)
        throw CliError("--threads must be between 1 and 256");
    checkLimits(o);
    checkExtension(o.output, "-o", {".tif", ".tiff"}, "TIFF");
    checkExtension(o.preview, "--preview", {".png"}, "PNG");
    checkDatabaseSpace(o.databaseSpace);
    if (!o.dpi.empty())
        parseDpi(o.dpi);
}

// The profile's method decides the planes' names and what the ink profile
// does; opening it first also reports a bad database before the image is read.
int methodOf(const ConversionOptions& o) {
    EngineSession probe(o.settings, o.database);
    return conversionMethodOf(probe.context());
}

// The ink profile, checked, with the preview's soft proof through it and
// the reason the ink TIFF does not embed it (empty when it does).
struct InkProfileUse {
    std::optional<OutputProfile> profile;
    std::unique_ptr<SoftProof> proof;
    std::string notEmbedded;
};

InkProfileUse inkProfileFor(const ConversionOptions& o, int method) {
    InkProfileUse use;
    if (o.outputProfile.empty())
        return use;
    use.profile.emplace(o.outputProfile, method);
    if (!o.preview.empty() && method != VrelMethodThreeChannel)
        use.proof = std::make_unique<SoftProof>(*use.profile, method);
    if (!o.output.empty())
        use.notEmbedded = use.profile->notEmbedded(method);
    return use;
}

// The one line that says what the preview shows.
std::string previewLine(const ConversionOptions& o, int method, const SoftProof* proof) {
    if (method == VrelMethodThreeChannel)
        return fmt::format("vrel: preview '{}' shows the three-channel (RGB) output as it is\n",
                           o.preview);
    if (!proof)
        return fmt::format("vrel: preview '{}' shows a generic ink model; give --output-profile "
                           "FILE.icc for a soft proof\n",
                           o.preview);
    return fmt::format("vrel: preview '{}' is a soft proof through '{}' (relative colorimetric, "
                       "paper as the screen's white, no black-point compensation{})\n",
                       o.preview, o.outputProfile,
                       proof->folds() ? "; light inks folded into their dark ones, an approximation"
                                      : "");
}

// Every output is prepared before any work, so that one that cannot be
// written is refused at once.
PipelineOutputs prepareOutputs(const ConversionOptions& o, TiffCompression compression,
                               const std::vector<std::string>& inkNames, OutputSet& outputs) {
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
    return targets;
}

// The image's limits, page and colours as the options give them.
ReadOptions readOptionsFor(const ConversionOptions& o) {
    ReadOptions reading;
    reading.maxPixels = static_cast<uint64_t>(o.maxPixels);
    reading.wholeImageBytes = static_cast<uint64_t>(o.maxImageMiB) << 20;
    reading.page = o.page;
    reading.inputProfile = o.inputProfile;
    reading.databaseSpace = o.databaseSpace;
    return reading;
}

} // namespace

void runConvert(const ConversionOptions& o) {
    checkOptions(o);
    const TiffCompression compression = parseTiffCompression(o.compression);
    ConversionRequest request;
    request.databasePath = o.database;
    request.settings = o.settings;
    request.correct = o.correct;
    request.threads = o.threads;
    const int method = methodOf(o);
    const InkProfileUse ink = inkProfileFor(o, method);
    OutputSet outputs;
    PipelineOutputs targets = prepareOutputs(o, compression, inkNamesFor(method), outputs);
    if (ink.profile && ink.notEmbedded.empty())
        targets.iccProfile = ink.profile->bytes();
    targets.proof = ink.proof.get();
    if (!o.dpi.empty())
        targets.dpi = parseDpi(o.dpi);

    ProgressBar bar(!o.noProgress, o.progressStream);
    bool shown = false; // only large images show progress
    ReadOptions reading = readOptionsFor(o);
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
    std::optional<Resolution> resolution; // the image's
    reading.resolution = &resolution;
    reading.streamBegin = [&](int width, int height, int channels) {
        return pipeline.begin(width, height, channels, resolution);
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
    std::cerr << fmt::format("vrel: input profile: {}\n", profileUsed);
    if (!o.preview.empty())
        std::cerr << previewLine(o, method, ink.proof.get());
    if (!ink.notEmbedded.empty())
        std::cerr << "vrel: the ink TIFF does not embed --output-profile '" + o.outputProfile +
                         "': " + ink.notEmbedded + "\n";
}

namespace {

// What convert writes: the ink TIFF, the planes, the preview and what
// they carry.
void addOutputOptions(CLI::App* convert, ConversionOptions& o) {
    convert->add_option("-o,--output", o.output,
                        "ink TIFF (.tif, .tiff; '-' for stdout): CMYK for four inks, multi-ink "
                        "with ink names for six and seven");
    convert->add_option("--planes", o.planesDir,
                        "directory for one greyscale PNG per ink (created if missing)");
    convert->add_option("--preview", o.preview,
                        "PNG simulating the printed result: a soft proof through "
                        "--output-profile, else a generic ink model");
    convert->add_option("--output-profile", o.outputProfile,
                        "ICC profile of the printer's inks (normally the CMYK profile the "
                        "database was built from): embedded in the ink TIFF when it describes "
                        "its channels, and the preview becomes a soft proof through it");
    convert->add_option("--dpi", o.dpi,
                        "resolution of the ink TIFF and the preview in dots per inch (1 to "
                        "100000); by default the image's own, none when it has none");
}

// How convert reads the image: its colours, limits and page.
void addInputOptions(CLI::App* convert, ConversionOptions& o) {
    convert
        ->add_option("--input-profile", o.inputProfile,
                     "colours of the image: 'embedded' (its ICC profile, or a PNG's gAMA/cHRM; "
                     "sRGB without), 'none' (values as they are) or an ICC file")
        ->capture_default_str();
    convert
        ->add_option("--database-space", o.databaseSpace,
                     "RGB space the database's tables were built for: 'srgb' or an RGB ICC file; "
                     "RGB images are converted into it (grey images stay on the sRGB tone curve)")
        ->capture_default_str();
    convert->add_option("--max-pixels", o.maxPixels, "refuse larger images")->capture_default_str();
    convert
        ->add_option("--max-image-memory", o.maxImageMiB,
                     fmt::format("MiB that an image decoded whole (progressive JPEG, interlaced "
                                 "PNG, one to be turned upright) may take; others are decoded row "
                                 "by row, at most {} pixels "
                                 "wide",
                                 kMaxWidth))
        ->capture_default_str();
    convert
        ->add_option("--page", o.page,
                     "page of a multi-page TIFF (without it, a warning names the page count)")
        ->capture_default_str();
}

} // namespace

void addConvertCommand(CLI::App& app) {
    auto options = std::make_shared<ConversionOptions>();
    ConversionOptions& o = *options;
    auto* convert = app.add_subcommand(
        "convert", "Convert an image (PNG, JPEG, TIFF; RGB, grey or palette, 8 or 16 bits) "
                   "into ink data through a profile of the database");
    addSettingsOptions(convert, o);
    convert->add_option("IN", o.input, "input image")->required();
    addOutputOptions(convert, o);
    convert->add_flag("--correct", o.correct, "run the colour correction first");
    convert
        ->add_option("--threads", o.threads,
                     "threads that decode, convert and compress bands of rows in parallel (one "
                     "engine context each); the outputs are the same for any number")
        ->capture_default_str();
    convert
        ->add_option("--compression", o.compression,
                     "ink TIFF compression: none, lzw, deflate (fastest level) or zstd (level "
                     "1, where libtiff reads it)")
        ->capture_default_str();
    convert->add_flag("--no-progress", o.noProgress, "never show a progress bar");
    addInputOptions(convert, o);
    convert->footer("16-bit samples are rounded to 8 bits; transparent pixels are composited on "
                    "white paper. The image's colours are brought into sRGB (or --database-space) "
                    "through its embedded ICC profile (see --input-profile); one line on stderr "
                    "names the profile used, another says when the image's colours reach beyond "
                    "that space. An EXIF or TIFF orientation tag is honoured: the image is turned "
                    "upright (decoded whole, within --max-image-memory). All outputs appear "
                    "together or not at all; an existing FIFO or "
                    "character device is written into, never replaced. A progress bar naming "
                    "each stage is shown on a terminal for images above 4 million pixels.");
    convert->callback([options] {
        warnAboutSettings(options->settings, std::cerr);
        runConvert(*options);
    });
}

} // namespace vrel::cli
