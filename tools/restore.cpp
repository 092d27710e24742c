// velodb restore: an archive checked whole against its manifest, then written into a
// private folder inside the database folder and moved into place, with a marker that tells
// a restore cut short from a finished one; and `velodb check` at the end.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <ostream>
#include <set>

#include "backup.h"
#include "backuparchive.h"
#include "backupstrings.h"
#include "folderuse.h"
#include "suite/text/atomicfile.h"
#include "suite/text/privatefiles.h"
#include "tablefile.h"
#include "velodb.h"

namespace velodb {
namespace {

namespace fs = std::filesystem;

constexpr size_t kChunk = 1 << 16;
constexpr size_t kMaxManifestBytes = 64u << 20;

bool IsTopLevelTable(const std::string& path) {
    return path.find('/') == std::string::npos && HasTableExtension(path);
}

std::string SizeAndSum(uint64_t size, const std::string& sha256) {
    return BackupText(kIdsSizeAndChecksum, {std::to_string(size), sha256});
}

// What the archive holds, read whole and compared with its manifest.
bool VerifyArchive(const std::string& archive, SManifest* manifest, std::string* error) {
    CArchiveReader reader;
    std::string why;
    if (!reader.Open(archive, &why)) {
        // A file that is there and readable but does not open as an archive is damaged.
        std::error_code ec;
        const bool there = fs::is_regular_file(archive, ec) && ::access(archive.c_str(), R_OK) == 0;
        *error = there ? BackupText(kIdsRestoreDamaged, {why})
                       : BackupText(kIdsRestoreCannotOpen, {archive, why});
        return false;
    }
    std::map<std::string, SManifestEntry> found;
    std::string manifestText, unsafe, duplicate;
    bool haveManifest = false;
    std::vector<char> chunk(kChunk);
    for (;;) {
        std::string path;
        bool folder = false, regular = false;
        const int next = reader.Next(&path, &folder, &regular, &why);
        if (next == 0) break;
        if (next < 0) {
            *error = BackupText(kIdsRestoreDamaged, {why});
            return false;
        }
        const bool isManifest = path == kManifestName && regular && !haveManifest;
        if (!isManifest && unsafe.empty() && (!(folder || regular) || !IsRestorableEntryPath(path)))
            unsafe = path;
        if (!isManifest && found.count(path) != 0 && duplicate.empty()) duplicate = path;
        SManifestEntry entry{path, folder, 0, {}};
        CSha256 sha;
        for (;;) {
            const long long n = reader.Read(chunk.data(), chunk.size(), &why);
            if (n < 0) {
                *error = BackupText(kIdsRestoreDamagedEntry, {path, why});
                return false;
            }
            if (n == 0) break;
            sha.Add(chunk.data(), size_t(n));
            entry.m_size += uint64_t(n);
            if (isManifest && manifestText.size() < kMaxManifestBytes)
                manifestText.append(chunk.data(), size_t(n));
        }
        if (isManifest) {
            haveManifest = true;
            continue;
        }
        if (!folder) entry.m_sha256 = sha.Hex();
        found[path] = entry;
    }
    if (!haveManifest || !ParseManifest(manifestText, manifest)) {
        *error = BackupText(kIdsRestoreForeign, {archive, kManifestName});
        return false;
    }
    if (!unsafe.empty()) {
        *error = BackupText(kIdsRestoreUnsafeEntry, {unsafe});
        return false;
    }
    if (!duplicate.empty()) {
        *error = BackupText(kIdsRestoreExtra, {duplicate});
        return false;
    }
    std::set<std::string> listed;
    for (const SManifestEntry& expected : manifest->m_entries) {
        listed.insert(expected.m_path);
        const auto it = found.find(expected.m_path);
        if (it == found.end() || !IsRestorableEntryPath(expected.m_path)) {
            *error = BackupText(kIdsRestoreMissing, {expected.m_path});
            return false;
        }
        if (!(it->second == expected)) {
            *error =
                BackupText(kIdsRestoreChecksum,
                           {expected.m_path, SizeAndSum(it->second.m_size, it->second.m_sha256),
                            SizeAndSum(expected.m_size, expected.m_sha256)});
            return false;
        }
    }
    for (const auto& [path, entry] : found) {
        if (listed.count(path) == 0) {
            *error = BackupText(kIdsRestoreExtra, {path});
            return false;
        }
    }
    return true;
}

bool SyncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

// Writes the archive's entries into `staging`, checking each file against the manifest
// again as it is written (the archive could have changed since it was verified).
bool Extract(const std::string& archive, const SManifest& manifest, const fs::path& staging,
             std::string* error) {
    std::map<std::string, const SManifestEntry*> byPath;
    for (const SManifestEntry& entry : manifest.m_entries) byPath[entry.m_path] = &entry;
    CArchiveReader reader;
    std::string why;
    if (!reader.Open(archive, &why)) {
        *error = BackupText(kIdsRestoreCannotOpen, {archive, why});
        return false;
    }
    std::vector<char> chunk(kChunk);
    for (;;) {
        std::string path;
        bool folder = false, regular = false;
        const int next = reader.Next(&path, &folder, &regular, &why);
        if (next == 0) return true;
        if (next < 0) {
            *error = BackupText(kIdsRestoreDamaged, {why});
            return false;
        }
        if (path == kManifestName && regular) continue;
        const auto expected = byPath.find(path);
        if (expected == byPath.end() || !IsRestorableEntryPath(path)) {
            *error = BackupText(kIdsRestoreExtra, {path});
            return false;
        }
        const fs::path target = staging / path;
        if (folder) {
            if (!privatefiles::MakePrivateFolder(target.string(), error)) return false;
            continue;
        }
        if (!privatefiles::MakePrivateFolder(target.parent_path().string(), error)) return false;
        const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                              privatefiles::FileMode());
        if (fd < 0) {
            *error = BackupText(kIdsRestoreWriteFailed, {target.string(), std::strerror(errno)});
            return false;
        }
        CSha256 sha;
        uint64_t size = 0;
        bool written = true;
        for (;;) {
            const long long n = reader.Read(chunk.data(), chunk.size(), &why);
            if (n < 0) {
                *error = BackupText(kIdsRestoreDamagedEntry, {path, why});
                written = false;
                break;
            }
            if (n == 0) break;
            sha.Add(chunk.data(), size_t(n));
            size += uint64_t(n);
            if (::write(fd, chunk.data(), size_t(n)) != n) {
                *error =
                    BackupText(kIdsRestoreWriteFailed, {target.string(), std::strerror(errno)});
                written = false;
                break;
            }
        }
        if (written && ::fsync(fd) != 0) {
            *error = BackupText(kIdsRestoreWriteFailed, {target.string(), std::strerror(errno)});
            written = false;
        }
        ::close(fd);
        if (!written) return false;
        if (size != expected->second->m_size || sha.Hex() != expected->second->m_sha256) {
            *error = BackupText(kIdsRestoreChecksum,
                                {path, SizeAndSum(size, sha.Hex()),
                                 SizeAndSum(expected->second->m_size, expected->second->m_sha256)});
            return false;
        }
    }
}

// Moves what `from` holds into `to`, entry by entry, replacing files of the same name and
// merging into folders that are there already.
bool MoveInto(const fs::path& from, const fs::path& to, bool tables, std::string* error) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(from, ec)) {
        const std::string name = entry.path().filename().string();
        if (IsTopLevelTable(name) != tables) continue;
        const fs::path target = to / name;
        const fs::file_status there = fs::symlink_status(target, ec);
        const bool isFolder = entry.is_directory(ec);
        if (isFolder && fs::is_directory(there)) {
            if (!MoveInto(entry.path(), target, false, error)) return false;
            continue;
        }
        if (fs::exists(there) && (isFolder || fs::is_directory(there))) fs::remove_all(target, ec);
        if (::rename(entry.path().c_str(), target.c_str()) != 0) {
            *error = BackupText(kIdsRestoreWriteFailed, {target.string(), std::strerror(errno)});
            return false;
        }
    }
    SyncFolder(to);
    return true;
}

// What a folder's earlier life left that would act on the restored tables: the tables'
// rollback journals (played back onto a restored file, they would undo it) and, when
// replacing, tables the archive does not hold. The working files and super-journals that
// crashed programs left stay for the record manager, which tidies them when it next opens
// the folder (a super-journal may also name journals in other folders). Only called once no
// other program is seen using the folder.
void RemoveFormerState(const fs::path& folder, const SManifest& manifest) {
    std::set<std::string> restored;
    for (const SManifestEntry& entry : manifest.m_entries) restored.insert(entry.m_path);
    std::error_code ec;
    std::vector<fs::path> doomed;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        const std::string journalOf =
            name.size() > 8 && name.ends_with("-journal") ? name.substr(0, name.size() - 8) : "";
        if ((!journalOf.empty() && IsTopLevelTable(journalOf)) ||
            (IsTopLevelTable(name) && restored.count(name) == 0 && entry.is_regular_file(ec)))
            doomed.push_back(entry.path());
    }
    for (const fs::path& path : doomed) fs::remove(path, ec);
}

// The private folder inside the database folder that the archive is written into first,
// removed at the end whatever happened.
class CStaging final {
public:
    ~CStaging() {
        std::error_code ec;
        if (!m_path.empty()) fs::remove_all(m_path, ec);
    }
    bool Make(const fs::path& folder, std::string* error) {
        std::string pattern = (folder / ".velo-restore-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            *error = BackupText(kIdsRestoreWriteFailed, {folder.string(), std::strerror(errno)});
            return false;
        }
        m_path = pattern;
        return privatefiles::MakePrivate(m_path, error);
    }
    fs::path Path() const { return m_path; }

private:
    std::string m_path;
};

// Refuses a folder that must not be restored into now.
bool TargetAllowed(const std::string& folder, bool force, std::string* error) {
    std::error_code ec;
    if (!fs::exists(folder, ec)) return true;
    if (!fs::is_directory(folder, ec)) {
        *error = BackupText(kIdsBackupNotAFolder, {folder});
        return false;
    }
    if (IsServerFolder(folder)) {
        *error = BackupText(kIdsRestoreServerFolder, {folder});
        return false;
    }
    if (const std::string use = FolderInUse(folder); !use.empty()) {
        *error = BackupText(kIdsRestoreInUse, {folder, use});
        return false;
    }
    if (!force && !ListTableFiles(folder).empty()) {
        *error = BackupText(kIdsRestoreHoldsTables, {folder});
        return false;
    }
    return true;
}

}  // namespace

bool RestoreDatabase(const std::string& archive, const std::string& folder, bool force,
                     std::ostream& out, std::string* error) {
    SManifest manifest;
    if (!VerifyArchive(archive, &manifest, error) || !TargetAllowed(folder, force, error) ||
        !privatefiles::MakePrivateFolder(folder, error))
        return false;
    const fs::path target(folder);
    CStaging staging;
    if (!staging.Make(target, error) || !Extract(archive, manifest, staging.Path(), error))
        return false;
    // Asked again: a program may have opened the folder while the archive was written out.
    if (const std::string use = FolderInUse(folder); !use.empty()) {
        *error = BackupText(kIdsRestoreInUse, {folder, use});
        return false;
    }
    const std::string marker = (target / kRestoreMarkerName).string();
    if (!WriteFileAtomically(marker, BackupText(kIdsRestoreIncomplete) + "\n", error)) return false;
    RemoveFormerState(target, manifest);
    // The tables go last, so that a folder whose tables are all in place holds the rest too.
    if (!MoveInto(staging.Path(), target, false, error) ||
        !MoveInto(staging.Path(), target, true, error))
        return false;
    if (::unlink(marker.c_str()) != 0 || !SyncFolder(target)) {
        *error = BackupText(kIdsRestoreWriteFailed, {marker, std::strerror(errno)});
        return false;
    }
    size_t tables = 0, files = 0;
    for (const SManifestEntry& entry : manifest.m_entries) {
        if (entry.m_folder) continue;
        ++(IsTopLevelTable(entry.m_path) ? tables : files);
    }
    out << BackupText(kIdsRestoreDone,
                      {archive, folder, std::to_string(tables), std::to_string(files)})
        << "\n";
    if (manifest.m_engine == "server") out << BackupText(kIdsRestoreFromServer) << "\n";
    const bool sound = CheckDatabase(folder, out);
    out << BackupText(sound ? kIdsRestoreCheckOk : kIdsRestoreCheckFailed) << "\n";
    if (!sound) *error = BackupText(kIdsRestoreCheckFailed);
    return sound;
}

}  // namespace velodb
