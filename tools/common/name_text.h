// Names stored in fixed-size byte fields (profile names, extension names):
// the text is the bytes up to the first zero byte, or all of them when the
// field is full. Each user shows that text in its own way, from this one rule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vrel::tools {

// The bytes of the name: up to the first zero byte, at most size.
std::string_view nameText(const uint8_t* field, std::size_t size);

// The name for a terminal: each byte outside printable ASCII becomes '?'.
std::string printableName(const uint8_t* field, std::size_t size);

// Whether the field is printable ASCII followed by zero bytes only, so that
// its text alone gives back every byte of the field.
bool isPlainName(const uint8_t* field, std::size_t size);

} // namespace vrel::tools
