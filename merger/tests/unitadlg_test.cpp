// Tests of the merger's main window, offscreen: what start-up discovery shows, enabling by
// "Calyxのデータをコンバートする", the destination browse, the lists and their sorting, and a
// merge started from the window with its marks and its refusals.
#include "merger/unitadlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "merger/convert.h"
#include "merger/tests/mergetestdb.h"
#include "merger/unitaids.h"
#include "suite/text/cp932.h"
#include "suite/text/inifile.h"
#include "suite/tool/xlistctrl.h"

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }
QT_END_NAMESPACE

namespace {

using namespace unita;
namespace fs = std::filesystem;

class UnitaDlgTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_sources = new QTemporaryDir;
        testdb::BuildDemoPair(Source("calyx"), Source("xylo"), 12);
    }
    static void TearDownTestSuite() {
        delete s_sources;
        s_sources = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(m_work.isValid());
        m_windows = m_work.path().toStdString() + "/windows/";
        setenv("VELO_WINDIR", m_windows.c_str(), 1);
        fs::create_directories(m_windows);
        SetProgramFolder(UNITA_PROGRAM_FOLDER);
        // The products' settings files as the demo set-up writes them.
        CIniFile::WriteString(m_windows + "VeloV1.ini", "GLOBAL", "DATABASE",
                              QString::fromStdString(Source("calyx")));
        const QString xylo = QString::fromStdString(Source("xylo"));
        CIniFile::WriteString(m_windows + "Xylo8.ini", "DB_DIR", "DATABASE", xylo);
        CIniFile::WriteString(m_windows + "Xylo8.ini", "DB_DIR", "PHOTO", xylo + "Photo/");
        CIniFile::WriteString(m_windows + "Xylo8.ini", "DB_DIR", "REPORT", xylo + "Report/");
        CIniFile::WriteString(m_windows + "Xylo8.ini", "DB_DIR", "SLIDESHOW", xylo + "SlideShow/");
        CMessageService::ClearHistory();
        CMessageService::SetScript(
            [](const CMessageService::Request&) { return int(CMessageService::IDOK); });
    }
    void TearDown() override {
        CMessageService::SetScript(nullptr);
        CMessageService::SetPathScript(nullptr);
        unsetenv("VELO_WINDIR");
    }

    static std::string Source(const char* name) {
        return s_sources->path().toStdString() + "/" + name + "/";
    }
    QString Work(const QString& name) const { return m_work.path() + u'/' + name; }

    template <typename T = QWidget>
    static T* Control(const CUnitaDlg& dlg, int id) {
        T* control = dlg.findChild<T*>(QString::number(id));
        EXPECT_NE(control, nullptr) << id;
        return control;
    }
    static QStringList Column(const CUnitaDlg& dlg, int listId, int column) {
        QStringList texts;
        auto* list = Control<CXListCtrl>(dlg, listId);
        for (int r = 0; r < list->GetItemCount(); ++r) texts << list->GetItemText(r, column);
        return texts;
    }
    // A click with the mouse on a control of the shown window.
    static void Click(const CUnitaDlg& dlg, int id) {
        QTest::mouseClick(Control(dlg, id), Qt::LeftButton);
    }
    // Replaces a field's text as a person does: select all, then type.
    static void Type(QLineEdit* field, const QString& text) {
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(field, text);
    }
    // Scrolls a row into view and clicks it.
    static void ClickRow(CXListCtrl* list, int row) {
        list->scrollToItem(list->topLevelItem(row));
        const QRect rect = list->visualItemRect(list->topLevelItem(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    }
    void ChooseDestination(CUnitaDlg& dlg, const QString& folder) {
        CMessageService::SetPathScript(
            [folder](const CMessageService::Request&) { return folder; });
        Control<QPushButton>(dlg, kIdDestDatabaseBrowse)->click();
    }

    static QTemporaryDir* s_sources;
    QTemporaryDir m_work;
    std::string m_windows;
};

QTemporaryDir* UnitaDlgTest::s_sources = nullptr;

TEST_F(UnitaDlgTest, StartShowsTheDiscoveredFoldersAndEmptyMergeData) {
    CUnitaDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), "Calyx & Xylo データベースマージプログラム");
    EXPECT_EQ(Control<QLineEdit>(dlg, kIdCalyxDatabase)->text(),
              QString::fromStdString(Source("calyx")));
    EXPECT_EQ(Control<QLineEdit>(dlg, kIdCalyxImage)->text(),
              QString::fromStdString(Source("calyx") + "Photo/"));
    EXPECT_EQ(Control<QLineEdit>(dlg, kIdXyloSlideshow)->text(),
              QString::fromStdString(Source("xylo") + "SlideShow/"));
    EXPECT_TRUE(Control<QCheckBox>(dlg, kIdConvertCalyx)->isChecked());
    EXPECT_FALSE(Control(dlg, kIdConvert)->isEnabled());
    EXPECT_EQ(Control<CXListCtrl>(dlg, kIdMergeDataList)->GetItemCount(), 0);
    EXPECT_TRUE(CMessageService::History().isEmpty()) << "no database yet is no error";
    for (int id : {kIdCancel, kIdMergeStart, kIdCombine, kIdProgress, kIdStatus, kIdMatchById,
                   kIdPointCalyxToMerged, kIdPointXyloToMerged}) {
        Control(dlg, id);
    }
}

TEST_F(UnitaDlgTest, ConvertBoxEnablesTheCalyxAndXyloCommands) {
    CUnitaDlg dlg;
    const int governed[] = {kIdCalyxLoad,
                            kIdCalyxList,
                            kIdMatchById,
                            kIdMatchByIdAndName,
                            kIdMatchByNameAndBirth,
                            kIdBirthDateXylo,
                            kIdCommentXylo,
                            kIdGuardianXylo,
                            kIdBasicTablesXylo,
                            kIdCaseTablesXylo,
                            kIdXyloList,
                            kIdMergeSelected,
                            kIdXyloLoad,
                            kIdMergeTablesOnly};
    Control<QCheckBox>(dlg, kIdConvertCalyx)->setChecked(false);
    for (int id : governed) EXPECT_FALSE(Control(dlg, id)->isEnabled()) << id;
    for (int id : {kIdMergeStart, kIdDestDatabase, kIdDestDatabaseBrowse, kIdCombine}) {
        EXPECT_TRUE(Control(dlg, id)->isEnabled()) << id;
    }
    Control<QCheckBox>(dlg, kIdConvertCalyx)->setChecked(true);
    for (int id : governed) EXPECT_TRUE(Control(dlg, id)->isEnabled()) << id;
}

TEST_F(UnitaDlgTest, DestinationBrowseFillsTheFourFoldersAndTypingRefreshesTheMergeData) {
    CUnitaDlg dlg;
    Control<QLineEdit>(dlg, kIdDestReport)->setText("/kept/report/");
    ChooseDestination(dlg, Work("New"));
    EXPECT_EQ(Control<QLineEdit>(dlg, kIdDestDatabase)->text(), Work("New/Database/"));
    EXPECT_EQ(Control<QLineEdit>(dlg, kIdDestImage)->text(), Work("New/Photo/"));
    EXPECT_EQ(Control<QLineEdit>(dlg, kIdDestReport)->text(), "/kept/report/");
    EXPECT_EQ(Control<QLineEdit>(dlg, kIdDestSlideshow)->text(), Work("New/SlideShow/"));

    // A cancelled browse changes nothing.
    CMessageService::SetScript(
        [](const CMessageService::Request&) { return int(CMessageService::IDCANCEL); });
    Control<QPushButton>(dlg, kIdXyloImageBrowse)->click();
    EXPECT_EQ(Control<QLineEdit>(dlg, kIdXyloImage)->text(),
              QString::fromStdString(Source("xylo") + "Photo/"));

    // Typing the Calyx database folder into the destination field lists its patients.
    Control<QLineEdit>(dlg, kIdDestDatabase)->setText(QString::fromStdString(Source("calyx")));
    EXPECT_EQ(Control<CXListCtrl>(dlg, kIdMergeDataList)->GetItemCount(), 12);
    Control<QLineEdit>(dlg, kIdDestDatabase)->setText(Work("nothing here"));
    EXPECT_EQ(Control<CXListCtrl>(dlg, kIdMergeDataList)->GetItemCount(), 0);
}

TEST_F(UnitaDlgTest, ListsLoadAndSortByColumnBothWays) {
    CUnitaDlg dlg;
    Control<QPushButton>(dlg, kIdCalyxLoad)->click();
    Control<QPushButton>(dlg, kIdXyloLoad)->click();
    EXPECT_EQ(Control<CXListCtrl>(dlg, kIdCalyxList)->GetItemCount(), 12);
    auto* xylo = Control<CXListCtrl>(dlg, kIdXyloList);
    ASSERT_GT(xylo->GetItemCount(), 3);
    EXPECT_FALSE(dlg.CalyxNeedsConversion());
    for (const QString& sex : Column(dlg, kIdXyloList, 3)) EXPECT_TRUE(sex == "M" || sex == "F");

    QStringList kana = Column(dlg, kIdXyloList, 1);
    xylo->header()->sectionClicked(1);
    QStringList ascending = kana;
    std::stable_sort(ascending.begin(), ascending.end(), [](const QString& a, const QString& b) {
        return QStringToCp932(a) < QStringToCp932(b);
    });
    EXPECT_EQ(Column(dlg, kIdXyloList, 1), ascending);
    // Rows move whole: each row still carries its own identifier.
    const QStringList ids = Column(dlg, kIdXyloList, 0);
    xylo->header()->sectionClicked(1);
    QStringList descending = Column(dlg, kIdXyloList, 1);
    std::reverse(descending.begin(), descending.end());
    EXPECT_EQ(descending, ascending);
    xylo->header()->sectionClicked(0);  // another column starts ascending again
    QStringList sortedIds = ids;
    std::sort(sortedIds.begin(), sortedIds.end(), [](const QString& a, const QString& b) {
        return QStringToCp932(a) < QStringToCp932(b);
    });
    EXPECT_EQ(Column(dlg, kIdXyloList, 0), sortedIds);
}

TEST_F(UnitaDlgTest, MergeFromTheWindowMarksEveryXyloRowAndShowsTheMergedPatients) {
    CUnitaDlg dlg;
    dlg.show();
    Control<QPushButton>(dlg, kIdCalyxLoad)->click();
    Control<QPushButton>(dlg, kIdXyloLoad)->click();
    Control<CXListCtrl>(dlg, kIdXyloList)->header()->sectionClicked(2);
    ChooseDestination(dlg, Work("M"));
    Control<QCheckBox>(dlg, kIdPointCalyxToMerged)->setChecked(true);
    Control<QPushButton>(dlg, kIdMergeStart)->click();

    EXPECT_EQ(Control<QLabel>(dlg, kIdStatus)->text(), "マージ完了しました。");
    EXPECT_EQ(Control<QProgressBar>(dlg, kIdProgress)->value(), 100);
    const int rows = Control<CXListCtrl>(dlg, kIdXyloList)->GetItemCount();
    for (int r = 0; r < rows; ++r) EXPECT_EQ(dlg.XyloRowMark(r), ERowMark::Success) << r;
    EXPECT_GE(Control<CXListCtrl>(dlg, kIdMergeDataList)->GetItemCount(), 12);
    EXPECT_EQ(CIniFile::ReadString(m_windows + "VeloV1.ini", "GLOBAL", "DATABASE"),
              Work("M/Database/"));
}

TEST_F(UnitaDlgTest, RefusedDestinationGetsTheFocusWithItsTextSelected) {
    CUnitaDlg dlg;
    dlg.show();
    ChooseDestination(dlg, Work("R"));
    auto* image = Control<QLineEdit>(dlg, kIdDestImage);
    image->setText(QString::fromStdString(Source("xylo") + "PHOTO").toLower());
    bool waitCursorOverTheBox = false;
    CMessageService::SetScript([&waitCursorOverTheBox](const CMessageService::Request&) {
        waitCursorOverTheBox = QApplication::overrideCursor() != nullptr;
        return int(CMessageService::IDOK);
    });
    Control<QPushButton>(dlg, kIdMergeStart)->click();
    EXPECT_FALSE(waitCursorOverTheBox);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    ASSERT_FALSE(CMessageService::History().isEmpty());
    EXPECT_EQ(
        CMessageService::History().last().text,
        "マージー先の画像フォルダがXyloまたはCalyxの画像フォルダと同じ場所ではマージできません。");
    EXPECT_EQ(dlg.focusWidget(), image);
    EXPECT_EQ(image->selectedText(), image->text());
    EXPECT_FALSE(fs::exists(Work("R").toStdString()));
}

TEST_F(UnitaDlgTest, MissingCalyxFolderIsRefusedOnceWithTheFocusOnItsField) {
    CUnitaDlg dlg;
    dlg.show();
    auto* calyx = Control<QLineEdit>(dlg, kIdCalyxDatabase);
    calyx->setText(Work("mistyped"));
    ChooseDestination(dlg, Work("R"));
    CMessageService::ClearHistory();
    Control<QPushButton>(dlg, kIdMergeStart)->click();
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_TRUE(CMessageService::History().last().text.startsWith("Calyxのデータベースフォルダ"));
    EXPECT_EQ(dlg.focusWidget(), calyx);
    EXPECT_FALSE(fs::exists(Work("R").toStdString()));
}

// The Xylo list names the patients whose records the merges take from the Xylo database
// folder as typed. A list loaded from another folder is loaded again by マージ開始, and
// refused by 選択患者のみマージ, whose selection a reload would lose.
TEST_F(UnitaDlgTest, AXyloListLoadedFromAnotherFolderIsReloadedOrRefused) {
    const QString first = QString::fromStdString(Source("xylo"));
    const std::string second = Work("xylo2").toStdString() + "/";
    fs::copy(Source("xylo"), second, fs::copy_options::recursive);
    testdb::AddPatient(second, testdb::SPatient(900, "X900", "別人"));
    CUnitaDlg dlg;
    dlg.show();
    auto* field = Control<QLineEdit>(dlg, kIdXyloDatabase);
    Click(dlg, kIdXyloLoad);
    ASSERT_FALSE(Column(dlg, kIdXyloList, 0).contains("X900"));

    Type(field, QString::fromStdString(second));
    ASSERT_EQ(field->text(), QString::fromStdString(second));
    ChooseDestination(dlg, Work("M"));
    Click(dlg, kIdMergeStart);
    EXPECT_EQ(Control<QLabel>(dlg, kIdStatus)->text(), "マージ完了しました。");
    const int added = Column(dlg, kIdXyloList, 0).indexOf("X900");
    EXPECT_GE(added, 0);
    EXPECT_TRUE(Column(dlg, kIdMergeDataList, 0).contains("X900"));

    // The list now comes from the second folder; the first is typed again.
    ASSERT_GE(added, 0);
    auto* xylo = Control<CXListCtrl>(dlg, kIdXyloList);
    ClickRow(xylo, added);
    ASSERT_TRUE(xylo->topLevelItem(added)->isSelected());
    Type(field, first);
    const auto merged = testdb::Snapshot(Work("M").toStdString());
    CMessageService::ClearHistory();
    Click(dlg, kIdMergeSelected);
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(CMessageService::History().last().text,
              "Xyloのデータベースフォルダが読み込んだときと違います。「読み込み」で患者一覧を"
              "読み込み直してから、マージする患者を選んでください。");
    EXPECT_EQ(dlg.focusWidget(), field);
    EXPECT_EQ(testdb::Snapshot(Work("M").toStdString()), merged);
    EXPECT_TRUE(xylo->topLevelItem(added)->isSelected());
}

// A copy of the demo practice database in the old format: three patients in PATIENT.BTR
// and no current version in its settings.
std::string MakeOldFormatCalyx(const std::string& from, const std::string& calyx) {
    fs::copy(from, calyx, fs::copy_options::recursive);
    fs::remove(unita::GlobalSettingPath(QString::fromStdString(calyx)).c_str());
    COldPatientTable old(calyx);
    EXPECT_EQ(old.Open(), 0);
    for (int i = 1; i <= 3; ++i) {
        old.ClearData();
        testdb::Put(old.Rec().PatientID, testdb::Id10(i));
        testdb::Put(old.Rec().ChartNo, "OLD" + std::to_string(i));
        testdb::Put(old.Rec().Sex, "1");
        EXPECT_EQ(old.Insert(), 0);
    }
    return calyx;
}

TEST_F(UnitaDlgTest, OldFormatCalyxIsListedFromItsOldFileAndConvertedByTheButton) {
    const std::string calyx = MakeOldFormatCalyx(Source("calyx"), Work("old").toStdString() + "/");
    CUnitaDlg dlg;
    Control<QLineEdit>(dlg, kIdCalyxDatabase)->setText(QString::fromStdString(calyx));
    Control<QPushButton>(dlg, kIdCalyxLoad)->click();
    EXPECT_TRUE(dlg.CalyxNeedsConversion());
    EXPECT_EQ(Column(dlg, kIdCalyxList, 0), (QStringList{"OLD1", "OLD2", "OLD3"}));
    EXPECT_EQ(Column(dlg, kIdCalyxList, 3), (QStringList{"M", "M", "M"}));
    ASSERT_TRUE(Control(dlg, kIdConvert)->isEnabled());

    dlg.show();
    Click(dlg, kIdConvert);
    EXPECT_EQ(Control<QLabel>(dlg, kIdStatus)->text(), "コンバート成功");
    EXPECT_FALSE(Control(dlg, kIdConvert)->isEnabled());
    EXPECT_FALSE(unita::CalyxNeedsConversion(QString::fromStdString(calyx)));
    const PatientRows converted =
        LoadPatientRows(QString::fromStdString(calyx), EPatientFile::Current, false);
    ASSERT_EQ(converted.size(), 3u);
    EXPECT_EQ(converted[2].m_patientId, "OLD3");

    // From now on the practice keeps its patients in PATIENT1.BTR: a merge in the same
    // session copies that file, with a patient registered since, instead of converting the
    // old file again.
    EXPECT_FALSE(dlg.CalyxNeedsConversion());
    testdb::AddPatient(calyx, testdb::SPatient(50, "NEW50", "新患"));
    ChooseDestination(dlg, Work("M"));
    Click(dlg, kIdMergeStart);
    EXPECT_EQ(Control<QLabel>(dlg, kIdStatus)->text(), "マージ完了しました。");
    const QStringList merged = Column(dlg, kIdMergeDataList, 0);
    for (const char* id : {"OLD1", "OLD2", "OLD3", "NEW50"}) EXPECT_TRUE(merged.contains(id)) << id;
    EXPECT_FALSE(Control(dlg, kIdConvert)->isEnabled());
}

// The convert button empties PATIENT1.BTR before refilling it from the Calyx list: a folder
// typed after the list was loaded is checked first, and a current-format one left alone.
TEST_F(UnitaDlgTest, ConvertAfterTheFolderWasChangedLeavesACurrentDatabaseAlone) {
    const std::string old = MakeOldFormatCalyx(Source("calyx"), Work("old").toStdString() + "/");
    const std::string current = Work("current").toStdString() + "/";
    fs::copy(Source("calyx"), current, fs::copy_options::recursive);
    const auto before = testdb::Snapshot(current);
    CUnitaDlg dlg;
    Control<QLineEdit>(dlg, kIdCalyxDatabase)->setText(QString::fromStdString(old));
    Control<QPushButton>(dlg, kIdCalyxLoad)->click();
    ASSERT_TRUE(Control(dlg, kIdConvert)->isEnabled());

    Control<QLineEdit>(dlg, kIdCalyxDatabase)->setText(QString::fromStdString(current));
    Control<QPushButton>(dlg, kIdConvert)->click();
    EXPECT_EQ(testdb::Snapshot(current), before);
    EXPECT_FALSE(Control(dlg, kIdConvert)->isEnabled());
    EXPECT_EQ(Control<CXListCtrl>(dlg, kIdCalyxList)->GetItemCount(), 12);
}

// The run must know the format of the Calyx database it copies, though the Calyx list was
// never loaded or was loaded from another folder: else the old patients would be copied
// unconverted into a destination then marked as current.
TEST_F(UnitaDlgTest, MergeOfAnOldFormatCalyxNeverLoadedConvertsItsPatients) {
    const std::string calyx = MakeOldFormatCalyx(Source("calyx"), Work("old").toStdString() + "/");
    CUnitaDlg dlg;
    dlg.show();
    Control<QPushButton>(dlg, kIdCalyxLoad)->click();  // the current-format demo folder
    ASSERT_FALSE(dlg.CalyxNeedsConversion());
    Control<QLineEdit>(dlg, kIdCalyxDatabase)->setText(QString::fromStdString(calyx));
    ChooseDestination(dlg, Work("M"));
    Control<QPushButton>(dlg, kIdMergeStart)->click();

    EXPECT_EQ(Control<QLabel>(dlg, kIdStatus)->text(), "マージ完了しました。");
    EXPECT_TRUE(dlg.CalyxNeedsConversion());
    EXPECT_EQ(Column(dlg, kIdCalyxList, 0), (QStringList{"OLD1", "OLD2", "OLD3"}));
    const QStringList merged = Column(dlg, kIdMergeDataList, 0);
    for (const char* id : {"OLD1", "OLD2", "OLD3"}) EXPECT_TRUE(merged.contains(id)) << id;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
