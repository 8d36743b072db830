// Lines for a C stream (the filter's log on stderr, the tool's progress bar),
// formatted with fmt like every other text of the tools. Unlike fmt::print,
// a stream that cannot be written is no error here: these are messages for
// whoever reads them, and the work goes on without a reader.
#pragma once

#include <cstdio>
#include <fmt/format.h>
#include <utility>

namespace vrel::tools {

template <typename... Args>
void writeText(std::FILE* out, fmt::format_string<Args...> format, Args&&... args) {
    const std::string text = fmt::format(format, std::forward<Args>(args)...);
    std::fwrite(text.data(), 1, text.size(), out);
}

} // namespace vrel::tools
