// CPatientDB over PATIENT1.BTR and PATIENT2.BTR: whole-record round trips, prefix searches,
// and both files moving together inside transactions.
#include "suite/dbcall/patientdb.h"

#include <gtest/gtest.h>

#include <QString>
#include <cstring>
#include <random>
#include <string>

#include "suite/testsupport/testdatabase.h"
#include "suite/text/cp932.h"

namespace {

// A patient record with every byte set, apart from the text keys that must stay texts.
tagPATIENTDB FullPatient(const char* id, unsigned seed) {
    tagPATIENTDB record;
    std::mt19937 random(seed);
    auto* bytes = reinterpret_cast<unsigned char*>(&record);
    for (size_t i = 0; i < sizeof record; ++i) {
        bytes[i] = static_cast<unsigned char>(random() % 255 + 1);
    }
    SetField(record.PatientID, id);
    SetField(record.Patient2ID, id);
    SetCp932Field(record.Name, sizeof record.Name, QStringLiteral("山田 太郎"));
    SetCp932Field(record.Kana, sizeof record.Kana, QStringLiteral("ﾔﾏﾀﾞ ﾀﾛｳ"));
    SetField(record.ChartNo, id + 5);
    return record;
}

}  // namespace

class PatientDBTest : public DbFolderTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(DbFolderTest::SetUp());
        ASSERT_EQ(m_patients.SetAssociatedDB(&m_db), recman::kOk);
    }

    void AddPatient(const char* id, const QString& name, const QString& kana, const char* chartNo) {
        m_patients.ClearData();
        SetField(m_patients.m_Data.PatientID, id);
        SetCp932Field(m_patients.m_Data.Name, sizeof m_patients.m_Data.Name, name);
        SetCp932Field(m_patients.m_Data.Kana, sizeof m_patients.m_Data.Kana, kana);
        SetField(m_patients.m_Data.ChartNo, chartNo);
        ASSERT_EQ(m_patients.Insert(), recman::kOk) << id;
    }

    bool InFile1(const char* id) {
        CPatient1DB file;
        return file.SetAssociatedDB(&m_db) == 0 && file.GetPatient1Data(id) == 0;
    }
    bool InFile2(const char* id) {
        CPatient2DB file;
        return file.SetAssociatedDB(&m_db) == 0 && file.GetPatient2Data(id) == 0;
    }

    CPatientDB m_patients;
};

TEST_F(PatientDBTest, AllBytesRoundTripAcrossBothFiles) {
    const tagPATIENTDB written = FullPatient("0000000007", 1);
    m_patients.m_Data = written;
    ASSERT_EQ(m_patients.Insert(), recman::kOk);

    CPatientDB reader;
    ASSERT_EQ(reader.SetAssociatedDB(&m_db), recman::kOk);
    ASSERT_EQ(reader.GetPatientData("0000000007"), recman::kOk);
    EXPECT_EQ(std::memcmp(&reader.m_Data, &written, sizeof written), 0);

    // Each file holds its own half.
    CPatient1DB file1;
    ASSERT_EQ(file1.SetAssociatedDB(&m_db), recman::kOk);
    ASSERT_EQ(file1.GetPatient1Data("0000000007"), recman::kOk);
    EXPECT_EQ(std::memcmp(&file1.m_Data, &written, sizeof file1.m_Data), 0);
    CPatient2DB file2;
    ASSERT_EQ(file2.SetAssociatedDB(&m_db), recman::kOk);
    ASSERT_EQ(file2.GetPatient2Data("0000000007"), recman::kOk);
    EXPECT_EQ(std::memcmp(&file2.m_Data, reinterpret_cast<const char*>(&written) + 3600,
                          sizeof file2.m_Data),
              0);

    // Update changes fields in both halves.
    reader.m_Data.NextFee = 12345;
    reader.m_Data.NextInterval = -3;
    SetField(reader.m_Data.LastVisitDate, "20240510");
    ASSERT_EQ(reader.Update(), recman::kOk);
    ASSERT_EQ(m_patients.GetPatientData("0000000007"), recman::kOk);
    EXPECT_EQ(m_patients.m_Data.NextFee, 12345);
    EXPECT_EQ(m_patients.m_Data.NextInterval, -3);
    EXPECT_STREQ(m_patients.m_Data.LastVisitDate, "20240510");
}

TEST_F(PatientDBTest, MissingSecondRecordReadsAsZerosAndIsCreatedOnUpdate) {
    CPatient1DB file1;
    ASSERT_EQ(file1.SetAssociatedDB(&m_db), recman::kOk);
    SetField(file1.m_Data.PatientID, "0000000003");
    SetField(file1.m_Data.ChartNo, "300");
    ASSERT_EQ(file1.Insert(), recman::kOk);

    std::memset(&m_patients.m_Data, 0x5a, sizeof m_patients.m_Data);
    ASSERT_EQ(m_patients.GetPatientData("0000000003"), recman::kOk);
    const char zeros[4000] = {};
    EXPECT_EQ(std::memcmp(&m_patients.m_Data.Patient2ID, zeros, sizeof zeros), 0);
    SetField(m_patients.m_Data.OtherTel, "03-1111-2222");
    ASSERT_EQ(m_patients.Update(), recman::kOk);
    CPatient2DB file2;
    ASSERT_EQ(file2.SetAssociatedDB(&m_db), recman::kOk);
    ASSERT_EQ(file2.GetPatient2Data("0000000003"), recman::kOk);
    EXPECT_STREQ(file2.m_Data.OtherTel, "03-1111-2222");
}

TEST_F(PatientDBTest, UpdateAfterFirstFileOnlyReadKeepsSecondFile) {
    m_patients.m_Data = FullPatient("0000000008", 2);
    ASSERT_EQ(m_patients.Insert(), recman::kOk);
    const int32_t fee = m_patients.m_Data.NextFee;

    CPatientDB lab;
    ASSERT_EQ(lab.SetAssociatedDB(&m_db), recman::kOk);
    ASSERT_EQ(lab.GetPatient1Data("0000000008"), recman::kOk);
    EXPECT_EQ(lab.m_Data.NextFee, 0);  // not read
    SetField(lab.m_Data.LastVisitDate, "20240601");
    ASSERT_EQ(lab.Update(), recman::kOk);

    ASSERT_EQ(m_patients.GetPatientData("0000000008"), recman::kOk);
    EXPECT_STREQ(m_patients.m_Data.LastVisitDate, "20240601");
    EXPECT_EQ(m_patients.m_Data.NextFee, fee);
}

TEST_F(PatientDBTest, PrefixSearchesByKanaNameAndId) {
    AddPatient("0000000001", "山田 太郎", "ﾔﾏﾀﾞ ﾀﾛｳ", "1001");
    AddPatient("0000000002", "山本 花子", "ﾔﾏﾓﾄ ﾊﾅｺ", "1002");
    AddPatient("0000000003", "山田 次郎", "ﾔﾏﾀﾞ ｼﾞﾛｳ", "2001");
    AddPatient("0000000004", "佐藤 一", "ｻﾄｳ ﾊｼﾞﾒ", "30");

    const std::string yamada = QStringToCp932(QStringLiteral("ﾔﾏﾀﾞ"));
    ASSERT_EQ(m_patients.GetPatientDataByKana(yamada.c_str()), recman::kOk);
    EXPECT_STREQ(m_patients.m_Data.PatientID, "0000000003");  // ｼﾞ sorts before ﾀﾛ
    ASSERT_EQ(m_patients.GetNEXT(), recman::kOk);             // and the scan reads on
    EXPECT_STREQ(m_patients.m_Data.PatientID, "0000000001");
    EXPECT_EQ(m_patients.GetPatientDataByKana(QStringToCp932(QStringLiteral("ﾖ")).c_str()),
              recman::kKeyNotFound);
    // A prefix between two keys that neither starts with.
    EXPECT_EQ(m_patients.GetPatientDataByKana(QStringToCp932(QStringLiteral("ﾔﾏﾁ")).c_str()),
              recman::kKeyNotFound);

    ASSERT_EQ(m_patients.GetPatientDataByName(QStringToCp932(QStringLiteral("山本")).c_str()),
              recman::kOk);
    EXPECT_STREQ(m_patients.m_Data.PatientID, "0000000002");
    EXPECT_EQ(m_patients.m_Data.Patient2ID[0], '0');  // the second part came along

    ASSERT_EQ(m_patients.GetPatientDataByID("100"), recman::kOk);
    EXPECT_STREQ(m_patients.m_Data.ChartNo, "1001");
    ASSERT_EQ(m_patients.GetPatientDataByID("3"), recman::kOk);
    EXPECT_STREQ(m_patients.m_Data.ChartNo, "30");
    EXPECT_EQ(m_patients.GetPatientDataByID("4"), recman::kKeyNotFound);
}

TEST_F(PatientDBTest, AbortedTransactionUndoesBothFiles) {
    ASSERT_EQ(CBaseDBCall::BeginTran(), recman::kOk);
    m_patients.m_Data = FullPatient("0000000005", 3);
    ASSERT_EQ(m_patients.Insert(), recman::kOk);
    EXPECT_TRUE(CBaseDBCall::InTransaction());
    ASSERT_EQ(CBaseDBCall::AbortTran(), recman::kOk);
    EXPECT_FALSE(InFile1("0000000005"));
    EXPECT_FALSE(InFile2("0000000005"));

    // Without a caller's transaction the insert commits both files on its own.
    ASSERT_EQ(m_patients.Insert(), recman::kOk);
    EXPECT_FALSE(CBaseDBCall::InTransaction());
    EXPECT_TRUE(InFile1("0000000005"));
    EXPECT_TRUE(InFile2("0000000005"));
}

TEST_F(PatientDBTest, FailedInsertWritesNeitherFileAndDeleteRemovesBoth) {
    AddPatient("0000000006", "甲", "ｺｳ", "6");
    // A second patient with the same PatientID: refused, the stored halves unchanged.
    m_patients.m_Data = FullPatient("0000000006", 4);
    EXPECT_EQ(m_patients.Insert(), recman::kDuplicateKey);
    EXPECT_FALSE(CBaseDBCall::InTransaction());
    ASSERT_EQ(m_patients.GetPatientData("0000000006"), recman::kOk);
    EXPECT_EQ(m_patients.m_Data.NextFee, 0);

    ASSERT_EQ(m_patients.Delete(), recman::kOk);
    EXPECT_FALSE(InFile1("0000000006"));
    EXPECT_FALSE(InFile2("0000000006"));
}
