#include "tiff_messages.h"

#include <cstdarg>
#include <cstdio>
#include <tiffio.h>

namespace vrel::cli {

namespace {

thread_local std::string message;

void keepError(const char* module, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    message = (module ? std::string(module) + ": " : std::string()) + text;
}

void dropWarning(const char*, const char*, va_list) {}

} // namespace

void captureTiffMessages() {
    TIFFSetErrorHandler(keepError);
    TIFFSetWarningHandler(dropWarning);
    message.clear();
}

const std::string& lastTiffMessage() {
    return message;
}

} // namespace vrel::cli
