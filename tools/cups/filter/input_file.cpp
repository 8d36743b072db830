#include "input_file.h"

#include "common/regular_file.h"

#include <cerrno>
#include <cstring>

namespace vrel::cups {

int openInputFile(const std::string& path, bool fifoAllowed, std::string* problem) {
    const tools::OpenedFile file = tools::openForReading(path, fifoAllowed);
    if (file.fd >= 0)
        return file.fd;
    const std::string quoted = "'" + path + "'";
    if (file.error == 0)
        *problem = quoted + " is " + tools::fileKind(file.mode) + ", not a regular file";
    else if (file.error == ENOENT)
        *problem = quoted + " does not exist";
    else if (file.error != EINTR)
        *problem = quoted + " cannot be read (" + std::strerror(file.error) + ")";
    errno = file.error;
    return -1;
}

} // namespace vrel::cups
