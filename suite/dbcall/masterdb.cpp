// Table classes of masterdb.h.
#include "suite/dbcall/masterdb.h"

CCategoryDB::CCategoryDB(const char*) : CTableDB("CATEGORY.BTR") {}

int CCategoryDB::GetCategoryData(const char* type, const char* code) {
    return GetEqualByParts(0, {{type, sizeof m_Data.Type}, {code, sizeof m_Data.Code}});
}

CDoctorDB::CDoctorDB(const char*) : CTableDB("DOCTOR.BTR") {}

int CDoctorDB::GetDoctorData(const char* code) {
    return GetEqualByParts(0, {{code, sizeof m_Data.Code}});
}

CConditionDB::CConditionDB(const char*) : CTableDB("CONDITION.BTR") {}

int CConditionDB::GetConditionData(const char* code) {
    return GetEqualByParts(0, {{code, sizeof m_Data.Code}});
}

CIntroDrDB::CIntroDrDB(const char*) : CTableDB("INTRODR.BTR") {}

int CIntroDrDB::GetIntroDrData(const char* code) {
    return GetEqualByParts(0, {{code, sizeof m_Data.Code}});
}

CCreditItemDB::CCreditItemDB(const char*) : CTableDB("CREDITITEM.BTR") {}

int CCreditItemDB::GetCreditItemData(const char* category, const char* code) {
    return GetEqualByParts(
        0, {{category, sizeof m_Data.CategoryCode}, {code, sizeof m_Data.ItemCode}});
}

CCreditCategoryDB::CCreditCategoryDB(const char*) : CTableDB("CREDITCATEGORY.BTR") {}

int CCreditCategoryDB::GetCreditCategoryData(const char* code) {
    return GetEqualByParts(0, {{code, sizeof m_Data.Code}});
}

CCustomTblDB::CCustomTblDB(const char*) : CTableDB("CUSTOMTBL.BTR") {}

int CCustomTblDB::GetCustomTblData(const char* table, const char* code) {
    return GetEqualByParts(0, {{table, sizeof m_Data.TableID}, {code, sizeof m_Data.Code}});
}

CStaffDB::CStaffDB(const char*) : CTableDB("STAFF.BTR") {}

int CStaffDB::GetStaffData(const char* code) {
    return GetEqualByParts(0, {{code, sizeof m_Data.Code}});
}

CReservationWayDB::CReservationWayDB(const char*) : CTableDB("RESERVATIONWAY.BTR") {}

int CReservationWayDB::GetReservationWayData(const char* code) {
    return GetEqualByParts(0, {{code, sizeof m_Data.Code}});
}

CTreatmentCategoryDB::CTreatmentCategoryDB(const char*) : CTableDB("TREATMENTCATEGORY.BTR") {}

int CTreatmentCategoryDB::GetTreatmentCategoryData(const char* code) {
    return GetEqualByParts(0, {{code, sizeof m_Data.Code}});
}

CTreatmentItemDB::CTreatmentItemDB(const char*) : CTableDB("TREATMENTITEM.BTR") {}

int CTreatmentItemDB::GetTreatmentItemData(const char* category, const char* code) {
    return GetEqualByParts(
        0, {{category, sizeof m_Data.CategoryCode}, {code, sizeof m_Data.ItemCode}});
}

CMaterialItemCateDB::CMaterialItemCateDB(const char*) : CTableDB("MATERIALITEMCATE.BTR") {}

int CMaterialItemCateDB::GetMaterialItemCateData(const char* code) {
    return GetEqualByParts(0, {{code, sizeof m_Data.Code}});
}

CMaterialItemDB::CMaterialItemDB(const char*) : CTableDB("MATERIALITEM.BTR") {}

int CMaterialItemDB::GetMaterialItemData(const char* itemNo) {
    return GetEqualByParts(0, {{itemNo, sizeof m_Data.ItemNo}});
}

CReceptCategoryDB::CReceptCategoryDB(const char*) : CTableDB("RECEPTCATEGORY.BTR") {}

int CReceptCategoryDB::GetReceptCategoryData(const char* code) {
    return GetEqualByParts(0, {{code, sizeof m_Data.Code}});
}

COwnerDB::COwnerDB(const char*) : CTableDB("OWNER.BTR") {}

int COwnerDB::GetOwnerData(const char* ownerNo) {
    return GetEqualByParts(0, {{ownerNo, sizeof m_Data.OwnerNo}});
}

CRegiDB::CRegiDB(const char*) : CTableDB("REGI.BTR") {}

int CRegiDB::GetRegiData(const char* regiNo) {
    return GetEqualByParts(0, {{regiNo, sizeof m_Data.RegiNo}});
}
