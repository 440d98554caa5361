#include "posdll/program_start.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace posdll {

void openMissingStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // open() takes the lowest free descriptor, which is fd itself.
        const int got = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (got != fd)
            std::abort(); // without /dev/null nothing below can keep its streams apart
    }
}

void reportOutOfMemory(const char *program) {
    for (const char *part : {program, ": out of memory\n"})
        if (::write(STDERR_FILENO, part, std::strlen(part)) < 0)
            return;
}

} // namespace posdll
