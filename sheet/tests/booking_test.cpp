// Tests of the booking rules on a database the test makes: the strip and its overlap check,
// band and tip texts, the duplicate window and its warning, the dialog's message lines, the
// confirmations before a save, the save transaction (new, edit, change, fees, blocked time
// copied to all columns, a failing write) and the came, cancel and delete commands.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "recman/recman.h"
#include "sheet/bookingrules.h"
#include "sheet/bookingstrings.h"
#include "sheet/reservation.h"
#include "sheet/reservationcommands.h"
#include "sheet/reservationsave.h"
#include "sheet/tests/sheetfixture.h"
#include "suite/dbcall/accountdb.h"
#include "suite/dbcall/indexcontroldb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/saledb.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/strings.h"
#include "suite/tool/tools.h"

namespace velo::sheet {
namespace {

using Request = CMessageService::Request;

// A day in the 5 % consumption-tax years, so the tax figures stay fixed.
constexpr char kDay[] = "20100510";

class BookingTest : public SheetDbTest {
protected:
    explicit BookingTest(ETestEngine engine = ETestEngine::kEmbedded) : SheetDbTest(engine) {}

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(SheetDbTest::SetUp());
        CDate::SetTodayForTesting(2010, 5, 1);
        CMessageService::ClearHistory();
        AnswerEverything(CMessageService::IDYES);
        m_settings.consumptionTax = 1;
        m_settings.calculationTax = 1;
    }
    void TearDown() override { CMessageService::SetScript({}); }

    void AnswerEverything(int answer) {
        CMessageService::SetScript([answer](const Request&) { return answer; });
    }

    // A patient as booking sees one: a first visit and no second number.
    void AddPatient(const char* id, const char* name, bool inactive = false) {
        CPatientDB patients;
        ASSERT_EQ(patients.SetAssociatedDB(&m_db), 0);
        SetField(patients.m_Data.PatientID, id);
        SetCp932Field(patients.m_Data.Name, sizeof patients.m_Data.Name, QString::fromUtf8(name));
        SetField(patients.m_Data.FirstVisitDate, "20090101");
        patients.m_Data.InactiveFlag = inactive ? 1 : 0;
        ASSERT_EQ(patients.Insert(), 0);
    }

    void AddReservation(const char* no, const char* patient, const char* date, int start, int end,
                        const char* unit = "01", const char* doctor = "01",
                        ResStatus status = ResStatus::Booked, int fee = 0) {
        CReservationDB table;
        ASSERT_EQ(table.SetAssociatedDB(&m_db), 0);
        SetField(table.m_Data.ReservationNo, no);
        SetField(table.m_Data.PatientID, patient);
        SetField(table.m_Data.ResDate, date);
        SetTimeField(table.m_Data.StartTime, start);
        SetTimeField(table.m_Data.EndTime, end);
        SetField(table.m_Data.UnitCode, unit);
        SetField(table.m_Data.DoctorCode, doctor);
        SetField(table.m_Data.StaffCode, "000");
        SetField(table.m_Data.ResWayCode, "000");
        SetField(table.m_Data.CreditCateCode, "001");
        SetField(table.m_Data.CreditItemCode, "002");
        table.m_Data.Fee = fee;
        table.m_Data.Status = static_cast<uint8_t>(status);
        ASSERT_EQ(table.Insert(), 0);
    }

    void SetTreatment(const char* no, const char* treatment) {
        CReservationDB table;
        ASSERT_EQ(table.SetAssociatedDB(&m_db), 0);
        ASSERT_EQ(table.GetReservationData(no), 0);
        SetCp932Field(table.m_Data.Treatment, sizeof table.m_Data.Treatment,
                      QString::fromUtf8(treatment));
        ASSERT_EQ(table.Update(), 0);
    }

    tagRESERVATIONDB Reservation(const char* no) {
        CReservationDB table;
        EXPECT_EQ(table.SetAssociatedDB(&m_db), 0);
        EXPECT_EQ(table.GetReservationData(no), 0) << no;
        return table.m_Data;
    }

    int CountRecords(CBaseDBCall& table) {
        EXPECT_EQ(table.SetAssociatedDB(&m_db), 0);
        int count = 0;
        for (int st = table.GetFIRST(); st == 0 && !table.IsEOF(); st = table.GetNEXT()) ++count;
        return count;
    }
    int ReservationCount() {
        CReservationDB t;
        return CountRecords(t);
    }
    int SaleCount() {
        CSaleDB t;
        return CountRecords(t);
    }
    int SaleLineCount() {
        CSaleItemDB t;
        return CountRecords(t);
    }
    std::string NextNumber() {
        CIndexControlDB counter;
        EXPECT_EQ(counter.SetAssociatedDB(&m_db), 0);
        return counter.GetNexReservationIndex();
    }

    ReservationInput NewInput(int start, int end, const char* patient = "0000000001") {
        ReservationInput in;
        in.resDate = "2010/05/10";
        in.unitCode = "01";
        in.doctorCode = "01";
        in.resTypeCode = "001";
        in.startTime = start;
        in.endTime = end;
        in.patientId = patient;
        in.treatment = QStringLiteral("調整");
        in.entryDate = "2010/05/01";
        in.staffNumber = 3;
        in.wayNumber = 2;
        return in;
    }

    ReservationInput FeeInput(int fee) {
        ReservationInput in = NewInput(1000, 1030);
        in.came = true;
        in.collectFee = true;
        in.creditCateCode = "001";
        in.creditItemCode = "002";
        in.fee = fee;
        return in;
    }

    SheetSettings m_settings;
};

std::string Text(const char* field, size_t width) { return std::string(field, ::strnlen(field, width)); }
#define FIELD(f) Text(f, sizeof f)

// On a server, with nothing kept in the process: the save asks for its checks' reads ahead,
// and they must still see what stands in the column and what the save itself wrote.
class BookingOnServerTest : public BookingTest {
protected:
    BookingOnServerTest() : BookingTest(ETestEngine::kServerUncached) {}
    void SetUp() override {
        recman::testing::SetServerCacheRows(0);
        BookingTest::SetUp();
    }
    void TearDown() override {
        BookingTest::TearDown();
        recman::testing::SetServerCacheRows(-1);
    }
};

TEST_F(BookingOnServerTest, ACameBookingSeesItsColumnItsOwnWritesAndThePatientsLastVisit) {
    AddPatient("0000000001", "山田");
    AddPatient("0000000002", "休止", true);
    AddCreditItem("001", "002", "調整料");
    AddReservation("0000000050", "0000000001", "20100301", 900, 930, "01", "01", ResStatus::Came);
    AddReservation("0000000051", "0000000001", "20100601", 900, 930);
    AddReservation("0000000052", "0000000001", kDay, 900, 1000);
    AddReservation("0000000053", "0000000002", kDay, 1000, 1100);  // an inactive patient's

    const SaveResult saved = SaveReservation(&m_db, FeeInput(1000), m_settings);
    ASSERT_TRUE(saved.ok) << saved.stringId << " " << saved.status;
    const tagRESERVATIONDB r = Reservation(saved.reservationNo.c_str());
    EXPECT_EQ(r.Status, 1);
    CSaleDB sales;
    ASSERT_EQ(sales.SetAssociatedDB(&m_db), 0);
    EXPECT_EQ(sales.GetSaleData(FIELD(r.SaleNo).c_str()), 0);
    // The walk back from the patient's newest reservation meets the one just saved before
    // the older came day.
    CPatientDB patients;
    ASSERT_EQ(patients.SetAssociatedDB(&m_db), 0);
    ASSERT_EQ(patients.GetPatientData("0000000001"), 0);
    EXPECT_EQ(FIELD(patients.m_Data.LastVisitDate), "20100510");

    EXPECT_EQ(SaveReservation(&m_db, NewInput(915, 945), m_settings).stringId, kIdsOverlap);
    EXPECT_EQ(SaveReservation(&m_db, NewInput(1015, 1045, "0000000002"), m_settings).stringId,
              kIdsOverlap);
    EXPECT_EQ(ReservationCount(), 5);
}

TEST(BookingTexts, BandsTouchingDoNotOverlap) {
    EXPECT_FALSE(BandsOverlap(1000, 1030, 930, 1000));
    EXPECT_FALSE(BandsOverlap(930, 1000, 1000, 1030));
    EXPECT_TRUE(BandsOverlap(945, 1015, 930, 1000));
    EXPECT_TRUE(BandsOverlap(900, 1200, 1000, 1030));  // one inside the other
    EXPECT_TRUE(BandsOverlap(1000, 1030, 1000, 1030));
    EXPECT_FALSE(BandsOverlap(0, 0, 930, 1000));  // no band
}

TEST(BookingTexts, BandAndTipTextsIn24And12Hours) {
    EXPECT_EQ(BandText(945, 1000, true), QStringLiteral("09:45 - 10:00 (15分間)"));
    EXPECT_EQ(BandText(1300, 1330, false), QStringLiteral("01:00 - 01:30 (30分間)"));
    EXPECT_EQ(BandText(1150, 1310, true), QStringLiteral("11:50 - 13:10 (80分間)"));
    EXPECT_EQ(NoBandText(), QStringLiteral("00:00 - 00:00 (0分間)"));
    EXPECT_EQ(StripTipText(1300, 1330, QStringLiteral("山田"), false),
              QStringLiteral(" 01:00-01:30 (30分間)\n 山田"));
    EXPECT_EQ(StripTipText(1300, 1330, QString(), true),
              QStringLiteral(" 13:00-13:30 (30分間)\n 予約不可設定"));
}

TEST(BookingTexts, DatesAndLabCompletion) {
    EXPECT_EQ(DuplicateDateText("20240501"), QStringLiteral("2024/5/1日 (水)"));
    EXPECT_EQ(DuplicateDateText("20101231"), QStringLiteral("2010/12/31日 (金)"));
    EXPECT_TRUE(DuplicateDateText("2024").isEmpty());
    EXPECT_TRUE(IsBeforeLabCompletion("20240501", "20240502"));
    EXPECT_FALSE(IsBeforeLabCompletion("20240502", "20240502"));
    EXPECT_FALSE(IsBeforeLabCompletion("20240501", ""));
}

TEST(BookingTexts, FeeAmountsFollowTaxSettings) {
    FeeAmounts a = ComputeFeeAmounts(1000, kDay, 1, 1, false);
    EXPECT_EQ(a.amount, 1000);
    EXPECT_EQ(a.amountWithTax, 1050);
    EXPECT_EQ(a.tax, 50);
    a = ComputeFeeAmounts(1010, kDay, 1, 0, false);  // 50.5 truncated
    EXPECT_EQ(a.tax, 50);
    a = ComputeFeeAmounts(1010, kDay, 1, 2, false);  // rounded up
    EXPECT_EQ(a.tax, 51);
    a = ComputeFeeAmounts(1000, kDay, 0, 1, false);
    EXPECT_EQ(a.tax, 0);
    EXPECT_EQ(a.amountWithTax, 1000);
    EXPECT_EQ(ComputeFeeAmounts(1000, kDay, 1, 1, true).tax, 0);
}

TEST_F(BookingTest, StripOverlapAcceptsTouchingBandAndRefusesCrossingOne) {
    AddPatient("0000000001", "山田");
    AddReservation("0000000101", "0000000001", kDay, 930, 1000);
    std::vector<StripItem> strip;
    ASSERT_EQ(LoadStrip(&m_db, {false, "01", kDay, "", true}, &strip), 0);
    ASSERT_EQ(strip.size(), 1u);
    EXPECT_EQ(strip[0].tip, QStringLiteral(" 09:30-10:00 (30分間)\n 山田"));
    EXPECT_EQ(FindOverlap(strip, 1000, 1030), nullptr);
    ASSERT_NE(FindOverlap(strip, 945, 1015), nullptr);

    ReservationInput crossing = NewInput(945, 1015, "0000000002");
    EXPECT_FALSE(ConfirmBeforeSave(&m_db, crossing, m_settings, nullptr));
    ASSERT_FALSE(CMessageService::History().isEmpty());
    EXPECT_EQ(CMessageService::History().last().text, QStringLiteral("予約が重複しています。"));

    ReservationInput touching = NewInput(1000, 1030, "0000000002");
    EXPECT_TRUE(ConfirmBeforeSave(&m_db, touching, m_settings, nullptr));
    const SaveResult saved = SaveReservation(&m_db, touching, m_settings);
    ASSERT_TRUE(saved.ok) << saved.stringId;
    EXPECT_EQ(ReservationCount(), 2);
}

TEST_F(BookingTest, StripPassesOverEditedCancelledAndInactiveAndKeepsBlockedTime) {
    AddPatient("0000000001", "山田");
    AddPatient("0000000002", "休止", true);
    AddReservation("0000000101", "0000000001", kDay, 900, 930);
    AddReservation("0000000102", "0000000001", kDay, 930, 1000, "01", "01", ResStatus::Changed);
    AddReservation("0000000103", "0000000002", kDay, 1000, 1030);
    AddReservation("0000000104", "", kDay, 1300, 1330);
    AddReservation("0000000105", "0000000001", kDay, 1400, 1430, "02", "02");
    AddReservation("0000000106", "0000000001", kDay, 1500, 1530, "01", "01", ResStatus::Came);

    std::vector<StripItem> strip;
    ASSERT_EQ(LoadStrip(&m_db, {false, "01", kDay, "0000000101", false}, &strip), 0);
    ASSERT_EQ(strip.size(), 2u);
    EXPECT_EQ(strip[0].reservationNo, "0000000104");
    EXPECT_EQ(strip[0].tip, QStringLiteral(" 01:00-01:30 (30分間)\n 予約不可設定"));
    EXPECT_EQ(strip[0].start, 1300);  // stored 24-hour times stay as they are
    EXPECT_EQ(strip[1].reservationNo, "0000000106");
    EXPECT_EQ(strip[1].status, 1);

    ASSERT_EQ(LoadStrip(&m_db, {true, "02", "2010/05/10", "", true}, &strip), 0);
    ASSERT_EQ(strip.size(), 1u);
    EXPECT_EQ(strip[0].reservationNo, "0000000105");
}

TEST_F(BookingTest, DuplicateWindowSpansTheDaysAroundTheDate) {
    AddReservation("0000000101", "0000000001", "20100510", 900, 930);
    AddReservation("0000000102", "0000000001", "20100511", 1000, 1045);
    AddReservation("0000000103", "0000000001", "20100517", 1300, 1330);
    AddReservation("0000000104", "0000000001", "20100518", 1300, 1330);
    AddReservation("0000000105", "0000000001", "20100512", 1300, 1330, "01", "01",
                   ResStatus::CancelledWithNotice);
    AddReservation("0000000106", "0000000002", "20100510", 1100, 1130);
    SetTreatment("0000000102", "調整");

    std::vector<DuplicateEntry> entries;
    ASSERT_EQ(LoadDuplicateWindow(&m_db, "0000000001", kDay, 0, "", true, &entries), 0);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].reservationNo, "0000000101");
    ASSERT_EQ(LoadDuplicateWindow(&m_db, "0000000001", kDay, -3, "", true, &entries), 0);
    EXPECT_EQ(entries.size(), 1u);

    ASSERT_EQ(LoadDuplicateWindow(&m_db, "0000000001", kDay, 7, "0000000101", false, &entries), 0);
    ASSERT_EQ(entries.size(), 2u);  // 11th and 17th; the 18th is out, the 12th cancelled
    EXPECT_EQ(entries[0].date, QStringLiteral("2010/5/11日 (火)"));
    EXPECT_EQ(entries[0].time, QStringLiteral("10:00 ～ 10:45"));
    EXPECT_EQ(entries[0].length, QStringLiteral("45分間"));
    EXPECT_EQ(entries[0].treatment, QStringLiteral("調整"));
    EXPECT_EQ(entries[1].time, QStringLiteral("01:00 ～ 01:30"));

    ASSERT_EQ(LoadDuplicateWindow(&m_db, "00000000011", kDay, 7, "", true, &entries), 0);
    EXPECT_TRUE(entries.empty());  // keys longer than 10 characters are not looked up

    ASSERT_EQ(LoadDuplicateWindow(&m_db, "0000000001", kDay, 7, "0000000101", true, &entries), 0);
    const QString warning = DuplicateWarningText(kDay, 7, entries);
    const QString rule(104, QLatin1Char('_'));
    EXPECT_EQ(warning,
              QStringLiteral("指定された予約日[2010年5月10日 (月)]の7日前後に同じ患者の予約が2件入っています。\n") +
                  rule + QStringLiteral("\n\n予約日\t\t時間\t\t所要時間\t\t備考（処置）\n") +
                  QStringLiteral("2010/5/11日 (火)\t10:00 ～ 10:45\t45分間\t\t調整\n") +
                  QStringLiteral("2010/5/17日 (月)\t13:00 ～ 13:30\t30分間\t\t\n") + rule +
                  QStringLiteral("\n\nこの予約を登録してもよろしいですか。"));
}

TEST_F(BookingTest, SystemMessagesListHistoryAndPendingPaymentsOfTheMonth) {
    CContractItemDB items;
    ASSERT_EQ(items.SetAssociatedDB(&m_db), 0);
    const auto addItem = [&](const char* no, const char* due, int billing, int paid, int amount) {
        items.ClearData();
        SetField(items.m_Data.PatientID, "0000000001");
        SetField(items.m_Data.ContractNo, "0000000001");
        SetField(items.m_Data.ItemNo, no);
        SetField(items.m_Data.DueDate, due);
        items.m_Data.BillingFlag = static_cast<uint8_t>(billing);
        items.m_Data.PaidFlag = static_cast<uint8_t>(paid);
        items.m_Data.Amount = amount;
        ASSERT_EQ(items.Insert(), 0);
    };
    addItem("0000000001", "20100420", 1, 0, 30000);
    addItem("0000000002", "20100531", 1, 0, 1234567);
    addItem("0000000003", "20100515", 1, 1, 30000);  // paid
    addItem("0000000004", "20100516", 0, 0, 30000);  // not billed
    addItem("0000000005", "20100601", 1, 0, 30000);  // next month

    std::vector<PendingPayment> payments;
    ASSERT_EQ(LoadPendingPayments(&m_db, "0000000001", kDay, &payments), 0);
    ASSERT_EQ(payments.size(), 2u);
    EXPECT_EQ(payments[0].dueDate, "20100531");
    EXPECT_EQ(payments[1].dueDate, "20100420");

    std::vector<DuplicateEntry> entries(1);
    entries[0].date = QStringLiteral("2010/5/11日 (火)");
    entries[0].time = QStringLiteral("10:00 ～ 10:45");
    entries[0].length = QStringLiteral("45分間");
    entries[0].treatment = QStringLiteral("調整");
    const QStringList lines = SystemMessageLines(true, entries, payments);
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[0], QStringLiteral("―――　近日の予約履歴　―――"));
    EXPECT_EQ(lines[1], QStringLiteral("2010/5/11日 (火) 時間: 10:00 ～ 10:45  45分間 調整"));
    EXPECT_EQ(lines[2], QStringLiteral("―――　 入金予定 　―――"));
    EXPECT_EQ(lines[3], CTools::MakeDate("20100531") + QStringLiteral("　金額：    1,234,567"));
    EXPECT_TRUE(SystemMessageLines(false, {}, {}).isEmpty());
}

TEST_F(BookingTest, NextVisitRowsShowThePlanOnlyWithAFullDate) {
    AddCreditItem("001", "002", "調整料");
    tagPATIENTDB patient{};
    SetField(patient.NextVisitDate, "20100601");
    SetCp932Field(patient.NextVisitContent, sizeof patient.NextVisitContent, QStringLiteral("ワイヤー交換"));
    SetField(patient.NextFeeCateCode, "001");
    SetField(patient.NextFeeItemCode, "002");
    patient.NextIntervalUnit = 2;
    patient.NextInterval = 3;
    patient.NextDuration = 45;
    patient.NextFee = 5400;
    std::vector<NextVisitRow> rows = NextVisitRows(&m_db, patient);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].label, QStringLiteral("時期"));
    EXPECT_EQ(rows[0].value, QStringLiteral("3 ｶ月"));
    EXPECT_EQ(rows[1].value, QStringLiteral("45分"));
    EXPECT_EQ(rows[2].value, QStringLiteral("ワイヤー交換"));
    EXPECT_EQ(rows[3].value, QStringLiteral("調整料 5,400"));

    SetField(patient.NextFeeItemCode, "009");
    EXPECT_TRUE(NextVisitRows(&m_db, patient)[3].value.isEmpty());
    SetField(patient.NextVisitDate, "201006");
    rows = NextVisitRows(&m_db, patient);
    EXPECT_TRUE(rows[0].value.isEmpty());
    EXPECT_TRUE(rows[2].value.isEmpty());
}

TEST_F(BookingTest, ConfirmationsComeInOrderAndNoStops) {
    AddReservation("0000000101", "0000000001", "20100512", 900, 930);
    ReservationInput in = NewInput(0, 0);
    in.lab = true;
    in.labCompletionDate = "20100520";

    // No band, lab date and duplicates are each asked; Yes to all goes on.
    EXPECT_TRUE(ConfirmBeforeSave(&m_db, in, m_settings, nullptr));
    QList<Request> asked = CMessageService::History();
    ASSERT_EQ(asked.size(), 3);
    EXPECT_EQ(asked[0].text, QStringLiteral("予約時間の指定がありませんが、\nこのまま登録してもよろしいですか？"));
    EXPECT_EQ(asked[1].text, LoadString(kIdsLabDateQuestion));
    EXPECT_TRUE(asked[2].text.startsWith(QStringLiteral("指定された予約日[2010年5月10日 (月)]の7日前後")));
    for (const Request& r : asked) EXPECT_EQ(r.kind, CMessageService::EKind::YesNo);

    // A No at the second question stops there.
    CMessageService::ClearHistory();
    int asks = 0;
    CMessageService::SetScript([&asks](const Request&) {
        return ++asks == 2 ? CMessageService::IDNO : CMessageService::IDYES;
    });
    EXPECT_FALSE(ConfirmBeforeSave(&m_db, in, m_settings, nullptr));
    EXPECT_EQ(CMessageService::History().size(), 2);

    // The saved reservation without a band is still written.
    AnswerEverything(CMessageService::IDYES);
    const SaveResult saved = SaveReservation(&m_db, NewInput(0, 0), m_settings);
    ASSERT_TRUE(saved.ok);
    EXPECT_EQ(FIELD(Reservation(saved.reservationNo.c_str()).StartTime), "0000");
}

TEST_F(BookingTest, StaffMustBeChosenAndBlockedTimeDropsThePatient) {
    m_settings.staffSetMust = 1;
    ReservationInput in = NewInput(900, 930);
    in.staffNumber = 0;
    EXPECT_FALSE(ConfirmBeforeSave(&m_db, in, m_settings, nullptr));
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(CMessageService::History()[0].text, QStringLiteral("入力者を選択してください。"));

    CMessageService::ClearHistory();
    in.blockedTime = true;  // blocked time needs no staff, and asks to drop the patient
    EXPECT_TRUE(ConfirmBeforeSave(&m_db, in, m_settings, nullptr));
    EXPECT_TRUE(in.patientId.empty());
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_TRUE(CMessageService::History()[0].text.startsWith(
        QStringLiteral("この予約には患者情報が含まれていますが\n")));

    in.patientId = "0000000001";
    AnswerEverything(CMessageService::IDNO);
    EXPECT_FALSE(ConfirmBeforeSave(&m_db, in, m_settings, nullptr));
    EXPECT_EQ(in.patientId, "0000000001");
}

TEST_F(BookingTest, NewReservationTakesTheCounterAndWritesEveryField) {
    AddPatient("0000000001", "山田");
    ReservationInput in = NewInput(945, 1000);
    in.lab = true;
    in.materialNo = "0000000077";
    in.collectFee = true;  // not came: no sale yet
    in.creditCateCode = "001";
    in.creditItemCode = "002";
    in.fee = 3000;
    in.insurance = true;
    in.insuranceType = "01";
    const SaveResult saved = SaveReservation(&m_db, in, m_settings);
    ASSERT_TRUE(saved.ok);
    EXPECT_EQ(saved.reservationNo, "0000000001");
    EXPECT_EQ(NextNumber(), "0000000002");

    const tagRESERVATIONDB r = Reservation("0000000001");
    EXPECT_EQ(FIELD(r.ResDate), "20100510");
    EXPECT_EQ(FIELD(r.StartTime), "0945");
    EXPECT_EQ(FIELD(r.EndTime), "1000");
    EXPECT_EQ(FIELD(r.PatientID), "0000000001");
    EXPECT_EQ(Cp932FieldToQString(r.Treatment, sizeof r.Treatment), QStringLiteral("調整"));
    EXPECT_EQ(FIELD(r.MaterialNo), "0000000077");
    EXPECT_EQ(FIELD(r.RecallNo), "");
    EXPECT_EQ(r.Fee, 3000);
    EXPECT_EQ(r.InsuranceFlag, 1);
    EXPECT_EQ(FIELD(r.InsuranceType), "01");
    EXPECT_EQ(FIELD(r.StaffCode), "003");
    EXPECT_EQ(FIELD(r.ResWayCode), "002");
    EXPECT_EQ(FIELD(r.EntryDate), "20100501");
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(FIELD(r.SaleNo), "");
    EXPECT_EQ(SaleCount(), 0);

    // An edit keeps fields the dialog does not show and clears the fee without its check.
    {
        CReservationDB table;
        ASSERT_EQ(table.SetAssociatedDB(&m_db), 0);
        ASSERT_EQ(table.GetReservationData("0000000001"), 0);
        SetField(table.m_Data.ContactComment, "called");
        ASSERT_EQ(table.Update(), 0);
    }
    ReservationInput edit = in;
    edit.reservationNo = "0000000001";
    edit.collectFee = false;
    edit.startTime = 1000;
    edit.endTime = 1030;
    ASSERT_TRUE(SaveReservation(&m_db, edit, m_settings).ok);
    const tagRESERVATIONDB edited = Reservation("0000000001");
    EXPECT_EQ(FIELD(edited.ContactComment), "called");
    EXPECT_EQ(FIELD(edited.StartTime), "1000");
    EXPECT_EQ(edited.Fee, 0);
    EXPECT_EQ(edited.InsuranceFlag, 0);
    EXPECT_EQ(ReservationCount(), 1);

    // A counter left behind the numbers in use (a restored database) does not lock booking
    // up: the next reservations take the numbers after the highest one.
    {
        CIndexControlDB counter;
        ASSERT_EQ(counter.SetAssociatedDB(&m_db), 0);
        const char key[sizeof counter.m_Data.IndexName] = "RESERVATION";
        counter.SetKeyBuffer(key, sizeof key);
        ASSERT_EQ(counter.GetEQUAL(), 0);
        counter.m_Data.NextValue = 1;
        ASSERT_EQ(counter.Update(), 0);
    }
    for (const auto& [start, expected] : {std::pair{1100, "0000000002"}, {1130, "0000000003"}}) {
        const SaveResult next = SaveReservation(&m_db, NewInput(start, start + 30), m_settings);
        ASSERT_TRUE(next.ok) << next.stringId << " " << next.status;
        EXPECT_EQ(next.reservationNo, expected);
    }
}

TEST_F(BookingTest, CameFeeBooksSaleWithTaxOnceAndRefreshesAnUnreceivedOne) {
    AddPatient("0000000001", "山田");
    AddCreditItem("001", "002", "調整料");
    ReservationInput in = FeeInput(1000);
    const SaveResult saved = SaveReservation(&m_db, in, m_settings);
    ASSERT_TRUE(saved.ok);
    tagRESERVATIONDB r = Reservation(saved.reservationNo.c_str());
    EXPECT_EQ(r.Status, 1);
    const std::string saleNo = FIELD(r.SaleNo);
    ASSERT_FALSE(saleNo.empty());

    CSaleDB sales;
    ASSERT_EQ(sales.SetAssociatedDB(&m_db), 0);
    ASSERT_EQ(sales.GetSaleData(saleNo.c_str()), 0);
    EXPECT_EQ(sales.m_Data.Amount, 1000);
    EXPECT_EQ(sales.m_Data.AmountWithTax, 1050);
    EXPECT_EQ(sales.m_Data.Tax, 50);
    EXPECT_EQ(FIELD(sales.m_Data.SaleDate), "20100510");
    EXPECT_EQ(FIELD(sales.m_Data.SaleKind), "00");
    CSaleItemDB lines;
    ASSERT_EQ(lines.SetAssociatedDB(&m_db), 0);
    ASSERT_EQ(lines.GetSaleItemData(saleNo.c_str(), "001"), 0);
    EXPECT_EQ(Cp932FieldToQString(lines.m_Data.ItemName, sizeof lines.m_Data.ItemName),
              QStringLiteral("調整料"));
    EXPECT_EQ(lines.m_Data.Quantity, 1);
    EXPECT_EQ(lines.m_Data.Amount, 1000);

    // Saving again books no second sale; a new fee updates the unreceived sale and line.
    in.reservationNo = saved.reservationNo;
    in.fee = 2000;
    ASSERT_TRUE(SaveReservation(&m_db, in, m_settings).ok);
    EXPECT_EQ(SaleCount(), 1);
    EXPECT_EQ(SaleLineCount(), 1);
    EXPECT_EQ(FIELD(Reservation(saved.reservationNo.c_str()).SaleNo), saleNo);
    ASSERT_EQ(sales.GetSaleData(saleNo.c_str()), 0);
    EXPECT_EQ(sales.m_Data.AmountWithTax, 2100);
    ASSERT_EQ(lines.GetSaleItemData(saleNo.c_str(), "001"), 0);
    EXPECT_EQ(lines.m_Data.Amount, 2000);

    // The fee made the insurance-covered part: no tax, and the line says so.
    in.insurance = true;
    in.insuranceType = "01";
    ASSERT_TRUE(SaveReservation(&m_db, in, m_settings).ok);
    ASSERT_EQ(sales.GetSaleData(saleNo.c_str()), 0);
    EXPECT_EQ(sales.m_Data.Tax, 0);
    EXPECT_EQ(sales.m_Data.AmountWithTax, 2000);
    ASSERT_EQ(lines.GetSaleItemData(saleNo.c_str(), "001"), 0);
    EXPECT_EQ(lines.m_Data.InsuranceFlag, 1);
    EXPECT_EQ(FIELD(lines.m_Data.InsuranceType), "01");

    // A received sale is left as it was.
    sales.m_Data.ReceivedFlag = 1;
    ASSERT_EQ(sales.Update(), 0);
    in.fee = 3000;
    ASSERT_TRUE(SaveReservation(&m_db, in, m_settings).ok);
    ASSERT_EQ(sales.GetSaleData(saleNo.c_str()), 0);
    EXPECT_EQ(sales.m_Data.Amount, 2000);
    EXPECT_EQ(SaleCount(), 1);

    // A new came reservation with an insurance-covered fee is booked without tax.
    ReservationInput insured = FeeInput(1000);
    insured.startTime = 1100;
    insured.endTime = 1130;
    insured.insurance = true;
    insured.insuranceType = "02";
    const SaveResult second = SaveReservation(&m_db, insured, m_settings);
    ASSERT_TRUE(second.ok);
    const std::string secondSale = FIELD(Reservation(second.reservationNo.c_str()).SaleNo);
    ASSERT_EQ(sales.GetSaleData(secondSale.c_str()), 0);
    EXPECT_EQ(sales.m_Data.Tax, 0);
    EXPECT_EQ(sales.m_Data.AmountWithTax, 1000);
    ASSERT_EQ(lines.GetSaleItemData(secondSale.c_str(), "001"), 0);
    EXPECT_EQ(lines.m_Data.InsuranceFlag, 1);
    EXPECT_EQ(FIELD(lines.m_Data.InsuranceType), "02");
}

TEST_F(BookingTest, ChangeLeavesOldRecordAsChangedAndInsertsANewNumber) {
    AddPatient("0000000001", "山田");
    const SaveResult first = SaveReservation(&m_db, NewInput(900, 930), m_settings);
    ASSERT_TRUE(first.ok);

    ReservationInput change = NewInput(1400, 1430);
    change.dialogMode = kDialogModeChange;
    change.reservationNo = first.reservationNo;
    change.resDate = "2010/05/12";
    change.changeReason = QStringLiteral("患者都合");
    change.came = true;  // hidden in change mode: never written
    const SaveResult changed = SaveReservation(&m_db, change, m_settings);
    ASSERT_TRUE(changed.ok);
    EXPECT_NE(changed.reservationNo, first.reservationNo);

    const tagRESERVATIONDB old = Reservation(first.reservationNo.c_str());
    EXPECT_EQ(old.Status, 5);
    EXPECT_EQ(Cp932FieldToQString(old.StatusReason, sizeof old.StatusReason), QStringLiteral("患者都合"));
    EXPECT_EQ(FIELD(old.StatusDate), "20100501");
    EXPECT_EQ(FIELD(old.StartTime), "0900");
    const tagRESERVATIONDB now = Reservation(changed.reservationNo.c_str());
    EXPECT_EQ(now.Status, 0);
    EXPECT_EQ(FIELD(now.ResDate), "20100512");
    EXPECT_EQ(FIELD(now.StartTime), "1400");
    EXPECT_EQ(ReservationCount(), 2);
}

TEST_F(BookingTest, StandbyEntryFollowsItsBookingAndCameRunsTheLastVisitRule) {
    AddPatient("0000000001", "山田");
    {
        CReservationStandbyDB standby;
        ASSERT_EQ(standby.SetAssociatedDB(&m_db), 0);
        SetField(standby.m_Data.StandbyNo, "0000000004");
        SetField(standby.m_Data.PatientID, "0000000001");
        ASSERT_EQ(standby.Insert(), 0);
    }
    ReservationInput in = NewInput(900, 930);
    in.standbyNo = "0000000004";
    in.came = true;
    const SaveResult saved = SaveReservation(&m_db, in, m_settings);
    ASSERT_TRUE(saved.ok);
    CReservationStandbyDB standby;
    ASSERT_EQ(standby.SetAssociatedDB(&m_db), 0);
    ASSERT_EQ(standby.GetReservationStandbyData("0000000004"), 0);
    EXPECT_EQ(FIELD(standby.m_Data.ReservationNo), saved.reservationNo);
    CPatientDB patients;
    ASSERT_EQ(patients.SetAssociatedDB(&m_db), 0);
    ASSERT_EQ(patients.GetPatientData("0000000001"), 0);
    EXPECT_EQ(FIELD(patients.m_Data.LastVisitDate), "20100510");

    // Changing the booked reservation moves the entry to the new booking; another entry
    // stays as it was.
    SetField(standby.m_Data.StandbyNo, "0000000005");
    SetField(standby.m_Data.ReservationNo, "0000000099");
    ASSERT_EQ(standby.Insert(), 0);
    ReservationInput change = NewInput(1400, 1430);
    change.dialogMode = kDialogModeChange;
    change.reservationNo = saved.reservationNo;
    const SaveResult changed = SaveReservation(&m_db, change, m_settings);
    ASSERT_TRUE(changed.ok);
    ASSERT_EQ(standby.GetReservationStandbyData("0000000004"), 0);
    EXPECT_EQ(FIELD(standby.m_Data.ReservationNo), changed.reservationNo);
    ASSERT_EQ(standby.GetReservationStandbyData("0000000005"), 0);
    EXPECT_EQ(FIELD(standby.m_Data.ReservationNo), "0000000099");
}

TEST_F(BookingTest, BlockedTimeCopiesToVisibleUnitsAndRollsBackWholeOnOneOverlap) {
    AddCategory("1", "01");
    AddCategory("1", "02");
    AddCategory("1", "03", "", 0, true);  // hidden: no copy
    AddCategory("1", "04");
    ReservationInput in = NewInput(1200, 1300);
    in.blockedTime = true;
    in.applyToAll = true;
    const SaveResult saved = SaveReservation(&m_db, in, m_settings);
    ASSERT_TRUE(saved.ok);
    EXPECT_EQ(ReservationCount(), 3);
    for (const char* unit : {"02", "04"}) {
        std::vector<StripItem> strip;
        ASSERT_EQ(LoadStrip(&m_db, {false, unit, kDay, "", true}, &strip), 0);
        ASSERT_EQ(strip.size(), 1u) << unit;
        EXPECT_EQ(strip[0].start, 1200);
    }
    EXPECT_EQ(FIELD(Reservation(saved.reservationNo.c_str()).PatientID), "");
    EXPECT_EQ(FIELD(Reservation(saved.reservationNo.c_str()).StaffCode), "000");

    // One overlapping column refuses everything: no record, no number taken.
    AddReservation("0000000900", "0000000001", kDay, 1330, 1400, "04", "01");
    const std::string next = NextNumber();
    ReservationInput second = NewInput(1330, 1430);
    second.blockedTime = true;
    second.applyToAll = true;
    const SaveResult refused = SaveReservation(&m_db, second, m_settings);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.stringId, kIdsOverlap);
    EXPECT_EQ(ReservationCount(), 4);
    EXPECT_EQ(NextNumber(), next);
}

TEST_F(BookingTest, DoctorModeCopiesPassOverOtherDoctorsOfTheDay) {
    AddDoctor("01");
    AddDoctor("02");
    AddDoctor("03", "", true);  // hidden: gets no copy
    // The hidden doctor is busy at noon. Doctor 02 has nothing that day, so a scan of 02's
    // column that ran on into the next doctor would find this record.
    AddReservation("0000000900", "0000000001", kDay, 1200, 1300, "05", "03");
    ReservationInput in = NewInput(1200, 1300);
    in.columnMode = 1;
    in.blockedTime = true;
    in.applyToAll = true;
    const SaveResult saved = SaveReservation(&m_db, in, m_settings);
    ASSERT_TRUE(saved.ok) << saved.stringId;
    EXPECT_EQ(ReservationCount(), 3);
    std::vector<StripItem> strip;
    ASSERT_EQ(LoadStrip(&m_db, {true, "02", kDay, "", true}, &strip), 0);
    ASSERT_EQ(strip.size(), 1u);
    EXPECT_EQ(strip[0].start, 1200);

    // Crossing the first blocked time: refused, nothing added.
    in.startTime = 1230;
    in.endTime = 1330;
    EXPECT_EQ(SaveReservation(&m_db, in, m_settings).stringId, kIdsOverlap);
    EXPECT_EQ(ReservationCount(), 3);
}

TEST_F(BookingTest, FailingWriteRollsBackEverythingWith1514) {
    AddPatient("0000000001", "山田");
    const std::string next = NextNumber();
    recman::Shutdown();
    bool failWrites = false;
    recman::testing::SetFileEventHook([&failWrites](recman::testing::FileEvent event, const char*) {
        return !(failWrites && event == recman::testing::FileEvent::kWrite);
    });
    failWrites = true;
    const SaveResult result = SaveReservation(&m_db, FeeInput(1000), m_settings);
    failWrites = false;
    recman::testing::SetFileEventHook({});
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.stringId, kIdsUpdateFailed);
    EXPECT_NE(result.status, 0);
    EXPECT_EQ(ReservationCount(), 0);
    EXPECT_EQ(SaleCount(), 0);
    EXPECT_EQ(SaleLineCount(), 0);
    EXPECT_EQ(NextNumber(), next);
    EXPECT_FALSE(CBaseDBCall::InTransaction());

    CMessageService::ClearHistory();
    ShowSaveFailure(nullptr, result);
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(CMessageService::History()[0].text,
              QStringLiteral("データの更新を行なう際、エラーが発生します。"));
}

TEST_F(BookingTest, CameSwitchRefusesReceivedFeeAndKeepsOrRemovesSales) {
    AddPatient("0000000001", "山田");
    AddReservation("0000000101", "0000000001", kDay, 900, 930, "01", "01", ResStatus::Booked, 1000);

    // Ticking books the fee; ticking again keeps that sale.
    ASSERT_EQ(SwitchCame(&m_db, "0000000101", true, m_settings, nullptr), 0);
    const std::string saleNo = FIELD(Reservation("0000000101").SaleNo);
    ASSERT_FALSE(saleNo.empty());
    EXPECT_EQ(Reservation("0000000101").Status, 1);
    ASSERT_EQ(SwitchCame(&m_db, "0000000101", true, m_settings, nullptr), 0);
    EXPECT_EQ(FIELD(Reservation("0000000101").SaleNo), saleNo);
    EXPECT_EQ(SaleCount(), 1);

    // A received fee refuses the untick and changes nothing.
    {
        CSaleDB sales;
        ASSERT_EQ(sales.SetAssociatedDB(&m_db), 0);
        ASSERT_EQ(sales.GetSaleData(saleNo.c_str()), 0);
        sales.m_Data.ReceivedFlag = 1;
        ASSERT_EQ(sales.Update(), 0);
    }
    CMessageService::ClearHistory();
    EXPECT_EQ(SwitchCame(&m_db, "0000000101", false, m_settings, nullptr), kCameSwitchRefused);
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(CMessageService::History()[0].text, CameRefusedText());
    EXPECT_EQ(Reservation("0000000101").Status, 1);
    EXPECT_EQ(FIELD(Reservation("0000000101").SaleNo), saleNo);

    // An unreceived sale goes with its lines when unticked.
    {
        CSaleDB sales;
        ASSERT_EQ(sales.SetAssociatedDB(&m_db), 0);
        ASSERT_EQ(sales.GetSaleData(saleNo.c_str()), 0);
        sales.m_Data.ReceivedFlag = 0;
        ASSERT_EQ(sales.Update(), 0);
    }
    ASSERT_EQ(SwitchCame(&m_db, "0000000101", false, m_settings, nullptr), 0);
    EXPECT_EQ(Reservation("0000000101").Status, 0);
    EXPECT_EQ(FIELD(Reservation("0000000101").SaleNo), "");
    EXPECT_EQ(SaleCount(), 0);
    EXPECT_EQ(SaleLineCount(), 0);
}

TEST_F(BookingTest, CameSwitchWritesStatusWithoutSaleAndSparesInsuredFeeTheTax) {
    AddPatient("0000000001", "山田");
    AddReservation("0000000101", "0000000001", kDay, 900, 930, "01", "01", ResStatus::Came, 1000);
    ASSERT_EQ(SwitchCame(&m_db, "0000000101", false, m_settings, nullptr), 0);
    EXPECT_EQ(Reservation("0000000101").Status, 0);

    {
        CReservationDB table;
        ASSERT_EQ(table.SetAssociatedDB(&m_db), 0);
        ASSERT_EQ(table.GetReservationData("0000000101"), 0);
        table.m_Data.InsuranceFlag = 1;
        SetField(table.m_Data.InsuranceType, "01");
        ASSERT_EQ(table.Update(), 0);
    }
    ASSERT_EQ(SwitchCame(&m_db, "0000000101", true, m_settings, nullptr), 0);
    const std::string saleNo = FIELD(Reservation("0000000101").SaleNo);
    CSaleDB sales;
    ASSERT_EQ(sales.SetAssociatedDB(&m_db), 0);
    ASSERT_EQ(sales.GetSaleData(saleNo.c_str()), 0);
    EXPECT_EQ(sales.m_Data.Tax, 0);
    EXPECT_EQ(sales.m_Data.AmountWithTax, 1000);
    CSaleItemDB lines;
    ASSERT_EQ(lines.SetAssociatedDB(&m_db), 0);
    ASSERT_EQ(lines.GetSaleItemData(saleNo.c_str(), "001"), 0);
    EXPECT_EQ(lines.m_Data.InsuranceFlag, 1);
    EXPECT_EQ(FIELD(lines.m_Data.InsuranceType), "01");

    CPatientDB patients;
    ASSERT_EQ(patients.SetAssociatedDB(&m_db), 0);
    ASSERT_EQ(patients.GetPatientData("0000000001"), 0);
    EXPECT_EQ(FIELD(patients.m_Data.LastVisitDate), "20100510");
    // Ticking a forgotten older visit leaves the last visit at the later day.
    AddReservation("0000000103", "0000000001", "20100503", 900, 930);
    ASSERT_EQ(SwitchCame(&m_db, "0000000103", true, m_settings, nullptr), 0);
    ASSERT_EQ(patients.GetPatientData("0000000001"), 0);
    EXPECT_EQ(FIELD(patients.m_Data.LastVisitDate), "20100510");

    AddReservation("0000000102", "0000000001", kDay, 1000, 1030, "01", "01", ResStatus::Revoked);
    EXPECT_EQ(SwitchCame(&m_db, "0000000102", true, m_settings, nullptr), recman::kInvalidPositioning);
    EXPECT_EQ(SwitchCame(&m_db, "0000000999", true, m_settings, nullptr), recman::kKeyNotFound);
}

TEST_F(BookingTest, CancelWritesStatusDateAndReasonCutTo100Bytes) {
    AddReservation("0000000101", "0000000001", kDay, 900, 930);
    ASSERT_EQ(CancelReservation(&m_db, "0000000101", 3, QString()), 0);
    tagRESERVATIONDB r = Reservation("0000000101");
    EXPECT_EQ(r.Status, 3);
    EXPECT_EQ(FIELD(r.StatusDate), "20100501");
    EXPECT_EQ(FIELD(r.StatusReason), "");

    ASSERT_EQ(CancelReservation(&m_db, "0000000101", 2, QString(60, QChar(u'あ'))), 0);
    r = Reservation("0000000101");
    EXPECT_EQ(r.Status, 2);
    EXPECT_EQ(Cp932FieldToQString(r.StatusReason, sizeof r.StatusReason), QString(50, QChar(u'あ')));

    EXPECT_EQ(CancelReservation(&m_db, "0000000101", 5, QString()), recman::kInvalidOperation);
    EXPECT_EQ(CancelReservation(&m_db, "", 2, QString()), recman::kInvalidOperation);
    EXPECT_EQ(CancelReservation(&m_db, "0000000999", 2, QString()), recman::kKeyNotFound);
    EXPECT_EQ(Reservation("0000000101").Status, 2);

    // A cancelled reservation leaves the strip but stays in the file.
    std::vector<StripItem> strip;
    ASSERT_EQ(LoadStrip(&m_db, {false, "01", kDay, "", true}, &strip), 0);
    EXPECT_TRUE(strip.empty());
    EXPECT_EQ(ReservationCount(), 1);
}

TEST_F(BookingTest, DeleteOnlyBookedReservationsAndOnlyOnYes) {
    AddReservation("0000000101", "0000000001", kDay, 900, 930);
    AddReservation("0000000102", "0000000001", kDay, 930, 1000, "01", "01", ResStatus::Came);

    EXPECT_EQ(DeleteReservation(&m_db, "0000000102"), recman::kInvalidPositioning);
    EXPECT_EQ(AskAndDeleteReservation(&m_db, "0000000102", nullptr), 0);
    EXPECT_TRUE(CMessageService::History().isEmpty());  // not deletable: nothing asked

    AnswerEverything(CMessageService::IDNO);
    EXPECT_EQ(AskAndDeleteReservation(&m_db, "0000000101", nullptr), 0);
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(CMessageService::History()[0].text, QStringLiteral("予約データを削除してよろしいですか。"));
    EXPECT_EQ(ReservationCount(), 2);

    AnswerEverything(CMessageService::IDYES);
    EXPECT_EQ(AskAndDeleteReservation(&m_db, "0000000101", nullptr), 1);
    EXPECT_EQ(ReservationCount(), 1);
    EXPECT_EQ(DeleteReservation(&m_db, "0000000101"), recman::kKeyNotFound);
}

TEST_F(BookingTest, CancelReasonsInCodeOrder) {
    CResReasonDB reasons;
    ASSERT_EQ(reasons.SetAssociatedDB(&m_db), 0);
    for (const auto& [code, name] : {std::pair{"003", "体調不良"}, {"001", "仕事"}, {"002", "天候"}}) {
        reasons.ClearData();
        SetField(reasons.m_Data.ReasonCode, code);
        SetCp932Field(reasons.m_Data.ReasonName, sizeof reasons.m_Data.ReasonName, QString::fromUtf8(name));
        ASSERT_EQ(reasons.Insert(), 0);
    }
    EXPECT_EQ(CancelReasonNames(&m_db),
              (QStringList{QStringLiteral("仕事"), QStringLiteral("天候"), QStringLiteral("体調不良")}));
}

}  // namespace
}  // namespace velo::sheet
