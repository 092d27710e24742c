// The table catalogue: one row per key segment of every table, the tables in the suite's
// order, and the creation of table files from it.
#include "suite/dbcall/catalogue.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "recman/recman.h"
#include "suite/dbcall/accountdb.h"
#include "suite/dbcall/casedb.h"
#include "suite/dbcall/indexcontroldb.h"
#include "suite/dbcall/maildb.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/materialdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/saledb.h"
#include "suite/dbcall/xylodb.h"

namespace {

// A key segment over one record field: offset and width come from the struct.
#define VELO_SEGMENT(Record, key, member, type, duplicates)                                 \
    KeySegmentDesc {                                                                        \
        key, static_cast<uint32_t>(offsetof(Record, member)),                               \
            static_cast<uint32_t>(sizeof(Record::member)), KeySegmentType::type, duplicates \
    }

// A table row: the record length is the record struct's size.
#define VELO_TABLE(file, label, Record, keys, fields) \
    TableInfo { file, label, static_cast<uint32_t>(sizeof(Record)), keys, fields }

constexpr KeySegmentDesc kIndexControlKeys[] = {
    VELO_SEGMENT(tagINDEXCONTROLDB, 0, IndexName, kText, false),
};

constexpr KeySegmentDesc kPatient1Keys[] = {
    VELO_SEGMENT(tagPATIENT1DB, 0, PatientID, kText, false),
    VELO_SEGMENT(tagPATIENT1DB, 1, Name, kText, true),
    VELO_SEGMENT(tagPATIENT1DB, 2, Kana, kText, true),
    VELO_SEGMENT(tagPATIENT1DB, 3, ChartNo, kText, true),
};

constexpr KeySegmentDesc kPatient2Keys[] = {
    VELO_SEGMENT(tagPATIENT2DB, 0, PatientID, kText, false),
};

constexpr KeySegmentDesc kOldPatientKeys[] = {
    VELO_SEGMENT(tagOLDPATIENTDB, 0, PatientID, kText, false),
};

constexpr KeySegmentDesc kReservationKeys[] = {
    VELO_SEGMENT(tagRESERVATIONDB, 0, ReservationNo, kText, false),
    VELO_SEGMENT(tagRESERVATIONDB, 1, PatientID, kText, true),
    VELO_SEGMENT(tagRESERVATIONDB, 1, ReservationNo, kText, true),
    VELO_SEGMENT(tagRESERVATIONDB, 2, PatientID, kText, true),
    VELO_SEGMENT(tagRESERVATIONDB, 2, ResDate, kText, true),
    VELO_SEGMENT(tagRESERVATIONDB, 2, StartTime, kText, true),
    VELO_SEGMENT(tagRESERVATIONDB, 3, DoctorCode, kText, true),
    VELO_SEGMENT(tagRESERVATIONDB, 3, ResDate, kText, true),
    VELO_SEGMENT(tagRESERVATIONDB, 3, StartTime, kText, true),
    VELO_SEGMENT(tagRESERVATIONDB, 4, UnitCode, kText, true),
    VELO_SEGMENT(tagRESERVATIONDB, 4, ResDate, kText, true),
    VELO_SEGMENT(tagRESERVATIONDB, 4, StartTime, kText, true),
    VELO_SEGMENT(tagRESERVATIONDB, 5, MaterialNo, kText, true),
    VELO_SEGMENT(tagRESERVATIONDB, 6, ResDate, kText, true),
    VELO_SEGMENT(tagRESERVATIONDB, 6, StartTime, kText, true),
};

constexpr KeySegmentDesc kReservationStandbyKeys[] = {
    VELO_SEGMENT(tagRESERVATIONSTANDBYDB, 0, StandbyNo, kText, false),
    VELO_SEGMENT(tagRESERVATIONSTANDBYDB, 1, PatientID, kText, true),
    VELO_SEGMENT(tagRESERVATIONSTANDBYDB, 1, StandbyNo, kText, true),
    VELO_SEGMENT(tagRESERVATIONSTANDBYDB, 2, DateFrom, kText, true),
    VELO_SEGMENT(tagRESERVATIONSTANDBYDB, 2, StandbyNo, kText, true),
};

constexpr KeySegmentDesc kResReasonKeys[] = {
    VELO_SEGMENT(tagRESREASONDB, 0, ReasonCode, kText, false),
    VELO_SEGMENT(tagRESREASONDB, 1, ReasonCode, kText, true),
};

constexpr KeySegmentDesc kSaleKeys[] = {
    VELO_SEGMENT(tagSALEDB, 0, SaleNo, kText, false),
    VELO_SEGMENT(tagSALEDB, 1, PatientID, kText, true),
    VELO_SEGMENT(tagSALEDB, 1, SaleDate, kText, true),
    VELO_SEGMENT(tagSALEDB, 2, SaleDate, kText, true),
    VELO_SEGMENT(tagSALEDB, 2, SaleNo, kText, true),
};

constexpr KeySegmentDesc kSaleItemKeys[] = {
    VELO_SEGMENT(tagSALEITEM, 0, SaleNo, kText, false),
    VELO_SEGMENT(tagSALEITEM, 0, LineNo, kText, false),
    VELO_SEGMENT(tagSALEITEM, 1, PatientID, kText, true),
    VELO_SEGMENT(tagSALEITEM, 1, SaleDate, kText, true),
};

constexpr KeySegmentDesc kMaterialKeys[] = {
    VELO_SEGMENT(tagMATERIALDB, 0, MaterialNo, kText, false),
    VELO_SEGMENT(tagMATERIALDB, 1, CompletionDate, kText, true),
    VELO_SEGMENT(tagMATERIALDB, 1, MaterialNo, kText, true),
    VELO_SEGMENT(tagMATERIALDB, 2, PatientID, kText, true),
    VELO_SEGMENT(tagMATERIALDB, 2, MaterialNo, kText, true),
    VELO_SEGMENT(tagMATERIALDB, 3, PatientID, kText, true),
    VELO_SEGMENT(tagMATERIALDB, 3, CompletionDate, kText, true),
};

constexpr KeySegmentDesc kCategoryKeys[] = {
    VELO_SEGMENT(tagCATEGORYDB, 0, Type, kText, false),
    VELO_SEGMENT(tagCATEGORYDB, 0, Code, kText, false),
    VELO_SEGMENT(tagCATEGORYDB, 1, Type, kText, true),
    VELO_SEGMENT(tagCATEGORYDB, 1, Code, kText, true),
};

constexpr KeySegmentDesc kDoctorKeys[] = {
    VELO_SEGMENT(tagDOCTORDB, 0, Code, kText, false),
    VELO_SEGMENT(tagDOCTORDB, 1, Code, kText, true),
};

constexpr KeySegmentDesc kConditionKeys[] = {
    VELO_SEGMENT(tagCONDITIONDB, 0, Code, kText, false),
    VELO_SEGMENT(tagCONDITIONDB, 1, Code, kText, true),
};

constexpr KeySegmentDesc kIntroDrKeys[] = {
    VELO_SEGMENT(tagINTRODRDB, 0, Code, kText, false),
    VELO_SEGMENT(tagINTRODRDB, 1, Kana, kText, true),
};

constexpr KeySegmentDesc kCreditItemKeys[] = {
    VELO_SEGMENT(tagCREDITITEMDB, 0, CategoryCode, kText, false),
    VELO_SEGMENT(tagCREDITITEMDB, 0, ItemCode, kText, false),
    VELO_SEGMENT(tagCREDITITEMDB, 1, CategoryCode, kText, true),
    VELO_SEGMENT(tagCREDITITEMDB, 1, ItemCode, kText, true),
};

constexpr KeySegmentDesc kCreditCategoryKeys[] = {
    VELO_SEGMENT(tagCREDITCATEGORYDB, 0, Code, kText, false),
    VELO_SEGMENT(tagCREDITCATEGORYDB, 1, Code, kText, true),
};

constexpr KeySegmentDesc kCustomTblKeys[] = {
    VELO_SEGMENT(tagCUSTOMTBLDB, 0, TableID, kText, false),
    VELO_SEGMENT(tagCUSTOMTBLDB, 0, Code, kText, false),
    VELO_SEGMENT(tagCUSTOMTBLDB, 1, TableID, kText, true),
    VELO_SEGMENT(tagCUSTOMTBLDB, 1, Code, kText, true),
};

constexpr KeySegmentDesc kStaffKeys[] = {
    VELO_SEGMENT(tagSTAFFDB, 0, Code, kText, false),
    VELO_SEGMENT(tagSTAFFDB, 1, Code, kText, true),
};

constexpr KeySegmentDesc kReservationWayKeys[] = {
    VELO_SEGMENT(tagRESERVATIONWAYDB, 0, Code, kText, false),
    VELO_SEGMENT(tagRESERVATIONWAYDB, 1, Code, kText, true),
};

constexpr KeySegmentDesc kTreatmentCategoryKeys[] = {
    VELO_SEGMENT(tagTREATMENTCATEGORYDB, 0, Code, kText, false),
    VELO_SEGMENT(tagTREATMENTCATEGORYDB, 1, Code, kText, true),
};

constexpr KeySegmentDesc kTreatmentItemKeys[] = {
    VELO_SEGMENT(tagTREATMENTITEMDB, 0, CategoryCode, kText, false),
    VELO_SEGMENT(tagTREATMENTITEMDB, 0, ItemCode, kText, false),
    VELO_SEGMENT(tagTREATMENTITEMDB, 1, CategoryCode, kText, true),
    VELO_SEGMENT(tagTREATMENTITEMDB, 1, ItemCode, kText, true),
};

constexpr KeySegmentDesc kMaterialItemCateKeys[] = {
    VELO_SEGMENT(tagMATERIALITEMCATEDB, 0, Code, kText, false),
    VELO_SEGMENT(tagMATERIALITEMCATEDB, 1, Code, kText, true),
};

constexpr KeySegmentDesc kMaterialItemKeys[] = {
    VELO_SEGMENT(tagMATERIALITEMDB, 0, ItemNo, kText, false),
    VELO_SEGMENT(tagMATERIALITEMDB, 1, CategoryCode, kText, true),
    VELO_SEGMENT(tagMATERIALITEMDB, 1, ItemNo, kText, true),
};

constexpr KeySegmentDesc kReceptCategoryKeys[] = {
    VELO_SEGMENT(tagRECEPTCATEGORYDB, 0, Code, kText, false),
    VELO_SEGMENT(tagRECEPTCATEGORYDB, 1, Code, kText, true),
};

constexpr KeySegmentDesc kOwnerKeys[] = {
    VELO_SEGMENT(tagOWNERDB, 0, OwnerNo, kText, false),
};

constexpr KeySegmentDesc kRegiKeys[] = {
    VELO_SEGMENT(tagREGIDB, 0, RegiNo, kText, false),
    VELO_SEGMENT(tagREGIDB, 1, RegiDate, kText, true),
    VELO_SEGMENT(tagREGIDB, 1, RegiNo, kText, true),
};

constexpr KeySegmentDesc kContractKeys[] = {
    VELO_SEGMENT(tagCONTRACTDB, 0, PatientID, kText, false),
    VELO_SEGMENT(tagCONTRACTDB, 0, ContractNo, kText, false),
    VELO_SEGMENT(tagCONTRACTDB, 1, ContractDate, kText, true),
    VELO_SEGMENT(tagCONTRACTDB, 1, PatientID, kText, true),
};

constexpr KeySegmentDesc kContractItemKeys[] = {
    VELO_SEGMENT(tagCONTRACTITEMDB, 0, PatientID, kText, false),
    VELO_SEGMENT(tagCONTRACTITEMDB, 0, ContractNo, kText, false),
    VELO_SEGMENT(tagCONTRACTITEMDB, 0, ItemNo, kText, false),
    VELO_SEGMENT(tagCONTRACTITEMDB, 1, PatientID, kText, true),
    VELO_SEGMENT(tagCONTRACTITEMDB, 1, DueDate, kText, true),
    VELO_SEGMENT(tagCONTRACTITEMDB, 1, ItemNo, kText, true),
};

constexpr KeySegmentDesc kQuotationKeys[] = {
    VELO_SEGMENT(tagQUOTATIONDB, 0, PatientID, kText, false),
    VELO_SEGMENT(tagQUOTATIONDB, 0, QuotationNo, kText, false),
};

constexpr KeySegmentDesc kQuotationItemKeys[] = {
    VELO_SEGMENT(tagQUOTATIONITEMDB, 0, PatientID, kText, false),
    VELO_SEGMENT(tagQUOTATIONITEMDB, 0, QuotationNo, kText, false),
    VELO_SEGMENT(tagQUOTATIONITEMDB, 0, LineNo, kText, false),
};

constexpr KeySegmentDesc kQuotationTblKeys[] = {
    VELO_SEGMENT(tagQUOTATIONTBLDB, 0, GroupCode, kText, false),
    VELO_SEGMENT(tagQUOTATIONTBLDB, 0, LineNo, kText, false),
};

constexpr KeySegmentDesc kQuotationGroupKeys[] = {
    VELO_SEGMENT(tagQUOTATIONGROUPDB, 0, Code, kText, false),
    VELO_SEGMENT(tagQUOTATIONGROUPDB, 1, Code, kText, true),
};

constexpr KeySegmentDesc kRecallKeys[] = {
    VELO_SEGMENT(tagRECALLDB, 0, RecallNo, kText, false),
    VELO_SEGMENT(tagRECALLDB, 1, PatientID, kText, true),
    VELO_SEGMENT(tagRECALLDB, 1, RecallDate, kText, true),
    VELO_SEGMENT(tagRECALLDB, 2, RecallDate, kText, true),
    VELO_SEGMENT(tagRECALLDB, 2, RecallNo, kText, true),
};

constexpr KeySegmentDesc kRecallGroupKeys[] = {
    VELO_SEGMENT(tagRECALLGROUPDB, 0, Code, kText, false),
    VELO_SEGMENT(tagRECALLGROUPDB, 1, Code, kText, true),
};

constexpr KeySegmentDesc kCasePaKeys[] = {
    VELO_SEGMENT(tagCASEPADB, 0, Code, kText, false),
};

constexpr KeySegmentDesc kCaseKeys[] = {
    VELO_SEGMENT(tagCASEDB, 0, GroupCode, kText, false),
    VELO_SEGMENT(tagCASEDB, 0, Code, kText, false),
};

constexpr KeySegmentDesc kCaseRefKeys[] = {
    VELO_SEGMENT(tagCASEREFDB, 0, Code, kText, false),
};

constexpr KeySegmentDesc kCaseRRegKeys[] = {
    VELO_SEGMENT(tagCASERREGDB, 0, RefCode, kText, false),
    VELO_SEGMENT(tagCASERREGDB, 0, GroupCode, kText, false),
    VELO_SEGMENT(tagCASERREGDB, 0, Code, kText, false),
};

constexpr KeySegmentDesc kCaseRegKeys[] = {
    VELO_SEGMENT(tagCASEREGDB, 0, PatientID, kText, false),
    VELO_SEGMENT(tagCASEREGDB, 0, GroupCode, kText, false),
    VELO_SEGMENT(tagCASEREGDB, 0, Code, kText, false),
};

constexpr KeySegmentDesc kSentAndReceivedKeys[] = {
    VELO_SEGMENT(tagSENTANDRECEIVEDDB, 0, MailID, kText, false),
    VELO_SEGMENT(tagSENTANDRECEIVEDDB, 1, Direction, kBytes, true),
    VELO_SEGMENT(tagSENTANDRECEIVEDDB, 1, MailNo, kText, true),
    VELO_SEGMENT(tagSENTANDRECEIVEDDB, 2, PatientID, kText, true),
    VELO_SEGMENT(tagSENTANDRECEIVEDDB, 2, MailID, kText, true),
};

constexpr KeySegmentDesc kAddLatKeys[] = {
    VELO_SEGMENT(tagADDLATDB, 0, PatientID, kText, false),
    VELO_SEGMENT(tagADDLATDB, 0, RecordNo, kText, false),
};

constexpr KeySegmentDesc kCasMasKeys[] = {
    VELO_SEGMENT(tagCASMASDB, 0, PatientID, kText, false),
    VELO_SEGMENT(tagCASMASDB, 0, RecordNo, kText, false),
};

constexpr KeySegmentDesc kChevronKeys[] = {
    VELO_SEGMENT(tagCHEVRONDB, 0, PatientID, kText, false),
    VELO_SEGMENT(tagCHEVRONDB, 0, RecordNo, kText, false),
};

constexpr KeySegmentDesc kCvbaKeys[] = {
    VELO_SEGMENT(tagCVBADB, 0, PatientID, kText, false),
    VELO_SEGMENT(tagCVBADB, 0, RecordNo, kText, false),
};

constexpr KeySegmentDesc kLasKeys[] = {
    VELO_SEGMENT(tagLASDB, 0, PatientID, kText, false),
    VELO_SEGMENT(tagLASDB, 0, RecordNo, kText, false),
};

constexpr KeySegmentDesc kMoexKeys[] = {
    VELO_SEGMENT(tagMOEXDB, 0, PatientID, kText, false),
    VELO_SEGMENT(tagMOEXDB, 0, RecordNo, kText, false),
};

constexpr KeySegmentDesc kMvtoKeys[] = {
    VELO_SEGMENT(tagMVTODB, 0, PatientID, kText, false),
    VELO_SEGMENT(tagMVTODB, 0, RecordNo, kText, false),
};

constexpr KeySegmentDesc kPileLatKeys[] = {
    VELO_SEGMENT(tagPILELATDB, 0, PatientID, kText, false),
    VELO_SEGMENT(tagPILELATDB, 0, RecordNo, kText, false),
};

constexpr KeySegmentDesc kPilePaKeys[] = {
    VELO_SEGMENT(tagPILEPADB, 0, PatientID, kText, false),
    VELO_SEGMENT(tagPILEPADB, 0, RecordNo, kText, false),
};

constexpr KeySegmentDesc kPointLatKeys[] = {
    VELO_SEGMENT(tagPOINTLATDB, 0, PatientID, kText, false),
    VELO_SEGMENT(tagPOINTLATDB, 0, RecordNo, kText, false),
};

constexpr KeySegmentDesc kPointPaKeys[] = {
    VELO_SEGMENT(tagPOINTPADB, 0, PatientID, kText, false),
    VELO_SEGMENT(tagPOINTPADB, 0, RecordNo, kText, false),
};

constexpr KeySegmentDesc kSpPointKeys[] = {
    VELO_SEGMENT(tagSPPOINTDB, 0, PatientID, kText, false),
    VELO_SEGMENT(tagSPPOINTDB, 0, RecordNo, kText, false),
};

constexpr KeySegmentDesc kSpPointPKeys[] = {
    VELO_SEGMENT(tagSPPOINTPDB, 0, PatientID, kText, false),
    VELO_SEGMENT(tagSPPOINTPDB, 0, RecordNo, kText, false),
};

constexpr KeySegmentDesc kPhotoKeys[] = {
    VELO_SEGMENT(tagPHOTODB, 0, PatientID, kBytes, false),
    VELO_SEGMENT(tagPHOTODB, 0, RecordNo, kBytes, false),
};

constexpr KeySegmentDesc kPointMoKeys[] = {
    VELO_SEGMENT(tagPOINTMODB, 0, PatientID, kBytes, false),
    VELO_SEGMENT(tagPOINTMODB, 0, RecordNo, kBytes, false),
};

constexpr KeySegmentDesc kPointMo2Keys[] = {
    VELO_SEGMENT(tagPOINTMO2DB, 0, PatientID, kBytes, false),
    VELO_SEGMENT(tagPOINTMO2DB, 0, RecordNo, kBytes, false),
};

constexpr KeySegmentDesc kReportKeys[] = {
    VELO_SEGMENT(tagREPORTDB, 0, PatientID, kBytes, false),
    VELO_SEGMENT(tagREPORTDB, 0, RecordNo, kBytes, false),
};

constexpr KeySegmentDesc kSlideShowKeys[] = {
    VELO_SEGMENT(tagSLIDESHOWDB, 0, PatientID, kBytes, false),
    VELO_SEGMENT(tagSLIDESHOWDB, 0, RecordNo, kBytes, false),
};

constexpr KeySegmentDesc kXyPhotoExKeys[] = {
    VELO_SEGMENT(tagXYPHOTOEXDB, 0, PatientID, kBytes, false),
    VELO_SEGMENT(tagXYPHOTOEXDB, 0, RecordNo, kBytes, false),
};

constexpr KeySegmentDesc kXyPhotoExImgKeys[] = {
    VELO_SEGMENT(tagXYPHOTOEXIMGDB, 0, PatientID, kBytes, false),
    VELO_SEGMENT(tagXYPHOTOEXIMGDB, 0, RecordNo, kBytes, false),
    VELO_SEGMENT(tagXYPHOTOEXIMGDB, 0, ImageNo, kBytes, false),
};

constexpr KeySegmentDesc kXyPhotoExTextKeys[] = {
    VELO_SEGMENT(tagXYPHOTOEXTEXTDB, 0, PatientID, kBytes, false),
    VELO_SEGMENT(tagXYPHOTOEXTEXTDB, 0, RecordNo, kBytes, false),
    VELO_SEGMENT(tagXYPHOTOEXTEXTDB, 0, TextNo, kBytes, false),
};

constexpr KeySegmentDesc kSurgeryKeys[] = {
    VELO_SEGMENT(tagSURGERYDB, 0, PatientID, kBytes, false),
    VELO_SEGMENT(tagSURGERYDB, 0, RecordNo, kBytes, false),
    VELO_SEGMENT(tagSURGERYDB, 0, SurgeryNo, kBytes, false),
};

constexpr KeySegmentDesc kSurgeryTreatmentKeys[] = {
    VELO_SEGMENT(tagSURGERYTREATMENTDB, 0, PatientID, kBytes, false),
    VELO_SEGMENT(tagSURGERYTREATMENTDB, 0, RecordNo, kBytes, false),
    VELO_SEGMENT(tagSURGERYTREATMENTDB, 0, SurgeryNo, kBytes, false),
    VELO_SEGMENT(tagSURGERYTREATMENTDB, 0, StepNo, kBytes, false),
};

constexpr KeySegmentDesc kTextTblKeys[] = {
    VELO_SEGMENT(tagTEXTTBLDB, 0, TextID, kText, false),
};

constexpr KeySegmentDesc kImgTypeKeys[] = {
    VELO_SEGMENT(tagIMGTYPEDB, 0, Code, kText, false),
};

const TableInfo kTables[] = {
    VELO_TABLE("INDEXCONTROL.BTR", "INDEXCONTROL_DB", tagINDEXCONTROLDB, kIndexControlKeys,
               kIndexControlFields),
    VELO_TABLE("PATIENT1.BTR", "PATIENT_DB", tagPATIENT1DB, kPatient1Keys, kPatient1Fields),
    VELO_TABLE("PATIENT2.BTR", "PATIENT2_DB", tagPATIENT2DB, kPatient2Keys, kPatient2Fields),
    VELO_TABLE("RESERVATION.BTR", "RESERVATION_DB", tagRESERVATIONDB, kReservationKeys,
               kReservationFields),
    VELO_TABLE("CATEGORY.BTR", "CATEGORY_DB", tagCATEGORYDB, kCategoryKeys, kCategoryFields),
    VELO_TABLE("CONDITION.BTR", "CONDITION_DB", tagCONDITIONDB, kConditionKeys, kConditionFields),
    VELO_TABLE("DOCTOR.BTR", "DOCTOR_DB", tagDOCTORDB, kDoctorKeys, kDoctorFields),
    VELO_TABLE("INTRODR.BTR", "INTRODR_DB", tagINTRODRDB, kIntroDrKeys, kIntroDrFields),
    VELO_TABLE("CREDITITEM.BTR", "CREDITITEM_DB", tagCREDITITEMDB, kCreditItemKeys,
               kCreditItemFields),
    VELO_TABLE("CONTRACT.BTR", "CONTRACT_DB", tagCONTRACTDB, kContractKeys, kContractFields),
    VELO_TABLE("RECALL.BTR", "RECALL_DB", tagRECALLDB, kRecallKeys, kRecallFields),
    VELO_TABLE("RESREASON.BTR", "RESREASON_DB", tagRESREASONDB, kResReasonKeys, kResReasonFields),
    VELO_TABLE("QUOTATION.BTR", "QUOTATION_DB", tagQUOTATIONDB, kQuotationKeys, kQuotationFields),
    VELO_TABLE("QUOTATIONITEM.BTR", "QUOTATIONITEM_DB", tagQUOTATIONITEMDB, kQuotationItemKeys,
               kQuotationItemFields),
    VELO_TABLE("QUOTATIONTBL.BTR", "QUOTATIONTBL_DB", tagQUOTATIONTBLDB, kQuotationTblKeys,
               kQuotationTblFields),
    VELO_TABLE("CASEPA.BTR", "CASE_DB", tagCASEPADB, kCasePaKeys, kCasePaFields),
    VELO_TABLE("CASE.BTR", "CASE_DB", tagCASEDB, kCaseKeys, kCaseFields),
    VELO_TABLE("CONTRACTITEM.BTR", "CONTRACTITEM_DB", tagCONTRACTITEMDB, kContractItemKeys,
               kContractItemFields),
    VELO_TABLE("SALE.BTR", "SALE_DB", tagSALEDB, kSaleKeys, kSaleFields),
    VELO_TABLE("SALEITEM.BTR", "SALEITEM_DB", tagSALEITEM, kSaleItemKeys, kSaleItemFields),
    VELO_TABLE("CREDITCATEGORY.BTR", "CREDITCATEGORY_DB", tagCREDITCATEGORYDB, kCreditCategoryKeys,
               kCreditCategoryFields),
    VELO_TABLE("QUOTATIONGROUP.BTR", "QUOTATIONGROUP_DB", tagQUOTATIONGROUPDB, kQuotationGroupKeys,
               kQuotationGroupFields),
    VELO_TABLE("RECALLGROUP.BTR", "RECALLGROUP_DB", tagRECALLGROUPDB, kRecallGroupKeys,
               kRecallGroupFields),
    VELO_TABLE("CUSTOMTBL.BTR", "CUSTOMTBL_DB", tagCUSTOMTBLDB, kCustomTblKeys, kCustomTblFields),
    VELO_TABLE("MATERIAL.BTR", "MATERIAL_DB", tagMATERIALDB, kMaterialKeys, kMaterialFields),
    VELO_TABLE("MATERIALITEM.BTR", "MATERIALITEM_DB", tagMATERIALITEMDB, kMaterialItemKeys,
               kMaterialItemFields),
    VELO_TABLE("CASEREG.BTR", "CASEREG_DB", tagCASEREGDB, kCaseRegKeys, kCaseRegFields),
    VELO_TABLE("CASEREF.BTR", "CASEREF_DB", tagCASEREFDB, kCaseRefKeys, kCaseRefFields),
    VELO_TABLE("CASERREG.BTR", "CASERREG_DB", tagCASERREGDB, kCaseRRegKeys, kCaseRRegFields),
    VELO_TABLE("MATERIALITEMCATE.BTR", "MATERIALITEMCATE_DB", tagMATERIALITEMCATEDB,
               kMaterialItemCateKeys, kMaterialItemCateFields),
    VELO_TABLE("PATIENT.BTR", "OLDPATIENT_DB", tagOLDPATIENTDB, kOldPatientKeys, kOldPatientFields),
    VELO_TABLE("STAFF.BTR", "STAFF_DB", tagSTAFFDB, kStaffKeys, kStaffFields),
    VELO_TABLE("TREATMENTCATEGORY.BTR", "TREATMENTCATEGORY_DB", tagTREATMENTCATEGORYDB,
               kTreatmentCategoryKeys, kTreatmentCategoryFields),
    VELO_TABLE("TREATMENTITEM.BTR", "TREATMENTITEM_DB", tagTREATMENTITEMDB, kTreatmentItemKeys,
               kTreatmentItemFields),
    VELO_TABLE("RESERVATIONSTANDBY.BTR", "RESERVATIONSTANDBY_DB", tagRESERVATIONSTANDBYDB,
               kReservationStandbyKeys, kReservationStandbyFields),
    VELO_TABLE("RESERVATIONWAY.BTR", "RESERVATIONWAY_DB", tagRESERVATIONWAYDB, kReservationWayKeys,
               kReservationWayFields),
    VELO_TABLE("SENTANDRECEIVED.BTR", "SENTANDRECEIVED_DB", tagSENTANDRECEIVEDDB,
               kSentAndReceivedKeys, kSentAndReceivedFields),
    VELO_TABLE("OWNER.BTR", "OWNER_DB", tagOWNERDB, kOwnerKeys, kOwnerFields),
    VELO_TABLE("RECEPTCATEGORY.BTR", "RECEPTCATEGORY_DB", tagRECEPTCATEGORYDB, kReceptCategoryKeys,
               kReceptCategoryFields),
    VELO_TABLE("REGI.BTR", "REGI_DB", tagREGIDB, kRegiKeys, kRegiFields),
    // The cephalometric product's tables that the merger moves, then the files it copies whole.
    VELO_TABLE("ADDLAT.BTR", "ADDLAT_DB", tagADDLATDB, kAddLatKeys, kAddLatFields),
    VELO_TABLE("CASMAS.BTR", "CASMAS_DB", tagCASMASDB, kCasMasKeys, kCasMasFields),
    VELO_TABLE("CHEVRON.BTR", "CHEVRON_DB", tagCHEVRONDB, kChevronKeys, kChevronFields),
    VELO_TABLE("CVBA.BTR", "CVBA_DB", tagCVBADB, kCvbaKeys, kCvbaFields),
    VELO_TABLE("LAS.BTR", "LAS_DB", tagLASDB, kLasKeys, kLasFields),
    VELO_TABLE("MOEX.BTR", "MOEX_DB", tagMOEXDB, kMoexKeys, kMoexFields),
    VELO_TABLE("MVTO.BTR", "MVTO_DB", tagMVTODB, kMvtoKeys, kMvtoFields),
    VELO_TABLE("PILELAT.BTR", "PILELAT_DB", tagPILELATDB, kPileLatKeys, kPileLatFields),
    VELO_TABLE("PILEPA.BTR", "PILEPA_DB", tagPILEPADB, kPilePaKeys, kPilePaFields),
    VELO_TABLE("POINTLAT.BTR", "POINTLAT_DB", tagPOINTLATDB, kPointLatKeys, kPointLatFields),
    VELO_TABLE("POINTPA.BTR", "POINTPA_DB", tagPOINTPADB, kPointPaKeys, kPointPaFields),
    VELO_TABLE("SPPOINT.BTR", "SPPOINT_DB", tagSPPOINTDB, kSpPointKeys, kSpPointFields),
    VELO_TABLE("SPPOINTP.BTR", "SPPOINTP_DB", tagSPPOINTPDB, kSpPointPKeys, kSpPointPFields),
    VELO_TABLE("PHOTO.BTR", "PHOTO_DB", tagPHOTODB, kPhotoKeys, kPhotoFields),
    VELO_TABLE("POINTMO.BTR", "POINTMO_DB", tagPOINTMODB, kPointMoKeys, kPointMoFields),
    VELO_TABLE("POINTMO2.BTR", "POINTMO2_DB", tagPOINTMO2DB, kPointMo2Keys, kPointMo2Fields),
    VELO_TABLE("REPORT.BTR", "REPORT_DB", tagREPORTDB, kReportKeys, kReportFields),
    VELO_TABLE("SLIDESHOW.BTR", "SLIDESHOW_DB", tagSLIDESHOWDB, kSlideShowKeys, kSlideShowFields),
    VELO_TABLE("XYPHOTOEX.BTR", "XYPHOTOEX_DB", tagXYPHOTOEXDB, kXyPhotoExKeys, kXyPhotoExFields),
    VELO_TABLE("XYPHOTOEXIMG.BTR", "XYPHOTOEXIMG_DB", tagXYPHOTOEXIMGDB, kXyPhotoExImgKeys,
               kXyPhotoExImgFields),
    VELO_TABLE("XYPHOTOEXTEXT.BTR", "XYPHOTOEXTEXT_DB", tagXYPHOTOEXTEXTDB, kXyPhotoExTextKeys,
               kXyPhotoExTextFields),
    VELO_TABLE("SURGERY.BTR", "SURGERY_DB", tagSURGERYDB, kSurgeryKeys, kSurgeryFields),
    VELO_TABLE("SURGERYTREATMENT.BTR", "SURGERYTREATMENT_DB", tagSURGERYTREATMENTDB,
               kSurgeryTreatmentKeys, kSurgeryTreatmentFields),
    VELO_TABLE("TEXTTBL.BTR", "TEXTTBL_DB", tagTEXTTBLDB, kTextTblKeys, kTextTblFields),
    VELO_TABLE("IMGTYPE.BTR", "IMGTYPE_DB", tagIMGTYPEDB, kImgTypeKeys, kImgTypeFields),
};

#undef VELO_TABLE
#undef VELO_SEGMENT

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

uint8_t RecmanType(KeySegmentType type) {
    switch (type) {
        case KeySegmentType::kText:
            return recman::kTypeText;
        case KeySegmentType::kInteger:
            return recman::kTypeInteger;
        case KeySegmentType::kBytes:
            break;
    }
    return recman::kTypeBytes;
}

}  // namespace

int TableInfo::KeyCount() const {
    int count = 0;
    for (const KeySegmentDesc& segment : segments) {
        count = std::max(count, segment.key + 1);
    }
    return count;
}

uint32_t TableInfo::KeyLength(int key) const {
    uint32_t length = 0;
    for (const KeySegmentDesc& segment : segments) {
        if (segment.key == key) {
            length += segment.length;
        }
    }
    return length;
}

std::span<const TableInfo> AllTables() { return kTables; }

const TableInfo* FindTable(std::string_view fileName) {
    std::string name(fileName);
    if (name.size() < 4 || !SameName(std::string_view(name).substr(name.size() - 4), ".BTR")) {
        name += ".BTR";
    }
    for (const TableInfo& table : kTables) {
        if (SameName(table.fileName, name)) {
            return &table;
        }
    }
    return nullptr;
}

int CreateTableFile(const std::string& folder, const TableInfo& table) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    path += table.fileName;
    if (folder.empty() || path.size() + 1 > static_cast<size_t>(recman::kMaxKeyLength)) {
        return recman::kFileNotFound;
    }

    recman::FileSpec spec{};
    spec.recordLength = static_cast<uint16_t>(table.recordLength);
    spec.keyCount = static_cast<uint16_t>(table.KeyCount());
    std::vector<unsigned char> buffer(sizeof spec +
                                      table.segments.size() * sizeof(recman::KeySpec));
    std::memcpy(buffer.data(), &spec, sizeof spec);
    for (size_t i = 0; i < table.segments.size(); ++i) {
        const KeySegmentDesc& segment = table.segments[i];
        const bool continues =
            i + 1 < table.segments.size() && table.segments[i + 1].key == segment.key;
        recman::KeySpec key{};
        key.position = static_cast<uint16_t>(segment.offset + 1);
        key.length = static_cast<uint16_t>(segment.length);
        key.flags = recman::kKeyExtendedType | recman::kKeyModifiable;
        if (segment.duplicates) {
            key.flags |= recman::kKeyDuplicates;
        }
        if (continues) {
            key.flags |= recman::kKeySegmented;
        }
        key.extendedType = RecmanType(segment.type);
        key.keyNumber = segment.key;
        std::memcpy(buffer.data() + sizeof spec + i * sizeof key, &key, sizeof key);
    }

    unsigned char positionBlock[recman::kPositionBlockSize] = {};
    char pathBuffer[recman::kMaxKeyLength] = {};
    std::memcpy(pathBuffer, path.c_str(), path.size());
    uint32_t length = static_cast<uint32_t>(buffer.size());
    return BTRCALL(recman::kOpCreate, positionBlock, buffer.data(), &length, pathBuffer,
                   recman::kMaxKeyLength, recman::kCreateOverwrite);
}

int CreateTableFile(const std::string& folder, std::string_view fileName) {
    const TableInfo* table = FindTable(fileName);
    if (table == nullptr) {
        return recman::kFileNotFound;
    }
    return CreateTableFile(folder, *table);
}

int CreateAllTables(const std::string& folder) {
    for (const TableInfo& table : kTables) {
        const int status = CreateTableFile(folder, table);
        if (status != recman::kOk) {
            return status;
        }
    }
    return recman::kOk;
}
