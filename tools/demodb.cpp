// velodb demo: a clinic a person can try. The book is planned in memory (demoplan.h), then
// the masters, patients, lab items, reservations, standby entries and counters are written
// in batches of a few thousand records per transaction, and the settings, the reminder
// template and the calendar memo file are added.
#include <QDate>
#include <cstdio>
#include <map>
#include <ostream>

#include "calendarmemofile.h"
#include "demodata.h"
#include "demopeople.h"
#include "demoplan.h"
#include "suite/dbcall/indexcontroldb.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/materialdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/text/globalsettings.h"
#include "suite/text/inifile.h"
#include "suite/tool/japaneseholidays.h"
#include "velodb.h"
#include "xylodemo.h"

namespace velodb {
namespace {

// Records per transaction: large enough that commits do not dominate, small enough that
// the journal stays modest.
constexpr int kBatchSize = 4000;

struct SPatientFacts {
    QDate m_firstReservation;
    QDate m_lastCame;
    bool m_hasReservation = false;
    bool m_hasMail = false;  // reminders by mail only reach patients with an address
};

class CDemoBuilder {
public:
    CDemoBuilder(const SDemoOptions& options, std::ostream* progress)
        : m_options(options), m_progress(progress), m_random(options.m_seed) {
        m_today = options.m_today.isValid() ? options.m_today : QDate::currentDate();
    }

    bool Run(SDemoSummary* summary, std::string* error) {
        m_error = error;
        if (!CreateDatabase(m_options.m_folder, m_options.m_force, error)) return false;
        m_folder = m_options.m_folder;
        Plan();
        if (!WriteSettings() || !WriteMasters() || !WritePatients() || !WriteMaterials() ||
            !WriteReservations() || !WriteStandby() || !WriteIndexControl() ||
            !WriteCalendarMemo()) {
            return false;
        }
        m_summary.m_patients = m_options.m_patients;
        if (!m_options.m_xyloFolder.empty()) {
            SXyloInput input;
            input.m_folder = m_options.m_xyloFolder;
            input.m_practiceFolder = m_folder;
            input.m_seed = m_options.m_seed;
            input.m_today = m_today;
            input.m_force = m_options.m_force;
            if (!BuildXyloDatabase(input, &m_summary.m_xyloPatients, error)) return false;
        }
        if (summary != nullptr) *summary = m_summary;
        return true;
    }

private:
    // A failed record-manager call, told in plain words.
    bool Fail(const std::string& what, int status) {
        *m_error = what + " failed (record manager status " + std::to_string(status) + ")";
        CBaseDBCall::AbortTran();
        return false;
    }

    bool Begin() {
        const int status = CBaseDBCall::BeginTran();
        return status == 0 || Fail("starting a transaction", status);
    }

    // Commits every kBatchSize records and starts the next transaction.
    bool Step(long long done) {
        if (done % kBatchSize != 0) return true;
        const int status = CBaseDBCall::EndTran();
        if (status != 0) return Fail("committing a transaction", status);
        return Begin();
    }

    bool Commit() {
        const int status = CBaseDBCall::EndTran();
        return status == 0 || Fail("committing a transaction", status);
    }

    void Progress(const char* what, long long done, long long total) {
        if (m_progress != nullptr) *m_progress << what << " " << done << "/" << total << "\n";
    }

    bool IsClosed(const QDate& day) const {
        return IsNationalHoliday(day.year(), day.month(), day.day()) || IsClinicHoliday(day);
    }

    bool IsWorkingDay(const QDate& day) const {
        const VELOOFFICEHOURDATA& hours = m_hours.Week[day.dayOfWeek() % 7];
        return hours.Open != 0 && hours.Close != 0 && !IsClosed(day);
    }

    QDate WorkingDayBefore(QDate day) const {
        for (int i = 0; i < 30; ++i) {
            day = day.addDays(-1);
            if (IsWorkingDay(day)) return day;
        }
        return day;
    }

    void Plan() {
        m_hours = DemoOfficeHours();
        SPlanInput input;
        input.m_first = m_today.addDays(-m_options.m_daysBack);
        input.m_last = m_today.addDays(m_options.m_daysAhead);
        input.m_today = m_today;
        input.m_units = m_options.m_units;
        input.m_doctors = kDemoDoctorCount;
        input.m_patients = m_options.m_patients;
        input.m_kinds = DemoKindSlotCount();
        input.m_hours = m_hours;
        input.m_isClosed = [this](const QDate& day) { return IsClosed(day); };
        if (m_options.m_reservations >= 0) {
            m_plan = PlanReservationCount(m_options.m_seed, input, m_options.m_reservations);
        } else {
            CDemoRandom random(m_options.m_seed ^ 0x5EED);
            m_plan = PlanReservations(random, input);
        }
        m_facts.assign(static_cast<size_t>(m_options.m_patients), {});
        for (const SPlannedReservation& r : m_plan) {
            if (r.m_patient < 0) continue;
            SPatientFacts& facts = m_facts[static_cast<size_t>(r.m_patient)];
            if (!facts.m_hasReservation || r.m_date < facts.m_firstReservation) {
                facts.m_firstReservation = r.m_date;
            }
            facts.m_hasReservation = true;
            if (r.m_status == kResCame &&
                (!facts.m_lastCame.isValid() || facts.m_lastCame < r.m_date)) {
                facts.m_lastCame = r.m_date;
            }
        }
    }

    bool WriteSettings() {
        // Closed days of the clinic: the New Year and the summer break of every year the
        // book touches, written in one go.
        const std::string path = CGlobalSettings::SettingsPath();
        const int firstYear = (m_plan.empty() ? m_today : m_plan.front().m_date).year() - 1;
        const auto write = [&](CIniFile& ini) {
            for (int year = firstYear; year <= m_today.year() + 1; ++year) {
                for (const QDate& day : ClinicHolidays(year)) {
                    ini.SetInt("ClinicDayOff", QString::fromStdString(Ymd(day)), 1);
                }
            }
            ini.SetString("GLOBAL", "ClinicName", QString::fromUtf8(kDemoClinicName));
            ini.SetString("GLOBAL", "ClinicAddress", QString::fromUtf8(kDemoClinicAddress));
            ini.SetString("GLOBAL", "ClinicTel", QString::fromUtf8(kDemoClinicTel));
            return true;
        };
        std::string saveError;
        if (!CIniFile::Update(path, write, &saveError)) {
            *m_error = "cannot write " + path + ": " + saveError;
            return false;
        }
        const SDemoTemplate& t = DemoReminderTemplate();
        if (!CGlobalSettings::SetReservationTemplate(0, QString::fromUtf8(t.m_title),
                                                     QString::fromUtf8(t.m_subject),
                                                     QString::fromUtf8(t.m_body)) ||
            !CGlobalSettings::SetString("Email", "ReservationTemplate", "0") ||
            !CGlobalSettings::SetOfficeHours(m_hours)) {
            *m_error = "cannot write the reminder template into " + path;
            return false;
        }
        return true;
    }

    bool WriteMasters() {
        std::string failed;
        const int status = WriteDemoMasters(m_folder, m_options.m_units, &failed);
        return status == 0 || Fail("writing " + failed, status);
    }

    bool WritePatients() {
        CPatientDB patients;
        int status = patients.Open(m_folder);
        if (status != 0) return Fail("opening PATIENT1.BTR and PATIENT2.BTR", status);
        if (!Begin()) return false;
        const int total = m_options.m_patients;
        for (int i = 0; i < total; ++i) {
            FillDemoPatient(m_random, i, m_today,
                            m_facts[static_cast<size_t>(i)].m_firstReservation,
                            m_facts[static_cast<size_t>(i)].m_lastCame,
                            !m_facts[static_cast<size_t>(i)].m_hasReservation, &patients.m_Data);
            m_facts[static_cast<size_t>(i)].m_hasMail = patients.m_Data.Email[0] != '\0';
            status = patients.Insert();
            if (status != 0) return Fail("adding patient " + std::to_string(i + 1), status);
            if (!Step(i + 1)) return false;
            if ((i + 1) % 10000 == 0 && i + 1 < total) Progress("patients", i + 1, total);
        }
        if (!Commit()) return false;
        Progress("patients", total, total);
        return true;
    }

    // Lab items: an appliance or retainer made for each fitting in the book, due the working
    // day before it; the ones due in the past are finished.
    bool WriteMaterials() {
        CMaterialDB materials;
        int status = materials.Open(m_folder);
        if (status != 0) return Fail("opening MATERIAL.BTR", status);
        if (!Begin()) return false;
        std::map<std::string, int> serials;  // order day -> last serial
        int written = 0;
        for (size_t i = 0; i < m_plan.size(); ++i) {
            const SPlannedReservation& r = m_plan[i];
            const SDemoKind& kind = DemoKind(r.m_kind);
            if (r.m_patient < 0 || kind.m_labCategory == nullptr ||
                (r.m_status != kResBooked && r.m_status != kResCame)) {
                continue;
            }
            const QDate due = WorkingDayBefore(r.m_date);
            QDate ordered = due.addDays(-m_random.Range(10, 21));
            if (ordered > m_today) ordered = m_today;
            const std::string orderDay = Ymd(ordered);
            char number[16];
            std::snprintf(number, sizeof number, "%s%05d", orderDay.c_str(), ++serials[orderDay]);
            FillDemoMaterial(m_random, number, ordered, due, r.m_date < m_today, r.m_patient, kind,
                             &materials.m_Data);
            status = materials.Insert();
            if (status != 0) return Fail("adding lab item " + std::string(number), status);
            m_materialOf[i] = number;
            if (!Step(++written)) return false;
        }
        m_summary.m_materials = written;
        return Commit();
    }

    bool WriteReservations() {
        CReservationDB reservations;
        int status = reservations.Open(m_folder);
        if (status != 0) return Fail("opening RESERVATION.BTR", status);
        if (!Begin()) return false;
        const long long total = static_cast<long long>(m_plan.size());
        for (long long i = 0; i < total; ++i) {
            const SPlannedReservation& r = m_plan[static_cast<size_t>(i)];
            const SPlannedReservation* replacement =
                r.m_newBooking >= 0 ? &m_plan[static_cast<size_t>(r.m_newBooking)] : nullptr;
            const auto material = m_materialOf.find(static_cast<size_t>(i));
            const bool mail = r.m_patient >= 0 && m_facts[static_cast<size_t>(r.m_patient)].m_hasMail;
            FillDemoReservation(m_random, i + 1, r, replacement, m_today,
                                material == m_materialOf.end() ? "" : material->second, mail,
                                &reservations.m_Data);
            status = reservations.Insert();
            if (status != 0) return Fail("adding reservation " + std::to_string(i + 1), status);
            if (r.m_patient < 0) ++m_summary.m_blocked;
            if (r.m_status == kResChanged) ++m_summary.m_changed;
            if (r.m_status >= kResCancelledWithNotice && r.m_status <= kResRevoked &&
                r.m_patient >= 0) {
                ++m_summary.m_cancelled;
            }
            if (!Step(i + 1)) return false;
            if ((i + 1) % 50000 == 0 && i + 1 < total) Progress("reservations", i + 1, total);
        }
        if (!Commit()) return false;
        Progress("reservations", total, total);
        m_summary.m_reservations = total;
        return true;
    }

    // A few patients waiting for an earlier place; some of them already booked.
    bool WriteStandby() {
        CReservationStandbyDB standby;
        int status = standby.Open(m_folder);
        if (status != 0) return Fail("opening RESERVATIONSTANDBY.BTR", status);
        if (!Begin()) return false;
        std::vector<long long> booked;
        for (size_t i = 0; i < m_plan.size() && booked.size() < 3; ++i) {
            const SPlannedReservation& r = m_plan[i];
            if (r.m_patient >= 0 && r.m_status == kResBooked && r.m_date > m_today.addDays(7)) {
                booked.push_back(static_cast<long long>(i));
            }
        }
        int number = 0;
        for (int i = 0; i < 6; ++i) {
            FillDemoStandby(m_random, ++number, m_random.Range(0, m_options.m_patients - 1),
                            m_today, nullptr, 0, &standby.m_Data);
            status = standby.Insert();
            if (status != 0) return Fail("adding a standby entry", status);
        }
        for (long long index : booked) {
            const SPlannedReservation& r = m_plan[static_cast<size_t>(index)];
            FillDemoStandby(m_random, ++number, r.m_patient, m_today, &r, index + 1,
                            &standby.m_Data);
            status = standby.Insert();
            if (status != 0) return Fail("adding a standby entry", status);
        }
        m_summary.m_standby = number;
        return Commit();
    }

    // The reservation counter continues after the last number used.
    bool WriteIndexControl() {
        CIndexControlDB index;
        int status = index.Open(m_folder);
        if (status != 0) return Fail("opening INDEXCONTROL.BTR", status);
        index.ClearData();
        SetField(index.m_Data.IndexName, "RESERVATION");
        index.m_Data.NextValue = static_cast<int32_t>(m_plan.size() + 1);
        status = index.Insert();
        return status == 0 || Fail("writing the reservation counter", status);
    }

    bool WriteCalendarMemo() {
        CalendarNotes notes;
        for (const auto& [day, text] : DemoCalendarNotes(m_today)) {
            notes[Ymd(day)] = QString::fromUtf8(text.c_str());
        }
        return WriteCalendarMemoFile(m_folder, m_today.year(), notes, m_error);
    }

    const SDemoOptions& m_options;
    std::ostream* m_progress;
    CDemoRandom m_random;
    QDate m_today;
    std::string m_folder;
    std::string* m_error = nullptr;
    VELOOFFICEHOUR m_hours{};
    std::vector<SPlannedReservation> m_plan;
    std::vector<SPatientFacts> m_facts;
    std::map<size_t, std::string> m_materialOf;  // plan index -> MaterialNo
    SDemoSummary m_summary;
};

}  // namespace

bool BuildDemoDatabase(const SDemoOptions& options, SDemoSummary* summary, std::ostream* progress,
                       std::string* error) {
    if (options.m_patients < 1) {
        *error = "a demo needs at least one patient";
        return false;
    }
    if (options.m_units < 1 || options.m_units > kDemoMaxUnitCount) {
        *error = "a demo clinic has 1 to " + std::to_string(kDemoMaxUnitCount) + " chairs";
        return false;
    }
    return CDemoBuilder(options, progress).Run(summary, error);
}

}  // namespace velodb
