#include "common/name_text.h"

#include <algorithm>

namespace vrel::tools {

namespace {

bool printable(uint8_t b) {
    return b >= 0x20 && b < 0x7f;
}

} // namespace

std::string_view nameText(const uint8_t* field, std::size_t size) {
    const auto* end = std::find(field, field + size, uint8_t{0});
    return {reinterpret_cast<const char*>(field), static_cast<std::size_t>(end - field)};
}

std::string printableName(const uint8_t* field, std::size_t size) {
    std::string text(nameText(field, size));
    for (char& c : text)
        if (!printable(static_cast<uint8_t>(c)))
            c = '?';
    return text;
}

bool isPlainName(const uint8_t* field, std::size_t size) {
    const std::size_t length = nameText(field, size).size();
    return std::all_of(field, field + length, printable) &&
           std::all_of(field + length, field + size, [](uint8_t b) { return b == 0; });
}

} // namespace vrel::tools
