#include "foundation_helpers.h"
#include "resources/file_layer.h"

#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

using foundation::ScratchDir;
using vrel::ResourceFile;
namespace hooks = vrel::testing;

ResourceFile fileNamed(const char* name, const char* directory) {
    ResourceFile file{};
    std::strncpy(file.fileName, name, sizeof file.fileName - 1);
    file.directory = directory;
    return file;
}

std::vector<uint8_t> counting(std::size_t n) {
    std::vector<uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    return bytes;
}

TEST(FileLayer, OpensDirectorySeparatorAndNameAndReadsExactLengths) {
    ScratchDir dir;
    foundation::writeFile(dir.path() / "data.bin", counting(100));
    const std::string directory = dir.str();
    const long openBefore = hooks::openFiles();
    ResourceFile file = fileNamed("data.bin", directory.c_str());
    ASSERT_EQ(vrel::openFile(&file, 0), 0);
    EXPECT_EQ(hooks::openFiles(), openBefore + 1);
    uint8_t buffer[10];
    ASSERT_EQ(vrel::seekTo(&file, 90), 0);
    ASSERT_EQ(vrel::readExact(&file, buffer, 10), 0);
    EXPECT_EQ(buffer[0], counting(100)[90]);
    EXPECT_EQ(buffer[9], counting(100)[99]);
    // A read past the end is short: a failure, not a partial success.
    ASSERT_EQ(vrel::seekTo(&file, 95), 0);
    EXPECT_EQ(vrel::readExact(&file, buffer, 10), -138);
    vrel::closeFile(&file);
    EXPECT_EQ(hooks::openFiles(), openBefore);
    // Closing twice does nothing more.
    vrel::closeFile(&file);
    EXPECT_EQ(hooks::openFiles(), openBefore);
    EXPECT_EQ(vrel::pathSeparator(), '/');
}

TEST(FileLayer, NullDirectoryOpensTheNameRelativeToTheWorkingDirectory) {
    ScratchDir dir;
    foundation::writeFile(dir.path() / "rel.bin", counting(4));
    char previous[4096];
    ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(::chdir(dir.str().c_str()), 0);
    ResourceFile file = fileNamed("rel.bin", nullptr);
    const int16_t opened = vrel::openFile(&file, 0);
    ResourceFile missing = fileNamed("absent.bin", nullptr);
    const int16_t absent = vrel::openFile(&missing, 0);
    ASSERT_EQ(::chdir(previous), 0);
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(absent, -138);
    vrel::closeFile(&file);
}

TEST(FileLayer, RefusesMissingFilesUnknownModesAndOverlongPaths) {
    ScratchDir dir;
    foundation::writeFile(dir.path() / "x.bin", counting(4));
    const long openBefore = hooks::openFiles();
    const std::string directory = dir.str();
    ResourceFile missing = fileNamed("y.bin", directory.c_str());
    EXPECT_EQ(vrel::openFile(&missing, 0), -138);
    ResourceFile present = fileNamed("x.bin", directory.c_str());
    EXPECT_EQ(vrel::openFile(&present, 2), -138);
    EXPECT_EQ(vrel::openFile(&present, -1), -138);

    // Directory + "/" + name of exactly 287 characters opens; 288 is refused.
    const std::string name = "x.bin";
    std::string longDir = directory + "/";
    while (longDir.size() + 1 + name.size() < vrel::kMaxPathLength) {
        longDir += 'd';
    }
    ASSERT_EQ(longDir.size() + 1 + name.size(), vrel::kMaxPathLength);
    std::filesystem::create_directories(longDir);
    foundation::writeFile(std::filesystem::path(longDir) / name, counting(4));
    ResourceFile fits = fileNamed(name.c_str(), longDir.c_str());
    EXPECT_EQ(vrel::openFile(&fits, 0), 0);
    vrel::closeFile(&fits);
    const std::string tooLong = longDir + "d";
    std::filesystem::create_directories(tooLong);
    foundation::writeFile(std::filesystem::path(tooLong) / name, counting(4));
    ResourceFile over = fileNamed(name.c_str(), tooLong.c_str());
    EXPECT_EQ(vrel::openFile(&over, 0), -138);

    // A name field without its NUL is refused rather than read past.
    ResourceFile unterminated{};
    std::memset(unterminated.fileName, 'a', sizeof unterminated.fileName);
    unterminated.directory = directory.c_str();
    EXPECT_EQ(vrel::openFile(&unterminated, 0), -138);
    EXPECT_EQ(hooks::openFiles(), openBefore);
}

// Only a regular file opens: a FIFO blocks the open until a writer comes and
// then every read until it writes (here a writer holds it and never does), a
// device may never end, a directory holds no data. Each is refused at once,
// with no file left open.
TEST(FileLayer, OpensRegularFilesOnlyAndNeverWaitsOnAFifo) {
    ScratchDir dir;
    const std::string fifo = (dir.path() / "pipe").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int writer = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    std::filesystem::create_directory(dir.path() / "folder");
    const std::string directory = dir.str();
    const long openBefore = hooks::openFiles();
    const std::pair<const char*, const char*> specials[] = {
        {"pipe", directory.c_str()}, {"folder", directory.c_str()}, {"zero", "/dev"}};
    for (const auto& [name, folder] : specials) {
        for (const int16_t mode : {0, 1}) {
            ResourceFile file = fileNamed(name, folder);
            EXPECT_EQ(vrel::openFile(&file, mode), -138) << name << ", mode " << mode;
            EXPECT_EQ(file.osHandle, 0u) << name;
        }
    }
    EXPECT_EQ(hooks::openFiles(), openBefore);
    ::close(writer);
}

TEST(FileLayer, KthSeekOrReadFailsOnce) {
    ScratchDir dir;
    foundation::writeFile(dir.path() / "d.bin", counting(64));
    const std::string directory = dir.str();
    ResourceFile file = fileNamed("d.bin", directory.c_str());
    ASSERT_EQ(vrel::openFile(&file, 0), 0);
    uint8_t buffer[4];
    hooks::resetFileOperationCounter();
    hooks::failFileOperationAt(2);
    EXPECT_EQ(vrel::seekTo(&file, 0), 0);
    EXPECT_EQ(vrel::readExact(&file, buffer, 4), -138);
    EXPECT_EQ(vrel::seekTo(&file, 8), 0);
    EXPECT_EQ(vrel::readExact(&file, buffer, 4), 0);
    EXPECT_EQ(buffer[0], counting(64)[8]);
    EXPECT_EQ(hooks::fileOperationsMade(), 4);
    hooks::failFileOperationAt(1);
    EXPECT_EQ(vrel::seekTo(&file, 0), -138);
    hooks::failFileOperationAt(0);
    vrel::closeFile(&file);
}

} // namespace
