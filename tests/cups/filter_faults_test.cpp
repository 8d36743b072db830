// rastertovrel on bad input: damaged or cut raster in every stream version,
// trailing bytes, wrong PPDs, databases and raster files, and SIGTERM while
// it waits. Each gives its ERROR: or INFO: line and exit status, and leaves
// no page written that was not whole.
#include "cups_test_helpers.h"

#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vrel {
namespace {

using namespace cups_test;

TEST(CupsFilter, BadRasterGivesAnErrorLineAndAFailureExit) {
    using Damage = std::function<void(cups_page_header2_t&)>;
    // Files other than the raster: the PPD and its database, or the raster
    // file named on the command line.
    using Setup = std::function<void(const test::TempDir&, FilterFiles&)>;
    const auto database = [](const std::string& name, std::size_t bytes = 0) {
        return [name, bytes](const test::TempDir& dir, FilterFiles& files) {
            if (bytes != 0) {
                const std::string db = readText(kSampleDir / "sample.vdb");
                std::ofstream(dir.file(name)) << db.substr(0, bytes);
            }
            files.ppd = ppdNaming(dir, name);
        };
    };
    const std::vector<unsigned char> cutHeader(100, 0), junk{1, 2, 3, 4, 5};
    std::vector<unsigned char> syncAndCut{'3', 'S', 'a', 'R'}; // "RaS3" in little-endian order
    syncAndCut.resize(104);
    struct Case {
        const char* name;
        const char* message;
        Damage damage;
        std::size_t cutBytes = 0;
        bool onPage2 = false;
        int version = 3;
        std::vector<unsigned char> tail{}; // bytes after the pages
        Setup setup{};
    };
    std::vector<Case> cases = {
        {"empty input", "no raster page", nullptr},
        {"truncated page", "ends after 2 of its 4 lines", [](auto&) {}, 16 * 3 * 2},
        {"line size not the width's", "header of page 2 is damaged",
         [](auto& h) { h.cupsBytesPerLine = 47; }, 0, true},
        {"width far beyond any page", "impossible page size",
         [](auto& h) { h.cupsWidth = 0x200000, h.cupsBytesPerLine = 0x600000; }},
        {"CMYK input", "unsupported colour space 6",
         [](auto& h) { h.cupsColorSpace = CUPS_CSPACE_CMYK; }},
        {"colour space beyond the enumeration", "unsupported colour space 4294967295",
         [](auto& h) { setWord(h.cupsColorSpace, 0xffffffff); }},
        {"grey in a colour order beyond the enumeration", "unsupported colour order 4294967295",
         [](auto& h) {
             h.cupsColorSpace = CUPS_CSPACE_K, h.cupsNumColors = 1, h.cupsBitsPerPixel = 8;
             h.cupsBytesPerLine = 16, setWord(h.cupsColorOrder, 0xffffffff);
         }},
        {"16 bits per colour", "unsupported bit depth 16",
         [](auto& h) {
             h.cupsBitsPerColor = 16, h.cupsBitsPerPixel = 48, h.cupsBytesPerLine = 96;
         }},
        {"RGB for the black-only profile", "takes grey or black raster",
         [](auto& h) { h.cupsInteger[0] = 2; }},
        {"six inks as bilevel planes", "bilevel output takes a four-ink",
         [](auto& h) { h.cupsInteger[3] = 1, h.cupsInteger[15] = 2; }},
        {"no such profile", "the engine refused", [](auto& h) { h.cupsInteger[0] = 9; }},
        // A header alone asks for 4 GiB of seven planes; none of it arrives.
        {"planar page of 4 GiB with no lines", "ends after 0 of its 585 lines",
         [](auto& h) {
             h.cupsColorSpace = CUPS_CSPACE_K, h.cupsNumColors = 1, h.cupsBitsPerPixel = 8;
             h.cupsWidth = h.cupsBytesPerLine = 1 << 20, h.cupsHeight = 585;
             h.cupsInteger[0] = 1, h.cupsInteger[14] = CUPS_ORDER_PLANAR;
         },
         std::size_t{16} * 4 * 3},
        {"not raster at all", "not CUPS raster", nullptr, 0, false, 3, junk},
        {"a cut first header", "ends within the first page header", nullptr, 0, false, 3,
         syncAndCut},
        {"PPD without end",
         "the PPD '/dev/zero' is a character device",
         [](auto&) {},
         0,
         false,
         3,
         {},
         [](const test::TempDir&, FilterFiles& files) { files.ppd = "/dev/zero"; }},
        {"PPD a directory",
         "is a directory",
         [](auto&) {},
         0,
         false,
         3,
         {},
         [](const test::TempDir& dir, FilterFiles& files) { files.ppd = dir.path(); }},
        {"database missing",
         "missing.vdb' does not exist",
         [](auto&) {},
         0,
         false,
         3,
         {},
         database("missing.vdb")},
        {"database a device",
         "the database '/dev/null' is a character device",
         [](auto&) {},
         0,
         false,
         3,
         {},
         database("/dev/null")},
        {"database a directory",
         "is a directory",
         [](auto&) {},
         0,
         false,
         3,
         {},
         [&](const test::TempDir& dir, FilterFiles& files) {
             fs::create_directory(dir.file("db"));
             files.ppd = ppdNaming(dir, "db");
         }},
        {"database a FIFO",
         "fifo.vdb' is a FIFO",
         [](auto&) {},
         0,
         false,
         3,
         {},
         [&](const test::TempDir& dir, FilterFiles& files) {
             mkfifo(dir.file("fifo.vdb").c_str(), 0600);
             files.ppd = ppdNaming(dir, "fifo.vdb");
         }},
        {"database too short",
         "is too short to be a profile database (10 bytes)",
         [](auto&) {},
         0,
         false,
         3,
         {},
         database("short.vdb", 10)},
        {"database cut short",
         "cut.vdb' is cut short or not a profile database",
         [](auto&) {},
         0,
         false,
         3,
         {},
         database("cut.vdb", 1000)},
        {"raster file a directory",
         "the raster file '/tmp' is a directory",
         [](auto&) {},
         0,
         false,
         3,
         {},
         [](const test::TempDir&, FilterFiles& files) { files.input = "/tmp"; }},
        {"raster file a device",
         "the raster file '/dev/zero' is a character device",
         [](auto&) {},
         0,
         false,
         3,
         {},
         [](const test::TempDir&, FilterFiles& files) { files.input = "/dev/zero"; }},
    };
    // Damage after whole pages, in each version of the stream.
    for (const int version : {1, 2, 3})
        for (const auto& tail : {std::vector<unsigned char>{7}, junk, cutHeader})
            cases.push_back({"trailing bytes", "the input ends with damage after page 1",
                             [](auto&) {}, 0, false, version, tail});
    if (geteuid() != 0) // root reads any file
        cases.push_back({"database unreadable",
                         "locked.vdb' cannot be read",
                         [](auto&) {},
                         0,
                         false,
                         3,
                         {},
                         [&](const test::TempDir& dir, FilterFiles& files) {
                             database("locked.vdb", 200000)(dir, files);
                             fs::permissions(dir.file("locked.vdb"), fs::perms::none);
                         }});
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ", version " + std::to_string(c.version) + ", " +
                     std::to_string(c.tail.size()) + " bytes after");
        std::vector<unsigned char> raster;
        if (c.damage) {
            RasterPage page = makePage(16, 4);
            c.damage(page.header);
            raster = rasterOfVersion(c.version, c.onPage2 ? std::vector{makePage(16, 4), page}
                                                          : std::vector{page});
            raster.resize(raster.size() - c.cutBytes);
        }
        raster.insert(raster.end(), c.tail.begin(), c.tail.end());
        const test::TempDir dir;
        FilterFiles files;
        if (c.setup)
            c.setup(dir, files);
        const ShellRun run = runFilter(raster, dir, files);
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_NE(run.err.find("ERROR: "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        // A sanitizer build reports faults on standard error with status 1 too.
        EXPECT_EQ(run.err.find("Sanitizer"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("runtime error"), std::string::npos) << run.err;
        // Files are looked at before any raster is read.
        if (c.setup) {
            EXPECT_EQ(run.err.find("converting page 1"), std::string::npos) << run.err;
        }
        // Whole pages stay written; a page refused before its first line
        // writes nothing, not even its header.
        const bool pageWritten = c.onPage2 || (!c.tail.empty() && c.damage);
        EXPECT_EQ(readRaster(dir.file("out.ras")).size(), pageWritten ? 1u : 0u);
        if (!pageWritten) {
            EXPECT_EQ(fs::file_size(dir.file("out.ras")), 0u);
        }
        EXPECT_LT(run.maxRssKb, 256 * 1024) << "the filter's memory follows the raster that came";
    }
}

// A SIGTERM ends each wait promptly with an INFO: line and exit status 0.
TEST(CupsFilter, SigtermStopsTheJobWhereverItWaits) {
    const auto page = rawRaster({makePage(64, 400)});
    const RasterPage big = makePage(1000, 1000); // 4 MB of inks: more than the output pipe holds
    const struct {
        const char* name;
        std::vector<unsigned char> raster; // sent through a FIFO that stays open
        const char* waitFor;
        const char* message;
        bool outputStalls = false;
    } cases[] = {
        {"for a page's last lines",
         {page.begin(), page.end() - 64 * 3 * 2},
         "converting page 1",
         "stopped on request at line"},
        {"for the first page header",
         {},
         "reading raster",
         "stopped on request before the first page"},
        {"for the next page header", page, "PAGE: 1 1",
         "stopped on request while waiting for page 2"},
        {"for room in the output", rawRaster({big}), "converting page 1",
         "stopped on request while writing page 1", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The filter's standard input (and, where it stalls, its output) is
        // a FIFO that the shell keeps open; a filter that does not leave its
        // wait is killed after a minute.
        const test::TempDir dir;
        const fs::path in = test::writeBytesFile(dir.path(), "in.ras", c.raster);
        const std::string fifo = quote(dir.file("fifo").string()), log = dir.file("log").string();
        const std::string out = c.outputStalls ? quote(dir.file("out").string()) : "/dev/null";
        const ShellRun run = runShell(
            "mkfifo " + fifo + " " + quote(dir.file("out").string()) + "; exec 4<>" +
            quote(dir.file("out").string()) + "; PPD=" + quote(kSamplePpd.string()) + " " +
            quote(VREL_RASTERTOVREL) + " 1 user title 1 '' <" + fifo + " >" + out + " 2>" +
            quote(log) + " & pid=$!; exec 3>" + fifo + "; cat " + quote(in.string()) +
            " >&3; i=0; until grep -q " + quote(c.waitFor) + " " + quote(log) +
            " || [ $((i += 1)) -gt 600 ]; do sleep 0.1; done; sleep 0.5; kill -TERM $pid; " +
            "timeout 60 tail -s 0.1 --pid=$pid -f /dev/null; kill -KILL $pid; wait $pid");
        const std::string err = readText(log);
        EXPECT_EQ(run.status, 0) << err;
        EXPECT_NE(err.find("INFO: " + std::string(c.message)), std::string::npos) << err;
        EXPECT_EQ(err.find("ERROR:"), std::string::npos) << err;
    }
}

} // namespace
} // namespace vrel
