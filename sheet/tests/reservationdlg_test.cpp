// Tests of the reservation dialog driven through its controls on the offscreen platform:
// choosing a band on the strip with the mouse and saving it, the band texts in 24- and
// 12-hour mode, saving without a band, the enabling rules of the fee, insurance, blocked
// time and OK controls, refilling a combo after "#", editing a stored reservation and
// changing one to another day, and the treatment selection dialog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTreeWidget>

#include "sheet/cancelreasondlg.h"
#include "sheet/referencedlg.h"
#include "sheet/reservation.h"
#include "sheet/reservationdlg.h"
#include "sheet/tests/sheetfixture.h"
#include "sheet/timestrip.h"
#include "sheet/treatmentselectdlg.h"
#include "sheet/velosheet.h"
#include "suite/comdlg/velosubtools.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/testsupport/modal.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"

namespace velo::sheet {
namespace {

using Request = CMessageService::Request;
constexpr char kPatient[] = "0000000001";
constexpr char kDay[] = "20240501";

template <typename T>
T* Control(QWidget* dialog, int id) {
    T* control = dialog->findChild<T*>(QString::number(id));
    EXPECT_NE(control, nullptr) << "control " << id;
    return control;
}

class ReservationDlgTest : public SheetAppTest {
protected:
    ReservationDlgTest() : SheetAppTest("reservationdlg_test", "reservationdlgtest") {}

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(SheetAppTest::SetUp());
        CDate::SetTodayForTesting(2024, 4, 20);
        CMessageService::ClearHistory();
        AnswerEverything(CMessageService::IDYES);
        AddCategory("1", "01", "ユニット1");
        AddCategory("1", "02", "ユニット2");
        AddCategory("0", "01", "診療");
        AddCategory("2", "01", "社保");
        AddDoctor("01");
        AddPatient(kPatient, "山田太郎", "", "A001");
        AddCreditCategory("001");
        AddCreditItem("001", "001", "調整料", 3000);
    }
    void AnswerEverything(int answer) {
        CMessageService::SetScript([answer](const Request&) { return answer; });
    }

    void AddReservation(const char* no, const char* day, int start, int end, int fee = 0) {
        CReservationDB table;
        ASSERT_EQ(table.SetAssociatedDB(&m_db), 0);
        SetField(table.m_Data.ReservationNo, no);
        SetField(table.m_Data.PatientID, kPatient);
        SetField(table.m_Data.ResDate, day);
        SetTimeField(table.m_Data.StartTime, start);
        SetTimeField(table.m_Data.EndTime, end);
        SetField(table.m_Data.UnitCode, "01");
        SetField(table.m_Data.DoctorCode, "01");
        SetField(table.m_Data.ResTypeCode, "01");
        SetField(table.m_Data.StaffCode, "000");
        SetField(table.m_Data.ResWayCode, "000");
        SetField(table.m_Data.CreditCateCode, "001");
        SetField(table.m_Data.CreditItemCode, "001");
        SetCp932Field(table.m_Data.Treatment, sizeof table.m_Data.Treatment,
                      QStringLiteral("調整"));
        table.m_Data.Fee = fee;
        ASSERT_EQ(table.Insert(), 0);
    }
    std::vector<tagRESERVATIONDB> Reservations() {
        std::vector<tagRESERVATIONDB> all;
        CReservationDB table;
        EXPECT_EQ(table.SetAssociatedDB(&m_db), 0);
        for (int st = table.GetFIRST(); st == 0 && !table.IsEOF(); st = table.GetNEXT())
            all.push_back(table.m_Data);
        return all;
    }

    ReservationDlgInputs NewInputs() {
        ReservationDlgInputs inputs;
        inputs.columnKey = "01";
        inputs.date = kDay;
        inputs.patientId = kPatient;
        return inputs;
    }

    // Presses on the strip cell of `from` and drags to the cell of `to`, in the strip as it
    // is scrolled now.
    static void DragOnStrip(CReservationDlg& dialog, int from, int to) {
        auto* strip = Control<CTimeStrip>(&dialog, CTimeStrip::kControlId);
        const int offset = Control<QScrollBar>(&dialog, CReservationDlg::kIdStripScroll)->value();
        const int y = CTimeStrip::kLabelHeight + CTimeStrip::kCellHeight / 2;
        const QPoint pressAt(strip->XOfTime(from) - offset + 2, y);
        const QPoint releaseAt(strip->XOfTime(to) - offset + 2, y);
        QTest::mousePress(strip, Qt::LeftButton, {}, pressAt);
        if (to != from) {
            QMouseEvent move(QEvent::MouseMove, QPointF(releaseAt),
                             strip->mapToGlobal(QPointF(releaseAt)), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(strip, &move);
        }
        QTest::mouseRelease(strip, Qt::LeftButton, {}, releaseAt);
    }

    static QString BandLabel(CReservationDlg& dialog) {
        return Control<QLabel>(&dialog, CReservationDlg::kIdBandText)->text();
    }
    static void ClickOk(CReservationDlg& dialog) {
        Control<QPushButton>(&dialog, CReservationDlg::kIdOk)->click();
    }
};

TEST_F(ReservationDlgTest, ANewReservationIsSavedWithTheBandChosenOnTheStrip) {
    CReservationDlg dialog(&m_db, NewInputs());
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("新規予約"));
    EXPECT_EQ(BandLabel(dialog), QStringLiteral("00:00 - 00:00 (0分間)"));

    DragOnStrip(dialog, 945, 945);
    EXPECT_EQ(BandLabel(dialog), QStringLiteral("09:45 - 10:00 (15分間)"));
    ClickOk(dialog);

    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    const auto all = Reservations();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(std::string(all[0].StartTime), "0945");
    EXPECT_EQ(std::string(all[0].EndTime), "1000");
    EXPECT_EQ(std::string(all[0].PatientID), kPatient);
    EXPECT_EQ(std::string(all[0].UnitCode), "01");
    EXPECT_EQ(std::string(all[0].ResDate), kDay);
    EXPECT_EQ(dialog.SavedReservationNo(), std::string(all[0].ReservationNo));
    EXPECT_EQ(dialog.DateText(), QStringLiteral("2024/05/01"));
}

TEST_F(ReservationDlgTest, ATreatmentWithACharacterTheRecordLacksIsRefusedAndKept) {
    CReservationDlg dialog(&m_db, NewInputs());
    dialog.show();
    dialog.ChooseBand(1000, 1030);
    const QString treatment = QStringLiteral("装置") + QString::fromUtf8("\xF0\x9F\xA6\xB7");
    dialog.TreatmentEdit()->setText(treatment);
    AnswerEverything(CMessageService::IDOK);
    ClickOk(dialog);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(Reservations().empty());
    EXPECT_EQ(dialog.TreatmentEdit()->text(), treatment);
    ASSERT_FALSE(CMessageService::History().empty());
    EXPECT_TRUE(CMessageService::History().back().text.contains(QStringLiteral("保存できません")));
}

TEST_F(ReservationDlgTest, TheReferenceHandsBackItsDayAndBand) {
    CReservationDlg dialog(&m_db, NewInputs());
    dialog.show();
    bool opened = false;
    OnModal([&](QDialog* modal) {
        auto* reference = qobject_cast<CReferenceDlg*>(modal);
        opened = reference != nullptr;
        if (reference != nullptr) {
            ReferenceChoice choice;
            choice.date = QDate(2024, 6, 3);
            choice.start = 1400;
            choice.end = 1430;
            emit reference->ChoiceApplied(choice);
        }
        modal->reject();
    });
    Control<QPushButton>(&dialog, CReservationDlg::kIdReference)->click();
    EXPECT_TRUE(opened);
    EXPECT_EQ(dialog.DateText(), QStringLiteral("2024/06/03"));
    EXPECT_EQ(dialog.BandStart(), 1400);
    EXPECT_EQ(dialog.BandEnd(), 1430);
    EXPECT_EQ(BandLabel(dialog), QStringLiteral("14:00 - 14:30 (30分間)"));
}

TEST_F(ReservationDlgTest, DraggingBackwardsWidensTheBandFromTheEarlierCell) {
    CReservationDlg dialog(&m_db, NewInputs());
    dialog.show();
    DragOnStrip(dialog, 1030, 945);
    EXPECT_EQ(dialog.BandStart(), 945);
    EXPECT_EQ(dialog.BandEnd(), 1045);
    EXPECT_EQ(BandLabel(dialog), QStringLiteral("09:45 - 10:45 (60分間)"));
}

TEST_F(ReservationDlgTest, TwelveHourTextsKeepTwentyFourHourTimesInTheRecord) {
    ASSERT_TRUE(CVeloSubTools::SetGlobalSettingInt("MENTE", "Show12or24", 0));
    CReservationDlg dialog(&m_db, NewInputs());
    dialog.show();
    dialog.ChooseBand(1300, 1330);
    EXPECT_EQ(BandLabel(dialog), QStringLiteral("01:00 - 01:30 (30分間)"));
    ClickOk(dialog);
    const auto all = Reservations();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(std::string(all[0].StartTime), "1300");
    EXPECT_EQ(std::string(all[0].EndTime), "1330");
}

TEST_F(ReservationDlgTest, SavingWithoutABandAsksAndSavesOnlyOnYes) {
    AnswerEverything(CMessageService::IDNO);
    CReservationDlg dialog(&m_db, NewInputs());
    dialog.show();
    ClickOk(dialog);
    ASSERT_FALSE(CMessageService::History().isEmpty());
    EXPECT_TRUE(CMessageService::History().front().text.startsWith(
        QStringLiteral("予約時間の指定がありませんが")));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(Reservations().empty());

    AnswerEverything(CMessageService::IDYES);
    ClickOk(dialog);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(Reservations().size(), 1u);
}

TEST_F(ReservationDlgTest, AnOverlappingBandIsRefusedAndTheDialogStaysOpen) {
    AddReservation("0000000050", kDay, 930, 1000);
    CReservationDlg dialog(&m_db, NewInputs());
    dialog.show();
    dialog.ChooseBand(945, 1015);
    ClickOk(dialog);
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_FALSE(CMessageService::History().isEmpty());
    EXPECT_EQ(CMessageService::History().back().text, QStringLiteral("予約が重複しています。"));
    EXPECT_EQ(Reservations().size(), 1u);
}

TEST_F(ReservationDlgTest, FeeAndInsuranceControlsFollowTheirCheckBoxes) {
    CReservationDlg dialog(&m_db, NewInputs());
    dialog.show();
    auto* collect = Control<QCheckBox>(&dialog, CReservationDlg::kIdCollectFee);
    auto* insurance = Control<QCheckBox>(&dialog, CReservationDlg::kIdInsurance);
    auto* fee = Control<QLineEdit>(&dialog, CReservationDlg::kIdFee);
    auto* insuranceType = Control<QComboBox>(&dialog, CReservationDlg::kIdInsuranceType);
    EXPECT_FALSE(fee->isEnabled());
    EXPECT_FALSE(insurance->isEnabled());
    collect->click();
    EXPECT_TRUE(fee->isEnabled());
    EXPECT_TRUE(Control<QComboBox>(&dialog, CReservationDlg::kIdFeeItem)->isEnabled());
    EXPECT_FALSE(insuranceType->isEnabled());
    insurance->click();
    EXPECT_TRUE(insuranceType->isEnabled());
    EXPECT_TRUE(Control<QPushButton>(&dialog, CReservationDlg::kIdAddInsuranceType)->isEnabled());
    collect->click();
    EXPECT_FALSE(insuranceType->isEnabled());
    EXPECT_FALSE(fee->isEnabled());
}

TEST_F(ReservationDlgTest, ChoosingAFeeItemTakesItsPriceAndTheSaveStoresIt) {
    CReservationDlg dialog(&m_db, NewInputs());
    dialog.show();
    Control<QCheckBox>(&dialog, CReservationDlg::kIdCollectFee)->click();
    auto* items = Control<QComboBox>(&dialog, CReservationDlg::kIdFeeItem);
    ASSERT_EQ(items->count(), 1);
    items->setCurrentIndex(-1);
    items->setCurrentIndex(0);
    EXPECT_EQ(Control<QLineEdit>(&dialog, CReservationDlg::kIdFee)->text(), QStringLiteral("3000"));
    dialog.ChooseBand(1000, 1030);
    ClickOk(dialog);
    const auto all = Reservations();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].Fee, 3000);
    EXPECT_EQ(std::string(all[0].CreditItemCode), "001");
}

TEST_F(ReservationDlgTest, OkNeedsAPatientAndTypingDropsTheShownPatient) {
    ReservationDlgInputs inputs = NewInputs();
    inputs.patientId.clear();
    CReservationDlg dialog(&m_db, inputs);
    dialog.show();
    auto* ok = Control<QPushButton>(&dialog, CReservationDlg::kIdOk);
    EXPECT_FALSE(ok->isEnabled());

    auto* chart = Control<QLineEdit>(&dialog, CReservationDlg::kIdChartNo);
    chart->setFocus();
    QTest::keyClicks(chart, "A0");
    QString listTitle;
    OnModal([&listTitle](QDialog* list) {
        listTitle = list->windowTitle();
        auto* rows = list->findChild<QTreeWidget*>();
        ASSERT_NE(rows, nullptr);
        ASSERT_EQ(rows->topLevelItemCount(), 1);
        rows->setCurrentItem(rows->topLevelItem(0));
        list->findChild<QPushButton*>(QStringLiteral("1"))->click();
    });
    Control<QPushButton>(&dialog, CReservationDlg::kIdSearchChartNo)->click();
    EXPECT_EQ(listTitle, QStringLiteral("該当患者リスト"));
    ASSERT_EQ(dialog.PatientId(), kPatient);
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_EQ(Control<QLineEdit>(&dialog, CReservationDlg::kIdName)->text(),
              QStringLiteral("山田太郎"));

    chart->setFocus();
    QTest::keyClicks(chart, "1");
    EXPECT_TRUE(dialog.PatientId().empty());
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_EQ(chart->text(), QStringLiteral("A0011"));
    EXPECT_TRUE(Control<QLineEdit>(&dialog, CReservationDlg::kIdName)->text().isEmpty());
}

TEST_F(ReservationDlgTest, LeavingTheNameFieldLooksThePatientUpExactly) {
    ReservationDlgInputs inputs = NewInputs();
    inputs.patientId.clear();
    CReservationDlg dialog(&m_db, inputs);
    dialog.show();
    auto* name = Control<QLineEdit>(&dialog, CReservationDlg::kIdName);
    name->setText(QStringLiteral("山田"));
    emit name->editingFinished();
    EXPECT_TRUE(dialog.PatientId().empty());
    name->setText(QStringLiteral("山田太郎"));
    emit name->editingFinished();
    EXPECT_EQ(dialog.PatientId(), kPatient);
}

TEST_F(ReservationDlgTest, BlockedTimeDisablesPatientControlsAndNeedsOnlyABand) {
    ReservationDlgInputs inputs = NewInputs();
    inputs.patientId.clear();
    CReservationDlg dialog(&m_db, inputs);
    dialog.show();
    auto* blocked = Control<QCheckBox>(&dialog, CReservationDlg::kIdBlocked);
    auto* all = Control<QCheckBox>(&dialog, CReservationDlg::kIdBlockedAll);
    auto* ok = Control<QPushButton>(&dialog, CReservationDlg::kIdOk);
    EXPECT_FALSE(all->isEnabled());
    blocked->click();
    EXPECT_TRUE(all->isEnabled());
    EXPECT_FALSE(Control<QLineEdit>(&dialog, CReservationDlg::kIdChartNo)->isEnabled());
    EXPECT_FALSE(Control<QComboBox>(&dialog, CReservationDlg::kIdType)->isEnabled());
    EXPECT_FALSE(Control<QCheckBox>(&dialog, CReservationDlg::kIdCame)->isEnabled());
    EXPECT_FALSE(Control<QCheckBox>(&dialog, CReservationDlg::kIdCollectFee)->isEnabled());
    EXPECT_FALSE(Control<QWidget>(&dialog, CReservationDlg::kIdSystemMessages)->isVisible());
    EXPECT_FALSE(ok->isEnabled());
    dialog.ChooseBand(1200, 1300);
    EXPECT_TRUE(ok->isEnabled());

    // The apply-to-all choice is remembered for the next blocked time.
    all->click();
    EXPECT_EQ(CVeloSubTools::GetGlobalSettingInt("RESERVATION", "CantRsrvThisDay", 0), 1);
    blocked->click();
    EXPECT_FALSE(all->isChecked());
    EXPECT_FALSE(all->isEnabled());
    blocked->click();
    EXPECT_TRUE(all->isChecked());

    ClickOk(dialog);
    const auto records = Reservations();
    // The blocked time and its copy to the second unit.
    ASSERT_EQ(records.size(), 2u);
    for (const auto& r : records) {
        EXPECT_STREQ(r.PatientID, "");
        EXPECT_EQ(std::string(r.StartTime), "1200");
    }

    // Opening the stored blocked time again does not take up the remembered choice: widening
    // it changes this column only, and the copy in the other column stays as it was.
    ReservationDlgInputs stored;
    stored.reservationNo = dialog.SavedReservationNo();
    CReservationDlg edit(&m_db, stored);
    edit.show();
    EXPECT_TRUE(Control<QCheckBox>(&edit, CReservationDlg::kIdBlocked)->isChecked());
    EXPECT_FALSE(Control<QCheckBox>(&edit, CReservationDlg::kIdBlockedAll)->isChecked());
    DragOnStrip(edit, 1200, 1315);
    EXPECT_EQ(BandLabel(edit), QStringLiteral("12:00 - 13:30 (90分間)"));
    CMessageService::ClearHistory();
    QTest::mouseClick(Control<QPushButton>(&edit, CReservationDlg::kIdOk), Qt::LeftButton);
    EXPECT_EQ(edit.result(), QDialog::Accepted);
    EXPECT_TRUE(CMessageService::History().isEmpty());
    const auto edited = Reservations();
    ASSERT_EQ(edited.size(), 2u);
    for (const auto& r : edited) {
        const bool own = std::string(r.ReservationNo) == dialog.SavedReservationNo();
        EXPECT_EQ(std::string(r.UnitCode), own ? "01" : "02");
        EXPECT_EQ(std::string(r.EndTime), own ? "1330" : "1300");
    }
}

TEST_F(ReservationDlgTest, AddingATypeRefillsTheComboWithTheNewCodeChosen) {
    CReservationDlg dialog(&m_db, NewInputs());
    dialog.show();
    auto* type = Control<QComboBox>(&dialog, CReservationDlg::kIdType);
    ASSERT_EQ(type->count(), 1);
    OnModal([](QDialog* entry) {
        entry->findChild<QLineEdit*>(QStringLiteral("name"))->setText(QStringLiteral("矯正"));
        entry->findChild<QPushButton*>(QStringLiteral("1"))->click();
    });
    Control<QPushButton>(&dialog, CReservationDlg::kIdAddType)->click();
    ASSERT_EQ(type->count(), 2);
    EXPECT_EQ(type->currentText(), QStringLiteral("矯正"));
    dialog.ChooseBand(1100, 1130);
    ClickOk(dialog);
    const auto all = Reservations();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(std::string(all[0].ResTypeCode), type->currentData().toString().mid(2).toStdString());
}

TEST_F(ReservationDlgTest, EditingShowsTheStoredReservationAndUpdatesItInPlace) {
    AddReservation("0000000007", kDay, 1000, 1030, 2500);
    ReservationDlgInputs inputs;
    inputs.reservationNo = "0000000007";
    CReservationDlg dialog(&m_db, inputs);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("予約の編集"));
    EXPECT_EQ(dialog.PatientId(), kPatient);
    EXPECT_EQ(BandLabel(dialog), QStringLiteral("10:00 - 10:30 (30分間)"));
    EXPECT_TRUE(Control<QCheckBox>(&dialog, CReservationDlg::kIdCollectFee)->isChecked());
    EXPECT_EQ(Control<QLineEdit>(&dialog, CReservationDlg::kIdFee)->text(), QStringLiteral("2500"));
    EXPECT_EQ(Control<QLineEdit>(&dialog, CReservationDlg::kIdTreatment)->text(),
              QStringLiteral("調整"));
    dialog.ChooseBand(1030, 1100);
    ClickOk(dialog);
    const auto all = Reservations();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(std::string(all[0].ReservationNo), "0000000007");
    EXPECT_EQ(std::string(all[0].StartTime), "1030");
    EXPECT_EQ(all[0].Fee, 2500);

    // A reservation entered by staff who have left, in a unit taken out of use, by a way and
    // of a type no longer offered, keeps all of them when it is edited.
    AddCategory("1", "03", "旧ユニット", 0, true);
    Insert<CStaffDB>([](tagSTAFFDB& r) {
        SetField(r.Code, "004");
        SetCp932Field(r.Name, sizeof r.Name, QStringLiteral("退職者"));
        SetField(r.HiddenMark, "__");
    });
    Insert<CReservationWayDB>([](tagRESERVATIONWAYDB& r) {
        SetField(r.Code, "002");
        SetField(r.HiddenMark, "__");
    });
    AddReservation("0000000008", kDay, 1400, 1430);
    {
        CReservationDB table;
        ASSERT_EQ(table.SetAssociatedDB(&m_db), 0);
        ASSERT_EQ(table.GetReservationData("0000000008"), 0);
        SetField(table.m_Data.UnitCode, "03");
        SetField(table.m_Data.ResTypeCode, "09");
        SetField(table.m_Data.StaffCode, "004");
        SetField(table.m_Data.ResWayCode, "002");
        ASSERT_EQ(table.Update(), 0);
    }
    inputs.reservationNo = "0000000008";
    CReservationDlg old(&m_db, inputs);
    old.show();
    EXPECT_EQ(Control<QComboBox>(&old, CReservationDlg::kIdStaff)->currentText(),
              QStringLiteral("（非表示）退職者"));
    EXPECT_EQ(Control<QComboBox>(&old, CReservationDlg::kIdUnit)->currentText(),
              QStringLiteral("（非表示）旧ユニット"));
    QTest::mouseClick(Control<QPushButton>(&old, CReservationDlg::kIdOk), Qt::LeftButton);
    EXPECT_EQ(old.result(), QDialog::Accepted) << CMessageService::History().size();
    CReservationDB saved;
    ASSERT_EQ(saved.SetAssociatedDB(&m_db), 0);
    ASSERT_EQ(saved.GetReservationData("0000000008"), 0);
    EXPECT_EQ(std::string(saved.m_Data.StaffCode), "004");
    EXPECT_EQ(std::string(saved.m_Data.ResWayCode), "002");
    EXPECT_EQ(std::string(saved.m_Data.UnitCode), "03");
    EXPECT_EQ(std::string(saved.m_Data.ResTypeCode), "09");
    EXPECT_EQ(std::string(saved.m_Data.DoctorCode), "01");
}

TEST_F(ReservationDlgTest, AChangeKeepsTheOldRecordAsChangedAndBooksANewNumber) {
    AddReservation("0000000007", kDay, 1000, 1030);
    ReservationDlgInputs inputs;
    inputs.reservationNo = "0000000007";
    inputs.dialogMode = kDialogModeChange;
    CReservationDlg dialog(&m_db, inputs);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("予約の変更"));
    EXPECT_TRUE(Control<QLineEdit>(&dialog, CReservationDlg::kIdName)->isReadOnly());
    EXPECT_FALSE(Control<QCheckBox>(&dialog, CReservationDlg::kIdCame)->isVisible());
    auto* reason = Control<QComboBox>(&dialog, CReservationDlg::kIdChangeReason);
    ASSERT_TRUE(reason->isVisible());
    reason->setEditText(QStringLiteral("患者都合"));
    Control<QDateEdit>(&dialog, CReservationDlg::kIdDate)->setDate(QDate(2024, 5, 8));
    dialog.ChooseBand(1400, 1430);
    ClickOk(dialog);

    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_NE(dialog.SavedReservationNo(), "0000000007");
    EXPECT_EQ(dialog.DateText(), QStringLiteral("2024/05/08"));
    const auto all = Reservations();
    ASSERT_EQ(all.size(), 2u);
    for (const auto& r : all) {
        if (std::string(r.ReservationNo) == "0000000007") {
            EXPECT_EQ(r.Status, static_cast<uint8_t>(ResStatus::Changed));
            EXPECT_EQ(Cp932FieldToQString(r.StatusReason, sizeof r.StatusReason),
                      QStringLiteral("患者都合"));
            EXPECT_EQ(std::string(r.StatusDate), "20240420");
        } else {
            EXPECT_EQ(std::string(r.ReservationNo), dialog.SavedReservationNo());
            EXPECT_EQ(r.Status, static_cast<uint8_t>(ResStatus::Booked));
            EXPECT_EQ(std::string(r.ResDate), "20240508");
            EXPECT_EQ(std::string(r.StartTime), "1400");
        }
    }
}

TEST_F(ReservationDlgTest, TreatmentSelectionAppendsItemTextsWithinTheLimit) {
    CTreatmentCategoryDB categories;
    ASSERT_EQ(categories.SetAssociatedDB(&m_db), 0);
    SetField(categories.m_Data.Code, "001");
    SetCp932Field(categories.m_Data.Name, sizeof categories.m_Data.Name, QStringLiteral("矯正"));
    ASSERT_EQ(categories.Insert(), 0);
    SetField(categories.m_Data.Code, "002");
    SetField(categories.m_Data.HiddenMark, "__");
    ASSERT_EQ(categories.Insert(), 0);
    CTreatmentItemDB items;
    ASSERT_EQ(items.SetAssociatedDB(&m_db), 0);
    SetField(items.m_Data.CategoryCode, "001");
    SetField(items.m_Data.ItemCode, "001");
    SetCp932Field(items.m_Data.Text, sizeof items.m_Data.Text, QStringLiteral("ワイヤー調整"));
    ASSERT_EQ(items.Insert(), 0);

    QLineEdit treatment;
    treatment.setText(QStringLiteral("定期"));
    CTreatmentSelectDlg dialog(&m_db, &treatment);
    auto* combo = Control<QComboBox>(&dialog, CTreatmentSelectDlg::kIdCategory);
    EXPECT_EQ(combo->count(), 1);
    auto* list = Control<QListWidget>(&dialog, CTreatmentSelectDlg::kIdItems);
    ASSERT_EQ(list->count(), 1);
    list->setCurrentRow(0);
    Control<QPushButton>(&dialog, CTreatmentSelectDlg::kIdAppend)->click();
    EXPECT_EQ(treatment.text(), QStringLiteral("定期ワイヤー調整"));

    treatment.setText(QString(98, QChar(u'歯')));  // 196 bytes
    dialog.AppendSelected();
    EXPECT_EQ(treatment.text(), QString(98, QChar(u'歯')) + QStringLiteral("ワイ"));
}

TEST_F(ReservationDlgTest, OnNewReservationGivesTheBookedDayOrNothing) {
    CVeloSheet module;
    OnModal([](QDialog* dialog) { dialog->reject(); });
    EXPECT_EQ(module.OnNewReservation(&m_db, kPatient), QString());
    EXPECT_TRUE(Reservations().empty());

    QString proposed;
    bool patientFixed = false;
    OnModal([&](QDialog* shown) {
        auto* dialog = qobject_cast<CReservationDlg*>(shown);
        ASSERT_NE(dialog, nullptr);
        proposed = dialog->DateText();
        patientFixed = Control<QLineEdit>(dialog, CReservationDlg::kIdChartNo)->isReadOnly();
        Control<QDateEdit>(dialog, CReservationDlg::kIdDate)->setDate(QDate(2024, 5, 1));
        dialog->ChooseBand(1500, 1530);
        Control<QPushButton>(dialog, CReservationDlg::kIdOk)->click();
    });
    EXPECT_EQ(module.OnNewReservation(&m_db, kPatient), QStringLiteral("20240501"));
    EXPECT_EQ(proposed, QStringLiteral("2024/05/20"));  // today + 30
    EXPECT_TRUE(patientFixed);
    ASSERT_EQ(Reservations().size(), 1u);
    EXPECT_EQ(std::string(Reservations()[0].PatientID), kPatient);
}

TEST_F(ReservationDlgTest, DoChangeReservationGivesTheNewDay) {
    AddReservation("0000000009", kDay, 900, 930);
    CVeloSheet module;
    // The reference comes first; closing it still shows the dialog, whose cancel changes nothing.
    bool referenceFirst = false;
    OnModal([&](QDialog* reference) {
        referenceFirst = qobject_cast<CReferenceDlg*>(reference) != nullptr;
        OnModal([](QDialog* dialog) { dialog->reject(); });
        reference->reject();
    });
    EXPECT_EQ(module.DoChangeReservation(&m_db, "0000000009"), QString());
    EXPECT_TRUE(referenceFirst);

    // The day picked on the reference arrives in the dialog, which books the change.
    QString dateShown;
    OnModal([&](QDialog* shown) {
        auto* reference = qobject_cast<CReferenceDlg*>(shown);
        ASSERT_NE(reference, nullptr);
        OnModal([&](QDialog* shownAgain) {
            auto* dialog = qobject_cast<CReservationDlg*>(shownAgain);
            ASSERT_NE(dialog, nullptr);
            dateShown = dialog->DateText();
            dialog->ChooseBand(1000, 1030);
            Control<QPushButton>(dialog, CReservationDlg::kIdOk)->click();
        });
        reference->SelectDay(QDate(2024, 6, 3));
        reference->findChild<QPushButton*>(QString::number(CReferenceDlg::kIdOk))->click();
    });
    EXPECT_EQ(module.DoChangeReservation(&m_db, "0000000009"), QStringLiteral("20240603"));
    EXPECT_EQ(dateShown, QStringLiteral("2024/06/03"));
    int changed = 0;
    for (const auto& r : Reservations()) changed += r.Status == uint8_t(ResStatus::Changed);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(Reservations().size(), 2u);
}

TEST_F(ReservationDlgTest, DoCancelReservationAnsweredNoChangesNothing) {
    AddReservation("0000000009", kDay, 900, 930);
    AnswerEverything(CMessageService::IDNO);
    CVeloSheet module;
    EXPECT_EQ(module.DoCancelReservation(&m_db, "0000000009", 2), 2);
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(CMessageService::History()[0].text, QStringLiteral("予約をキャンセルしてもよろしいですか。"));
    EXPECT_EQ(Reservations()[0].Status, 0);

    AnswerEverything(CMessageService::IDYES);
    EXPECT_EQ(module.DoCancelReservation(&m_db, "", 2), 0);
}

TEST_F(ReservationDlgTest, TheCancelReasonDialogWritesStatusDayAndReason) {
    AddReservation("0000000009", kDay, 900, 930);
    CVeloSheet module;
    QString reasonAfterAdd;
    OnModal([&](QDialog* dialog) {
        ASSERT_EQ(dialog->windowTitle(), QStringLiteral("キャンセル理由入力"));
        auto* combo = Control<QComboBox>(dialog, CCancelReasonDlg::kIdReason);
        EXPECT_EQ(combo->count(), 0);
        OnModal([](QDialog* entry) {
            entry->findChild<QLineEdit*>(QStringLiteral("name"))->setText(QStringLiteral("体調不良"));
            entry->findChild<QPushButton*>(QStringLiteral("1"))->click();
        });
        Control<QPushButton>(dialog, CCancelReasonDlg::kIdAddReason)->click();
        EXPECT_EQ(combo->count(), 1);
        reasonAfterAdd = combo->currentText();
        Control<QPushButton>(dialog, CCancelReasonDlg::kIdOk)->click();
    });
    EXPECT_EQ(module.DoCancelReservation(&m_db, "0000000009", 3), 1);
    EXPECT_EQ(reasonAfterAdd, QStringLiteral("体調不良"));
    const tagRESERVATIONDB r = Reservations()[0];
    EXPECT_EQ(r.Status, 3);
    EXPECT_EQ(std::string(r.StatusDate), "20240420");
    EXPECT_EQ(Cp932FieldToQString(r.StatusReason, sizeof r.StatusReason), QStringLiteral("体調不良"));
}

TEST_F(ReservationDlgTest, TheCancelReasonDialogStaysOpenWhenTheWriteFails) {
    CCancelReasonDlg dialog(&m_db, "0000000404", 2);
    dialog.show();
    // A reason longer than the field is cut at 100 bytes while typed.
    auto* combo = Control<QComboBox>(&dialog, CCancelReasonDlg::kIdReason);
    combo->setEditText(QString(60, QChar(u'理')));
    EXPECT_EQ(combo->currentText(), QString(50, QChar(u'理')));
    Control<QPushButton>(&dialog, CCancelReasonDlg::kIdOk)->click();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_FALSE(CMessageService::History().isEmpty());
    EXPECT_EQ(CMessageService::History().back().text,
              QStringLiteral("データの更新を行なう際、エラーが発生します。"));
}

}  // namespace
}  // namespace velo::sheet
