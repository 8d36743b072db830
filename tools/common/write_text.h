// Lines for a C stream (the filter's log on stderr, the tool's progress bar),
// formatted with fmt like every other text of the tools. Unlike fmt::print,
// a stream that cannot be written is no error here: these are messages for
// whoever reads them, and the work goes on without a reader. A line is built
// on the stack (up to fmt's 500 inline bytes), so that reporting an
// out-of-memory failure needs no memory.
#pragma once

#include <cstdio>
#include <fmt/format.h>
#include <iterator>
#include <utility>

namespace vrel::tools {

template <typename... Args>
void writeText(std::FILE* out, fmt::format_string<Args...> format, Args&&... args) {
    fmt::memory_buffer text;
    fmt::format_to(std::back_inserter(text), format, std::forward<Args>(args)...);
    std::fwrite(text.data(), 1, text.size(), out);
}

} // namespace vrel::tools
