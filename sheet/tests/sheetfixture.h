// Fixtures the appointment-sheet tests share. SheetDbTest is a fresh database folder with
// helpers that add the master records the sheet reads (categories, doctors, patients, credit
// items) and the reservations the grid draws; each record starts zero-filled and gets only
// the fields a test names, so a test's SetUp reads as the data it sets up. SheetAppTest adds
// what a widget test needs around it: the QApplication and settings kept in a temporary
// folder of the test's own.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <functional>

#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/testsupport/application.h"
#include "suite/testsupport/records.h"
#include "suite/testsupport/testdatabase.h"
#include "suite/text/cp932.h"
#include "suite/text/globalsettings.h"
#include "suite/text/hostprofile.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"

namespace velo::sheet {

// A reservation as the grid stores it, its times as "HHMM" texts.
struct TestReservation {
    const char* no;
    const char* patient;
    const char* date;
    const char* start;
    const char* end;
    const char* unit = "01";
    const char* doctor = "01";
    uint8_t status = 0;
    const char* type = "01";
    const char* material = "";
};

class SheetDbTest : public DbFolderTest {
protected:
    using DbFolderTest::DbFolderTest;

    // Fields of a patient record beyond the ones AddPatient takes.
    using PatientExtras = std::function<void(tagPATIENTDB&)>;
    // Fields of a reservation record beyond the ones TestReservation holds.
    using ReservationExtras = std::function<void(tagRESERVATIONDB&)>;

    template <typename Table, typename Fill>
    void Insert(Fill fill) {
        InsertTestRecord<Table>(m_db, fill);
    }

    // A category of `type`: "0" reservation type, "1" unit, "2" insurance type. A colour of 0
    // leaves the bar colour unset; `hidden` marks the entry "__".
    void AddCategory(const char* type, const char* code, const char* name = "", uint32_t colour = 0,
                     bool hidden = false) {
        Insert<CCategoryDB>([&](tagCATEGORYDB& r) {
            SetField(r.Type, type);
            SetField(r.Code, code);
            SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8(name));
            r.Colour = static_cast<int32_t>(colour);
            if (hidden) SetField(r.HiddenMark, "__");
        });
    }

    void AddDoctor(const char* code, const char* name = "", bool hidden = false) {
        Insert<CDoctorDB>([&](tagDOCTORDB& r) {
            SetField(r.Code, code);
            SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8(name));
            if (hidden) SetField(r.HiddenMark, "__");
        });
    }

    // A patient whose second number is its number; `extras` sets any further fields.
    void AddPatient(const char* id, const char* name, const char* kana = "", const char* chart = "",
                    uint8_t inactive = 0, const PatientExtras& extras = {}) {
        Insert<CPatientDB>([&](tagPATIENTDB& r) {
            SetField(r.PatientID, id);
            SetField(r.Patient2ID, id);
            SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8(name));
            SetCp932Field(r.Kana, sizeof r.Kana, QString::fromUtf8(kana));
            SetField(r.ChartNo, chart);
            r.InactiveFlag = inactive;
            if (extras) extras(r);
        });
    }

    void AddReservation(const TestReservation& res, const ReservationExtras& extras = {}) {
        Insert<CReservationDB>([&](tagRESERVATIONDB& r) {
            SetField(r.ReservationNo, res.no);
            SetField(r.PatientID, res.patient);
            SetField(r.ResDate, res.date);
            SetField(r.StartTime, res.start);
            SetField(r.EndTime, res.end);
            SetField(r.UnitCode, res.unit);
            SetField(r.DoctorCode, res.doctor);
            SetField(r.ResTypeCode, res.type);
            SetField(r.MaterialNo, res.material);
            r.Status = res.status;
            if (extras) extras(r);
        });
    }

    void AddCreditCategory(const char* code) {
        Insert<CCreditCategoryDB>([&](tagCREDITCATEGORYDB& r) { SetField(r.Code, code); });
    }

    void AddCreditItem(const char* category, const char* item, const char* name, int price = 0) {
        Insert<CCreditItemDB>([&](tagCREDITITEMDB& r) {
            SetField(r.CategoryCode, category);
            SetField(r.ItemCode, item);
            SetCp932Field(r.ItemName, sizeof r.ItemName, QString::fromUtf8(name));
            r.Price = price;
        });
    }
};

class SheetAppTest : public SheetDbTest {
protected:
    // `application` names the QApplication (made once per program); `program` is the name the
    // host profile files its settings under; `engine` is where the tables live.
    SheetAppTest(const char* application, const char* program,
                 ETestEngine engine = ETestEngine::kEmbedded)
        : SheetDbTest(engine), m_application(application), m_program(program) {}

    // Fixtures that set up more of their own start their SetUp with
    // ASSERT_NO_FATAL_FAILURE(SheetAppTest::SetUp()).
    void SetUp() override {
        EnsureQApplication(m_application);
        ASSERT_TRUE(m_config.isValid());
        ::setenv("XDG_CONFIG_HOME", m_config.path().toUtf8().constData(), 1);
        CHostProfile::SetProgramName(QString::fromUtf8(m_program));
        ASSERT_NO_FATAL_FAILURE(SheetDbTest::SetUp());
    }

    // No answer script and no fixed today outlive a test.
    void TearDown() override {
        CMessageService::SetScript({});
        CDate::SetTodayForTesting(0, 0, 0);
    }

    // Monday to Saturday 9:00-18:00 with a break from 13:00 to 14:00; Sunday closed.
    static void OpenMondayToSaturday() {
        VELOOFFICEHOUR hours{};
        for (int day = 1; day <= 6; ++day) hours.Week[day] = {900, 1300, 1400, 1800};
        ASSERT_TRUE(CGlobalSettings::SetOfficeHours(hours));
    }

    // The settings folder; tests may keep other files of their own in it too.
    QTemporaryDir m_config;

private:
    const char* m_application;
    const char* m_program;
};

}  // namespace velo::sheet
