// Table classes of accountdb.h.
#include "suite/dbcall/accountdb.h"

CContractDB::CContractDB(const char*) : CTableDB("CONTRACT.BTR") {}

int CContractDB::GetContractData(const char* patientId, const char* contractNo) {
    return GetEqualByParts(
        0, {{patientId, sizeof m_Data.PatientID}, {contractNo, sizeof m_Data.ContractNo}});
}

CContractItemDB::CContractItemDB(const char*) : CTableDB("CONTRACTITEM.BTR") {}

int CContractItemDB::GetContractItemData(const char* patientId, const char* contractNo,
                                         const char* itemNo) {
    return GetEqualByParts(0, {{patientId, sizeof m_Data.PatientID},
                               {contractNo, sizeof m_Data.ContractNo},
                               {itemNo, sizeof m_Data.ItemNo}});
}

CQuotationDB::CQuotationDB(const char*) : CTableDB("QUOTATION.BTR") {}

int CQuotationDB::GetQuotationData(const char* patientId, const char* quotationNo) {
    return GetEqualByParts(
        0, {{patientId, sizeof m_Data.PatientID}, {quotationNo, sizeof m_Data.QuotationNo}});
}

CQuotationItemDB::CQuotationItemDB(const char*) : CTableDB("QUOTATIONITEM.BTR") {}

CQuotationTblDB::CQuotationTblDB(const char*) : CTableDB("QUOTATIONTBL.BTR") {}

CQuotationGroupDB::CQuotationGroupDB(const char*) : CTableDB("QUOTATIONGROUP.BTR") {}

int CQuotationGroupDB::GetQuotationGroupData(const char* code) {
    return GetEqualByParts(0, {{code, sizeof m_Data.Code}});
}

CRecallDB::CRecallDB(const char*) : CTableDB("RECALL.BTR") {}

int CRecallDB::GetRecallData(const char* recallNo) {
    return GetEqualByParts(0, {{recallNo, sizeof m_Data.RecallNo}});
}

CRecallGroupDB::CRecallGroupDB(const char*) : CTableDB("RECALLGROUP.BTR") {}

int CRecallGroupDB::GetRecallGroupData(const char* code) {
    return GetEqualByParts(0, {{code, sizeof m_Data.Code}});
}
