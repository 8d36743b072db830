// Every error a user can hit, through the built executable: a one-line
// message naming the problem, a non-zero exit status and no output file
// (not even a partial or temporary one).
#include "cli_test_helpers.h"
#include "image_write.h"
#include "support/test_support.h"

#include <fstream>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <zlib.h>

namespace vrel::clitest {
namespace {

using cli::Image;

void writeText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path) << text;
}

// The first `keep` bytes of a file, as a cut download leaves them.
void writeCut(const std::filesystem::path& from, const std::filesystem::path& to,
              std::size_t keep) {
    auto bytes = readFileBytes(from);
    bytes.resize(std::min(keep, bytes.size()));
    test::writeBytesFile(to.parent_path(), to.filename().string(), bytes);
}

// A PNG whose header claims width x height over the data of a small one.
void writeClaimingPng(const std::filesystem::path& from, const std::filesystem::path& to,
                      uint32_t width, uint32_t height) {
    auto bytes = readFileBytes(from);
    for (int i = 0; i < 4; ++i) {
        bytes[16 + static_cast<std::size_t>(i)] = static_cast<uint8_t>(width >> (24 - 8 * i));
        bytes[20 + static_cast<std::size_t>(i)] = static_cast<uint8_t>(height >> (24 - 8 * i));
    }
    const auto crc = crc32(0, bytes.data() + 12, 17); // chunk type and IHDR data
    for (int i = 0; i < 4; ++i)
        bytes[29 + static_cast<std::size_t>(i)] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    test::writeBytesFile(to.parent_path(), to.filename().string(), bytes);
}

// An interlaced image can only be decoded whole, unlike any other.
void writeInterlacedGreyPng(const std::filesystem::path& path, uint32_t width, uint32_t height) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_compression_level(png, 1);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_ADAM7,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    const std::vector<uint8_t> row(width, 128);
    for (int pass = png_set_interlace_handling(png); pass > 0; --pass)
        for (uint32_t y = 0; y < height; ++y)
            png_write_row(png, row.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
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
        // A floating-point TIFF: a real image of a kind the tool does not take.
        TIFF* t = TIFFOpen(dir.file("float.tif").c_str(), "w");
        ASSERT_NE(t, nullptr);
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 4);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, 1);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 32);
        TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        float row[4] = {0, 0.25f, 0.5f, 1};
        TIFFWriteScanline(t, row, 0, 0);
        TIFFClose(t);
    }
    {
        // A TIFF claiming 20000 x 20000 grey pixels that holds one row.
        TIFF* t = TIFFOpen(dir.file("huge.tif").c_str(), "w");
        ASSERT_NE(t, nullptr);
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 20000);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, 20000);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 20000);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        std::vector<uint8_t> row(20000, 128);
        TIFFWriteScanline(t, row.data(), 0, 0);
        TIFFClose(t);
    }
    {
        Image gradient(400, 300, 3); // smooth, like a photograph
        for (std::size_t i = 0; i < gradient.pixels.size(); ++i)
            gradient.pixels[i] = static_cast<uint8_t>((i % 1200 * 7 + i / 1200 * 3) & 0xff);
        writeJpegFile(dir.file("photo.jpg"), gradient);
    }
    writeCut(dir.file("photo.jpg"), dir.file("half.jpg"),
             readFileBytes(dir.file("photo.jpg")).size() / 2);
    writeCut(dir.file("chart.png"), dir.file("half.png"),
             readFileBytes(dir.file("chart.png")).size() / 2);
    writeClaimingPng(dir.file("chart.png"), dir.file("huge.png"), 60000, 60000);
    {
        // The JPEG's frame header (after its 0xffc0 marker) claiming 20000 x 20000.
        auto bytes = readFileBytes(dir.file("photo.jpg"));
        std::size_t at = 2;
        while (at + 9 < bytes.size() && !(bytes[at] == 0xff && bytes[at + 1] == 0xc0))
            ++at;
        ASSERT_LT(at + 9, bytes.size());
        for (std::size_t i : {at + 5, at + 7}) {
            bytes[i] = 20000 >> 8;
            bytes[i + 1] = 20000 & 0xff;
        }
        test::writeBytesFile(dir.path(), "huge.jpg", bytes);
    }
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    // A plane that cannot be written, after the TIFF and two planes could be.
    std::filesystem::create_directories(dir.file("planes") / "ink2-yellow.png");
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
        {{"convert", "--db", db, "float.tif", "-o", "out.tif"},
         "unsupported image 'float.tif': samples that are not unsigned integers"},
        {{"convert", "--db", db, "half.jpg", "-o", "out.tif"},
         "damaged image 'half.jpg': Premature end of JPEG file"},
        {{"convert", "--db", db, "half.png", "-o", "out.tif"}, "damaged image 'half.png'"},
        {{"convert", "--db", db, "huge.png", "-o", "out.tif"},
         "damaged image 'huge.png': the file is too short for its claimed 60000 x 60000"},
        {{"convert", "--db", db, "huge.tif", "-o", "out.tif"}, "damaged image 'huge.tif'"},
        {{"convert", "--db", db, "huge.jpg", "-o", "out.tif"},
         "damaged image 'huge.jpg': the file is too short for its claimed 20000 x 20000"},
        {{"convert", "--db", db, "--max-pixels", "1000", "chart.png", "-o", "out.tif"},
         "pixels, more than the limit of 1000 (raise it with --max-pixels)"},
        {{"convert", "--db", db, "--input-profile", "text.png", "chart.png", "-o", "out.tif"},
         "cannot read input profile 'text.png': not an ICC profile"},
        {{"convert", "--db", db, "chart.png", "-o", "out.png"},
         "-o 'out.png': this output is a TIFF file"},
        {{"convert", "--db", db, "chart.png", "--preview", "p.tif"},
         "--preview 'p.tif': this output is a PNG file"},
        {{"convert", "--db", db, "chart.png", "-o", "out.tif", "--planes", "planes"},
         "output 'planes/ink2-yellow.png' is a directory"},
        {{"convert", "--db", db, "chart.png", "--preview", "p.png", "-o", "/dev/full"},
         "cannot write '/dev/full': No space left on device"},
        {{"convert", "--db", db, "pipe", "-o", "out.tif"},
         "cannot read image 'pipe': it is a FIFO (named pipe), not a regular file"},
        {{"info", "--db", "pipe"}, "cannot read database 'pipe': it is a FIFO"},
        {{"db", "check", "pipe"}, "cannot read database 'pipe': it is a FIFO"},
        {{"db", "dump", "pipe"}, "cannot read database 'pipe': it is a FIFO"},
        {{"raster", "pipe", "--planes", "planes"}, "cannot read raster 'pipe': it is a FIFO"},
        {{"db", "check", "/dev/zero"}, "'/dev/zero': it is a character device"},
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
        {{"db", "build", "missing.json", "-o", "out.vdb"}, "cannot open JSON file 'missing.json'"},
        {{"db", "build", "pipe", "-o", "out.vdb"}, "cannot read JSON file 'pipe': it is a FIFO"},
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

TEST(ToolErrors, DecoderWarningsComeOutAsVrelLines) {
    test::TempDir dir;
    writeJpegFile(dir.file("photo.jpg"), Image(64, 64, 3));
    auto bytes = readFileBytes(dir.file("photo.jpg"));
    // Two stray bytes after the first header segment: the pixels are intact.
    const std::size_t segmentEnd = 4 + static_cast<std::size_t>(bytes[4] << 8 | bytes[5]);
    bytes.insert(bytes.begin() + static_cast<long>(segmentEnd), {0x12, 0x34});
    test::writeBytesFile(dir.path(), "extra.jpg", bytes);
    const auto run = runTool(
        {"convert", "--db", sampleDatabase().string(), "extra.jpg", "-o", "out.tif"}, dir.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("vrel: warning: 'extra.jpg': Corrupt JPEG data: 2 extraneous bytes "
                           "before marker 0xdb\n"),
              std::string::npos)
        << run.err;
}

TEST(ToolErrors, RunningOutOfMemoryIsOneLineAndNoOutput) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer reserves more address space than the limit allows";
#endif
    test::TempDir dir;
    writeInterlacedGreyPng(dir.file("big.png"), 8000, 8000); // decoded whole: 64 MB
    const auto before = filesIn(dir.path());
    const auto err = dir.path().parent_path() / (dir.path().filename().string() + ".err");
    const std::string command = "cd '" + dir.str() + "' && ulimit -v 60000 && '" +
                                VREL_CLI_EXECUTABLE + "' convert --db '" +
                                sampleDatabase().string() + "' big.png -o out.tif 2>'" +
                                err.string() + "'";
    const int raw = std::system(command.c_str());
    ToolRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    const auto text = readFileBytes(err);
    run.err.assign(text.begin(), text.end());
    std::filesystem::remove(err);
    expectCleanFailure(run, "vrel: out of memory", before, dir.path());
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
    EXPECT_EQ(before.err, "vrel: input profile: sRGB (the PNG's sRGB chunk)\n");
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
