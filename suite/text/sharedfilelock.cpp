// CSharedFileLock: an F_OFD_SETLK write lock on the folder's lock file, asked for again
// every few milliseconds until it is granted or the wait runs out (the blocking form would
// wait for ever on a program that hangs while it holds the lock).
#include "suite/text/sharedfilelock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

constexpr auto kRetryPause = std::chrono::milliseconds(5);

std::string LockPathFor(const std::string& filePath) {
    const size_t slash = filePath.find_last_of('/');
    if (slash == std::string::npos) return CSharedFileLock::kLockFileName;
    return filePath.substr(0, slash + 1) + CSharedFileLock::kLockFileName;
}

// 0 when the lock was granted, EAGAIN while another holder has it, else the error.
int TryLock(int fd) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;  // the whole file
    if (fcntl(fd, F_OFD_SETLK, &lock) == 0) return 0;
    return errno == EACCES ? EAGAIN : errno;
}

}  // namespace

CSharedFileLock::CSharedFileLock(const std::string& filePath, int waitMs) {
    const std::string lockPath = LockPathFor(filePath);
    const int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        m_error = "cannot open the lock file " + lockPath + ": " + std::strerror(errno);
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    int result = TryLock(fd);
    while (result == EAGAIN || result == EINTR) {
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(kRetryPause);
        result = TryLock(fd);
    }
    if (result == 0) {
        m_fd = fd;
        return;
    }
    close(fd);
    if (result == EAGAIN || result == EINTR) {
        m_error = "cannot lock " + lockPath + ": another program kept it longer than " +
                  std::to_string(waitMs) + " ms";
    } else {
        m_error = "cannot lock " + lockPath + ": " + std::strerror(result);
    }
}

CSharedFileLock::~CSharedFileLock() {
    // Closing the only descriptor of the open file description releases its lock.
    if (m_fd >= 0) close(m_fd);
}
