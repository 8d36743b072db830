#include "ppd_check.h"

#include "support/test_support.h"

#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace vrel::test {

namespace {

std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args) {
    const TempDir capture;
    const std::string out = capture.file("out").string(), err = capture.file("err").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    int raw = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0 || waitpid(pid, &raw, 0) != pid)
        return {-1, "", "cannot run " + program};
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readText(out), readText(err)};
}

void expectPpdPasses(const std::filesystem::path& ppd) {
    const TempDir root;
    const auto filters = root.path() / "usr/lib/cups/filter";
    std::filesystem::create_directories(filters);
    std::filesystem::create_symlink(VREL_RASTERTOVREL, filters / "rastertovrel");
    std::filesystem::create_symlink(VREL_BRIDGE, filters / "rastertovrel-gutenprint");
    // The filters a printer's own PPD names besides its raster filter.
    for (const char* name : {"commandtoepson", "commandtocanon"})
        if (std::filesystem::exists(std::filesystem::path(VREL_CUPS_FILTER_DIR) / name))
            std::filesystem::create_symlink(std::filesystem::path(VREL_CUPS_FILTER_DIR) / name,
                                            filters / name);
    const ProgramRun run = runProgram(VREL_CUPSTESTPPD, {"-R", root.str(), ppd.string()});
    EXPECT_EQ(run.status, 0) << ppd << ":\n" << run.out << run.err;
    EXPECT_NE(run.out.find(": PASS"), std::string::npos) << ppd << ":\n" << run.out << run.err;
}

} // namespace vrel::test
