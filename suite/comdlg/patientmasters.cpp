// Reading the masters a patient's coded fields point into.
#include "suite/comdlg/patientmasters.h"

#include <algorithm>
#include <cstring>

#include "recman/recman.h"
#include "suite/comdlg/tablehelpers.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/text/cp932.h"

namespace {

using comdlg::FieldText;
using comdlg::OpenIn;

template <size_t N>
bool IsHidden(const char (&mark)[N]) {
    return std::strncmp(mark, "__", 2) == 0;
}

QString CodeOf(const std::string& code) { return QString::fromLatin1(code.c_str()); }

// Every record of the table in key 0 order; with a prefix (the first field of key 0, whose
// whole length is keyLength), only the records whose first field equals it. `take` adds the
// record's entry.
template <typename Table, typename Take>
int Scan(CVeloDBSys* db, const char* prefix, size_t prefixWidth, size_t keyLength, Take take) {
    Table table;
    int status = OpenIn(table, db);
    if (status != recman::kOk) return status;
    table.SetKey(0);
    if (prefix == nullptr) {
        status = table.GetFIRST();
    } else {
        char key[recman::kMaxKeyLength] = {};
        std::memcpy(key, prefix, std::strlen(prefix));
        table.SetKeyBuffer(key, static_cast<int>(keyLength));
        status = table.GetGREQ();
    }
    for (; status == recman::kOk; status = table.GetNEXT()) {
        if (prefix != nullptr &&
            std::strncmp(reinterpret_cast<const char*>(&table.m_Data), prefix, prefixWidth) != 0) {
            break;
        }
        take(table.m_Data);
    }
    return status == recman::kEndOfFile || status == recman::kKeyNotFound ? recman::kOk : status;
}

int ReadCustomTable(CVeloDBSys* db, const std::string& tableId,
                    std::vector<CMasterChoice>* choices) {
    char id[sizeof(tagCUSTOMTBLDB::TableID)] = {};
    std::memcpy(id, tableId.data(), std::min(tableId.size(), sizeof id - 1));
    constexpr size_t kKeyLength = sizeof id + sizeof(tagCUSTOMTBLDB::Code);
    return Scan<CCustomTblDB>(db, id, sizeof id, kKeyLength, [&](const tagCUSTOMTBLDB& r) {
        if (!IsHidden(r.HiddenMark)) {
            choices->push_back({CodeOf(FieldText(r.Code)), Cp932FieldToQString(r.Name)});
        }
    });
}

}  // namespace

std::vector<CMasterChoice> ReadPatientMasterChoices(CVeloDBSys* db, EPatientMaster master,
                                                    int freeTable, int* status) {
    std::vector<CMasterChoice> choices;
    int result = recman::kOk;
    switch (master) {
        case EPatientMaster::Condition:
            result = Scan<CConditionDB>(db, nullptr, 0, 0, [&](const tagCONDITIONDB& r) {
                if (!IsHidden(r.HiddenMark)) {
                    choices.push_back({CodeOf(FieldText(r.Code)), Cp932FieldToQString(r.Name)});
                }
            });
            break;
        case EPatientMaster::IntroDr:
            result = Scan<CIntroDrDB>(db, nullptr, 0, 0, [&](const tagINTRODRDB& r) {
                choices.push_back({CodeOf(FieldText(r.Code)),
                                   IntroDrDisplayName(Cp932FieldToQString(r.ClinicName),
                                                      Cp932FieldToQString(r.Name))});
            });
            break;
        case EPatientMaster::WorkKind: {
            char type[sizeof(tagCATEGORYDB::Type)] = {};
            std::memcpy(type, kWorkKindCategory, sizeof type - 1);
            constexpr size_t kKeyLength = sizeof type + sizeof(tagCATEGORYDB::Code);
            result =
                Scan<CCategoryDB>(db, type, sizeof type, kKeyLength, [&](const tagCATEGORYDB& r) {
                    if (!IsHidden(r.HiddenMark)) {
                        choices.push_back({CodeOf(FieldText(r.Code)), Cp932FieldToQString(r.Name)});
                    }
                });
            break;
        }
        case EPatientMaster::Trait:
            result = ReadCustomTable(db, kPatientTraitTable, &choices);
            break;
        case EPatientMaster::FreeTable:
            if (freeTable >= 0 && freeTable < kPatientFreeTableCount) {
                result = ReadCustomTable(db, FreeTableId(freeTable), &choices);
            }
            break;
    }
    if (status != nullptr) *status = result;
    return choices;
}

QString IntroDrDisplayName(const QString& clinic, const QString& name) {
    if (clinic.isEmpty()) return name;
    if (name.isEmpty()) return clinic;
    return clinic + QLatin1Char(' ') + name;
}
