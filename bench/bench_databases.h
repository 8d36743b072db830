// The profile databases of the benchmark suite, written once at start-up by
// the project's database writer into a temporary directory: smooth 17-point
// conversion tables of four, six and seven inks and a mildly non-identity
// three-channel correction table, as a driver's database would hold them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>
#include <vrel/vrel.h>

namespace vrel::bench {

inline constexpr int kGridPoints = 17;

class BenchDatabases {
  public:
    BenchDatabases();
    ~BenchDatabases();
    BenchDatabases(const BenchDatabases&) = delete;
    BenchDatabases& operator=(const BenchDatabases&) = delete;

    // The parameter record selecting the profile of a method (4, 6 or 7).
    const ParamRecord& params(int method) const;
    // Channel-major grid of the four-ink table, as written to the file:
    // channel q, point (i0, i1, i2) at q n^3 + i0 n^2 + i1 n + i2.
    const std::vector<uint8_t>& fourInkGrid() const { return fourInkGrid_; }

  private:
    std::filesystem::path dir_;
    std::string dirText_;
    ParamRecord params4_{}, params6_{}, params7_{};
    std::vector<uint8_t> fourInkGrid_;
};

// The one instance of the run (created on first use, removed at exit).
const BenchDatabases& databases();

// Opens a context on the profile of `method`; aborts the run when the
// engine refuses it (a benchmark of a failed start-up would measure nothing).
EngineContext* openContext(int method);

// The ink values of a smooth table at the node (v0, v1, v2): under-colour
// removal into black, light inks taking over the pale end of cyan and
// magenta, a grey ink for the seventh.
std::vector<uint8_t> smoothInks(int inks, uint8_t v0, uint8_t v1, uint8_t v2);

} // namespace vrel::bench
