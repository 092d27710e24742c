#include "merger/patientlist.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string>

#include "merger/btrtables.h"
#include "suite/text/cp932.h"

namespace unita {

namespace {

long long IdentifierValue(const char* field, size_t width) {
    const std::string text(field, strnlen(field, width));
    return std::strtoll(text.c_str(), nullptr, 10);
}

QString SexText(const char* field) { return field[0] == '1' && field[1] == 0 ? "M" : "F"; }

// The old and the current patient record name these fields alike, at other offsets.
template <typename Record>
SPatientRow RowOf(const Record& r) {
    SPatientRow row;
    row.m_patientId = Cp932FieldToQString(r.ChartNo);
    row.m_kana = Cp932FieldToQString(r.Kana);
    row.m_name = Cp932FieldToQString(r.Name);
    row.m_sex = SexText(r.Sex);
    row.m_birthDate = Cp932FieldToQString(r.BirthDate);
    row.m_identifier = IdentifierValue(r.PatientID, sizeof(r.PatientID));
    return row;
}

bool IsDeleted(const tagPATIENT1DB& r) { return r.InactiveFlag != 0; }
bool IsDeleted(const tagOLDPATIENTDB& r) { return r.DeletedMark != 0; }

// Every record in key order, deleted patients left out.
template <typename Table>
PatientRows ReadRows(Table& table, bool showErrors, bool* opened) {
    PatientRows rows;
    table.SetShowErrors(showErrors);
    const bool open = table.Open() == 0;
    if (opened != nullptr) *opened = open;
    if (!open) return rows;
    for (int status = table.FirstRecord(); status == 0 && !table.IsEOF();
         status = table.GetNext()) {
        if (!IsDeleted(table.Rec())) rows.push_back(RowOf(table.Rec()));
    }
    table.Close();
    return rows;
}

}  // namespace

QString ColumnText(const SPatientRow& row, int column) {
    switch (column) {
        case 0:
            return row.m_patientId;
        case 1:
            return row.m_kana;
        case 2:
            return row.m_name;
        case 3:
            return row.m_sex;
        case 4:
            return row.m_birthDate;
        default:
            return QString();
    }
}

PatientRows LoadPatientRows(const QString& databaseFolder, EPatientFile file, bool showErrors,
                            bool* opened) {
    const std::string folder = databaseFolder.toStdString();
    if (file == EPatientFile::Old) {
        COldPatientTable table(folder);
        return ReadRows(table, showErrors, opened);
    }
    CPatient1Table table(folder);
    return ReadRows(table, showErrors, opened);
}

int FindPatientRow(const PatientRows& rows, const QString& patientId) {
    if (patientId.isEmpty()) return -1;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].m_patientId.compare(patientId, Qt::CaseInsensitive) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::vector<int> SortedRowOrder(const PatientRows& rows, int column, bool descending) {
    std::vector<std::string> keys;
    keys.reserve(rows.size());
    for (const SPatientRow& row : rows) keys.push_back(QStringToCp932(ColumnText(row, column)));
    std::vector<int> order(rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return descending ? keys[b] < keys[a] : keys[a] < keys[b];
    });
    return order;
}

QString IdentifierText(long long identifier) { return QString::asprintf("%010lld", identifier); }

}  // namespace unita
