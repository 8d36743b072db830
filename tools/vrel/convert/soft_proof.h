// The preview as a soft proof: each pixel's inks through the printer's ink
// profile into its colour (the profile connection space) and from there
// into sRGB, with the relative colorimetric intent and without black-point
// compensation, as a proofing application shows a print: the paper is the
// screen's white, and the inks' darkest black keeps its real lightness
// against it rather than being stretched to the screen's black. An lcms2
// transform from the ink profile to its built-in sRGB does it.
//
// Six and seven inks through a CMYK profile are an approximation: each
// light ink is folded into its dark one at the ink model's strength (light
// cyan and magenta 0.35 of their dark inks, the grey ink 0.4 of black, see
// preview.h): dark + ratio * light, at most full ink. (On the sample
// database's photographs this comes closer to the four-ink proof of the
// same image than light and dark covering independently.) The black-only
// method is proofed as black alone on the CMYK profile.
#pragma once

#include "output_profile.h"

#include <cstdint>
#include <memory>

namespace vrel::cli {

class LcmsContext;

class SoftProof {
  public:
    // Throws CliError when lcms2 cannot build the transform.
    SoftProof(const OutputProfile& profile, int method);
    ~SoftProof();
    SoftProof(const SoftProof&) = delete;
    SoftProof& operator=(const SoftProof&) = delete;

    // `width` pixels of interleaved inks into as many sRGB pixels; safe to
    // call from several threads at once.
    void row(const uint8_t* inks, int width, uint8_t* rgb) const;
    // Whether light inks are folded into their dark ones (an approximation).
    bool folds() const { return inks_ > 4 && profileInks_ == 4; }

  private:
    std::unique_ptr<LcmsContext> lcms_; // the transform's; outlives it
    void* transform_ = nullptr;
    int inks_ = 0;        // in each pixel of the rows
    int profileInks_ = 0; // the transform's input channels
};

} // namespace vrel::cli
