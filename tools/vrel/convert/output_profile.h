// The printer's ink profile (convert --output-profile): an ICC output
// profile whose device values are the inks, normally the CMYK profile the
// database was built from. It is read and checked before any work. The ink
// TIFF embeds it when its colour space is the TIFF's channels (a CMYK
// profile and four inks, an N-colour profile and N inks); the preview is a
// soft proof through it (soft_proof.h).
//
// What each method makes of it:
//  - four inks: a CMYK (or 4-colour) profile is embedded and proofs them;
//  - six and seven inks: a 6- or 7-colour profile is embedded and proofs
//    them (its channels taken in the engine's ink order); a CMYK profile is
//    not embedded but proofs them with the light inks folded into their
//    dark ones;
//  - black only: a CMYK profile proofs the black ink alone, never embedded
//    in the one-channel TIFF;
//  - three channels (RGB for a printer that separates itself): a CMYK
//    profile describes neither the TIFF nor its values; it is not embedded
//    and the preview shows the RGB as it is.
// Any other pairing (an N-colour profile for another number of inks, an
// RGB, grey or Lab profile, a device link) is refused.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vrel::cli {

class OutputProfile {
  public:
    // Throws CliError when the file cannot be read, is not an ICC profile,
    // does not describe inks, or cannot describe those of `method`.
    OutputProfile(const std::string& path, int method);

    const std::string& path() const { return path_; }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    bool cmyk() const { return cmyk_; }
    int channels() const { return channels_; }
    // Why the ink TIFF of `method` does not embed the profile; empty when it does.
    std::string notEmbedded(int method) const;

  private:
    std::string path_;
    std::vector<uint8_t> bytes_;
    bool cmyk_ = false;
    int channels_ = 0;
};

} // namespace vrel::cli
