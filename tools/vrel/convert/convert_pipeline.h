// The convert command's work as a pipeline over bands of rows: the decoder
// hands over bands in order; the bands are converted through the engine,
// their TIFF strips and their preview and plane PNG bands compressed on as
// many threads as asked for (the decoding thread among them); each output is
// then written in band order by whichever thread is free, the outputs in
// parallel. Only a few bands are in flight at once, so memory stays small
// whatever the image's size, and every output is the same for any number of
// threads: a band's strip and rows do not depend on who made them.
#pragma once

#include "convert_image.h"
#include "files/output_set.h"
#include "image/tiff_strips.h"

#include <memory>
#include <string>
#include <vector>

namespace vrel::cli {

struct PipelineOutputs {
    StagedOutput* tiff = nullptr;
    TiffCompression compression = TiffCompression::Deflate;
    StagedOutput* preview = nullptr;
    std::vector<StagedOutput*> planes; // one per ink, in the engine's ink order
    std::vector<std::string> inkNames;
};

class ConvertPipeline {
  public:
    ConvertPipeline(const ConversionRequest& request, const PipelineOutputs& outputs);
    ~ConvertPipeline();
    ConvertPipeline(const ConvertPipeline&) = delete;
    ConvertPipeline& operator=(const ConvertPipeline&) = delete;

    // At the start of the image: opens the outputs and starts the helper
    // threads; returns the rows of one band (those of one TIFF strip).
    int begin(int width, int height, int channels);
    // The next band of decoded rows; returns once few enough bands are in
    // flight, having done some of the work itself.
    void add(Image&& band, int firstRow);
    // After the last band: finishes every band and closes the outputs.
    void finish();

  private:
    struct Band;
    struct Sink;
    void workerLoop();
    void help(int maxInFlight);
    void run(const std::shared_ptr<Band>& band, std::unique_ptr<BandConverter>& converter);
    void process(Band& band, BandConverter& converter) const;
    void drain();
    void release(Band& band);
    void fail(std::exception_ptr failure);
    void stopWorkers();

    struct State;
    std::unique_ptr<State> state_;
};

} // namespace vrel::cli
