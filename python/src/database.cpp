#include "database.h"

#include "cli_error.h"
#include "commands/db_commands.h"
#include "errors.h"
#include "files/output_budget.h"
#include "json_bridge.h"

#include <filesystem>
#include <fmt/format.h>
#include <optional>
#include <pybind11/numpy.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>
#include <sstream>

namespace py = pybind11;
namespace db = vrel::dbwriter;

namespace vrel::python {

namespace {

// A name slot up to its first NUL, each byte one character (Latin-1), as
// UTF-8 text.
std::string nameText(const db::Name24& name) {
    std::string text;
    for (auto b : name) {
        if (b == 0)
            break;
        if (b < 0x80) {
            text.push_back(static_cast<char>(b));
        } else {
            text.push_back(static_cast<char>(0xc0 | b >> 6));
            text.push_back(static_cast<char>(0x80 | (b & 0x3f)));
        }
    }
    return text;
}

struct Entry {
    uint32_t key = 0;
    int method = 0; // the channel count: the method of a context on it
    uint32_t lutChunk = 0;
    std::vector<uint32_t> tableIds;
    std::string name1, name2;
    uint32_t searchKey = 0, searchPair = 0, value = 0;
};

struct Profile {
    int number = 0;
    int layout = 0;
    uint32_t flags = 0;
    std::vector<Entry> entries;
};

Entry entryOf(const db::ProfileEntry& e) {
    Entry out;
    out.key = e.key;
    out.method = db::channelCountOf(e.descriptors);
    out.lutChunk = e.lutChunk;
    out.tableIds.assign(e.tableIds.begin(), e.tableIds.end());
    out.name1 = nameText(e.name1);
    out.name2 = nameText(e.name2);
    out.searchKey = e.searchKey;
    out.searchPair = e.searchPair;
    out.value = e.profileValueWord();
    return out;
}

class Database {
  public:
    explicit Database(const std::filesystem::path& path) : path_(path.string()) {
        try {
            db_ = cli::readDatabase(path_);
        } catch (const cli::CliError& e) {
            refuseMissingFile(path_, e.what());
            throw;
        }
    }

    const std::string& path() const { return path_; }

    std::vector<Profile> profiles() const {
        std::vector<Profile> out;
        for (const auto& record : db_.records) {
            const auto* index = std::get_if<db::ProfileIndex>(&record.content);
            if (!index || record.recordClass != db::kProfileClass)
                continue;
            Profile p;
            p.number = static_cast<uint16_t>(record.id - db::kProfileIdBase);
            p.layout = db::decodeLayout(index->layoutWord);
            p.flags = db::decodeRecordFlags(index->layoutWord);
            for (const auto& e : index->entries)
                p.entries.push_back(entryOf(e));
            out.push_back(std::move(p));
        }
        return out;
    }

    std::vector<int> tableIds() const {
        std::vector<int> ids;
        for (const auto& record : db_.records)
            if (std::holds_alternative<db::ColourTable>(record.content))
                ids.push_back(record.id);
        return ids;
    }

    py::tuple table(int id) const;

  private:
    std::string path_;
    db::Database db_;
};

// The grid (n, n, n, channels), axes red, green, blue, and the node
// positions: one list, or one per node set for header type 2.
py::tuple Database::table(int id) const {
    const db::ColourTable* table = nullptr;
    for (const auto& record : db_.records)
        if (record.id == id && (table = std::get_if<db::ColourTable>(&record.content)))
            break;
    if (!table)
        throw py::key_error(fmt::format("no colour table of id {} in '{}'", id, path_));
    py::array_t<uint8_t> nodes;
    if (table->marked && table->headerType == 1) {
        nodes = py::array_t<uint8_t>(static_cast<py::ssize_t>(table->nodes.size()),
                                     table->nodes.data());
    } else if (table->marked && table->headerType == 2 && !table->nodeSets.empty()) {
        const auto sets = static_cast<py::ssize_t>(table->nodeSets.size());
        const auto k = static_cast<py::ssize_t>(table->nodeSets[0].size());
        nodes = py::array_t<uint8_t>({sets, k});
        for (py::ssize_t s = 0; s < sets; ++s)
            for (py::ssize_t i = 0; i < k; ++i)
                nodes.mutable_at(s, i) = i < static_cast<py::ssize_t>(table->nodeSets[s].size())
                                             ? table->nodeSets[s][i]
                                             : 0;
    } else {
        const auto even = db::defaultNodes();
        nodes = py::array_t<uint8_t>(static_cast<py::ssize_t>(even.size()), even.data());
    }
    const auto n = static_cast<std::size_t>(nodes.shape(nodes.ndim() - 1));
    const std::size_t cells = n * n * n;
    if (cells == 0 || table->data.size() % cells != 0)
        throw ModuleError(fmt::format("colour table {} in '{}': its {} bytes are no whole grid of "
                                      "{} points per axis",
                                      id, path_, table->data.size(), n));
    const std::size_t channels = table->data.size() / cells;
    const auto side = static_cast<py::ssize_t>(n);
    py::array_t<uint8_t> grid({side, side, side, static_cast<py::ssize_t>(channels)});
    uint8_t* out = grid.mutable_data();
    // Stored channel by channel; numpy's order puts the channels last.
    for (std::size_t q = 0; q < channels; ++q)
        for (std::size_t cell = 0; cell < cells; ++cell)
            out[cell * channels + q] = table->data[q * cells + cell];
    return py::make_tuple(grid, nodes);
}

void warnEach(const std::string& lines) {
    std::istringstream in(lines);
    const std::string prefix = "vrel: warning: ";
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) == 0)
            line.erase(0, prefix.size());
        if (PyErr_WarnEx(PyExc_UserWarning, line.c_str(), 2) != 0)
            throw py::error_already_set();
    }
}

void buildDatabase(const py::object& description, const std::filesystem::path& output,
                   const std::optional<std::filesystem::path>& baseDir,
                   std::optional<uint64_t> maxSize) {
    const uint64_t limit = maxSize.value_or(cli::kDefaultMaxDatabaseBytes);
    std::ostringstream warnings;
    if (py::isinstance<py::str>(description) ||
        py::isinstance(description, py::module_::import("os").attr("PathLike"))) {
        const auto path = description.cast<std::filesystem::path>().string();
        try {
            py::gil_scoped_release unlocked;
            cli::buildDatabaseFile(path, output.string(), limit, warnings);
        } catch (const cli::CliError& e) {
            refuseMissingFile(path, e.what());
            throw;
        }
    } else {
        const nlohmann::json root = toJson(description);
        py::gil_scoped_release unlocked;
        cli::buildDatabaseFromJson(root, baseDir.value_or(std::filesystem::path()), "description",
                                   output.string(), limit, warnings);
    }
    warnEach(warnings.str());
}

py::object describeDatabase(const std::filesystem::path& path) {
    std::ostringstream text;
    try {
        cli::dumpDatabaseFile(path.string(), "", false, text);
    } catch (const cli::CliError& e) {
        refuseMissingFile(path.string(), e.what());
        throw;
    }
    return fromJsonText(text.str());
}

void bindRecords(py::module_& m) {
    py::class_<Entry>(m, "ProfileEntry", "One entry of a profile index record.")
        .def_readonly("key", &Entry::key, "The 32-bit profile key the settings must give.")
        .def_readonly("method", &Entry::method,
                      "The conversion method of a context on it (its channel count).")
        .def_readonly("lut_chunk", &Entry::lutChunk, "Id of the conversion table chunk.")
        .def_readonly("table_ids", &Entry::tableIds,
                      "Ids of the correction tables for selector other, 2 and 3.")
        .def_readonly("name1", &Entry::name1, "The first 24-byte name, up to its first NUL.")
        .def_readonly("name2", &Entry::name2, "The second name (the one the name query gives).")
        .def_readonly("search_key", &Entry::searchKey, "The search key word.")
        .def_readonly("search_pair", &Entry::searchPair, "The search pair word.")
        .def_readonly("value", &Entry::value, "The profile's 32-bit value.")
        .def("__repr__", [](const Entry& e) {
            return fmt::format("<vrel.ProfileEntry key {}, method {}>", e.key, e.method);
        });
    py::class_<Profile>(m, "Profile", "A profile index record: one profile number.")
        .def_readonly("number", &Profile::number, "The profile number (record id - 1000).")
        .def_readonly("layout", &Profile::layout, "The record layout: 0, 1 or 2.")
        .def_readonly("flags", &Profile::flags, "The record flag bits.")
        .def_readonly("entries", &Profile::entries, "Its entries, in file order.")
        .def("__repr__", [](const Profile& p) {
            return fmt::format("<vrel.Profile {}, layout {}, {} entries>", p.number, p.layout,
                               p.entries.size());
        });
}

} // namespace

void bindDatabase(py::module_& m) {
    bindRecords(m);
    py::class_<Database>(m, "Database",
                         "A profile database file, read as `vrel db dump` reads it.\n\n"
                         "Database(path): raises FileNotFoundError for a missing file and "
                         "vrel.Error for a file the reader cannot take.")
        .def(py::init<const std::filesystem::path&>(), py::arg("path"))
        .def_property_readonly("path", &Database::path, "The file it was read from.")
        .def_property_readonly("profiles", &Database::profiles,
                               "The profile index records, in file order.")
        .def_property_readonly("table_ids", &Database::tableIds,
                               "Ids of the colour-table chunks, in file order.")
        .def("table", &Database::table, py::arg("id"),
             "The colour table of chunk `id` as (grid, nodes): grid is a uint8 array of "
             "shape (n, n, n, channels) indexed by red, green, blue node; nodes the n node "
             "positions (shape (sets, n) for a table with node sets). KeyError when no such "
             "table exists.");
    m.def("build_database", &buildDatabase, py::arg("description"), py::arg("path"), py::kw_only(),
          py::arg("base_dir") = py::none(), py::arg("max_size") = py::none(),
          R"(Writes the database file `path` from a description, as `vrel db build` does.

description: the JSON description as a dict (relative ICC profile paths are
taken from base_dir, by default the working directory), or the path of a
JSON file. max_size refuses a larger database (default 256 MiB). The bytes
written are those of `vrel db build`; the file appears whole or not at all.
Remarks the tool prints as warnings come as UserWarning; a bad description
raises vrel.Error naming the JSON path of the fault.)");
    m.def("describe_database", &describeDatabase, py::arg("path"),
          "The description of a database file as a dict: what `vrel db dump` prints, which "
          "build_database turns back into the same file.");
}

} // namespace vrel::python
