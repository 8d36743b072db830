#include "json_bridge.h"

#include <cmath>
#include <cstdint>
#include <fmt/format.h>

namespace py = pybind11;

namespace vrel::python {

namespace {

nlohmann::json integerJson(py::handle value, const std::string& path) {
    const py::int_ number = py::reinterpret_steal<py::int_>(PyNumber_Index(value.ptr()));
    if (!number)
        throw py::error_already_set();
    int overflow = 0;
    const long long small = PyLong_AsLongLongAndOverflow(number.ptr(), &overflow);
    if (overflow == 0)
        return static_cast<int64_t>(small);
    const unsigned long long large = PyLong_AsUnsignedLongLong(number.ptr());
    if (PyErr_Occurred()) {
        PyErr_Clear();
        throw py::value_error("description" + path + ": the integer " +
                              std::string(py::str(value)) + " does not fit in 64 bits");
    }
    return static_cast<uint64_t>(large);
}

} // namespace

nlohmann::json toJson(py::handle value, const std::string& path) {
    if (value.is_none())
        return nullptr;
    if (PyBool_Check(value.ptr()))
        return value.ptr() == Py_True;
    if (PyFloat_Check(value.ptr())) {
        const double number = value.cast<double>();
        if (!std::isfinite(number))
            throw py::value_error("description" + path + ": JSON has no " +
                                  std::string(py::str(value)));
        return number;
    }
    if (PyIndex_Check(value.ptr()))
        return integerJson(value, path);
    if (py::isinstance<py::str>(value))
        return value.cast<std::string>();
    if (py::isinstance<py::dict>(value)) {
        nlohmann::json object = nlohmann::json::object();
        for (const auto& [key, item] : py::reinterpret_borrow<py::dict>(value)) {
            if (!py::isinstance<py::str>(key))
                throw py::type_error("description" + path + ": keys must be strings, not " +
                                     std::string(py::str(key)));
            const auto name = key.cast<std::string>();
            object[name] = toJson(item, path + "/" + name);
        }
        return object;
    }
    if (py::isinstance<py::list>(value) || py::isinstance<py::tuple>(value)) {
        nlohmann::json array = nlohmann::json::array();
        std::size_t i = 0;
        for (const auto& item : py::reinterpret_borrow<py::sequence>(value))
            array.push_back(toJson(item, fmt::format("{}/{}", path, i++)));
        return array;
    }
    throw py::type_error("description" + path + ": JSON has no form for a " +
                         std::string(py::str(value.get_type().attr("__name__"))));
}

py::object fromJsonText(const std::string& text) {
    return py::module_::import("json").attr("loads")(text);
}

} // namespace vrel::python
