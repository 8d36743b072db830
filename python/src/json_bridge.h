// Python values to JSON and back, for the database descriptions: dicts,
// lists and tuples, strings, integers, floats, booleans and None.
#pragma once

#include <nlohmann/json.hpp>
#include <pybind11/pybind11.h>
#include <string>

namespace vrel::python {

// Raises TypeError (naming the JSON path) for a value JSON has no form for.
nlohmann::json toJson(pybind11::handle value, const std::string& path = "");

// JSON text as Python values, objects as dicts in their order.
pybind11::object fromJsonText(const std::string& text);

} // namespace vrel::python
