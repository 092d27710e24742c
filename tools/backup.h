// velodb backup and restore: a clinic's data (every table, as it stood at one moment while
// others kept working, and the folder's other files: GlobalSetting.ini, the calendar memo
// files, freetblname.dat, Mail/, the images folder when it lies inside the database folder)
// in one compressed archive with a checksummed manifest, and back into a folder. Nothing
// throws; failures are false with a message in the system's words.
#pragma once

#include <QDateTime>
#include <iosfwd>
#include <string>

namespace velodb {

// Left in a database folder while a restore moves its files in; `velodb check` reports a
// folder holding it, since its files may come from two moments.
constexpr char kRestoreMarkerName[] = ".velo-restore-incomplete";

// Writes the archive `archive` (a tar compressed with xz) of the database folder `folder`.
// On a server-backed folder the tables come from the server as `velodb pull` takes them;
// the connection file stays out of the archive. The archive appears under its name only
// when complete and on the disk; any failure leaves nothing under that name.
bool BackupDatabase(const std::string& folder, const std::string& archive, std::ostream& out,
                    std::string* error);

// The name of an archive of BackupIntoFolder taken at `when` (local time):
// "velo-backup-YYYYMMDD-HHMMSS.tar.xz".
std::string BackupArchiveName(const QDateTime& when);

// Writes an archive named by `now` (the current time when null) into backupFolder, made
// (private) when missing, then removes the oldest archives of that naming in backupFolder
// so that the newest `keep` remain. Other files there are never touched.
bool BackupIntoFolder(const std::string& folder, const std::string& backupFolder, int keep,
                      const QDateTime& now, std::ostream& out, std::string* error);

// Restores the archive into `folder` (made private when missing). Every entry is checked
// against the manifest before anything is written. Refuses a folder another program uses, a
// server-backed folder, and a folder holding tables unless `force` (whose tables are then
// replaced, those the archive lacks removed too). The files go to a private folder inside
// `folder` first and are moved in at the end. Ends with `velodb check` of the folder; false
// when it finds a fault.
bool RestoreDatabase(const std::string& archive, const std::string& folder, bool force,
                     std::ostream& out, std::string* error);

}  // namespace velodb
