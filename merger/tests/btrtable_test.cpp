// Tests of the merger's record-file wrapper and its table classes against real table files
// made as `velodb create` makes them.
#include "merger/btrtable.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "merger/btrtables.h"
#include "suite/dbcall/catalogue.h"
#include "suite/text/hostprofile.h"
#include "suite/tool/messageservice.h"
#include "tools/velodb.h"

namespace {

namespace fs = std::filesystem;
using namespace unita;

template <size_t N>
void Put(char (&field)[N], const char* text) {
    std::memset(field, 0, N);
    std::memcpy(field, text, std::min(std::strlen(text), N - 1));
}

class BtrTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_db = m_dir.path().toStdString() + "/db/";
        std::string error;
        ASSERT_TRUE(velodb::CreateDatabase(m_db, false, &error)) << error;
        CMessageService::ClearHistory();
    }

    static int Shown() { return int(CMessageService::History().size()); }
    static QString LastShown() { return CMessageService::History().back().text; }

    void AddPhoto(const char* id, const char* number, const char* title) {
        CPhotoTable photo(m_db);
        ASSERT_EQ(photo.Open(), 0);
        photo.ClearData();
        Put(photo.Rec().PatientID, id);
        Put(photo.Rec().RecordNo, number);
        Put(photo.Rec().Title, title);
        ASSERT_EQ(photo.Insert(), 0);
    }

    void AddPatient(const char* id) {
        CPatient1Table patients(m_db);
        ASSERT_EQ(patients.Open(), 0);
        patients.ClearData();
        Put(patients.Rec().PatientID, id);
        ASSERT_EQ(patients.Insert(), 0);
    }

    QTemporaryDir m_dir;
    std::string m_db;
};

// A table without a label, as the report then names the file.
class CUnlabelledPhoto final : public CBtrTable {
public:
    explicit CUnlabelledPhoto(const std::string& folder)
        : CBtrTable(folder.c_str(), "PHOTO.BTR", "") {
        SetDataBuffer(m_record);
        SetDataLength(sizeof m_record);
        SetPrimaryKeyArea(m_key, sizeof m_key);
    }

protected:
    void BuildPrimaryKey() override { std::memcpy(m_key, m_record, sizeof m_key); }

private:
    char m_record[sizeof(tagPHOTODB)] = {};
    char m_key[32] = {};
};

TEST_F(BtrTableTest, OrdinaryResultsAreSilentAndLeaveStoredRecordsAlone) {
    AddPhoto("0000000001", "0000000001", "first");
    CPhotoTable photo(m_db);
    ASSERT_EQ(photo.Open(), 0);

    // A missing identifier: 4, nothing shown.
    EXPECT_EQ(photo.GetRecordData("0000000004", "0000000001"), recman::kKeyNotFound);

    // A duplicate insert: 5, nothing shown, the stored record unchanged.
    photo.ClearData();
    Put(photo.Rec().PatientID, "0000000001");
    Put(photo.Rec().RecordNo, "0000000001");
    Put(photo.Rec().Title, "second");
    EXPECT_EQ(photo.Insert(), recman::kDuplicateKey);
    ASSERT_EQ(photo.GetRecordData("0000000001", "0000000001"), 0);
    EXPECT_STREQ(photo.Rec().Title, "first");
    EXPECT_NE(photo.CurrentPosition(), 0u);

    // Update of a key that is not stored: 4, nothing inserted.
    photo.ClearData();
    Put(photo.Rec().PatientID, "0000000004");
    Put(photo.Rec().RecordNo, "0000000001");
    Put(photo.Rec().Title, "kept");
    EXPECT_EQ(photo.Update(), recman::kKeyNotFound);
    EXPECT_STREQ(photo.Rec().Title, "kept");  // the buffer still holds the caller's record
    EXPECT_EQ(photo.GetRecordData("0000000004", "0000000001"), recman::kKeyNotFound);

    // A scan over the records of a patient that has none ends at once.
    const int status = photo.FirstOfPatient("0000000009");
    EXPECT_TRUE(status == recman::kEndOfFile || !photo.IsOfPatient("0000000009"));
    EXPECT_EQ(Shown(), 0);
}

TEST_F(BtrTableTest, UpdateReplacesOnlyTheRecordWithTheSamePrimaryKey) {
    // Three-part byte keys: the records differ only in the image number.
    for (const char* image : {"01", "02"}) {
        CXyPhotoExImgTable images(m_db);
        ASSERT_EQ(images.Open(), 0);
        images.ClearData();
        Put(images.Rec().PatientID, "0000000003");
        Put(images.Rec().RecordNo, "0000000001");
        Put(images.Rec().ImageNo, image);
        Put(images.Rec().PhotoNo, "0000000007");
        ASSERT_EQ(images.Insert(), 0);
    }
    CXyPhotoExImgTable images(m_db);
    ASSERT_EQ(images.Open(), 0);
    ASSERT_EQ(images.GetByKey({"0000000003", "0000000001", "02"}), 0);
    Put(images.Rec().PhotoNo, "0000000009");
    ASSERT_EQ(images.Update(), 0);

    ASSERT_EQ(images.GetByKey({"0000000003", "0000000001", "01"}), 0);
    EXPECT_STREQ(images.Rec().PhotoNo, "0000000007");
    ASSERT_EQ(images.GetByKey({"0000000003", "0000000001", "02"}), 0);
    EXPECT_STREQ(images.Rec().PhotoNo, "0000000009");

    // Delete takes the current record only.
    ASSERT_EQ(images.Delete(), 0);
    EXPECT_EQ(images.GetByKey({"0000000003", "0000000001", "02"}), recman::kKeyNotFound);
    EXPECT_EQ(images.GetByKey({"0000000003", "0000000001", "01"}), 0);
    EXPECT_EQ(Shown(), 0);
}

TEST_F(BtrTableTest, ScansVisitEveryRecordOrOnePatientsRecordsInKeyOrder) {
    AddPhoto("0000000002", "0000000002", "b2");
    AddPhoto("0000000001", "0000000001", "a1");
    AddPhoto("0000000002", "0000000001", "b1");
    AddPhoto("0000000003", "0000000001", "c1");
    CPhotoTable photo(m_db);
    ASSERT_EQ(photo.Open(), 0);

    std::vector<std::string> all;
    for (int st = photo.FirstRecord(); st == 0 && !photo.IsEOF(); st = photo.GetNext())
        all.push_back(photo.Rec().Title);
    EXPECT_EQ(all, (std::vector<std::string>{"a1", "b1", "b2", "c1"}));
    EXPECT_TRUE(photo.IsEOF());

    std::vector<std::string> second;
    for (int st = photo.FirstOfPatient("0000000002");
         st == 0 && !photo.IsEOF() && photo.IsOfPatient("0000000002"); st = photo.GetNext())
        second.push_back(photo.Rec().Title);
    EXPECT_EQ(second, (std::vector<std::string>{"b1", "b2"}));

    // An empty file ends the scan at once with 9, silently.
    CReportTable reports(m_db);
    ASSERT_EQ(reports.Open(), 0);
    EXPECT_EQ(reports.FirstRecord(), recman::kEndOfFile);
    EXPECT_TRUE(reports.IsEOF());
    EXPECT_EQ(Shown(), 0);
}

TEST_F(BtrTableTest, NextPatientIdFollowsTheHighestStoredIdentifier) {
    CPatient1Table empty(m_db);
    ASSERT_EQ(empty.Open(), 0);
    EXPECT_EQ(empty.NextPatientID(), "0000000001");
    empty.Close();

    AddPatient("0000000041");
    AddPatient("0000000007");
    CPatient1Table patients(m_db);
    ASSERT_EQ(patients.Open(), 0);
    EXPECT_EQ(patients.NextPatientID(), "0000000042");
    patients.Close();

    // A highest identifier that fills its whole field, followed by a name of digits: only
    // the field counts. One too large to count on from starts over at 1.
    for (const auto& [id, next] : {std::pair{"000000004300000000000", "4300000000001"},
                                   std::pair{"099999999999999999999", "0000000001"}}) {
        CPatient1Table full(m_db);
        ASSERT_EQ(full.Open(), 0);
        full.ClearData();
        std::memcpy(full.Rec().PatientID, id, sizeof full.Rec().PatientID);
        Put(full.Rec().Name, "777");
        ASSERT_EQ(full.Insert(), 0);
        EXPECT_EQ(full.NextPatientID(), next) << id;
    }
    EXPECT_EQ(Shown(), 0);
}

TEST_F(BtrTableTest, OpenKeepsTheKeyAndKeyNumberSetBeforeIt) {
    CPatient1Table patients(m_db);
    patients.SetKeyNumber(3);
    patients.SetKey("A12", 4);
    ASSERT_EQ(patients.Open(), 0);
    char key[8] = {};
    patients.GetKey(key, 4);
    EXPECT_STREQ(key, "A12");
    EXPECT_EQ(patients.KeyNumber(), 3);
    EXPECT_EQ(patients.KeyLength(), 4u);
}

TEST_F(BtrTableTest, MissingCorruptOrForeignFilesFailToOpenWithTheReport) {
    // Missing folder: the label of the class names the table.
    CPhotoTable missing(m_dir.path().toStdString() + "/nowhere");
    EXPECT_EQ(missing.Open(), -1);
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(missing.LastStatus(), recman::kFileNotFound);
    ASSERT_EQ(Shown(), 1);
    EXPECT_EQ(LastShown(), "DERoduDEZ ERROR:\n\nPHOTO_DB BO_OPEN Status = 12\n\n");
    EXPECT_EQ(CMessageService::History().back().icon, CMessageService::EIcon::Warning);

    // Garbage where a table file should be.
    std::ofstream(m_db + "PHOTO.BTR", std::ios::binary | std::ios::trunc) << std::string(5000, 'x');
    CPhotoTable corrupt(m_db);
    EXPECT_EQ(corrupt.Open(), -1);
    EXPECT_NE(corrupt.LastStatus(), 0);
    EXPECT_EQ(Shown(), 2);
    EXPECT_TRUE(LastShown().contains("PHOTO_DB BO_OPEN"));

    // Another table's file under this name: its records are 1000 bytes, not 80.
    fs::copy_file(m_db + "REPORT.BTR", m_db + "PHOTO.BTR", fs::copy_options::overwrite_existing);
    CPhotoTable foreign(m_db);
    EXPECT_EQ(foreign.Open(), -1);
    EXPECT_EQ(foreign.LastStatus(), recman::kRecordLengthMismatch);

    // With show-errors off the status comes back and nothing is shown.
    CPhotoTable quiet(m_db);
    quiet.SetShowErrors(false);
    EXPECT_EQ(quiet.Open(), -1);
    EXPECT_EQ(Shown(), 3);
    EXPECT_TRUE(quiet.LastReport().find("PHOTO_DB BO_OPEN") != std::string::npos);
}

TEST_F(BtrTableTest, AnEmptyLabelBecomesTheFileName) {
    CUnlabelledPhoto photo(m_dir.path().toStdString() + "/DB");
    EXPECT_EQ(photo.Open(), -1);
    EXPECT_EQ(photo.Label(), "PHOTO.BTR");
    EXPECT_EQ(LastShown(), "DERoduDEZ ERROR:\n\nPHOTO.BTR BO_OPEN Status = 12\n\n");
}

TEST_F(BtrTableTest, APathLongerThanTheKeyBufferIsRefused) {
    // 254 characters still open; 255 would not leave the terminator in the key buffer.
    const std::string base = m_dir.path().toStdString() + "/";
    const size_t fixed = base.size() + std::strlen("/PHOTO.BTR");
    ASSERT_LT(fixed + 2, 254u);
    for (size_t length : {size_t(254), size_t(255)}) {
        std::string folder = base + std::string(length - fixed, 'd');
        // Keep every path component within the file system's name limit.
        for (size_t at = base.size() + 200; at < folder.size() - 1; at += 200) folder[at] = '/';
        fs::create_directories(folder);
        fs::copy_file(m_db + "PHOTO.BTR", folder + "/PHOTO.BTR",
                      fs::copy_options::overwrite_existing);
        CPhotoTable photo(folder);
        ASSERT_EQ(photo.FilePath().size(), length);
        if (length == 254) {
            EXPECT_EQ(photo.Open(), 0);
        } else {
            EXPECT_EQ(photo.Open(), -1);
            EXPECT_EQ(photo.LastStatus(), kStatusPathTooLong);
        }
    }
}

TEST_F(BtrTableTest, CatalogueAgreesWithTheSuitesTableFiles) {
    for (const SBtrTableDef& def : AllBtrTables()) {
        SCOPED_TRACE(def.m_fileName);
        const TableInfo* suite = FindTable(def.m_fileName);
        ASSERT_NE(suite, nullptr);
        EXPECT_EQ(def.m_recordLength, suite->recordLength);
        EXPECT_EQ(def.m_keyLength, suite->KeyLength(0));

        // Each class opens its file in the created database, by name in any case.
        std::string lower = def.m_fileName;
        for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
        auto table = MakeBtrTable(lower, m_db);
        ASSERT_TRUE(table);
        EXPECT_EQ(table->DataLength(), def.m_recordLength);
        EXPECT_EQ(table->Label(), def.m_label);
        EXPECT_EQ(table->Open(), 0);
    }
    EXPECT_EQ(FindBtrTable("casepa.btr")->m_label, std::string("CASE_DB"));
    EXPECT_EQ(MakeBtrTable("TEXTTBL.BTR", m_db), nullptr);
    EXPECT_EQ(Shown(), 0);
}

TEST_F(BtrTableTest, WithoutAFolderTheProgramProfileNamesTheDatabase) {
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    CHostProfile::SetProgramName("Unita");
    ASSERT_TRUE(
        CHostProfile::WriteProfileString("GLOBAL", "DATABASE", QString::fromStdString(m_db)));
    AddPatient("0000000005");

    CPatient1Table patients;
    EXPECT_EQ(patients.FilePath(), m_db + "PATIENT1.BTR");
    ASSERT_EQ(patients.Open(), 0);
    EXPECT_EQ(patients.GetPatientData("0000000005"), 0);

    // The two tables without a profile default name no file when given an empty folder.
    CConditionTable conditions(std::string{});
    EXPECT_EQ(conditions.FilePath(), "");
    conditions.SetShowErrors(false);
    EXPECT_EQ(conditions.Open(), -1);
    unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
