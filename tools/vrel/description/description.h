// The JSON description of a profile database and its translation to and from
// the writer's in-memory form (vrel::dbwriter::Database).
//
// Top level (every field optional unless marked):
//   "tag"              text of header bytes 0-7, or {"hex": ...}
//   "version"          header bytes 12-15
//   "profiles"         profile index records (class 8), see below
//   "tables"           colour-table chunks (class 16)
//   "extensions"       extension chunks (class 16, ids 0x640-0x642)
//   "rawRecords"       records given byte by byte: {"class", "id", "data"}
//   "recordOrder"      file order as ["profiles/0", "tables/1", ...]; the
//                      default is profiles, tables, extensions, raw records
//   "directoryLayout", "profileDirectory", "chunkDirectory", "patches",
//   "truncateAt"       the writer's options for unusual files
// A profile index record: "profileNumber" (required), "layout" (0, 1, 2),
// the flag bits "noBlackBalance", "extension", "greyMode" (0-3, layouts 1
// and 2 only; see grey_mode_default.h for its default), "recordFlags" (further raw bits), and
// "entries", each with "key" (a number, or the ParamRecord key fields {"keyField94", "keyField14",
// "keyField16", "keyField104", "keyField106", "keyField108"}), "tableIds"
// (three chunk ids: correction tables for selector other, 2 and 3),
// "lutChunk", "channels" (with "fourWithE256") or "descriptors", "name1",
// "name2", "searchKey", "searchPair", "value".
// A colour table: "id", "headerType" (0, 1, 2, or "marked": false for a
// chunk without header), "nodes" or "points" (type 1), "nodeSets" (type 2),
// "channels", and its grid: "data" (hex, by channel) or "grid" with a
// "source" of "values", "icc", "ink-model", "correction" or "identity" (see
// grid_models.h and icc_grid.h for the models and their parameters).
#pragma once

#include "files/output_budget.h"

#include <filesystem>
#include <nlohmann/json.hpp>
#include <vrel/dbwriter.h>

namespace vrel::cli {

// Relative profile paths in "icc" grids are taken from baseDirectory. A
// description whose database would pass maxBytes is refused at the JSON path
// of the part that passes it, before that part is computed. Remarks that do
// not stop the build (see grey_mode_default.h) go to `warnings`.
dbwriter::Database databaseFromJson(const nlohmann::json& root,
                                    const std::filesystem::path& baseDirectory,
                                    uint64_t maxBytes = kDefaultMaxDatabaseBytes,
                                    std::vector<std::string>* warnings = nullptr);

// The description that databaseFromJson turns back into the same database:
// grids as explicit data, key fields spelled out where they recompose the
// key exactly, unusual bytes only where they are not the defaults.
nlohmann::ordered_json databaseToJson(const dbwriter::Database& db);

// Evenly spaced node positions: round(i * 255 / (points - 1)).
std::vector<uint8_t> evenNodes(int points);

} // namespace vrel::cli
