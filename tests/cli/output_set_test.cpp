// The outputs of one command appear together or not at all, are never
// written through a link planted under a temporary name, and stream into a
// FIFO or standard output instead of replacing them.
#include "cli_test_helpers.h"
#include "image_write.h"
#include "output_set.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vrel::cli {
namespace {

TEST(OutputSet, AFailedRenameRemovesTheOutputsAlreadyInPlace) {
    test::TempDir dir;
    OutputSet set;
    set.createDirectories((dir.path() / "made" / "here").string());
    set.add((dir.path() / "made" / "here" / "first.bin").string()).write("one", 3);
    set.add(dir.file("second.bin").string()).write("two", 3);
    // The second name turns into a folder that holds a file: its rename fails
    // after the first output is already in place.
    std::filesystem::create_directories(dir.file("second.bin") / "inside");
    EXPECT_THROW(set.commit(), std::runtime_error);
    EXPECT_EQ(clitest::filesIn(dir.path()),
              (std::vector<std::string>{"second.bin", "second.bin/inside"}));
}

TEST(OutputSet, TemporaryNamesCannotBePlanted) {
    // Links under every name a predictable scheme (".NAME.tmpPID-N") would
    // use must not redirect the write.
    test::TempDir dir;
    const auto victim = dir.file("victim.txt");
    test::writeBytesFile(dir.path(), "victim.txt", std::vector<uint8_t>{'k', 'e', 'e', 'p'});
    for (int n = 0; n < 2000; ++n)
        std::filesystem::create_symlink(
            victim,
            dir.file(".out.tif.tmp" + std::to_string(::getpid()) + "-" + std::to_string(n)));
    Image inks(8, 4, 4);
    writeInkTiff(dir.file("out.tif").string(), inks, {"Cyan", "Magenta", "Yellow", "Black"});
    EXPECT_EQ(clitest::readFileBytes(victim), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_FALSE(std::filesystem::is_symlink(dir.file("out.tif")));
    EXPECT_EQ(clitest::readTiffFile(dir.file("out.tif")).width, 8u);
}

TEST(OutputSet, InkTiffStreamsIntoAFifoAndToStandardOutput) {
    test::TempDir dir;
    const auto db = clitest::sampleDatabase().string();
    auto run = clitest::runTool({"chart", "-o", "chart.png"}, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    run = clitest::runTool({"convert", "--db", db, "chart.png", "-o", "file.tif"}, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const auto expected = clitest::readFileBytes(dir.file("file.tif"));

    run = clitest::runTool({"convert", "--db", db, "chart.png", "-o", "-"}, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::vector<uint8_t>(run.out.begin(), run.out.end()) == expected);
    EXPECT_FALSE(std::filesystem::exists(dir.file("-")));

    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    const std::string reader = "cd '" + dir.str() + "' && timeout 60 cat pipe > got.tif &";
    ASSERT_EQ(std::system(reader.c_str()), 0);
    run = clitest::runTool({"convert", "--db", db, "chart.png", "-o", "pipe"}, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    struct stat info {};
    ASSERT_EQ(::stat(dir.file("pipe").c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode)) << "the FIFO was replaced";
    for (int i = 0; i < 100 && clitest::readFileBytes(dir.file("got.tif")) != expected; ++i)
        ::usleep(50'000); // the reader finishes on its own time
    EXPECT_TRUE(clitest::readFileBytes(dir.file("got.tif")) == expected);
}

} // namespace
} // namespace vrel::cli
