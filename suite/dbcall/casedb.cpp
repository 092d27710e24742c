// Table classes of casedb.h.
#include "suite/dbcall/casedb.h"

CCasePaDB::CCasePaDB(const char*) : CTableDB("CASEPA.BTR") {}

int CCasePaDB::GetCasePaData(const char* code) {
    return GetEqualByParts(0, {{code, sizeof m_Data.Code}});
}

CCaseDB::CCaseDB(const char*) : CTableDB("CASE.BTR") {}

int CCaseDB::GetCaseData(const char* group, const char* code) {
    return GetEqualByParts(0, {{group, sizeof m_Data.GroupCode}, {code, sizeof m_Data.Code}});
}

CCaseRefDB::CCaseRefDB(const char*) : CTableDB("CASEREF.BTR") {}

int CCaseRefDB::GetCaseRefData(const char* code) {
    return GetEqualByParts(0, {{code, sizeof m_Data.Code}});
}

CCaseRRegDB::CCaseRRegDB(const char*) : CTableDB("CASERREG.BTR") {}

CCaseRegDB::CCaseRegDB(const char*) : CTableDB("CASEREG.BTR") {}
