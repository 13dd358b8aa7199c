#include "tools/outfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

outfile_result replace_output_file(const char* path, const void* data, size_t size,
                                   size_t* written)
{
    *written = 0;
    std::string tmp = std::string(path) + ".XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0)
        return OUTFILE_CREATE_FAILED;
    // mkstemp makes the file 0600; give it the mode a plain create would.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);

    const char* p = static_cast<const char*>(data);
    while (*written < size) {
        ssize_t n = write(fd, p + *written, size - *written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        *written += static_cast<size_t>(n);
    }
    bool ok = *written == size && fsync(fd) == 0;
    if (close(fd) != 0)
        ok = false;
    if (!ok) {
        unlink(tmp.c_str());
        return OUTFILE_WRITE_FAILED;
    }
    if (rename(tmp.c_str(), path) != 0) {
        unlink(tmp.c_str());
        return OUTFILE_CREATE_FAILED;
    }
    return OUTFILE_OK;
}
