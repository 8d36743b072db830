// The one error type of the tool: a message for the user and the exit status
// the command ends with. Every failure a user can cause is reported through
// it, as one line naming the problem.
//
// Text in the tools (tools/): a message or line that carries a number is
// built with fmt::format ("{:#06x}", "{:.2f}", ...); strings alone may be
// joined with +. Streams only carry finished text: no manipulators, no
// numbers written with <<, no snprintf into buffers.
#pragma once

#include <stdexcept>
#include <string>

namespace vrel::cli {

class CliError : public std::runtime_error {
  public:
    explicit CliError(const std::string& message, int status = 2)
        : std::runtime_error(message), status_(status) {}
    int status() const { return status_; }

  private:
    int status_;
};

// A failure the engine reported: the message and the engine's result code,
// for callers (the Python module) that hand the code on.
class EngineError : public CliError {
  public:
    EngineError(const std::string& message, int result) : CliError(message), result_(result) {}
    int result() const { return result_; }

  private:
    int result_;
};

} // namespace vrel::cli
