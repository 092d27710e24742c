// velodb backup: the clinic's tables as they stood at one moment and the folder's other
// files, in one archive with its manifest; and the nightly form that names the archive by
// the time and keeps the newest few.
#include "backup.h"

#include <stdlib.h>

#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <sstream>

#include "backuparchive.h"
#include "backupstrings.h"
#include "recman/recman.h"
#include "suite/text/privatefiles.h"
#include "tablefile.h"
#include "tablesnapshot.h"
#include "velodb.h"

namespace velodb {
namespace {

namespace fs = std::filesystem;

const QRegularExpression& ArchiveNamePattern() {
    static const QRegularExpression pattern(
        QStringLiteral("^velo-backup-[0-9]{8}-[0-9]{6}\\.tar\\.xz$"));
    return pattern;
}

bool IsBackupArchiveName(const std::string& name) {
    return ArchiveNamePattern().match(QString::fromStdString(name)).hasMatch();
}

fs::path Absolute(const std::string& path) {
    std::error_code ec;
    const fs::path made = fs::weakly_canonical(fs::absolute(path, ec), ec);
    return ec ? fs::path(path) : made;
}

// A private folder beside the archive for the copies of the tables, removed at the end.
class CWorkFolder final {
public:
    CWorkFolder() = default;
    ~CWorkFolder() {
        std::error_code ec;
        if (!m_path.empty()) fs::remove_all(m_path, ec);
    }
    CWorkFolder(const CWorkFolder&) = delete;
    CWorkFolder& operator=(const CWorkFolder&) = delete;

    bool Make(const fs::path& beside, std::string* error) {
        std::string pattern = (beside / ".velo-backup-work-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            *error =
                BackupText(kIdsBackupWorkFolderFailed, {pattern + ": " + std::strerror(errno)});
            return false;
        }
        m_path = pattern;
        return true;
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// The folder's files other than its tables, by path relative to it, folders before what
// they hold.
struct SFolderFiles {
    std::vector<std::pair<std::string, bool>> m_entries;  // path, is a folder
    std::vector<std::string> m_skipped;                   // links and special files
};

SFolderFiles OtherFiles(const fs::path& folder, const fs::path& archive) {
    SFolderFiles files;
    const fs::path archiveFolder = archive.parent_path();
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string relative = it->path().lexically_relative(folder).generic_string();
        const fs::file_status status = it->symlink_status(ec);
        const bool isFolder = fs::is_directory(status);
        const bool topLevel = relative.find('/') == std::string::npos;
        // When the archives are kept inside the folder, each backup would hold the earlier ones.
        const bool ownArchive =
            !isFolder &&
            (it->path() == archive || (it->path().parent_path() == archiveFolder &&
                                       IsBackupArchiveName(it->path().filename().string())));
        if (IsLeftOutOfBackup(relative) || ownArchive ||
            (topLevel && !isFolder && HasTableExtension(relative))) {
            if (isFolder) it.disable_recursion_pending();
            continue;
        }
        if (isFolder || fs::is_regular_file(status))
            files.m_entries.emplace_back(relative, isFolder);
        else
            files.m_skipped.push_back(relative);
    }
    std::sort(files.m_entries.begin(), files.m_entries.end());
    return files;
}

// Copies the tables into `work` as they stood at one moment.
bool TakeTables(const std::string& folder, bool server, const std::string& work,
                std::vector<std::string>* tables, std::string* error) {
    if (server) {
        std::ostringstream quiet;
        std::string why;
        if (!PullDatabase(folder, work, true, quiet, &why)) {
            *error = BackupText(kIdsBackupPullFailed, {why});
            return false;
        }
        *tables = ListTableFiles(work);
        return true;
    }
    *tables = ListTableFiles(folder);
    return SnapshotTableFiles(folder, *tables, work, nullptr, error);
}

std::string NowText() {
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate).toStdString();
}

}  // namespace

bool BackupDatabase(const std::string& folder, const std::string& archive, std::ostream& out,
                    std::string* error) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        *error = BackupText(kIdsBackupNotAFolder, {folder});
        return false;
    }
    const bool server = IsServerFolder(folder);
    if (ListTables(folder).empty()) {
        const std::string why = recman::LastErrorText();
        *error = why.empty() ? BackupText(kIdsBackupNoTables, {folder}) : why;
        return false;
    }
    const fs::path source = Absolute(folder);
    const fs::path target = Absolute(archive);
    CWorkFolder work;
    std::vector<std::string> tables;
    if (!work.Make(target.parent_path(), error) ||
        !TakeTables(folder, server, work.Path(), &tables, error))
        return false;
    const SFolderFiles files = OtherFiles(source, target);

    CArchiveWriter writer;
    if (!writer.Open(archive, error)) return false;
    for (const std::string& table : tables)
        if (!writer.AddFile(table, (fs::path(work.Path()) / table).string(), error)) return false;
    size_t fileCount = 0;
    for (const auto& [relative, isFolder] : files.m_entries) {
        const bool added = isFolder ? writer.AddFolder(relative, error)
                                    : writer.AddFile(relative, (source / relative).string(), error);
        if (!added) return false;
        fileCount += isFolder ? 0 : 1;
    }
    SManifest manifest;
    manifest.m_created = NowText();
    manifest.m_engine = server ? "server" : "embedded";
    manifest.m_source = source.string();
    manifest.m_entries = writer.Entries();
    if (!writer.AddUnlisted(kManifestName, FormatManifest(manifest), error) ||
        !writer.Commit(error))
        return false;
    for (const std::string& skipped : files.m_skipped)
        out << BackupText(kIdsBackupSkipped, {skipped}) << "\n";
    out << BackupText(kIdsBackupDone,
                      {archive, std::to_string(tables.size()), std::to_string(fileCount)})
        << "\n";
    return true;
}

std::string BackupArchiveName(const QDateTime& when) {
    return "velo-backup-" + when.toLocalTime().toString("yyyyMMdd-HHmmss").toStdString() +
           ".tar.xz";
}

bool BackupIntoFolder(const std::string& folder, const std::string& backupFolder, int keep,
                      const QDateTime& now, std::ostream& out, std::string* error) {
    if (!privatefiles::MakePrivateFolder(backupFolder, error)) return false;
    const std::string name = BackupArchiveName(now.isValid() ? now : QDateTime::currentDateTime());
    const std::string path = (fs::path(backupFolder) / name).string();
    std::error_code ec;
    if (fs::exists(fs::symlink_status(path, ec))) {
        *error = BackupText(kIdsBackupNameTaken, {path});
        return false;
    }
    if (!BackupDatabase(folder, path, out, error)) return false;

    std::vector<std::string> archives;
    for (const auto& entry : fs::directory_iterator(backupFolder, ec)) {
        const std::string entryName = entry.path().filename().string();
        if (IsBackupArchiveName(entryName) && entry.is_regular_file(ec))
            archives.push_back(entryName);
    }
    // The names sort as the times they carry: the newest last.
    std::sort(archives.begin(), archives.end());
    bool removedAll = true;
    for (size_t i = 0; i + size_t(keep) < archives.size(); ++i) {
        const fs::path old = fs::path(backupFolder) / archives[i];
        if (fs::remove(old, ec)) {
            out << BackupText(kIdsBackupOldRemoved, {old.string()}) << "\n";
        } else {
            *error = BackupText(kIdsBackupOldNotRemoved, {old.string(), ec.message()});
            removedAll = false;
        }
    }
    return removedAll;
}

}  // namespace velodb
