// What the engine takes in one call, for the callers that split their lines.
#pragma once

namespace vrel::tools {

// The most pixels one run converts: the engine reads count - skips as a
// signed 16-bit value, so a longer stretch converts nothing and a count
// above 65535 wraps.
inline constexpr unsigned kMaxRunPixels = 32767;

// The pieces callers split a line into: the longest run that is a multiple
// of 8 pixels, so that one-bit planes split on byte boundaries.
inline constexpr unsigned kPixelsPerCall = kMaxRunPixels / 8 * 8;
static_assert(kPixelsPerCall == 32760);

} // namespace vrel::tools
