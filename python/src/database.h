// vrel.Database (a database file read through the tool's reader: profiles,
// entries and colour tables as numpy arrays), vrel.build_database and
// vrel.describe_database (the tool's `db build` and `db dump`).
#pragma once

#include <pybind11/pybind11.h>

namespace vrel::python {

void bindDatabase(pybind11::module_& module);

} // namespace vrel::python
