// Tests of the master table merges: which side wins an entry both databases hold, the
// CUSTOMTBL code copy, the whole-file copies, the shared photo-set records, repeated runs,
// and the tables-only command's refusal.
#include "merger/tablemerge.h"

#include <algorithm>

#include "merger/tests/mergetestdb.h"
#include "merger/unitaids.h"

namespace unita {
namespace {

using namespace testdb;

class TableMergeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        CMessageService::ClearHistory();
        m_root = fs::path(m_dir.path().toStdString());
        CreateEmpty(Folder("xylo"));
        CreateEmpty(Folder("dest"));
    }

    std::string Folder(const char* name) const { return (m_root / name).string() + "/"; }
    QString Xylo() const { return QString::fromStdString(Folder("xylo")); }
    QString Dest() const { return QString::fromStdString(Folder("dest")); }

    // Writes a master record with the given texts at their offsets.
    void AddMaster(const char* side, const char* table,
                   std::initializer_list<std::pair<int, const char*>> texts) {
        auto t = MakeBtrTable(table, Folder(side));
        ASSERT_EQ(t->Open(), 0) << table;
        t->ClearData();
        for (const auto& [offset, text] : texts) std::strcpy(t->Data() + offset, text);
        ASSERT_EQ(t->Insert(), 0) << table << " " << side;
    }

    // The text at `offset` of the record with primary key `key` (zero-padded).
    std::string TextAt(const char* side, const char* table, const std::string& key, int offset) {
        auto t = MakeBtrTable(table, Folder(side));
        if (t->Open() != 0) return "<unopened>";
        char buffer[64] = {};
        std::memcpy(buffer, key.data(), key.size());
        t->SetKeyNumber(0);
        t->SetKey(buffer, t->PrimaryKeyLength());
        if (t->GetEqual() != 0) return "<missing>";
        return std::string(t->Data() + offset);
    }

    int Count(const char* side, const char* table) {
        auto t = MakeBtrTable(table, Folder(side));
        if (t->Open() != 0) return -1;
        int n = 0;
        for (int st = t->FirstRecord(); st == 0 && !t->IsEOF(); st = t->GetNext()) ++n;
        return n;
    }

    QTemporaryDir m_dir;
    fs::path m_root;
};

TEST_F(TableMergeTest, EntryBothHoldKeepsDestinationUnlessItsOptionOrForcedSaysXylo) {
    AddMaster("dest", "DOCTOR.BTR", {{0, "01"}, {3, "dest doctor"}});
    AddMaster("xylo", "DOCTOR.BTR", {{0, "01"}, {3, "xylo doctor"}});
    AddMaster("xylo", "DOCTOR.BTR", {{0, "02"}, {3, "only xylo"}});
    AddMaster("dest", "CASEPA.BTR", {{0, "1"}, {4, "dest group"}});
    AddMaster("xylo", "CASEPA.BTR", {{0, "1"}, {4, "xylo group"}});

    STableMergeOptions options;
    EXPECT_TRUE(MergeMasterTable(EMasterTable::Doctor, Xylo(), Dest(), false, options));
    EXPECT_EQ(TextAt("dest", "DOCTOR.BTR", "01", 3), "dest doctor");
    EXPECT_EQ(TextAt("dest", "DOCTOR.BTR", "02", 3), "only xylo");

    // The case option does not reach the basic tables, and the other way round.
    options.m_caseFromXylo = true;
    MergeMasterTable(EMasterTable::Doctor, Xylo(), Dest(), false, options);
    EXPECT_EQ(TextAt("dest", "DOCTOR.BTR", "01", 3), "dest doctor");
    MergeMasterTable(EMasterTable::CasePa, Xylo(), Dest(), false, options);
    EXPECT_EQ(TextAt("dest", "CASEPA.BTR", "1", 4), "xylo group");

    options = {};
    options.m_basicFromXylo = true;
    MergeMasterTable(EMasterTable::Doctor, Xylo(), Dest(), false, options);
    EXPECT_EQ(TextAt("dest", "DOCTOR.BTR", "01", 3), "xylo doctor");

    AddMaster("dest", "CONDITION.BTR", {{0, "05"}, {3, "dest condition"}});
    AddMaster("xylo", "CONDITION.BTR", {{0, "05"}, {3, "xylo condition"}});
    MergeMasterTable(EMasterTable::Condition, Xylo(), Dest(), true, STableMergeOptions{});
    EXPECT_EQ(TextAt("dest", "CONDITION.BTR", "05", 3), "xylo condition");
    EXPECT_EQ(Count("dest", "DOCTOR.BTR"), 2);
    EXPECT_TRUE(ShownTexts().empty());  // duplicates and replacements are not reported
}

TEST_F(TableMergeTest, ReferencesAlwaysKeepTheDestinationsEntries) {
    AddMaster("dest", "CASEREF.BTR", {{0, "7"}, {4, "dest ref"}});
    AddMaster("xylo", "CASEREF.BTR", {{0, "7"}, {4, "xylo ref"}});
    AddMaster("dest", "CASERREG.BTR", {{0, "7"}, {4, "1"}, {8, "2"}, {12, "d"}});
    AddMaster("xylo", "CASERREG.BTR", {{0, "7"}, {4, "1"}, {8, "2"}, {12, "x"}});
    AddMaster("xylo", "CASERREG.BTR", {{0, "7"}, {4, "1"}, {8, "3"}, {12, "x"}});

    STableMergeOptions both{true, true};
    MergeMasterTable(EMasterTable::CaseRef, Xylo(), Dest(), true, both);
    MergeMasterTable(EMasterTable::CaseRReg, Xylo(), Dest(), true, both);
    EXPECT_EQ(TextAt("dest", "CASEREF.BTR", "7", 4), "dest ref");
    std::string key(12, '\0');
    key.replace(0, 1, "7").replace(4, 1, "1").replace(8, 1, "2");
    EXPECT_EQ(TextAt("dest", "CASERREG.BTR", key, 12), "d");
    EXPECT_EQ(Count("dest", "CASERREG.BTR"), 2);
}

// Which tables each caller merges, and which it forces: the run that copies the Xylo files
// afterwards forces the basic tables but not the case tables and leaves the references to
// that copy; the tables-only command forces nothing and leaves the references alone.
TEST_F(TableMergeTest, CopiedRunForcesBasicTablesAndTablesOnlyForcesNothing) {
    std::string customKey(8, '\0');
    customKey.replace(0, 2, "AA").replace(3, 4, "0001");
    std::string caseKey(8, '\0');
    caseKey.replace(0, 1, "1").replace(4, 1, "1");
    // Both sides hold the same doctor, custom entry and case; only Xylo has a reference.
    const auto prepare = [this](const char* xylo, const char* dest) {
        CreateEmpty(Folder(xylo));
        CreateEmpty(Folder(dest));
        for (const char* side : {dest, xylo}) {
            const std::string text = std::string(side == xylo ? "xylo" : "dest") + " entry";
            AddMaster(side, "DOCTOR.BTR", {{0, "01"}, {3, text.c_str()}});
            AddMaster(side, "CUSTOMTBL.BTR", {{0, "AA"}, {3, "0001"}, {13, text.c_str()}});
            AddMaster(side, "CASE.BTR", {{0, "1"}, {4, "1"}, {8, text.c_str()}});
        }
        AddMaster(xylo, "CASEREF.BTR", {{0, "9"}, {4, "xylo only"}});
        return std::pair{QString::fromStdString(Folder(xylo)),
                         QString::fromStdString(Folder(dest))};
    };
    const auto checkBasicTablesFrom = [&](const char* dest, const char* winner) {
        EXPECT_EQ(TextAt(dest, "DOCTOR.BTR", "01", 3), winner);
        EXPECT_EQ(TextAt(dest, "CUSTOMTBL.BTR", customKey, 13), winner);
        EXPECT_EQ(TextAt(dest, "CASE.BTR", caseKey, 8), "dest entry");
        EXPECT_EQ(Count(dest, "CASEREF.BTR"), 0);
    };

    const auto [copiedXylo, copiedDest] = prepare("xylo1", "dest1");
    MergeTablesForCopiedRun(copiedXylo, copiedDest, STableMergeOptions{});
    checkBasicTablesFrom("dest1", "xylo entry");

    const auto [onlyXylo, onlyDest] = prepare("xylo2", "dest2");
    MergeTablesOnly(onlyXylo, onlyDest, STableMergeOptions{});
    checkBasicTablesFrom("dest2", "dest entry");
}

TEST_F(TableMergeTest, CustomTableRecordsCarryTheirCodeAtOffsetEight) {
    AddMaster("xylo", "CUSTOMTBL.BTR", {{0, "AA"}, {3, "0012"}, {13, "staff"}});
    MergeMasterTable(EMasterTable::CustomTbl, Xylo(), Dest(), false, STableMergeOptions{});
    std::string key(8, '\0');
    key.replace(0, 2, "AA").replace(3, 4, "0012");
    EXPECT_EQ(TextAt("dest", "CUSTOMTBL.BTR", key, 8), "0012");
    EXPECT_EQ(TextAt("dest", "CUSTOMTBL.BTR", key, 13), "staff");
}

TEST_F(TableMergeTest, ConvertedRunCopiesFilesAndSharedRecordsOnceAndRepeatsToTheSameResult) {
    AddMaster("xylo", "DOCTOR.BTR", {{0, "03"}, {3, "xylo doctor"}});
    AddMaster("dest", "DOCTOR.BTR", {{0, "03"}, {3, "dest doctor"}});
    AddRecord(Folder("xylo"), "XYPHOTOEX.BTR", 0, "0000000001", 's');
    AddRecord(Folder("xylo"), "XYPHOTOEXTEXT.BTR", 0, "0000000001", 't');
    AddRecord(Folder("xylo"), "XYPHOTOEX.BTR", 9, "0000000001", 'p');  // a patient's own
    WriteFile(m_root / "xylo" / "freetblname.dat", "free names");
    WriteFile(m_root / "dest" / "freetblname.dat", "old names");
    const std::string xyloText = ReadFile(m_root / "xylo" / "TEXTTBL.BTR");
    const auto sourceBefore = Snapshot(m_root / "xylo");

    MergeTablesForConvertedRun(Xylo(), Dest(), STableMergeOptions{});
    const std::string first = DumpAll(Folder("dest"));
    EXPECT_EQ(ReadFile(m_root / "dest" / "TEXTTBL.BTR"), xyloText);
    EXPECT_EQ(ReadFile(m_root / "dest" / "freetblname.dat"), "old names");  // 1040 unchecked
    EXPECT_EQ(RecordsOf(Folder("dest"), "XYPHOTOEX.BTR", 0).size(), 1u);
    EXPECT_EQ(RecordsOf(Folder("dest"), "XYPHOTOEXTEXT.BTR", 0).size(), 1u);
    EXPECT_TRUE(RecordsOf(Folder("dest"), "XYPHOTOEX.BTR", 9).empty());
    EXPECT_EQ(TextAt("dest", "DOCTOR.BTR", "03", 3), "dest doctor");

    MergeTablesForConvertedRun(Xylo(), Dest(), STableMergeOptions{});
    EXPECT_EQ(DumpAll(Folder("dest")), first);

    MergeTablesForConvertedRun(Xylo(), Dest(), STableMergeOptions{true, false});
    EXPECT_EQ(ReadFile(m_root / "dest" / "freetblname.dat"), "free names");
    EXPECT_EQ(TextAt("dest", "DOCTOR.BTR", "03", 3), "xylo doctor");
    EXPECT_EQ(Snapshot(m_root / "xylo"), sourceBefore);
}

TEST_F(TableMergeTest, WholeFileCopyFindsNamesInAnyCaseAndFailsQuietlyWhenMissing) {
    WriteFile(m_root / "xylo" / "FreeTblName.DAT", "names");
    WriteFile(m_root / "dest" / "FREETBLNAME.dat", "old");
    EXPECT_TRUE(CopyWholeFile(Xylo(), Dest(), QStringLiteral("freetblname.dat")));
    EXPECT_EQ(ReadFile(m_root / "dest" / "FREETBLNAME.dat"), "names");
    EXPECT_FALSE(fs::exists(m_root / "dest" / "freetblname.dat"));
    EXPECT_FALSE(CopyWholeFile(Xylo(), Dest(), QStringLiteral("nothing.dat")));
    EXPECT_TRUE(ShownTexts().empty());
}

TEST_F(TableMergeTest, MissingTableIsReportedAndTheOthersAreStillMerged) {
    fs::remove(m_root / "xylo" / "CASE.BTR");
    AddMaster("xylo", "DOCTOR.BTR", {{0, "04"}, {3, "xylo doctor"}});
    CQuietMergeProgress progress;
    const STablesOnlyResult result =
        MergeMasterTablesOnly(Xylo(), Dest(), STableMergeOptions{}, progress, nullptr);
    EXPECT_TRUE(result.m_ran);
    EXPECT_EQ(TextAt("dest", "DOCTOR.BTR", "04", 3), "xylo doctor");
    const std::vector<QString> shown = ShownTexts();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_TRUE(shown[0].contains(QStringLiteral("BO_OPEN")));
    EXPECT_EQ(shown[1], QStringLiteral("テーブルのマージが終了しました。"));
}

// A destination that cannot be written (a full disk, say) loses the table's records; the
// command must say so instead of only that it finished.
TEST_F(TableMergeTest, TablesThatCannotBeStoredAreReportedNotPassedOverInSilence) {
    AddMaster("xylo", "DOCTOR.BTR", {{0, "04"}, {3, "xylo doctor"}});
    recman::Shutdown();
    bool failWrites = false;
    recman::testing::SetFileEventHook([&failWrites](recman::testing::FileEvent event, const char*) {
        return !(failWrites && event == recman::testing::FileEvent::kSync);
    });
    failWrites = true;
    CQuietMergeProgress progress;
    const STablesOnlyResult result =
        MergeMasterTablesOnly(Xylo(), Dest(), STableMergeOptions{}, progress, nullptr);
    failWrites = false;
    recman::testing::SetFileEventHook({});

    EXPECT_TRUE(result.m_ran);
    EXPECT_EQ(TextAt("dest", "DOCTOR.BTR", "04", 3), "<missing>");
    const std::vector<QString> shown = ShownTexts();
    EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [](const QString& text) {
        return text.contains(QStringLiteral("DOCTOR_DB"));
    }));
    EXPECT_EQ(shown.back(), QStringLiteral("テーブルのマージが終了しました。"));

    // Once the disk works again, the same command stores the records for good.
    MergeMasterTablesOnly(Xylo(), Dest(), STableMergeOptions{}, progress, nullptr);
    recman::Shutdown();
    EXPECT_EQ(TextAt("dest", "DOCTOR.BTR", "04", 3), "xylo doctor");
}

TEST_F(TableMergeTest, TablesOnlyRefusesTheXyloFolderTypedWithoutSeparatorOrInOtherCase) {
    AddMaster("xylo", "DOCTOR.BTR", {{0, "04"}, {3, "xylo doctor"}});
    const auto before = Snapshot(m_root / "xylo");
    CQuietMergeProgress progress;
    QString typed = Xylo().toUpper();
    typed.chop(1);
    const STablesOnlyResult result =
        MergeMasterTablesOnly(Xylo(), typed, STableMergeOptions{}, progress, nullptr);
    EXPECT_FALSE(result.m_ran);
    EXPECT_EQ(result.m_refusedField, kIdDestDatabase);
    ASSERT_EQ(ShownTexts().size(), 1u);
    EXPECT_EQ(ShownTexts()[0],
              QStringLiteral("マージー先のデータベースフォルダがXylo8.0またCalyxのデータベースフォ"
                             "ルダと同じ場所ではマージできません。"));
    EXPECT_EQ(Snapshot(m_root / "xylo"), before);

    EXPECT_FALSE(
        MergeMasterTablesOnly(Xylo(), QString(), STableMergeOptions{}, progress, nullptr).m_ran);
}

}  // namespace
}  // namespace unita
