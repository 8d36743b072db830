// How the module reports failures to Python: vrel.Error (with the engine's
// result code in its `result` attribute, None when the failure is not the
// engine's) for what the engine or the tool's readers refuse, the built-in
// exceptions for bad arguments and missing files.
#pragma once

#include <optional>
#include <pybind11/pybind11.h>
#include <stdexcept>
#include <string>

namespace vrel::python {

// A failure raised as vrel.Error.
class ModuleError : public std::runtime_error {
  public:
    explicit ModuleError(const std::string& message, std::optional<int> result = std::nullopt)
        : std::runtime_error(message), result_(result) {}
    std::optional<int> result() const { return result_; }

  private:
    std::optional<int> result_;
};

// Creates vrel.Error in `module` and translates ModuleError and the tool's
// errors (CliError, EngineError) into it.
void registerErrors(pybind11::module_& module);

// Raises FileNotFoundError with `message` when `path` does not exist.
void refuseMissingFile(const std::string& path, const std::string& message);

} // namespace vrel::python
