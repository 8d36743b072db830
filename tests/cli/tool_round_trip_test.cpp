// The round trip through the executable, as a user runs it: build the
// sample description, dump it, build the dump: the same bytes every time;
// the other commands write their outputs and nothing else.
#include "cli_test_helpers.h"
#include "plot.h"
#include "support/test_support.h"

#include <fstream>
#include <gtest/gtest.h>

namespace vrel::clitest {
namespace {

TEST(ToolRoundTrip, BuildDumpBuildGivesTheSameFile) {
    test::TempDir dir;
    auto run =
        runTool({"db", "build", sampleDescription().string(), "-o", "first.vdb"}, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    run = runTool({"db", "dump", "first.vdb", "-o", "dump.json"}, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    run = runTool({"db", "build", "dump.json", "-o", "second.vdb"}, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const auto first = readFileBytes(dir.file("first.vdb"));
    EXPECT_EQ(first, readFileBytes(sampleDatabase()));
    EXPECT_EQ(readFileBytes(dir.file("second.vdb")), first);
    EXPECT_EQ(filesIn(dir.path()),
              (std::vector<std::string>{"dump.json", "first.vdb", "second.vdb"}));

    run = runTool({"db", "dump", "--summary", "first.vdb"}, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Vrel Demo Photo 7-ink"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("header type 2, 5 node sets, 9 points, 3 channels"), std::string::npos)
        << run.out;
}

TEST(ToolRoundTrip, InfoReportsTheSelectedProfileThroughTheQueries) {
    test::TempDir dir;
    const auto run =
        runTool({"info", "--db", sampleDatabase().string(), "--profile", "1"}, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    // The extension chunk answers the plain queries, the record the C forms.
    EXPECT_NE(run.out.find("name            \"Vrel Demo Inkjet\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("record name     \"Vrel Demo Photo 7-ink\""), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("method          7"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("record search   key 56 44 00 04, pair 4 / 7"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("value           0x00002329"), std::string::npos) << run.out;
    const auto selector2 =
        runTool({"info", "--db", sampleDatabase().string(), "--adjust", "1", "--selector", "2"},
                dir.path());
    ASSERT_EQ(selector2.status, 0) << selector2.err;
    EXPECT_NE(selector2.out.find("\"Vrel Demo Inkjet Vivid\""), std::string::npos) << selector2.out;
    EXPECT_NE(selector2.out.find("correction      chunk 0x201"), std::string::npos)
        << selector2.out;
}

TEST(ToolRoundTrip, AProfileWithOneNameShowsItAndRgbPlotsNameTheirChannels) {
    test::TempDir dir;
    std::ofstream(dir.file("one-name.json")) << R"({"profiles": [{"profileNumber": 0,
        "layout": 1, "entries": [{"key": 0, "channels": 4, "lutChunk": 1, "name1": "First"}]}],
        "tables": [{"id": 1, "points": 3, "channels": 4, "grid": {"source": "ink-model"}}]})";
    ASSERT_EQ(runTool({"db", "build", "one-name.json", "-o", "one.vdb"}, dir.path()).status, 0);
    const auto plot = runTool({"plot", "--db", "one.vdb", "-o", "plot.png"}, dir.path());
    EXPECT_EQ(plot.status, 0) << plot.err;
    const auto info = runTool({"info", "--db", "one.vdb"}, dir.path());
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("name            \"First\" (name1 of the profile entry; the name "
                            "query answers empty)"),
              std::string::npos)
        << info.out;
    EXPECT_NE(info.out.find("grey curve      mode 2"), std::string::npos) << info.out;

    // The three-channel profile of the sample: its maps are red, green, blue.
    const auto rgb = runTool(
        {"plot", "--db", sampleDatabase().string(), "--key94", "2", "-o", "rgb.png"}, dir.path());
    EXPECT_EQ(rgb.status, 0) << rgb.err;
    EXPECT_TRUE(std::filesystem::exists(dir.file("rgb.png")));
    EXPECT_EQ(cli::slicePanelLabels(3, 4),
              (std::vector<std::string>{"RED", "GREEN", "BLUE", "OUTPUT COLOUR", "GRID COLOURS"}));
    EXPECT_EQ(cli::slicePanelLabels(4, 4),
              (std::vector<std::string>{"CYAN", "MAGENTA", "YELLOW", "BLACK", "PRINT SIMULATION",
                                        "GRID COLOURS"}));
}

} // namespace
} // namespace vrel::clitest
