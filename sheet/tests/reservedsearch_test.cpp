// Tests of the reserved-patient search: what the date and name modes list and leave out,
// the contact record (erasing on "未", the configured state names), and the search dialog
// driven through its controls (the mail-address check on ticking a row, the contact dialog
// refreshing its row in place, change and cancel requests handed back with the number, and
// refused for a came reservation).
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>
#include <filesystem>
#include <fstream>

#include "recman/recman.h"
#include "sheet/contactdlg.h"
#include "sheet/reservation.h"
#include "sheet/reservedsearch.h"
#include "sheet/reservedsearchdlg.h"
#include "sheet/tests/sheetfixture.h"
#include "suite/dbcall/patientdb.h"
#include "suite/postcard/postcardview.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/testsupport/commandicons.h"
#include "suite/testsupport/modal.h"
#include "suite/testsupport/records.h"
#include "suite/testsupport/tablepeer.h"
#include "suite/text/cp932.h"
#include "suite/text/globalsettings.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/xlistctrl.h"

namespace velo::sheet {
namespace {

struct Patient {
    const char* id;
    const char* chartNo;
    const char* name;
    const char* kana;
    const char* mail;
    uint8_t inactive = 0;
};

class ReservedSearchTest : public SheetAppTest {
protected:
    explicit ReservedSearchTest(ETestEngine engine = ETestEngine::kEmbedded)
        : SheetAppTest("reservedsearch_test", "reservedsearchtest", engine) {}

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(SheetAppTest::SetUp());
        CDate::SetTodayForTesting(2024, 5, 10);
        CMessageService::ClearHistory();
        CMessageService::SetScript([](const CMessageService::Request&) { return CMessageService::IDOK; });
        AddPatient({"0000000001", "A001", "山田　太郎", "ヤマダ　タロウ", "taro@example.jp"});
        AddPatient({"0000000002", "A002", "山本　花子", "ヤマモト　ハナコ", ""});
        AddPatient({"0000000003", "A003", "佐藤　一", "サトウ　ハジメ", "sato@example.jp"});
        AddPatient({"0000000004", "A004", "山口　休", "ヤマグチ　キュウ", "x@example.jp", 1});
    }
    // Every patient here has a telephone number and maybe a mail address to be contacted by.
    void AddPatient(const Patient& p) {
        SheetAppTest::AddPatient(p.id, p.name, p.kana, p.chartNo, p.inactive,
                                 [&p](tagPATIENTDB& r) {
                                     SetField(r.Email, p.mail);
                                     SetField(r.HomeTel, "03-1111-2222");
                                 });
    }
    void AddReservation(const char* no, const char* patient, const char* day, int start,
                        ResStatus status = ResStatus::Booked, uint8_t contact = 0) {
        InsertTestRecord<CReservationDB>(m_db, [&](tagRESERVATIONDB& r) {
            SetField(r.ReservationNo, no);
            SetField(r.PatientID, patient);
            SetField(r.ResDate, day);
            SetTimeField(r.StartTime, start);
            SetTimeField(r.EndTime, start + 30);
            r.Status = static_cast<uint8_t>(status);
            r.ContactStatus = contact;
            if (contact != 0) SetField(r.ContactDate, "20240508");
        });
    }
    std::vector<std::string> Found(const ReservedSearchRequest& request) {
        std::vector<ReservedSearchRow> rows;
        EXPECT_EQ(SearchReservedPatients(&m_db, request, CDate::Today(), &rows), 0);
        std::vector<std::string> numbers;
        for (const auto& row : rows) numbers.push_back(row.reservationNo);
        return numbers;
    }
    tagRESERVATIONDB Stored(const char* no) {
        CReservationDB table;
        EXPECT_EQ(table.SetAssociatedDB(&m_db), 0);
        EXPECT_EQ(table.GetReservationData(no), 0);
        return table.m_Data;
    }
    // Overwrites a table file with bytes that hold no records, as a disk fault or a broken
    // copy leaves it. The first pages, which describe the file (record length and keys), are
    // spared, so the file still opens and its reads fail. The record manager lets go of its
    // files first, so the next read meets the damaged file.
    void DamageTableFile(const char* name) {
        recman::Shutdown();
        const std::string path = m_folder + "/" + name;
        const auto size = static_cast<std::streamoff>(std::filesystem::file_size(path));
        ASSERT_GT(size, kSparedBytes) << path;
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(kSparedBytes);
        const std::string junk(static_cast<size_t>(size - kSparedBytes), '\xA5');
        file.write(junk.data(), static_cast<std::streamsize>(junk.size()));
        ASSERT_TRUE(file.good()) << path;
    }
    static constexpr std::streamoff kSparedBytes = 4 * 4096;

    // A day of every kind the search must tell apart.
    void AddMixedReservations() {
        AddReservation("0000000010", "0000000001", "20240510", 900);
        AddReservation("0000000011", "0000000002", "20240511", 1000, ResStatus::Came, 2);
        AddReservation("0000000012", "", "20240511", 1200);                      // blocked
        AddReservation("0000000013", "0000000003", "20240512", 900, ResStatus::CancelledWithNotice);
        AddReservation("0000000014", "0000000004", "20240512", 930);             // inactive
        AddReservation("0000000015", "0000000099", "20240512", 1000);            // no patient
        AddReservation("0000000016", "0000000003", "20240513", 1100, ResStatus::Changed);
        AddReservation("0000000017", "0000000003", "20240514", 1400);
        AddReservation("0000000018", "0000000001", "20240501", 900);             // past
        AddReservation("0000000019", "0000000001", "20240520", 900);             // later
    }
};

TEST_F(ReservedSearchTest, DateModeListsLiveReservationsOfExistingActivePatientsInOrder) {
    AddMixedReservations();
    ReservedSearchRequest request;
    request.from = "20240510";
    request.to = "20240514";
    EXPECT_EQ(Found(request), (std::vector<std::string>{"0000000010", "0000000011", "0000000017"}));
    request.uncontactedOnly = true;
    EXPECT_EQ(Found(request), (std::vector<std::string>{"0000000010", "0000000017"}));

    std::vector<ReservedSearchRow> rows;
    request.uncontactedOnly = false;
    ASSERT_EQ(SearchReservedPatients(&m_db, request, CDate::Today(), &rows), 0);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].chartNo, QStringLiteral("A002"));
    EXPECT_EQ(rows[1].date, QStringLiteral("2024/05/11"));
    EXPECT_EQ(rows[1].time, QStringLiteral("10:00"));
    EXPECT_EQ(rows[1].contactState, QStringLiteral("済み"));
    EXPECT_EQ(rows[1].contactMethod, QStringLiteral("電話"));
    EXPECT_EQ(rows[1].contactDate, QStringLiteral("2024/05/08(水)"));
    EXPECT_EQ(rows[0].contactState, QStringLiteral("未"));
    EXPECT_TRUE(rows[0].contactMethod.isEmpty());
    EXPECT_EQ(rows[0].mail, QStringLiteral("taro@example.jp"));

    // A patient file that cannot be read fails the search and is named; its patients are
    // not taken for missing ones.
    ASSERT_NO_FATAL_FAILURE(DamageTableFile("PATIENT1.BTR"));
    std::string failed;
    EXPECT_NE(SearchReservedPatients(&m_db, request, CDate::Today(), &rows, &failed), 0);
    EXPECT_EQ(failed, "PATIENT1.BTR");
}

TEST_F(ReservedSearchTest, NameModeFindsFutureReservationsByReadingOrNamePrefix) {
    AddMixedReservations();
    ReservedSearchRequest request;
    request.byName = true;
    request.text = QStringLiteral("ヤマ");
    // From today on: the past reservation of 1 May is not listed, 20 May is.
    EXPECT_EQ(Found(request), (std::vector<std::string>{"0000000010", "0000000011", "0000000019"}));
    request.byKana = false;
    request.text = QStringLiteral("佐藤");
    EXPECT_EQ(Found(request), (std::vector<std::string>{"0000000017"}));
    request.text = QStringLiteral("ヤマ");  // a reading does not match names
    EXPECT_TRUE(Found(request).empty());
}

TEST_F(ReservedSearchTest, ContactStateZeroErasesTheContactAndNamesFollowTheSettings) {
    AddReservation("0000000010", "0000000001", "20240510", 900);
    ContactRecord contact;
    contact.date = QDate(2024, 5, 9);
    contact.state = 1;
    contact.comment = QStringLiteral("留守電");
    contact.method = kContactByMail;
    ASSERT_EQ(SaveContact(&m_db, "0000000010", contact), 0);
    tagRESERVATIONDB stored = Stored("0000000010");
    EXPECT_STREQ(stored.ContactDate, "20240509");
    EXPECT_EQ(stored.ContactStatus, 1);
    EXPECT_EQ(stored.ContactMethod, 1);
    EXPECT_EQ(Cp932FieldToQString(stored.ContactComment, sizeof stored.ContactComment),
              QStringLiteral("留守電"));

    contact.state = 0;
    ASSERT_EQ(SaveContact(&m_db, "0000000010", contact), 0);
    stored = Stored("0000000010");
    EXPECT_STREQ(stored.ContactDate, "");
    EXPECT_STREQ(stored.ContactComment, "");
    EXPECT_EQ(stored.ContactStatus, 0);
    EXPECT_EQ(stored.ContactMethod, 0);
    EXPECT_EQ(SaveContact(&m_db, "0000000077", contact), 4);

    ASSERT_TRUE(CGlobalSettings::SetInt(QStringLiteral("Reservation"),
                                        QStringLiteral("ContactStatusCount"), 4));
    ASSERT_TRUE(CGlobalSettings::SetString(QStringLiteral("Reservation"),
                                           QStringLiteral("ContactStatusName1"),
                                           QStringLiteral("留守")));
    EXPECT_EQ(ContactStatusNames(),
              (QStringList{QStringLiteral("未"), QStringLiteral("留守"), QStringLiteral("済み"),
                           QString()}));

    // With fewer states configured than were used, the contact dialog keeps a stored state
    // the combo no longer lists, under its usual name or its number: OK leaves the contact
    // as it was instead of erasing it.
    ASSERT_TRUE(CGlobalSettings::SetInt(QStringLiteral("Reservation"),
                                        QStringLiteral("ContactStatusCount"), 2));
    for (const auto& [storedState, shown] :
         {std::pair{2, QStringLiteral("済み")}, std::pair{3, QStringLiteral("状態 3")}}) {
        contact.state = storedState;
        ASSERT_EQ(SaveContact(&m_db, "0000000010", contact), 0);
        CContactDlg dialog(&m_db, "0000000010");
        dialog.show();
        auto* state = dialog.findChild<QComboBox*>(QString::number(CContactDlg::kIdState));
        ASSERT_EQ(state->count(), 3);
        EXPECT_EQ(state->currentText(), shown);
        dialog.findChild<QPushButton*>(QString::number(CContactDlg::kIdOk))->click();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(Stored("0000000010").ContactStatus, storedState);
    }
    stored = Stored("0000000010");
    EXPECT_EQ(stored.ContactStatus, 3);
    EXPECT_STREQ(stored.ContactDate, "20240509");
    EXPECT_EQ(Cp932FieldToQString(stored.ContactComment, sizeof stored.ContactComment),
              QStringLiteral("留守電"));

    // A reservation deleted meanwhile cannot take the contact: the update message, and the
    // dialog stays open.
    CContactDlg dialog(&m_db, "0000000010");
    dialog.show();
    {
        CReservationDB table;
        ASSERT_EQ(table.SetAssociatedDB(&m_db), 0);
        ASSERT_EQ(table.GetReservationData("0000000010"), 0);
        ASSERT_EQ(table.Delete(), 0);
    }
    CMessageService::ClearHistory();
    dialog.findChild<QPushButton*>(QString::number(CContactDlg::kIdOk))->click();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(CMessageService::History()[0].text,
              QStringLiteral("データの更新を行なう際、エラーが発生します。"));
}

class ReservedSearchDlgTest : public ReservedSearchTest {
protected:
    using ReservedSearchTest::ReservedSearchTest;

    static QAction* Action(QDialog& dialog, int id) {
        auto* action = dialog.findChild<QAction*>(QString::number(id));
        EXPECT_NE(action, nullptr) << id;
        return action;
    }
    // A person's click on a row of the list, and on a toolbar button.
    static void ClickRow(CReservedSearchDlg& dialog, int row) {
        CXListCtrl* list = dialog.List();
        const QRect rect = list->visualItemRect(list->topLevelItem(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    }
    static void ClickTool(QDialog& dialog, int id) {
        QWidget* button = dialog.findChild<QToolBar*>()->widgetForAction(Action(dialog, id));
        ASSERT_NE(button, nullptr) << id;
        QTest::mouseClick(button, Qt::LeftButton);
    }
    static void SearchDays(CReservedSearchDlg& dialog, const QDate& from, const QDate& to) {
        dialog.findChild<QDateEdit*>(QString::number(CReservedSearchDlg::kIdFrom))->setDate(from);
        dialog.findChild<QDateEdit*>(QString::number(CReservedSearchDlg::kIdTo))->setDate(to);
        Action(dialog, CReservedSearchDlg::kIdSearch)->trigger();
    }
};

// The dialog over tables on either engine: another workstation's commits reach it through the
// change counters of the table files, or through the server's notifications.
class ReservedSearchDlgEngineTest : public ::testing::WithParamInterface<ETestEngine>,
                                    public ReservedSearchDlgTest {
protected:
    ReservedSearchDlgEngineTest() : ReservedSearchDlgTest(GetParam()) {}
};
INSTANTIATE_TEST_SUITE_P(, ReservedSearchDlgEngineTest,
                         ::testing::Values(ETestEngine::kEmbedded, ETestEngine::kServer),
                         TestEngineName);

TEST_P(ReservedSearchDlgEngineTest, APatientWithoutMailCannotBeTickedAndTheCountIsShown) {
    AddMixedReservations();
    CReservedSearchDlg dialog(&m_db);
    dialog.show();
    SearchDays(dialog, QDate(2024, 5, 10), QDate(2024, 5, 14));
    CXListCtrl* list = dialog.List();
    ASSERT_EQ(list->GetItemCount(), 3);
    auto* count = dialog.findChild<QLabel*>(QString::number(CReservedSearchDlg::kIdCount));
    EXPECT_EQ(count->text(), QStringLiteral("件数：  3 件"));

    list->SetCheck(0, true);  // has an address
    list->SetCheck(1, true);  // has none
    EXPECT_TRUE(list->GetCheck(0));
    EXPECT_FALSE(list->GetCheck(1));
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(CMessageService::History()[0].text,
              QStringLiteral("指定された患者にはメールアドレスが設定されておりません。"));
    EXPECT_EQ(dialog.CheckedRows(), (std::vector<int>{0}));

    // Another desk books a patient into the searched days while this one has chosen a row
    // and begun a search by name without running it: the list runs the search it shows
    // again and keeps the tick, the chosen row and the place.
    ClickRow(dialog, 2);
    QTest::mouseClick(
        dialog.findChild<QRadioButton*>(QString::number(CReservedSearchDlg::kIdByName)),
        Qt::LeftButton);
    auto* name = dialog.findChild<QLineEdit*>(QString::number(CReservedSearchDlg::kIdNameText));
    QTest::keyClicks(name, QStringLiteral("yama"));
    QSignalSpy reloads(&dialog, &CReservedSearchDlg::reloadedForChanges);
    CTablePeer desk(m_folder);
    ASSERT_EQ(desk.Run("insert RESERVATION.BTR ReservationNo=0000000020 PatientID=0000000003 "
                       "ResDate=20240512 StartTime=1500 EndTime=1530 Status=0")
                  .rfind("ok ", 0),
              0u);
    ASSERT_TRUE(reloads.wait(10000));
    ASSERT_EQ(list->GetItemCount(), 4);
    EXPECT_EQ(dialog.Rows()[list->GetItemData(3)].reservationNo, "0000000017");
    EXPECT_EQ(dialog.CheckedRows(), (std::vector<int>{0}));
    EXPECT_EQ(dialog.Rows()[list->GetItemData(list->GetSelIndex())].reservationNo, "0000000017");
    EXPECT_EQ(count->text(), QStringLiteral("件数：  4 件"));
    EXPECT_EQ(CMessageService::History().size(), 1);

    // A reservation file that cannot be read is said so, not shown as nobody found (a table
    // on the server has no file to damage).
    if (GetParam() != ETestEngine::kEmbedded) return;
    ASSERT_NO_FATAL_FAILURE(DamageTableFile("RESERVATION.BTR"));
    CMessageService::ClearHistory();
    auto* search = dialog.findChild<QPushButton*>(QString::number(CReservedSearchDlg::kIdSearch));
    QTest::mouseClick(search, Qt::LeftButton);
    ASSERT_EQ(CMessageService::History().size(), 1);
    const QString shown = CMessageService::History()[0].text;
    EXPECT_TRUE(shown.contains(QStringLiteral("RESERVATION.BTR"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("読み込めませんでした"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("velodb check"))) << shown.toStdString();
    EXPECT_TRUE(count->text().contains(QStringLiteral("RESERVATION.BTR")));
}

TEST_F(ReservedSearchDlgTest, AContactRefreshesItsRowAndChangeHandsBackTheNumberOfABookedOne) {
    AddMixedReservations();
    CReservedSearchDlg dialog(&m_db);
    dialog.show();
    SearchDays(dialog, QDate(2024, 5, 10), QDate(2024, 5, 14));
    EXPECT_FALSE(Action(dialog, CReservedSearchDlg::kIdContact)->isEnabled());
    dialog.List()->SetSelIndex(2);
    EXPECT_TRUE(Action(dialog, CReservedSearchDlg::kIdContact)->isEnabled());

    OnModal([](QDialog* contact) {
        contact->findChild<QComboBox*>(QString::number(CContactDlg::kIdState))->setCurrentIndex(1);
        contact->findChild<QRadioButton*>(QString::number(CContactDlg::kIdByMail))->setChecked(true);
        contact->findChild<QLineEdit*>(QString::number(CContactDlg::kIdComment))
            ->setText(QStringLiteral("不在"));
        contact->findChild<QPushButton*>(QString::number(CContactDlg::kIdOk))->click();
    });
    Action(dialog, CReservedSearchDlg::kIdContact)->trigger();
    CXListCtrl* list = dialog.List();
    EXPECT_EQ(list->GetItemText(2, CReservedSearchDlg::kColContactState), QStringLiteral("不通"));
    EXPECT_EQ(list->GetItemText(2, CReservedSearchDlg::kColComment), QStringLiteral("不在"));
    EXPECT_EQ(list->GetItemText(2, CReservedSearchDlg::kColContactMethod), QStringLiteral("Email"));
    EXPECT_EQ(list->GetItemText(2, CReservedSearchDlg::kColContactDate),
              QStringLiteral("2024/05/10(金)"));
    EXPECT_EQ(Stored("0000000017").ContactStatus, 1);

    // A came reservation is neither changed nor cancelled from here: it would leave the
    // sheet with its fee still billed.
    ClickRow(dialog, 1);
    ASSERT_EQ(list->GetSelIndex(), 1);
    const std::pair<int, QString> refusals[] = {
        {CReservedSearchDlg::kIdChange, QStringLiteral("来院済みの予約は変更できません。")},
        {CReservedSearchDlg::kIdCancelReservation,
         QStringLiteral("来院済みの予約は取り消せません。")},
    };
    for (const auto& [command, refusal] : refusals) {
        CMessageService::ClearHistory();
        ClickTool(dialog, command);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_TRUE(dialog.ChosenReservationNo().empty());
        ASSERT_EQ(CMessageService::History().size(), 1);
        EXPECT_TRUE(CMessageService::History()[0].text.startsWith(refusal));
    }
    EXPECT_EQ(Stored("0000000011").Status, static_cast<uint8_t>(ResStatus::Came));

    ClickRow(dialog, 2);
    ClickTool(dialog, CReservedSearchDlg::kIdChange);
    EXPECT_EQ(dialog.result(), CReservedSearchDlg::kResultChange);
    EXPECT_EQ(dialog.ChosenReservationNo(), "0000000017");
}

TEST_F(ReservedSearchDlgTest, MailToolsOpenTheirDialogsAndPostcardsGoToTheTickedPatients) {
    AddMixedReservations();
    CReservedSearchDlg dialog(&m_db);
    dialog.show();
    ExpectCommandIcons(dialog.findChild<QToolBar*>());
    SearchDays(dialog, QDate(2024, 5, 10), QDate(2024, 5, 14));
    for (int command : {CReservedSearchDlg::kIdMailSetting, CReservedSearchDlg::kIdTemplate}) {
        QString opened;
        OnModal([&opened](QDialog* shown) {
            opened = QString::fromUtf8(shown->metaObject()->className());
            shown->reject();
        });
        Action(dialog, command)->trigger();
        EXPECT_EQ(opened, command == CReservedSearchDlg::kIdMailSetting ? QStringLiteral("CMailSettingDlg")
                                                                        : QStringLiteral("CMailTemplateDlg"));
    }

    std::vector<std::string> carded;
    CPostcardView::SetPreviewHookForTesting(
        [&carded](const std::vector<CPostcardAddressee>& cards, const CPostcardSender&, int) {
            for (const auto& card : cards) carded.push_back(card.patientId);
        });
    dialog.List()->SetCheck(2, true);
    dialog.List()->SetCheck(0, true);
    Action(dialog, CReservedSearchDlg::kIdPostcard)->trigger();
    CPostcardView::SetPreviewHookForTesting({});
    EXPECT_EQ(carded, (std::vector<std::string>{"0000000001", "0000000003"}));
}

}  // namespace
}  // namespace velo::sheet
