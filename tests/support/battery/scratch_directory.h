// A private temporary directory for one process, removed at exit: the fuzz
// targets write each input there as a database file.
#pragma once

#include <string>

namespace vrel::test {

// Created on first use ("/tmp/vrel-fuzz-XXXXXX"); aborts when it cannot be.
const std::string& scratchDirectory();
// Writes bytes to scratchDirectory()/name, replacing the file; aborts on failure.
void writeScratchFile(const char* name, const unsigned char* data, size_t size);

// Stops the process with a message: a broken invariant in a harness is a
// finding, reported like a crash.
[[noreturn]] void harnessFailure(const char* what);

} // namespace vrel::test
