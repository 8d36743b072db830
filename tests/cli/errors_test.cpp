// Every error a user can hit, through the built executable: a one-line
// message naming the problem, a non-zero exit status and no output file
// (not even a partial or temporary one).
#include "cli_test_helpers.h"
#include "support/test_support.h"

#include <fstream>
#include <gtest/gtest.h>
#include <tiffio.h>

namespace vrel::clitest {
namespace {

void writeText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path) << text;
}

// Fails unless the run failed with status 2 and one readable line "vrel: ..."
// containing `needle`, and left the directory with exactly the files it had
// before.
void expectCleanFailure(const ToolRun& run, const std::string& needle,
                        const std::vector<std::string>& filesBefore,
                        const std::filesystem::path& dir) {
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind("vrel: ", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_LT(run.err.size(), 480u);
    EXPECT_NE(run.err.find(needle), std::string::npos) << run.err;
    EXPECT_EQ(filesIn(dir), filesBefore);
}

TEST(ToolErrors, EachUserErrorGivesOneLineAndNoOutput) {
    test::TempDir dir;
    const auto db = sampleDatabase().string();
    {
        const auto made =
            runTool({"chart", "-o", "chart.png", "--width", "600", "--height", "400"}, dir.path());
        ASSERT_EQ(made.status, 0) << made.err;
    }
    writeText(dir.file("bad.json"), "{\"profiles\": [ {\"profileNumber\": 0,, } ]}");
    writeText(dir.file("layout.json"),
              R"({"profiles": [{"profileNumber": 0, "layout": 4, "entries": []}]})");
    writeText(dir.file("text.png"), "this is not an image\n");
    writeText(dir.file("settings.json"), R"({"profileNumber": 0, "inputKnd": 3})");
    writeText(dir.file("overflow.json"), R"({"profiles": [{"entries": [{"value": 1e400}]}]})");
    writeText(dir.file("long-key.json"), "{\"" + std::string(10 << 20, 'k') + "\": 1}");
    writeText(dir.file("far-patch.json"), R"({"patches": [{"offset": 4294967295, "data": "00"}]})");
    {
        // A 16-bit TIFF: a real image of a kind the tool does not take.
        TIFF* t = TIFFOpen(dir.file("deep.tif").c_str(), "w");
        ASSERT_NE(t, nullptr);
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 4);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, 1);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 16);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        uint16_t row[4] = {0, 1000, 30000, 65535};
        TIFFWriteScanline(t, row, 0, 0);
        TIFFClose(t);
    }
    std::filesystem::copy_file(sampleDatabase(), dir.file("a-database-name-too-long.vdb"));
    const auto before = filesIn(dir.path());

    struct Case {
        std::vector<std::string> args;
        std::string needle;
    };
    const std::vector<Case> cases = {
        {{"convert", "--db", db, "missing.png", "-o", "out.tif"},
         "cannot open image 'missing.png'"},
        {{"convert", "--db", "nowhere.vdb", "chart.png", "-o", "out.tif"},
         "cannot open database 'nowhere.vdb'"},
        {{"convert", "--db", db, "--profile", "9", "chart.png", "-o", "out.tif"},
         "profile number 9"},
        {{"convert", "--db", db, "--key94", "7", "chart.png", "-o", "out.tif", "--preview",
          "p.png"},
         "unknown profile"},
        {{"convert", "--db", db, "text.png", "-o", "out.tif"},
         "unsupported image 'text.png': not a PNG, JPEG or TIFF file"},
        {{"convert", "--db", db, "deep.tif", "-o", "out.tif"},
         "unsupported image 'deep.tif': 16 bits per sample"},
        {{"convert", "--db", db, "chart.png", "-o", "no-such-dir/out.tif"},
         "output directory 'no-such-dir' does not exist"},
        {{"convert", "--db", db, "--settings", "settings.json", "chart.png", "-o", "out.tif"},
         "/inputKnd: unknown field"},
        {{"convert", "--db", "a-database-name-too-long.vdb", "chart.png", "-o", "out.tif"},
         "longer than the 20 bytes"},
        {{"convert", "--db", db, "chart.png"}, "nothing to write"},
        {{"convert", "--db", db, "chart.png", "-o", "out.tif", "--threads", "0"},
         "--threads must be between 1 and 256"},
        {{"db", "build", "bad.json", "-o", "out.vdb"}, "bad JSON in 'bad.json'"},
        {{"db", "build", "layout.json", "-o", "out.vdb"}, "/profiles/0/layout: must be 0, 1 or 2"},
        {{"db", "build", "missing.json", "-o", "out.vdb"}, "cannot open 'missing.json'"},
        {{"db", "dump", "chart.png"}, "cannot read database 'chart.png'"},
        {{"info", "--db", db, "--profile", "0", "--key94", "3"}, "unknown profile"},
        {{"plot", "--db", db, "--slice", "40", "-o", "plot.png"}, "--slice must be below"},
        {{"convert", "--db", db, "--balance", "1,2", "chart.png", "-o", "out.tif"}, "balance"},
        {{"convert", "--db", db, "--adjust", "1", "--balance", "99999,0,0,0", "chart.png", "-o",
          "out.tif"},
         "--balance takes four values from -50 to 50"},
        {{"info", "--db", db, "--density", "99"}, "-50 to 50"},
        {{"plot", "--db", db, "--slice", "-1", "-o", "plot.png"}, "0 to 63"},
        {{"info", "--db", db, "--threads", "2"}, "--threads"},
        {{"convert", "--db", db, "chart.png", "-o", "out.tif", "--threads", "two"}, "--threads"},
        {{"db", "build", "overflow.json", "-o", "out.vdb"},
         "bad JSON in 'overflow.json' at /profiles/0/entries/0/value: number overflow"},
        {{"db", "build", "long-key.json", "-o", "out.vdb"}, "description 'long-key.json': /kkkk"},
        {{"db", "build", "far-patch.json", "-o", "out.vdb"},
         "description 'far-patch.json': /patches/0/offset: the database would grow past 256 MiB"},
        {{"db", "build", sampleDescription().string(), "-o", "out.vdb", "--max-size", "1K"},
         ": the database would grow past 1024 bytes"},
        {{"chart", "-o", "small.png", "--width", "10"}, "chart size"},
        {{"frobnicate"}, "frobnicate"},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const auto& a : c.args)
            line += a + " ";
        SCOPED_TRACE(line);
        expectCleanFailure(runTool(c.args, dir.path()), c.needle, before, dir.path());
    }
}

TEST(ToolErrors, CheckExitsWithOneOnAProblemAndZeroOnTheSample) {
    test::TempDir dir;
    const auto good = runTool({"db", "check", sampleDatabase().string()}, dir.path());
    EXPECT_EQ(good.status, 0) << good.err;
    EXPECT_NE(good.out.find("no problems"), std::string::npos) << good.out;

    auto bytes = readFileBytes(sampleDatabase());
    bytes.resize(bytes.size() - 100); // cuts into the last extension chunk
    test::writeBytesFile(dir.path(), "cut.vdb", bytes);
    const auto bad = runTool({"db", "check", "cut.vdb"}, dir.path());
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find("problem at 0x"), std::string::npos) << bad.out;
    EXPECT_NE(bad.err.find("problem"), std::string::npos) << bad.err;
}

TEST(ToolErrors, WarningsVersionAndOptionValuesBeforeTheImage) {
    test::TempDir dir;
    const auto db = sampleDatabase().string();
    const auto balance = runTool({"info", "--db", db, "--balance", "10,0,0,0"}, dir.path());
    EXPECT_EQ(balance.status, 0);
    EXPECT_EQ(balance.err, "vrel: warning: the balance (--balance) has no effect without the "
                           "adjustment switch (--adjust 1)\n");
    const auto slice =
        runTool({"plot", "--db", db, "--profile", "2", "--slice", "3", "-o", "p.png"}, dir.path());
    EXPECT_EQ(slice.status, 0);
    EXPECT_EQ(slice.err, "vrel: warning: --slice has no effect: the black-only method has no "
                         "colour table\n");
    ASSERT_EQ(
        runTool({"chart", "-o", "c.png", "--width", "600", "--height", "400"}, dir.path()).status,
        0);
    const auto before = runTool({"convert", "--db", db, "--adjust", "1", "--balance", "50,0,0,-50",
                                 "c.png", "-o", "out.tif"},
                                dir.path());
    EXPECT_EQ(before.status, 0) << before.err;
    EXPECT_EQ(before.err, "");
    EXPECT_TRUE(std::filesystem::exists(dir.file("out.tif")));
    const auto version = runTool({"--version"}, dir.path());
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("vrel ", 0), 0u) << version.out;
    EXPECT_NE(runTool({"--help"}, dir.path()).out.find("Exit status: 0 success; 1"),
              std::string::npos);
}

TEST(ToolErrors, HelpIsOfferedOnEveryLevel) {
    test::TempDir dir;
    for (const auto& args : std::vector<std::vector<std::string>>{{"--help"},
                                                                  {"db", "--help"},
                                                                  {"db", "build", "--help"},
                                                                  {"db", "dump", "--help"},
                                                                  {"db", "check", "--help"},
                                                                  {"convert", "--help"},
                                                                  {"info", "--help"},
                                                                  {"plot", "--help"},
                                                                  {"chart", "--help"}}) {
        const auto run = runTool(args, dir.path());
        EXPECT_EQ(run.status, 0) << args[0];
        EXPECT_NE(run.out.find("Usage:"), std::string::npos) << args[0];
    }
}

} // namespace
} // namespace vrel::clitest
