// A CMYK output profile as lcms2 sees it at full precision (float values,
// no optimised pipeline): the reference inks of sRGB colours, and the
// CIEDE2000 colour difference of two ink sets printed through it.
#pragma once

#include "description/icc_grid.h"
#include "image/lcms_context.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vrel::cli {

class CmykReference {
  public:
    // `option` names the profile's role in messages ("--output-profile").
    // Throws CliError when the file cannot be opened or is not a CMYK profile.
    CmykReference(const std::string& path, const std::string& option);
    ~CmykReference();
    CmykReference(const CmykReference&) = delete;
    CmykReference& operator=(const CmykReference&) = delete;

    // sRGB samples (3 bytes each) into ink levels 0..255 (4 per sample,
    // C M Y K; lcms2's percentages times 2.55, not rounded).
    std::vector<double> inksOf(const std::vector<uint8_t>& rgb, RenderingIntent intent,
                               bool blackPointCompensation) const;
    // Both ink sets (levels 0..255, 4 per sample) to CIELAB D50 through the
    // profile, relative colorimetric; one CIEDE2000 difference per sample.
    std::vector<double> deltaE00(const std::vector<double>& a, const std::vector<double>& b) const;

  private:
    std::string path_, option_;
    LcmsContext lcms_; // before the profile: closed after it
    LcmsProfile profile_;
};

} // namespace vrel::cli
