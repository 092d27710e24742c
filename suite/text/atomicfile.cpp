// Atomic replacement of a file: mkstemp beside the target, write, fsync, rename, then
// fsync of the folder so the rename itself survives a power loss.
#include "suite/text/atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <system_error>
#include <vector>

#include "recman/filemode.h"

namespace {

std::mutex g_hookMutex;
std::function<bool(EAtomicWriteStep, const std::string&)> g_hook;

bool StepAllowed(EAtomicWriteStep step, const std::string& path) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    return !g_hook || g_hook(step, path);
}

bool Fail(std::string* error, const std::string& what, const std::string& path, int err) {
    if (error) *error = what + " " + path + ": " + (err ? std::strerror(err) : "simulated failure");
    return false;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool WriteAll(int fd, std::string_view bytes) {
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

void SetAtomicWriteHookForTesting(std::function<bool(EAtomicWriteStep, const std::string&)> hook) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_hook = std::move(hook);
}

bool WriteFileAtomically(const std::string& target, std::string_view bytes, std::string* error) {
    if (target.empty()) return Fail(error, "cannot write", "(empty path)", EINVAL);
    // A symbolic link stays a link: the file it points to is the one replaced.
    std::string path = target;
    std::error_code ec;
    if (std::filesystem::is_symlink(target, ec)) {
        std::filesystem::path resolved = std::filesystem::weakly_canonical(target, ec);
        if (!ec) path = resolved.string();
    }
    // The umask of a program of the suite closes the clinic's files to others; a file that
    // was open to them before is closed as it is rewritten. It keeps its group, so that a
    // clinic member's save leaves it readable to the rest of the clinic.
    struct stat st {};
    const bool exists = stat(path.c_str(), &st) == 0;
    const mode_t mode = (exists ? (st.st_mode & 07777) : 0666) & ~recman::CurrentUmask();

    std::string pattern = path + ".tmpXXXXXX";
    std::vector<char> temp(pattern.begin(), pattern.end());
    temp.push_back('\0');
    if (!StepAllowed(EAtomicWriteStep::CreateTemp, path))
        return Fail(error, "cannot create a temporary file for", path, 0);
    int fd = mkstemp(temp.data());
    if (fd < 0) return Fail(error, "cannot create a temporary file for", path, errno);
    const std::string tempPath(temp.data());

    auto abandon = [&](const char* what, int err) {
        close(fd);
        unlink(tempPath.c_str());
        return Fail(error, what, path, err);
    };
    // Only root or a member may give the file the old group; otherwise it keeps the folder's.
    if (exists && fchown(fd, uid_t(-1), st.st_gid) != 0 && errno != EPERM)
        return abandon("cannot set the group of", errno);
    if (fchmod(fd, mode) != 0) return abandon("cannot set the mode of", errno);
    if (!StepAllowed(EAtomicWriteStep::Write, path)) return abandon("cannot write", 0);
    if (!WriteAll(fd, bytes)) return abandon("cannot write", errno);
    if (!StepAllowed(EAtomicWriteStep::Sync, path)) return abandon("cannot flush", 0);
    if (fsync(fd) != 0) return abandon("cannot flush", errno);
    if (close(fd) != 0) {
        int err = errno;
        unlink(tempPath.c_str());
        return Fail(error, "cannot close", path, err);
    }
    if (!StepAllowed(EAtomicWriteStep::Rename, path)) {
        unlink(tempPath.c_str());
        return Fail(error, "cannot replace", path, 0);
    }
    if (rename(tempPath.c_str(), path.c_str()) != 0) {
        int err = errno;
        unlink(tempPath.c_str());
        return Fail(error, "cannot replace", path, err);
    }
    // The rename is durable only once the folder entry is on disk; a failure here cannot
    // undo the replacement, and the content is already complete, so it is not reported.
    int dir = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
}
