// PPD checks shared by the CUPS tests.
//
//   expectPpdPasses(dir.file("printer.ppd"));
//
// runs cupstestppd on the file with a root folder whose filter folder holds
// the built rastertovrel (so that *cupsFilter2 is checked against a real
// filter) and expects exit status 0 and a PASS line; on failure the test
// shows cupstestppd's report.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vrel::test {

void expectPpdPasses(const std::filesystem::path& ppd);

struct ProgramRun {
    int status = -1; // exit status, -1 when the program died of a signal
    std::string out, err;
};

// Runs the program with exactly these arguments (no shell), standard input
// empty.
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args);

} // namespace vrel::test
