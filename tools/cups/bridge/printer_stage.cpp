#include "printer_stage.h"

#include "common/write_text.h"
#include "cups/filter/ppd_database.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vrel::cups {

namespace {

// The filter folder CUPS runs filters from.
std::string filterFolder() {
    const char* serverBin = std::getenv("CUPS_SERVERBIN");
    if (serverBin != nullptr && serverBin[0] != '\0')
        return std::string(serverBin) + "/filter";
    return "/usr/lib/cups/filter";
}

// The child, between fork and exec: signals as a new process has them, the
// pipe as standard input.
[[noreturn]] void runChild(const std::string& program, char** argv, int readEnd) {
    std::signal(SIGPIPE, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (dup2(readEnd, 0) < 0)
        _exit(1);
    char* args[] = {argv[0], argv[1], argv[2], argv[3], argv[4], argv[5], nullptr};
    execve(program.c_str(), args, environ);
    const char* why = std::strerror(errno);
    tools::writeText(stderr, "ERROR: cannot run the printer driver's filter {}: {}\n", program,
                     why);
    std::fflush(stderr);
    _exit(1);
}

} // namespace

std::string findPrinterFilter(const std::string& ppdPath, std::string* program) {
    std::string line;
    if (std::string problem = findPpdLine(ppdPath, "*vrelPrinterFilter:", &line); !problem.empty())
        return problem + " (write the PPD with vrel ppd --printer-ppd)";
    const std::string name = quotedValue(line);
    if (name.empty() || name.find('/') != std::string::npos)
        return "the PPD's *vrelPrinterFilter line does not name a filter by its file name";
    const std::string folder = filterFolder();
    *program = folder + "/" + name;
    if (access(program->c_str(), X_OK) != 0)
        return "the printer driver's filter " + name + " is not installed in " + folder +
               " (for Gutenprint's printers: install printer-driver-gutenprint)";
    return {};
}

std::string startPrinterStage(const std::string& program, char** argv, PrinterStage* stage) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return std::string("cannot make a pipe: ") + std::strerror(errno);
    const pid_t pid = fork();
    if (pid < 0) {
        close(ends[0]);
        close(ends[1]);
        return std::string("cannot start the printer driver's filter: ") + std::strerror(errno);
    }
    if (pid == 0)
        runChild(program, argv, ends[0]);
    close(ends[0]);
    stage->pid = pid;
    stage->input = ends[1];
    return {};
}

int finishPrinterStage(const PrinterStage& stage, const std::string& program, bool stopped,
                       std::FILE* log) {
    int raw = 0;
    while (waitpid(stage.pid, &raw, 0) < 0)
        if (errno != EINTR)
            return 1;
    const std::string name = std::filesystem::path(program).filename().string();
    if (WIFEXITED(raw) && WEXITSTATUS(raw) == 0)
        return 0;
    if (stopped) // how a cancelled filter ends is no fault of the job
        return 0;
    if (WIFEXITED(raw))
        tools::writeText(log, "ERROR: the printer driver's filter {} failed (exit status {})\n",
                         name, WEXITSTATUS(raw));
    else
        tools::writeText(log, "ERROR: the printer driver's filter {} ended on signal {} ({})\n",
                         name, WTERMSIG(raw), strsignal(WTERMSIG(raw)));
    return 1;
}

} // namespace vrel::cups
