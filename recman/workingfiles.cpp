// Working files: made and locked by their owner, removed by the next process to open their
// folder once the owner is gone, after the commits they were part of have been rolled back.
#include "recman/workingfiles.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <vector>

#include "recman/filemode.h"

namespace recman {
namespace {

constexpr size_t kUniqueLength = 6;  // the "XXXXXX" of the pattern
constexpr const char* kSuperJournalMark = "-mj";
constexpr const char* kJournalSuffix = "-journal";
// SQLite ends a rollback journal that belongs to a commit across several files with the
// super-journal's name, its length (4 bytes, big-endian), a checksum (4) and these 8 bytes.
constexpr unsigned char kJournalMagic[8] = {0xd9, 0xd5, 0x05, 0xf9, 0x20, 0xa1, 0x63, 0xd7};
constexpr size_t kJournalTail = 16;
constexpr size_t kMaxPathBytes = 4096;
constexpr off_t kMaxSuperJournalBytes = 1 << 20;

// Locks the first byte of the open file fd, or (wait false) tries to. The lock belongs to
// this open file, so closing other descriptors of it, as SQLite does, never drops it.
bool LockFirstByte(int fd, bool wait) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 1;
    return ::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) == 0;
}

// True while path still names the file open as fd.
bool StillNames(int fd, const std::string& path) {
    struct stat opened, named;
    return ::fstat(fd, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

bool SameFile(const std::string& a, const std::string& b) {
    if (a == b) return true;
    struct stat x, y;
    return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
}

bool ReadAt(int fd, void* buffer, size_t length, off_t offset) {
    return ::pread(fd, buffer, length, offset) == ssize_t(length);
}

uint32_t BigEndian32(const unsigned char* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// The working file's own name at the start of `name` ("" when there is none): the prefix
// followed by the six letters or digits that mkstemp fills in.
std::string WorkingFileName(const std::string& name, const std::string& prefix) {
    if (name.size() < prefix.size() + kUniqueLength || name.compare(0, prefix.size(), prefix) != 0)
        return std::string();
    for (size_t i = prefix.size(); i < prefix.size() + kUniqueLength; ++i) {
        const char c = name[i];
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
            return std::string();
    }
    return name.substr(0, prefix.size() + kUniqueLength);
}

// True when the rollback journal can still be played back and names `superJournal`: SQLite
// rolls it back only while that super-journal exists, and takes the commit for finished when
// it is gone. A journal whose first byte is zero is never played back. A journal that cannot
// be read counts as needing it.
bool JournalNeedsSuperJournal(const std::string& journal, const std::string& superJournal) {
    const int fd = ::open(journal.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno != ENOENT;
    bool needs = false;
    struct stat st;
    unsigned char first = 0;
    unsigned char tail[kJournalTail];
    if (::fstat(fd, &st) == 0 && ReadAt(fd, &first, 1, 0) && first != 0 &&
        st.st_size > off_t(kJournalTail) &&
        ReadAt(fd, tail, kJournalTail, st.st_size - kJournalTail) &&
        std::memcmp(tail + 8, kJournalMagic, sizeof kJournalMagic) == 0) {
        const uint32_t length = BigEndian32(tail);
        if (length > 0 && length < kMaxPathBytes &&
            off_t(length) <= st.st_size - off_t(kJournalTail)) {
            std::string name(length, '\0');
            if (ReadAt(fd, name.data(), length, st.st_size - kJournalTail - length))
                needs = SameFile(name, superJournal);
        }
    }
    ::close(fd);
    return needs;
}

// Opens the table file whose rollback journal this is: SQLite plays a hot journal back on the
// first read, and removes the super-journal it names once no other journal needs it.
void RollBackIfHot(const std::string& journal, int busyTimeoutMs) {
    const size_t suffix = std::strlen(kJournalSuffix);
    if (journal.size() <= suffix ||
        journal.compare(journal.size() - suffix, suffix, kJournalSuffix) != 0)
        return;
    const std::string file = journal.substr(0, journal.size() - suffix);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, busyTimeoutMs);
        sqlite3_exec(db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
    }
    sqlite3_close(db);
}

// The journals a super-journal names (full paths, each ended by a zero byte); false when it
// cannot be read.
bool ReadSuperJournal(const std::string& path, std::vector<std::string>* journals) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    struct stat st;
    std::string text;
    bool read = ::fstat(fd, &st) == 0 && st.st_size <= kMaxSuperJournalBytes;
    if (read) {
        text.resize(size_t(st.st_size));
        read = ReadAt(fd, text.data(), text.size(), 0);
    }
    ::close(fd);
    if (!read) return false;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\0', start), text.size());
        if (end > start) journals->push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return true;
}

// Rolls back what the super-journal's commit left half done in each of its files, then
// removes the super-journal unless a journal still needs it (a file held by another process
// past the busy timeout): that one waits for a later pass.
void TidySuperJournal(const std::string& path, int busyTimeoutMs) {
    std::vector<std::string> journals;
    if (!ReadSuperJournal(path, &journals)) return;
    for (const std::string& journal : journals)
        if (Exists(journal)) RollBackIfHot(journal, busyTimeoutMs);
    if (!Exists(path)) return;  // the last rollback removed it
    for (const std::string& journal : journals)
        if (JournalNeedsSuperJournal(journal, path)) return;
    ::unlink(path.c_str());
}

}  // namespace

bool WorkingFile::Make(const std::string& pattern) {
    Close();
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        const int fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0) return false;
        // mkostemp makes the file 0600; another account of the clinic's group that finds it
        // left behind must open it to tell whether its owner lives and to tidy after it.
        ::fchmod(fd, NewFileMode());
        // Waits while another process that found the new file not yet locked looks at it.
        // That process may have removed it meanwhile; then another is made.
        const bool locked = LockFirstByte(fd, true);
        const int lockError = errno;
        const bool named = StillNames(fd, name.data());
        if (locked && named) {
            m_fd = fd;
            m_path = name.data();
            return true;
        }
        if (named) ::unlink(name.data());
        ::close(fd);
        if (!locked && lockError != EINTR) return false;
    }
    return false;
}

void WorkingFile::Remove() {
    if (m_fd < 0) return;
    ::unlink(m_path.c_str());
    ::unlink((m_path + kJournalSuffix).c_str());
    Close();
}

void WorkingFile::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_path.clear();
}

void RemoveAbandonedWorkingFiles(const std::string& folder, const std::string& prefix,
                                 int busyTimeoutMs) {
    // What each working file left behind: the file itself and its super-journals.
    struct Leftovers {
        bool workingFile = false;
        std::vector<std::string> superJournals;
    };
    std::map<std::string, Leftovers> byWorkingFile;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::string owner = WorkingFileName(name, prefix);
        if (owner.empty() || !std::filesystem::is_regular_file(it->symlink_status())) continue;
        const std::string rest = name.substr(owner.size());
        if (rest.empty())
            byWorkingFile[owner].workingFile = true;
        else if (rest.compare(0, std::strlen(kSuperJournalMark), kSuperJournalMark) == 0)
            byWorkingFile[owner].superJournals.push_back(name);
    }
    for (const auto& [owner, leftovers] : byWorkingFile) {
        const std::string path = folder + "/" + owner;
        int fd = -1;
        if (leftovers.workingFile) {
            // The lock taken here also keeps a second tidying process away while this one works.
            fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
            if (fd < 0 && errno != ENOENT) continue;  // cannot tell whether its owner lives
            if (fd >= 0 && !(LockFirstByte(fd, false) && StillNames(fd, path))) {
                ::close(fd);  // a live process's
                continue;
            }
        }
        for (const std::string& superJournal : leftovers.superJournals)
            TidySuperJournal(folder + "/" + superJournal, busyTimeoutMs);
        if (fd >= 0) {
            ::unlink((path + kJournalSuffix).c_str());
            ::unlink(path.c_str());
            ::close(fd);
        }
    }
}

}  // namespace recman
