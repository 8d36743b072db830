#include "errors.h"

#include "cli_error.h"

#include <cerrno>
#include <filesystem>

namespace py = pybind11;

namespace vrel::python {

namespace {

// The exception class, made once when the module is imported and kept for
// the life of the process.
PyObject* errorType = nullptr;

void raiseError(const std::string& message, std::optional<int> result) {
    py::object error =
        py::reinterpret_steal<py::object>(PyObject_CallFunction(errorType, "s", message.c_str()));
    if (!error)
        throw py::error_already_set();
    error.attr("result") = result ? py::object(py::int_(*result)) : py::object(py::none());
    PyErr_SetObject(errorType, error.ptr());
}

constexpr const char* kErrorDoc =
    "A failure that the engine or the database reader reports.\n\n"
    "The message is worded as the vrel tool words it. ``result`` is the engine's\n"
    "result code (for example -128 for a refused call, -138 for a profile the\n"
    "database cannot give) when the engine refused, else None.";

} // namespace

void registerErrors(py::module_& module) {
    py::dict defaults;
    defaults["result"] = py::none();
    errorType = PyErr_NewExceptionWithDoc("vrel.Error", kErrorDoc, PyExc_Exception, defaults.ptr());
    if (!errorType)
        throw py::error_already_set();
    module.add_object("Error", py::handle(errorType));
    py::register_exception_translator([](std::exception_ptr failure) {
        try {
            if (failure)
                std::rethrow_exception(failure);
        } catch (const ModuleError& e) {
            raiseError(e.what(), e.result());
        } catch (const cli::EngineError& e) {
            raiseError(e.what(), e.result());
        } catch (const cli::CliError& e) {
            raiseError(e.what(), std::nullopt);
        }
    });
}

void refuseMissingFile(const std::string& path, const std::string& message) {
    std::error_code error;
    if (std::filesystem::symlink_status(path, error).type() !=
        std::filesystem::file_type::not_found)
        return;
    py::object exception = py::reinterpret_steal<py::object>(PyObject_CallFunction(
        PyExc_FileNotFoundError, "iss", ENOENT, message.c_str(), path.c_str()));
    if (exception)
        PyErr_SetObject(PyExc_FileNotFoundError, exception.ptr());
    throw py::error_already_set();
}

} // namespace vrel::python
