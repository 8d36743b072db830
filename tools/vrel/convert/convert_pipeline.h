// The convert command's work as a pipeline over bands of rows: the decoder
// hands over bands in order; the bands are converted through the engine,
// their TIFF strips and their preview and plane PNG bands compressed in
// parallel; each output then writes the bands in order, the outputs beside
// each other. At most --threads threads work at once (the decoder runs only
// while the pipeline waits for its next band), and only a few bands are in
// flight, so memory stays small whatever the image's size. Every output is
// the same for any number of threads: a band's strip and rows do not depend
// on who made them.
#pragma once

#include "convert_image.h"
#include "files/output_set.h"
#include "image/resolution.h"
#include "image/tiff_strips.h"
#include "soft_proof.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vrel::cli {

struct PipelineOutputs {
    StagedOutput* tiff = nullptr;
    TiffCompression compression = TiffCompression::Deflate;
    StagedOutput* preview = nullptr;
    std::vector<StagedOutput*> planes; // one per ink, in the engine's ink order
    std::vector<std::string> inkNames;
    std::vector<uint8_t> iccProfile;  // embedded in the ink TIFF when not empty
    const SoftProof* proof = nullptr; // the preview's; the ink model when null
    std::optional<Resolution> dpi;    // overrides the image's own resolution
};

class ConvertPipeline {
  public:
    ConvertPipeline(const ConversionRequest& request, const PipelineOutputs& outputs);
    ~ConvertPipeline();
    ConvertPipeline(const ConvertPipeline&) = delete;
    ConvertPipeline& operator=(const ConvertPipeline&) = delete;

    // At the start of the image: opens the outputs and starts the pipeline;
    // returns the rows of one band (those of one TIFF strip). The outputs
    // carry the --dpi resolution, else the image's, else none.
    int begin(int width, int height, int channels,
              const std::optional<Resolution>& resolution = std::nullopt);
    // The next band of decoded rows; returns once the pipeline asks for the
    // band after it. Rethrows the failure of a stage.
    void add(Image&& band, int firstRow);
    // After the last band: finishes every band and closes the outputs.
    void finish();

  private:
    struct Band;
    struct State;
    void openOutputs();
    void runPipeline();
    std::unique_ptr<Band> takeBand();
    void convert(Band& band);
    void stop(bool abandon);

    std::unique_ptr<State> state_;
};

} // namespace vrel::cli
