// One class per table file that the merger reads or writes, over CBtrTable. Each holds its
// record buffer (the suite's record struct, zeroed at construction) and its primary-key
// area, and is constructed with the database folder. Lookups by key clear the record
// buffer, build the key in a zeroed buffer of the key's length with each part copied as
// text at its offset, and call GetEqual on key 0.
//
// Every patient-related record begins with the 21-byte patient identifier ("%010d", then
// zero bytes); in the numbered tables the 11 bytes at offset 21 are the record's number
// within the patient ("%010d").
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "merger/btrtable.h"
#include "suite/dbcall/casedb.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/xylodb.h"

namespace unita {

// One part of a primary key: a text part is copied up to its terminator, a bytes part as
// its fixed range.
struct SKeyPart {
    uint16_t m_offset;
    uint16_t m_length;
    bool m_text;
};

// A row of the merger's table catalogue.
struct SBtrTableDef {
    const char* m_fileName;   // "PHOTO.BTR"
    const char* m_label;      // "PHOTO_DB", the name in error reports
    uint32_t m_recordLength;  // bytes of the record
    uint32_t m_keyLength;     // bytes of the primary key (its parts added up)
    SKeyPart m_parts[4];
    int m_partCount;
    bool m_needsFolder;  // no default folder from the program profile
};

// Every table of the catalogue, in the catalogue's order.
std::span<const SBtrTableDef> AllBtrTables();
// The row for a file name compared without regard to case; nullptr when none.
const SBtrTableDef* FindBtrTable(std::string_view fileName);

// The folder of a table object constructed without one: the program profile's
// [GLOBAL] DATABASE (default empty).
std::string DefaultDatabaseFolder();

// Base of the table classes: the record buffer of type Record and the key of the catalogue
// row. Rec() is the record in the buffer.
template <typename Record>
class CRecordTable : public CBtrTable {
public:
    Record& Rec() { return m_record; }
    const Record& Rec() const { return m_record; }
    const SBtrTableDef& Def() const { return m_def; }

    // Clears the buffer and reads the record whose key parts are the given texts (each
    // copied up to its terminator at its part's offset). Fewer texts than parts leave the
    // rest zero. Returns the GetEqual status (4 silently when missing).
    int GetByKey(std::initializer_list<const char*> parts);

protected:
    CRecordTable(const char* folder, const SBtrTableDef& def);
    void BuildPrimaryKey() override;

private:
    const SBtrTableDef& m_def;
    Record m_record;
    char m_keyArea[kMaxPrimaryKeyLength];
};

// A table keyed by the patient identifier alone.
template <typename Record>
class CPatientKeyedTable : public CRecordTable<Record> {
public:
    int GetPatientData(const char* patientId) { return this->GetByKey({patientId}); }

protected:
    using CRecordTable<Record>::CRecordTable;
};

// A table keyed by patient identifier and record number, possibly with further parts.
template <typename Record>
class CNumberedTable : public CRecordTable<Record> {
public:
    int GetRecordData(const char* patientId, const char* number) {
        return this->GetByKey({patientId, number});
    }

protected:
    using CRecordTable<Record>::CRecordTable;
};

// Declares a table class: explicit folder, plus a default constructor that reads the
// program profile's folder.
#define UNITA_TABLE_CLASS(Name, Base, Record)     \
    class Name final : public Base<Record> {      \
        using BaseTable = Base<Record>;           \
                                                  \
    public:                                       \
        Name();                                   \
        explicit Name(const std::string& folder); \
        explicit Name(const char* folder);        \
    };

// Patient files.
UNITA_TABLE_CLASS(COldPatientTable, CPatientKeyedTable, tagOLDPATIENTDB)  // PATIENT.BTR
UNITA_TABLE_CLASS(CPatient2Table, CPatientKeyedTable, tagPATIENT2DB)      // PATIENT2.BTR

// PATIENT1.BTR, the current patient file.
class CPatient1Table final : public CPatientKeyedTable<tagPATIENT1DB> {
    using BaseTable = CPatientKeyedTable<tagPATIENT1DB>;

public:
    CPatient1Table();
    explicit CPatient1Table(const std::string& folder);
    explicit CPatient1Table(const char* folder);

    // The identifier after the highest stored one, "%010d": "0000000001" for an empty
    // file. Moves the position and overwrites the record buffer.
    std::string NextPatientID();
};

// Analysis tables keyed by identifier and number (32-byte keys, text parts).
UNITA_TABLE_CLASS(CAddLatTable, CNumberedTable, tagADDLATDB)      // ADDLAT.BTR
UNITA_TABLE_CLASS(CCasMasTable, CNumberedTable, tagCASMASDB)      // CASMAS.BTR
UNITA_TABLE_CLASS(CChevronTable, CNumberedTable, tagCHEVRONDB)    // CHEVRON.BTR
UNITA_TABLE_CLASS(CCvbaTable, CNumberedTable, tagCVBADB)          // CVBA.BTR
UNITA_TABLE_CLASS(CLasTable, CNumberedTable, tagLASDB)            // LAS.BTR
UNITA_TABLE_CLASS(CMoexTable, CNumberedTable, tagMOEXDB)          // MOEX.BTR
UNITA_TABLE_CLASS(CMvtoTable, CNumberedTable, tagMVTODB)          // MVTO.BTR
UNITA_TABLE_CLASS(CPileLatTable, CNumberedTable, tagPILELATDB)    // PILELAT.BTR
UNITA_TABLE_CLASS(CPilePaTable, CNumberedTable, tagPILEPADB)      // PILEPA.BTR
UNITA_TABLE_CLASS(CPointLatTable, CNumberedTable, tagPOINTLATDB)  // POINTLAT.BTR
UNITA_TABLE_CLASS(CPointPaTable, CNumberedTable, tagPOINTPADB)    // POINTPA.BTR
UNITA_TABLE_CLASS(CSpPointTable, CNumberedTable, tagSPPOINTDB)    // SPPOINT.BTR
UNITA_TABLE_CLASS(CSpPointPTable, CNumberedTable, tagSPPOINTPDB)  // SPPOINTP.BTR
// Media and photo-set tables (32-byte keys, bytes parts).
UNITA_TABLE_CLASS(CPhotoTable, CNumberedTable, tagPHOTODB)          // PHOTO.BTR
UNITA_TABLE_CLASS(CPointMoTable, CNumberedTable, tagPOINTMODB)      // POINTMO.BTR
UNITA_TABLE_CLASS(CPointMo2Table, CNumberedTable, tagPOINTMO2DB)    // POINTMO2.BTR
UNITA_TABLE_CLASS(CReportTable, CNumberedTable, tagREPORTDB)        // REPORT.BTR
UNITA_TABLE_CLASS(CSlideShowTable, CNumberedTable, tagSLIDESHOWDB)  // SLIDESHOW.BTR
UNITA_TABLE_CLASS(CXyPhotoExTable, CNumberedTable, tagXYPHOTOEXDB)  // XYPHOTOEX.BTR
// Three- and four-part keys: GetByKey({id, number, part3[, part4]}).
UNITA_TABLE_CLASS(CXyPhotoExImgTable, CNumberedTable, tagXYPHOTOEXIMGDB)    // XYPHOTOEXIMG.BTR
UNITA_TABLE_CLASS(CXyPhotoExTextTable, CNumberedTable, tagXYPHOTOEXTEXTDB)  // XYPHOTOEXTEXT.BTR
UNITA_TABLE_CLASS(CSurgeryTable, CNumberedTable, tagSURGERYDB)              // SURGERY.BTR
UNITA_TABLE_CLASS(CSurgeryTreatmentTable, CNumberedTable,
                  tagSURGERYTREATMENTDB)  // SURGERYTREATMENT.BTR
// Case and master tables.
UNITA_TABLE_CLASS(CCaseTable, CRecordTable, tagCASEDB)            // CASE.BTR
UNITA_TABLE_CLASS(CCasePaTable, CRecordTable, tagCASEPADB)        // CASEPA.BTR
UNITA_TABLE_CLASS(CCaseRefTable, CRecordTable, tagCASEREFDB)      // CASEREF.BTR
UNITA_TABLE_CLASS(CCaseRRegTable, CRecordTable, tagCASERREGDB)    // CASERREG.BTR
UNITA_TABLE_CLASS(CDoctorTable, CRecordTable, tagDOCTORDB)        // DOCTOR.BTR
UNITA_TABLE_CLASS(CCustomTblTable, CRecordTable, tagCUSTOMTBLDB)  // CUSTOMTBL.BTR

#undef UNITA_TABLE_CLASS

// CASEREG.BTR and CONDITION.BTR have no default folder and must be given one.
class CCaseRegTable final : public CPatientKeyedTable<tagCASEREGDB> {
public:
    explicit CCaseRegTable(const std::string& folder);
    explicit CCaseRegTable(const char* folder);
};

class CConditionTable final : public CRecordTable<tagCONDITIONDB> {
public:
    explicit CConditionTable(const std::string& folder);
    explicit CConditionTable(const char* folder);
};

// A table object of the catalogue by file name (any case) on folder, for steps that treat
// many tables alike; nullptr for a name the catalogue does not hold.
std::unique_ptr<CBtrTable> MakeBtrTable(std::string_view fileName, const std::string& folder);

}  // namespace unita
