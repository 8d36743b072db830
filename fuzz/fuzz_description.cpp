// Fuzz target: the JSON description that `vrel db build` reads. A
// description is either refused with the tool's one error type or turned
// into a database; a database is written, described again and read back to
// the same bytes, and opened by the engine under the start-up contract.
// Descriptions that name an ICC profile are skipped: they would make the
// harness read files outside its scratch directory.
#include "cli_error.h"
#include "description/description.h"
#include "init_outcome.h"
#include "scratch_directory.h"
#include "support/test_support.h"

#include <stdexcept>
#include <string_view>

namespace {

using namespace vrel::test;

constexpr char kDatabaseName[] = "described.db";
constexpr size_t kLargestDescription = 16384;

void openWithEngine(const vrel::dbwriter::Bytes& bytes) {
    writeScratchFile(kDatabaseName, bytes.data(), bytes.size());
    const long liveBefore = vrel::test::liveBlocks();
    const ParamRecord params = standardParams(0, scratchDirectory().c_str(), kDatabaseName);
    EngineContext* slot = untouchedSlotMarker();
    const int result = VrelInit(&slot, &params);
    if (const char* problem = checkInitOutcome(result, slot, false, liveBefore)) {
        harnessFailure(problem);
    }
    if (result == 0 || result == 1) {
        VrelClose(slot);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kLargestDescription ||
        std::string_view(reinterpret_cast<const char*>(data), size).find("icc") !=
            std::string_view::npos) {
        return 0;
    }
    const nlohmann::json root = nlohmann::json::parse(data, data + size, nullptr, false);
    if (root.is_discarded()) {
        return 0;
    }
    vrel::dbwriter::Database db;
    vrel::dbwriter::Bytes bytes;
    try {
        db = vrel::cli::databaseFromJson(root, scratchDirectory());
        bytes = vrel::dbwriter::writeDatabase(db);
    } catch (const vrel::cli::CliError&) {
        return 0; // refused with a message: the tool's contract
    } catch (const std::invalid_argument&) {
        return 0; // the writer refuses it; `db build` reports it as an error
    }
    // What the tool dumps it builds again, byte for byte.
    const nlohmann::json again = vrel::cli::databaseToJson(db);
    const vrel::dbwriter::Bytes rebuilt =
        vrel::dbwriter::writeDatabase(vrel::cli::databaseFromJson(again, scratchDirectory()));
    if (rebuilt != bytes) {
        harnessFailure("a dumped description builds another database");
    }
    openWithEngine(bytes);
    return 0;
}
