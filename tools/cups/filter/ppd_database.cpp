#include "ppd_database.h"

#include "input_file.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fmt/format.h>
#include <unistd.h>
#include <vrel/vrel.h>

namespace vrel::cups {

namespace {

// PPD lines are at most 255 bytes; longer ones are read this far and the
// rest is skipped, so that no file holds the reader's memory.
constexpr std::size_t kMaxLine = 4096;

// Reads the next line (without its end) into line, at most kMaxLine bytes
// of it; *whole tells whether it was not cut. False at the end of the file.
bool readLine(std::FILE* file, std::string* line, bool* whole) {
    char buffer[kMaxLine + 1];
    if (std::fgets(buffer, sizeof buffer, file) == nullptr)
        return false;
    std::size_t length = std::strlen(buffer);
    *whole = length < kMaxLine || buffer[length - 1] == '\n';
    if (length > 0 && buffer[length - 1] == '\n')
        --length;
    line->assign(buffer, length);
    if (!*whole)
        for (int c = 0; c != EOF && c != '\n';)
            c = std::fgetc(file);
    return true;
}

std::string databaseFromLine(const std::string& ppdPath, const std::string& line,
                             DatabaseLocation* location) {
    std::filesystem::path path = quotedValue(line);
    if (path.empty())
        return "the PPD's *vrelDatabase line has no quoted path";
    if (path.is_relative())
        path = std::filesystem::path(ppdPath).parent_path() / path;
    *location = vrel::tools::locateDatabase(path);
    if (!vrel::tools::databaseNameFits(location->name))
        return fmt::format("the database file name '{}' is not 1 to {} bytes long", location->name,
                           VREL_DATABASE_NAME_SIZE);
    return {};
}

} // namespace

std::string quotedValue(const std::string& line) {
    const auto open = line.find('"');
    const auto close = line.rfind('"');
    if (open == std::string::npos || close <= open + 1)
        return {};
    return line.substr(open + 1, close - open - 1);
}

std::string findDatabase(const std::string& ppdPath, DatabaseLocation* location) {
    std::string line;
    if (std::string problem = findPpdLine(ppdPath, "*vrelDatabase:", &line); !problem.empty())
        return problem;
    return databaseFromLine(ppdPath, line, location);
}

std::string findPpdLine(const std::string& ppdPath, const std::string& keyword,
                        std::string* found) {
    std::string problem;
    const int fd = openInputFile(ppdPath, false, &problem);
    if (fd < 0)
        return "the PPD " + problem;
    std::FILE* ppd = fdopen(fd, "r");
    if (ppd == nullptr) {
        ::close(fd);
        return "cannot read the PPD '" + ppdPath + "'";
    }
    std::string line;
    bool whole = true;
    const std::string name = keyword.substr(0, keyword.find(':'));
    problem = "the PPD '" + ppdPath + "' has no " + name + " line";
    while (readLine(ppd, &line, &whole)) {
        if (line.compare(0, keyword.size(), keyword) != 0)
            continue;
        problem = whole ? ""
                        : fmt::format("the PPD's {} line is longer than {} bytes", name, kMaxLine);
        *found = line;
        break;
    }
    std::fclose(ppd);
    return problem;
}

} // namespace vrel::cups
