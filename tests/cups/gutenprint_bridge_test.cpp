// rastertovrel-gutenprint on its own, with stand-ins for the printer
// driver's filter: a missing, failing or crashing second stage gives an
// ERROR: line and a failure exit; SIGTERM ends both stages.
#include "cups_test_helpers.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vrel::cups_test {
namespace {

// dir/serverbin/filter/printer-filter as a shell script, and the sample PPD
// naming it as the printer's filter.
fs::path stageFiles(const test::TempDir& dir, const std::string& script,
                    const std::string& filterName = "printer-filter") {
    const fs::path filters = dir.path() / "serverbin" / "filter";
    fs::create_directories(filters);
    if (!script.empty()) {
        std::ofstream(filters / "printer-filter") << "#!/bin/sh\n" << script << "\n";
        fs::permissions(filters / "printer-filter", fs::perms::owner_all);
    }
    const fs::path ppd = ppdNaming(dir, (kSampleDir / "sample.vdb").string());
    std::ofstream(ppd, std::ios::app) << "*vrelPrinterFilter: \"" << filterName << "\"\n";
    return ppd;
}

std::string bridgeCommand(const test::TempDir& dir, const fs::path& ppd) {
    return "env PPD=" + quote(ppd.string()) +
           " CUPS_SERVERBIN=" + quote((dir.path() / "serverbin").string()) + " " +
           quote(VREL_BRIDGE) + " 1 user title 1 ''";
}

struct StageCase {
    const char* name;
    std::string script; // the printer filter; empty: none
    int status;
    const char* message; // in the last line
    std::string filterName = "printer-filter";
};

TEST(GutenprintBridge, EachFaultGivesAnErrorLineAndItsExit) {
    const std::vector<StageCase> cases = {
        {"printer filter reads every page", "cat >\"$0.out\"; echo 'PAGE: 1 1' >&2", 0, "PAGE: 1"},
        {"printer filter missing", "", 1, "is not installed in"},
        {"printer filter named with a folder", "cat", 1, "by its file name", "../printer-filter"},
        {"printer filter fails", "cat >/dev/null; exit 3", 1, "failed (exit status 3)"},
        {"printer filter crashes", "kill -SEGV $$", 1, "ended on signal 11"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const test::TempDir dir;
        const fs::path ppd = stageFiles(dir, c.script, c.filterName);
        const auto raster = rawRaster({makePage(40, 30), makePage(40, 30)});
        test::writeBytesFile(dir.path(), "in.ras", raster);
        const auto run =
            runShell(bridgeCommand(dir, ppd) + " " + quote(dir.file("in.ras").string()));
        EXPECT_EQ(run.status, c.status) << run.err;
        const std::string last = run.err.substr(run.err.rfind('\n', run.err.size() - 2) + 1);
        EXPECT_NE(last.find(c.message), std::string::npos) << run.err;
        // The vrel stage leaves the page count to the printer's filter.
        EXPECT_EQ(run.err.find("PAGE: 2"), std::string::npos) << run.err;
        if (c.status == 0) {
            EXPECT_EQ(readRaster(dir.path() / "serverbin/filter/printer-filter.out").size(), 2u);
        }
    }
}

// A job waiting for raster is cancelled: the printer filter, which would
// otherwise wait on, gets SIGTERM too, and the bridge exits with status 0.
TEST(GutenprintBridge, SigtermReachesBothStages) {
    const test::TempDir dir;
    const fs::path ppd = stageFiles(dir, "trap 'echo >\"$0.term\"; exit 0' TERM\n"
                                         "echo $$ >\"$0.pid\"\nwhile sleep 0.05; do :; done");
    int input[2];
    ASSERT_EQ(pipe(input), 0);
    const pid_t bridge = fork();
    if (bridge == 0) {
        dup2(input[0], 0);
        close(input[1]);
        execl("/bin/sh", "sh", "-c", ("exec " + bridgeCommand(dir, ppd)).c_str(), nullptr);
        _exit(127);
    }
    close(input[0]);
    const fs::path stage = dir.path() / "serverbin/filter/printer-filter";
    const fs::path pidFile = stage.string() + ".pid";
    // Bounds on the waits, not timings: a hung stage fails the test.
    for (int wait = 0; wait < 6000 && (!fs::exists(pidFile) || fs::file_size(pidFile) == 0); ++wait)
        usleep(10000);
    kill(bridge, SIGTERM);
    int raw = 0;
    for (int wait = 0; wait < 6000 && waitpid(bridge, &raw, WNOHANG) == 0; ++wait)
        usleep(10000);
    close(input[1]);
    if (!fs::exists(stage.string() + ".term")) {
        kill(std::stoi(readText(pidFile)), SIGKILL);
        waitpid(bridge, &raw, 0);
        FAIL() << "the printer filter was not stopped";
    }
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << raw;
}

} // namespace
} // namespace vrel::cups_test
