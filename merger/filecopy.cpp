#include "merger/filecopy.h"

#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace unita {

// Copies the whole of `in` to `out`: in the kernel where the file system can (no trip
// through this process's memory), else block by block. False with errno set on failure.
bool CopyFileContents(int in, int out) {
    for (bool first = true;; first = false) {
        const ssize_t moved = ::copy_file_range(in, nullptr, out, nullptr, size_t{1} << 30, 0);
        if (moved == 0) return true;
        if (moved > 0) continue;
        if (errno == EINTR) continue;
        // Not offered between these two files: read and write instead.
        if (first && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP ||
                      errno == EINVAL || errno == EBADF))
            break;
        return false;
    }
    char block[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(in, block, sizeof block);
        if (got == 0) return true;
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(out, block + done, size_t(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) {
                if (put == 0) errno = EIO;
                return false;
            }
            done += put;
        }
    }
}

}  // namespace unita
