// The round trip through the executable, as a user runs it: build the
// sample description, dump it, build the dump: the same bytes every time;
// the other commands write their outputs and nothing else.
#include "cli_test_helpers.h"
#include "support/test_support.h"

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

} // namespace
} // namespace vrel::clitest
