// Saving a lab-work item: the next number of the day and the insert or update of the
// record inside one transaction, so a failure leaves the table as it was.
#include "lab/labitem.h"

#include <cstdio>
#include <cstring>

#include "recman/recman.h"
#include "suite/dbcall/materialdb.h"
#include "suite/text/cp932.h"

namespace {

constexpr int kLastSerial = 99999;

// The next number on an open table; "" when the day's serials are used up.
std::string NextNumberOn(CMaterialDB& items, const std::string& today) {
    const std::string day = today.substr(0, 8);
    const std::string highest = day + "99999";
    items.SetKey(CMaterialDB::kKeyMaterialNo);
    items.SetKeyBuffer(highest.c_str(), static_cast<int>(highest.size()));
    int serial = 1;
    if (items.GetLEEQ() == 0 && std::strncmp(items.m_Data.MaterialNo, day.c_str(), 8) == 0 &&
        day.size() == 8) {
        serial = std::atoi(items.m_Data.MaterialNo + 8) + 1;
    }
    if (serial > kLastSerial) return std::string();
    char number[sizeof(tagMATERIALDB::MaterialNo)];
    std::snprintf(number, sizeof number, "%s%05d", day.c_str(), serial);
    return number;
}

int Fail(int status) {
    CBaseDBCall::AbortTran();
    return status;
}

}  // namespace

bool LabItemInputComplete(const LabItemInput& in) {
    return !in.itemName.isEmpty() && !in.patientId.empty() && !in.staffCode.empty() &&
           !in.categoryCode.empty();
}

std::string NextMaterialNo(CVeloDBSys* db, const std::string& today) {
    // A table that cannot be opened reads as empty: the day's first number.
    CMaterialDB items;
    items.SetAssociatedDB(db);
    return NextNumberOn(items, today);
}

int SaveLabItem(CVeloDBSys* db, const LabItemInput& in, const std::string& today,
                std::string* savedNo) {
    if (!LabItemInputComplete(in)) return -1;
    CMaterialDB items;
    int status = items.SetAssociatedDB(db);
    if (status != 0) return status;
    status = CBaseDBCall::BeginTran();
    if (status != 0) return status;

    tagMATERIALDB& r = items.m_Data;
    const bool isNew = in.materialNo.empty();
    std::string number = in.materialNo;
    if (isNew) {
        number = NextNumberOn(items, today);
        if (number.empty()) return Fail(recman::kDuplicateKey);
        items.ClearData();
        SetField(r.MaterialNo, number.c_str());
        SetField(r.OrderDate, in.orderDate.c_str());
    } else {
        status = items.GetMaterialData(number.c_str());
        if (status != 0) return Fail(status);
    }

    SetField(r.CompletionDate, in.dueDate.c_str());
    SetCp932Field(r.ItemName, sizeof r.ItemName, in.itemName);
    SetCp932Field(r.Memo, sizeof r.Memo, in.memo);
    SetField(r.PatientID, in.patientId.c_str());
    SetField(r.FinishedDate, in.finishedDate.c_str());
    SetField(r.StaffCode, in.staffCode.c_str());
    SetField(r.CategoryCode, in.categoryCode.c_str());
    r.DueKind = static_cast<uint8_t>(in.dueKind);
    char dueTime[sizeof r.DueTime] = "0000";
    if (in.dueKind == 2 && in.hour >= 0 && in.hour < 100 && in.minute >= 0 && in.minute < 100) {
        std::snprintf(dueTime, sizeof dueTime, "%02d%02d", in.hour, in.minute);
    }
    SetField(r.DueTime, dueTime);

    status = isNew ? items.Insert() : items.Update();
    if (status != 0) return Fail(status);
    status = CBaseDBCall::EndTran();
    if (status != 0) return Fail(status);
    if (savedNo != nullptr) *savedNo = number;
    return 0;
}
