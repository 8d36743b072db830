// Pages through the whole chain with cupsfilter: image or PDF, Gutenprint's
// PPD merged with a vrel database, rastertovrel-gutenprint, Epson ESC/P2 out;
// the dots on each ink channel show whose colour was printed.
#include "gutenprint_helpers.h"

#include <gtest/gtest.h>
#include <set>

namespace vrel::cups_test {
namespace {

using namespace ink;

enum class Queue { Merged, GreyToBlack, GutenprintAlone };

struct FlatCase {
    const char* name;
    const char* model;
    Queue queue;
    Flat page;
    std::set<int> inks;           // exactly the channels with dots
    const char* inkSet = nullptr; // a VrelInkSet choice; none: the PPD's default
};

TEST(GutenprintChain, FlatPagesPutDotsOnTheInksOfTheDatabase) {
    SKIP_WITHOUT_GUTENPRINT();
    const std::set<int> blacks = {kBlack, kLightBlack, kLightLightBlack};
    const std::set<int> all = {kBlack,     kLightBlack, kLightLightBlack, kCyan,
                               kLightCyan, kMagenta,    kLightMagenta,    kYellow};
    const std::vector<FlatCase> cases = {
        {"white page", "r2400", Queue::Merged, Flat::White, {}},
        {"white page, four inks", "c88", Queue::Merged, Flat::White, {}},
        {"cyan ramp", "r2400", Queue::Merged, Flat::Cyan, {kCyan, kLightCyan}},
        {"cyan ramp, four inks", "c88", Queue::Merged, Flat::Cyan, {kCyan}},
        {"grey ramp, grey to black", "r2400", Queue::GreyToBlack, Flat::GreyRamp, blacks},
        {"grey ramp, four inks", "c88", Queue::GreyToBlack, Flat::GreyRamp, {kBlack}},
        {"grey ramp, black-only ink set", "r2400", Queue::Merged, Flat::GreyRamp, blacks,
         "VDIMono"},
        {"grey ramp, Gutenprint's colour", "r2400", Queue::GutenprintAlone, Flat::GreyRamp, all},
        {"grey ramp, Gutenprint's colour, four inks",
         "c88",
         Queue::GutenprintAlone,
         Flat::GreyRamp,
         {kBlack, kCyan, kMagenta, kYellow}},
    };
    const test::TempDir shared;
    const fs::path sample = kSampleDir / "sample.vdb", greyBlack = greyToBlackDatabase(shared);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const test::TempDir dir;
        const fs::path printer = gutenprintPpd(dir, c.model);
        const fs::path ppd =
            c.queue == Queue::GutenprintAlone
                ? printer
                : mergedPpd(dir, printer, c.queue == Queue::Merged ? sample : greyBlack);
        const fs::path out = dir.file("out.prn");
        std::vector<std::string> options = {"Resolution=360dpi"};
        if (c.inkSet != nullptr)
            options.push_back(std::string("VrelInkSet=") + c.inkSet);
        const auto run = print(dir, flatPage(dir, c.page), options, out, ppd);
        ASSERT_EQ(run.status, 0) << run.err;
        const Escp2Dots dots = countEscp2Dots(readBytes(out));
        ASSERT_EQ(dots.problem, "");
        std::set<int> inked;
        for (const auto& [colour, n] : dots.dots)
            if (n > 0)
                inked.insert(colour);
        EXPECT_EQ(inked, c.inks);
    }
}

// A two-page PDF: both stages report, each page is counted once, and the
// printer language holds both pages' dots.
TEST(GutenprintChain, MultiPagePdfIsCountedOnceAPage) {
    SKIP_WITHOUT_GUTENPRINT();
    const test::TempDir dir;
    const fs::path pdf = dir.file("two.pdf"), out = dir.file("out.prn");
    ASSERT_EQ(runShell("pdfunite " + quote(VREL_CUPS_TEST_PDF) + " " + quote(VREL_CUPS_TEST_PDF) +
                       " " + quote(pdf.string()))
                  .status,
              0);
    const fs::path ppd = mergedPpd(dir, gutenprintPpd(dir, "r2400"), kSampleDir / "sample.vdb");
    const auto run = print(dir, pdf, {"Resolution=360dpi"}, out, ppd);
    ASSERT_EQ(run.status, 0) << run.err;
    std::size_t pageLines = 0;
    for (std::size_t at = run.err.find("PAGE: "); at != std::string::npos;
         at = run.err.find("PAGE: ", at + 1))
        ++pageLines;
    EXPECT_EQ(pageLines, 2u) << run.err;
    EXPECT_NE(run.err.find("INFO: converting page 2"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("INFO: Finished page 2"), std::string::npos) << run.err;
    const Escp2Dots dots = countEscp2Dots(readBytes(out));
    EXPECT_EQ(dots.problem, "");
    EXPECT_GT(dots.of(kBlack), 0u);
    EXPECT_GT(dots.of(kCyan), 0u);
}

} // namespace
} // namespace vrel::cups_test
