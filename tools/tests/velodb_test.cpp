// Tests of velodb: the appointment book planner, the calendar memo format, create, demo
// (with the cephalometric database), dump, check and the command line.
#include "velodb.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QImage>
#include <QTemporaryDir>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "calendarmemofile.h"
#include "demopeople.h"
#include "demoplan.h"
#include "recman/recman.h"
#include "suite/dbcall/catalogue.h"
#include "suite/dbcall/indexcontroldb.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/text/cp932.h"
#include "suite/text/globalsettings.h"
#include "suite/text/privatefiles.h"
#include "tablefile.h"
#include "xylodemo.h"

namespace velodb {
namespace {

namespace fs = std::filesystem;

const QDate kToday(2025, 6, 10);  // a Tuesday

VELOOFFICEHOUR Hours() {
    VELOOFFICEHOUR hours{};
    for (int day = 1; day <= 5; ++day) hours.Week[day] = {900, 1300, 1430, 1900};
    hours.Week[6] = {900, 1300, 1400, 1700};
    return hours;
}

bool Overlap(int start1, int end1, int start2, int end2) { return start1 < end2 && start2 < end1; }

// Every pair of planned records sharing a unit or a doctor on one day is disjoint.
void ExpectNoOverlaps(const std::vector<SPlannedReservation>& plan) {
    std::map<std::pair<QDate, int>, std::vector<const SPlannedReservation*>> units, doctors;
    for (const auto& r : plan) {
        if (r.m_unit >= 0) units[{r.m_date, r.m_unit}].push_back(&r);
        if (r.m_doctor >= 0) doctors[{r.m_date, r.m_doctor}].push_back(&r);
    }
    for (const auto* columns : {&units, &doctors}) {
        for (const auto& [key, list] : *columns) {
            for (size_t i = 0; i < list.size(); ++i) {
                for (size_t j = i + 1; j < list.size(); ++j) {
                    EXPECT_FALSE(
                        Overlap(list[i]->m_start, list[i]->m_end, list[j]->m_start, list[j]->m_end))
                        << key.first.toString("yyyyMMdd").toStdString() << " column " << key.second
                        << " " << list[i]->m_start << " " << list[j]->m_start;
                }
            }
        }
    }
}

SPlanInput PlanInput() {
    SPlanInput input;
    input.m_first = kToday.addDays(-30);
    input.m_last = kToday.addDays(60);
    input.m_today = kToday;
    input.m_patients = 200;
    input.m_kinds = 5;
    input.m_hours = Hours();
    input.m_isClosed = [](const QDate& d) { return d == QDate(2025, 6, 20); };
    return input;
}

TEST(DemoPlanTest, KeepsToOfficeHoursWithoutOverlapsAndChangesLeadToLaterBookings) {
    CDemoRandom random(7);
    const SPlanInput input = PlanInput();
    const auto plan = PlanReservations(random, input);
    ASSERT_GT(plan.size(), 500u);
    ExpectNoOverlaps(plan);
    int changed = 0;
    for (size_t i = 0; i < plan.size(); ++i) {
        const SPlannedReservation& r = plan[i];
        ASSERT_NE(r.m_date.dayOfWeek(), 7) << "no reservations on Sundays";
        ASSERT_NE(r.m_date, QDate(2025, 6, 20)) << "no reservations on a closed day";
        const VELOOFFICEHOURDATA& h = input.m_hours.Week[r.m_date.dayOfWeek() % 7];
        EXPECT_GE(r.m_start, h.Open);
        EXPECT_LE(r.m_end, h.Close);
        EXPECT_FALSE(Overlap(r.m_start, r.m_end, h.BreakStart, h.BreakEnd)) << r.m_start;
        if (i > 0) {
            EXPECT_LE(plan[i - 1].m_date, r.m_date) << "the plan is in day order";
        }
        if (r.m_status == kResChanged) {
            ++changed;
            ASSERT_GT(r.m_newBooking, static_cast<long long>(i));
            const SPlannedReservation& next = plan[static_cast<size_t>(r.m_newBooking)];
            EXPECT_EQ(next.m_patient, r.m_patient);
            EXPECT_GT(next.m_date, r.m_date);
            EXPECT_TRUE(next.m_status == kResBooked || next.m_status == kResCame);
        } else {
            EXPECT_EQ(r.m_newBooking, -1);
        }
        if (r.m_date >= kToday && r.m_patient >= 0) {
            EXPECT_NE(r.m_status, kResCame) << "nobody has come to a future visit";
        }
    }
    EXPECT_GT(changed, 0);
}

TEST(DemoPlanTest, ExactCountReachesFurtherBackAndKeepsChangeLinks) {
    SPlanInput input = PlanInput();
    input.m_first = kToday;
    input.m_last = kToday.addDays(5);
    const auto plan = PlanReservationCount(3, input, 5000);
    ASSERT_EQ(plan.size(), 5000u);
    EXPECT_LT(plan.front().m_date, kToday.addDays(-30));
    EXPECT_LT(plan.back().m_date.daysTo(input.m_last), 7);
    for (const auto& r : plan) {
        if (r.m_newBooking < 0) continue;
        ASSERT_LT(r.m_newBooking, 5000);
        EXPECT_EQ(plan[static_cast<size_t>(r.m_newBooking)].m_patient, r.m_patient);
    }
    ExpectNoOverlaps(plan);
    EXPECT_TRUE(PlanReservationCount(3, input, 0).empty());
}

TEST(CalendarMemoTest, WritesNestedBlocksWithCrLfAndBreaksAsBr) {
    CalendarNotes notes;
    notes["20250305"] = QString::fromUtf8("点検\n午後から");
    notes["20250301"] = "A";
    notes["20251231"] = "B\r\nC";
    notes["20240101"] = "other year";
    const std::string expected =
        "CalendarMemoFile\r\nVersion 1.00\r\n\r\n2025 {\r\n"
        "\t03 {\r\n\t\t01=A\r\n\t\t05=\x93\x5f\x8c\x9f<BR>\x8c\xdf\x8c\xe3\x82\xa9\x82\xe7\r\n"
        "\t}\r\n\t12 {\r\n\t\t31=B<BR>C\r\n\t}\r\n}\r\n";
    EXPECT_EQ(FormatCalendarMemo(2025, notes), expected);
    EXPECT_EQ(CalendarMemoFileName(2025), "CalendarMemo2025.txt");
}

std::string DigitsOf(const std::string& text) {
    std::string digits;
    for (char c : text) {
        if (c >= '0' && c <= '9') digits += c;
    }
    return digits;
}

TEST(DemoPeopleTest, NamesFitCodePage932AndNumbersAndMailsAreWellFormed) {
    CDemoRandom random(5);
    for (int i = 0; i < 2000; ++i) {
        const SDemoPerson person = MakePerson(random);
        for (const std::string& text : {person.m_name, person.m_kana}) {
            const QString original = QString::fromStdString(text);
            EXPECT_EQ(Cp932ToQString(QStringToCp932(original)), original) << text;
            EXPECT_NE(text.find("　"), std::string::npos) << "family and given name apart";
            EXPECT_LE(QStringToCp932(original).size(), 40u) << text;
        }
        const SDemoAddress address = MakeAddress(random);
        EXPECT_EQ(address.m_zipCode.size(), 8u);
        EXPECT_EQ(Cp932ToQString(QStringToCp932(QString::fromStdString(address.m_address1))),
                  QString::fromStdString(address.m_address1));
        const std::string home = MakeHomeTel(random, address.m_areaCode);
        EXPECT_EQ(DigitsOf(home).size(), 10u) << home;
        EXPECT_EQ(home.rfind(address.m_areaCode + "-", 0), 0u) << home;
        EXPECT_EQ(DigitsOf(MakeMobileTel(random)).size(), 11u);
        const std::string mail = MakeMailAddress(random, person);
        const std::string domain = mail.substr(mail.find('@') + 1);
        EXPECT_EQ(domain.rfind("example.", 0), 0u) << mail;
    }
}

class VelodbTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_temp.isValid());
        m_folder = m_temp.filePath("db").toStdString();
        // As velodb does first thing, on a machine without the clinic's group.
        privatefiles::SetClinicGroupForTesting(gid_t(-1));
        privatefiles::CloseNewFilesToOthers();
    }
    void TearDown() override {
        recman::Shutdown();
        privatefiles::SetClinicGroupForTesting(std::nullopt);
    }

    template <typename Table>
    long long Count(Table& table) {
        long long count = 0;
        for (int st = table.GetFIRST(); st == 0 && !table.IsEOF(); st = table.GetNEXT()) ++count;
        return count;
    }

    QTemporaryDir m_temp;
    std::string m_folder;
};

TEST_F(VelodbTest, CreateMakesEveryTableAndDefaultSettingsAndRefusesToOverwrite) {
    std::string error;
    ASSERT_TRUE(CreateDatabase(m_folder, false, &error)) << error;
    for (const TableInfo& table : AllTables()) {
        uint32_t length = 0;
        ASSERT_EQ(ReadRecordLength((fs::path(m_folder) / table.fileName).string(), &length), 0)
            << table.fileName;
        EXPECT_EQ(length, table.recordLength) << table.fileName;
    }
    CGlobalSettings::SetDatabaseFolder(m_folder);
    EXPECT_EQ(CGlobalSettings::GetString("GLOBAL", "VERSION"), "1.1.0.0");
    EXPECT_EQ(CGlobalSettings::GetInt("GLOBAL", "TimeSpan", 0), 15);
    EXPECT_EQ(CGlobalSettings::GetInt("GLOBAL", "VeloColorOff", 0), 0xAAAAFF);
    EXPECT_EQ(CGlobalSettings::GetString("Reservation", "ContactStatusName1"),
              QString::fromUtf8("不通"));
    VELOOFFICEHOUR hours{};
    CGlobalSettings::GetOfficeHours(&hours);
    EXPECT_EQ(hours.Week[0].Open, 0);
    EXPECT_EQ(hours.Week[0].Close, 0);
    EXPECT_EQ(hours.Week[1].Open, 900);
    EXPECT_EQ(hours.Week[3].BreakEnd, 1430);
    EXPECT_EQ(hours.Week[5].Close, 1900);
    EXPECT_EQ(hours.Week[6].BreakEnd, 1400);
    EXPECT_EQ(hours.Week[6].Close, 1700);

    EXPECT_FALSE(CreateDatabase(m_folder, false, &error));
    EXPECT_NE(error.find("--force"), std::string::npos);
    EXPECT_TRUE(CreateDatabase(m_folder, true, &error)) << error;
}

TEST_F(VelodbTest, DemoMakesASoundClinic) {
    const std::string xylo = m_temp.filePath("xylo").toStdString();
    SDemoOptions options;
    options.m_folder = m_folder;
    options.m_patients = 60;
    options.m_daysBack = 14;
    options.m_daysAhead = 21;
    options.m_seed = 11;
    options.m_today = kToday;
    options.m_xyloFolder = xylo;
    SDemoSummary summary;
    std::string error;
    std::ostringstream progress;
    ASSERT_TRUE(BuildDemoDatabase(options, &summary, &progress, &error)) << error;
    EXPECT_EQ(summary.m_patients, 60);
    EXPECT_GT(summary.m_reservations, 300);
    EXPECT_GT(summary.m_changed, 0);
    EXPECT_GT(summary.m_materials, 0);
    EXPECT_GT(summary.m_standby, 0);

    CPatientDB patients;
    ASSERT_EQ(patients.Open(m_folder), 0);
    EXPECT_EQ(Count(patients), 60);
    ASSERT_EQ(patients.GetPatientData("0000000001"), 0);
    EXPECT_GT(std::strlen(patients.m_Data.Name), 0u);
    EXPECT_GT(std::strlen(patients.m_Data.Kana), 0u);
    // The details the sheet can show are filled for many patients, and every code names an
    // entry of its master.
    CConditionDB conditions;
    CIntroDrDB introDrs;
    CCategoryDB workKinds;
    CCustomTblDB customEntries;
    ASSERT_EQ(conditions.Open(m_folder), 0);
    ASSERT_EQ(introDrs.Open(m_folder), 0);
    ASSERT_EQ(workKinds.Open(m_folder), 0);
    ASSERT_EQ(customEntries.Open(m_folder), 0);
    std::map<std::string, int> withDetail;
    for (int st = patients.GetFIRST(); st == 0; st = patients.GetNEXT()) {
        const tagPATIENTDB& p = patients.m_Data;
        auto detail = [&](const std::string& name, const char* field, bool found) {
            if (field[0] == '\0') return;
            ++withDetail[name];
            EXPECT_TRUE(found) << name << " " << field << " of " << p.PatientID;
        };
        detail("condition", p.ConditionCode, conditions.GetConditionData(p.ConditionCode) == 0);
        detail("referrer", p.IntroDrCode, introDrs.GetIntroDrData(p.IntroDrCode) == 0);
        detail("family", p.FamilyDrCode, introDrs.GetIntroDrData(p.FamilyDrCode) == 0);
        detail("workplace", p.WorkKindCode,
               workKinds.GetCategoryData("3", p.WorkKindCode) == 0 && p.WorkplaceName[0] != '\0');
        detail("trait", p.TraitCode, customEntries.GetCustomTblData("AB", p.TraitCode) == 0);
        detail("job", p.GuardianJob, p.GuardianName[0] != '\0');
        for (int t = 0; t < 3; ++t) {
            detail("free" + std::to_string(t), p.FreeTblCode[t],
                   customEntries.GetCustomTblData(FreeTableId(t).c_str(), p.FreeTblCode[t]) == 0);
        }
    }
    for (const char* name : {"condition", "referrer", "family", "workplace", "trait", "job",
                             "free0", "free1", "free2"}) {
        EXPECT_GE(withDetail[name], 6) << name;
    }
    std::ifstream freeTableNames(fs::path(m_folder) / "freetblname.dat", std::ios::binary);
    std::string firstName;
    std::getline(freeTableNames, firstName);
    EXPECT_EQ(Cp932ToQString(firstName), QStringLiteral("来院のきっかけ\r"));

    // Reservations: in key order, no two in one unit or one doctor at once, counts as told.
    CReservationDB reservations;
    ASSERT_EQ(reservations.Open(m_folder), 0);
    std::map<std::string, std::vector<tagRESERVATIONDB>> byColumn;
    std::vector<tagRESERVATIONDB> all;
    long long blocked = 0;
    for (int st = reservations.GetFIRST(); st == 0 && !reservations.IsEOF();
         st = reservations.GetNEXT()) {
        const tagRESERVATIONDB& r = reservations.m_Data;
        all.push_back(r);
        if (r.UnitCode[0]) byColumn["U" + std::string(r.UnitCode) + r.ResDate].push_back(r);
        if (r.DoctorCode[0]) byColumn["D" + std::string(r.DoctorCode) + r.ResDate].push_back(r);
        if (r.PatientID[0] == 0) {
            ++blocked;
            EXPECT_STREQ(r.StaffCode, "000");
            EXPECT_STREQ(r.ResWayCode, "000");
        }
    }
    EXPECT_EQ(static_cast<long long>(all.size()), summary.m_reservations);
    EXPECT_EQ(blocked, summary.m_blocked);
    for (const auto& [column, list] : byColumn) {
        for (size_t i = 0; i < list.size(); ++i) {
            for (size_t j = i + 1; j < list.size(); ++j) {
                EXPECT_FALSE(Overlap(std::atoi(list[i].StartTime), std::atoi(list[i].EndTime),
                                     std::atoi(list[j].StartTime), std::atoi(list[j].EndTime)))
                    << column << " " << list[i].ReservationNo << " " << list[j].ReservationNo;
            }
        }
    }
    // A changed reservation left its old record (status 5, reason and day filled) and a
    // later live one for the same patient.
    int changedWithSuccessor = 0;
    for (const auto& old : all) {
        if (old.Status != kResChanged) continue;
        EXPECT_GT(std::strlen(old.StatusReason), 0u);
        EXPECT_EQ(std::strlen(old.StatusDate), 8u);
        for (const auto& other : all) {
            if (std::strcmp(other.PatientID, old.PatientID) == 0 && other.Status <= kResCame &&
                std::strcmp(other.ResDate, old.ResDate) > 0 &&
                std::strcmp(other.ReservationNo, old.ReservationNo) > 0) {
                ++changedWithSuccessor;
                break;
            }
        }
    }
    EXPECT_EQ(changedWithSuccessor, summary.m_changed);

    CIndexControlDB index;
    ASSERT_EQ(index.Open(m_folder), 0);
    char next[24];
    std::snprintf(next, sizeof next, "%010lld", summary.m_reservations + 1);
    EXPECT_EQ(index.GetNexReservationIndex(), next);

    // Hidden entries exist beside visible ones.
    CCategoryDB categories;
    ASSERT_EQ(categories.Open(m_folder), 0);
    ASSERT_EQ(categories.GetCategoryData("1", "09"), 0);
    EXPECT_EQ(std::strncmp(categories.m_Data.Name, "__", 2), 0);
    EXPECT_STREQ(categories.m_Data.HiddenMark, "__");
    EXPECT_EQ(categories.GetCategoryData("1", "01"), 0);
    CDoctorDB doctors;
    ASSERT_EQ(doctors.Open(m_folder), 0);
    EXPECT_EQ(Count(doctors), 4);
    ASSERT_EQ(doctors.GetDoctorData("09"), 0);
    EXPECT_STREQ(doctors.m_Data.HiddenMark, "__");
    CCustomTblDB custom;
    ASSERT_EQ(custom.Open(m_folder), 0);
    EXPECT_EQ(custom.GetCustomTblData("AA", "0001"), 0);

    // Settings, reminder template and calendar memo.
    CGlobalSettings::SetDatabaseFolder(m_folder);
    QString title, subject, body;
    ASSERT_TRUE(CGlobalSettings::GetReservationTemplate(0, &title, &subject, &body));
    EXPECT_TRUE(body.contains("$_PNAME"));
    EXPECT_EQ(CGlobalSettings::GetString("Email", "ReservationTemplate"), "0");
    EXPECT_TRUE(CGlobalSettings::IsClinicDayOff(2025, 8, 14));
    std::ifstream memo(fs::path(m_folder) / "CalendarMemo2025.txt", std::ios::binary);
    std::string memoText((std::istreambuf_iterator<char>(memo)), {});
    EXPECT_EQ(memoText.rfind("CalendarMemoFile\r\nVersion 1.00\r\n\r\n2025 {\r\n\t06 {\r\n", 0),
              0u);

    // Dump and check.
    std::ostringstream dump;
    ASSERT_TRUE(DumpTable(m_folder, "reservation.btr", 4, dump, &error)) << error;
    EXPECT_NE(dump.str().find("ResDate: 2025/06/10\n"), std::string::npos);
    EXPECT_NE(dump.str().find("Treatment: "), std::string::npos);
    EXPECT_NE(dump.str().find("\n" + std::to_string(all.size()) + " records\n"), std::string::npos);
    std::ostringstream staff;
    ASSERT_TRUE(DumpTable(m_folder, "STAFF", 0, staff, &error)) << error;
    EXPECT_NE(staff.str().find("Name: 高橋　美咲\n"), std::string::npos);
    EXPECT_FALSE(DumpTable(m_folder, "STAFF", 9, staff, &error));
    EXPECT_FALSE(DumpTable(m_folder, "NOSUCHTABLE", 0, staff, &error));

    std::ostringstream report;
    EXPECT_TRUE(CheckDatabase(m_folder, report)) << report.str();
    EXPECT_NE(report.str().find("RESERVATION.BTR: ok\n"), std::string::npos);
    std::ostringstream xyloReport;
    EXPECT_TRUE(CheckDatabase(xylo, xyloReport)) << xyloReport.str();

    // The cephalometric database shares some IDs (one in lower case), has one patient
    // without an ID, and real JPEG pictures in the patients' photo folders.
    CPatient1DB xyloPatients;
    ASSERT_EQ(xyloPatients.Open(xylo), 0);
    std::set<std::string> charts;
    for (int st = xyloPatients.GetFIRST(); st == 0 && !xyloPatients.IsEOF();
         st = xyloPatients.GetNEXT()) {
        charts.insert(xyloPatients.m_Data.ChartNo);
    }
    EXPECT_EQ(static_cast<int>(charts.size()) + 1, summary.m_xyloPatients) << "one ID twice";
    EXPECT_TRUE(charts.count("00001"));
    EXPECT_TRUE(charts.count("a0002"));
    EXPECT_TRUE(charts.count(""));
    QImage main;
    EXPECT_TRUE(main.load(QString::fromStdString(
        (fs::path(xylo) / kXyloPhotoFolder / "0000000001" / "0000000000.jpg").string())));
    EXPECT_EQ(main.width(), 160);
    EXPECT_TRUE(fs::exists(fs::path(xylo) / kXyloPhotoFolder / "0000000001" / "0000000001.jpg"));
    EXPECT_TRUE(fs::exists(fs::path(xylo) / kXyloReportFolder / "0000000001" / "0000000001.xyr"));
}

TEST_F(VelodbTest, DemoIsReproducibleBySeedAndHonoursAReservationCount) {
    auto build = [&](const std::string& folder, uint64_t seed, std::string* dump) {
        SDemoOptions options;
        options.m_folder = folder;
        options.m_patients = 20;
        options.m_daysBack = 3;
        options.m_daysAhead = 3;
        options.m_seed = seed;
        options.m_today = kToday;
        options.m_reservations = 700;
        SDemoSummary summary;
        std::string error;
        EXPECT_TRUE(BuildDemoDatabase(options, &summary, nullptr, &error)) << error;
        EXPECT_EQ(summary.m_reservations, 700);
        std::ostringstream out;
        EXPECT_TRUE(DumpTable(folder, "RESERVATION", 0, out, &error)) << error;
        EXPECT_TRUE(DumpTable(folder, "PATIENT1", 0, out, &error)) << error;
        *dump = out.str();
    };
    std::string first, second, other;
    build(m_temp.filePath("a").toStdString(), 4, &first);
    build(m_temp.filePath("b").toStdString(), 4, &second);
    build(m_temp.filePath("c").toStdString(), 5, &other);
    EXPECT_NE(first.find("\n700 records\n"), std::string::npos);
    EXPECT_EQ(first, second);
    EXPECT_NE(first, other);
}

TEST_F(VelodbTest, ALargerClinicBooksEveryChairAndKeepsTheSpareHidden) {
    SDemoOptions options;
    options.m_folder = m_folder;
    options.m_patients = 40;
    options.m_daysBack = 2;
    options.m_daysAhead = 2;
    options.m_today = kToday;
    options.m_units = 12;
    SDemoSummary summary;
    std::string error;
    ASSERT_TRUE(BuildDemoDatabase(options, &summary, nullptr, &error)) << error;

    CCategoryDB categories;
    ASSERT_EQ(categories.Open(m_folder), 0);
    std::set<std::string> visible;
    for (int st = categories.GetFIRST(); st == 0 && !categories.IsEOF(); st = categories.GetNEXT()) {
        if (std::string(categories.m_Data.Type) != "1") continue;
        if (std::string(categories.m_Data.HiddenMark) == "__") {
            EXPECT_STREQ(categories.m_Data.Code, "09");
        } else {
            visible.insert(categories.m_Data.Code);
        }
    }
    EXPECT_EQ(visible.size(), 12u);
    EXPECT_EQ(visible.count("09"), 0u);
    EXPECT_EQ(visible.count("13"), 1u);

    std::set<std::string> booked;
    CReservationDB reservations;
    ASSERT_EQ(reservations.Open(m_folder), 0);
    for (int st = reservations.GetFIRST(); st == 0 && !reservations.IsEOF();
         st = reservations.GetNEXT()) {
        if (reservations.m_Data.UnitCode[0] != 0) booked.insert(reservations.m_Data.UnitCode);
    }
    EXPECT_EQ(booked, visible);

    options.m_units = 31;
    EXPECT_FALSE(BuildDemoDatabase(options, &summary, nullptr, &error));
    EXPECT_NE(error.find("1 to 30 chairs"), std::string::npos);
}

TEST_F(VelodbTest, CheckNamesTruncatedForeignAndMissingFiles) {
    std::string error;
    ASSERT_TRUE(CreateDatabase(m_folder, false, &error)) << error;
    std::ostringstream sound;
    ASSERT_TRUE(CheckDatabase(m_folder, sound)) << sound.str();

    const fs::path reservation = fs::path(m_folder) / "RESERVATION.BTR";
    fs::resize_file(reservation, fs::file_size(reservation) / 2);
    std::ofstream(fs::path(m_folder) / "NOTES.BTR") << "this is not a table file\n";
    fs::remove(fs::path(m_folder) / "STAFF.BTR");

    std::ostringstream report;
    EXPECT_FALSE(CheckDatabase(m_folder, report));
    const std::string text = report.str();
    EXPECT_EQ(text.find("RESERVATION.BTR: ok"), std::string::npos) << text;
    EXPECT_NE(text.find("RESERVATION.BTR: "), std::string::npos) << text;
    EXPECT_EQ(text.find("NOTES.BTR: ok"), std::string::npos) << text;
    EXPECT_NE(text.find("NOTES.BTR: "), std::string::npos) << text;
    EXPECT_NE(text.find("STAFF.BTR: missing\n"), std::string::npos) << text;
    EXPECT_NE(text.find("PATIENT1.BTR: ok\n"), std::string::npos) << text;
}

// Every folder below `root` (and root itself) has `folderMode`, every file `fileMode`, and
// each belongs to `group` unless that is -1.
void ExpectModes(const std::string& root, mode_t folderMode, mode_t fileMode, gid_t group) {
    std::vector<std::string> paths{root};
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        paths.push_back(entry.path().string());
    }
    for (const std::string& path : paths) {
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0) << path;
        EXPECT_EQ(st.st_mode & 07777, S_ISDIR(st.st_mode) ? folderMode : fileMode) << path;
        if (group != gid_t(-1)) {
            EXPECT_EQ(st.st_gid, group) << path;
        }
    }
}

TEST_F(VelodbTest, CreateDemoAndPullMakeFoldersAndFilesOnlyTheClinicCanRead) {
    const std::string nested = m_temp.filePath("srv/clinic").toStdString();
    std::string error;
    ASSERT_TRUE(CreateDatabase(nested, false, &error)) << error;
    ExpectModes(m_temp.filePath("srv").toStdString(), 0700, 0600, gid_t(-1));
    recman::Shutdown();

    // With the clinic's group (played by this process's own): folders 2770 in the group,
    // files 0660, the record manager's table and working files included.
    privatefiles::SetClinicGroupForTesting(::getegid());
    privatefiles::CloseNewFilesToOthers();
    SDemoOptions options;
    options.m_folder = m_folder;
    options.m_patients = 12;
    options.m_daysBack = 3;
    options.m_daysAhead = 3;
    options.m_today = kToday;
    options.m_xyloFolder = m_temp.filePath("xylo").toStdString();
    ASSERT_TRUE(BuildDemoDatabase(options, nullptr, nullptr, &error)) << error;
    ASSERT_TRUE(fs::is_directory(fs::path(options.m_xyloFolder) / kXyloPhotoFolder));
    ExpectModes(m_folder, 02770, 0660, ::getegid());
    ExpectModes(options.m_xyloFolder, 02770, 0660, ::getegid());
    std::ostringstream out;
    const std::string backup = m_temp.filePath("backup/today").toStdString();
    ASSERT_TRUE(PullDatabase(m_folder, backup, false, out, &error)) << error;
    ExpectModes(m_temp.filePath("backup").toStdString(), 02770, 0660, ::getegid());
}

TEST_F(VelodbTest, CheckNamesWhatOthersCanReadAndTheCommandThatClosesIt) {
    std::ostringstream out, err;
    ASSERT_EQ(RunVelodb({"create", m_folder}, out, err), 0) << err.str();
    const std::string mail = m_folder + "/Mail/0000000001.eml";
    std::string error;
    ASSERT_TRUE(privatefiles::MakePrivateFolder(m_folder + "/Mail", &error)) << error;
    std::ofstream(mail) << "Subject: reminder\r\n";
    ASSERT_EQ(RunVelodb({"check", m_folder}, out, err), 0) << out.str();

    ASSERT_EQ(::chmod((m_folder + "/GlobalSetting.ini").c_str(), 0644), 0);
    ASSERT_EQ(::chmod(mail.c_str(), 0604), 0);
    std::ostringstream report;
    EXPECT_EQ(RunVelodb({"check", m_folder}, report, err), 1);
    const std::string text = report.str();
    EXPECT_NE(text.find("\nGlobalSetting.ini: 医院のユーザー以外も読めます (0644)\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\nMail/0000000001.eml: 医院のユーザー以外も読めます (0604)\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("RESERVATION.BTR: 医院"), std::string::npos) << text;
    EXPECT_EQ(text.find(m_folder + ": "), std::string::npos) << "the folder is closed: " << text;
    EXPECT_NE(text.find("(2 件)"), std::string::npos) << text;

    // The command shown closes them.
    const std::string command = privatefiles::CommandToClose(m_folder);
    ASSERT_NE(text.find("\n  " + command + "\n"), std::string::npos) << text;
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ostringstream closed;
    EXPECT_EQ(RunVelodb({"check", m_folder}, closed, err), 0) << closed.str();
}

TEST_F(VelodbTest, CommandLineExitCodes) {
    std::ostringstream out, err;
    EXPECT_EQ(RunVelodb({}, out, err), 2);
    EXPECT_EQ(RunVelodb({"frobnicate", m_folder}, out, err), 2);
    EXPECT_EQ(RunVelodb({"demo"}, out, err), 2);
    EXPECT_EQ(RunVelodb({"demo", m_folder, "--patients", "0"}, out, err), 2);
    EXPECT_EQ(RunVelodb({"demo", m_folder, "--patients"}, out, err), 2);
    EXPECT_EQ(RunVelodb({"dump", m_folder}, out, err), 2);
    EXPECT_EQ(RunVelodb({"dump", m_folder, "STAFF", "--key", "x"}, out, err), 2);
    EXPECT_NE(err.str().find("usage:"), std::string::npos);
    // --help and --version answer on the standard output and succeed.
    std::ostringstream help, version;
    EXPECT_EQ(RunVelodb({"--help"}, help, err), 0);
    EXPECT_NE(help.str().find("velodb create DIR"), std::string::npos) << help.str();
    EXPECT_EQ(RunVelodb({"--version"}, version, err), 0);
    EXPECT_TRUE(std::regex_match(version.str(), std::regex("velodb [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << version.str();
    EXPECT_EQ(RunVelodb({"create", m_folder}, out, err), 0);
    EXPECT_EQ(RunVelodb({"create", m_folder}, out, err), 1);
    EXPECT_EQ(RunVelodb({"check", m_folder}, out, err), 0);
    EXPECT_EQ(RunVelodb({"dump", m_folder, "staff"}, out, err), 0);
    EXPECT_NE(out.str().find("\n0 records\n"), std::string::npos);
    EXPECT_EQ(RunVelodb({"dump", m_folder, "NOSUCH"}, out, err), 1);
    // Backup and restore: a failure is exit status 1, as a nightly timer's log shows it.
    const std::string archive = m_temp.filePath("clinic.tar.xz").toStdString();
    EXPECT_EQ(RunVelodb({"backup", m_folder}, out, err), 2);
    EXPECT_EQ(RunVelodb({"backup", "--keep", "0", m_folder, archive}, out, err), 2);
    EXPECT_EQ(RunVelodb({"restore", archive}, out, err), 2);
    EXPECT_EQ(RunVelodb({"backup", m_folder, archive}, out, err), 0);
    EXPECT_EQ(RunVelodb({"backup", m_temp.filePath("none").toStdString(), archive}, out, err), 1);
    EXPECT_EQ(RunVelodb({"restore", archive, m_folder}, out, err), 1);
    EXPECT_EQ(RunVelodb({"restore", archive + ".missing", m_folder + "2"}, out, err), 1);
    EXPECT_EQ(RunVelodb({"restore", archive, m_folder + "2"}, out, err), 0);
    EXPECT_EQ(RunVelodb({"backup", "--keep", "3", m_folder, m_folder + "-nightly"}, out, err), 0);
    // A folder on this machine's own disk is worked on without a warning; one on a network
    // share is named with its file system, and the way to the server is shown.
    EXPECT_EQ(err.str().find("network file system"), std::string::npos) << err.str();
    const std::string warning = NetworkShareWarning("/mnt/clinic/db", "NFS");
    EXPECT_NE(warning.find("/mnt/clinic/db is on a network file system (NFS)"), std::string::npos);
    EXPECT_NE(warning.find("velodb push /mnt/clinic/db CONNINFO"), std::string::npos);
    EXPECT_NE(warning.find("velodb.conninfo"), std::string::npos);
}

}  // namespace
}  // namespace velodb
