// The conversions of vrel.Context: arrays through the engine's line, bitmap
// and correction exports, one colour through the pixel export.
#pragma once

#include "context.h"

#include <pybind11/pybind11.h>

namespace vrel::python {

// convert, correct and convert_pixel, as methods of the Context class.
void bindConversions(pybind11::class_<Context>& cls);

} // namespace vrel::python
