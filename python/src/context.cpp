#include "context.h"

#include "cli_error.h"
#include "conversion.h"
#include "convert/convert_image.h"
#include "convert/profile_name.h"
#include "errors.h"
#include "settings.h"

#include <filesystem>
#include <fmt/format.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

namespace py = pybind11;

namespace vrel::python {

Context::Context(std::string database, const cli::PrintSettings& settings)
    : database_(std::move(database)) {
    try {
        session_ = std::make_unique<cli::EngineSession>(settings, database_);
        method_ = cli::conversionMethodOf(session_->context());
    } catch (const cli::CliError& e) {
        refuseMissingFile(database_, e.what());
        throw;
    }
    inks_ = cli::inkCountFor(method_);
}

Context::~Context() = default;

EngineContext* Context::open() const {
    if (!session_)
        throw py::value_error("the context is closed");
    return session_->context();
}

void Context::useMode(EngineContext* context, uint32_t mode) {
    if (mode == mode_)
        return;
    VrelInitColorConversion(context, mode, nullptr);
    mode_ = mode;
}

void Context::close() {
    py::gil_scoped_release unlocked;
    std::lock_guard<std::mutex> hold(mutex_);
    session_.reset();
}

bool Context::closed() {
    std::lock_guard<std::mutex> hold(mutex_);
    return !session_;
}

namespace {

std::unique_ptr<Context> openContext(const std::string& database, const SettingArgs& args) {
    return std::make_unique<Context>(database, printSettings(args));
}

constexpr const char* kContextDoc =
    R"(An engine context: one profile of a database, chosen by print settings.

Context(database, profile=0, *, key14=None, key16=None, key94=None,
        key104=None, key106=None, key108=None, adjust=None, selector=None,
        input_kind=None, balance=None, density=None, three_channel=False)

The settings are those of ``vrel convert`` by their long names: ``profile``
(the profile number), the key fields ``key14`` ... ``key108`` (0..65535),
``adjust`` (the adjustment switch; 1 makes ``selector``, ``input_kind`` and
``balance`` apply), ``selector`` (correction table: 0 first, 2 second,
3 third), ``input_kind``, ``balance`` (four values -50..50: cyan, magenta,
yellow, black), ``density`` (-50..50) and ``three_channel`` (RGB output).
None leaves a setting at 0. A value out of range raises ValueError; a
setting that the others make ineffective gives a UserWarning.

A missing database raises FileNotFoundError; a file the engine cannot open
a profile from raises vrel.Error with the engine's result code.

The context is a context manager: ``with vrel.Context(path) as ctx: ...``
closes it at the end of the block. Converting on a closed context raises
ValueError.)";

void bindAttributes(py::class_<Context>& cls) {
    cls.def_property_readonly("method", &Context::method,
                              "The conversion method: 1 black only, 3 three channels (RGB out), "
                              "4, 6 or 7 inks.");
    cls.def_property_readonly("inks", &Context::inks,
                              "Channels a conversion gives per pixel: 1, 3, 4, 6 or 7.");
    cls.def_property_readonly(
        "ink_names", [](const Context& c) { return cli::inkNamesFor(c.method()); },
        "Names of the output channels, in the order convert() gives them.");
    cls.def_property_readonly(
        "profile_name",
        [](Context& c) {
            return c.run([](EngineContext* ctx) { return cli::shownProfileName(ctx, false).text; });
        },
        "The profile's name as `vrel info` shows it.");
    cls.def_property_readonly(
        "search_data",
        [](Context& c) {
            std::string data(VREL_SEARCH_DATA_SIZE, '\0');
            c.run([&](EngineContext* ctx) {
                return VrelGetSearchData(ctx, reinterpret_cast<uint8_t*>(data.data()), 0);
            });
            return py::bytes(data);
        },
        "The profile's 8 bytes of search data (search key, then the search pair).");
    cls.def_property_readonly(
        "profile_value",
        [](Context& c) {
            uint8_t data[VREL_SEARCH_DATA_SIZE];
            return c.run([&](EngineContext* ctx) { return VrelGetSearchData(ctx, data, 0); });
        },
        "The profile's 32-bit value.");
    cls.def_property_readonly("database", &Context::database,
                              "The database path it was opened from.");
    cls.def_property_readonly("closed", &Context::closed, "Whether close() has been called.");
}

} // namespace

void bindContext(py::module_& module) {
    using Word = std::optional<long long>;
    py::class_<Context> cls(module, "Context", kContextDoc);
    cls.def(
        py::init([](const std::filesystem::path& database, long long profile, Word key14,
                    Word key16, Word key94, Word key104, Word key106, Word key108, Word adjust,
                    Word selector, Word inputKind, std::optional<std::vector<long long>> balance,
                    Word density, bool threeChannel) {
            SettingArgs args{profile, key14,    key16,     key94,   key104,  key106,      key108,
                             adjust,  selector, inputKind, balance, density, threeChannel};
            return openContext(database.string(), args);
        }),
        py::arg("database"), py::arg("profile") = 0, py::kw_only(), py::arg("key14") = py::none(),
        py::arg("key16") = py::none(), py::arg("key94") = py::none(),
        py::arg("key104") = py::none(), py::arg("key106") = py::none(),
        py::arg("key108") = py::none(), py::arg("adjust") = py::none(),
        py::arg("selector") = py::none(), py::arg("input_kind") = py::none(),
        py::arg("balance") = py::none(), py::arg("density") = py::none(),
        py::arg("three_channel") = false);
    bindAttributes(cls);
    cls.def("close", &Context::close,
            "Closes the engine context; later conversions raise ValueError. Closing twice is "
            "harmless.");
    cls.def(
        "__enter__", [](Context& c) -> Context& { return c; }, py::return_value_policy::reference);
    cls.def("__exit__", [](Context& c, const py::args&) { c.close(); });
    cls.def("__repr__", [](Context& c) {
        return c.closed()
                   ? fmt::format("<vrel.Context closed on '{}'>", c.database())
                   : fmt::format("<vrel.Context method {} on '{}'>", c.method(), c.database());
    });
    bindConversions(cls);
}

} // namespace vrel::python
