// Registration of the benchmark cases (called from main before the run).
#pragma once

namespace vrel::bench {

void registerConversionCases();
void registerOtherCases();

} // namespace vrel::bench
