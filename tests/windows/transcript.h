// The observations of one scenario run in a file: for each observation a
// 32-bit little-endian name length, the name, a 32-bit length and the bytes.
#pragma once

#include "engine_scenario.h"

#include <optional>
#include <string>
#include <vector>

namespace vrel::windows_check {

bool writeTranscript(const std::string& path, const std::vector<Observation>& observations);
// nullopt when the file cannot be read or is cut short.
std::optional<std::vector<Observation>> readTranscript(const std::string& path);

bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::optional<std::vector<uint8_t>> readFileBytes(const std::string& path);

// Compares a run with the expected observations, in order and by name;
// each difference is described in one line.
std::vector<std::string> compareTranscripts(const std::vector<Observation>& expected,
                                            const std::vector<Observation>& actual);

} // namespace vrel::windows_check
