// The merger's table catalogue and its table classes.
#include "merger/btrtables.h"

#include <QString>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "suite/text/hostprofile.h"

namespace unita {
namespace {

constexpr SKeyPart Text(uint16_t offset, uint16_t length) { return {offset, length, true}; }
constexpr SKeyPart Bytes(uint16_t offset, uint16_t length) { return {offset, length, false}; }

// Patient identifier (21) and record number (11), the key of most per-patient tables.
#define UNITA_ID_NUMBER_TEXT {Text(0, 21), Text(21, 11)}, 2
#define UNITA_ID_NUMBER_BYTES {Bytes(0, 21), Bytes(21, 11)}, 2

// The catalogue reads as a table, one row per file.
// clang-format off
enum ETable : int {
    kOldPatient, kPatient1, kPatient2, kAddLat, kCasMas, kChevron, kCvba, kLas, kMoex, kMvto,
    kPileLat, kPilePa, kPointLat, kPointPa, kSpPoint, kSpPointP, kPhoto, kPointMo, kPointMo2,
    kReport, kSlideShow, kXyPhotoEx, kXyPhotoExImg, kXyPhotoExText, kSurgery, kSurgeryTreatment,
    kCaseReg, kCase, kCasePa, kCaseRef, kCaseRReg, kCondition, kDoctor, kCustomTbl, kTableCount
};

constexpr SBtrTableDef kTables[kTableCount] = {
    {"PATIENT.BTR", "OLDPATIENT_DB", sizeof(tagOLDPATIENTDB), 21, {Text(0, 21)}, 1, false},
    {"PATIENT1.BTR", "PATIENT_DB", sizeof(tagPATIENT1DB), 21, {Text(0, 21)}, 1, false},
    {"PATIENT2.BTR", "PATIENT2_DB", sizeof(tagPATIENT2DB), 21, {Text(0, 21)}, 1, false},
    {"ADDLAT.BTR", "ADDLAT_DB", sizeof(tagADDLATDB), 32, UNITA_ID_NUMBER_TEXT, false},
    {"CASMAS.BTR", "CASMAS_DB", sizeof(tagCASMASDB), 32, UNITA_ID_NUMBER_TEXT, false},
    {"CHEVRON.BTR", "CHEVRON_DB", sizeof(tagCHEVRONDB), 32, UNITA_ID_NUMBER_TEXT, false},
    {"CVBA.BTR", "CVBA_DB", sizeof(tagCVBADB), 32, UNITA_ID_NUMBER_TEXT, false},
    {"LAS.BTR", "LAS_DB", sizeof(tagLASDB), 32, UNITA_ID_NUMBER_TEXT, false},
    {"MOEX.BTR", "MOEX_DB", sizeof(tagMOEXDB), 32, UNITA_ID_NUMBER_TEXT, false},
    {"MVTO.BTR", "MVTO_DB", sizeof(tagMVTODB), 32, UNITA_ID_NUMBER_TEXT, false},
    {"PILELAT.BTR", "PILELAT_DB", sizeof(tagPILELATDB), 32, UNITA_ID_NUMBER_TEXT, false},
    {"PILEPA.BTR", "PILEPA_DB", sizeof(tagPILEPADB), 32, UNITA_ID_NUMBER_TEXT, false},
    {"POINTLAT.BTR", "POINTLAT_DB", sizeof(tagPOINTLATDB), 32, UNITA_ID_NUMBER_TEXT, false},
    {"POINTPA.BTR", "POINTPA_DB", sizeof(tagPOINTPADB), 32, UNITA_ID_NUMBER_TEXT, false},
    {"SPPOINT.BTR", "SPPOINT_DB", sizeof(tagSPPOINTDB), 32, UNITA_ID_NUMBER_TEXT, false},
    {"SPPOINTP.BTR", "SPPOINTP_DB", sizeof(tagSPPOINTPDB), 32, UNITA_ID_NUMBER_TEXT, false},
    {"PHOTO.BTR", "PHOTO_DB", sizeof(tagPHOTODB), 32, UNITA_ID_NUMBER_BYTES, false},
    {"POINTMO.BTR", "POINTMO_DB", sizeof(tagPOINTMODB), 32, UNITA_ID_NUMBER_BYTES, false},
    {"POINTMO2.BTR", "POINTMO2_DB", sizeof(tagPOINTMO2DB), 32, UNITA_ID_NUMBER_BYTES, false},
    {"REPORT.BTR", "REPORT_DB", sizeof(tagREPORTDB), 32, UNITA_ID_NUMBER_BYTES, false},
    {"SLIDESHOW.BTR", "SLIDESHOW_DB", sizeof(tagSLIDESHOWDB), 32, UNITA_ID_NUMBER_BYTES, false},
    {"XYPHOTOEX.BTR", "XYPHOTOEX_DB", sizeof(tagXYPHOTOEXDB), 32, UNITA_ID_NUMBER_BYTES, false},
    {"XYPHOTOEXIMG.BTR", "XYPHOTOEXIMG_DB", sizeof(tagXYPHOTOEXIMGDB), 38,
     {Bytes(0, 21), Bytes(21, 11), Bytes(32, 6)}, 3, false},
    {"XYPHOTOEXTEXT.BTR", "XYPHOTOEXTEXT_DB", sizeof(tagXYPHOTOEXTEXTDB), 38,
     {Bytes(0, 21), Bytes(21, 11), Bytes(32, 6)}, 3, false},
    {"SURGERY.BTR", "SURGERY_DB", sizeof(tagSURGERYDB), 43,
     {Bytes(0, 21), Bytes(21, 11), Bytes(32, 11)}, 3, false},
    {"SURGERYTREATMENT.BTR", "SURGERYTREATMENT_DB", sizeof(tagSURGERYTREATMENTDB), 48,
     {Bytes(0, 21), Bytes(21, 11), Bytes(32, 11), Bytes(43, 5)}, 4, false},
    {"CASEREG.BTR", "CASEREG_DB", sizeof(tagCASEREGDB), 29,
     {Text(0, 21), Text(21, 4), Text(25, 4)}, 3, true},
    {"CASE.BTR", "CASE_DB", sizeof(tagCASEDB), 8, {Text(0, 4), Text(4, 4)}, 2, false},
    {"CASEPA.BTR", "CASE_DB", sizeof(tagCASEPADB), 4, {Text(0, 4)}, 1, false},
    {"CASEREF.BTR", "CASEREF_DB", sizeof(tagCASEREFDB), 4, {Text(0, 4)}, 1, false},
    {"CASERREG.BTR", "CASERREG_DB", sizeof(tagCASERREGDB), 12,
     {Text(0, 4), Text(4, 4), Text(8, 4)}, 3, false},
    {"CONDITION.BTR", "CONDITION_DB", sizeof(tagCONDITIONDB), 3, {Text(0, 3)}, 1, true},
    {"DOCTOR.BTR", "DOCTOR_DB", sizeof(tagDOCTORDB), 3, {Text(0, 3)}, 1, false},
    {"CUSTOMTBL.BTR", "CUSTOMTBL_DB", sizeof(tagCUSTOMTBLDB), 8, {Text(0, 3), Text(3, 5)}, 2,
     false},
};

// clang-format on

#undef UNITA_ID_NUMBER_TEXT
#undef UNITA_ID_NUMBER_BYTES

// The parts of each key add up to its length, lie inside the record and fit the key area.
constexpr bool CatalogueIsConsistent() {
    for (const SBtrTableDef& def : kTables) {
        uint32_t sum = 0;
        for (int i = 0; i < def.m_partCount; ++i) {
            sum += def.m_parts[i].m_length;
            if (uint32_t(def.m_parts[i].m_offset) + def.m_parts[i].m_length > def.m_recordLength)
                return false;
        }
        if (sum != def.m_keyLength || sum > kMaxPrimaryKeyLength) return false;
    }
    return true;
}
static_assert(CatalogueIsConsistent());

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

// Copies a text part up to its terminator (at most its width), a bytes part whole.
void CopyPart(char* to, const char* from, const SKeyPart& part) {
    if (part.m_text) {
        const char* end = static_cast<const char*>(std::memchr(from, '\0', part.m_length));
        std::memcpy(to, from, end ? size_t(end - from) : part.m_length);
    } else {
        std::memcpy(to, from, part.m_length);
    }
}

// Identifiers from this one up are not counted on from: the next one would not fit the
// identifier field with its terminator.
constexpr long long kIdsCountedBelow = 999'999'999'999'999'999LL;

std::string FolderOrProfile(const char* folder) {
    return folder ? std::string(folder) : DefaultDatabaseFolder();
}

}  // namespace

std::span<const SBtrTableDef> AllBtrTables() { return kTables; }

const SBtrTableDef* FindBtrTable(std::string_view fileName) {
    for (const SBtrTableDef& def : kTables) {
        if (SameName(def.m_fileName, fileName)) return &def;
    }
    return nullptr;
}

std::string DefaultDatabaseFolder() {
    return CHostProfile::GetProfileString(QStringLiteral("GLOBAL"), QStringLiteral("DATABASE"),
                                          QString())
        .toStdString();
}

template <typename Record>
CRecordTable<Record>::CRecordTable(const char* folder, const SBtrTableDef& def)
    : CBtrTable(folder, def.m_fileName, def.m_label), m_def(def) {
    static_assert(std::is_trivially_copyable_v<Record>);
    std::memset(&m_record, 0, sizeof m_record);
    std::memset(m_keyArea, 0, sizeof m_keyArea);
    SetDataBuffer(reinterpret_cast<char*>(&m_record));
    SetDataLength(sizeof(Record));
    SetPrimaryKeyArea(m_keyArea, def.m_keyLength);
}

template <typename Record>
void CRecordTable<Record>::BuildPrimaryKey() {
    std::memset(m_keyArea, 0, sizeof m_keyArea);
    const char* record = reinterpret_cast<const char*>(&m_record);
    uint32_t at = 0;
    for (int i = 0; i < m_def.m_partCount; ++i) {
        const SKeyPart& part = m_def.m_parts[i];
        CopyPart(m_keyArea + at, record + part.m_offset, part);
        at += part.m_length;
    }
}

template <typename Record>
int CRecordTable<Record>::GetByKey(std::initializer_list<const char*> parts) {
    ClearData();
    char key[kMaxPrimaryKeyLength] = {};
    uint32_t at = 0;
    int i = 0;
    for (const char* text : parts) {
        if (i >= m_def.m_partCount) break;
        const SKeyPart& part = m_def.m_parts[i++];
        if (text) std::strncpy(key + at, text, part.m_length);
        at += part.m_length;
    }
    SetKeyNumber(0);
    SetKey(key, m_def.m_keyLength);
    return GetEqual();
}

// The three constructors of a table class over its catalogue row.
#define UNITA_TABLE(Name, index)                                    \
    Name::Name() : Name(static_cast<const char*>(nullptr)) {}       \
    Name::Name(const std::string& folder) : Name(folder.c_str()) {} \
    Name::Name(const char* folder) : BaseTable(FolderOrProfile(folder).c_str(), kTables[index]) {}

template class CRecordTable<tagOLDPATIENTDB>;
template class CRecordTable<tagPATIENT1DB>;
template class CRecordTable<tagPATIENT2DB>;
template class CRecordTable<tagADDLATDB>;
template class CRecordTable<tagCASMASDB>;
template class CRecordTable<tagCHEVRONDB>;
template class CRecordTable<tagCVBADB>;
template class CRecordTable<tagLASDB>;
template class CRecordTable<tagMOEXDB>;
template class CRecordTable<tagMVTODB>;
template class CRecordTable<tagPILELATDB>;
template class CRecordTable<tagPILEPADB>;
template class CRecordTable<tagPOINTLATDB>;
template class CRecordTable<tagPOINTPADB>;
template class CRecordTable<tagSPPOINTDB>;
template class CRecordTable<tagSPPOINTPDB>;
template class CRecordTable<tagPHOTODB>;
template class CRecordTable<tagPOINTMODB>;
template class CRecordTable<tagPOINTMO2DB>;
template class CRecordTable<tagREPORTDB>;
template class CRecordTable<tagSLIDESHOWDB>;
template class CRecordTable<tagXYPHOTOEXDB>;
template class CRecordTable<tagXYPHOTOEXIMGDB>;
template class CRecordTable<tagXYPHOTOEXTEXTDB>;
template class CRecordTable<tagSURGERYDB>;
template class CRecordTable<tagSURGERYTREATMENTDB>;
template class CRecordTable<tagCASEREGDB>;
template class CRecordTable<tagCASEDB>;
template class CRecordTable<tagCASEPADB>;
template class CRecordTable<tagCASEREFDB>;
template class CRecordTable<tagCASERREGDB>;
template class CRecordTable<tagCONDITIONDB>;
template class CRecordTable<tagDOCTORDB>;
template class CRecordTable<tagCUSTOMTBLDB>;

UNITA_TABLE(COldPatientTable, kOldPatient)
UNITA_TABLE(CPatient1Table, kPatient1)
UNITA_TABLE(CPatient2Table, kPatient2)
UNITA_TABLE(CAddLatTable, kAddLat)
UNITA_TABLE(CCasMasTable, kCasMas)
UNITA_TABLE(CChevronTable, kChevron)
UNITA_TABLE(CCvbaTable, kCvba)
UNITA_TABLE(CLasTable, kLas)
UNITA_TABLE(CMoexTable, kMoex)
UNITA_TABLE(CMvtoTable, kMvto)
UNITA_TABLE(CPileLatTable, kPileLat)
UNITA_TABLE(CPilePaTable, kPilePa)
UNITA_TABLE(CPointLatTable, kPointLat)
UNITA_TABLE(CPointPaTable, kPointPa)
UNITA_TABLE(CSpPointTable, kSpPoint)
UNITA_TABLE(CSpPointPTable, kSpPointP)
UNITA_TABLE(CPhotoTable, kPhoto)
UNITA_TABLE(CPointMoTable, kPointMo)
UNITA_TABLE(CPointMo2Table, kPointMo2)
UNITA_TABLE(CReportTable, kReport)
UNITA_TABLE(CSlideShowTable, kSlideShow)
UNITA_TABLE(CXyPhotoExTable, kXyPhotoEx)
UNITA_TABLE(CXyPhotoExImgTable, kXyPhotoExImg)
UNITA_TABLE(CXyPhotoExTextTable, kXyPhotoExText)
UNITA_TABLE(CSurgeryTable, kSurgery)
UNITA_TABLE(CSurgeryTreatmentTable, kSurgeryTreatment)
UNITA_TABLE(CCaseTable, kCase)
UNITA_TABLE(CCasePaTable, kCasePa)
UNITA_TABLE(CCaseRefTable, kCaseRef)
UNITA_TABLE(CCaseRRegTable, kCaseRReg)
UNITA_TABLE(CDoctorTable, kDoctor)
UNITA_TABLE(CCustomTblTable, kCustomTbl)

#undef UNITA_TABLE

// An empty folder string names no file for these two: there is no profile default.
CCaseRegTable::CCaseRegTable(const std::string& folder) : CCaseRegTable(folder.c_str()) {}
CCaseRegTable::CCaseRegTable(const char* folder)
    : CPatientKeyedTable<tagCASEREGDB>(folder ? folder : "", kTables[kCaseReg]) {}
CConditionTable::CConditionTable(const std::string& folder) : CConditionTable(folder.c_str()) {}
CConditionTable::CConditionTable(const char* folder)
    : CRecordTable<tagCONDITIONDB>(folder ? folder : "", kTables[kCondition]) {}

std::string CPatient1Table::NextPatientID() {
    char key[21] = {};
    std::memcpy(key, "9999999999", 10);
    SetKeyNumber(0);
    SetKey(key, sizeof key);
    long long next = 1;
    if (GetLessOrEqual() == 0) {
        // The leading digits of the field only: a field without its terminator must not be
        // read on into the name, and a number too large to count on from starts over at 1.
        const char* id = Rec().PatientID;
        long long value = 0;
        const auto parsed = std::from_chars(id, id + strnlen(id, sizeof Rec().PatientID), value);
        if (parsed.ec == std::errc() && value >= 0 && value < kIdsCountedBelow) next = value + 1;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%010lld", next);
    return text;
}

namespace {

template <typename Table>
std::unique_ptr<CBtrTable> Make(const std::string& folder) {
    return std::make_unique<Table>(folder);
}

using FMake = std::unique_ptr<CBtrTable> (*)(const std::string&);

constexpr FMake kMakers[kTableCount] = {
    Make<COldPatientTable>,   Make<CPatient1Table>,
    Make<CPatient2Table>,     Make<CAddLatTable>,
    Make<CCasMasTable>,       Make<CChevronTable>,
    Make<CCvbaTable>,         Make<CLasTable>,
    Make<CMoexTable>,         Make<CMvtoTable>,
    Make<CPileLatTable>,      Make<CPilePaTable>,
    Make<CPointLatTable>,     Make<CPointPaTable>,
    Make<CSpPointTable>,      Make<CSpPointPTable>,
    Make<CPhotoTable>,        Make<CPointMoTable>,
    Make<CPointMo2Table>,     Make<CReportTable>,
    Make<CSlideShowTable>,    Make<CXyPhotoExTable>,
    Make<CXyPhotoExImgTable>, Make<CXyPhotoExTextTable>,
    Make<CSurgeryTable>,      Make<CSurgeryTreatmentTable>,
    Make<CCaseRegTable>,      Make<CCaseTable>,
    Make<CCasePaTable>,       Make<CCaseRefTable>,
    Make<CCaseRRegTable>,     Make<CConditionTable>,
    Make<CDoctorTable>,       Make<CCustomTblTable>,
};

}  // namespace

std::unique_ptr<CBtrTable> MakeBtrTable(std::string_view fileName, const std::string& folder) {
    const SBtrTableDef* def = FindBtrTable(fileName);
    if (!def) return nullptr;
    return kMakers[def - kTables](folder);
}

}  // namespace unita
