// Tests of the patient merge: matching, new identifiers, the priority options, the copy of a
// patient's records and files, the selected-patient command's refusals, and a merge that
// fails halfway and is completed by running it again.
#include "merger/patientmerge.h"

#include <random>

#include "merger/tests/mergetestdb.h"
#include "merger/unitaids.h"
#include "recman/recman.h"

namespace unita {
namespace {

using namespace testdb;

SPatientRow Row(long long id, const char* patientId, const char* name = "",
                const char* birth = "") {
    SPatientRow row;
    row.m_identifier = id;
    row.m_patientId = QString::fromUtf8(patientId);
    row.m_name = QString::fromUtf8(name);
    row.m_birthDate = QString::fromUtf8(birth);
    return row;
}

TEST(PatientMatcherTest, IdIgnoresLetterCaseFirstRowWinsAndEmptyNeverMatches) {
    CPatientMatcher matcher(EMatchMode::Id,
                            {Row(7, "A12"), Row(9, "a12"), Row(3, ""), Row(4, "Ｂ５")});
    EXPECT_EQ(matcher.Find(Row(100, "a12")), 7);
    EXPECT_EQ(matcher.Find(Row(100, "A12")), 7);
    EXPECT_EQ(matcher.Find(Row(100, "ｂ５")), 4);  // full-width letters fold too
    EXPECT_EQ(matcher.Find(Row(100, "")), -1);
    EXPECT_EQ(matcher.Find(Row(100, "A1")), -1);

    // A patient the run added is never found: the next one with the same ID is added too,
    // and the two are named as a pair. A failed batch's additions are forgotten.
    EXPECT_EQ(matcher.NoteAdded(Row(100, "Z9"), 51), -1);
    EXPECT_EQ(matcher.Find(Row(101, "z9")), -1);
    EXPECT_EQ(matcher.NoteAdded(Row(101, "z9"), 52), 51);
    EXPECT_EQ(matcher.NoteAdded(Row(102, ""), 53), -1);
    EXPECT_EQ(matcher.NoteAdded(Row(103, ""), 54), -1);
    const size_t before = matcher.AddedCount();
    EXPECT_EQ(matcher.NoteAdded(Row(104, "Q1"), 55), -1);
    matcher.ForgetAddedSince(before);
    EXPECT_EQ(matcher.NoteAdded(Row(105, "q1"), 56), -1);
}

TEST(PatientMatcherTest, OtherModesNeedEveryPartAndIgnoreBlanksInNames) {
    const std::vector<SPatientRow> dest = {Row(5, "P1", "山田 太郎", "19800102"),
                                           Row(6, "P2", "佐藤花子", "")};
    CPatientMatcher byIdAndName(EMatchMode::IdAndName, dest);
    EXPECT_EQ(byIdAndName.Find(Row(1, "p1", "山田　太郎")), 5);
    EXPECT_EQ(byIdAndName.Find(Row(1, "P1", "山田次郎")), -1);
    EXPECT_EQ(byIdAndName.Find(Row(1, "P9", "山田太郎")), -1);

    CPatientMatcher byNameAndBirth(EMatchMode::NameAndBirthDate, dest);
    EXPECT_EQ(byNameAndBirth.Find(Row(1, "X", "山田太郎", "19800102")), 5);
    EXPECT_EQ(byNameAndBirth.Find(Row(1, "X", "山田太郎", "19800103")), -1);
    // Without a birth date nothing can be recognised by it.
    EXPECT_EQ(byNameAndBirth.Find(Row(1, "X", "佐藤花子", "")), -1);
    EXPECT_EQ(byNameAndBirth.Find(Row(1, "X", "佐藤花子", "00000000")), -1);
}

class PatientMergeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        CMessageService::ClearHistory();
        m_root = fs::path(m_dir.path().toStdString());
        CreateEmpty(Xylo());
        CreateEmpty(Dest());
        m_request.m_folders.m_xyloDatabase = QString::fromStdString(Xylo());
        m_request.m_folders.m_xyloImage = QString::fromStdString(Folder("xyloimg"));
        m_request.m_folders.m_xyloReport = QString::fromStdString(Folder("xylorep"));
        m_request.m_folders.m_xyloSlideshow = QString::fromStdString(Folder("xylosld"));
        // Typed without the trailing "/": the command adds it.
        m_request.m_folders.m_destDatabase = QString::fromStdString((m_root / "dest").string());
        m_request.m_folders.m_destImage = QString::fromStdString(Folder("destimg"));
        m_request.m_folders.m_destReport = QString::fromStdString(Folder("destrep"));
        m_request.m_folders.m_destSlideshow = QString::fromStdString(Folder("destsld"));
    }

    std::string Folder(const char* name) const { return (m_root / name).string() + "/"; }
    std::string Xylo() const { return Folder("xylo"); }
    std::string Dest() const { return Folder("dest"); }

    // The Xylo list and the merge-data list as the window would give them, every Xylo row
    // selected.
    void AddXylo(const SPatient& p) {
        AddPatient(Xylo(), p);
        m_request.m_xyloRows.push_back(
            Row(p.m_id, p.m_patientId.c_str(), p.m_name.c_str(), p.m_birthDate.c_str()));
        m_request.m_selectedRows.push_back(int(m_request.m_xyloRows.size()) - 1);
    }
    void AddDest(const SPatient& p) {
        AddPatient(Dest(), p);
        m_request.m_destinationRows.push_back(
            Row(p.m_id, p.m_patientId.c_str(), p.m_name.c_str(), p.m_birthDate.c_str()));
    }

    SSelectedMergeResult Merge() { return MergeSelectedPatients(m_request, m_progress, nullptr); }

    QTemporaryDir m_dir;
    fs::path m_root;
    SSelectedMergeRequest m_request;
    CRecordingProgress m_progress;
};

TEST_F(PatientMergeTest, NewPatientContinuesAfterHighestIdWithAllRecordsAndFiles) {
    AddDest({41, "C41", "Calyx"});
    AddXylo({3, "X3", "Xylo"});
    {
        // Details kept in the record's later fields travel with the record.
        CPatient1Table xylo(Xylo());
        ASSERT_EQ(xylo.Open(), 0);
        ASSERT_EQ(xylo.GetPatientData("0000000003"), 0);
        Put(xylo.Rec().ConditionCode, "02");
        Put(xylo.Rec().WorkplaceName, "school");
        Put(xylo.Rec().FreeTblCode[4], "0007");
        ASSERT_EQ(xylo.Update(), 0);
    }
    for (const char* table : {"CASMAS.BTR", "LAS.BTR", "SURGERYTREATMENT.BTR", "XYPHOTOEXTEXT.BTR"})
        AddRecord(Xylo(), table, 3, "0000000001", 'a');
    AddRecord(Xylo(), "CASEREG.BTR", 3, "01", 'c');
    AddRecord(Xylo(), "PHOTO.BTR", 3, "0000000007", 'p', kMediaMpg);
    AddRecord(Xylo(), "REPORT.BTR", 3, "0000000002", 'r');
    AddRecord(Xylo(), "CASMAS.BTR", 4, "0000000001", 'z');  // another patient: stays behind
    WriteFile(m_root / "xyloimg/0000000003/0000000007.mpg", "movie");
    WriteFile(m_root / "xyloimg/0000000003/0000000007.jpg", "still");
    WriteFile(m_root / "xyloimg/0000000003/0000000000.jpg", "main");
    WriteFile(m_root / "xylorep/0000000003/0000000002.xyr", "report");
    const auto before = Snapshot(m_root / "xylo");
    const auto imagesBefore = Snapshot(m_root / "xyloimg");

    const SSelectedMergeResult result = Merge();
    ASSERT_TRUE(result.m_ran);
    EXPECT_FALSE(result.m_failed) << result.m_failure.Describe().toStdString();

    tagPATIENT1DB merged{};
    ASSERT_TRUE(ReadPatient(Dest(), 42, &merged));
    EXPECT_STREQ(merged.ChartNo, "X3");
    EXPECT_STREQ(merged.ConditionCode, "02");
    EXPECT_STREQ(merged.WorkplaceName, "school");
    EXPECT_STREQ(merged.FreeTblCode[4], "0007");
    CPatient2Table p2(Dest());
    ASSERT_EQ(p2.Open(), 0);
    ASSERT_EQ(p2.GetPatientData("0000000042"), 0);
    EXPECT_STREQ(p2.Rec().OtherTel, "tel X3");

    for (const char* table :
         {"CASMAS.BTR", "LAS.BTR", "SURGERYTREATMENT.BTR", "XYPHOTOEXTEXT.BTR"}) {
        const auto records = RecordsOf(Dest(), table, 42);
        ASSERT_EQ(records.size(), 1u) << table;
        EXPECT_EQ(records[0].first, "0000000001") << table;
        EXPECT_EQ(records[0].second, 'a') << table;
    }
    EXPECT_EQ(RecordsOf(Dest(), "CASEREG.BTR", 42).size(), 1u);
    EXPECT_TRUE(RecordsOf(Dest(), "CASMAS.BTR", 4).empty());
    EXPECT_TRUE(RecordsOf(Dest(), "CASMAS.BTR", 3).empty());
    EXPECT_EQ(ReadFile(m_root / "destimg/0000000042/0000000007.mpg"), "movie");
    EXPECT_EQ(ReadFile(m_root / "destimg/0000000042/0000000007.jpg"), "still");
    EXPECT_EQ(ReadFile(m_root / "destimg/0000000042/0000000000.jpg"), "main");
    EXPECT_EQ(ReadFile(m_root / "destrep/0000000042/0000000002.xyr"), "report");

    EXPECT_EQ(m_progress.m_marks[0],
              (std::vector<ERowMark>{ERowMark::Importing, ERowMark::Success}));
    EXPECT_EQ(m_progress.m_positions.back(), 100);
    EXPECT_EQ(ShownTexts().back(), QStringLiteral("マージ終了しました。"));
    EXPECT_EQ(Snapshot(m_root / "xylo"), before);
    EXPECT_EQ(Snapshot(m_root / "xyloimg"), imagesBefore);
}

// The patients of a batch are copied table by table in identifier order, each continuing
// where the one before stopped reading: selected out of order, with a patient left out
// between them, without records in a table, or with records in a table only the last uses.
TEST_F(PatientMergeTest, PatientsSelectedOutOfOrderGetExactlyTheirOwnRecords) {
    AddXylo({8, "X8", "Eight"});
    AddXylo({6, "X6", "Six"});
    AddXylo({5, "X5", "Five"});
    AddXylo({7, "X7", "Seven"});
    m_request.m_selectedRows = {0, 2, 3};  // X6 stays behind
    AddRecord(Xylo(), "CASMAS.BTR", 5, "0000000001", 'a');
    AddRecord(Xylo(), "CASMAS.BTR", 5, "0000000002", 'b');
    AddRecord(Xylo(), "CASMAS.BTR", 6, "0000000001", 's');
    AddRecord(Xylo(), "CASMAS.BTR", 8, "0000000001", 'e');
    AddRecord(Xylo(), "LAS.BTR", 8, "0000000003", 'l');
    AddRecord(Xylo(), "MOEX.BTR", 6, "0000000001", 's');

    const SSelectedMergeResult result = Merge();
    ASSERT_TRUE(result.m_ran);
    ASSERT_FALSE(result.m_failed) << result.m_failure.Describe().toStdString();

    // New identifiers follow the list order: X8 1, X5 2, X7 3.
    using Records = std::vector<std::pair<std::string, char>>;
    EXPECT_EQ(RecordsOf(Dest(), "CASMAS.BTR", 1), (Records{{"0000000001", 'e'}}));
    EXPECT_EQ(RecordsOf(Dest(), "CASMAS.BTR", 2),
              (Records{{"0000000001", 'a'}, {"0000000002", 'b'}}));
    EXPECT_TRUE(RecordsOf(Dest(), "CASMAS.BTR", 3).empty());
    EXPECT_EQ(RecordsOf(Dest(), "LAS.BTR", 1), (Records{{"0000000003", 'l'}}));
    EXPECT_TRUE(RecordsOf(Dest(), "LAS.BTR", 2).empty());
    for (long long id : {1, 2, 3, 4}) EXPECT_TRUE(RecordsOf(Dest(), "MOEX.BTR", id).empty());
    tagPATIENT1DB none{};
    EXPECT_FALSE(ReadPatient(Dest(), 4, &none));
    for (int row : {0, 2, 3})
        EXPECT_EQ(m_progress.m_marks[row],
                  (std::vector<ERowMark>{ERowMark::Importing, ERowMark::Success}));
    EXPECT_EQ(m_progress.m_marks.count(1), 0u);
}

TEST_F(PatientMergeTest, MatchedPatientsKeepDestinationIdAndNewOnesWithOneIdStayTwo) {
    AddDest({10, "A12", "Calyx A"});
    AddXylo({1, "a12", "Xylo a"});
    AddXylo({2, "A12", "Xylo A"});
    AddXylo({3, "N7", "new one"});
    AddXylo({4, "n7", "same new one"});
    AddRecord(Xylo(), "LAS.BTR", 1, "0000000001", '1');
    AddRecord(Xylo(), "LAS.BTR", 2, "0000000002", '2');
    AddRecord(Xylo(), "LAS.BTR", 2, "0000000001", 'x');  // both matched patients have a 1
    AddRecord(Xylo(), "LAS.BTR", 3, "0000000001", '3');
    AddRecord(Xylo(), "LAS.BTR", 3, "0000000005", '4');
    AddRecord(Xylo(), "LAS.BTR", 4, "0000000001", '5');

    ASSERT_FALSE(Merge().m_failed);
    tagPATIENT1DB kept{};
    ASSERT_TRUE(ReadPatient(Dest(), 10, &kept));
    EXPECT_STREQ(kept.Name, "Calyx A");  // no option checked: the destination's record stays
    using Records = std::vector<std::pair<std::string, char>>;
    EXPECT_EQ(RecordsOf(Dest(), "LAS.BTR", 10),
              (Records{{"0000000001", '1'}, {"0000000002", '2'}, {"0000000003", 'x'}}));
    // Two new patients with one patient ID: two destination patients, each with its own
    // records and details, named at the end so that the administrator can join them.
    EXPECT_EQ(RecordsOf(Dest(), "LAS.BTR", 11),
              (Records{{"0000000001", '3'}, {"0000000005", '4'}}));
    EXPECT_EQ(RecordsOf(Dest(), "LAS.BTR", 12), (Records{{"0000000001", '5'}}));
    tagPATIENT1DB second{};
    ASSERT_TRUE(ReadPatient(Dest(), 12, &second));
    EXPECT_STREQ(second.Name, "same new one");
    EXPECT_STREQ(second.ChartNo, "n7");
    const QString shown = ShownTexts().back();
    EXPECT_TRUE(shown.contains(QStringLiteral("患者ID n7: 登録No. 0000000011 と 0000000012")))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("1件のデータを空いている番号で")))
        << shown.toStdString();

    // Merged again with the list refreshed, each Xylo patient finds its own copy, although
    // the list now holds two patients with the ID n7; nothing is added or renumbered twice.
    const std::string after = DumpAll(Dest());
    m_request.m_destinationRows = ListedPatients(Dest());
    const SSelectedMergeResult again = Merge();
    ASSERT_FALSE(again.m_failed);
    EXPECT_EQ(again.m_report.RenumberedCount(), 0);
    EXPECT_TRUE(again.m_report.m_sameId.empty());
    EXPECT_EQ(DumpAll(Dest()), after);
}

// A matched patient's records whose numbers the destination patient has taken go in under
// its next free numbers, with their files, their photo-set companions and the references
// of the records that point at them; records already there are skipped on a second run.
TEST_F(PatientMergeTest, TakenNumbersOfAMatchedPatientAreRenumberedWithFilesAndReferences) {
    AddDest({20, "P1", "dest"});
    AddXylo({1, "P1", "xylo"});
    AddRecord(Dest(), "PHOTO.BTR", 20, "0000000001", 'D');
    AddRecord(Dest(), "POINTLAT.BTR", 20, "0000000001", 'D');
    AddRecord(Dest(), "REPORT.BTR", 20, "0000000001", 'D');
    AddRecord(Dest(), "XYPHOTOEX.BTR", 20, "0000000001", 'D');
    WriteFile(m_root / "destimg/0000000020/0000000001.jpg", "dest photo");
    WriteFile(m_root / "destrep/0000000020/0000000001.xyr", "dest report");

    AddRecord(Xylo(), "PHOTO.BTR", 1, "0000000001", 'p', kMediaAvi);
    AddRecord(Xylo(), "PHOTO.BTR", 1, "0000000002", 'q');  // free at the destination
    WriteFile(m_root / "xyloimg/0000000001/0000000001.avi", "xylo movie");
    WriteFile(m_root / "xyloimg/0000000001/0000000001.jpg", "xylo photo");
    WriteFile(m_root / "xyloimg/0000000001/0000000002.jpg", "xylo photo two");
    AddRecord(Xylo(), "REPORT.BTR", 1, "0000000001", 'r');
    WriteFile(m_root / "xylorep/0000000001/0000000001.xyr", "xylo report");
    {
        CPointLatTable lat(Xylo());
        ASSERT_EQ(lat.Open(), 0);
        lat.ClearData();
        Put(lat.Rec().PatientID, "0000000001");
        Put(lat.Rec().RecordNo, "0000000001");
        Put(lat.Rec().PhotoNo, "0000000001");
        Put(lat.Rec().PhotoNo2, "0000000002");
        ASSERT_EQ(lat.Insert(), 0);
    }
    AddRecord(Xylo(), "CHEVRON.BTR", 1, "0000000001", 'c');
    AddRecord(Xylo(), "XYPHOTOEX.BTR", 1, "0000000001", 's');
    AddRecord(Xylo(), "XYPHOTOEX.BTR", 1, "A000000001", 'a');
    AddRecord(Xylo(), "XYPHOTOEXTEXT.BTR", 1, "A000000001", 't');
    // A case registration has no number to change: the destination's stays, and is named.
    AddRecord(Dest(), "CASEREG.BTR", 20, "01", 'D');
    AddRecord(Xylo(), "CASEREG.BTR", 1, "01", 'x');

    SSelectedMergeResult result = Merge();
    ASSERT_FALSE(result.m_failed) << result.m_failure.Describe().toStdString();
    using Records = std::vector<std::pair<std::string, char>>;
    EXPECT_EQ(RecordsOf(Dest(), "PHOTO.BTR", 20),
              (Records{{"0000000001", 'D'}, {"0000000002", 'q'}, {"0000000003", 'p'}}));
    EXPECT_EQ(ReadFile(m_root / "destimg/0000000020/0000000001.jpg"), "dest photo");
    EXPECT_EQ(ReadFile(m_root / "destimg/0000000020/0000000003.avi"), "xylo movie");
    EXPECT_EQ(ReadFile(m_root / "destimg/0000000020/0000000003.jpg"), "xylo photo");
    EXPECT_EQ(ReadFile(m_root / "destimg/0000000020/0000000002.jpg"), "xylo photo two");
    EXPECT_EQ(RecordsOf(Dest(), "REPORT.BTR", 20),
              (Records{{"0000000001", 'D'}, {"0000000002", 'r'}}));
    EXPECT_EQ(ReadFile(m_root / "destrep/0000000020/0000000001.xyr"), "dest report");
    EXPECT_EQ(ReadFile(m_root / "destrep/0000000020/0000000002.xyr"), "xylo report");
    // The analysis took number 2 and points at the photos' new numbers; its dependent
    // record followed it.
    {
        CPointLatTable lat(Dest());
        ASSERT_EQ(lat.Open(), 0);
        ASSERT_EQ(lat.GetRecordData("0000000020", "0000000002"), 0);
        EXPECT_STREQ(lat.Rec().PhotoNo, "0000000003");
        EXPECT_STREQ(lat.Rec().PhotoNo2, "0000000002");
    }
    EXPECT_EQ(RecordsOf(Dest(), "CHEVRON.BTR", 20), (Records{{"0000000002", 'c'}}));
    EXPECT_EQ(RecordsOf(Dest(), "XYPHOTOEX.BTR", 20),
              (Records{{"0000000001", 'D'}, {"0000000002", 's'}, {"A000000002", 'a'}}));
    EXPECT_EQ(RecordsOf(Dest(), "XYPHOTOEXTEXT.BTR", 20), (Records{{"A000000002", 't'}}));
    EXPECT_EQ(result.m_report.RenumberedCount(), 4);  // photo, report, analysis, photo set
    EXPECT_EQ(result.m_report.m_renumbered.at("PHOTO.BTR"), 1);
    EXPECT_TRUE(ShownTexts().back().contains(QStringLiteral("4件のデータを空いている番号で")));
    EXPECT_EQ(RecordsOf(Dest(), "CASEREG.BTR", 20), (Records{{"01", 'D'}}));
    EXPECT_EQ(result.m_report.m_keptDestination,
              std::vector<QString>{QStringLiteral("[P1] xylo CASEREG.BTR")});
    EXPECT_TRUE(ShownTexts().back().contains(QStringLiteral("  [P1] xylo CASEREG.BTR")));
    // A long list is cut short in the message.
    SMergeReport many;
    for (int i = 0; i < 25; ++i) many.m_keptDestination.push_back(QString::number(i));
    EXPECT_TRUE(many.Describe().contains(QStringLiteral("  19\n  ほか5件")));
    EXPECT_FALSE(many.Describe().contains(QStringLiteral("  20")));

    // A second run finds every record where the first put it.
    const std::string after = DumpAll(Dest());
    const auto images = Snapshot(m_root / "destimg");
    result = Merge();
    ASSERT_FALSE(result.m_failed);
    EXPECT_EQ(result.m_report.RenumberedCount(), 0);
    EXPECT_EQ(DumpAll(Dest()), after);
    EXPECT_EQ(Snapshot(m_root / "destimg"), images);
}

TEST_F(PatientMergeTest, PriorityOptionsTakeXyloValuesOnlyWhereTheyAreSet) {
    AddDest({5, "P5", "dest", "19700101", "dest comment", "dest guardian", "dest kana"});
    AddDest({6, "P6", "dest", "19700101", "dest comment", "dest guardian", "dest kana"});
    AddXylo({1, "P5", "xylo", "", "", "", ""});  // empty birth date and comment
    AddXylo({2, "P6", "xylo", "19991231", "xylo comment", "xylo guardian", "xylo kana"});

    m_request.m_options.m_birthDateFromXylo = true;
    m_request.m_options.m_commentFromXylo = true;
    ASSERT_FALSE(Merge().m_failed);
    tagPATIENT1DB p5{}, p6{};
    ASSERT_TRUE(ReadPatient(Dest(), 5, &p5));
    ASSERT_TRUE(ReadPatient(Dest(), 6, &p6));
    EXPECT_STREQ(p5.BirthDate, "19700101");  // an empty Xylo birth date keeps the destination's
    EXPECT_STREQ(p5.Comment, "");            // the comment option takes even an empty one
    EXPECT_STREQ(p6.BirthDate, "19991231");
    EXPECT_STREQ(p6.Comment, "xylo comment");
    EXPECT_STREQ(p6.GuardianName, "dest guardian");
    EXPECT_STREQ(p6.Name, "dest");

    m_request.m_options = {};
    m_request.m_options.m_guardianFromXylo = true;
    ASSERT_FALSE(Merge().m_failed);
    ASSERT_TRUE(ReadPatient(Dest(), 6, &p6));
    EXPECT_STREQ(p6.GuardianName, "xylo guardian");
    EXPECT_STREQ(p6.GuardianKana, "xylo kana");
    ASSERT_TRUE(ReadPatient(Dest(), 5, &p5));
    EXPECT_STREQ(p5.GuardianName, "");
}

TEST_F(PatientMergeTest, RefusalsAndEmptyCasesWriteNothing) {
    AddXylo({1, "X1", "x"});
    const auto destBefore = Snapshot(m_root / "dest");

    // The destination database typed in another letter case than the Xylo one.
    SSelectedMergeRequest clash = m_request;
    clash.m_folders.m_destDatabase = QString::fromStdString((m_root / "XYLO").string());
    fs::create_directories(m_root / "XYLO");
    SSelectedMergeResult result = MergeSelectedPatients(clash, m_progress, nullptr);
    EXPECT_EQ(result.m_refusedField, kIdDestDatabase);
    EXPECT_FALSE(result.m_ran);
    ASSERT_EQ(ShownTexts().size(), 1u);
    EXPECT_TRUE(ShownTexts()[0].startsWith(QStringLiteral("マージー先のデータベースフォルダ")));

    clash = m_request;
    clash.m_folders.m_destSlideshow = m_request.m_folders.m_xyloSlideshow.toUpper();
    EXPECT_EQ(MergeSelectedPatients(clash, m_progress, nullptr).m_refusedField, kIdDestSlideshow);

    clash = m_request;
    clash.m_folders.m_destReport.clear();
    CMessageService::ClearHistory();
    EXPECT_FALSE(MergeSelectedPatients(clash, m_progress, nullptr).m_ran);
    EXPECT_TRUE(ShownTexts().empty());

    clash = m_request;
    clash.m_xyloRows.clear();
    clash.m_selectedRows.clear();
    EXPECT_FALSE(MergeSelectedPatients(clash, m_progress, nullptr).m_ran);
    EXPECT_EQ(ShownTexts().back(), QStringLiteral("患者が選択されていません！"));

    // Rows listed but none selected: nothing merged, and the end is still said.
    clash = m_request;
    clash.m_selectedRows.clear();
    EXPECT_TRUE(MergeSelectedPatients(clash, m_progress, nullptr).m_ran);
    EXPECT_EQ(ShownTexts().back(), QStringLiteral("マージ終了しました。"));
    EXPECT_EQ(Snapshot(m_root / "dest"), destBefore);
}

TEST_F(PatientMergeTest, FailureNamesPatientAndTableAndRunningAgainCompletesWithoutDuplicates) {
    // The reference: the same merge into a destination that works.
    AddDest({20, "S1", "shared"});
    AddXylo({1, "S1", "shared"});
    AddXylo({2, "N2", "second"});
    AddXylo({3, "N3", "third"});
    // Two patients without a patient ID and with the same data: two new patients, once.
    AddXylo({4, "", "no id"});
    AddXylo({5, "", "no id"});
    for (long long id : {1, 2, 3}) {
        AddRecord(Xylo(), "CASMAS.BTR", id, "0000000001", char('a' + id));
        AddRecord(Xylo(), "LAS.BTR", id, "0000000001", char('k' + id));
        AddRecord(Xylo(), "PHOTO.BTR", id, "0000000004", char('p' + id));
        WriteFile(m_root / "xyloimg" / Id10(id) / "0000000004.jpg", "photo " + Id10(id));
    }
    const fs::path reference = m_root / "reference";
    fs::copy(m_root / "dest", reference);
    SSelectedMergeRequest referenceRequest = m_request;
    referenceRequest.m_folders.m_destDatabase = QString::fromStdString(reference.string());
    referenceRequest.m_folders.m_destImage = QString::fromStdString(Folder("refimg"));
    ASSERT_FALSE(MergeSelectedPatients(referenceRequest, m_progress, nullptr).m_failed);

    // LAS.BTR of the destination is corrupt while the first merge runs.
    const fs::path las = m_root / "dest" / "LAS.BTR";
    const std::string good = ReadFile(las);
    WriteFile(las, "this is not a table file");
    CMessageService::ClearHistory();
    m_progress.m_marks.clear();
    SSelectedMergeResult result = Merge();
    ASSERT_TRUE(result.m_failed);
    EXPECT_EQ(result.m_failure.m_table, "LAS.BTR");
    EXPECT_EQ(result.m_failure.m_patientId, QStringLiteral("S1"));
    const std::vector<QString> shown = ShownTexts();
    ASSERT_GE(shown.size(), 2u);
    EXPECT_TRUE(shown.front().contains(QStringLiteral("BO_OPEN")));
    EXPECT_TRUE(shown.back().startsWith(QStringLiteral("マージ終了しました。")));
    EXPECT_TRUE(shown.back().contains(QStringLiteral("LAS.BTR")));
    EXPECT_TRUE(shown.back().contains(QStringLiteral("[S1]")));
    EXPECT_EQ(m_progress.FinalMark(0), ERowMark::Failure);
    EXPECT_EQ(m_progress.FinalMark(1), ERowMark::None);  // later patients end without a mark
    EXPECT_EQ(m_progress.FinalMark(2), ERowMark::None);

    // After each command the window lists the destination's patients again.
    WriteFile(las, good);
    m_request.m_destinationRows = ListedPatients(Dest());
    result = Merge();
    EXPECT_FALSE(result.m_failed) << result.m_failure.Describe().toStdString();
    // Running a finished merge again changes nothing either.
    m_request.m_destinationRows = ListedPatients(Dest());
    EXPECT_FALSE(Merge().m_failed);
    EXPECT_EQ(DumpAll(Dest()), DumpAll(reference.string() + "/"));
    EXPECT_EQ(ListedPatients(Dest()).size(), 5u);  // 20 and the four new ones
    EXPECT_EQ(Snapshot(m_root / "destimg"), Snapshot(m_root / "refimg"));
}

TEST_F(PatientMergeTest, MissingXyloTableFailsThePatientWithoutCrashing) {
    AddXylo({1, "X1", "x"});
    fs::remove(m_root / "xylo" / "MOEX.BTR");
    const SSelectedMergeResult result = Merge();
    ASSERT_TRUE(result.m_failed);
    EXPECT_EQ(result.m_failure.m_table, "MOEX.BTR");
    // The patient and the tables before MOEX.BTR are in; the rest comes with the next run.
    tagPATIENT1DB added{};
    EXPECT_TRUE(ReadPatient(Dest(), 1, &added));
}

TEST_F(PatientMergeTest, MediaFilesThatFailOrWereInterruptedAreCompletedByTheNextRun) {
    AddXylo({1, "X1", "x"});
    AddRecord(Xylo(), "PHOTO.BTR", 1, "0000000002", 'p');
    WriteFile(m_root / "xyloimg/0000000001/0000000002.jpg", "photo");
    // An earlier run wrote the patient and the photo record, then stopped before its file.
    AddDest({1, "X1", "x"});
    AddRecord(Dest(), "PHOTO.BTR", 1, "0000000002", 'p');
    // A destination record that only shares the key is someone else's: its file stays, and
    // the Xylo record goes in under the next free number with its own file.
    AddRecord(Xylo(), "PHOTO.BTR", 1, "0000000003", 'q');
    AddRecord(Dest(), "PHOTO.BTR", 1, "0000000003", 'Q');
    WriteFile(m_root / "destimg/0000000001/0000000003.jpg", "dest three");
    WriteFile(m_root / "xyloimg/0000000001/0000000003.jpg", "xylo three");
    // A report whose every read fails.
    AddRecord(Xylo(), "REPORT.BTR", 1, "0000000001", 'r');
    fs::create_directories(m_root / "xylorep/0000000001");
    fs::create_symlink("/proc/self/mem", m_root / "xylorep/0000000001/0000000001.xyr");

    SSelectedMergeResult result = Merge();
    ASSERT_TRUE(result.m_failed);
    EXPECT_EQ(result.m_failure.m_table, "REPORT.BTR");
    EXPECT_TRUE(result.m_failure.m_file.endsWith(QStringLiteral("0000000001.xyr")));
    EXPECT_TRUE(ShownTexts().back().contains(QStringLiteral("0000000001.xyr")));
    EXPECT_EQ(m_progress.FinalMark(0), ERowMark::Failure);
    EXPECT_EQ(ReadFile(m_root / "destimg/0000000001/0000000002.jpg"), "photo");
    EXPECT_EQ(ReadFile(m_root / "destimg/0000000001/0000000003.jpg"), "dest three");
    EXPECT_EQ(ReadFile(m_root / "destimg/0000000001/0000000004.jpg"), "xylo three");

    // With the file readable, merging again completes it.
    fs::remove(m_root / "xylorep/0000000001/0000000001.xyr");
    WriteFile(m_root / "xylorep/0000000001/0000000001.xyr", "report");
    m_request.m_destinationRows = ListedPatients(Dest());
    result = Merge();
    ASSERT_FALSE(result.m_failed) << result.m_failure.Describe().toStdString();
    EXPECT_EQ(ReadFile(m_root / "destrep/0000000001/0000000001.xyr"), "report");
    using Records = std::vector<std::pair<std::string, char>>;
    EXPECT_EQ(RecordsOf(Dest(), "PHOTO.BTR", 1),
              (Records{{"0000000002", 'p'}, {"0000000003", 'Q'}, {"0000000004", 'q'}}));
}

// A write that cannot be stored (a full disk, say) stops the merge at the patient whose
// records it held, not at the first patient of the batch.
TEST_F(PatientMergeTest, AWriteThatCannotBeStoredNamesThePatientWhoseRecordsItHeld) {
    AddXylo({1, "X1", "first"});
    AddXylo({4, "", ""});  // neither name nor ID: found again only by its whole record
    AddXylo({2, "X2", "second"});
    AddXylo({3, "X3", "third"});
    AddRecord(Xylo(), "LAS.BTR", 2, "0000000001", 'l');
    const std::string las = Dest() + "LAS.BTR";
    recman::Shutdown();
    bool failWrites = true;
    recman::testing::SetFileEventHook([&](recman::testing::FileEvent event, const char* path) {
        return !(failWrites && event == recman::testing::FileEvent::kSync &&
                 std::string(path).starts_with(las));
    });
    const SSelectedMergeResult result = Merge();
    failWrites = false;
    recman::testing::SetFileEventHook({});
    ASSERT_TRUE(result.m_failed);
    EXPECT_EQ(result.m_failure.m_table, "LAS.BTR");
    EXPECT_EQ(result.m_failure.m_patientId, QStringLiteral("X2"));
    EXPECT_EQ(m_progress.FinalMark(0), ERowMark::Success);
    EXPECT_EQ(m_progress.FinalMark(1), ERowMark::Success);
    EXPECT_EQ(m_progress.FinalMark(2), ERowMark::Failure);
    EXPECT_EQ(m_progress.FinalMark(3), ERowMark::None);
    // The patients merged again one by one do not run the bar past its end.
    EXPECT_LE(*std::max_element(m_progress.m_positions.begin(), m_progress.m_positions.end()), 100);

    // Merged again, the patients already in are found, not added a second time.
    m_request.m_destinationRows = ListedPatients(Dest());
    ASSERT_FALSE(Merge().m_failed);
    EXPECT_EQ(ListedPatients(Dest()).size(), 4u);
    EXPECT_EQ(RecordsOf(Dest(), "LAS.BTR", 3).size(), 1u);  // X2 became patient 3
}

// Patients without a name or an ID can only be recognised by their whole record; a merge
// killed in the middle of a batch and run again ends as an uninterrupted one.
TEST_F(PatientMergeTest, AMergeKilledInABatchAndRunAgainEndsLikeAnUninterruptedOne) {
    AddDest({7, "D7", "dest"});
    AddXylo({1, "D7", "matched"});
    for (long long id = 2; id <= 9; ++id) {
        AddXylo({id, id % 3 == 0 ? "" : "N" + std::to_string(id), id % 2 == 0 ? "" : "named"});
        AddRecord(Xylo(), "CASMAS.BTR", id, "0000000001", char('a' + id));
        AddRecord(Xylo(), "PHOTO.BTR", id, "0000000001", char('p' + id));
        WriteFile(m_root / "xyloimg" / Id10(id) / "0000000001.jpg", "photo " + Id10(id));
    }
    AddRecord(Xylo(), "PHOTO.BTR", 1, "0000000001", 'm');
    AddRecord(Dest(), "PHOTO.BTR", 7, "0000000001", 'D');
    const fs::path start = m_root / "start";
    fs::copy(m_root / "dest", start);

    CKillingProgress counter(-1);
    ASSERT_FALSE(MergeSelectedPatients(m_request, counter, nullptr).m_failed);
    const std::string expected = DumpAll(Dest());
    const auto expectedImages = Snapshot(m_root / "destimg");

    std::mt19937 random(20261209);
    std::uniform_int_distribution<long> step(1, counter.Reports() - 1);
    for (int attempt = 0; attempt < 4; ++attempt) {
        const long killAt = step(random);
        fs::remove_all(m_root / "dest");
        fs::remove_all(m_root / "destimg");
        fs::copy(start, m_root / "dest");
        recman::Shutdown();
        ASSERT_NO_FATAL_FAILURE(RunKilledAt(killAt, [&](IMergeProgress& killer) {
            MergeSelectedPatients(m_request, killer, nullptr);
        }));
        SSelectedMergeRequest again = m_request;
        again.m_destinationRows = ListedPatients(Dest());
        const SSelectedMergeResult result = MergeSelectedPatients(again, m_progress, nullptr);
        ASSERT_FALSE(result.m_failed) << "kill at " << killAt;
        EXPECT_EQ(DumpAll(Dest()), expected) << "kill at " << killAt;
        EXPECT_EQ(Snapshot(m_root / "destimg"), expectedImages) << "kill at " << killAt;
    }
}

}  // namespace
}  // namespace unita
