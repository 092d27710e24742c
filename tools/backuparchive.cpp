// The backup archive and its manifest: see backuparchive.h.
#include "backuparchive.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <sstream>

#include "backupstrings.h"
#include "recman/recman.h"
#include "suite/text/sharedfilelock.h"

namespace velodb {
namespace {

constexpr size_t kChunk = 1 << 16;

std::function<bool(uint64_t)>& WriteHook() {
    static std::function<bool(uint64_t)> hook;
    return hook;
}

bool StartsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::vector<std::string> Parts(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t slash = path.find('/', start);
        parts.push_back(path.substr(start, slash - start));
        if (slash == std::string::npos) return parts;
        start = slash + 1;
    }
}

// Names a live database folder keeps for itself: the record manager's working files, their
// super-journals and the tables' rollback journals, the shared files' lock, the connection
// file (it may hold a password), and what a backup or restore makes for itself.
bool IsFolderOwnName(const std::string& name) {
    return StartsWith(name, ".recman-") || EndsWith(name, "-journal") ||
           name == CSharedFileLock::kLockFileName || name == recman::kServerConnInfoFile ||
           StartsWith(name, ".velo-backup-") || StartsWith(name, ".velo-restore");
}

}  // namespace

std::string FormatManifest(const SManifest& manifest) {
    std::ostringstream out;
    out << kManifestMagic << "\n";
    out << "created " << manifest.m_created << "\n";
    out << "engine " << manifest.m_engine << "\n";
    out << "source " << manifest.m_source << "\n";
    out << "note " << BackupText(kIdsManifestNote) << "\n";
    for (const SManifestEntry& entry : manifest.m_entries) {
        if (entry.m_folder)
            out << "folder " << entry.m_path << "\n";
        else
            out << "file " << entry.m_sha256 << " " << entry.m_size << " " << entry.m_path << "\n";
    }
    return out.str();
}

bool ParseManifest(const std::string& text, SManifest* manifest) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kManifestMagic) return false;
    *manifest = SManifest();
    while (std::getline(in, line)) {
        const size_t space = line.find(' ');
        const std::string word = line.substr(0, space);
        const std::string rest =
            space == std::string::npos ? std::string() : line.substr(space + 1);
        if (word == "created") {
            manifest->m_created = rest;
        } else if (word == "engine") {
            manifest->m_engine = rest;
        } else if (word == "source") {
            manifest->m_source = rest;
        } else if (word == "folder") {
            if (rest.empty()) return false;
            manifest->m_entries.push_back({rest, true, 0, {}});
        } else if (word == "file") {
            const size_t a = rest.find(' ');
            const size_t b = a == std::string::npos ? a : rest.find(' ', a + 1);
            if (b == std::string::npos || a != 64 || b + 1 >= rest.size()) return false;
            SManifestEntry entry{rest.substr(b + 1), false, 0, rest.substr(0, a)};
            const std::string size = rest.substr(a + 1, b - a - 1);
            if (size.empty() || size.find_first_not_of("0123456789") != std::string::npos)
                return false;
            entry.m_size = std::stoull(size);
            manifest->m_entries.push_back(entry);
        } else if (word != "note" && !line.empty()) {
            return false;
        }
    }
    return true;
}

bool IsRestorableEntryPath(const std::string& path) {
    if (path.empty() || path.front() == '/' || path.find('\n') != std::string::npos) return false;
    for (const std::string& part : Parts(path)) {
        if (part.empty() || part == "." || part == ".." || IsFolderOwnName(part)) return false;
    }
    return path != kManifestName;
}

bool IsLeftOutOfBackup(const std::string& relativePath) {
    return !IsRestorableEntryPath(relativePath);
}

CArchiveWriter::CArchiveWriter() = default;

CArchiveWriter::~CArchiveWriter() {
    if (m_archive != nullptr) archive_write_free(m_archive);
    if (m_fd >= 0) ::close(m_fd);
    if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
}

void CArchiveWriter::SetWriteHookForTesting(std::function<bool(uint64_t)> hook) {
    WriteHook() = std::move(hook);
}

ssize_t CArchiveWriter::WriteCallback(struct archive*, void* self, const void* buffer,
                                      size_t length) {
    auto* writer = static_cast<CArchiveWriter*>(self);
    if (WriteHook() && !WriteHook()(writer->m_written)) {
        writer->m_writeErrno = ENOSPC;
        return -1;
    }
    const char* bytes = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(writer->m_fd, bytes + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            writer->m_writeErrno = n < 0 ? errno : ENOSPC;
            return -1;
        }
        done += size_t(n);
    }
    writer->m_written += done;
    return ssize_t(done);
}

bool CArchiveWriter::Failed(const std::string& what, std::string* error) {
    std::string why = m_writeErrno != 0 ? std::strerror(m_writeErrno)
                      : m_archive != nullptr && archive_error_string(m_archive) != nullptr
                          ? archive_error_string(m_archive)
                          : what;
    if (m_writeErrno == 0 && !what.empty() && why != what) why = what + ": " + why;
    *error = BackupText(kIdsBackupWriteFailed, {m_path, why});
    return false;
}

bool CArchiveWriter::Open(const std::string& path, std::string* error) {
    m_path = path;
    const std::filesystem::path target(path);
    std::string pattern =
        (target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path()) /
        (".velo-backup-" + target.filename().string() + "-XXXXXX");
    m_fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (m_fd < 0) {
        m_writeErrno = errno;
        return Failed("", error);
    }
    m_temporary = pattern;
    m_archive = archive_write_new();
    if (m_archive == nullptr || archive_write_add_filter_xz(m_archive) != ARCHIVE_OK ||
        // A nightly archive of a large clinic compresses on every core the machine has.
        archive_write_set_filter_option(m_archive, "xz", "threads", "0") < ARCHIVE_WARN ||
        archive_write_set_format_gnutar(m_archive) != ARCHIVE_OK ||
        archive_write_set_bytes_in_last_block(m_archive, 1) != ARCHIVE_OK ||
        archive_write_open(m_archive, this, nullptr, &CArchiveWriter::WriteCallback, nullptr) !=
            ARCHIVE_OK)
        return Failed("libarchive", error);
    return true;
}

bool CArchiveWriter::WriteHeader(const std::string& entryPath, bool folder, uint64_t size,
                                 std::string* error) {
    archive_entry* entry = archive_entry_new();
    // The GNU format keeps a name's bytes as they are, whatever the process's locale.
    archive_entry_set_pathname(entry, entryPath.c_str());
    archive_entry_set_filetype(entry, folder ? AE_IFDIR : AE_IFREG);
    archive_entry_set_perm(entry, folder ? 0700 : 0600);
    archive_entry_set_size(entry, folder ? 0 : la_int64_t(size));
    archive_entry_set_mtime(entry, std::time(nullptr), 0);
    const int rc = archive_write_header(m_archive, entry);
    archive_entry_free(entry);
    if (rc < ARCHIVE_WARN) return Failed(entryPath, error);
    return true;
}

bool CArchiveWriter::AddFolder(const std::string& entryPath, std::string* error) {
    if (!WriteHeader(entryPath, true, 0, error)) return false;
    m_entries.push_back({entryPath, true, 0, {}});
    return true;
}

bool CArchiveWriter::AddFile(const std::string& entryPath, const std::string& diskPath,
                             std::string* error) {
    const int fd = ::open(diskPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        *error = BackupText(kIdsBackupFileUnreadable, {diskPath, std::strerror(errno)});
        if (fd >= 0) ::close(fd);
        return false;
    }
    const uint64_t size = uint64_t(st.st_size);
    if (!WriteHeader(entryPath, false, size, error)) {
        ::close(fd);
        return false;
    }
    CSha256 sha;
    std::vector<char> chunk(kChunk);
    uint64_t done = 0;
    bool ok = true;
    while (ok && done < size) {
        const ssize_t n =
            ::read(fd, chunk.data(), size_t(std::min<uint64_t>(chunk.size(), size - done)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // Shorter than when it was measured: cut by another program while it was read.
            *error =
                BackupText(kIdsBackupFileUnreadable,
                           {diskPath, n < 0 ? std::strerror(errno) : BackupText(kIdsSizeChanged)});
            ok = false;
            break;
        }
        sha.Add(chunk.data(), size_t(n));
        if (archive_write_data(m_archive, chunk.data(), size_t(n)) != n)
            ok = Failed(entryPath, error);
        done += uint64_t(n);
    }
    ::close(fd);
    if (!ok) return false;
    m_entries.push_back({entryPath, false, size, sha.Hex()});
    return true;
}

bool CArchiveWriter::AddUnlisted(const std::string& entryPath, const std::string& bytes,
                                 std::string* error) {
    if (!WriteHeader(entryPath, false, bytes.size(), error)) return false;
    if (archive_write_data(m_archive, bytes.data(), bytes.size()) != la_ssize_t(bytes.size()))
        return Failed(entryPath, error);
    return true;
}

bool CArchiveWriter::Commit(std::string* error) {
    if (archive_write_close(m_archive) != ARCHIVE_OK) return Failed("", error);
    if (::fsync(m_fd) != 0) {
        m_writeErrno = errno;
        return Failed("", error);
    }
    if (::close(m_fd) != 0) {
        m_fd = -1;
        m_writeErrno = errno;
        return Failed("", error);
    }
    m_fd = -1;
    if (::rename(m_temporary.c_str(), m_path.c_str()) != 0) {
        m_writeErrno = errno;
        return Failed("", error);
    }
    m_temporary.clear();
    // The rename itself reaches the disk with the folder.
    const std::filesystem::path parent = std::filesystem::path(m_path).parent_path();
    const int folder =
        ::open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

CArchiveReader::~CArchiveReader() {
    if (m_archive != nullptr) archive_read_free(m_archive);
}

bool CArchiveReader::Open(const std::string& path, std::string* error) {
    m_archive = archive_read_new();
    archive_read_support_filter_all(m_archive);
    archive_read_support_format_all(m_archive);
    if (archive_read_open_filename(m_archive, path.c_str(), kChunk) != ARCHIVE_OK) {
        const char* why = archive_error_string(m_archive);
        *error = why != nullptr ? why : std::strerror(errno);
        return false;
    }
    return true;
}

int CArchiveReader::Next(std::string* path, bool* folder, bool* regular, std::string* error) {
    archive_entry* entry = nullptr;
    const int rc = archive_read_next_header(m_archive, &entry);
    if (rc == ARCHIVE_EOF) return 0;
    if (rc < ARCHIVE_WARN) {
        const char* why = archive_error_string(m_archive);
        *error = why != nullptr ? why : "libarchive";
        return -1;
    }
    const char* name = archive_entry_pathname(entry);
    *path = name != nullptr ? name : "";
    while (path->size() > 1 && path->back() == '/') path->pop_back();
    *folder = archive_entry_filetype(entry) == AE_IFDIR;
    *regular = archive_entry_filetype(entry) == AE_IFREG;
    return 1;
}

long long CArchiveReader::Read(void* buffer, size_t length, std::string* error) {
    const la_ssize_t n = archive_read_data(m_archive, buffer, length);
    if (n < 0) {
        const char* why = archive_error_string(m_archive);
        *error = why != nullptr ? why : "libarchive";
        return -1;
    }
    return n;
}

struct CSha256::SState {
    QCryptographicHash hash{QCryptographicHash::Sha256};
};

CSha256::CSha256() : m_state(std::make_unique<SState>()) {}
CSha256::~CSha256() = default;

void CSha256::Add(const void* data, size_t length) {
    m_state->hash.addData(QByteArrayView(static_cast<const char*>(data), qsizetype(length)));
}

std::string CSha256::Hex() { return m_state->hash.result().toHex().toStdString(); }

}  // namespace velodb
