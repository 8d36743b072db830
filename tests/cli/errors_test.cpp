// What a user meets when something is wrong, through the built executable:
// a failure is status 2, one line "vrel: ..." naming the problem, and no
// output file (not even a partial or temporary one); warnings and a
// database problem found by 'db check' still let the command finish.
#include "cli_test_helpers.h"
#include "image/image_read.h"

#include <png.h>
#include <sys/stat.h>
#include <zlib.h>

namespace vrel::clitest {
namespace {

using cli::Image;

// A PNG whose header claims width x height over the data of a small one.
std::vector<uint8_t> claimingPng(std::vector<uint8_t> bytes, uint32_t width, uint32_t height) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[16 + i] = static_cast<uint8_t>(width >> (24 - 8 * i));
        bytes[20 + i] = static_cast<uint8_t>(height >> (24 - 8 * i));
    }
    const auto crc = crc32(0, bytes.data() + 12, 17); // chunk type and IHDR data
    for (std::size_t i = 0; i < 4; ++i)
        bytes[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    return bytes;
}

// A flat PNG (every sample 128) of 8-bit grey or 16-bit RGBA, the widest
// pixels. An interlaced image can only be decoded whole, unlike any other.
void writeFlatPng(const std::filesystem::path& path, uint32_t width, uint32_t height, bool rgba,
                  bool interlaced) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_compression_level(png, 1);
    png_set_IHDR(png, info, width, height, rgba ? 16 : 8,
                 rgba ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_GRAY,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
                 PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    const std::vector<uint8_t> row(width * (rgba ? 8u : 1u), 128);
    for (int pass = png_set_interlace_handling(png); pass > 0; --pass)
        for (uint32_t y = 0; y < height; ++y)
            png_write_row(png, row.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

// A grey TIFF of `pages` pages, one 4-pixel row each.
void writePagesTiff(const std::filesystem::path& path, int pages) {
    TIFF* t = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(t, nullptr);
    uint8_t row[4] = {0, 85, 170, 255};
    for (int page = 0; page < pages; ++page) {
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 4);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, 1);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFWriteScanline(t, row, 0, 0);
        TIFFWriteDirectory(t);
    }
    TIFFClose(t);
}

TEST(ToolErrors, EachProblemGivesItsStatusAndMessage) {
    test::TempDir dir;
    const auto db = kSampleDatabase;
    const auto write = [&](const char* name, const auto& bytes) {
        test::writeBytesFile(dir.path(), name, std::vector<uint8_t>(bytes.begin(), bytes.end()));
    };
    ASSERT_EQ(runTool({"chart", "-o", "chart.png", "--width", "600", "--height", "400"}, dir.path())
                  .status,
              0);
    write("text.png", std::string("this is not an image\n"));
    write("settings.json", std::string(R"({"profileNumber": 0, "inputKnd": 3})"));
    writeTiff(dir.file("float.tif"), 4, 1, 32, PHOTOMETRIC_MINISBLACK, {0, 0, 0, 0},
              [](TIFF* t) { TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP); });
    writeTiff(dir.file("huge.tif"), 20000, 1, 8, PHOTOMETRIC_MINISBLACK,
              std::vector<uint16_t>(20000, 128), [](TIFF* t) {
                  TIFFSetField(t, TIFFTAG_IMAGELENGTH, 20000); // with one row of data
                  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 20000);
              });
    writeJpegFile(dir.file("photo.jpg"), cli::readImage(dir.file("chart.png").string()));
    auto jpeg = readFileBytes(dir.file("photo.jpg")), png = readFileBytes(dir.file("chart.png"));
    write("half.jpg", std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + long(jpeg.size() / 2)));
    write("half.png", std::vector<uint8_t>(png.begin(), png.begin() + long(png.size() / 2)));
    write("huge.png", claimingPng(png, 60000, 60000));
    auto extra = jpeg; // two stray bytes after the first header segment: the pixels are intact
    extra.insert(extra.begin() + 4 + (extra[4] << 8 | extra[5]), {0x12, 0x34});
    write("extra.jpg", extra);
    std::size_t frame = 2; // the frame header (after its 0xffc0 marker) claims 20000 x 20000
    while (frame + 9 < jpeg.size() && !(jpeg[frame] == 0xff && jpeg[frame + 1] == 0xc0))
        ++frame;
    ASSERT_LT(frame + 9, jpeg.size());
    for (std::size_t i : {frame + 5, frame + 7})
        jpeg[i] = 20000 >> 8, jpeg[i + 1] = 20000 & 0xff;
    write("huge.jpg", jpeg);
    write("wide.png", claimingPng(png, 300000, 1));
    Image photo(4000, 4000, 3);
    for (std::size_t i = 0; i < photo.pixels.size(); ++i)
        photo.pixels[i] = static_cast<uint8_t>(i * 37 % 256);
    writeJpegFile(dir.file("prog.jpg"), photo, {}, true);
    std::vector<uint16_t> map(3 * 256);
    const auto palette = [&](TIFF* t) {
        TIFFSetField(t, TIFFTAG_COLORMAP, map.data(), map.data() + 256, map.data() + 512);
    };
    writeTiff(dir.file("nomap.tif"), 4, 1, 8, PHOTOMETRIC_PALETTE, {0, 1, 2, 3});
    writeTiff(dir.file("shortmap.tif"), 4, 1, 8, PHOTOMETRIC_PALETTE, {0, 1, 2, 3}, palette);
    writeTiff(dir.file("wide.tif"), 1, 1, 8, PHOTOMETRIC_MINISBLACK, {0});
    writeTiff(dir.file("far.tif"), 8, 1, 8, PHOTOMETRIC_MINISBLACK, std::vector<uint16_t>(64),
              [](TIFF* t) { TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE); });
    const auto patch = [&](const char* name, uint16_t tag, uint32_t value, bool countOnly) {
        auto bytes = readFileBytes(dir.file(name));
        patchTiffTag(bytes, tag, value, countOnly);
        write(name, bytes);
    };
    patch("shortmap.tif", TIFFTAG_COLORMAP, 3 * 16, true);
    patch("wide.tif", TIFFTAG_IMAGEWIDTH, 100'000'000, false);
    patch("far.tif", TIFFTAG_STRIPBYTECOUNTS, 1'000'000'000, false);
    writePagesTiff(dir.file("pages.tif"), 3);
    // JPEGs with EXIF orientation: absurd, damaged, and one too big to turn.
    writeJpegFile(dir.file("square.jpg"), Image(1000, 1000, 3));
    const auto withExif = [&](const char* name, const char* base, std::vector<uint8_t> app1) {
        auto bytes = readFileBytes(dir.file(base));
        bytes.insert(bytes.begin() + 2, app1.begin(), app1.end());
        write(name, bytes);
    };
    withExif("exif9.jpg", "photo.jpg", exifSegment(9, true));
    withExif("exiffar.jpg", "photo.jpg", exifSegment(6, false, 0xfffffff0));
    auto cut = exifSegment(6, true); // the segment ends inside its one entry
    cut.resize(22), cut[3] = 20;
    withExif("exifcut.jpg", "photo.jpg", cut);
    withExif("turned.jpg", "square.jpg", exifSegment(6, true));
    auto exifPng = readFileBytes(dir.file("chart.png")); // an eXIf chunk after the header
    const auto tiffPart = exifSegment(8, false);
    std::vector<uint8_t> chunk = {0, 0, 0, uint8_t(tiffPart.size() - 10), 'e', 'X', 'I', 'f'};
    chunk.insert(chunk.end(), tiffPart.begin() + 10, tiffPart.end());
    const auto chunkCrc = crc32(0, chunk.data() + 4, uInt(chunk.size() - 4));
    for (int i = 3; i >= 0; --i)
        chunk.push_back(uint8_t(chunkCrc >> (8 * i)));
    exifPng.insert(exifPng.begin() + 33, chunk.begin(), chunk.end());
    write("exif.png", exifPng);
    writeTiff(dir.file("tall.tif"), 1, 1, 8, PHOTOMETRIC_MINISBLACK,
              std::vector<uint16_t>(300000, 128),
              [](TIFF* t) { TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_RIGHTTOP); });
    const auto a98 = readFileBytes("/usr/share/color/icc/ghostscript/a98.icc");
    writeTiff(
        dir.file("a98.tif"), 4, 3, 8, PHOTOMETRIC_RGB, std::vector<uint16_t>(12, 200),
        [&](TIFF* t) { TIFFSetField(t, TIFFTAG_ICCPROFILE, uint32_t(a98.size()), a98.data()); });
    const auto sample = readFileBytes(db); // cut into its last extension chunk:
    write("cut.vdb", std::vector<uint8_t>(sample.begin(), sample.end() - 100));
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    write("six.json", std::string(R"({"profiles": [{"profileNumber": 0, "layout": 1, "entries":
        [{"key": 0, "lutChunk": 256, "channels": 6}]}], "tables": [{"id": 256, "points": 2,
        "channels": 6, "grid": {"source": "ink-model"}}]})"));
    ASSERT_EQ(runTool({"db", "build", "six.json", "-o", "six.vdb"}, dir.path()).status, 0);
    const std::string icc = "/usr/share/color/icc/ghostscript/", cmyk = icc + "default_cmyk.icc";
    // A plane that cannot be written, after the TIFF and two planes could be.
    std::filesystem::create_directories(dir.file("planes") / "ink2-yellow.png");
    std::filesystem::copy_file(db, dir.file("a-database-name-too-long.vdb"));
    write("six.icc", sixColourProfile());
    const std::string kRgbProfile = "/usr/share/color/icc/ghostscript/srgb.icc";

    struct Case {
        std::vector<std::string> args;
        std::string needle;
        int status = 2;
        std::string json = "";   // written to d.json first
        std::string prefix = ""; // shell commands before the tool's
        std::string stdoutTo = "";
    };
    const auto convert = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"convert", "--db", db});
        if (std::find(args.begin(), args.end(), "-o") == args.end())
            args.insert(args.end(), {"-o", "out.tif"});
        return args;
    };
    const std::vector<std::string> build = {"db", "build", "d.json", "-o", "out.vdb"};
    const Case cases[] =
    { {convert({"missing.png"}), "cannot open image 'missing.png'"},
      {{"convert", "--db", "nowhere.vdb", "chart.png", "-o", "out.tif"},
       "cannot open database 'nowhere.vdb'"},
      {convert({"--profile", "9", "chart.png"}), "profile number 9"},
      {convert({"--key94", "7", "chart.png", "--preview", "p.png"}), "unknown profile"},
      {convert({"text.png"}), "unsupported image 'text.png': not a PNG, JPEG or TIFF file"},
      {convert({"float.tif"}), "'float.tif': samples that are not unsigned integers"},
      {convert({"half.jpg"}), "damaged image 'half.jpg': Premature end of JPEG file"},
      {convert({"half.png"}), "damaged image 'half.png'"},
      {convert({"half.png", "--threads", "3"}), "damaged image 'half.png'"},
      {convert({"huge.png"}), "'huge.png': the file is too short for its claimed 60000 x"},
      {convert({"huge.tif"}),
       "'huge.tif': the file is too short for its claimed 20000 x 20000 pixels (strip 2 of"},
      {convert({"huge.jpg"}), "'huge.jpg': the file is too short for its claimed 20000 x"},
      {convert({"--max-pixels", "1000", "chart.png"}),
       "the limit of 1000 (raise it with --max-pixels)"},
      // Image inputs: memory bounds, limits, pages and damaged layouts.
      {convert({"wide.png"}), "'wide.png': 300000 pixels wide, more than the widest row the tool "
                              "takes (262144 pixels)"},
      {convert({"wide.tif"}), "'wide.tif': the file is too short for its claimed 100000000 x 1"},
      {convert({"far.tif"}), "strip 1 of 1 ends beyond the file's"},
      {convert({"--max-image-memory", "16", "prog.jpg"}),
       "image 'prog.jpg' is a progressive JPEG, which is decoded whole: 46 MiB, more than the "
       "limit of 16 MiB (raise it with --max-image-memory)"},
      {convert({"--max-image-memory", "32", "big.png"}),
       "'big.png' is an interlaced PNG, which is decoded whole: 62 MiB, more than the limit of 32"},
      {convert({"--max-pixels=-1", "chart.png"}), "--max-pixels must be between 1 and 2814749"},
      {convert({"--max-pixels", "0", "chart.png"}), "--max-pixels must be between 1 and 2814749"},
      {convert({"--max-image-memory", "0", "chart.png"}), "--max-image-memory must be between 1"},
      {convert({"nomap.tif"}), "damaged image 'nomap.tif': a palette image whose colour map is"},
      {convert({"shortmap.tif"}), "damaged image 'shortmap.tif': a palette image whose colour"},
      {convert({"pages.tif"}),
       "warning: 'pages.tif' has 3 pages; page 1 is converted (choose another with --page)", 0},
      {convert({"--page", "4", "pages.tif"}), "--page 4: image 'pages.tif' has 3 pages"},
      {convert({"--page", "2", "chart.png"}), "--page 2: image 'chart.png' has only one page"},
      {convert({"exif9.jpg"}),
       "warning: 'exif9.jpg': EXIF orientation 9 is not one of 1 to 8; the image is taken as "
       "stored",
       0},
      {convert({"exif.png"}),
       "vrel: 'exif.png': EXIF orientation 8 applied (rotated 90° "
       "anticlockwise)\n",
       0},
      {convert({"exiffar.jpg"}), "vrel: input profile: sRGB", 0},
      {convert({"exifcut.jpg"}), "vrel: input profile: sRGB", 0},
      {convert({"--max-image-memory", "1", "turned.jpg"}),
       "image 'turned.jpg' is to be turned upright (EXIF orientation 6), which is decoded whole: 3 "
       "MiB, more than the limit of 1 MiB (raise it with --max-image-memory)"},
      {convert({"tall.tif"}), "'tall.tif': 300000 pixels wide once turned upright (TIFF "
                              "orientation 6), more than the widest row the tool takes"},
      {convert({"--database-space", "nothing.icc", "chart.png"}),
       "cannot open database space profile 'nothing.icc': No such file"},
      {convert({"--database-space", "text.png", "chart.png"}),
       "--database-space 'text.png': not an ICC profile"},
      {convert(
           {"--database-space", "/usr/share/color/icc/ghostscript/default_cmyk.icc", "chart.png"}),
       "default_cmyk.icc': must be an RGB profile (the space of the database's RGB tables)"},
      {convert({"a98.tif"}),
       "vrel: 'a98.tif' is in 'Artifex Software A98 ICC Profile'; colours outside sRGB are clipped "
       "before the database's table; if the database was built for another RGB space, name it "
       "with --database-space FILE.icc\n",
       0},
      {convert({"--input-profile", "text.png", "chart.png"}),
       "input profile 'text.png': not an ICC profile"},
      {convert({"--dpi", "0", "chart.png"}),
       "--dpi 0: must be a number of dots per inch from 1 to"},
      {convert({"--dpi", "300dpi", "chart.png"}), "--dpi 300dpi: must be a number of dots per"},
      {convert({"--dpi", "1e9", "chart.png"}), "--dpi 1e9: must be a number of dots per inch"},
      {convert({"--output-profile", "missing.icc", "chart.png"}),
       "cannot open output profile 'missing.icc'"},
      {convert({"--output-profile", "text.png", "chart.png"}),
       "--output-profile 'text.png': not an ICC profile"},
      {convert({"--output-profile", kRgbProfile, "chart.png"}),
       "srgb.icc': a profile for RGB; it must describe the printer's inks"},
      {convert({"--output-profile", "six.icc", "chart.png"}),
       "'six.icc': a profile for 6 colours, but the database's profile prints 4 inks"},
      {convert({"chart.png", "--preview", "p.png"}),
       "preview 'p.png' shows a generic ink model; give --output-profile FILE.icc", 0},
      {convert({"chart.png", "-o", "out.png"}), "-o 'out.png': this output is a TIFF file"},
      {convert({"chart.png", "--preview", "p.tif"}), "'p.tif': this output is a PNG file"},
      {convert({"chart.png", "--planes", "planes"}), "'planes/ink2-yellow.png' is a directory"},
      {convert({"chart.png", "--preview", "p.png", "-o", "/dev/full"}),
       "'/dev/full': No space left on device"},
      {convert({"chart.png", "-o", "no-such-dir/out.tif"}),
       "directory 'no-such-dir' does not exist"},
      {convert({"pipe"}), "image 'pipe': it is a FIFO (named pipe), not a regular file"},
      {{"info", "--db", "pipe"}, "cannot read database 'pipe': it is a FIFO"},
      {{"db", "check", "/dev/zero"}, "'/dev/zero': it is a character device"},
      {convert({"--settings", "settings.json", "chart.png"}), "/inputKnd: unknown field"},
      {{"convert", "--db", "a-database-name-too-long.vdb", "chart.png", "-o", "out.tif"},
       "longer than the 20 bytes"},
      {{"convert", "--db", db, "chart.png"}, "nothing to write"},
      {convert({"chart.png", "--threads", "0"}), "--threads must be between 1 and 256"},
      {convert({"--adjust", "1", "--balance", "99999,0,0,0", "chart.png"}),
       "--balance takes four values from -50 to 50"},
      {{"plot", "--db", db, "--slice", "40", "-o", "plot.png"}, "--slice must be below"},
      {{"plot", "--db", db, "--kind", "pie", "-o", "p.png"},
       "--kind 'pie': take profile, neutral or total"},
      {{"plot", "--db", db, "--kind", "neutral", "--slice", "2", "-o", "p.png"},
       "--slice: only --kind profile draws a table slice"},
      {{"plot", "--db", db, "--profile", "2", "--kind", "total", "-o", "p.png"},
       "--kind total: the black-only method has no colour table"},
      {{"frobnicate"}, "frobnicate"},
      // db compare: what it compares with, its profiles and databases.
      {{"db", "compare", db}, "nothing to compare with: give a second database or --against-"},
      {{"db", "compare", db, db, "--against-profile", cmyk}, "--against-profile, not both"},
      {{"db", "compare", db, "nowhere.vdb"}, "cannot open database 'nowhere.vdb'"},
      {{"db", "compare", db, "six.vdb"}, "converts to 4 inks, 'six.vdb' to 6: only the same inks"},
      {{"db", "compare", db, "--against-profile", "no.icc"}, "'no.icc': cannot open the ICC prof"},
      {{"db", "compare", db, db, "--output-profile", icc + "srgb.icc"}, "srgb.icc': not a CMYK"},
      {{"db", "compare", db, db, "--key94", "1", "--output-profile", cmyk},
       "--output-profile needs a four-ink profile; '" + db + "' converts to 6 inks"},
      {{"db", "compare", db, "--against-profile", cmyk, "--intent", "vivid"},
       "--intent vivid: must be perceptual, relative, saturation or absolute"},
      {{"db", "compare", db, db, "--bpc"}, "--intent and --bpc apply to --against-profile only"},
      {{"db", "compare", db, "--against-profile", cmyk, "--image", "no.png"},
       "cannot open image 'no.png'"},
      // Description errors name the JSON path of the field.
      {build, "bad JSON in 'd.json'", 2, R"({"profiles": [ {"profileNumber": 0,, } ]})"},
      {build, "/profiles/0/layout: must be 0, 1 or 2", 2,
       R"({"profiles": [{"profileNumber": 0, "layout": 4, "entries": []}]})"},
      {build, "/tables/0/nodes: node positions must rise strictly (128 then 128)", 2,
       R"({"tables": [{"id": 1, "nodes": [0, 128, 128, 255], "channels": 3, "grid": {"source": "identity"}}]})"},
      {build, "d.json': /" + std::string(48, 'k') + "... (100000 bytes): unknown field", 2,
       "{\"tag\": \"T\", \"" + std::string(100000, 'k') + "\": 1}"},
      {build,
       "/patches/0/offset: the database would grow past "
       "256 MiB here (the limit of 'db build'; raise it with --max-size)",
       2, R"({"patches": [{"offset": 4294967295, "data": "00"}]})"},
      {{"db", "build", kSampleDescription, "-o", "out.vdb", "--max-size", "1K"},
       "the database would grow past 1024 bytes"},
      // Finished commands: warnings, and problems that 'db check' reports.
      {convert({"extra.jpg"}), "warning: 'extra.jpg': Corrupt JPEG data: 2 extraneous bytes", 0},
      {{"info", "--db", db, "--balance", "10,0,0,0"},
       "warning: the balance (--balance) has no effect without the adjustment",
       0},
      {{"plot", "--db", db, "--profile", "2", "--slice", "3", "-o", "p.png"},
       "warning: --slice has no effect: the black-only method has no colour",
       0},
      {convert({"--adjust", "1", "--balance", "50,0,0,-50", "chart.png"}),
       "vrel: input profile: sRGB (the PNG's sRGB chunk)\n", 0},
      {{"db", "check", "cut.vdb"}, "problem at 0x", 1},
      {{"--help"}, "Exit status: 0 success; 1", 0},
      // Standard output that cannot take the output: a full device.
      {{"ppd", "--db", db}, "cannot write standard output: No space left", 2, "", "", "/dev/full"},
      {{"db", "dump", db}, "cannot write standard output: No space left", 2, "", "", "/dev/full"},
      {{"db", "check", db}, "cannot write standard output: No space left", 2, "", "", "/dev/full"},
      {{"info", "--db", db}, "cannot write standard output: No space left", 2, "", "", "/dev/full"},
      {{"--help"}, "cannot write standard output: No space left", 2, "", "", "/dev/full"},
      {convert({"chart.png", "-o", "-"}), "cannot write standard output: No space left", 2, "", "",
       "/dev/full"},
      // A strip that cannot be written while other bands are in flight.
      {convert({"chart.png", "--compression", "none", "--threads", "3"}),
       "cannot write 'out.tif': TIFFAppendToStrip: Write error", 2, "",
       "trap '' XFSZ; ulimit -f 64 && "},
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__) // they reserve more
      // Memory running out (an interlaced image is decoded whole: 64 MB).
      {convert({"big.png"}), "vrel: out of memory", 2, "", "ulimit -v 60000 && "},
      // The widest row taken, in 16-bit RGBA, costs a bounded few rows.
      {convert({"widest.png", "--preview", "p.png"}), "input profile", 0, "",
       "ulimit -v 60000 && "},
      // libjpeg's own "Insufficient memory" too, for a progressive image's 46 MiB of
      // coefficients (the tool alone takes about 15 MB).
      {convert({"prog.jpg"}), "vrel: out of memory", 2, "", "ulimit -v 45000 && "},
#endif
    };
    writeFlatPng(dir.file("big.png"), 8000, 8000, false, true);
    writeFlatPng(dir.file("widest.png"), cli::kMaxWidth, 4, true, false);
    write("d.json", std::string());
    auto before = filesIn(dir.path());
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        if (!c.json.empty())
            write("d.json", c.json);
        const auto run = runTool(c.args, dir.path(), c.prefix, c.stdoutTo);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_TRUE(c.status != 2 || (run.err.rfind("vrel: ", 0) == 0 && run.err.size() < 480 &&
                                      std::count(run.err.begin(), run.err.end(), '\n') == 1))
            << "not one short line: " << run.err;
        EXPECT_NE((c.status == 2 ? run.err : run.out + run.err).find(c.needle), std::string::npos)
            << run.out << run.err;
        EXPECT_TRUE(c.status == 0 || filesIn(dir.path()) == before) << "output left behind";
        before = filesIn(dir.path());
    }
}

} // namespace
} // namespace vrel::clitest
