// vrel ppd against hostile text: every model name, database path and name
// read from the database either gives a one-line refusal and no file, or a
// PPD that cupstestppd passes and whose *vrelDatabase the filter reads back.
#include "cups/filter/ppd_database.h"
#include "ppd_check.h"
#include "support/test_support.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace vrel {
namespace {

namespace fs = std::filesystem;
using test::expectPpdPasses;

const fs::path kSampleDir = fs::path(VREL_SOURCE_DIR) / "data" / "sample";

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

test::ProgramRun runPpd(const fs::path& db, const fs::path& out, std::vector<std::string> args) {
    args.insert(args.begin(), {"ppd", "--db", db.string(), "-o", out.string()});
    return test::runProgram(VREL_CLI_EXECUTABLE, args);
}

// The sample database with names that hold PPD syntax: the extension name
// (the default model name) and the names of two ink sets; a third name is 24
// control bytes, too many escapes for its line.
dbwriter::Database hostileNames() {
    auto db = *dbwriter::readDatabaseFile(kSampleDir / "sample.vdb");
    for (auto& record : db.records) {
        if (auto* ext = std::get_if<dbwriter::ExtensionChunk>(&record.content))
            ext->extName1 = dbwriter::makeName("Ink*Jet: <Pro>/\"x\"");
        if (auto* index = std::get_if<dbwriter::ProfileIndex>(&record.content);
            index != nullptr && record.id == dbwriter::profileRecordId(0)) {
            index->entries[0].name1 = index->entries[0].name2 = dbwriter::makeName("Glossy: A/6*");
            index->entries[1].name1 = dbwriter::makeName("A very long ink set name");
            index->entries[1].name2 = dbwriter::makeName("\x01\xe9 \"q\" <x>  spaced  ");
        }
        if (auto* index = std::get_if<dbwriter::ProfileIndex>(&record.content);
            index != nullptr && record.id == dbwriter::profileRecordId(2))
            for (uint8_t i = 0; i < 24; ++i)
                index->entries[0].name2[i] = static_cast<uint8_t>(i + 1);
    }
    return db;
}

struct PpdCase {
    std::string name, model, databasePath;
    const char* refusal = nullptr; // part of the message; none: a PPD is written
    std::string line{};            // a line the PPD holds
    std::string dbName = "sample.vdb";
    bool hostileDatabase = false;
};

TEST(VrelPpd, HostileTextGivesARefusalOrAPpdThatPasses) {
    const std::string longModel = "Vrel Demo Inkjet Professional Series 4000 Wide";
    const std::vector<PpdCase> cases = {
        {"quote in the model", "A\"B", "", "model name"},
        {"newline in the model", "A\nB", "", "model name"},
        {"model beyond Latin-1", "\xe6\x9d\xb1 printer", "", "model name"},
        {"model of 129 characters", std::string(129, 'M'), "", "model name"},
        {"model over 31 characters", longModel, "", nullptr,
         "*ShortNickName: \"Vrel Demo Inkjet Professional\""},
        {"Latin-1 model",
         "Dr\xc3\xbc"
         "cker",
         "", nullptr,
         "*NickName: \"Dr\xfc"
         "cker, vrel\""},
        {"PPD syntax in the model", "Ink*Jet (Photo): 6/x", "", nullptr,
         "*ModelName: \"Ink-Jet -Photo-- 6/x\""},
        {"newline in the database path", "", "/tmp/a\nb/sample.vdb", "database path"},
        {"quote in the database path", "", "/tmp/a\"b/sample.vdb", "database path"},
        {"database file name over 20 bytes", "", "/opt/a-database-name-too-long.vdb",
         "database path"},
        {"database path over a line", "", "/" + std::string(240, 'd') + "/s.vdb", "database path"},
        {"relative database path", "", "sample.vdb", nullptr, "*vrelDatabase: \"sample.vdb\""},
        {"spaces and Latin-1 in the path", "",
         "/opt/vrel data/Dr\xc3\xbc"
         "cker/s.vdb",
         nullptr,
         "*vrelDatabase: \"/opt/vrel data/Dr\xc3\xbc"
         "cker/s.vdb\""},
        {"database file named with a newline", "", "", "database path", "", "a\nb.vdb"},
        {"the same with --database-path", "", "s.vdb", nullptr,
         "*% Vrel Demo Inkjet: written by 'vrel ppd' from a?b.vdb.", "a\nb.vdb"},
        {"PPD syntax in the database's names", "", "", nullptr, "*ModelName: \"Ink-Jet- Pro/x\"",
         "sample.vdb", true},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        const test::TempDir dir;
        const fs::path db = dir.file(row.dbName), out = dir.file("out.ppd");
        if (row.hostileDatabase)
            test::writeDatabaseFile(dir.path(), row.dbName, hostileNames());
        else
            fs::copy_file(kSampleDir / "sample.vdb", db);
        std::vector<std::string> args;
        if (!row.model.empty())
            args.insert(args.end(), {"--model", row.model});
        if (!row.databasePath.empty())
            args.insert(args.end(), {"--database-path", row.databasePath});
        const auto run = runPpd(db, out, args);
        if (row.refusal != nullptr) {
            EXPECT_EQ(run.status, 2);
            EXPECT_EQ(run.err.rfind("vrel: ", 0), 0u) << run.err;
            EXPECT_NE(run.err.find(row.refusal), std::string::npos) << run.err;
            EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
            EXPECT_FALSE(fs::exists(out));
            continue;
        }
        ASSERT_EQ(run.status, 0) << run.err;
        expectPpdPasses(out);
        EXPECT_NE(readText(out).find("\n" + row.line + "\n"), std::string::npos) << readText(out);
        // The filter finds the database the PPD names, byte for byte.
        const fs::path named =
            row.databasePath.empty() ? fs::absolute(db) : fs::path(row.databasePath);
        cups::DatabaseLocation location;
        EXPECT_EQ(cups::findDatabase(out.string(), &location), "");
        EXPECT_EQ(fs::path(location.directory) / location.name,
                  named.is_relative() ? dir.path() / named : named);
    }
}

TEST(VrelPpd, HostileNamesAreEscapedInTheirChoices) {
    const test::TempDir dir;
    const fs::path db = test::writeDatabaseFile(dir.path(), "h.vdb", hostileNames());
    ASSERT_EQ(runPpd(db, dir.file("h.ppd"), {}).status, 0);
    const std::string ppd = readText(dir.file("h.ppd"));
    expectPpdPasses(dir.file("h.ppd"));
    for (const char* line :
         {"*VrelInkSet GlossyA6/Glossy<3A> A<2F>6*: ", "*ShortNickName: \"Ink*Jet: Pro/x\"",
          "*VrelInkSet Averylonginksetname/<01><E9> <22>q<22> <3C>x<3E>  spaced  : ",
          "*VrelInkSet VDIMono/<01><02><03>"})
        EXPECT_NE(ppd.find(std::string("\n") + line), std::string::npos) << line << "\n" << ppd;
    std::istringstream lines(ppd);
    for (std::string line; std::getline(lines, line);)
        EXPECT_LE(line.size(), 255u) << line;
}

// A later entry with a key already taken is never opened by the engine, and
// an entry whose table is missing does not open: neither is a choice. The
// entries around them are.
TEST(VrelPpd, OneChoicePerEntryTheEngineOpens) {
    auto db = *dbwriter::readDatabaseFile(kSampleDir / "sample.vdb");
    auto& entries = std::get<dbwriter::ProfileIndex>(db.records[0].content).entries;
    auto duplicate = entries[0], missing = entries[1], later = entries[1];
    duplicate.name1 = dbwriter::makeName("Duplicate");
    missing.name1 = dbwriter::makeName("Missing");
    missing.key = 30, missing.lutChunk = 0x7777;
    later.name1 = dbwriter::makeName("Later");
    later.key = 31;
    entries.insert(entries.end(), {duplicate, missing, later});
    const test::TempDir dir;
    const fs::path path = test::writeDatabaseFile(dir.path(), "e.vdb", db);
    ASSERT_EQ(runPpd(path, dir.file("e.ppd"), {}).status, 0);
    const std::string ppd = readText(dir.file("e.ppd"));
    expectPpdPasses(dir.file("e.ppd"));
    EXPECT_NE(ppd.find("\n*VrelInkSet Later/"), std::string::npos);
    EXPECT_NE(ppd.find("\n*VrelInkSet VDIPhoto6/"), std::string::npos);
    EXPECT_EQ(ppd.find("Duplicate"), std::string::npos);
    EXPECT_EQ(ppd.find("Missing"), std::string::npos);
}

// The sample PPD passes, and is what vrel ppd writes for the sample database.
TEST(VrelPpd, SamplePpdPassesAndIsWrittenFromTheSampleDatabase) {
    expectPpdPasses(kSampleDir / "vrel-demo-inkjet.ppd");
    const test::TempDir dir;
    const auto run =
        runPpd(kSampleDir / "sample.vdb", dir.file("s.ppd"), {"--database-path", "sample.vdb"});
    ASSERT_EQ(run.status, 0) << run.err;
    expectPpdPasses(dir.file("s.ppd"));
    EXPECT_EQ(readText(dir.file("s.ppd")), readText(kSampleDir / "vrel-demo-inkjet.ppd"));
}

struct MergeCase {
    const char* name;
    std::string model; // Gutenprint's Epson model; empty: the sample PPD
    bool mergeTwice = false;
    const char* refusal = nullptr; // part of the message; none: a PPD is written
    bool withoutRaw = false;       // the printer's PPD loses its Raw choice
};

// The printer's PPD is kept, with its colour correction fixed to Raw, RGB
// rendering, the bridge as its raster filter and vrel's four-ink and black
// ink sets; the six- and seven-ink sets are left out with a warning.
TEST(VrelPpd, PrinterPpdIsMergedOrRefused) {
    if (!fs::exists("/usr/lib/cups/driver/gutenprint.5.3"))
        GTEST_SKIP() << "Gutenprint's drivers are not installed (printer-driver-gutenprint)";
    const std::vector<MergeCase> cases = {
        {"R2400", "r2400"},
        {"C88", "c88"},
        {"a PPD without Raw colour correction", "r2400", false, "no StpColorCorrection choice Raw",
         true},
        {"a merged PPD", "r2400", true, "already"},
        {"vrel's own PPD", "", false, "holds vrel's options already"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const test::TempDir dir;
        fs::path printer = kSampleDir / "vrel-demo-inkjet.ppd";
        if (!c.model.empty()) {
            printer = dir.file(c.model + ".ppd");
            ASSERT_EQ(
                std::system(("/usr/lib/cups/driver/gutenprint.5.3 cat gutenprint.5.3://escp2-" +
                             c.model + "/expert >" + printer.string())
                                .c_str()),
                0);
        }
        if (c.withoutRaw) {
            std::string text = readText(printer);
            text.erase(text.find("*StpColorCorrection Raw/"), 30);
            std::ofstream(printer) << text;
        }
        const fs::path out = dir.file("merged.ppd"), db = kSampleDir / "sample.vdb";
        auto run = runPpd(db, out, {"--printer-ppd", printer.string()});
        if (c.mergeTwice)
            run = runPpd(db, dir.file("again.ppd"), {"--printer-ppd", out.string()});
        if (c.refusal != nullptr) {
            EXPECT_EQ(run.status, 2);
            EXPECT_NE(run.err.find(c.refusal), std::string::npos) << run.err;
            continue;
        }
        ASSERT_EQ(run.status, 0) << run.err;
        expectPpdPasses(out);
        const std::string ppd = readText(out), original = readText(printer);
        for (const char* line :
             {"*DefaultStpColorCorrection: Raw", "*StpColorCorrection Raw/Raw: \"\"",
              "*DefaultColorModel: RGB", "*vrelPrinterFilter: \"rastertogutenprint.5.3\"",
              "*cupsFilter:\t\"application/vnd.cups-raster 100 rastertovrel-gutenprint\"",
              "*OpenUI *StpQuality/Print Quality: PickOne", "*VrelInkSet VDIMono/"})
            EXPECT_NE(ppd.find(std::string("\n") + line), std::string::npos) << line;
        for (const char* gone : {"*StpColorCorrection None", "*ColorModel CMYK", "VDIPhoto6"})
            EXPECT_EQ(ppd.find(gone), std::string::npos) << gone;
        EXPECT_NE(run.err.find("'Vrel Demo Photo 6-ink' (6 inks) left out"), std::string::npos);
        EXPECT_NE(run.err.find("'Vrel Demo Photo 7-ink' (7 inks) left out"), std::string::npos);
        // Every option of the printer's stays.
        std::size_t options = 0;
        for (auto at = original.find("*OpenUI"); at != std::string::npos;
             at = original.find("*OpenUI", at + 1), ++options)
            EXPECT_NE(ppd.find(original.substr(at, original.find(':', at) - at)),
                      std::string::npos);
        EXPECT_GT(options, 20u);
    }
}

} // namespace
} // namespace vrel
