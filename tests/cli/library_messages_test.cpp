// libtiff's and lcms2's error messages are kept per file and per context:
// each open file or operation has its own, none is lost, none is printed.

#include "image/lcms_context.h"
#include "image/tiff_file.h"
#include "support/test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vrel::cli {
namespace {

// Opens a file that is not a TIFF: libtiff's message, or "opened".
std::string messageOfJunk(const test::TempDir& dir, const std::string& name,
                          const std::string& bytes) {
    const auto path = test::writeBytesFile(
        dir.path(), name, {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
    const int fd = ::open(path.c_str(), O_RDONLY);
    const TiffFile file = TiffFile::openDescriptor(fd, name, "rm");
    if (!file)
        ::close(fd);
    return file ? "opened" : file.lastMessage();
}

TEST(LibraryMessages, EachTiffFileKeepsItsOwnErrorsEvenWhileOpening) {
    testing::internal::CaptureStderr();
    const test::TempDir dir;
    EXPECT_EQ(messageOfJunk(dir, "empty", ""), "empty: Cannot read TIFF header");
    std::vector<std::string> got(4);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < got.size(); ++i)
        threads.emplace_back(
            [&, i] { got[i] = messageOfJunk(dir, "junk" + std::to_string(i), "XXXXXXXX"); });
    for (auto& t : threads)
        t.join();
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_EQ(got[i], "junk" + std::to_string(i) +
                              ": Not a TIFF or MDI file, bad magic number 22616 (0x5858)");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "libtiff's own handlers printed";
}

TEST(LibraryMessages, EachLcmsContextKeepsItsOwnError) {
    LcmsContext failing, quiet;
    const char junk[200] = "not a profile";
    EXPECT_EQ(cmsOpenProfileFromMemTHR(failing.get(), junk, sizeof junk), nullptr);
    EXPECT_NE(failing.lastMessage(), "");
    EXPECT_EQ(quiet.lastMessage(), "");
    cmsHPROFILE srgb = cmsCreate_sRGBProfileTHR(quiet.get());
    ASSERT_NE(srgb, nullptr);
    cmsCloseProfile(srgb);
    EXPECT_EQ(quiet.lastMessage(), "");
    failing.clearMessage();
    EXPECT_EQ(failing.lastMessage(), "");
}

} // namespace
} // namespace vrel::cli
