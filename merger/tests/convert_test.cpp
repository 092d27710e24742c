// Tests of the old patient file conversion, the folder copy and the empty database archive.
#include "merger/convert.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "merger/btrtables.h"
#include "merger/lhaarchive.h"
#include "merger/mergeprogress.h"
#include "merger/tests/mergetestdb.h"
#include "suite/text/inifile.h"
#include "suite/text/privatefiles.h"
#include "suite/tool/messageservice.h"
#include "tools/velodb.h"

namespace {

namespace fs = std::filesystem;
using namespace unita;
using unita::testdb::ReadFile;
using unita::testdb::WriteFile;

template <size_t N>
void Put(char (&field)[N], const char* text) {
    std::memset(field, 0, N);
    std::memcpy(field, text, std::min(std::strlen(text), N - 1));
}

// The text of a fixed-width field: up to its terminator, or all of it when it has none.
template <size_t N>
std::string Text(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// Every file below folder with a hash of its bytes. The record manager's working file of
// this process (".recman-*", beside the first table file the process opened) is not part
// of the database and is left out.
std::map<std::string, size_t> Snapshot(const fs::path& folder) {
    std::map<std::string, size_t> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file() || entry.path().filename().string().starts_with(".recman-"))
            continue;
        files[fs::relative(entry.path(), folder).string()] =
            std::hash<std::string>{}(ReadFile(entry.path()));
    }
    return files;
}

mode_t ModeOf(const fs::path& path) { return mode_t(fs::status(path).permissions()) & 07777; }

void SetModified(const fs::path& path, int secondsFromNow) {
    fs::last_write_time(path,
                        fs::file_time_type::clock::now() + std::chrono::seconds(secondsFromNow));
}

class CRecorder final : public IMergeProgress {
public:
    void SetStatus(const QString& text) override { m_statuses.push_back(text); }
    void SetPosition(int percent) override { m_positions.push_back(percent); }
    void MarkXyloRow(int, ERowMark) override {}
    std::vector<QString> m_statuses;
    std::vector<int> m_positions;
};

class ConvertTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_root = m_dir.path().toStdString() + "/";
        m_calyx = m_root + "calyx/";
        std::string error;
        ASSERT_TRUE(velodb::CreateDatabase(m_calyx, false, &error)) << error;
        CMessageService::ClearHistory();
        CMessageService::SetScript({});
    }
    void TearDown() override { CMessageService::SetScript({}); }

    void AddOldPatient(long id, const char* chartNo, const char* tel1) {
        COldPatientTable old(m_calyx);
        ASSERT_EQ(old.Open(), 0);
        old.ClearData();
        char key[16];
        std::snprintf(key, sizeof key, "%010ld", id);
        Put(old.Rec().PatientID, key);
        Put(old.Rec().ChartNo, chartNo);
        Put(old.Rec().Name, "山田");
        Put(old.Rec().Tel1, tel1);
        ASSERT_EQ(old.Insert(), 0);
    }

    static std::vector<std::string> PatientIds(const std::string& folder) {
        std::vector<std::string> ids;
        CPatient1Table patients(folder);
        if (patients.Open() != 0) return ids;
        for (int st = patients.FirstRecord(); st == 0 && !patients.IsEOF(); st = patients.GetNext())
            ids.push_back(patients.Rec().PatientID);
        return ids;
    }

    static QString Version(const std::string& folder) {
        return CIniFile::ReadString(folder + "GlobalSetting.ini", "GLOBAL", "VERSION");
    }

    QTemporaryDir m_dir;
    std::string m_root;
    std::string m_calyx;
};

TEST_F(ConvertTest, RecordFieldsMoveToTheirCurrentOffsets) {
    tagOLDPATIENTDB o{};
    Put(o.PatientID, "0000000012");
    Put(o.Name, "山田 花子");
    Put(o.Kana, "YAMADA HANAKO");
    Put(o.Sex, "1");
    Put(o.BirthDate, "19800102");
    Put(o.ChargeCode, "07");
    Put(o.Comment, "comment");
    Put(o.FirstVisitDate, "20010203");
    Put(o.GuardianName, "guardian");
    Put(o.GuardianKana, "KANA");
    Put(o.Tel1, "03-1234 5678");
    Put(o.ZipCode, "100-0001");
    Put(o.Address1, "address 1");
    Put(o.Address2, "address 2");
    Put(o.DoctorCode, "02");
    Put(o.ChartNo, "A12");
    Put(o.Tel2, "090 - 1111-2222");
    Put(o.LastVisitDate, "20200304");
    o.DeletedMark = 1;
    // A value longer than the current 26-byte field must not run into the patient ID.
    Put(o.OldExtra, "0123456789012345678901234567890123456");

    tagPATIENT1DB n;
    std::memset(&n, 0x55, sizeof n);
    ConvertPatientRecord(o, &n);
    EXPECT_STREQ(n.PatientID, "0000000012");
    EXPECT_STREQ(n.Name, "山田 花子");
    EXPECT_STREQ(n.Kana, "YAMADA HANAKO");
    EXPECT_STREQ(n.Sex, "1");
    EXPECT_STREQ(n.BirthDate, "19800102");
    EXPECT_STREQ(n.FirstVisitDate, "20010203");
    EXPECT_STREQ(n.EntryDate, "20010203");
    EXPECT_STREQ(n.LastVisitDate, "20200304");
    EXPECT_STREQ(n.EndDate, "");
    EXPECT_STREQ(n.ChargeCode, "07");
    EXPECT_STREQ(n.DoctorCode, "02");
    EXPECT_EQ(n.InactiveFlag, 1);
    EXPECT_EQ(Text(n.OldExtra), "01234567890123456789012345");
    EXPECT_STREQ(n.ChartNo, "A12");
    EXPECT_STREQ(n.HomeTel, "03-1234 5678");
    EXPECT_STREQ(n.MobileTel, "090 - 1111-2222");
    EXPECT_STREQ(n.GuardianName, "guardian");
    EXPECT_STREQ(n.GuardianKana, "KANA");
    EXPECT_STREQ(n.ZipCode, "100-0001");
    EXPECT_STREQ(n.Address1, "address 1");
    EXPECT_STREQ(n.Address2, "address 2");
    EXPECT_STREQ(n.HomeTelDigits, "0312345678");
    EXPECT_STREQ(n.MobileTelDigits, "09011112222");
    EXPECT_STREQ(n.Comment, "comment");
    // Everything else is zero.
    EXPECT_TRUE(std::all_of(std::begin(n.Email), std::end(n.Email), [](char c) { return c == 0; }));
    const char* afterComment = reinterpret_cast<const char*>(&n) + offsetof(tagPATIENT1DB, Email);
    EXPECT_TRUE(std::all_of(afterComment, reinterpret_cast<const char*>(&n + 1),
                            [](char c) { return c == 0; }));

    // Texts that fill their old field to the last byte, without a terminator, arrive whole
    // where the current field is as wide or wider; the narrower OldExtra keeps what fits,
    // without half of a double-byte character.
    tagOLDPATIENTDB full;
    std::memset(&full, 'A', sizeof full);
    full.DeletedMark = 0;
    std::memcpy(full.OldExtra + 25, "\x8e\x52", 2);  // a double-byte character across the end
    ConvertPatientRecord(full, &n);
    const auto as = [](size_t count) { return std::string(count, 'A'); };
    for (const std::string& text :
         {Text(n.PatientID), Text(n.Name), Text(n.Kana), Text(n.ChartNo), Text(n.HomeTel),
          Text(n.MobileTel), Text(n.GuardianName), Text(n.GuardianKana), Text(n.HomeTelDigits),
          Text(n.MobileTelDigits)}) {
        EXPECT_EQ(text, as(21));
    }
    for (const std::string& text :
         {Text(n.BirthDate), Text(n.FirstVisitDate), Text(n.EntryDate), Text(n.LastVisitDate)}) {
        EXPECT_EQ(text, as(9));
    }
    EXPECT_EQ(Text(n.Sex), as(2));
    EXPECT_EQ(Text(n.ChargeCode), as(3));
    EXPECT_EQ(Text(n.DoctorCode), as(3));
    EXPECT_EQ(Text(n.ZipCode), as(11));
    EXPECT_EQ(Text(n.Address1), as(41));
    EXPECT_EQ(Text(n.Address2), as(41));
    EXPECT_EQ(Text(n.Comment), as(256));
    EXPECT_EQ(Text(n.OldExtra), as(25));
    EXPECT_EQ(n.InactiveFlag, 0);
}

TEST_F(ConvertTest, InPlaceConversionTwiceLeavesOneRecordPerListedPatient) {
    AddOldPatient(1, "A1", "03-1234 5678");
    AddOldPatient(2, "A2", "");
    AddOldPatient(5, "A5", "");
    // Row 3 lists a patient that PATIENT.BTR does not hold: skipped without a message.
    const std::vector<long> rows = {1, 2, 9, 5};
    for (int run = 0; run < 2; ++run) {
        CRecorder progress;
        const SConvertResult result = ConvertPatientsInPlace(m_calyx, rows, progress);
        EXPECT_TRUE(result.m_complete);
        EXPECT_EQ(result.m_converted, 3);
        EXPECT_EQ(result.m_missing, 1);
        EXPECT_EQ(PatientIds(m_calyx),
                  (std::vector<std::string>{"0000000001", "0000000002", "0000000005"}));
        EXPECT_EQ(progress.m_statuses.back(), "コンバート成功");
        EXPECT_EQ(progress.m_positions.back(), 100);
        const bool deleted = std::count(progress.m_statuses.begin(), progress.m_statuses.end(),
                                        "コンバート先のDBを削除しています...") == 1;
        EXPECT_EQ(deleted, run == 1);  // only the second run finds records to delete
        EXPECT_TRUE(std::count(progress.m_statuses.begin(), progress.m_statuses.end(),
                               "処理中...   4/  4"));
    }
    tagPATIENT1DB patient;
    CPatient1Table patients(m_calyx);
    ASSERT_EQ(patients.Open(), 0);
    ASSERT_EQ(patients.GetPatientData("0000000001"), 0);
    patient = patients.Rec();
    EXPECT_STREQ(patient.HomeTelDigits, "0312345678");
    EXPECT_EQ(Version(m_calyx), "1.1.0.0");
    EXPECT_TRUE(CMessageService::History().isEmpty());
}

TEST_F(ConvertTest, ConversionIntoTheDestinationLeavesTheCalyxFolderAlone) {
    AddOldPatient(3, "C3", "");
    AddOldPatient(4, "C4", "");
    const std::string dest = m_root + "dest/";
    std::string error;
    ASSERT_TRUE(velodb::CreateDatabase(dest, false, &error)) << error;
    const auto before = Snapshot(m_calyx);

    for (int run = 0; run < 2; ++run) {
        CRecorder progress;
        const SConvertResult result = ConvertPatientsInRun(m_calyx, dest, {3, 4}, progress);
        EXPECT_TRUE(result.m_complete);
        EXPECT_EQ(progress.m_statuses,
                  std::vector<QString>{"Calyxのデータベースをコンバートしています..."});
    }
    EXPECT_EQ(PatientIds(dest), (std::vector<std::string>{"0000000003", "0000000004"}));
    EXPECT_EQ(Version(dest), "1.1.0.0");
    EXPECT_EQ(Snapshot(m_calyx), before);
}

TEST_F(ConvertTest, AMissingPatientFileConvertsNothingAndWritesNoVersion) {
    AddOldPatient(1, "A1", "");
    fs::remove(m_calyx + "PATIENT1.BTR");
    CIniFile::WriteString(m_calyx + "GlobalSetting.ini", "GLOBAL", "VERSION", "1.0.0.0");
    CRecorder progress;
    // Even with an empty list a failed open is no success.
    for (const std::vector<long>& rows : {std::vector<long>{1}, std::vector<long>{}}) {
        const SConvertResult result = ConvertPatientsInPlace(m_calyx, rows, progress);
        EXPECT_FALSE(result.m_complete);
        EXPECT_EQ(result.m_converted, 0);
    }
    EXPECT_EQ(Version(m_calyx), "1.0.0.0");
    EXPECT_TRUE(std::none_of(progress.m_statuses.begin(), progress.m_statuses.end(),
                             [](const QString& s) { return s == "コンバート成功"; }));
    ASSERT_EQ(CMessageService::History().size(), 2);
    EXPECT_TRUE(CMessageService::History().front().text.contains("PATIENT_DB BO_OPEN"));
}

TEST_F(ConvertTest, ASettingsFileThatCannotBeWrittenLeavesTheConversionIncomplete) {
    AddOldPatient(1, "A1", "");
    const std::string dest = m_root + "dest/";
    std::string error;
    ASSERT_TRUE(velodb::CreateDatabase(dest, false, &error)) << error;
    // A folder where the settings file should be: the version cannot be written.
    for (const std::string& folder : {m_calyx, dest}) {
        fs::remove(folder + "GlobalSetting.ini");
        fs::create_directories(folder + "GlobalSetting.ini");
    }
    CRecorder progress;
    EXPECT_FALSE(ConvertPatientsInPlace(m_calyx, {1}, progress).m_complete);
    EXPECT_TRUE(std::none_of(progress.m_statuses.begin(), progress.m_statuses.end(),
                             [](const QString& s) { return s == "コンバート成功"; }));
    EXPECT_FALSE(ConvertPatientsInRun(m_calyx, dest, {1}, progress).m_complete);
    ASSERT_EQ(CMessageService::History().size(), 2);
    EXPECT_TRUE(
        CMessageService::History().back().text.startsWith("設定ファイルを書き込めませんでした。"));
}

class CopyFolderTest : public ConvertTest {
protected:
    void SetUp() override {
        ConvertTest::SetUp();
        m_source = m_root + "source/";
        m_target = m_root + "target/";
        fs::create_directories(m_target);
    }
    bool Copied(const std::string& relative) const { return fs::exists(m_target + relative); }

    std::string m_source;
    std::string m_target;
};

TEST_F(CopyFolderTest, LockFilesAndThumbnailCachesAreNeverCopied) {
    // The record manager's working file of a program using the source, and its journal.
    const char* working[] = {".recman-Ab12Cd", ".recman-Ab12Cd-journal"};
    for (const char* name :
         {"DATA.LCK", "~PVSW~.LOC", "thumbs.db", "Thumbs.DB", "X.LCKA", ".LCK", "a.lck",
          "sub/deeper/file.jpg", "sub/THUMBS.DB", working[0], working[1]})
        WriteFile(m_source + name, name);
    CRecorder progress;
    const SCopyCounts counts = CopyFolder(m_source, m_target, ECopyMode::Images, false, progress);
    for (const char* name : {"DATA.LCK", "~PVSW~.LOC", "thumbs.db", "Thumbs.DB", "a.lck",
                             "sub/THUMBS.DB", working[0], working[1]})
        EXPECT_FALSE(Copied(name)) << name;
    for (const char* name : {"X.LCKA", ".LCK", "sub/deeper/file.jpg"})
        EXPECT_TRUE(Copied(name)) << name;
    EXPECT_EQ(ReadFile(m_target + "sub/deeper/file.jpg"), "sub/deeper/file.jpg");
    // Whatever the source's modes, the copies are the clinic's: closed to others.
    EXPECT_EQ(ModeOf(m_target + "sub/deeper"), privatefiles::FolderMode());
    EXPECT_EQ(ModeOf(m_target + "sub/deeper/file.jpg"), privatefiles::FileMode());
    EXPECT_EQ(counts.m_copied, 3);
    EXPECT_EQ(counts.m_skipped, 8);
    // No temporary file stays behind.
    EXPECT_EQ(Snapshot(m_target).size(), 3u);
}

TEST_F(CopyFolderTest, TemporariesOfAKilledCopyAreRemovedOnTheNextCopy) {
    WriteFile(m_source + "a.jpg", "a");
    WriteFile(m_target + ".a.jpg.copyQ1w2E3", "half a copy");
    WriteFile(m_target + ".b.jpg.copyQ1w2E3", "not ours: no b.jpg in the source");
    WriteFile(m_target + ".a.jpg.copy", "not a temporary name");
    CRecorder progress;
    CopyFolder(m_source, m_target, ECopyMode::Images, false, progress);
    EXPECT_FALSE(fs::exists(m_target + ".a.jpg.copyQ1w2E3"));
    EXPECT_TRUE(fs::exists(m_target + ".b.jpg.copyQ1w2E3"));
    EXPECT_TRUE(fs::exists(m_target + ".a.jpg.copy"));
    EXPECT_EQ(ReadFile(m_target + "a.jpg"), "a");
}

TEST_F(CopyFolderTest, ADestinationInsideTheSourceIsNotCopiedIntoItself) {
    WriteFile(m_source + "a.jpg", "a");
    WriteFile(m_source + "sub/b.jpg", "b");
    const std::string inside = m_source + "merged/";
    fs::create_directories(inside);
    CRecorder progress;
    // Nor through a link to it.
    fs::create_directory_symlink(inside, m_source + "alias");
    const SCopyCounts counts = CopyFolder(m_source, inside, ECopyMode::Images, false, progress);
    EXPECT_EQ(counts.m_copied, 2);
    EXPECT_TRUE(fs::exists(inside + "sub/b.jpg"));
    EXPECT_FALSE(fs::exists(inside + "merged"));
    EXPECT_FALSE(fs::exists(inside + "alias"));
    EXPECT_TRUE(CMessageService::History().isEmpty());
}

TEST_F(CopyFolderTest, LinksInsideTheSourceAreCopiedAsTheirFilesAndOthersReported) {
    WriteFile(m_source + "real/a.jpg", "a");
    WriteFile(m_source + "real/deep/b.jpg", "b");
    WriteFile(m_root + "elsewhere/x.jpg", "x");
    fs::create_directory_symlink(m_source + "real", m_source + "Photo");
    fs::create_symlink(m_source + "real/a.jpg", m_source + "file.jpg");
    fs::create_directory_symlink("..", m_source + "real/deep/up");  // loops back to real/
    fs::create_directory_symlink(m_source, m_source + "self");
    fs::create_symlink(m_source + "nothing", m_source + "gone");
    fs::create_directory_symlink(m_root + "elsewhere", m_source + "out");
    fs::create_symlink(m_root + "elsewhere/x.jpg", m_source + "outfile.jpg");
    int asked = 0;
    CMessageService::SetScript([&](const CMessageService::Request& request) {
        if (request.kind == CMessageService::EKind::YesNo) ++asked;
        return int(CMessageService::IDNO);
    });

    CRecorder progress;
    const SCopyCounts counts = CopyFolder(m_source, m_target, ECopyMode::Images, false, progress);
    for (const char* file : {"Photo/a.jpg", "Photo/deep/b.jpg", "real/a.jpg", "real/deep/b.jpg"})
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(m_target + file))) << file;
    EXPECT_FALSE(fs::is_symlink(m_target + "Photo"));
    EXPECT_EQ(ReadFile(m_target + "Photo/deep/b.jpg"), "b");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(m_target + "file.jpg")));
    EXPECT_EQ(ReadFile(m_target + "file.jpg"), "a");
    for (const char* name : {"Photo/deep/up", "real/deep/up", "self", "gone", "out", "outfile.jpg"})
        EXPECT_FALSE(fs::exists(fs::symlink_status(m_target + name))) << name;
    EXPECT_EQ(counts.m_copied, 5);

    // Each link not followed is named with the stop icon, and the stop mark is left set
    // (the last entry is one), so the run does not report success.
    EXPECT_EQ(counts.m_failed, 6);
    std::vector<std::string> named;
    for (const auto& shown : CMessageService::History()) {
        if (shown.kind != CMessageService::EKind::MessageBox) continue;
        EXPECT_EQ(shown.icon, CMessageService::EIcon::Critical);
        named.push_back(shown.text.section(u'\n', 0, 0).toStdString());
        if (named.back() == m_source + "out") {
            EXPECT_TRUE(shown.text.contains(QString::fromStdString(m_root + "elsewhere")));
        }
    }
    std::sort(named.begin(), named.end());
    std::vector<std::string> links;
    for (const char* name : {"Photo/deep/up", "gone", "out", "outfile.jpg", "real/deep/up", "self"})
        links.push_back(m_source + name);
    EXPECT_EQ(named, links);
    EXPECT_EQ(asked, 5);
    EXPECT_TRUE(progress.StopMark());
}

TEST_F(CopyFolderTest, ModesLeaveOutTheirDatabaseFiles) {
    const char* names[] = {"Photo/0000000001/0000000000.jpg",
                           "PATIENT.BTR",
                           "patient1.btr",
                           "PATIENT2.BTR",
                           "CASE.BTR",
                           "CASEPA.BTR",
                           "CONDITION.BTR",
                           "doctor.btr",
                           "CUSTOMTBL.BTR",
                           "RESERVATION.BTR"};
    for (const char* name : names) WriteFile(m_source + name, name);
    CRecorder progress;

    CopyFolder(m_source, m_target, ECopyMode::CalyxUnconverted, false, progress);
    EXPECT_EQ(Snapshot(m_target).size(), 1u);
    EXPECT_TRUE(Copied("RESERVATION.BTR"));

    fs::remove_all(m_target);
    fs::create_directories(m_target);
    CopyFolder(m_source, m_target, ECopyMode::CalyxDatabase, true, progress);
    for (const char* name : {"Photo", "PATIENT.BTR", "patient1.btr", "PATIENT2.BTR"})
        EXPECT_FALSE(Copied(name));
    EXPECT_TRUE(Copied("CASE.BTR"));
    EXPECT_TRUE(Copied("doctor.btr"));

    // A database that needs no conversion is copied with its patient files and photos.
    fs::remove_all(m_target);
    fs::create_directories(m_target);
    CopyFolder(m_source, m_target, ECopyMode::CalyxDatabase, false, progress);
    EXPECT_EQ(Snapshot(m_target).size(), std::size(names));
}

TEST_F(CopyFolderTest, ANewerTargetIsKeptAndAnOlderOneReplaced) {
    WriteFile(m_source + "older.txt", "source");
    WriteFile(m_source + "newer.txt", "source");
    WriteFile(m_target + "older.txt", "target");
    WriteFile(m_target + "newer.txt", "target");
    SetModified(m_source + "older.txt", -100);
    SetModified(m_source + "newer.txt", -100);
    SetModified(m_target + "older.txt", -200);
    SetModified(m_target + "newer.txt", -50);
    const auto sourceTime = fs::last_write_time(m_source + "older.txt");

    CRecorder progress;
    const SCopyCounts counts = CopyFolder(m_source, m_target, ECopyMode::Images, false, progress);
    EXPECT_EQ(ReadFile(m_target + "older.txt"), "source");
    EXPECT_EQ(ReadFile(m_target + "newer.txt"), "target");
    EXPECT_EQ(counts.m_copied, 1);
    EXPECT_EQ(counts.m_kept, 1);
    // The copy carries the source's time, so copying again keeps it.
    EXPECT_EQ(fs::last_write_time(m_target + "older.txt"), sourceTime);
    EXPECT_EQ(CopyFolder(m_source, m_target, ECopyMode::Images, false, progress).m_copied, 0);
}

TEST_F(CopyFolderTest, AFailedCopyAsksBeforeGoingOnAndAClearedMarkCopiesAgain) {
    // A folder where a file should go makes that copy fail.
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) WriteFile(m_source + name, name);
    fs::create_directories(m_target + "b.txt/inside");
    SetModified(m_target + "b.txt", -1000);
    int asked = 0;
    bool stop = false;
    CMessageService::SetScript([&](const CMessageService::Request& request) {
        if (request.kind != CMessageService::EKind::YesNo) return int(CMessageService::IDOK);
        ++asked;
        return stop ? int(CMessageService::IDYES) : int(CMessageService::IDNO);
    });

    // No: the mark is cleared and the copy goes on with c and d.
    CRecorder progress;
    SCopyCounts counts = CopyFolder(m_source, m_target, ECopyMode::Images, false, progress);
    EXPECT_EQ(counts.m_failed, 1);
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(progress.StopMark());
    EXPECT_TRUE(Copied("c.txt") && Copied("d.txt"));
    const auto boxes = CMessageService::History();
    ASSERT_GE(boxes.size(), 2);
    EXPECT_TRUE(boxes.front().text.contains("b.txt"));
    EXPECT_EQ(boxes.front().icon, CMessageService::EIcon::Critical);
    EXPECT_EQ(boxes[1].text, StopCopyQuestion());

    // Yes: the rest of the folder is left, the mark stays, and a copy started with it set
    // does nothing.
    fs::remove(m_target + "a.txt");
    fs::remove(m_target + "c.txt");
    fs::remove(m_target + "d.txt");
    stop = true;
    counts = CopyFolder(m_source, m_target, ECopyMode::Images, false, progress);
    EXPECT_TRUE(Copied("a.txt"));
    EXPECT_FALSE(Copied("c.txt"));
    EXPECT_TRUE(progress.StopMark());
    EXPECT_EQ(CopyFolder(m_source, m_target, ECopyMode::Images, false, progress).m_copied, 0);

    // The next run starts with the mark cleared and copies what is left.
    fs::remove_all(m_target + "b.txt");
    progress.SetStopMark(false);
    counts = CopyFolder(m_source, m_target, ECopyMode::Images, false, progress);
    EXPECT_EQ(counts.m_copied, 3);
    EXPECT_EQ(counts.m_failed, 0);
}

TEST_F(CopyFolderTest, FoldersThatCannotBeListedOrWrittenStopTheCopy) {
    CRecorder progress;
    // A source folder that is not there has nothing to copy.
    EXPECT_EQ(CopyFolder(m_root + "absent/", m_target, ECopyMode::Images, false, progress).m_failed,
              0);
    EXPECT_FALSE(progress.StopMark());
    EXPECT_TRUE(CMessageService::History().isEmpty());

    // One that cannot be listed is a failed copy, not an empty one.
    WriteFile(m_root + "plain", "a file, not a folder");
    SCopyCounts counts =
        CopyFolder(m_root + "plain/", m_target, ECopyMode::Images, false, progress);
    EXPECT_EQ(counts.m_failed, 1);
    EXPECT_TRUE(progress.StopMark());
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(CMessageService::History().back().icon, CMessageService::EIcon::Critical);

    // A destination folder that is not there ends the folder at its first file, unasked.
    progress.SetStopMark(false);
    CMessageService::ClearHistory();
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) WriteFile(m_source + name, name);
    counts = CopyFolder(m_source, m_root + "gone/", ECopyMode::Images, false, progress);
    EXPECT_EQ(counts.m_failed, 1);
    EXPECT_TRUE(progress.StopMark());
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(CMessageService::History().back().kind, CMessageService::EKind::MessageBox);
}

TEST_F(ConvertTest, TheEmptyDatabaseArchiveUnpacksIntoOpenableEmptyTables) {
    SetProgramFolder(UNITA_PROGRAM_FOLDER);
    const std::string dest = m_root + "merged/Database/";
    fs::create_directories(dest);
    WriteFile(dest + "PHOTO.BTR", "stale");
    WriteFile(dest + "PATIENT1.BTR.tmpAb12Cd", "left by a killed unpack");
    ASSERT_EQ(UnpackEmptyDatabase(dest), 0);
    EXPECT_FALSE(fs::exists(dest + "PATIENT1.BTR.tmpAb12Cd"));
    for (const SBtrTableDef& def : AllBtrTables()) {
        auto table = MakeBtrTable(def.m_fileName, dest);
        ASSERT_EQ(table->Open(), 0) << def.m_fileName;
        EXPECT_EQ(table->FirstRecord(), recman::kEndOfFile) << def.m_fileName;
    }
    // Dated long ago, so every real database file counts as newer when copied over them.
    EXPECT_LT(fs::last_write_time(dest + "PATIENT1.BTR"),
              fs::file_time_type::clock::now() - std::chrono::hours(24 * 365));
    EXPECT_TRUE(CMessageService::History().isEmpty());

    // A double quote cannot travel in the command line: such a folder is refused rather
    // than read as the folder without it.
    fs::create_directories(m_root + "a\"b/");
    EXPECT_NE(UnpackEmptyDatabase(m_root + "a\"b/"), 0);
    EXPECT_FALSE(fs::exists(m_root + "ab"));
    EXPECT_FALSE(fs::exists(m_root + "a\"b/PATIENT1.BTR"));

    ASSERT_EQ(UnpackEmptyDatabase(m_root + "fresh/db/"), 0);
    EXPECT_EQ(ModeOf(m_root + "fresh"), privatefiles::FolderMode());
    EXPECT_EQ(ModeOf(m_root + "fresh/db"), privatefiles::FolderMode());

    SetProgramFolder(m_root + "nowhere/");
    EXPECT_EQ(UnpackEmptyDatabase(m_root + "other/"), kLhaCannotRead);
    EXPECT_FALSE(fs::exists(m_root + "other/PATIENT1.BTR"));
}

TEST(LhaArchiveTest, WrittenArchivesReadBackAndUnsafeNamesAreRefused) {
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString() + "/";
    std::string binary(70000, '\0');
    for (size_t i = 0; i < binary.size(); ++i) binary[i] = char(i * 7);
    ASSERT_TRUE(WriteLhaArchive(
        root + "a.lzh", {{"empty.dat", "", 946684800}, {"big.bin", binary, 946684800}}, nullptr));
    char output[300];
    const std::string command = "x -x1m1c1n1 \"" + root + "a.lzh\" \"" + root + "out dir/\"";
    ASSERT_EQ(Unlha(nullptr, command.c_str(), output, sizeof output), 0) << output;
    EXPECT_EQ(ReadFile(root + "out dir/big.bin"), binary);
    EXPECT_TRUE(fs::exists(root + "out dir/empty.dat"));
    EXPECT_EQ(fs::file_size(root + "out dir/empty.dat"), 0u);

    ASSERT_TRUE(WriteLhaArchive(root + "evil.lzh",
                                {{"fine.txt", "x", 0}, {"../escaped.txt", "x", 0}}, nullptr));
    const std::string evil = "x \"" + root + "evil.lzh\" \"" + root + "safe/\"";
    EXPECT_EQ(Unlha(nullptr, evil.c_str(), output, sizeof output), kLhaUnsafeEntry);
    EXPECT_FALSE(fs::exists(root + "escaped.txt"));
    EXPECT_FALSE(fs::exists(root + "safe/fine.txt"));  // nothing written from a refused archive

    EXPECT_EQ(Unlha(nullptr, "l archive", output, sizeof output), kLhaBadCommand);
    const std::string open = "x \"" + root + "a.lzh\" \"" + root + "q\"uoted/\"";
    EXPECT_EQ(Unlha(nullptr, open.c_str(), output, sizeof output), kLhaBadCommand);
    EXPECT_FALSE(fs::exists(root + "quoted"));
    WriteFile(root + "not.lzh", "this is no archive");
    const std::string garbage = "x \"" + root + "not.lzh\" \"" + root + "g/\"";
    EXPECT_EQ(Unlha(nullptr, garbage.c_str(), output, sizeof output), kLhaCannotRead);
}

}  // namespace
