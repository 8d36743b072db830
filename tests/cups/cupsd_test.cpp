// A real print queue: the test starts its own cupsd with a private
// configuration, state and spool in a temporary folder, listening only on a
// local socket there, adds a queue with the merged PPD and a file: device,
// prints a PDF with lp, waits for the job to complete and reads the ESC/P2
// file. The machine's own CUPS configuration and scheduler are not touched.
#include "gutenprint_helpers.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vrel::cups_test {
namespace {

// The scheduler's files in dir; its filter folder holds the system's filters
// and the built bridge, the rest of ServerBin is the system's.
void writeConfiguration(const test::TempDir& dir) {
    const fs::path bin = dir.path() / "serverbin",
                   system = fs::path(VREL_CUPS_FILTER_DIR).parent_path();
    fs::create_directories(bin / "filter");
    for (const auto& entry : fs::directory_iterator(system))
        if (entry.path().filename() != "filter")
            fs::create_symlink(entry.path(), bin / entry.path().filename());
    for (const auto& entry : fs::directory_iterator(VREL_CUPS_FILTER_DIR))
        if (entry.path().filename() != "rastertovrel-gutenprint")
            fs::create_symlink(entry.path(), bin / "filter" / entry.path().filename());
    fs::create_symlink(VREL_BRIDGE, bin / "filter/rastertovrel-gutenprint");
    for (const char* sub : {"spool", "cache", "state", "log", "tmp", "ppd", "ssl"})
        fs::create_directories(dir.path() / sub);
    // The filters write their temporary files as the scheduler's user.
    fs::permissions(dir.path() / "tmp", fs::perms::all | fs::perms::sticky_bit);
    const std::string d = dir.path().string();
    std::ofstream(dir.file("cupsd.conf"))
        << "Listen " << d << "/cups.sock\nLogLevel debug\nBrowsing No\nWebInterface No\n"
        << "DefaultAuthType None\n<Location />\nOrder allow,deny\nAllow all\n</Location>\n"
        << "<Policy default>\n<Limit All>\nOrder deny,allow\n</Limit>\n</Policy>\n";
    std::ofstream(dir.file("cups-files.conf"))
        << "FileDevice Yes\nServerRoot " << d << "\nServerBin " << d << "/serverbin\n"
        << "DataDir /usr/share/cups\nCacheDir " << d << "/cache\nStateDir " << d << "/state\n"
        << "RequestRoot " << d << "/spool\nTempDir " << d << "/tmp\nPrintcap " << d
        << "/printcap\nServerKeychain " << d << "/ssl\n"
        << "AccessLog " << d << "/log/access_log\nErrorLog " << d << "/log/error_log\n"
        << "PageLog " << d << "/log/page_log\n";
}

TEST(CupsScheduler, PrintsAPdfThroughTheMergedPpdIntoEscp2) {
    SKIP_WITHOUT_GUTENPRINT();
    if (geteuid() != 0)
        GTEST_SKIP() << "cupsd runs its filters as another user only when started as root";
    const test::TempDir dir;
    // The filters run as the scheduler's user (lp) and read the PPD and
    // spool under the folder.
    fs::permissions(dir.path(), fs::perms::all, fs::perm_options::add);
    writeConfiguration(dir);
    const fs::path ppd = mergedPpd(dir, gutenprintPpd(dir, "r2400"), kSampleDir / "sample.vdb");
    const pid_t cupsd = fork();
    if (cupsd == 0) {
        execl(VREL_CUPSD, "cupsd", "-f", "-c", dir.file("cupsd.conf").c_str(), "-s",
              dir.file("cups-files.conf").c_str(), nullptr);
        _exit(127);
    }
    // A bound on the wait, not a timing.
    for (int wait = 0; wait < 3000 && !fs::exists(dir.file("cups.sock")); ++wait)
        usleep(10000);
    const std::string server = "CUPS_SERVER=" + quote(dir.file("cups.sock").string()) + " ";
    const fs::path out = dir.file("out.prn");
    auto run = runShell(server + "lpadmin -p vrel -E -v file://" + out.string() + " -P " +
                        quote(ppd.string()) + " && " + server + "lp -d vrel -o Resolution=360dpi " +
                        quote(VREL_CUPS_TEST_PDF) + " >/dev/null");
    EXPECT_EQ(run.status, 0) << run.err;
    for (int wait = 0; wait < 1200 && run.status == 0; ++wait) {
        if (runShell(server + "lpstat -W completed -o vrel | grep -q vrel-1").status == 0)
            break;
        usleep(100000);
    }
    kill(cupsd, SIGTERM);
    waitpid(cupsd, nullptr, 0);
    const Escp2Dots dots = countEscp2Dots(readBytes(out));
    EXPECT_EQ(dots.problem, "") << readText(dir.file("log/error_log"));
    EXPECT_GT(dots.of(ink::kBlack), 0u);
    EXPECT_GT(dots.of(ink::kCyan), 0u);
    const std::string log = readText(dir.file("log/error_log"));
    // Both stages reported, and the job's one page was counted once.
    EXPECT_NE(log.find("[Job 1] Set job-printer-state-message to \"converting page 1\""),
              std::string::npos);
    EXPECT_NE(log.find("[Job 1] PAGE: 1 1"), std::string::npos);
    EXPECT_NE(readText(dir.file("log/page_log")).find(" 1 ["), std::string::npos);
    EXPECT_NE(readText(dir.file("log/page_log")).find(" total 1 "), std::string::npos);
}

} // namespace
} // namespace vrel::cups_test
