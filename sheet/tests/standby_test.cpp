// Tests of the standby list: which entries count as booked, the cancelled and not-kept
// reservations of a range, numbering and editing entries, and the standby dialog driven
// through its controls (deleting several rows, handing an entry over in both modes, the
// remembered check box, the filter pickers, the lists following another workstation's
// changes) and the entry dialog's checks before saving.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <filesystem>

#include "recman/recman.h"
#include "sheet/reservation.h"
#include "sheet/sheetsettings.h"
#include "sheet/standby.h"
#include "sheet/standbydlg.h"
#include "sheet/standbyentrydlg.h"
#include "sheet/tests/sheetfixture.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/testsupport/records.h"
#include "suite/testsupport/tablepeer.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/tablewatcher.h"
#include "suite/tool/xlistctrl.h"

namespace velo::sheet {
namespace {

using Request = CMessageService::Request;
constexpr char kYamada[] = "0000000001";
constexpr char kSato[] = "0000000002";

template <typename T>
T* Control(QWidget* dialog, int id) {
    T* control = dialog->findChild<T*>(QString::number(id));
    EXPECT_NE(control, nullptr) << "control " << id;
    return control;
}

class StandbyTest : public SheetAppTest {
protected:
    explicit StandbyTest(ETestEngine engine = ETestEngine::kEmbedded)
        : SheetAppTest("standby_test", "standbytest", engine) {}

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(SheetAppTest::SetUp());
        CDate::SetTodayForTesting(2024, 4, 20);
        CMessageService::ClearHistory();
        Answer(CMessageService::IDYES);
        AddPatient(kYamada, "山田太郎", "", "A001");
        AddPatient(kSato, "佐藤花子", "", "B002");
    }
    static void Answer(int answer) {
        CMessageService::SetScript([answer](const Request&) { return answer; });
    }

    void AddReservation(const char* no, const char* patient, const char* day, int start, int end,
                        ResStatus status, const char* reason = "") {
        InsertTestRecord<CReservationDB>(m_db, [&](tagRESERVATIONDB& r) {
            SetField(r.ReservationNo, no);
            SetField(r.PatientID, patient);
            SetField(r.ResDate, day);
            SetTimeField(r.StartTime, start);
            SetTimeField(r.EndTime, end);
            r.Status = static_cast<uint8_t>(status);
            SetCp932Field(r.StatusReason, sizeof r.StatusReason, QString::fromUtf8(reason));
        });
    }
    void AddStandby(int no, const char* patient, const char* from, const char* to,
                    const char* reservationNo = "", const char* memo = "") {
        InsertTestRecord<CReservationStandbyDB>(m_db, [&](tagRESERVATIONSTANDBYDB& r) {
            SetField(r.StandbyNo, StandbyNoText(no).c_str());
            SetField(r.PatientID, patient);
            SetField(r.DateFrom, from);
            SetField(r.DateTo, to);
            SetField(r.TimeFrom, "0930");
            SetField(r.TimeTo, "1200");
            SetField(r.ReservationNo, reservationNo);
            SetCp932Field(r.Memo, sizeof r.Memo, QString::fromUtf8(memo));
        });
    }
    std::vector<int> StoredStandbyNumbers() {
        std::vector<int> numbers;
        CReservationStandbyDB table;
        EXPECT_EQ(table.SetAssociatedDB(&m_db), 0);
        for (int st = table.GetFIRST(); st == 0; st = table.GetNEXT())
            numbers.push_back(std::atoi(table.m_Data.StandbyNo));
        return numbers;
    }
    std::vector<int> StandbyRowNumbers(const std::string& from = "20240401",
                                       const std::string& to = "20240430",
                                       bool showBooked = false) {
        std::vector<StandbyRow> rows;
        EXPECT_EQ(LoadStandbyRows(&m_db, from, to, showBooked, &rows), 0);
        std::vector<int> numbers;
        for (const StandbyRow& row : rows) numbers.push_back(row.standbyNo);
        return numbers;
    }
    static std::vector<int> ListNumbers(CXListCtrl* list) {
        std::vector<int> numbers;
        for (int row = 0; row < list->GetItemCount(); ++row)
            numbers.push_back(static_cast<int>(list->GetItemData(row)));
        return numbers;
    }
};

TEST_F(StandbyTest, AnEntryCountsAsBookedOnlyWhileItsReservationStandsForTheSamePatient) {
    AddReservation("0000000010", kYamada, "20240425", 1000, 1030, ResStatus::Booked);
    AddReservation("0000000011", kYamada, "20240426", 1000, 1030, ResStatus::CancelledWithNotice);
    AddReservation("0000000012", kYamada, "20240427", 1000, 1030, ResStatus::Revoked);
    AddReservation("0000000013", kSato, "20240428", 1000, 1030, ResStatus::Booked);
    AddStandby(1, kYamada, "20240422", "20240424", "0000000010", "午前希望");
    AddStandby(2, kYamada, "20240422", "20240424", "0000000011");
    AddStandby(3, kYamada, "20240422", "20240424", "0000000012");
    AddStandby(4, kYamada, "20240422", "20240424", "0000000013");  // another patient's
    AddStandby(5, kYamada, "20240422", "20240424", "0000000099");  // gone

    EXPECT_EQ(StandbyRowNumbers(), (std::vector<int>{2, 3, 4, 5}));

    std::vector<StandbyRow> rows;
    ASSERT_EQ(LoadStandbyRows(&m_db, "20240401", "20240430", true, &rows), 0);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_TRUE(rows[0].booked);
    EXPECT_EQ(rows[0].bookedTime, QStringLiteral(" 4月25日 10:00-10:30"));
    EXPECT_EQ(rows[0].wished, QStringLiteral(" 4月22日 09:30 ～  4月24日 12:00"));
    EXPECT_EQ(rows[0].chartNo, QStringLiteral("A001"));
    EXPECT_EQ(rows[0].name, QStringLiteral("山田太郎"));
    EXPECT_EQ(rows[0].memo, QStringLiteral("午前希望"));
    for (size_t i = 1; i < rows.size(); ++i) {
        EXPECT_FALSE(rows[i].booked) << "row " << i;
        EXPECT_TRUE(rows[i].bookedTime.isEmpty()) << "row " << i;
    }
}

TEST_F(StandbyTest, TheStandbyFilterKeepsEntriesWhoseWishedDaysMeetItsRange) {
    AddStandby(1, kYamada, "20240401", "20240409");
    AddStandby(2, kYamada, "20240405", "20240412");  // ends on the first day
    AddStandby(3, kYamada, "20240412", "20240420");  // inside
    AddStandby(4, kYamada, "20240420", "20240430");  // starts on the last day
    AddStandby(5, kYamada, "20240421", "20240430");
    AddStandby(6, "0000000077", "20240412", "20240420");  // no such patient
    EXPECT_EQ(StandbyRowNumbers("20240410", "20240420"), (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(StandbyRowNumbers("20240410", "20240411"), (std::vector<int>{2}));
}

TEST_F(StandbyTest, CancelledPatientsAreTheCancelledAndTheNotKeptReservationsOfTheRange) {
    AddReservation("0000000001", kSato, "20240415", 900, 930, ResStatus::CancelledLastMinute,
                   "体調不良");
    AddReservation("0000000002", kYamada, "20240418", 1000, 1045, ResStatus::Booked);  // past
    AddReservation("0000000003", kYamada, "20240416", 1400, 1430, ResStatus::CancelledWithNotice);
    AddReservation("0000000004", kYamada, "20240422", 1000, 1030, ResStatus::Booked);  // ahead
    AddReservation("0000000005", kYamada, "20240417", 1000, 1030, ResStatus::Came);
    AddReservation("0000000006", kYamada, "20240417", 1100, 1130, ResStatus::Changed);
    AddReservation("0000000007", kYamada, "20240419", 1100, 1130, ResStatus::Revoked);
    AddReservation("0000000008", "", "20240417", 1200, 1300, ResStatus::Booked);  // blocked time
    AddReservation("0000000009", "0000000055", "20240417", 1200, 1300, ResStatus::Revoked);
    AddReservation("0000000010", kYamada, "20240410", 1000, 1030, ResStatus::Revoked);  // before

    std::vector<CancelledRow> rows;
    ASSERT_EQ(LoadCancelledRows(&m_db, "20240415", "20240425", false, &rows), 0);
    std::vector<std::string> numbers;
    for (const CancelledRow& row : rows) numbers.push_back(row.reservationNo);
    // By patient, then day and time.
    EXPECT_EQ(numbers, (std::vector<std::string>{"0000000003", "0000000002", "0000000007",
                                                 "0000000001"}));
    EXPECT_EQ(rows[1].time, QStringLiteral("＊2024年  4月18日 10:00-10:45  45分間"));
    EXPECT_TRUE(rows[1].noShow);
    EXPECT_EQ(rows[3].time, QStringLiteral("2024年  4月15日 09:00-09:30  30分間"));
    EXPECT_EQ(rows[3].reason, QStringLiteral("体調不良"));
    EXPECT_EQ(rows[3].chartNo, QStringLiteral("B002"));
    EXPECT_FALSE(rows[3].noShow);

    ASSERT_EQ(LoadCancelledRows(&m_db, "20240415", "20240425", true, &rows), 0);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].reservationNo, "0000000002");
}

TEST_F(StandbyTest, ANewEntryTakesTheLargestNumberPlusOneAndAnEditKeepsItsReservation) {
    AddStandby(3, kYamada, "20240401", "20240402");
    AddStandby(7, kYamada, "20240401", "20240402", "0000000042");
    StandbyEntry entry;
    entry.patientId = kSato;
    entry.dateFrom = "20240501";
    entry.dateTo = "20240503";
    entry.timeFrom = 930;
    entry.timeTo = 1415;
    entry.memo = QStringLiteral("夕方以外");
    int saved = 0;
    ASSERT_EQ(SaveStandbyEntry(&m_db, entry, &saved), 0);
    EXPECT_EQ(saved, 8);

    StandbyEntry read;
    ASSERT_EQ(ReadStandbyEntry(&m_db, 8, &read), 0);
    EXPECT_EQ(read.patientId, kSato);
    EXPECT_EQ(read.dateFrom, "20240501");
    EXPECT_EQ(read.dateTo, "20240503");
    EXPECT_EQ(read.timeFrom, 930);
    EXPECT_EQ(read.timeTo, 1415);
    EXPECT_EQ(read.memo, QStringLiteral("夕方以外"));

    ASSERT_EQ(ReadStandbyEntry(&m_db, 7, &read), 0);
    read.patientId = kSato;
    read.reservationNo.clear();  // the dialog never clears it; the stored one must stay
    ASSERT_EQ(SaveStandbyEntry(&m_db, read), 0);
    CReservationStandbyDB table;
    ASSERT_EQ(table.SetAssociatedDB(&m_db), 0);
    ASSERT_EQ(table.GetReservationStandbyData("0000000007"), 0);
    EXPECT_STREQ(table.m_Data.PatientID, kSato);
    EXPECT_STREQ(table.m_Data.ReservationNo, "0000000042");
    EXPECT_EQ(StoredStandbyNumbers(), (std::vector<int>{3, 7, 8}));
}

TEST_F(StandbyTest, DeletingRemovesEveryEntryOrNone) {
    for (int no = 1; no <= 4; ++no) AddStandby(no, kYamada, "20240420", "20240421");
    ASSERT_EQ(DeleteStandbyEntries(&m_db, {4, 2}), 0);
    EXPECT_EQ(StoredStandbyNumbers(), (std::vector<int>{1, 3}));
    // The second number does not exist: the first deletion is rolled back with it.
    EXPECT_NE(DeleteStandbyEntries(&m_db, {3, 9}), 0);
    EXPECT_EQ(StoredStandbyNumbers(), (std::vector<int>{1, 3}));
}

TEST_F(StandbyTest, TheDialogDeletesSelectedRowsAfterAYesAndNothingFromAListItCouldNotRead) {
    for (int no = 1; no <= 5; ++no) AddStandby(no, kYamada, "20240420", "20240421");
    CStandbyDlg dialog(&m_db, CStandbyDlg::kModeSheet);
    auto* list = Control<CXListCtrl>(&dialog, CStandbyDlg::kIdStandbyList);
    ASSERT_EQ(list->GetItemCount(), 5);
    for (int row : {0, 2, 4}) list->topLevelItem(row)->setSelected(true);
    auto* remove = Control<QPushButton>(&dialog, CStandbyDlg::kIdDelete);
    EXPECT_TRUE(remove->isEnabled());
    EXPECT_FALSE(Control<QPushButton>(&dialog, CStandbyDlg::kIdEdit)->isEnabled());

    Answer(CMessageService::IDNO);
    remove->click();
    EXPECT_EQ(list->GetItemCount(), 5);
    EXPECT_EQ(StoredStandbyNumbers().size(), 5u);

    Answer(CMessageService::IDYES);
    remove->click();
    EXPECT_EQ(ListNumbers(list), (std::vector<int>{2, 4}));
    EXPECT_EQ(StoredStandbyNumbers(), (std::vector<int>{2, 4}));
    EXPECT_EQ(CMessageService::History().last().text,
              QStringLiteral("選択している項目を削除してもよろしいですか？"));

    // The patient file cut short: opening says once which file could not be read, though
    // both lists failed on it; each list keeps a notice, and nothing is deleted, edited or
    // booked from what was read. Moving a filter is a new load, which says so again.
    recman::Shutdown();
    const std::filesystem::path patients = std::filesystem::path(m_folder) / "PATIENT1.BTR";
    std::filesystem::resize_file(patients, std::filesystem::file_size(patients) / 4);
    CMessageService::ClearHistory();
    CStandbyDlg damaged(&m_db, CStandbyDlg::kModeSheet);
    damaged.show();
    const QString failed = QStringLiteral("PATIENT1.BTR のデータを読み込めませんでした");
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_TRUE(CMessageService::History()[0].text.contains(failed));
    EXPECT_TRUE(CMessageService::History()[0].text.contains(QStringLiteral("velodb check")));
    EXPECT_TRUE(damaged.StandbyReadNotice()->isVisible());
    EXPECT_TRUE(damaged.StandbyReadNotice()->text().contains(QStringLiteral("PATIENT1.BTR")));
    EXPECT_TRUE(damaged.CancelledReadNotice()->isVisible());
    auto* damagedList = Control<CXListCtrl>(&damaged, CStandbyDlg::kIdStandbyList);
    for (int row = 0; row < damagedList->GetItemCount(); ++row)
        damagedList->topLevelItem(row)->setSelected(true);
    for (int id : {CStandbyDlg::kIdDelete, CStandbyDlg::kIdEdit, CStandbyDlg::kIdBook})
        EXPECT_FALSE(Control<QPushButton>(&damaged, id)->isEnabled()) << id;
    auto* until = Control<QDateEdit>(&damaged, CStandbyDlg::kIdStandbyTo);
    until->setFocus();
    until->setCurrentSection(QDateTimeEdit::DaySection);
    QTest::keyClick(until, Qt::Key_Up);
    EXPECT_EQ(CMessageService::History().size(), 2);
    EXPECT_TRUE(CMessageService::History().last().text.contains(failed));
    EXPECT_EQ(StoredStandbyNumbers(), (std::vector<int>{2, 4}));
}

TEST_F(StandbyTest, BookingFromTheSheetAsksFirstAndHandsTheNumberBack) {
    AddReservation("0000000010", kYamada, "20240425", 1000, 1030, ResStatus::Booked);
    AddStandby(1, kYamada, "20240420", "20240421", "0000000010");
    AddStandby(6, kSato, "20240420", "20240421");
    CStandbyDlg dialog(&m_db, CStandbyDlg::kModeSheet);
    dialog.show();
    auto* list = Control<CXListCtrl>(&dialog, CStandbyDlg::kIdStandbyList);
    auto* book = Control<QPushButton>(&dialog, CStandbyDlg::kIdBook);
    Control<QCheckBox>(&dialog, CStandbyDlg::kIdShowBooked)->setChecked(true);
    ASSERT_EQ(ListNumbers(list), (std::vector<int>{1, 6}));
    list->SetSelIndex(0);  // booked: neither edited nor booked again
    EXPECT_FALSE(book->isEnabled());
    list->SetSelIndex(1);
    EXPECT_TRUE(book->isEnabled());

    Answer(CMessageService::IDNO);
    book->click();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(CMessageService::History().last().text,
              QStringLiteral("予約入力画面に戻ります。\n予約時間を選択してください。"));

    Answer(CMessageService::IDYES);
    book->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.ChosenStandbyNo(), "0000000006");
    // The check box is remembered for the next opening.
    EXPECT_EQ(ReadHostSheetProfile().showReservedPatient, 1);
    CStandbyDlg again(&m_db, CStandbyDlg::kModeSheet);
    EXPECT_TRUE(Control<QCheckBox>(&again, CStandbyDlg::kIdShowBooked)->isChecked());
}

TEST_F(StandbyTest, FromTheReservationDialogADoubleClickHandsTheEntryOverWithoutAQuestion) {
    AddStandby(4, kSato, "20240420", "20240421");
    CStandbyDlg dialog(&m_db, CStandbyDlg::kModeReservation);
    dialog.show();
    auto* list = Control<CXListCtrl>(&dialog, CStandbyDlg::kIdStandbyList);
    list->SetSelIndex(0);
    emit list->itemDoubleClicked(list->topLevelItem(0), 0);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.ChosenStandbyNo(), "0000000004");
    EXPECT_TRUE(CMessageService::History().isEmpty());

    CStandbyDlg closed(&m_db, CStandbyDlg::kModeSheet);
    closed.show();
    Control<QPushButton>(&closed, CStandbyDlg::kIdClose)->click();
    EXPECT_EQ(closed.result(), QDialog::Rejected);
    EXPECT_EQ(closed.ChosenStandbyNo(), "");
}

TEST_F(StandbyTest, MovingAFromPickerPastItsToPickerDragsItAlongAndRefills) {
    AddStandby(1, kYamada, "20240510", "20240512");
    AddReservation("0000000003", kYamada, "20240405", 1400, 1430, ResStatus::Revoked);
    CStandbyDlg dialog(&m_db, CStandbyDlg::kModeSheet);
    auto* list = Control<CXListCtrl>(&dialog, CStandbyDlg::kIdStandbyList);
    EXPECT_EQ(Control<QDateEdit>(&dialog, CStandbyDlg::kIdStandbyTo)->date(), QDate(2024, 4, 27));
    EXPECT_EQ(list->GetItemCount(), 0);
    Control<QDateEdit>(&dialog, CStandbyDlg::kIdStandbyFrom)->setDate(QDate(2024, 5, 11));
    EXPECT_EQ(Control<QDateEdit>(&dialog, CStandbyDlg::kIdStandbyTo)->date(), QDate(2024, 5, 11));
    EXPECT_EQ(list->GetItemCount(), 1);

    auto* cancelled = Control<CXListCtrl>(&dialog, CStandbyDlg::kIdCancelledList);
    EXPECT_EQ(cancelled->GetItemCount(), 0);
    Control<QDateEdit>(&dialog, CStandbyDlg::kIdCancelledTo)->setDate(QDate(2024, 4, 5));
    EXPECT_EQ(Control<QDateEdit>(&dialog, CStandbyDlg::kIdCancelledFrom)->date(),
              QDate(2024, 4, 5));
    EXPECT_EQ(cancelled->GetItemCount(), 1);
}

// The lists over tables on either engine: another workstation's commits reach them through
// the change counters of the table files, or through the server's notifications.
class StandbyEngineTest : public ::testing::WithParamInterface<ETestEngine>, public StandbyTest {
protected:
    StandbyEngineTest() : StandbyTest(GetParam()) {}
};
INSTANTIATE_TEST_SUITE_P(, StandbyEngineTest,
                         ::testing::Values(ETestEngine::kEmbedded, ETestEngine::kServer),
                         TestEngineName);

TEST_P(StandbyEngineTest, BothListsFollowAnotherWorkstationKeepingTheChosenRowsAndTheScroll) {
    for (int no = 1; no <= 30; ++no) AddStandby(no, kYamada, "20240420", "20240421");
    AddReservation("0000000010", kSato, "20240422", 1000, 1030, ResStatus::CancelledWithNotice);
    CStandbyDlg dialog(&m_db, CStandbyDlg::kModeSheet);
    QSignalSpy reloads(&dialog, &CStandbyDlg::reloadedForChanges);
    dialog.show();
    QApplication::processEvents();
    auto* list = Control<CXListCtrl>(&dialog, CStandbyDlg::kIdStandbyList);
    auto* cancelled = Control<CXListCtrl>(&dialog, CStandbyDlg::kIdCancelledList);
    ASSERT_EQ(list->GetItemCount(), 30);
    ASSERT_EQ(cancelled->GetItemCount(), 1);

    // Two entries chosen with the mouse (the second with Ctrl), then the list scrolled.
    const auto clickRow = [list](int row, Qt::KeyboardModifiers keys) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, keys,
                          list->visualItemRect(list->topLevelItem(row)).center());
    };
    clickRow(1, {});
    clickRow(3, Qt::ControlModifier);
    QScrollBar* bar = list->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    QTest::mouseClick(bar, Qt::LeftButton, {},
                      QPoint(bar->width() / 2, bar->height() - 2 * bar->width()));
    const int scrolled = bar->value();
    ASSERT_GT(scrolled, 0);
    const auto selected = [list] {
        std::vector<int> numbers;
        for (QTreeWidgetItem* item : list->selectedItems())
            numbers.push_back(static_cast<int>(list->GetItemData(list->indexOfTopLevelItem(item))));
        std::sort(numbers.begin(), numbers.end());
        return numbers;
    };
    ASSERT_EQ(selected(), (std::vector<int>{2, 4}));

    // Another desk adds an entry and cancels a reservation: both lists show them.
    CTablePeer desk(m_folder);
    ASSERT_EQ(desk.Run("insert RESERVATIONSTANDBY.BTR StandbyNo=0000000031 PatientID=0000000002 "
                       "DateFrom=20240420 DateTo=20240420 TimeFrom=0900 TimeTo=1000")
                  .rfind("ok ", 0),
              0u);
    ASSERT_TRUE(reloads.wait(10000));
    EXPECT_FALSE(dialog.StandbyReadNotice()->isVisible());
    EXPECT_FALSE(dialog.CancelledReadNotice()->isVisible());
    EXPECT_EQ(list->GetItemCount(), 31);
    EXPECT_EQ(selected(), (std::vector<int>{2, 4}));
    EXPECT_EQ(static_cast<int>(list->GetItemData(list->indexOfTopLevelItem(list->currentItem()))),
              4);
    EXPECT_EQ(bar->value(), scrolled);
    EXPECT_FALSE(Control<QPushButton>(&dialog, CStandbyDlg::kIdEdit)->isEnabled());
    EXPECT_TRUE(Control<QPushButton>(&dialog, CStandbyDlg::kIdDelete)->isEnabled());

    ASSERT_EQ(desk.Run("insert RESERVATION.BTR ReservationNo=0000000011 PatientID=0000000001 "
                       "ResDate=20240423 StartTime=1100 EndTime=1130 Status=3")
                  .rfind("ok ", 0),
              0u);
    ASSERT_TRUE(reloads.wait(10000));
    EXPECT_EQ(cancelled->GetItemCount(), 2);
    EXPECT_EQ(selected(), (std::vector<int>{2, 4}));

    // Entries this dialog deletes itself are not reported back to it.
    Control<QPushButton>(&dialog, CStandbyDlg::kIdDelete)->click();
    ASSERT_EQ(list->GetItemCount(), 29);
    dialog.Watcher()->Poll();
    EXPECT_TRUE(dialog.Watcher()->Waiting().isEmpty());
    EXPECT_EQ(reloads.count(), 2);
}

TEST_F(StandbyTest, TheEntryDialogRefusesAnEntryWithoutPatientOrWithDaysReversed) {
    CStandbyEntryDlg dialog(&m_db, 0);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("予約キャンセル待ち 新規"));
    auto* ok = Control<QPushButton>(&dialog, CStandbyEntryDlg::kIdOk);
    ok->click();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(StoredStandbyNumbers().empty());

    dialog.ShowPatient(kSato);
    auto* from = Control<QDateEdit>(&dialog, CStandbyEntryDlg::kIdDateFrom);
    auto* to = Control<QDateEdit>(&dialog, CStandbyEntryDlg::kIdDateTo);
    auto* oneDay = Control<QCheckBox>(&dialog, CStandbyEntryDlg::kIdOneDay);
    EXPECT_TRUE(oneDay->isChecked());
    // Unticked, an end day before the start day is refused.
    QTest::mouseClick(oneDay, Qt::LeftButton);
    from->setDate(QDate(2024, 5, 2));
    EXPECT_EQ(to->date(), QDate(2024, 4, 20));
    ok->click();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(StoredStandbyNumbers().empty());

    QTest::mouseClick(oneDay, Qt::LeftButton);  // ticked again: copies the day
    EXPECT_EQ(to->date(), QDate(2024, 5, 2));
    // While it is ticked the end day follows the start day as it is stepped on.
    from->setFocus();
    from->setCurrentSection(QDateTimeEdit::DaySection);
    QTest::keyClick(from, Qt::Key_Up);
    EXPECT_EQ(from->date(), QDate(2024, 5, 3));
    EXPECT_EQ(to->date(), QDate(2024, 5, 3));
    auto* hour = Control<QComboBox>(&dialog, CStandbyEntryDlg::kIdHourTo);
    EXPECT_EQ(hour->itemText(0), QStringLiteral("09"));
    hour->setCurrentText(QStringLiteral("11"));
    Control<QComboBox>(&dialog, CStandbyEntryDlg::kIdMinuteTo)->setCurrentText(QStringLiteral("45"));
    ok->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    StandbyEntry stored;
    ASSERT_EQ(ReadStandbyEntry(&m_db, dialog.SavedStandbyNo(), &stored), 0);
    EXPECT_EQ(stored.patientId, kSato);
    EXPECT_EQ(stored.dateFrom, "20240503");
    EXPECT_EQ(stored.dateTo, "20240503");
    EXPECT_EQ(stored.timeFrom, 900);
    EXPECT_EQ(stored.timeTo, 1145);

    // An entry over several days opens unticked, and moving its start keeps its end; moving
    // the end day of a ticked one-day entry unticks it, so the start no longer drags it.
    AddStandby(7, kYamada, "20240510", "20240517");
    CStandbyEntryDlg edit(&m_db, 7);
    edit.show();
    auto* editFrom = Control<QDateEdit>(&edit, CStandbyEntryDlg::kIdDateFrom);
    auto* editTo = Control<QDateEdit>(&edit, CStandbyEntryDlg::kIdDateTo);
    auto* editOneDay = Control<QCheckBox>(&edit, CStandbyEntryDlg::kIdOneDay);
    EXPECT_FALSE(editOneDay->isChecked());
    editFrom->setDate(QDate(2024, 5, 12));
    EXPECT_EQ(editTo->date(), QDate(2024, 5, 17));
    QTest::mouseClick(editOneDay, Qt::LeftButton);
    EXPECT_EQ(editTo->date(), QDate(2024, 5, 12));
    editTo->setDate(QDate(2024, 5, 14));
    EXPECT_FALSE(editOneDay->isChecked());
    editFrom->setDate(QDate(2024, 5, 13));
    EXPECT_EQ(editTo->date(), QDate(2024, 5, 14));
}

}  // namespace
}  // namespace velo::sheet
