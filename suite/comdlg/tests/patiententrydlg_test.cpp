// Tests of patient entry: new patients keyed from the patient counter and written to both
// patient files, edits that keep what the dialog does not show, the checks (ID unique among
// patients, sex chosen, dates, lengths), two desks registering one ID at the same moment,
// the proposed ID, and the dialog driven through its controls with the masters behind its
// combos.
#include "suite/comdlg/patiententrydlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cstring>

#include "recman/recman.h"
#include "suite/comdlg/velocomdlg.h"
#include "suite/dbcall/indexcontroldb.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/testsupport/modal.h"
#include "suite/testsupport/peerprocess.h"
#include "suite/testsupport/testdatabase.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/storabletext.h"
#include "suite/testsupport/application.h"

namespace {

template <typename Widget>
Widget* Child(QWidget* parent, int id) {
    auto* widget = parent->findChild<Widget*>(QString::number(id));
    EXPECT_NE(widget, nullptr) << id;
    return widget;
}

class PatientEntryTest : public DbFolderTest {
protected:
    void SetUp() override {
        EnsureQApplication("patiententrydlg_test");
        ASSERT_NO_FATAL_FAILURE(DbFolderTest::SetUp());
        CDate::SetTodayForTesting(2024, 6, 10);
        CMessageService::ClearHistory();
    }

    void TearDown() override {
        CDate::SetTodayForTesting(0, 0, 0);
        CMessageService::SetScript(nullptr);
    }

    template <typename Table, typename Fill>
    void Insert(Fill fill) {
        Table table;
        ASSERT_EQ(table.Open(m_folder), recman::kOk);
        table.ClearData();
        fill(table.m_Data);
        ASSERT_EQ(table.Insert(), recman::kOk);
    }

    // A stored patient with fields the dialog does not show filled in.
    void AddPatient(const char* id, const char* chartNo, const QString& name) {
        CPatientDB patients;
        ASSERT_EQ(patients.Open(m_folder), recman::kOk);
        patients.ClearData();
        tagPATIENTDB& r = patients.m_Data;
        SetField(r.PatientID, id);
        SetField(r.Patient2ID, id);
        SetField(r.ChartNo, chartNo);
        SetCp932Field(r.Name, sizeof r.Name, name);
        SetField(r.Sex, "1");
        SetField(r.EntryDate, "20200401");
        SetField(r.LastVisitDate, "20240501");
        SetField(r.DoctorCode, "02");
        SetCp932Field(r.GuardianName, sizeof r.GuardianName, QStringLiteral("保護者"));
        SetField(r.Email, "patient@example.jp");
        SetCp932Field(r.Comment, sizeof r.Comment, QStringLiteral("金属アレルギー"));
        SetCp932Field(r.NextVisitContent, sizeof r.NextVisitContent, QStringLiteral("調整"));
        SetField(r.NextVisitDate, "20240710");
        r.NextInterval = 4;
        r.NextFee = 5000;
        ASSERT_EQ(patients.Insert(), recman::kOk);
    }

    // Entries of the masters the detail combos offer; the third condition is hidden.
    void AddDetailMasters() {
        const char* const conditions[][3] = {
            {"01", "動的治療中", ""}, {"02", "保定中", ""}, {"03", "旧区分", "__"}};
        for (const auto& c : conditions) {
            Insert<CConditionDB>([&](tagCONDITIONDB& r) {
                SetField(r.Code, c[0]);
                SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8(c[1]));
                SetField(r.HiddenMark, c[2]);
            });
        }
        for (const char* code : {"001", "002"}) {
            Insert<CIntroDrDB>([&](tagINTRODRDB& r) {
                SetField(r.Code, code);
                SetCp932Field(r.Name, sizeof r.Name, QStringLiteral("医師") + code);
                SetCp932Field(r.ClinicName, sizeof r.ClinicName, QStringLiteral("歯科医院"));
            });
        }
        Insert<CCategoryDB>([](tagCATEGORYDB& r) {
            SetField(r.Type, "3");
            SetField(r.Code, "01");
            SetCp932Field(r.Name, sizeof r.Name, QStringLiteral("中学校"));
        });
        const char* const custom[][3] = {
            {"AB", "0001", "協力的"}, {"AB", "0002", "時間に正確"}, {"04", "0001", "電車"}};
        for (const auto& c : custom) {
            Insert<CCustomTblDB>([&](tagCUSTOMTBLDB& r) {
                SetField(r.TableID, c[0]);
                SetField(r.Code, c[1]);
                SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8(c[2]));
            });
        }
    }

    CPatientEntry Entry(const QString& chartNo, const QString& name) {
        CPatientEntry entry;
        entry.chartNo = chartNo;
        entry.name = name;
        entry.sex = EPatientSex::Female;
        entry.kana = QStringLiteral("ヤマダ　ハナコ");
        entry.birthDate = QStringLiteral("2012/4/3");
        entry.firstVisitDate = QStringLiteral("2024/06/10");
        entry.homeTel = QStringLiteral("03-1234 5678");
        entry.otherTel = QStringLiteral("090-0000-1111");
        entry.insuranceType = QStringLiteral("02");
        return entry;
    }

    int PatientCount() {
        CPatient1DB patients;
        if (patients.Open(m_folder) != 0) return -1;
        int n = 0;
        for (int s = patients.GetFIRST(); s == 0; s = patients.GetNEXT()) ++n;
        return n;
    }

    int CounterValue() {
        CIndexControlDB counter;
        if (counter.Open(m_folder) != 0) return -1;
        char key[sizeof(tagINDEXCONTROLDB::IndexName)] = "PATIENT";
        counter.SetKey(0);
        counter.SetKeyBuffer(key, sizeof key);
        return counter.GetEQUAL() == 0 ? counter.m_Data.NextValue : 0;
    }
};

TEST_F(PatientEntryTest, NewPatientGoesToBothFilesUnderTheNextKey) {
    AddPatient("0000000005", "00005", QStringLiteral("既存患者"));
    tagPATIENTDB saved{};
    CPatientEntry entry = Entry(QStringLiteral("00006"), QStringLiteral("山田花子"));
    entry.conditionCode = QStringLiteral("02");
    entry.familyDrCode = QStringLiteral("003");
    entry.workKindCode = QStringLiteral("01");
    entry.workplaceName = QStringLiteral(" 西中学校 ");
    entry.guardianJob = QStringLiteral("会社員");
    entry.freeTableCodes[4] = QStringLiteral("0012");
    const CPatientSaveResult result = InsertNewPatient(&m_db, entry, &saved);
    ASSERT_TRUE(result.IsOk()) << PatientResultMessage(result).toStdString();
    // Without a counter the key follows the highest key in the file.
    EXPECT_STREQ(saved.PatientID, "0000000006");
    EXPECT_EQ(CounterValue(), 7);

    CPatient1DB part1;
    ASSERT_EQ(part1.Open(m_folder), 0);
    ASSERT_EQ(part1.GetPatient1Data("0000000006"), 0);
    EXPECT_EQ(Cp932FieldToQString(part1.m_Data.Name), QStringLiteral("山田花子"));
    EXPECT_STREQ(part1.m_Data.BirthDate, "20120403");
    EXPECT_STREQ(part1.m_Data.FirstVisitDate, "20240610");
    EXPECT_STREQ(part1.m_Data.EntryDate, "20240610");
    EXPECT_STREQ(part1.m_Data.LastVisitDate, "");
    EXPECT_STREQ(part1.m_Data.Sex, "2");
    EXPECT_STREQ(part1.m_Data.HomeTel, "03-1234 5678");
    EXPECT_STREQ(part1.m_Data.HomeTelDigits, "0312345678");
    EXPECT_STREQ(part1.m_Data.ConditionCode, "02");
    EXPECT_STREQ(part1.m_Data.IntroDrCode, "");
    EXPECT_STREQ(part1.m_Data.FamilyDrCode, "003");
    EXPECT_STREQ(part1.m_Data.WorkKindCode, "01");
    EXPECT_EQ(Cp932FieldToQString(part1.m_Data.WorkplaceName), QStringLiteral("西中学校"));
    EXPECT_EQ(Cp932FieldToQString(part1.m_Data.GuardianJob), QStringLiteral("会社員"));
    EXPECT_STREQ(part1.m_Data.FreeTblCode[0], "");
    EXPECT_STREQ(part1.m_Data.FreeTblCode[4], "0012");
    CPatient2DB part2;
    ASSERT_EQ(part2.Open(m_folder), 0);
    ASSERT_EQ(part2.GetPatient2Data("0000000006"), 0);
    EXPECT_STREQ(part2.m_Data.OtherTel, "090-0000-1111");
    EXPECT_STREQ(part2.m_Data.InsuranceType, "02");

    // The counter, once stored, hands out the next keys even when it runs ahead of the file.
    ASSERT_TRUE(InsertNewPatient(&m_db, Entry("00007", QStringLiteral("次の患者")), &saved).IsOk());
    EXPECT_STREQ(saved.PatientID, "0000000007");
    {
        CIndexControlDB counter;
        ASSERT_EQ(counter.Open(m_folder), 0);
        char key[sizeof(tagINDEXCONTROLDB::IndexName)] = "PATIENT";
        counter.SetKeyBuffer(key, sizeof key);
        ASSERT_EQ(counter.GetEQUAL(), 0);
        counter.m_Data.NextValue = 40;
        ASSERT_EQ(counter.Update(), 0);
    }
    ASSERT_TRUE(InsertNewPatient(&m_db, Entry("00040", QStringLiteral("飛び番")), &saved).IsOk());
    EXPECT_STREQ(saved.PatientID, "0000000040");
    EXPECT_EQ(CounterValue(), 41);
    // The reservation counter is a different record and is left alone.
    CIndexControlDB reservations;
    ASSERT_EQ(reservations.Open(m_folder), 0);
    EXPECT_EQ(reservations.GetNexReservationIndex(), "0000000001");
}

TEST_F(PatientEntryTest, EditKeepsTheFieldsTheDialogDoesNotShow) {
    AddPatient("0000000003", "A0003", QStringLiteral("旧姓"));
    CPatientEntry entry = Entry(QStringLiteral("A0003"), QStringLiteral("新姓"));
    entry.mobileTel = QStringLiteral("080-1111-2222");
    entry.doctorCode = QStringLiteral("05");
    entry.inactive = true;
    tagPATIENTDB saved{};
    // Its own ID is no duplicate.
    const CPatientSaveResult result = UpdatePatient(&m_db, "0000000003", entry, &saved);
    ASSERT_TRUE(result.IsOk()) << PatientResultMessage(result).toStdString();

    CPatientDB patients;
    ASSERT_EQ(patients.Open(m_folder), 0);
    ASSERT_EQ(patients.GetPatientData("0000000003"), 0);
    const tagPATIENTDB& r = patients.m_Data;
    EXPECT_EQ(Cp932FieldToQString(r.Name), QStringLiteral("新姓"));
    EXPECT_STREQ(r.MobileTelDigits, "08011112222");
    EXPECT_STREQ(r.DoctorCode, "05");
    EXPECT_EQ(r.InactiveFlag, 1);
    EXPECT_STREQ(r.EntryDate, "20200401");
    EXPECT_STREQ(r.LastVisitDate, "20240501");
    EXPECT_EQ(Cp932FieldToQString(r.GuardianName), QStringLiteral("保護者"));
    EXPECT_STREQ(r.Email, "patient@example.jp");
    EXPECT_EQ(Cp932FieldToQString(r.Comment), QStringLiteral("金属アレルギー"));
    EXPECT_EQ(Cp932FieldToQString(r.NextVisitContent), QStringLiteral("調整"));
    EXPECT_STREQ(r.NextVisitDate, "20240710");
    EXPECT_EQ(r.NextInterval, 4);
    EXPECT_EQ(r.NextFee, 5000);
    EXPECT_EQ(std::memcmp(&saved, &r, sizeof r), 0);
    EXPECT_EQ(PatientCount(), 1);

    EXPECT_EQ(UpdatePatient(&m_db, "0000000099", entry).result, EPatientResult::NotFound);
}

TEST_F(PatientEntryTest, SavingAnUntouchedEntryChangesNoByte) {
    AddPatient("0000000008", "00008", QStringLiteral("元のまま"));
    {
        // Values the dialog cannot show exactly: a byte that is not code page 932, a date
        // that is no date, an old sex byte, an unlisted insurance code.
        CPatientDB patients;
        ASSERT_EQ(patients.Open(m_folder), 0);
        ASSERT_EQ(patients.GetPatientData("0000000008"), 0);
        std::strcpy(patients.m_Data.Kana, "abc\xFF");
        std::strcpy(patients.m_Data.BirthDate, "00000000");
        std::strcpy(patients.m_Data.Sex, "0");
        std::strcpy(patients.m_Data.HomeTel, "03 1111");
        std::strcpy(patients.m_Data.HomeTelDigits, "031111");
        std::strcpy(patients.m_Data.InsuranceType, "7");
        patients.m_Data.InactiveFlag = 2;
        std::strcpy(patients.m_Data.TraitCode, "0099");
        std::strcpy(patients.m_Data.WorkplaceName, "abc\xFF");
        std::strcpy(patients.m_Data.FreeTblCode[2], "77");
        ASSERT_EQ(patients.Update(), 0);
    }
    CPatientDB before;
    ASSERT_EQ(before.Open(m_folder), 0);
    ASSERT_EQ(before.GetPatientData("0000000008"), 0);
    const CPatientEntry entry = PatientEntryFromRecord(before.m_Data);
    tagPATIENTDB saved{};
    ASSERT_TRUE(UpdatePatient(&m_db, "0000000008", entry, &saved).IsOk());
    EXPECT_EQ(std::memcmp(&saved, &before.m_Data, sizeof saved), 0);
}

TEST_F(PatientEntryTest, RefusedEntriesWriteNothing) {
    AddPatient("0000000001", "00001", QStringLiteral("田中一郎"));
    AddPatient("0000000002", "00002", QStringLiteral("田中二郎"));
    auto insert = [&](const CPatientEntry& entry) { return InsertNewPatient(&m_db, entry); };
    CPatientEntry entry = Entry(QStringLiteral(" 00001 "), QStringLiteral("重複"));
    CPatientSaveResult result = insert(entry);
    EXPECT_EQ(result.result, EPatientResult::DuplicateChartNo);
    EXPECT_EQ(result.otherPatient, QStringLiteral("田中一郎"));
    EXPECT_TRUE(PatientResultMessage(result).contains(QStringLiteral("田中一郎")));
    // Editing one patient onto another's ID is refused as well.
    EXPECT_EQ(UpdatePatient(&m_db, "0000000002", entry).result, EPatientResult::DuplicateChartNo);

    entry.chartNo = QStringLiteral("00003");
    entry.name = QStringLiteral("　 ");
    EXPECT_EQ(insert(entry).result, EPatientResult::EmptyName);
    entry.name = QStringLiteral("佐藤");
    entry.chartNo.clear();
    EXPECT_EQ(insert(entry).result, EPatientResult::EmptyChartNo);
    entry.chartNo = QStringLiteral("00003");
    entry.sex = EPatientSex::NotChosen;
    result = insert(entry);
    EXPECT_EQ(result.result, EPatientResult::NoSex);
    EXPECT_EQ(result.field, QStringLiteral("性別"));
    entry.sex = EPatientSex::Male;

    entry.birthDate = QStringLiteral("2023/02/29");
    result = insert(entry);
    EXPECT_EQ(result.result, EPatientResult::BadDate);
    EXPECT_EQ(result.field, QStringLiteral("生年月日"));
    entry.birthDate = QStringLiteral("1899/12/31");
    EXPECT_EQ(insert(entry).result, EPatientResult::BadDate);
    entry.birthDate = QStringLiteral("2024/06/11");
    EXPECT_EQ(insert(entry).result, EPatientResult::BirthInFuture);
    entry.birthDate = QStringLiteral("2010/01/01");
    entry.firstVisitDate = QStringLiteral("2009/12/31");
    EXPECT_EQ(insert(entry).result, EPatientResult::BirthAfterFirstVisit);
    entry.firstVisitDate = QStringLiteral("20xx/01/01");
    result = insert(entry);
    EXPECT_EQ(result.result, EPatientResult::BadDate);
    EXPECT_EQ(result.field, QStringLiteral("初診日"));
    entry.firstVisitDate.clear();

    // Names hold 40 bytes: twenty double-byte characters fit, twenty-one do not.
    entry.name = QString(21, QChar(0x5C71));
    result = insert(entry);
    EXPECT_EQ(result.result, EPatientResult::TextTooLong);
    EXPECT_EQ(result.field, QStringLiteral("氏名"));
    entry.name = QStringLiteral("佐藤");
    entry.guardianJob = QString(21, QChar(0x5C71));
    result = insert(entry);
    EXPECT_EQ(result.result, EPatientResult::TextTooLong);
    EXPECT_EQ(result.field, QStringLiteral("保護者職業"));
    entry.guardianJob.clear();
    EXPECT_EQ(PatientCount(), 2);
    EXPECT_EQ(CounterValue(), 0);

    entry.name = QString(20, QChar(0x5C71));
    EXPECT_TRUE(insert(entry).IsOk());
    EXPECT_EQ(PatientCount(), 3);
}

TEST_F(PatientEntryTest, TwoDesksRegisteringOneIdAtOnceRegisterOnePatient) {
    constexpr int kRounds = 20;
    for (int round = 0; round < kRounds; ++round) {
        const std::string chartNo = "0" + std::to_string(round + 100);
        CPeerProcess first(PATIENTENTRY_PEER, {"register", m_folder, chartNo, "受付A"});
        CPeerProcess second(PATIENTENTRY_PEER, {"register", m_folder, chartNo, "受付B"});
        ASSERT_EQ(first.ReadLine(), "ready");
        ASSERT_EQ(second.ReadLine(), "ready");
        first.Send("go");
        second.Send("go");
        const std::string answers[] = {first.ReadLine(), second.ReadLine()};
        first.Wait();
        second.Wait();
        int registered = 0, refused = 0;
        for (const std::string& answer : answers) {
            if (answer.rfind("ok ", 0) == 0) ++registered;
            const int duplicate = static_cast<int>(EPatientResult::DuplicateChartNo);
            if (answer.rfind("refused " + std::to_string(duplicate) + " ", 0) == 0) ++refused;
        }
        EXPECT_EQ(registered, 1) << answers[0] << " / " << answers[1];
        EXPECT_EQ(refused, 1) << answers[0] << " / " << answers[1];
    }
    // The refused saves left nothing behind: one patient in each file per round, and the
    // counter just past the keys handed out.
    EXPECT_EQ(PatientCount(), kRounds);
    CPatient2DB part2;
    ASSERT_EQ(part2.Open(m_folder), 0);
    int secondFile = 0;
    for (int s = part2.GetFIRST(); s == 0; s = part2.GetNEXT()) ++secondFile;
    EXPECT_EQ(secondFile, kRounds);
    EXPECT_EQ(CounterValue(), kRounds + 1);
}

TEST_F(PatientEntryTest, DatesAreReadInTheFormsPeopleType) {
    std::string ymd;
    EXPECT_TRUE(ParseEntryDate(QStringLiteral("2010/4/1"), &ymd));
    EXPECT_EQ(ymd, "20100401");
    EXPECT_TRUE(ParseEntryDate(QStringLiteral("20100401"), &ymd));
    EXPECT_EQ(ymd, "20100401");
    EXPECT_TRUE(ParseEntryDate(QStringLiteral("２０１０／０４／０１"), &ymd));
    EXPECT_EQ(ymd, "20100401");
    EXPECT_TRUE(ParseEntryDate(QStringLiteral("  "), &ymd));
    EXPECT_EQ(ymd, "");
    EXPECT_FALSE(ParseEntryDate(QStringLiteral("2010/13/01"), &ymd));
    EXPECT_FALSE(ParseEntryDate(QStringLiteral("201041"), &ymd));
    EXPECT_EQ(EntryDateText("20100401"), QStringLiteral("2010/04/01"));
    EXPECT_EQ(EntryDateText(""), QString());
}

TEST_F(PatientEntryTest, ProposedIdFollowsTheHighestNumericIdWithItsPadding) {
    EXPECT_EQ(NextChartNo(&m_db), "1");
    AddPatient("0000000001", "00041", QStringLiteral("一"));
    AddPatient("0000000002", "A0999", QStringLiteral("二"));
    AddPatient("0000000003", "7", QStringLiteral("三"));
    EXPECT_EQ(NextChartNo(&m_db), "00042");
}

TEST_F(PatientEntryTest, NewPatientDialogWarnsAndSavesWhenCorrected) {
    Insert<CDoctorDB>([](tagDOCTORDB& r) {
        SetField(r.Code, "01");
        SetCp932Field(r.Name, sizeof r.Name, QStringLiteral("院長"));
    });
    AddDetailMasters();
    AddPatient("0000000001", "00001", QStringLiteral("既存"));
    bool askedForSex = false;
    bool warned = false;
    OnModal([&](QDialog* dialog) {
        EXPECT_EQ(Child<QLineEdit>(dialog, CPatientEntryDlg::kIdChartNo)->text(), "00002");
        EXPECT_EQ(Child<QLineEdit>(dialog, CPatientEntryDlg::kIdFirstVisit)->text(), "2024/06/10");
        auto* doctor = Child<QComboBox>(dialog, CPatientEntryDlg::kIdDoctor);
        EXPECT_EQ(doctor->currentIndex(), 0);  // not set
        doctor->setCurrentIndex(doctor->findText(QStringLiteral("院長")));
        Child<QLineEdit>(dialog, CPatientEntryDlg::kIdName)->setText(QStringLiteral("鈴木太郎"));
        // No sex is taken for granted: OK asks for one and saves nothing.
        auto* male = Child<QRadioButton>(dialog, CPatientEntryDlg::kIdMale);
        EXPECT_FALSE(male->isChecked());
        EXPECT_FALSE(Child<QRadioButton>(dialog, CPatientEntryDlg::kIdFemale)->isChecked());
        auto* ok = Child<QPushButton>(dialog, 1);
        QTest::mouseClick(ok, Qt::LeftButton);
        askedForSex = dialog->isVisible() && CMessageService::History().size() == 1 &&
                      dialog->focusWidget() == male && PatientCount() == 1;
        QTest::mouseClick(male, Qt::LeftButton);
        // The detail combos start on "not set" and list the masters' visible entries.
        auto* condition = Child<QComboBox>(dialog, CPatientEntryDlg::kIdCondition);
        EXPECT_EQ(condition->count(), 3);
        EXPECT_EQ(condition->currentText(), QStringLiteral("（未設定）"));
        condition->setFocus();
        QTest::keyClick(condition, Qt::Key_Down);
        QTest::keyClick(condition, Qt::Key_Down);
        auto* freeTable = Child<QComboBox>(dialog, CPatientEntryDlg::kIdFreeTable1 + 4);
        freeTable->setFocus();
        QTest::keyClick(freeTable, Qt::Key_Down);
        EXPECT_EQ(freeTable->currentText(), QStringLiteral("電車"));
        auto* job = Child<QLineEdit>(dialog, CPatientEntryDlg::kIdGuardianJob);
        job->setFocus();
        // Japanese arrives committed by the input method.
        QInputMethodEvent typed;
        typed.setCommitString(QStringLiteral("教員"));
        QApplication::sendEvent(job, &typed);
        Child<QLineEdit>(dialog, CPatientEntryDlg::kIdBirthDate)->setText("2015/02/30");
        Child<QPushButton>(dialog, 1)->click();
        warned = dialog->isVisible() && CMessageService::History().size() == 2;
        Child<QLineEdit>(dialog, CPatientEntryDlg::kIdBirthDate)->setText("2015/02/28");
        EXPECT_EQ(Child<QLabel>(dialog, CPatientEntryDlg::kIdAge)->text(),
                  QStringLiteral("9歳 3ヶ月"));
        Child<QPushButton>(dialog, 1)->click();
    });
    std::unique_ptr<tagPATIENTDB> saved = CVeloComDlg::GetNewPatientData(&m_db, 1, "", nullptr);
    EXPECT_TRUE(askedForSex);
    EXPECT_TRUE(warned);
    ASSERT_NE(saved, nullptr);
    EXPECT_STREQ(saved->PatientID, "0000000002");
    EXPECT_STREQ(saved->ChartNo, "00002");
    EXPECT_STREQ(saved->Sex, "1");
    EXPECT_STREQ(saved->DoctorCode, "01");
    EXPECT_STREQ(saved->BirthDate, "20150228");
    EXPECT_STREQ(saved->ConditionCode, "02");
    EXPECT_STREQ(saved->FreeTblCode[4], "0001");
    EXPECT_STREQ(saved->FreeTblCode[0], "");
    EXPECT_EQ(Cp932FieldToQString(saved->GuardianJob), QStringLiteral("教員"));
    ASSERT_EQ(CMessageService::History().size(), 2);
    EXPECT_EQ(CMessageService::History()[0].text, QStringLiteral("性別を選択してください。"));
    EXPECT_EQ(CMessageService::History()[1].text,
              PatientResultMessage({EPatientResult::BadDate, QStringLiteral("生年月日"), {}, 0}));
    EXPECT_EQ(PatientCount(), 2);
}

TEST_F(PatientEntryTest, EditDialogStartsFromTheRecordAndKeepsAnUnlistedDoctor) {
    AddDetailMasters();
    AddPatient("0000000004", "00004", QStringLiteral("高橋"));
    {
        CPatientDB patients;
        ASSERT_EQ(patients.Open(m_folder), 0);
        ASSERT_EQ(patients.GetPatientData("0000000004"), 0);
        SetField(patients.m_Data.ConditionCode, "01");
        SetField(patients.m_Data.IntroDrCode, "009");
        SetField(patients.m_Data.FamilyDrCode, "002");
        SetField(patients.m_Data.TraitCode, "0002");
        SetField(patients.m_Data.WorkKindCode, "01");
        SetCp932Field(patients.m_Data.WorkplaceName, sizeof patients.m_Data.WorkplaceName,
                      QStringLiteral("西中学校"));
        ASSERT_EQ(patients.Update(), 0);
    }
    OnModal([](QDialog* dialog) {
        EXPECT_EQ(Child<QLineEdit>(dialog, CPatientEntryDlg::kIdName)->text(),
                  QStringLiteral("高橋"));
        EXPECT_TRUE(Child<QRadioButton>(dialog, CPatientEntryDlg::kIdMale)->isChecked());
        // Doctor "02" is in no master: it stays chosen rather than turning into "not set".
        EXPECT_EQ(Child<QComboBox>(dialog, CPatientEntryDlg::kIdDoctor)->currentData().toString(),
                  "02");
        auto text = [dialog](int id) { return Child<QComboBox>(dialog, id)->currentText(); };
        EXPECT_EQ(text(CPatientEntryDlg::kIdCondition), QStringLiteral("動的治療中"));
        EXPECT_EQ(text(CPatientEntryDlg::kIdIntroDr), QStringLiteral("（非表示）コード 009"));
        EXPECT_EQ(text(CPatientEntryDlg::kIdFamilyDr), QStringLiteral("歯科医院 医師002"));
        EXPECT_EQ(text(CPatientEntryDlg::kIdWorkKind), QStringLiteral("中学校"));
        EXPECT_EQ(Child<QLineEdit>(dialog, CPatientEntryDlg::kIdWorkplaceName)->text(),
                  QStringLiteral("西中学校"));
        auto* trait = Child<QComboBox>(dialog, CPatientEntryDlg::kIdTrait);
        EXPECT_EQ(trait->currentText(), QStringLiteral("時間に正確"));
        trait->setFocus();
        QTest::keyClick(trait, Qt::Key_Up);
        Child<QLineEdit>(dialog, CPatientEntryDlg::kIdKana)->setText(QStringLiteral("タカハシ"));
        Child<QCheckBox>(dialog, CPatientEntryDlg::kIdInactive)->setChecked(true);
        Child<QPushButton>(dialog, 1)->click();
    });
    std::unique_ptr<tagPATIENTDB> saved =
        CVeloComDlg::GetNewPatientData(&m_db, 2, "0000000004", nullptr);
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(Cp932FieldToQString(saved->Kana), QStringLiteral("タカハシ"));
    EXPECT_STREQ(saved->DoctorCode, "02");
    EXPECT_EQ(saved->InactiveFlag, 1);
    EXPECT_STREQ(saved->Email, "patient@example.jp");
    EXPECT_STREQ(saved->TraitCode, "0001");
    EXPECT_STREQ(saved->ConditionCode, "01");
    EXPECT_STREQ(saved->IntroDrCode, "009");
    EXPECT_STREQ(saved->FamilyDrCode, "002");

    // Cancelling returns nothing and leaves the record as it was.
    OnModal([](QDialog* dialog) {
        Child<QLineEdit>(dialog, CPatientEntryDlg::kIdName)->setText(QStringLiteral("取消"));
        Child<QPushButton>(dialog, 2)->click();
    });
    EXPECT_EQ(CVeloComDlg::GetNewPatientData(&m_db, 2, "0000000004", nullptr), nullptr);
    CPatientDB patients;
    ASSERT_EQ(patients.Open(m_folder), 0);
    ASSERT_EQ(patients.GetPatientData("0000000004"), 0);
    EXPECT_EQ(Cp932FieldToQString(patients.m_Data.Name), QStringLiteral("高橋"));
}

TEST_F(PatientEntryTest, UnstorableCharactersAreRefusedBeforeAnythingIsWritten) {
    AddPatient("0000000006", "00006", QStringLiteral("渡辺"));
    {
        // A stored reading the dialog cannot show exactly: left alone, it does not block
        // saving and keeps its bytes.
        CPatientDB patients;
        ASSERT_EQ(patients.Open(m_folder), 0);
        ASSERT_EQ(patients.GetPatientData("0000000006"), 0);
        std::strcpy(patients.m_Data.Kana, "abc\xFF");
        ASSERT_EQ(patients.Update(), 0);
    }
    bool refused = false;
    OnModal([&](QDialog* dialog) {
        auto* name = Child<QLineEdit>(dialog, CPatientEntryDlg::kIdName);
        auto* address = Child<QLineEdit>(dialog, CPatientEntryDlg::kIdAddress1);
        name->setText(QStringLiteral("渡辺😀"));
        address->setText(QStringLiteral("東京都€1-2"));
        Child<QPushButton>(dialog, 1)->click();
        refused = dialog->isVisible() && dialog->focusWidget() == name &&
                  name->selectedText() == QStringLiteral("渡辺😀") &&
                  address->text() == QStringLiteral("東京都€1-2");
        name->setText(QStringLiteral("髙橋"));
        address->setText(QStringLiteral("神奈川県川﨑市①"));
        Child<QPushButton>(dialog, 1)->click();
    });
    std::unique_ptr<tagPATIENTDB> saved =
        CVeloComDlg::GetNewPatientData(&m_db, 2, "0000000006", nullptr);
    EXPECT_TRUE(refused);
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(CMessageService::History()[0].text,
              UnstorableCharactersMessage(QStringLiteral("😀€")));
    ASSERT_NE(saved, nullptr);
    CPatientDB patients;
    ASSERT_EQ(patients.Open(m_folder), 0);
    ASSERT_EQ(patients.GetPatientData("0000000006"), 0);
    EXPECT_EQ(Cp932FieldToQString(patients.m_Data.Name), QStringLiteral("髙橋"));
    EXPECT_EQ(Cp932FieldToQString(patients.m_Data.Address1), QStringLiteral("神奈川県川﨑市①"));
    EXPECT_STREQ(patients.m_Data.Kana, "abc\xFF");

    // A new patient with an unstorable reading takes no key and writes no record.
    CMessageService::ClearHistory();
    OnModal([](QDialog* dialog) {
        Child<QLineEdit>(dialog, CPatientEntryDlg::kIdName)->setText(QStringLiteral("新患"));
        Child<QLineEdit>(dialog, CPatientEntryDlg::kIdKana)->setText(QStringLiteral("シンカン😀"));
        Child<QPushButton>(dialog, 1)->click();
        EXPECT_TRUE(dialog->isVisible());
        Child<QPushButton>(dialog, 2)->click();
    });
    EXPECT_EQ(CVeloComDlg::GetNewPatientData(&m_db, 1, "", nullptr), nullptr);
    EXPECT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(PatientCount(), 1);
    EXPECT_EQ(CounterValue(), 0);
}

TEST_F(PatientEntryTest, EditOfAMissingPatientIsReportedWithoutADialog) {
    EXPECT_EQ(CVeloComDlg::GetNewPatientData(&m_db, 2, "0000000404", nullptr), nullptr);
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(CMessageService::History()[0].text,
              PatientResultMessage({EPatientResult::NotFound, {}, {}, 0}));
}

}  // namespace
