#include "gutenprint_helpers.h"

#include <fstream>
#include <gtest/gtest.h>

namespace vrel::cups_test {

fs::path gutenprintPpd(const test::TempDir& dir, const std::string& model) {
    const fs::path ppd = dir.file(model + ".ppd");
    const auto run = runShell(quote(kGutenprintDriver.string()) + " cat gutenprint.5.3://escp2-" +
                              model + "/expert >" + quote(ppd.string()));
    EXPECT_EQ(run.status, 0) << run.err;
    return ppd;
}

fs::path greyToBlackDatabase(const test::TempDir& dir) {
    const fs::path db = dir.file("greyblack.vdb");
    const fs::path json = fs::path(VREL_SOURCE_DIR) / "tests/cups/data/grey-to-black.json";
    const auto run = runShell(quote(VREL_CLI_EXECUTABLE) + " db build " + quote(json.string()) +
                              " -o " + quote(db.string()));
    EXPECT_EQ(run.status, 0) << run.err;
    return db;
}

fs::path mergedPpd(const test::TempDir& dir, const fs::path& printer, const fs::path& database,
                   std::string* warnings) {
    const fs::path ppd = dir.file(printer.stem().string() + "-vrel.ppd");
    const auto run =
        runShell(quote(VREL_CLI_EXECUTABLE) + " ppd --db " + quote(database.string()) +
                 " --printer-ppd " + quote(printer.string()) + " -o " + quote(ppd.string()));
    EXPECT_EQ(run.status, 0) << run.err;
    if (warnings != nullptr)
        *warnings = run.err;
    return ppd;
}

fs::path flatPage(const test::TempDir& dir, Flat page) {
    const unsigned width = 300, height = 200;
    const fs::path path = dir.file("page" + std::to_string(static_cast<int>(page)) + ".ppm");
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << width << " " << height << "\n255\n";
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x) {
            // Full white on the left, down to 0 on the right.
            const auto fade = static_cast<char>(255 - x * 255 / (width - 1));
            const char red = page == Flat::White ? '\xff' : fade;
            const char greenBlue = page == Flat::GreyRamp ? fade : '\xff';
            out << red << greenBlue << greenBlue;
        }
    return path;
}

std::vector<unsigned char> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace vrel::cups_test
