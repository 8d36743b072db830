#include "cups_harness.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vrel::cupstest {

std::string quote(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

ShellRun runShell(const std::string& command) {
    const test::TempDir scratch;
    const auto errFile = scratch.file("stderr.txt");
    const int raw = std::system((command + " 2>" + quote(errFile.string())).c_str());
    ShellRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream in(errFile);
    run.err.assign(std::istreambuf_iterator<char>(in), {});
    return run;
}

FilterChain::FilterChain(const std::filesystem::path& filter) {
    namespace fs = std::filesystem;
    const fs::path filters = dir_.path() / "serverbin" / "filter";
    fs::create_directories(filters);
    for (const auto& entry : fs::directory_iterator(VREL_CUPS_FILTER_DIR)) {
        const std::string name = entry.path().filename().string();
        if (name != "gstoraster" && name != "mupdftoraster" && name != "rastertovrel")
            fs::create_symlink(entry.path(), filters / name);
    }
    // The copy goes to a fixed path: filters get only the environment that
    // cupsfilter gives them.
    const fs::path wrapper = filters / "rastertovrel";
    std::ofstream(wrapper) << "#!/bin/sh\ntee " << quote(captured().string()) << " | "
                           << quote(filter.string()) << " \"$@\"\n";
    fs::permissions(wrapper, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
    std::ofstream(dir_.file("cups-files.conf"))
        << "ServerBin " << (dir_.path() / "serverbin").string()
        << "\nDataDir /usr/share/cups\nServerRoot /etc/cups\n";
}

ShellRun FilterChain::print(const std::filesystem::path& ppd, const std::filesystem::path& input,
                            const std::vector<std::string>& options,
                            const std::filesystem::path& output) const {
    std::string command = quote(VREL_CUPSFILTER) + " -e -c " +
                          quote(dir_.file("cups-files.conf").string()) + " -p " +
                          quote(ppd.string()) + " -m printer/foo";
    for (const auto& o : options)
        command += " -o " + quote(o);
    command += " " + quote(input.string()) + " >" + quote(output.string());
    return runShell(command);
}

std::vector<RasterPage> readRaster(const std::filesystem::path& path) {
    std::vector<RasterPage> pages;
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        ADD_FAILURE() << "cannot open " << path;
        return pages;
    }
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
    RasterPage page;
    while (cupsRasterReadHeader2(raster, &page.header)) {
        const cups_page_header2_t& h = page.header;
        std::size_t lines = h.cupsHeight;
        if (h.cupsColorOrder == CUPS_ORDER_PLANAR)
            lines *= h.cupsNumColors;
        page.data.assign(lines * h.cupsBytesPerLine, 0);
        for (std::size_t y = 0; y < lines; ++y)
            if (cupsRasterReadPixels(raster, page.data.data() + y * h.cupsBytesPerLine,
                                     h.cupsBytesPerLine) != h.cupsBytesPerLine) {
                ADD_FAILURE() << path << ": page " << pages.size() + 1 << " is short";
                break;
            }
        pages.push_back(page);
    }
    cupsRasterClose(raster);
    close(fd);
    return pages;
}

std::vector<unsigned char> rawRaster(const std::vector<RasterPage>& pages) {
    static_assert(sizeof(cups_page_header2_t) == 1796);
    std::vector<unsigned char> bytes;
    const uint32_t sync = 0x52615333; // "RaS3", uncompressed, in the host's order
    bytes.insert(bytes.end(), reinterpret_cast<const unsigned char*>(&sync),
                 reinterpret_cast<const unsigned char*>(&sync) + 4);
    for (const auto& page : pages) {
        const auto* h = reinterpret_cast<const unsigned char*>(&page.header);
        bytes.insert(bytes.end(), h, h + sizeof page.header);
        bytes.insert(bytes.end(), page.data.begin(), page.data.end());
    }
    return bytes;
}

} // namespace vrel::cupstest
