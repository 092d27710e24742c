// The texts of velodb backup and restore, in the suite's string table, and the one helper
// that fills their %1, %2, ... for the command's error output.
#pragma once

#include <initializer_list>
#include <string>

namespace velodb {

constexpr int kIdsBackupNoTables = 20020;
constexpr int kIdsBackupTablesKeptChanging = 20021;
constexpr int kIdsBackupTableUnreadable = 20022;
constexpr int kIdsBackupFileUnreadable = 20023;
constexpr int kIdsBackupWriteFailed = 20024;
constexpr int kIdsBackupWorkFolderFailed = 20025;
constexpr int kIdsBackupPullFailed = 20026;
constexpr int kIdsBackupDone = 20027;
constexpr int kIdsBackupOldRemoved = 20028;
constexpr int kIdsBackupOldNotRemoved = 20029;
constexpr int kIdsBackupSkipped = 20030;
constexpr int kIdsBackupNameTaken = 20031;
constexpr int kIdsBackupNotAFolder = 20032;
constexpr int kIdsInUseWorkingFile = 20033;
constexpr int kIdsInUseTableLocked = 20034;
constexpr int kIdsInUseFilesLocked = 20035;
constexpr int kIdsSizeChanged = 20036;
constexpr int kIdsRestoreCannotOpen = 20040;
constexpr int kIdsRestoreDamagedEntry = 20041;
constexpr int kIdsRestoreDamaged = 20042;
constexpr int kIdsRestoreForeign = 20043;
constexpr int kIdsRestoreChecksum = 20044;
constexpr int kIdsRestoreMissing = 20045;
constexpr int kIdsRestoreExtra = 20046;
constexpr int kIdsRestoreHoldsTables = 20047;
constexpr int kIdsRestoreInUse = 20048;
constexpr int kIdsRestoreServerFolder = 20049;
constexpr int kIdsRestoreWriteFailed = 20050;
constexpr int kIdsRestoreDone = 20051;
constexpr int kIdsRestoreCheckFailed = 20052;
constexpr int kIdsRestoreCheckOk = 20053;
constexpr int kIdsRestoreIncomplete = 20054;
constexpr int kIdsRestoreUnsafeEntry = 20055;
constexpr int kIdsRestoreFromServer = 20056;
constexpr int kIdsManifestNote = 20057;
constexpr int kIdsSizeAndChecksum = 20058;
constexpr int kIdsReadError = 20059;

// The text of `id` with %1, %2, ... replaced by `args`, as UTF-8. Registers the texts of
// backup and restore on first use.
std::string BackupText(int id, std::initializer_list<std::string> args = {});

}  // namespace velodb
