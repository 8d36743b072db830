// The colours of an input image as the database expects them: its RGB space,
// sRGB unless the user names another (--database-space), or, for grey
// images, grey with the sRGB tone curve whatever that space. An image's
// embedded ICC profile (or, in a PNG without one, its gAMA and cHRM chunks)
// is applied through lcms2 by default; the user may name another ICC file or
// none (the values go to the database as they are). An image that says
// nothing of its colours is taken as sRGB.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vrel::cli {

// What an image file says about its colours.
struct EmbeddedColour {
    std::vector<uint8_t> iccProfile;
    bool declaredSrgb = false;   // PNG sRGB chunk
    std::optional<double> gamma; // PNG gAMA: encoding exponent, e.g. 0.45455
    std::optional<std::array<double, 8>> chromaticities; // PNG cHRM: white, red, green, blue x,y
};

// "embedded" (the default), "none", or the path of an ICC profile.
inline const std::string kEmbeddedProfile = "embedded";
inline const std::string kNoProfile = "none";

inline const std::string kDatabaseSrgb = "srgb";

// What the user chose, and where the conversion's messages go.
struct ColourChoice {
    std::string inputProfile = kEmbeddedProfile;
    std::string databaseSpace = kDatabaseSrgb; // "srgb" or an RGB ICC file
    std::function<void(const std::string&)> warn, note;
};

class LcmsContext;

class InputColour {
  public:
    // `colours` is 1 (grey) or 3 (RGB), `bits` 8 or 16 (native order).
    // Throws CliError when a named profile cannot be read or does not fit
    // the image; an unusable embedded profile gives a warning and sRGB. An
    // RGB profile reaching beyond the database's space gives a note.
    InputColour(const ColourChoice& choice, const EmbeddedColour& embedded, int colours, int bits,
                const std::string& imagePath);
    ~InputColour();
    InputColour(const InputColour&) = delete;
    InputColour& operator=(const InputColour&) = delete;

    // True when pixels go through a transform; false when they are taken as sRGB.
    bool transforms() const { return transform_ != nullptr; }
    // Converts `pixels` pixels of `colours` samples into 8-bit output.
    void convert(const void* in, uint8_t* out, int pixels) const;
    // One line for the user: which input profile was used.
    const std::string& description() const { return description_; }

  private:
    std::unique_ptr<LcmsContext> lcms_; // the transform's; outlives it
    void* transform_ = nullptr;
    std::string description_;
};

} // namespace vrel::cli
