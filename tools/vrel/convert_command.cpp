// The convert command: reads the image, converts it through the engine and
// writes the ink TIFF, the preview and the planes as one set of outputs.
#include "cli_error.h"
#include "commands.h"
#include "convert_image.h"
#include "image_read.h"
#include "image_write.h"
#include "output_set.h"
#include "preview.h"
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

std::string planeFileName(int index, std::string name) {
    for (auto& c : name)
        c = c == ' ' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return "ink" + std::to_string(index) + "-" + name + ".png";
}

// Each plane as the ink would print alone in black: 0 ink is white.
Image planeOf(const Image& inks, int ink) {
    Image plane(inks.width, inks.height, 1);
    const auto n = static_cast<std::size_t>(inks.channels);
    for (std::size_t p = 0; p < plane.pixels.size(); ++p)
        plane.pixels[p] =
            static_cast<uint8_t>(255 - inks.pixels[p * n + static_cast<std::size_t>(ink)]);
    return plane;
}

} // namespace

void runConvert(const ConversionOptions& o) {
    if (o.output.empty() && o.planesDir.empty() && o.preview.empty())
        throw CliError("nothing to write: give -o OUT.tif, --planes DIR or --preview OUT.png");
    if (o.threads < 1 || o.threads > 256)
        throw CliError("--threads must be between 1 and 256");
    checkExtension(o.output, "-o", {".tif", ".tiff"}, "TIFF");
    checkExtension(o.preview, "--preview", {".png"}, "PNG");
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
    StagedOutput* tiff = o.output.empty() ? nullptr : &outputs.add(o.output);
    StagedOutput* preview = o.preview.empty() ? nullptr : &outputs.add(o.preview);
    std::vector<StagedOutput*> planes;
    if (!o.planesDir.empty()) {
        outputs.createDirectories(o.planesDir);
        for (std::size_t i = 0; i < inkNames.size(); ++i)
            planes.push_back(&outputs.add((std::filesystem::path(o.planesDir) /
                                           planeFileName(static_cast<int>(i), inkNames[i]))
                                              .string()));
    }

    ProgressBar bar(!o.noProgress, o.progressStream);
    bool shown = false; // only large images show progress
    const auto stage = [&](const char* name) {
        if (shown)
            bar.stage(name);
    };
    const auto step = [&](long done, long total) {
        if (shown)
            bar.update(done, total);
    };
    ReadOptions reading;
    reading.maxPixels = o.maxPixels;
    reading.inputProfile = o.inputProfile;
    reading.progress = [&](long done, long total) {
        if (!shown && total > o.progressPixels) {
            shown = true;
            bar.stage("reading");
        }
        step(done, total);
    };
    std::string profileUsed;
    const Image input = readImage(o.input, reading, &profileUsed);
    shown = shown || static_cast<long>(input.width) * input.height > o.progressPixels;
    stage("converting");
    const auto result = convertImage(input, request, step);
    if (tiff) {
        stage("writing TIFF");
        writeInkTiff(*tiff, result.inks, result.inkNames, step);
    }
    if (preview) {
        stage("preview");
        const Image simulated = previewInks(result.inks, result.method);
        stage("writing preview");
        writePng(*preview, simulated);
        step(1, 1);
    }
    if (!planes.empty()) {
        stage("writing planes");
        for (std::size_t i = 0; i < planes.size(); ++i) {
            writePng(*planes[i], planeOf(result.inks, static_cast<int>(i)));
            step(static_cast<long>(i + 1), static_cast<long>(planes.size()));
        }
    }
    stage("finishing");
    outputs.commit();
    step(1, 1);
    bar.finish();
    std::cerr << "vrel: input profile: " << profileUsed << "\n";
}

} // namespace vrel::cli
