// Tests of the patient combine: the kept patient's empty fields, the records and files that
// move under the kept patient's first free numbers, the renumbered photo and analysis
// references (photo-set companions included), data deletion, refusals, and the dialog
// driven through its controls.
#include "merger/combine.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "merger/btrtables.h"
#include "merger/combinedlg.h"
#include "merger/mediafiles.h"
#include "merger/tests/mergetestdb.h"
#include "suite/text/cp932.h"
#include "suite/tool/messageservice.h"
#include "tools/velodb.h"

namespace unita {
namespace {

namespace fs = std::filesystem;
using testdb::Put;
using testdb::ReadFile;
using testdb::WriteFile;

const std::string kKept = "0000000001";
const std::string kAbsorbed = "0000000002";

template <size_t N>
std::string Get(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

template <typename Table, typename Fill>
void Add(const std::string& folder, const std::string& patient, const std::string& number,
         Fill fill) {
    Table table(folder);
    ASSERT_EQ(table.Open(), 0);
    table.ClearData();
    Put(table.Rec().PatientID, patient);
    Put(table.Rec().RecordNo, number);
    fill(table.Rec());
    ASSERT_EQ(table.Insert(), 0) << table.FilePath() << " " << patient << " " << number;
}

template <typename Table>
void Add(const std::string& folder, const std::string& patient, const std::string& number) {
    Add<Table>(folder, patient, number, [](auto&) {});
}

// The records of one patient in a table, as raw bytes, in key order.
std::vector<std::string> RecordsOf(const std::string& folder, const std::string& table,
                                   const std::string& patient) {
    std::vector<std::string> records;
    std::unique_ptr<CBtrTable> t = MakeBtrTable(table, folder);
    EXPECT_TRUE(t && t->Open() == 0) << table;
    if (!t || !t->IsOpen()) return records;
    for (int s = t->FirstOfPatient(patient.c_str());
         s == 0 && !t->IsEOF() && t->IsOfPatient(patient.c_str()); s = t->GetNext())
        records.emplace_back(t->Data(), FindBtrTable(table)->m_recordLength);
    return records;
}

// The record numbers (offset 21) of a patient's records in a table.
std::vector<std::string> NumbersOf(const std::string& folder, const std::string& table,
                                   const std::string& patient) {
    std::vector<std::string> numbers;
    for (const std::string& r : RecordsOf(folder, table, patient))
        numbers.push_back(std::string(r.data() + 21, strnlen(r.data() + 21, 11)));
    return numbers;
}

template <typename Record>
Record As(const std::string& bytes) {
    Record record;
    std::memcpy(&record, bytes.data(), sizeof record);
    return record;
}

using Numbers = std::vector<std::string>;

class CombineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        const std::string root = m_dir.path().toStdString() + "/";
        m_folders = {root + "Database/", root + "Photo/", root + "Report/", root + "SlideShow/"};
        std::string error;
        ASSERT_TRUE(velodb::CreateDatabase(m_folders.m_database, false, &error)) << error;
        CMessageService::ClearHistory();
        CMessageService::SetScript([](const CMessageService::Request&) { return 1; });
        AddPatient(kKept, [](tagPATIENT1DB& p) {
            Put(p.ChartNo, "A12");
            Put(p.Name, QStringToCp932(QStringLiteral("山田太郎")));
            Put(p.Sex, "1");
            Put(p.BirthDate, "00000000");
            Put(p.Comment, "kept comment");
        });
        AddPatient(kAbsorbed, [](tagPATIENT1DB& p) {
            Put(p.ChartNo, "B7");
            Put(p.Name, "other name");
            Put(p.Kana, QStringToCp932(QStringLiteral("ﾔﾏﾀﾞﾀﾛｳ")));
            Put(p.BirthDate, "20010203");
            Put(p.FirstVisitDate, "20200401");
            Put(p.HomeTel, "03-1111-2222");
            Put(p.HomeTelDigits, "0311112222");
            Put(p.GuardianName, "guardian");
            Put(p.Comment, "absorbed comment");
        });
    }
    void TearDown() override { CMessageService::SetScript({}); }

    template <typename Fill>
    void AddPatient(const std::string& id, Fill fill) {
        CPatient1Table p1(m_folders.m_database);
        ASSERT_EQ(p1.Open(), 0);
        p1.ClearData();
        Put(p1.Rec().PatientID, id);
        fill(p1.Rec());
        ASSERT_EQ(p1.Insert(), 0);
        CPatient2Table p2(m_folders.m_database);
        ASSERT_EQ(p2.Open(), 0);
        p2.ClearData();
        Put(p2.Rec().PatientID, id);
        ASSERT_EQ(p2.Insert(), 0);
    }

    tagPATIENT1DB Patient(const std::string& id) {
        CPatient1Table p1(m_folders.m_database);
        EXPECT_EQ(p1.Open(), 0);
        EXPECT_EQ(p1.GetPatientData(id.c_str()), 0) << id;
        return p1.Rec();
    }

    // The kept patient has photos 1 and 3 and lateral analysis 1. The absorbed patient has an
    // MPG movie photo 3 and a still photo 5, a lateral analysis drawn on them with a chevron
    // and a movement belonging to it, a photo set 4 with its companion A000000004 whose image
    // shows photo 5, and a report and a slideshow with their files.
    void BuildTwoPatients() {
        const std::string& db = m_folders.m_database;
        Add<CPhotoTable>(db, kKept, "0000000001");
        Add<CPhotoTable>(db, kKept, "0000000003");
        Add<CPointLatTable>(db, kKept, "0000000001");
        Add<CPhotoTable>(db, kAbsorbed, "0000000003",
                         [](tagPHOTODB& r) { r.MediaType = kMediaMpg; });
        Add<CPhotoTable>(db, kAbsorbed, "0000000005");
        Add<CPointLatTable>(db, kAbsorbed, "0000000001", [](tagPOINTLATDB& r) {
            Put(r.PhotoNo, "0000000003");
            Put(r.PhotoNo2, "0000000005");
            Put(r.PhotoNo3, "0000000009");  // no such photo
            Put(r.Body43, "points");
        });
        Add<CChevronTable>(db, kAbsorbed, "0000000001");
        Add<CMvtoTable>(db, kAbsorbed, "0000000001",
                        [](tagMVTODB& r) { Put(r.AnalysisNo, "0000000001"); });
        Add<CXyPhotoExTable>(db, kAbsorbed, "0000000004",
                             [](tagXYPHOTOEXDB& r) { Put(r.CompanionNo, "A000000004"); });
        Add<CXyPhotoExTable>(db, kAbsorbed, "A000000004");
        Add<CXyPhotoExImgTable>(db, kAbsorbed, "A000000004", [](tagXYPHOTOEXIMGDB& r) {
            Put(r.ImageNo, "000001");
            Put(r.PhotoNo, "0000000005");
        });
        Add<CReportTable>(db, kAbsorbed, "0000000002");
        Add<CSlideShowTable>(db, kAbsorbed, "0000000001");

        const fs::path photo(m_folders.m_image);
        WriteFile(photo / kAbsorbed / "0000000003.mpg", "movie 3");
        WriteFile(photo / kAbsorbed / "0000000003.jpg", "still 3");
        WriteFile(photo / (kAbsorbed + "0000000005.jpg"), "flat still 5");
        WriteFile(photo / kKept / "0000000001.jpg", "kept 1");
        WriteFile(fs::path(m_folders.m_report) / kAbsorbed / "0000000002.xyr", "report");
        WriteFile(fs::path(m_folders.m_slideshow) / kAbsorbed / "0000000001.sld", "slides");
    }

    QTemporaryDir m_dir;
    SCombineFolders m_folders;
};

TEST_F(CombineTest, EmptyFieldsOfKeptPatientAreFilledAndOthersKept) {
    tagPATIENT1DB kept = Patient(kKept);
    tagPATIENT1DB absorbed = Patient(kAbsorbed);
    Put(kept.EndDate, "0");  // numeric zero counts as empty even when written
    Put(absorbed.EndDate, "20230101");
    EXPECT_EQ(FillEmptyPatientFields(reinterpret_cast<char*>(&kept),
                                     reinterpret_cast<const char*>(&absorbed)),
              7);
    EXPECT_EQ(Get(kept.ChartNo), "A12");
    EXPECT_EQ(Get(kept.Name), QStringToCp932(QStringLiteral("山田太郎")));
    EXPECT_EQ(Get(kept.Comment), "kept comment");
    EXPECT_EQ(Get(kept.Kana), QStringToCp932(QStringLiteral("ﾔﾏﾀﾞﾀﾛｳ")));
    EXPECT_EQ(Get(kept.BirthDate), "20010203");
    EXPECT_EQ(Get(kept.FirstVisitDate), "20200401");
    EXPECT_EQ(Get(kept.EndDate), "20230101");
    EXPECT_EQ(Get(kept.HomeTel), "03-1111-2222");
    EXPECT_EQ(Get(kept.HomeTelDigits), "0311112222");
    EXPECT_EQ(Get(kept.GuardianName), "guardian");
    EXPECT_EQ(Get(kept.Sex), "1");  // not one of the filled fields
}

TEST_F(CombineTest, RecordsMoveUnderFirstFreeNumbersWithReferencesRenumbered) {
    BuildTwoPatients();
    CPatientCombiner combiner(m_folders);
    ASSERT_TRUE(combiner.Combine(kKept, kAbsorbed, false)) << combiner.FailedTable();
    const std::string& db = m_folders.m_database;

    // The kept record took the absorbed patient's fields where its own were empty.
    EXPECT_EQ(Get(Patient(kKept).BirthDate), "20010203");
    EXPECT_EQ(Get(Patient(kKept).Comment), "kept comment");

    // Photo 3 fills the gap at 2, photo 5 takes 4; the files follow, the flat one too.
    EXPECT_EQ(NumbersOf(db, "PHOTO.BTR", kKept),
              (Numbers{"0000000001", "0000000002", "0000000003", "0000000004"}));
    EXPECT_EQ(As<tagPHOTODB>(RecordsOf(db, "PHOTO.BTR", kKept)[1]).MediaType, kMediaMpg);
    const fs::path photo(m_folders.m_image);
    EXPECT_EQ(ReadFile(photo / kKept / "0000000002.mpg"), "movie 3");
    EXPECT_EQ(ReadFile(photo / kKept / "0000000002.jpg"), "still 3");
    EXPECT_EQ(ReadFile(photo / kKept / "0000000004.jpg"), "flat still 5");
    EXPECT_EQ(ReadFile(photo / kKept / "0000000001.jpg"), "kept 1");
    EXPECT_EQ(combiner.PhotoMap().Pairs(),
              (std::vector<std::pair<std::string, std::string>>{{"0000000002", "0000000003"},
                                                                {"0000000004", "0000000005"}}));

    // The analysis becomes the kept patient's second and points at the photos' new numbers;
    // a photo that did not move leaves an empty reference.
    ASSERT_EQ(NumbersOf(db, "POINTLAT.BTR", kKept), (Numbers{"0000000001", "0000000002"}));
    const auto lat = As<tagPOINTLATDB>(RecordsOf(db, "POINTLAT.BTR", kKept)[1]);
    EXPECT_EQ(Get(lat.PhotoNo), "0000000002");
    EXPECT_EQ(Get(lat.PhotoNo2), "0000000004");
    EXPECT_EQ(Get(lat.PhotoNo3), "");
    EXPECT_EQ(Get(lat.Body43), "points");
    // Its chevron follows the analysis; the movement takes number 1 and names the analysis.
    EXPECT_EQ(NumbersOf(db, "CHEVRON.BTR", kKept), (Numbers{"0000000002"}));
    ASSERT_EQ(NumbersOf(db, "MVTO.BTR", kKept), (Numbers{"0000000001"}));
    EXPECT_EQ(Get(As<tagMVTODB>(RecordsOf(db, "MVTO.BTR", kKept)[0]).AnalysisNo), "0000000002");

    // The photo set and its companion are renumbered together, and the set's image follows
    // the companion and shows the photo's new number.
    ASSERT_EQ(NumbersOf(db, "XYPHOTOEX.BTR", kKept), (Numbers{"0000000001", "A000000001"}));
    EXPECT_EQ(Get(As<tagXYPHOTOEXDB>(RecordsOf(db, "XYPHOTOEX.BTR", kKept)[0]).CompanionNo),
              "A000000001");
    ASSERT_EQ(NumbersOf(db, "XYPHOTOEXIMG.BTR", kKept), (Numbers{"A000000001"}));
    EXPECT_EQ(Get(As<tagXYPHOTOEXIMGDB>(RecordsOf(db, "XYPHOTOEXIMG.BTR", kKept)[0]).PhotoNo),
              "0000000004");
    EXPECT_EQ(combiner.AnalysisMap().Pairs(),
              (std::vector<std::pair<std::string, std::string>>{{"A000000001", "A000000004"},
                                                                {"0000000001", "0000000004"}}));

    EXPECT_EQ(NumbersOf(db, "REPORT.BTR", kKept), (Numbers{"0000000001"}));
    EXPECT_EQ(ReadFile(fs::path(m_folders.m_report) / kKept / "0000000001.xyr"), "report");
    EXPECT_EQ(ReadFile(fs::path(m_folders.m_slideshow) / kKept / "0000000001.sld"), "slides");

    // Without data deletion the absorbed patient keeps every record and file.
    EXPECT_EQ(NumbersOf(db, "PHOTO.BTR", kAbsorbed), (Numbers{"0000000003", "0000000005"}));
    EXPECT_EQ(NumbersOf(db, "XYPHOTOEX.BTR", kAbsorbed), (Numbers{"0000000004", "A000000004"}));
    EXPECT_TRUE(fs::exists(photo / kAbsorbed / "0000000003.mpg"));
    EXPECT_TRUE(fs::exists(photo / (kAbsorbed + "0000000005.jpg")));
}

TEST_F(CombineTest, DataDeletionLeavesNothingOfAbsorbedPatientButItsPatientRecord) {
    BuildTwoPatients();
    CPatientCombiner combiner(m_folders);
    ASSERT_TRUE(combiner.Combine(kKept, kAbsorbed, true)) << combiner.FailedTable();
    const std::string& db = m_folders.m_database;
    for (const std::string& table : CombineTableOrder())
        EXPECT_TRUE(RecordsOf(db, table, kAbsorbed).empty()) << table;
    EXPECT_EQ(NumbersOf(db, "PHOTO.BTR", kKept).size(), 4u);
    EXPECT_EQ(NumbersOf(db, "XYPHOTOEXIMG.BTR", kKept), (Numbers{"A000000001"}));
    EXPECT_FALSE(fs::exists(fs::path(m_folders.m_image) / kAbsorbed / "0000000003.mpg"));
    EXPECT_FALSE(fs::exists(fs::path(m_folders.m_image) / (kAbsorbed + "0000000005.jpg")));
    EXPECT_FALSE(fs::exists(fs::path(m_folders.m_report) / kAbsorbed / "0000000002.xyr"));
    EXPECT_EQ(ReadFile(fs::path(m_folders.m_image) / kKept / "0000000004.jpg"), "flat still 5");
    // The absorbed patient record itself stays (its PATIENT2 data are not taken over).
    EXPECT_EQ(Get(Patient(kAbsorbed).ChartNo), "B7");

    // Nothing is left to move: a second combine adds nothing.
    ASSERT_TRUE(combiner.Combine(kKept, kAbsorbed, true));
    EXPECT_EQ(NumbersOf(db, "PHOTO.BTR", kKept).size(), 4u);
}

TEST_F(CombineTest, DependentRecordWithoutItsAnalysisStaysWithAbsorbedPatient) {
    const std::string& db = m_folders.m_database;
    Add<CChevronTable>(db, kAbsorbed, "0000000007");  // no lateral analysis 7
    Add<CPointLatTable>(db, kAbsorbed, "0000000001");
    Add<CAddLatTable>(db, kAbsorbed, "0000000001");
    Add<CAddLatTable>(db, kKept, "0000000001");  // the analysis's new number is 1: taken here
    Add<CPointLatTable>(db, kKept, "0000000002");
    CPatientCombiner combiner(m_folders);
    ASSERT_TRUE(combiner.Combine(kKept, kAbsorbed, true));
    EXPECT_EQ(NumbersOf(db, "POINTLAT.BTR", kKept), (Numbers{"0000000001", "0000000002"}));
    EXPECT_EQ(NumbersOf(db, "CHEVRON.BTR", kAbsorbed), (Numbers{"0000000007"}));
    EXPECT_TRUE(NumbersOf(db, "CHEVRON.BTR", kKept).empty());
    // The copy could not be stored, so the original was not deleted.
    EXPECT_EQ(NumbersOf(db, "ADDLAT.BTR", kAbsorbed), (Numbers{"0000000001"}));
}

TEST_F(CombineTest, PhotoWhoseFileCannotBeCopiedStaysWithAbsorbedPatientAndFails) {
    const std::string& db = m_folders.m_database;
    Add<CPhotoTable>(db, kAbsorbed, "0000000001");
    Add<CPhotoTable>(db, kAbsorbed, "0000000002", [](tagPHOTODB& r) { r.MediaType = kMediaAvi; });
    const fs::path photo(m_folders.m_image);
    WriteFile(photo / kAbsorbed / "0000000001.jpg", "one");
    WriteFile(photo / kAbsorbed / "0000000002.avi", "movie two");
    WriteFile(photo / kAbsorbed / "0000000002.jpg", "two");
    // The second photo's still image cannot be written at the kept patient's number 2.
    fs::create_directories(photo / kKept / "0000000002.jpg");

    CPatientCombiner combiner(m_folders);
    EXPECT_FALSE(combiner.Combine(kKept, kAbsorbed, true));
    EXPECT_EQ(combiner.FailedTable(), "PHOTO.BTR");
    // The first photo moved; the second is the absorbed patient's alone, with both its files.
    EXPECT_EQ(NumbersOf(db, "PHOTO.BTR", kKept), (Numbers{"0000000001"}));
    EXPECT_EQ(NumbersOf(db, "PHOTO.BTR", kAbsorbed), (Numbers{"0000000002"}));
    EXPECT_EQ(ReadFile(photo / kAbsorbed / "0000000002.avi"), "movie two");
    EXPECT_EQ(ReadFile(photo / kAbsorbed / "0000000002.jpg"), "two");
    EXPECT_FALSE(fs::exists(photo / kAbsorbed / "0000000001.jpg"));

    // Once the obstacle is gone, a second combine moves the rest.
    fs::remove(photo / kKept / "0000000002.jpg");
    ASSERT_TRUE(combiner.Combine(kKept, kAbsorbed, true)) << combiner.FailedTable();
    EXPECT_EQ(NumbersOf(db, "PHOTO.BTR", kKept), (Numbers{"0000000001", "0000000002"}));
    EXPECT_EQ(ReadFile(photo / kKept / "0000000002.jpg"), "two");
}

TEST_F(CombineTest, PhotoSetTakesANumberWhoseCompanionIsFreeToo) {
    const std::string& db = m_folders.m_database;
    Add<CXyPhotoExTable>(db, kKept, "A000000001");  // a companion left without its set
    Add<CXyPhotoExTable>(db, kAbsorbed, "0000000003");
    Add<CXyPhotoExTable>(db, kAbsorbed, "A000000003");
    CPatientCombiner combiner(m_folders);
    ASSERT_TRUE(combiner.Combine(kKept, kAbsorbed, true)) << combiner.FailedTable();
    EXPECT_EQ(NumbersOf(db, "XYPHOTOEX.BTR", kKept),
              (Numbers{"0000000002", "A000000001", "A000000002"}));
    EXPECT_TRUE(NumbersOf(db, "XYPHOTOEX.BTR", kAbsorbed).empty());
}

TEST_F(CombineTest, RefusalsAndUnopenableTablesChangeNothing) {
    BuildTwoPatients();
    const std::string& db = m_folders.m_database;
    CPatientCombiner combiner(m_folders);
    EXPECT_FALSE(combiner.Combine(kKept, kKept, true));
    EXPECT_FALSE(combiner.Combine(kKept, "0000000099", true));
    EXPECT_EQ(combiner.FailedTable(), "PATIENT1.BTR");
    EXPECT_EQ(NumbersOf(db, "PHOTO.BTR", kKept).size(), 2u);

    // A table file that is gone stops the combine before anything is written; the wrapper
    // reports it.
    fs::rename(db + "SURGERY.BTR", db + "SURGERY.away");
    CMessageService::ClearHistory();
    EXPECT_FALSE(combiner.Combine(kKept, kAbsorbed, true));
    EXPECT_EQ(combiner.FailedTable(), "SURGERY.BTR");
    ASSERT_FALSE(CMessageService::History().isEmpty());
    EXPECT_TRUE(CMessageService::History().back().text.contains("BO_OPEN"));
    EXPECT_EQ(Get(Patient(kKept).BirthDate), "00000000");
    EXPECT_EQ(NumbersOf(db, "PHOTO.BTR", kAbsorbed).size(), 2u);
    EXPECT_EQ(NumbersOf(db, "PHOTO.BTR", kKept).size(), 2u);

    fs::rename(db + "SURGERY.away", db + "SURGERY.BTR");
    EXPECT_TRUE(combiner.Combine(kKept, kAbsorbed, true));
    EXPECT_EQ(NumbersOf(db, "PHOTO.BTR", kKept).size(), 4u);
}

TEST_F(CombineTest, PatientDescriptionLinesAndEmptyTextForMissingPatient) {
    tagPATIENT1DB p{};
    Put(p.PatientID, "0000000042");
    Put(p.ChartNo, "A12");
    Put(p.Name, QStringToCp932(QStringLiteral("山田")));
    Put(p.Kana, QStringToCp932(QStringLiteral("ﾔﾏﾀﾞ")));
    Put(p.Sex, "2");
    Put(p.BirthDate, "19800101");
    Put(p.GuardianName, "g");
    Put(p.ZipCode, "100-0001");
    Put(p.Address1, "a1");
    Put(p.HomeTel, "03");
    Put(p.MobileTel, "090");
    EXPECT_EQ(PatientDescription(reinterpret_cast<const char*>(&p)),
              QStringLiteral("登録No.  [ 0000000042 ]\r\n"
                             "患者ID   [ A12 ]\r\n"
                             "患者名   [ 山田 ( ﾔﾏﾀﾞ ) ]\r\n"
                             "性別     [ F ]\r\n"
                             "生年月日 [ 19800101 ]\r\n"
                             "保護者名 [ g (  ) ]\r\n"
                             "〒番号   [ 100-0001 ]\r\n"
                             "住所     [ a1 ]\r\n"
                             "         [  ]\r\n"
                             "TEL1     [ 03 ]\r\n"
                             "TEL2     [ 090 ]"));
    EXPECT_TRUE(ReadPatientDescription(m_folders.m_database, kKept).contains("性別     [ M ]"));
    EXPECT_EQ(ReadPatientDescription(m_folders.m_database, "0000000099"), QString());
}

template <typename Widget>
Widget* Control(QWidget& dialog, int id) {
    auto* widget = dialog.findChild<Widget*>(QString::number(id));
    EXPECT_NE(widget, nullptr) << id;
    return widget;
}

TEST_F(CombineTest, DialogKeepsTheChosenPatientAndSaysSo) {
    BuildTwoPatients();
    CCombineDlg dialog(m_folders, kKept, kAbsorbed);
    dialog.show();
    EXPECT_TRUE(Control<QPlainTextEdit>(dialog, kIdFirstPatient)
                    ->toPlainText()
                    .startsWith(QStringLiteral("登録No.  [ 0000000001 ]\n患者ID   [ A12 ]")));
    EXPECT_TRUE(
        Control<QPlainTextEdit>(dialog, kIdSecondPatient)->toPlainText().contains("[ B7 ]"));
    EXPECT_TRUE(Control<QRadioButton>(dialog, kIdKeepFirst)->isChecked());
    EXPECT_FALSE(Control<QWidget>(dialog, kIdPhotoMap)->isVisible());

    // Keep the second patient: the first one's records move to it and go.
    Control<QRadioButton>(dialog, kIdKeepSecond)->click();
    Control<QCheckBox>(dialog, kIdDeleteData)->setChecked(true);
    EXPECT_EQ(dialog.KeptIdentifier(), kAbsorbed);
    CMessageService::ClearHistory();
    Control<QPushButton>(dialog, kIdCombineOk)->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(CMessageService::History()[0].text, QStringLiteral("合成に成功しました。"));

    const std::string& db = m_folders.m_database;
    EXPECT_TRUE(NumbersOf(db, "PHOTO.BTR", kKept).empty());
    EXPECT_EQ(NumbersOf(db, "PHOTO.BTR", kAbsorbed),
              (Numbers{"0000000001", "0000000002", "0000000003", "0000000005"}));
    EXPECT_EQ(Get(Patient(kAbsorbed).Comment), "absorbed comment");  // not empty: kept
    EXPECT_EQ(Get(Patient(kAbsorbed).Sex), "");
    // The hidden photo map: new number as text, old number as the item's data.
    auto* photoMap = Control<QListWidget>(dialog, kIdPhotoMap);
    ASSERT_EQ(photoMap->count(), 2);
    EXPECT_EQ(photoMap->item(0)->text(), "0000000001");
    EXPECT_EQ(photoMap->item(0)->data(Qt::UserRole).toString(), "0000000001");
    EXPECT_EQ(photoMap->item(1)->text(), "0000000002");
    EXPECT_EQ(photoMap->item(1)->data(Qt::UserRole).toString(), "0000000003");
}

TEST_F(CombineTest, DialogStaysOpenAfterFailureAndClosesWithoutChange) {
    CCombineDlg dialog(m_folders, kKept, "0000000099");
    dialog.show();
    EXPECT_TRUE(Control<QPlainTextEdit>(dialog, kIdSecondPatient)->toPlainText().isEmpty());
    CMessageService::ClearHistory();
    Control<QPushButton>(dialog, kIdCombineOk)->click();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(CMessageService::History()[0].text, QStringLiteral("合成に失敗しました。"));

    Control<QPushButton>(dialog, kIdCombineClose)->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(Get(Patient(kKept).BirthDate), "00000000");
}

}  // namespace
}  // namespace unita

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
