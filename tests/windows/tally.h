// Pass/fail counting for the driver-like programs: failures are printed as
// they happen, the closing line is "N passed, N failed".
#pragma once

#include <cstdio>
#include <string>

namespace vrel::windows_check {

struct Tally {
    int passed = 0;
    int failed = 0;

    bool check(bool ok, const std::string& what) {
        if (ok) {
            ++passed;
        } else {
            ++failed;
            std::printf("FAIL %s\n", what.c_str());
            std::fflush(stdout);
        }
        return ok;
    }
    void summary() const { std::printf("%d passed, %d failed\n", passed, failed); }
};

} // namespace vrel::windows_check
