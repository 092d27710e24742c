// The lab schedule's rows as the plain sides of the benchmarks build them.
#include "plainlab.h"

#include <algorithm>
#include <iterator>

#include "suite/text/cp932.h"
#include "suite/tool/tools.h"

PlainLabPerson PlainLabPersonOf(const tagPATIENT1DB* record, const LabNames& names) {
    PlainLabPerson p;
    if (record == nullptr) return p;
    p.found = true;
    p.inactive = record->InactiveFlag == 1;
    p.chartNo = FieldText(record->ChartNo);
    p.name = Cp932FieldToQString(record->Name);
    p.kana = Cp932FieldToQString(record->Kana);
    p.doctor = DoctorName(names, record->DoctorCode);
    return p;
}

LabRow PlainLabRow(const tagMATERIALDB& r, const PlainLabPerson& p, const LabNames& names) {
    LabRow row;
    row.item = r;
    row.materialNo = FieldText(r.MaterialNo);
    row.dueDate = FieldText(r.CompletionDate);
    row.finished = r.FinishedDate[0] != '\0';
    row.text[kColItem] = Cp932FieldToQString(r.ItemName);
    row.text[kColStaff] = StaffName(names, r.StaffCode);
    row.text[kColOrder] = CTools::MakeDate(FieldText(r.OrderDate).c_str());
    row.text[kColDue] = DueText(r);
    if (row.finished) row.text[kColFinished] = CTools::MakeDate(FieldText(r.FinishedDate).c_str());
    if (p.found) {
        row.hasPatient = true;
        row.chartNo = p.chartNo;
        row.name = p.name;
        row.text[kColPatient] = p.name;
        row.text[kColKana] = p.kana;
        row.text[kColDoctor] = p.doctor;
    }
    row.text[kColMemo] = Cp932FieldToQString(r.Memo);
    return row;
}

bool SameLabRow(const LabRow& a, const LabRow& b) {
    if (a.materialNo != b.materialNo || a.finished != b.finished || a.dueDate != b.dueDate ||
        a.hasPatient != b.hasPatient || a.chartNo != b.chartNo || a.name != b.name)
        return false;
    return std::equal(std::begin(a.text), std::end(a.text), std::begin(b.text));
}
