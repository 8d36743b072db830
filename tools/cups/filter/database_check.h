// The look the filter takes at a queue's profile database before it reads
// any raster, so that a wrong file is named with what is wrong with it
// instead of failing the first page inside the engine.
#pragma once

#include "ppd_database.h"

#include <string>

namespace vrel::cups {

// Empty when the database is a regular, readable file whose container holds
// together; otherwise which file is wrong and why.
std::string checkDatabase(const DatabaseLocation& location);

// The database of the queue whose PPD the environment names (PPD), found
// and checked. Empty on success, otherwise the problem.
std::string queueDatabase(DatabaseLocation* database);

} // namespace vrel::cups
