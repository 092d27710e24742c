// Tests of the whole merge run on the demo practice and cephalometric databases: both ways
// of running, the sources left byte for byte as they were, the messages and settings at the
// end, failures that say what failed, and a run killed part-way then run again.
#include "merger/mergerun.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <random>
#include <set>
#include <sstream>

#include "merger/convert.h"
#include "merger/tests/mergetestdb.h"
#include "recman/recman.h"
#include "suite/text/inifile.h"

namespace {

namespace fs = std::filesystem;
using namespace unita;
using testdb::CKillingProgress;
using testdb::CRecordingProgress;
using testdb::DumpAll;
using testdb::Snapshot;

class MergeRunTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_sources = new QTemporaryDir;
        testdb::BuildDemoPair(Source("calyx"), Source("xylo"), 20);
    }
    static void TearDownTestSuite() {
        delete s_sources;
        s_sources = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(m_work.isValid());
        setenv("VELO_WINDIR", (Work("windows")).c_str(), 1);
        SetProgramFolder(UNITA_PROGRAM_FOLDER);
        CMessageService::ClearHistory();
        CMessageService::SetScript(
            [](const CMessageService::Request&) { return int(CMessageService::IDOK); });
    }
    void TearDown() override {
        CMessageService::SetScript(nullptr);
        unsetenv("VELO_WINDIR");
    }

    static std::string Source(const char* name) {
        return s_sources->path().toStdString() + "/" + name + "/";
    }
    std::string Work(const std::string& name) const {
        return m_work.path().toStdString() + "/" + name;
    }

    // The folders as the demo's settings files name them, and a destination under `dest`.
    static SMergeFolders Folders(const std::string& calyx, const std::string& xylo,
                                 const std::string& dest) {
        SMergeFolders f;
        f.m_calyxDatabase = QString::fromStdString(calyx);
        f.m_calyxImage = QString::fromStdString(calyx + "Photo");
        f.m_xyloDatabase = QString::fromStdString(xylo);
        f.m_xyloImage = QString::fromStdString(xylo + "Photo");
        f.m_xyloReport = QString::fromStdString(xylo + "Report");
        f.m_xyloSlideshow = QString::fromStdString(xylo + "SlideShow");
        ApplyDestinationChoice(&f, QString::fromStdString(dest));
        return f;
    }

    static SMergeRunRequest Request(const std::string& calyx, const std::string& xylo,
                                    const std::string& dest) {
        SMergeRunRequest r;
        r.m_folders = Folders(calyx, xylo, dest);
        r.m_calyxNeedsConversion = CalyxNeedsConversion(QString::fromStdString(calyx));
        for (const SPatientRow& row :
             LoadPatientRows(QString::fromStdString(calyx), EPatientFile::Current, false)) {
            r.m_calyxPatients.push_back(long(row.m_identifier));
        }
        r.m_xyloRows = LoadPatientRows(QString::fromStdString(xylo), EPatientFile::Current, false);
        return r;
    }

    static std::set<QString> PatientIds(const std::string& folder) {
        std::set<QString> ids;
        for (const SPatientRow& row :
             LoadPatientRows(QString::fromStdString(folder), EPatientFile::Current, false)) {
            ids.insert(row.m_patientId.toUpper());
        }
        return ids;
    }

    static bool Shown(const QString& start) {
        for (const QString& text : testdb::ShownTexts()) {
            if (text.startsWith(start)) return true;
        }
        return false;
    }

    static QTemporaryDir* s_sources;
    QTemporaryDir m_work;
};

QTemporaryDir* MergeRunTest::s_sources = nullptr;

TEST_F(MergeRunTest, ConvertedRunMergesBothSidesAndLeavesTheSourcesAlone) {
    const auto calyxBefore = Snapshot(Source("calyx"));
    const auto xyloBefore = Snapshot(Source("xylo"));
    SMergeRunRequest request = Request(Source("calyx"), Source("xylo"), Work("New"));
    request.m_writeBack = {true, true};
    ASSERT_GT(request.m_xyloRows.size(), 3u);
    CRecordingProgress progress;
    progress.SetStopMark(true);  // left over from an earlier run: cleared at the start

    const SMergeRunResult result = RunMerge(request, progress, nullptr);

    ASSERT_EQ(result.m_outcome, EMergeRunOutcome::Succeeded) << result.m_message.toStdString();
    // Both demo sides hold records of the same patients under the same numbers: the Xylo
    // ones go in under free numbers, and the message says how many.
    EXPECT_GT(result.m_report.RenumberedCount(), 0);
    EXPECT_EQ(result.m_message,
              QStringLiteral("マージ完了しました。\n\n") + result.m_report.Describe());
    EXPECT_TRUE(Shown("マージ完了しました。"));
    EXPECT_EQ(progress.m_statuses.back(), "マージ完了しました。");
    EXPECT_EQ(progress.m_positions.back(), 100);
    for (size_t row = 0; row < request.m_xyloRows.size(); ++row) {
        EXPECT_EQ(progress.m_marks[int(row)].back(), ERowMark::Success) << row;
    }

    // Every patient of both sides is in the destination, Xylo patients matched by ID.
    const std::string dest = Work("New/Database/");
    std::set<QString> expected = PatientIds(Source("calyx"));
    for (const SPatientRow& row : request.m_xyloRows) {
        if (!row.m_patientId.isEmpty()) expected.insert(row.m_patientId.toUpper());
    }
    std::set<QString> merged = PatientIds(dest);
    merged.erase(QString());
    EXPECT_EQ(merged, expected);
    EXPECT_EQ(result.m_mergeData.size(),
              LoadPatientRows(QString::fromStdString(dest), EPatientFile::Current, false).size());
    EXPECT_FALSE(Snapshot(Work("New/Photo")).empty());  // the Xylo patients' images came along
    // No record of either side is lost: the photos of both are all there.
    const auto countRecords = [](const std::string& folder, const char* table) {
        auto t = MakeBtrTable(table, folder);
        size_t count = 0;
        if (t && t->Open() == 0)
            for (int st = t->FirstRecord(); st == 0 && !t->IsEOF(); st = t->GetNext()) ++count;
        return count;
    };
    EXPECT_EQ(countRecords(dest, "PHOTO.BTR"), countRecords(Source("calyx"), "PHOTO.BTR") +
                                                   countRecords(Source("xylo"), "PHOTO.BTR"));

    EXPECT_EQ(Snapshot(Source("calyx")), calyxBefore);
    EXPECT_EQ(Snapshot(Source("xylo")), xyloBefore);

    // The settings point at the merged folders.
    EXPECT_EQ(CIniFile::ReadString(GlobalSettingPath(QString::fromStdString(dest)), "GLOBAL",
                                   "IsXyloLinking"),
              "1");
    EXPECT_EQ(CIniFile::ReadString(SettingsFilePath("VeloV1.ini"), "GLOBAL", "DATABASE"),
              QString::fromStdString(dest));
    EXPECT_EQ(CIniFile::ReadString(SettingsFilePath("Xylo8.ini"), "Storage1", "@PhotoPath"),
              QString::fromStdString(Work("New/Photo/")));
}

TEST_F(MergeRunTest, XyloOnlyRunCopiesTheXyloTablesWhole) {
    const auto xyloBefore = Snapshot(Source("xylo"));
    SMergeRunRequest request = Request(Source("calyx"), Source("xylo"), Work("X"));
    request.m_convertCalyx = false;
    CRecordingProgress progress;
    const SMergeRunResult result = RunMerge(request, progress, nullptr);
    ASSERT_EQ(result.m_outcome, EMergeRunOutcome::Succeeded);
    EXPECT_EQ(progress.m_positions,
              (std::vector<int>{0, 1 * 100 / progress.TotalSteps(), 40, 50, 60, 70, 80, 100}));
    // The Xylo patients and analyses replace the destination's; Calyx's reservations stay.
    std::string error;
    for (const char* table : {"PATIENT1.BTR", "POINTLAT.BTR", "PHOTO.BTR"}) {
        std::ostringstream merged, xylo;
        velodb::DumpTable(Work("X/Database/"), table, 0, merged, &error);
        velodb::DumpTable(Source("xylo"), table, 0, xylo, &error);
        EXPECT_EQ(merged.str(), xylo.str()) << table;
    }
    std::ostringstream merged, calyx;
    velodb::DumpTable(Work("X/Database/"), "RESERVATION.BTR", 0, merged, &error);
    velodb::DumpTable(Source("calyx"), "RESERVATION.BTR", 0, calyx, &error);
    EXPECT_EQ(merged.str(), calyx.str());
    EXPECT_EQ(Snapshot(Work("X/Photo")), Snapshot(Source("xylo") + "Photo"));
    // The reports the copied REPORT.BTR names are in the destination's report folder.
    ASSERT_FALSE(Snapshot(Source("xylo") + "Report").empty());
    EXPECT_EQ(Snapshot(Work("X/Report")), Snapshot(Source("xylo") + "Report"));
    EXPECT_EQ(Snapshot(Source("xylo")), xyloBefore);
}

TEST_F(MergeRunTest, XyloOnlyRunThatCannotCopyAXyloFileFails) {
    const std::string xylo = Work("xylo/");
    fs::copy(Source("xylo"), xylo, fs::copy_options::recursive);
    testdb::WriteFile(xylo + "freetblname.dat", "free table names");
    // The practice database keeps no free-table names here, so the Xylo file has no copy of
    // the practice's to land on.
    const std::string calyx = Work("calyx/");
    fs::copy(Source("calyx"), calyx, fs::copy_options::recursive);
    fs::remove(calyx + "freetblname.dat");
    // A folder where the file should go: the copy cannot replace it.
    testdb::WriteFile(Work("Y/Database/FREETBLNAME.DAT/keep"), "in the way");
    SMergeRunRequest request = Request(calyx, xylo, Work("Y"));
    request.m_convertCalyx = false;
    request.m_writeBack = {true, true};
    CRecordingProgress progress;
    const SMergeRunResult result = RunMerge(request, progress, nullptr);
    ASSERT_EQ(result.m_outcome, EMergeRunOutcome::Failed);
    EXPECT_TRUE(result.m_message.contains("freetblname.dat")) << result.m_message.toStdString();
    EXPECT_EQ(progress.m_statuses.back(), "マージ失敗しました。");
    EXPECT_FALSE(fs::exists(SettingsFilePath("VeloV1.ini")));
}

// The products' settings files may name their folders without the trailing "/", and the
// fields show them as stored: both ways of running read such folders all the same.
TEST_F(MergeRunTest, SourceFoldersWithoutTheirSeparatorAreCopiedAllTheSame) {
    const std::string calyx = Work("calyxp/");
    fs::copy(Source("calyx"), calyx, fs::copy_options::recursive);
    testdb::WriteFile(calyx + "Photo/9999999999/calyx.jpg", "a Calyx image");
    std::string bare = calyx;
    bare.pop_back();

    SMergeRunRequest request = Request(calyx, Source("xylo"), Work("S"));
    request.m_folders.m_calyxDatabase = QString::fromStdString(bare);
    request.m_folders.m_calyxImage = QString::fromStdString(bare + "/Photo");
    CRecordingProgress progress;
    SMergeRunResult result = RunMerge(request, progress, nullptr);
    ASSERT_EQ(result.m_outcome, EMergeRunOutcome::Succeeded) << result.m_message.toStdString();
    EXPECT_EQ(testdb::ShownTexts(), std::vector<QString>{result.m_message});
    EXPECT_TRUE(result.m_message.startsWith(QStringLiteral("マージ完了しました。")));
    EXPECT_EQ(testdb::ReadFile(Work("S/Photo/9999999999/calyx.jpg")), "a Calyx image");
    std::set<QString> calyxIds = PatientIds(calyx);
    std::set<QString> merged = PatientIds(Work("S/Database/"));
    for (const QString& id : calyxIds) EXPECT_EQ(merged.count(id), 1u) << id.toStdString();

    request.m_folders = Folders(bare, Source("xylo"), Work("T"));
    request.m_convertCalyx = false;
    result = RunMerge(request, progress, nullptr);
    ASSERT_EQ(result.m_outcome, EMergeRunOutcome::Succeeded) << result.m_message.toStdString();
    std::string error;
    std::ostringstream copied, original;
    velodb::DumpTable(Work("T/Database/"), "RESERVATION.BTR", 0, copied, &error);
    velodb::DumpTable(calyx, "RESERVATION.BTR", 0, original, &error);
    EXPECT_EQ(copied.str(), original.str());
}

TEST_F(MergeRunTest, RunWithoutXyloPatientsBuildsFromCalyxAlone) {
    SMergeRunRequest request = Request(Source("calyx"), Source("xylo"), Work("C"));
    request.m_xyloRows.clear();
    CRecordingProgress progress;
    const SMergeRunResult result = RunMerge(request, progress, nullptr);
    ASSERT_EQ(result.m_outcome, EMergeRunOutcome::Succeeded);
    EXPECT_EQ(progress.TotalSteps(), 4);
    EXPECT_EQ(PatientIds(Work("C/Database/")), PatientIds(Source("calyx")));
    // The Xylo master data came along: the case categories of both sides.
    std::string error;
    std::ostringstream merged;
    velodb::DumpTable(Work("C/Database/"), "TEXTTBL.BTR", 0, merged, &error);
    std::ostringstream xylo;
    velodb::DumpTable(Source("xylo"), "TEXTTBL.BTR", 0, xylo, &error);
    EXPECT_EQ(merged.str(), xylo.str());
}

TEST_F(MergeRunTest, FailureInTheLastPatientNamesItAndWritesNoSettings) {
    SMergeRunRequest request = Request(Source("calyx"), Source("xylo"), Work("F"));
    request.m_writeBack = {true, true};
    // The list still shows a patient who is no longer in the Xylo database.
    SPatientRow gone;
    gone.m_patientId = "GONE-7";
    gone.m_name = "消えた患者";
    gone.m_identifier = 987654;
    request.m_xyloRows.push_back(gone);
    const int last = int(request.m_xyloRows.size()) - 1;
    CRecordingProgress progress;

    const SMergeRunResult result = RunMerge(request, progress, nullptr);

    ASSERT_EQ(result.m_outcome, EMergeRunOutcome::Failed);
    EXPECT_TRUE(result.m_message.startsWith("マージ失敗しました。"));
    EXPECT_TRUE(result.m_message.contains("GONE-7")) << result.m_message.toStdString();
    EXPECT_TRUE(Shown("マージ失敗しました。"));
    EXPECT_EQ(progress.m_statuses.back(), "マージ失敗しました。");
    EXPECT_EQ(progress.m_marks[last].back(), ERowMark::Failure);
    // Patients share their writes in batches: the failed patient's batch is written whole
    // or not at all, so its earlier patients lose their marks (a second run completes them)
    // and none of them is shown as failed.
    EXPECT_NE(progress.m_marks[last - 1].back(), ERowMark::Failure);
    EXPECT_NE(progress.m_marks[last - 1].back(), ERowMark::Importing);
    EXPECT_FALSE(fs::exists(SettingsFilePath("VeloV1.ini")));
    EXPECT_FALSE(fs::exists(SettingsFilePath("Xylo8.ini")));
    EXPECT_EQ(CIniFile::ReadString(GlobalSettingPath(QString::fromStdString(Work("F/Database"))),
                                   "GLOBAL", "IsXyloLinking"),
              "");
    EXPECT_FALSE(result.m_mergeData.empty());  // the merge data shows what was written
}

TEST_F(MergeRunTest, CorruptSourceTableFailsTheRunAndARunAfterRepairCompletesIt) {
    // A copy of the Xylo database with one analysis table damaged.
    const std::string xylo = Work("xylo/");
    fs::copy(Source("xylo"), xylo, fs::copy_options::recursive);
    const std::string casmas = xylo + "CASMAS.BTR";
    const std::string good = testdb::ReadFile(casmas);
    testdb::WriteFile(casmas, std::string(good.size(), 'x'));

    SMergeRunRequest request = Request(Source("calyx"), xylo, Work("D"));
    CRecordingProgress progress;
    SMergeRunResult result = RunMerge(request, progress, nullptr);
    ASSERT_EQ(result.m_outcome, EMergeRunOutcome::Failed);
    EXPECT_TRUE(result.m_message.contains("CASMAS.BTR")) << result.m_message.toStdString();
    EXPECT_TRUE(Shown("DERoduDEZ ERROR:\n\nCASMAS_DB BO_OPEN"));
    EXPECT_EQ(progress.m_marks[0].back(), ERowMark::Failure);

    // Mended, the same run again gives what a run that never failed gives.
    testdb::WriteFile(casmas, good);
    result = RunMerge(request, progress, nullptr);
    ASSERT_EQ(result.m_outcome, EMergeRunOutcome::Succeeded) << result.m_message.toStdString();
    SMergeRunRequest clean = Request(Source("calyx"), xylo, Work("Clean"));
    ASSERT_EQ(RunMerge(clean, progress, nullptr).m_outcome, EMergeRunOutcome::Succeeded);
    EXPECT_EQ(DumpAll(Work("D/Database/")), DumpAll(Work("Clean/Database/")));
    EXPECT_EQ(Snapshot(Work("D/Photo")), Snapshot(Work("Clean/Photo")));
}

TEST_F(MergeRunTest, DestinationThatCannotBeMadeStopsBeforeAnythingIsWritten) {
    testdb::WriteFile(Work("blocked"), "a file, not a folder");
    SMergeRunRequest request = Request(Source("calyx"), Source("xylo"), Work("ok"));
    request.m_folders.m_destSlideshow = QString::fromStdString(Work("blocked/SlideShow"));
    request.m_writeBack = {true, true};
    CRecordingProgress progress;
    const SMergeRunResult result = RunMerge(request, progress, nullptr);
    EXPECT_EQ(result.m_outcome, EMergeRunOutcome::FolderNotMade);
    EXPECT_TRUE(Shown("マージ先のフォルダ")) << "the user is told";
    EXPECT_FALSE(fs::exists(Work("ok")));
    EXPECT_FALSE(fs::exists(Work("windows")));
    EXPECT_TRUE(progress.m_statuses.empty());
}

TEST_F(MergeRunTest, ClashingOrEmptyDestinationWritesNothing) {
    SMergeRunRequest request = Request(Source("calyx"), Source("xylo"), Work("Z"));
    request.m_folders.m_destDatabase = QString::fromStdString(Source("calyx")).toLower();
    CRecordingProgress progress;
    SMergeRunResult result = RunMerge(request, progress, nullptr);
    // Only letter case differs from the Calyx folder on a case-sensitive file system, so the
    // lower-case name does not exist: refused all the same, and nothing made.
    EXPECT_EQ(result.m_outcome, EMergeRunOutcome::Refused);
    EXPECT_EQ(result.m_refusedField, 1012);
    EXPECT_TRUE(Shown("マージー先のデータベースフォルダがXyloまたはCalyx"));
    EXPECT_FALSE(fs::exists(Work("Z")));

    CMessageService::ClearHistory();
    request.m_folders.m_destReport.clear();
    result = RunMerge(request, progress, nullptr);
    EXPECT_EQ(result.m_outcome, EMergeRunOutcome::NothingDone);
    EXPECT_TRUE(CMessageService::History().isEmpty());
}

TEST_F(MergeRunTest, MissingSourceDatabaseIsRefusedBeforeAnythingIsWritten) {
    for (const bool convert : {true, false}) {
        SMergeRunRequest request = Request(Source("calyx"), Source("xylo"), Work("W"));
        request.m_convertCalyx = convert;
        request.m_writeBack = {true, true};
        request.m_folders.m_calyxDatabase = QString::fromStdString(Work("no such calyx"));
        CRecordingProgress progress;
        SMergeRunResult result = RunMerge(request, progress, nullptr);
        EXPECT_EQ(result.m_outcome, EMergeRunOutcome::Refused);
        EXPECT_EQ(result.m_refusedField, 1000);
        EXPECT_TRUE(Shown("Calyxのデータベースフォルダ「")) << result.m_message.toStdString();

        request.m_folders.m_calyxDatabase = QString::fromStdString(Source("calyx"));
        request.m_folders.m_xyloDatabase = QString::fromStdString(Work("no such xylo"));
        result = RunMerge(request, progress, nullptr);
        EXPECT_EQ(result.m_outcome, EMergeRunOutcome::Refused);
        EXPECT_EQ(result.m_refusedField, 1005);
        EXPECT_FALSE(fs::exists(Work("W")));
        EXPECT_FALSE(fs::exists(Work("windows")));
    }
}

TEST_F(MergeRunTest, OldFormatCalyxIsConvertedIntoTheDestinationOnly) {
    // A practice database of the old format: its patients in PATIENT.BTR, no current version.
    const std::string calyx = Work("oldcalyx/");
    fs::copy(Source("calyx"), calyx, fs::copy_options::recursive);
    ASSERT_TRUE(CIniFile::WriteString(GlobalSettingPath(QString::fromStdString(calyx)), "GLOBAL",
                                      "VERSION", "1.0.0.0"));
    {
        COldPatientTable old(calyx);
        ASSERT_EQ(old.Open(), 0);
        const char* ids[] = {"OLD-1", "OLD-2", "OLD-3"};
        for (int i = 0; i < 3; ++i) {
            old.ClearData();
            testdb::Put(old.Rec().PatientID, testdb::Id10(101 + i));
            testdb::Put(old.Rec().ChartNo, ids[i]);
            testdb::Put(old.Rec().Name, "旧患者");
            testdb::Put(old.Rec().Tel1, "03-1234 5678");
            old.Rec().DeletedMark = i == 2 ? 1 : 0;
            ASSERT_EQ(old.Insert(), 0);
        }
    }
    const auto calyxBefore = Snapshot(calyx);
    SMergeRunRequest request = Request(calyx, Source("xylo"), Work("O"));
    ASSERT_TRUE(request.m_calyxNeedsConversion);
    const PatientRows oldRows =
        LoadPatientRows(QString::fromStdString(calyx), EPatientFile::Old, true);
    ASSERT_EQ(oldRows.size(), 2u);  // the deleted one is not listed
    request.m_calyxPatients.clear();
    for (const SPatientRow& row : oldRows)
        request.m_calyxPatients.push_back(long(row.m_identifier));

    CRecordingProgress progress;
    const SMergeRunResult result = RunMerge(request, progress, nullptr);
    ASSERT_EQ(result.m_outcome, EMergeRunOutcome::Succeeded) << result.m_message.toStdString();
    EXPECT_EQ(progress.TotalSteps(), 24 * int(request.m_xyloRows.size()) + 5);

    // The converted patients, not the current-format file of the folder, meet the Xylo ones.
    std::set<QString> expected{"OLD-1", "OLD-2"};
    for (const SPatientRow& row : request.m_xyloRows) {
        if (!row.m_patientId.isEmpty()) expected.insert(row.m_patientId.toUpper());
    }
    std::set<QString> merged = PatientIds(Work("O/Database/"));
    merged.erase(QString());
    EXPECT_EQ(merged, expected);
    tagPATIENT1DB converted{};
    ASSERT_TRUE(testdb::ReadPatient(Work("O/Database/"), 101, &converted));
    EXPECT_STREQ(converted.HomeTelDigits, "0312345678");
    EXPECT_EQ(CIniFile::ReadString(GlobalSettingPath(QString::fromStdString(Work("O/Database"))),
                                   "GLOBAL", "VERSION"),
              "1.1.0.0");
    EXPECT_EQ(Snapshot(calyx), calyxBefore);  // converted into the destination, not in place
}

// Run in a process of its own by the test below: with the working file placed first, reading
// a database leaves no file of the record manager in its folder.
TEST(WorkingFileChild, ReadingADatabaseLeavesItsFolderAlone) {
    const char* folder = std::getenv("UNITA_WORKING_FILE_SOURCE");
    if (folder == nullptr) GTEST_SKIP() << "run by WorkingFileIsKeptOutOfTheSources";
    const QTemporaryDir own;
    ASSERT_EQ(recman::SetWorkingFolder(own.path().toStdString() + "/work"), recman::kOk);
    ASSERT_FALSE(LoadPatientRows(folder, EPatientFile::Current, false).empty());
    for (const auto& entry : fs::directory_iterator(folder)) {
        EXPECT_NE(entry.path().filename().string().rfind(".recman", 0), 0u) << entry.path();
    }
}

TEST_F(MergeRunTest, WorkingFileIsKeptOutOfTheSources) {
    const std::string fresh = Work("fresh/");
    fs::create_directories(fresh);
    for (const auto& entry : fs::directory_iterator(Source("calyx"))) {
        if (entry.path().filename().string().rfind(".recman", 0) == 0) continue;
        fs::copy(entry.path(), fresh + entry.path().filename().string(),
                 fs::copy_options::recursive);
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("UNITA_WORKING_FILE_SOURCE", fresh.c_str(), 1);
        execl("/proc/self/exe", "mergerun_test",
              "--gtest_filter=WorkingFileChild.ReadingADatabaseLeavesItsFolderAlone", nullptr);
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(MergeRunTest, RunKilledPartWayThenRunAgainEndsLikeAnUninterruptedRun) {
    const SMergeRunRequest reference = Request(Source("calyx"), Source("xylo"), Work("Ref"));
    CKillingProgress counter(-1);
    ASSERT_EQ(RunMerge(reference, counter, nullptr).m_outcome, EMergeRunOutcome::Succeeded);
    const std::string expected = DumpAll(Work("Ref/Database/"));
    const auto expectedPhotos = Snapshot(Work("Ref/Photo"));

    std::mt19937 random(20261208);
    std::uniform_int_distribution<long> step(1, counter.Reports() - 1);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const long killAt = step(random);
        const std::string root = Work("Killed" + std::to_string(attempt));
        const SMergeRunRequest request = Request(Source("calyx"), Source("xylo"), root);
        ASSERT_NO_FATAL_FAILURE(testdb::RunKilledAt(
            killAt, [&](IMergeProgress& killer) { RunMerge(request, killer, nullptr); }));

        CRecordingProgress progress;
        ASSERT_EQ(RunMerge(request, progress, nullptr).m_outcome, EMergeRunOutcome::Succeeded)
            << "kill at " << killAt;
        EXPECT_EQ(DumpAll(root + "/Database/"), expected) << "kill at " << killAt;
        EXPECT_EQ(Snapshot(root + "/Photo"), expectedPhotos) << "kill at " << killAt;
    }
}

}  // namespace
