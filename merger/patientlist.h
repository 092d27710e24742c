// The patient lists of the merger's window as plain rows: the Calyx patients, the Xylo
// patients and the merge data (the destination's patients). Rows come in key order from
// PATIENT1.BTR, or from PATIENT.BTR of an old-format practice database, and leave out
// patients whose deleted mark is set. The window shows them; the merges match against them.
#pragma once

#include <QString>
#include <vector>

namespace unita {

struct SPatientRow {
    QString m_patientId;         // patient ID as shown to users (first column)
    QString m_kana;              // "カナ"
    QString m_name;              // "患者氏名"
    QString m_sex;               // "M" when the sex field is "1", else "F"
    QString m_birthDate;         // the zero-width fifth column
    long long m_identifier = 0;  // numeric value of the record identifier (row's item data)
};

using PatientRows = std::vector<SPatientRow>;

enum class EPatientFile {
    Current,  // PATIENT1.BTR, 3600-byte records
    Old,      // PATIENT.BTR of the practice product's old format, 600-byte records
};

// Reads the patients of the database folder. With showErrors false a missing or corrupt
// file gives an empty list silently (the destination may hold no database yet); with it
// set, the wrapper's "BO_OPEN" report is shown. *opened (when not null) says whether the
// file could be read.
PatientRows LoadPatientRows(const QString& databaseFolder, EPatientFile file, bool showErrors,
                            bool* opened = nullptr);

// The first row whose patient ID equals `patientId` without regard to letter case, or -1.
// An empty patient ID never matches.
int FindPatientRow(const PatientRows& rows, const QString& patientId);

// The text of a row's column as the lists show it.
QString ColumnText(const SPatientRow& row, int column);

// The order that sorts the rows by one column's text (0 patient ID, 1 kana, 2 name, 3 sex,
// 4 birth date), comparing the code page 932 bytes as the lists always have; equal texts
// keep their order. descending reverses the comparison. Returns the old row indices in
// their new order.
std::vector<int> SortedRowOrder(const PatientRows& rows, int column, bool descending);

// "%010d" of a row's identifier, as written in record keys.
QString IdentifierText(long long identifier);

}  // namespace unita
