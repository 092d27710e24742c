// Combining two patients of the merged (destination) database into one. After a merge the
// same person may be there twice, for instance when the two products knew them under
// different patient IDs. One patient is kept; the other (absorbed) patient's data fill the
// kept patient's empty fields, and every record and media file of the absorbed patient moves
// to the kept patient under the kept patient's first free record numbers. References between
// records follow the renumbering: analyses point at their photos' new numbers, dependent
// analysis tables at their analysis's new number.
//
// Nothing here shows a window; the combine dialog gathers the choice and calls it.
#pragma once

#include <QString>
#include <string>
#include <utility>
#include <vector>

#include "merger/recordnumbers.h"

namespace unita {

// The destination folders the combine works in (each ends with "/", added when missing).
struct SCombineFolders {
    std::string m_database;
    std::string m_image;
    std::string m_report;
    std::string m_slideshow;
};

// The dialog's description of a patient of PATIENT1.BTR (eleven lines joined by "\r\n":
// registration number, patient ID, name and kana, sex, birth date, guardian, postal code,
// two address lines, two telephones). `record` is the 3600-byte record.
QString PatientDescription(const char* record);
// The description of the patient `identifier` of the database, or "" when it cannot be read.
QString ReadPatientDescription(const std::string& databaseFolder, const std::string& identifier);

// Fills each empty field of the kept patient's PATIENT1.BTR record from the absorbed one:
// texts whose first byte is 0 (patient ID, name, kana, guardian name and kana, postal code,
// both addresses, both telephones and their digit forms, comment) and dates or values whose
// numeric value is 0 (birth date, the two visit dates at 114 and 123, the values at 132 and
// 141). Both are 3600-byte records. Returns the number of fields filled.
int FillEmptyPatientFields(char* kept, const char* absorbed);

// The tables the combine moves, in order: photos first (their new numbers are needed by the
// analyses), each analysis table before the tables that depend on it.
const std::vector<std::string>& CombineTableOrder();

// One combine: construct with the destination folders, then Combine. The maps stay readable
// afterwards (the dialog shows them in its hidden lists).
class CPatientCombiner {
public:
    explicit CPatientCombiner(const SCombineFolders& folders);

    // Combines `absorbed` into `kept` (identifiers "%010d"). With deleteData, each moved
    // record and media file of the absorbed patient is removed once its copy is stored;
    // without it the absorbed patient keeps everything. The absorbed patient's own PATIENT1.BTR
    // and PATIENT2.BTR records stay in either case: they do not move (only the kept patient's
    // empty fields take their values, PATIENT2 not at all), and the practice's own records
    // (reservations, accounts, sales, lab work, sent mail) still name the absorbed patient and
    // would otherwise point at nobody. Every table is opened before anything is written, so a
    // table that cannot be opened ends the combine (false) with both patients untouched. A
    // numbered record that cannot be inserted, or whose existing file cannot be copied, also
    // ends it (that record stays with the absorbed patient only); what moved before stays
    // moved, and with deleteData a second Combine moves the rest. A patient is never combined
    // with itself, and both patients must exist.
    bool Combine(const std::string& kept, const std::string& absorbed, bool deleteData);

    // Moves the absorbed patient's records of one table (a name of CombineTableOrder) to the
    // kept patient, with their files. False when the table cannot be opened, or a numbered
    // record cannot be inserted or its existing file cannot be copied.
    bool MoveRecords(const std::string& table, const std::string& kept,
                     const std::string& absorbed);

    const CNumberMap& PhotoMap() const { return m_photoMap; }
    const CNumberMap& AnalysisMap() const { return m_analysisMap; }
    // The table (or "PATIENT1.BTR") that stopped the last Combine; "" after success.
    const std::string& FailedTable() const { return m_failedTable; }

    // How one table's records move (which references are renumbered, which files follow).
    using STableRules = SNumberingRules;

private:
    bool MoveNumberedRecords(const STableRules& rules, const std::string& kept,
                             const std::string& absorbed);
    bool MoveDependentRecords(const STableRules& rules, const std::string& kept,
                              const std::string& absorbed);
    // Copies the files of a moved PHOTO.BTR, REPORT.BTR or SLIDESHOW.BTR record to the kept
    // patient's new number; false when a file that exists could not be copied.
    bool MoveRecordFiles(const STableRules& rules, const std::string& record,
                         const std::string& absorbed, const std::string& kept,
                         const std::string& newNumber);
    bool FillKeptPatient(const std::string& kept, const std::string& absorbed);
    bool Fail(const std::string& table);

    SCombineFolders m_folders;
    bool m_deleteData = false;
    CNumberMap m_photoMap;
    CNumberMap m_analysisMap;
    std::string m_failedTable;
};

// Texts of the outcome.
QString CombineSucceededText();  // "合成に成功しました。"
QString CombineFailedText();     // "合成に失敗しました。"

}  // namespace unita
