// The database commands: build -> dump -> build gives the same bytes, 'db
// check' finds a problem exactly where the engine refuses a file.
#include "cli_test_helpers.h"
#include "core/engine_context.h"
#include "database_catalogue.h"
#include "description/db_check.h"
#include "description/description.h"
#include "support/test_support.h"

#include <cmath>
#include <lcms2.h>

namespace vrel::cli {
namespace {

using namespace vrel::dbwriter;
using clitest::readFileBytes;

TEST(DatabaseTool, BuildDumpBuildGivesTheSameFileAndInfoReadsIt) {
    test::TempDir dir;
    const auto tool = [&](const std::vector<std::string>& args) {
        const auto run = clitest::runTool(args, dir.path());
        EXPECT_EQ(run.status, 0) << run.err;
        return run.out;
    };
    tool({"db", "build", clitest::kSampleDescription, "-o", "first.vdb"});
    tool({"db", "dump", "first.vdb", "-o", "dump.json"});
    tool({"db", "build", "dump.json", "-o", "second.vdb"});
    const auto first = readFileBytes(dir.file("first.vdb"));
    EXPECT_EQ(first, readFileBytes(clitest::kSampleDatabase)) << "data/sample/sample.vdb is stale";
    EXPECT_EQ(readFileBytes(dir.file("second.vdb")), first);
    EXPECT_EQ(clitest::filesIn(dir.path()),
              (std::vector<std::string>{"dump.json", "first.vdb", "second.vdb"}));
    const std::pair<std::vector<std::string>, std::vector<std::string>> shown[] = {
        {{"db", "dump", "--summary", "first.vdb"},
         {"Vrel Demo Photo 7-ink", "header type 2, 5 node sets, 9 points, 3 channels"}},
        // The extension chunk answers the plain queries, the record the C forms.
        {{"info", "--db", "first.vdb", "--profile", "1"},
         {"name            \"Vrel Demo Inkjet\"", "record name     \"Vrel Demo Photo 7-ink\"",
          "method          7", "record search   key 56 44 00 04, pair 4 / 7",
          "value           0x00002329"}},
        {{"info", "--db", "first.vdb", "--adjust", "1", "--selector", "2"},
         {"\"Vrel Demo Inkjet Vivid\"", "correction      chunk 0x201"}},
    };
    for (const auto& [args, lines] : shown) {
        const auto out = tool(args);
        for (const auto& line : lines)
            EXPECT_NE(out.find(line), std::string::npos) << line << " in\n" << out;
    }
}

TEST(Description, DumpOfAnyReadableFileBuildsTheSameBytes) {
    int rebuilt = 0;
    for (const auto& entry : test::databaseCatalogue()) {
        const auto bytes = writeDatabase(entry.database);
        const auto parsed = parseDatabase(bytes);
        if (!parsed)
            continue;
        ++rebuilt; // through text, as a user keeps the dump
        const auto text = databaseToJson(*parsed).dump(2);
        EXPECT_EQ(writeDatabase(databaseFromJson(nlohmann::json::parse(text), {})), bytes)
            << entry.name;
    }
    EXPECT_GT(rebuilt, 40);
}

const std::string kCmykProfile = "/usr/share/color/icc/ghostscript/default_cmyk.icc";

// The colour table of a description holding one table.
ColourTable tableBuilt(const std::string& table) {
    const auto json = nlohmann::json::parse(R"({"tables": [{"id": 256, )" + table + "}]}");
    for (const auto& record : databaseFromJson(json, {}).records)
        if (const auto* t = std::get_if<ColourTable>(&record.content))
            return *t;
    ADD_FAILURE() << "no table";
    return {};
}

// ICC and ink-model tables naming no positions get 33 even ones (header
// type 1); an explicit header type 0 and three-channel tables keep 17.
TEST(Description, SmoothGridsWithoutPositionsTakeThirtyThreePoints) {
    const std::string icc =
        R"("grid": {"source": "icc", "outputProfile": ")" + kCmykProfile + "\"}";
    const struct {
        std::string table;
        int headerType;
        std::size_t points, channels;
    } cases[] = {
        {R"("channels": 4, )" + icc, 1, 33, 4},
        {R"("channels": 6, "grid": {"source": "ink-model"})", 1, 33, 6},
        {R"("headerType": 0, "channels": 4, )" + icc, 0, 17, 4},
        {R"("channels": 3, "grid": {"source": "icc", "outputProfile": "srgb"})", 0, 17, 3},
        {R"("channels": 3, "grid": {"source": "ink-model"})", 0, 17, 3},
        {R"("points": 9, "channels": 4, )" + icc, 1, 9, 4},
        {R"("channels": 3, "grid": {"source": "correction"})", 0, 17, 3},
    };
    for (const auto& c : cases) {
        const auto t = tableBuilt(c.table);
        EXPECT_EQ(t.headerType, c.headerType) << c.table;
        EXPECT_EQ(t.nodes.size(), c.headerType == 1 ? c.points : 0u) << c.table;
        EXPECT_EQ(t.data.size(), c.points * c.points * c.points * c.channels) << c.table;
    }
}

// Each node of an ICC grid is lcms2's float transform without optimisation,
// rounded to the nearest level.
TEST(Description, IccGridsHoldTheFullPrecisionTransform) {
    const auto t = tableBuilt(R"("points": 5, "channels": 4, "grid": {"source": "icc",
        "outputProfile": ")" + kCmykProfile +
                              "\"}");
    cmsHPROFILE srgb = cmsCreate_sRGBProfile(),
                cmyk = cmsOpenProfileFromFile(kCmykProfile.c_str(), "r");
    cmsHTRANSFORM transform = cmsCreateTransform(srgb, TYPE_RGB_DBL, cmyk, TYPE_CMYK_DBL,
                                                 INTENT_PERCEPTUAL, cmsFLAGS_NOOPTIMIZE);
    ASSERT_NE(transform, nullptr);
    const std::size_t n = t.nodes.size(), cells = n * n * n;
    ASSERT_EQ(t.data.size(), cells * 4);
    for (std::size_t i = 0; i < cells; ++i) {
        const double rgb[3] = {t.nodes[i / (n * n)] / 255.0, t.nodes[i / n % n] / 255.0,
                               t.nodes[i % n] / 255.0};
        double inks[4];
        cmsDoTransform(transform, rgb, inks, 1);
        for (std::size_t k = 0; k < 4; ++k)
            EXPECT_EQ(t.data[k * cells + i], std::clamp(std::round(inks[k] * 2.55), 0.0, 255.0))
                << i << " " << k;
    }
    cmsDeleteTransform(transform);
    cmsCloseProfile(cmyk);
    cmsCloseProfile(srgb);
}

// Over the whole catalogue of sample files, db check answers with a few
// lines at offsets inside the file (even where counts claim billions of
// entries), and finds a problem exactly when the engine refuses the file
// under one of the standard parameter records (it opens it, then converts
// one grey pixel; a three-channel context converts bitmaps only), and
// always when it refuses it under the entry's own. A search that finds no
// entry for the caller's key (-128) depends on the key, not on the file.
TEST(DatabaseCheck, AgreesWithTheEngineOnEveryCatalogueFile) {
    test::TempDir dir;
    int files = 0;
    for (const auto& entry : test::databaseCatalogue()) {
        SCOPED_TRACE(entry.name);
        const auto bytes = writeDatabase(entry.database);
        const std::string name = std::to_string(++files) + ".vdb";
        test::writeBytesFile(dir.path(), name, bytes);
        const CheckReport report = checkDatabase(bytes);
        std::string problems;
        for (const auto& p : report.problems) {
            EXPECT_LE(p.offset, report.fileSize) << p.message;
            problems += "  at " + std::to_string(p.offset) + ": " + p.message + "\n";
        }
        EXPECT_LE(report.problems.size() + report.notes.size(), 6u) << problems;
        if (entry.expected == VREL_ERR_PARAM)
            continue;
        bool refusedBySome = false;
        for (int index = 0; index < test::kStandardParamCount; ++index) {
            test::OpenContext context(test::standardParams(index, dir.c_str(), name.c_str()));
            const VrelResult init = context.result();
            bool refused = init != VREL_OK && init != VREL_OK_ADJUST && init != VREL_ERR_PARAM;
            if (context) {
                uint8_t grey = 128, planes[7][1] = {};
                LineRecord line{VrelFormatGray8, &grey, {}};
                for (int i = 0; i < 7; ++i)
                    line.planes[i] = planes[i];
                refused =
                    refused || (VrelLineColorConversion(&line, 1, 0, 0, 0, context.get()) < 0 &&
                                context.get()->conversionMethod != VrelMethodThreeChannel);
            }
            EXPECT_TRUE(!refused || index != entry.params || !report.problems.empty());
            refusedBySome = refusedBySome || refused;
        }
        EXPECT_EQ(!report.problems.empty(), refusedBySome) << problems;
    }
}

} // namespace
} // namespace vrel::cli
