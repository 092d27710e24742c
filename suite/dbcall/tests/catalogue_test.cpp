// The catalogue against the record layouts: every table's keys as the modules use them, and
// every table class opening the file the catalogue creates for it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

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
#include "suite/testsupport/testdatabase.h"

namespace {

struct ExpectedKey {
    const char* file;
    int key;
    uint32_t length;
};

// Key numbers and key-buffer lengths that the modules and the merger rely on.
const ExpectedKey kExpectedKeys[] = {
    {"RESERVATION.BTR", 0, 21},
    {"RESERVATION.BTR", 2, 35},
    {"RESERVATION.BTR", 3, 18},
    {"RESERVATION.BTR", 4, 18},
    {"RESERVATION.BTR", 6, 14},
    {"PATIENT1.BTR", 0, 21},
    {"PATIENT1.BTR", 1, 41},
    {"PATIENT1.BTR", 2, 41},
    {"PATIENT1.BTR", 3, 21},
    {"PATIENT2.BTR", 0, 21},
    {"PATIENT.BTR", 0, 21},
    {"RESERVATIONSTANDBY.BTR", 0, 11},
    {"RESREASON.BTR", 0, 4},
    {"SALEITEM.BTR", 0, 18},
    {"MATERIAL.BTR", 0, 14},
    {"MATERIAL.BTR", 1, 23},
    {"MATERIAL.BTR", 3, 30},
    {"SENTANDRECEIVED.BTR", 0, 11},
    {"SENTANDRECEIVED.BTR", 1, 12},
    {"CONTRACTITEM.BTR", 1, 41},
    {"CUSTOMTBL.BTR", 0, 8},
    {"CATEGORY.BTR", 1, 6},
    {"ADDLAT.BTR", 0, 32},
    {"CASMAS.BTR", 0, 32},
    {"CHEVRON.BTR", 0, 32},
    {"CVBA.BTR", 0, 32},
    {"LAS.BTR", 0, 32},
    {"MOEX.BTR", 0, 32},
    {"MVTO.BTR", 0, 32},
    {"PILELAT.BTR", 0, 32},
    {"PILEPA.BTR", 0, 32},
    {"POINTLAT.BTR", 0, 32},
    {"POINTPA.BTR", 0, 32},
    {"SPPOINT.BTR", 0, 32},
    {"SPPOINTP.BTR", 0, 32},
    {"PHOTO.BTR", 0, 32},
    {"POINTMO.BTR", 0, 32},
    {"POINTMO2.BTR", 0, 32},
    {"REPORT.BTR", 0, 32},
    {"SLIDESHOW.BTR", 0, 32},
    {"XYPHOTOEX.BTR", 0, 32},
    {"XYPHOTOEXIMG.BTR", 0, 38},
    {"XYPHOTOEXTEXT.BTR", 0, 38},
    {"SURGERY.BTR", 0, 43},
    {"SURGERYTREATMENT.BTR", 0, 48},
    {"CASEREG.BTR", 0, 29},
    {"CASE.BTR", 0, 8},
    {"CASEPA.BTR", 0, 4},
    {"CASEREF.BTR", 0, 4},
    {"CASERREG.BTR", 0, 12},
    {"CONDITION.BTR", 0, 3},
    {"DOCTOR.BTR", 0, 3},
};

struct ExpectedLength {
    const char* file;
    uint32_t length;
};

const ExpectedLength kExpectedLengths[] = {
    {"RESERVATION.BTR", 1064},
    {"RESERVATIONSTANDBY.BTR", 800},
    {"SALE.BTR", 800},
    {"SALEITEM.BTR", 400},
    {"MATERIAL.BTR", 1124},
    {"SENTANDRECEIVED.BTR", 260},
    {"PATIENT.BTR", 600},
    {"PATIENT1.BTR", 3600},
    {"PATIENT2.BTR", 4000},
    {"ADDLAT.BTR", 2000},
    {"CASMAS.BTR", 2000},
    {"CHEVRON.BTR", 400},
    {"CVBA.BTR", 800},
    {"LAS.BTR", 1400},
    {"MOEX.BTR", 400},
    {"MVTO.BTR", 320},
    {"PILELAT.BTR", 1600},
    {"PILEPA.BTR", 800},
    {"POINTLAT.BTR", 3000},
    {"POINTPA.BTR", 4000},
    {"SPPOINT.BTR", 4000},
    {"SPPOINTP.BTR", 4000},
    {"PHOTO.BTR", 80},
    {"POINTMO.BTR", 1408},
    {"POINTMO2.BTR", 4000},
    {"REPORT.BTR", 1000},
    {"SLIDESHOW.BTR", 1000},
    {"XYPHOTOEX.BTR", 1000},
    {"XYPHOTOEXIMG.BTR", 400},
    {"XYPHOTOEXTEXT.BTR", 4000},
    {"SURGERY.BTR", 2000},
    {"SURGERYTREATMENT.BTR", 800},
    {"CASEREG.BTR", 32},
    {"CASE.BTR", 64},
    {"CASEPA.BTR", 64},
    {"CASEREF.BTR", 64},
    {"CASERREG.BTR", 16},
    {"CONDITION.BTR", 64},
    {"DOCTOR.BTR", 64},
    {"CUSTOMTBL.BTR", 400},
    {"MATERIALITEMCATE.BTR", 256},
};

const char* const kSuiteOrder[] = {
    "INDEXCONTROL",
    "PATIENT1",
    "PATIENT2",
    "RESERVATION",
    "CATEGORY",
    "CONDITION",
    "DOCTOR",
    "INTRODR",
    "CREDITITEM",
    "CONTRACT",
    "RECALL",
    "RESREASON",
    "QUOTATION",
    "QUOTATIONITEM",
    "QUOTATIONTBL",
    "CASEPA",
    "CASE",
    "CONTRACTITEM",
    "SALE",
    "SALEITEM",
    "CREDITCATEGORY",
    "QUOTATIONGROUP",
    "RECALLGROUP",
    "CUSTOMTBL",
    "MATERIAL",
    "MATERIALITEM",
    "CASEREG",
    "CASEREF",
    "CASERREG",
    "MATERIALITEMCATE",
    "PATIENT",
    "STAFF",
    "TREATMENTCATEGORY",
    "TREATMENTITEM",
    "RESERVATIONSTANDBY",
    "RESERVATIONWAY",
    "SENTANDRECEIVED",
    "OWNER",
    "RECEPTCATEGORY",
    "REGI",
};

}  // namespace

TEST(CatalogueTest, KeysAndLengthsTheModulesUse) {
    for (const ExpectedKey& expected : kExpectedKeys) {
        const TableInfo* table = FindTable(expected.file);
        ASSERT_NE(table, nullptr) << expected.file;
        EXPECT_EQ(table->KeyLength(expected.key), expected.length)
            << expected.file << " key " << expected.key;
    }
    for (const ExpectedLength& expected : kExpectedLengths) {
        const TableInfo* table = FindTable(expected.file);
        ASSERT_NE(table, nullptr) << expected.file;
        EXPECT_EQ(table->recordLength, expected.length) << expected.file;
    }
    // The Xylo tables' primary keys are bytes except the text-keyed analysis tables.
    EXPECT_EQ(FindTable("PHOTO.BTR")->segments[0].type, KeySegmentType::kBytes);
    EXPECT_EQ(FindTable("ADDLAT.BTR")->segments[0].type, KeySegmentType::kText);
    EXPECT_STREQ(FindTable("CASEPA.BTR")->label, "CASE_DB");
    EXPECT_STREQ(FindTable("PATIENT.BTR")->label, "OLDPATIENT_DB");
}

TEST(CatalogueTest, OrderNamesAndShapeOfEveryTable) {
    const auto tables = AllTables();
    ASSERT_EQ(tables.size(), 65u);
    for (size_t i = 0; i < std::size(kSuiteOrder); ++i) {
        EXPECT_EQ(std::string(tables[i].fileName), std::string(kSuiteOrder[i]) + ".BTR");
    }
    std::set<std::string> names;
    for (const TableInfo& table : tables) {
        EXPECT_TRUE(names.insert(table.fileName).second) << table.fileName;
        ASSERT_FALSE(table.segments.empty()) << table.fileName;
        // Keys numbered from 0 without gaps, segments of a key together, only key 0 unique
        // where the catalogue says so, and everything inside the record.
        int lastKey = 0;
        for (const KeySegmentDesc& segment : table.segments) {
            EXPECT_TRUE(segment.key == lastKey || segment.key == lastKey + 1) << table.fileName;
            lastKey = segment.key;
            EXPECT_LE(segment.offset + segment.length, table.recordLength) << table.fileName;
            EXPECT_LE(table.KeyLength(segment.key), 255u);
        }
        EXPECT_FALSE(table.segments[0].duplicates) << table.fileName << " key 0 must be unique";
        uint32_t end = 0;
        for (const FieldDesc& field : table.fields) {
            EXPECT_GE(field.offset, end) << table.fileName << " " << field.name;
            end = field.offset + field.width;
            EXPECT_LE(end, table.recordLength) << table.fileName << " " << field.name;
        }
    }
}

TEST(CatalogueTest, FindTableIgnoresCaseAndExtension) {
    const TableInfo* table = FindTable("reservation");
    ASSERT_NE(table, nullptr);
    EXPECT_STREQ(table->fileName, "RESERVATION.BTR");
    EXPECT_EQ(FindTable("Patient2.btr"), FindTable("PATIENT2.BTR"));
    EXPECT_EQ(FindTable("NOSUCH"), nullptr);
    EXPECT_EQ(FindTable(""), nullptr);
}

class CatalogueFolderTest : public DbFolderTest {
protected:
    template <typename Table>
    void ExpectOpens() {
        Table table;
        EXPECT_EQ(table.SetAssociatedDB(&m_db), recman::kOk) << table.GetFileName();
        EXPECT_TRUE(table.IsOpen()) << table.GetFileName();
        m_opened.insert(table.GetFileName());
    }
    template <typename... Tables>
    void ExpectAllOpen() {
        (ExpectOpens<Tables>(), ...);
    }
    std::set<std::string> m_opened;
};

TEST_F(CatalogueFolderTest, EveryTableClassOpensItsCreatedFile) {
    ExpectAllOpen<CIndexControlDB, CPatient1DB, CPatient2DB, CPatientDB, CReservationDB,
                  CCategoryDB, CConditionDB, CDoctorDB, CIntroDrDB, CCreditItemDB, CContractDB,
                  CRecallDB, CResReasonDB, CQuotationDB, CQuotationItemDB, CQuotationTblDB,
                  CCasePaDB, CCaseDB, CContractItemDB, CSaleDB, CSaleItemDB, CCreditCategoryDB,
                  CQuotationGroupDB, CRecallGroupDB, CCustomTblDB, CMaterialDB, CMaterialItemDB,
                  CCaseRegDB, CCaseRefDB, CCaseRRegDB, CMaterialItemCateDB, COldPatientDB, CStaffDB,
                  CTreatmentCategoryDB, CTreatmentItemDB, CReservationStandbyDB, CReservationWayDB,
                  CSentAndReceivedDB, COwnerDB, CReceptCategoryDB, CRegiDB>();
    ExpectAllOpen<CAddLatDB, CCasMasDB, CChevronDB, CCvbaDB, CLasDB, CMoexDB, CMvtoDB, CPileLatDB,
                  CPilePaDB, CPointLatDB, CPointPaDB, CSpPointDB, CSpPointPDB, CPhotoDB, CPointMoDB,
                  CPointMo2DB, CReportDB, CSlideShowDB, CXyPhotoExDB, CXyPhotoExImgDB,
                  CXyPhotoExTextDB, CSurgeryDB, CSurgeryTreatmentDB, CTextTblDB, CImgTypeDB>();
    // Every catalogue table has a class, and each file exists.
    for (const TableInfo& table : AllTables()) {
        EXPECT_TRUE(m_opened.count(table.fileName)) << table.fileName;
        EXPECT_TRUE(std::filesystem::exists(m_folder + "/" + table.fileName)) << table.fileName;
    }
}

TEST_F(CatalogueFolderTest, CreateTableFileEmptiesAnExistingTable) {
    {
        CDoctorDB doctors;
        ASSERT_EQ(doctors.SetAssociatedDB(&m_db), recman::kOk);
        SetField(doctors.m_Data.Code, "01");
        ASSERT_EQ(doctors.Insert(), recman::kOk);
    }
    ASSERT_EQ(CreateTableFile(m_folder, "doctor"), recman::kOk);
    CDoctorDB doctors;
    ASSERT_EQ(doctors.SetAssociatedDB(&m_db), recman::kOk);
    EXPECT_EQ(doctors.GetFIRST(), recman::kEndOfFile);
    EXPECT_EQ(CreateTableFile(m_folder, "NOSUCH.BTR"), recman::kFileNotFound);
}
