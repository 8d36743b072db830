// Shared pieces of the failure sweeps: the valid catalogue databases (one
// per table kind) and how many allocations and file operations VrelInit
// makes before the context exists and in total.
#pragma once

#include "database_catalogue.h"
#include "support/test_support.h"
#include "support/test_support.h"

#include <string>
#include <vector>

namespace vrel::test {

// A valid catalogue database written to its own directory.
struct SweepSubject {
    std::string name;
    vrel::test::TempDir dir;
    ParamRecord params;
};

std::vector<std::unique_ptr<SweepSubject>> sweepSubjects();

// Counts of one successful VrelInit, measured through the test hooks.
struct InitCounts {
    long beforeContext = 0; // made by the layout probe and the profile search
    long total = 0;         // made by the whole call
};
InitCounts countAllocations(const ParamRecord& params);
InitCounts countFileOperations(const ParamRecord& params);

} // namespace vrel::test
