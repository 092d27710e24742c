// The master tables the two databases share, merged from the Xylo database into the
// destination: the case tables (CASEPA, CASE, CASEREF, CASERREG) and the basic tables
// (CONDITION, DOCTOR, CUSTOMTBL), each with its rule for an entry both sides hold; the
// files copied whole (TEXTTBL.BTR, OWNER.BTR, IMGTYPE.BTR, freetblname.dat); and the shared
// records (identifier "0000000000") of the three photo-extension tables.
//
// Every merge here can run again: an entry already in the destination is either kept or
// replaced by the same Xylo record, so a second run leaves the tables as the first did.
#pragma once

#include <QString>

class QWidget;

namespace unita {

class IMergeProgress;

enum class EMasterTable { CasePa, Case, CaseRef, CaseRReg, Condition, Doctor, CustomTbl };

// The file name of a master table ("CASEPA.BTR", ...).
const char* MasterTableFile(EMasterTable table);

struct STableMergeOptions {
    bool m_basicFromXylo = false;  // 1040 "基本テーブルはXyloが優先"
    bool m_caseFromXylo = false;   // 1041 "症例テーブルはXyloが優先"
};

// Merges one master table: every Xylo record is inserted into the destination; when the
// destination already holds its key, the Xylo record replaces it if `forced` or the
// table's option is checked (CASEREF and CASERREG always keep the destination's). A
// CUSTOMTBL record gets its code copied from offset 3 to offset 8 first. Folders end with
// "/" (added when missing). The table's records are stored together in one transaction.
// False when one of the two files cannot be opened or the records could not be stored
// (both reported in the wrapper's words); a failed replacement is reported and the scan
// goes on.
bool MergeMasterTable(EMasterTable table, const QString& xyloDatabase, const QString& destDatabase,
                      bool forced, const STableMergeOptions& options);

// Replaces `file` of destFolder by the one of sourceFolder, atomically (a crash leaves the
// old or the new file, never a mixture). The file is found in either folder without regard
// to letter case. False, without a message, when the source is missing or the copy fails.
bool CopyWholeFile(const QString& sourceFolder, const QString& destFolder, const QString& file);

// Copies the records with identifier "0000000000" of XYPHOTOEX.BTR, XYPHOTOEXIMG.BTR or
// XYPHOTOEXTEXT.BTR (the entries every patient shares); records already there are kept.
bool CopySharedRecords(const char* table, const QString& xyloDatabase, const QString& destDatabase);

// The table merges of the full run when the Calyx data are converted (1039 checked): the
// seven master tables not forced; TEXTTBL.BTR, OWNER.BTR, IMGTYPE.BTR (and freetblname.dat
// when 1040 is checked) copied whole; the shared records of the photo-extension tables.
void MergeTablesForConvertedRun(const QString& xyloDatabase, const QString& destDatabase,
                                const STableMergeOptions& options);

// The table merges of the full run when the Calyx data are not converted (1039 unchecked):
// CASEPA and CASE not forced, CONDITION, DOCTOR and CUSTOMTBL forced.
void MergeTablesForCopiedRun(const QString& xyloDatabase, const QString& destDatabase,
                             const STableMergeOptions& options);

// The table merges of "基本・症例テーブルのみマージ": CASEPA, CASE, CONDITION, DOCTOR and
// CUSTOMTBL, none forced.
void MergeTablesOnly(const QString& xyloDatabase, const QString& destDatabase,
                     const STableMergeOptions& options);

struct STablesOnlyResult {
    bool m_ran = false;
    int m_refusedField = 0;  // 1012 when the destination equals the Xylo database folder
};

// The command "基本・症例テーブルのみマージ" (control 1044): nothing when the destination
// database folder is empty; refused with the message when it equals the Xylo database
// folder (letter case ignored, "/" added first); else the status
// "テーブルデータをマージしています...", the merges, and "テーブルのマージが終了しました。".
STablesOnlyResult MergeMasterTablesOnly(const QString& xyloDatabase, const QString& destDatabase,
                                        const STableMergeOptions& options, IMergeProgress& progress,
                                        QWidget* parent);

}  // namespace unita
