// Tests of the host profile (under a temporary XDG_CONFIG_HOME) and of the suite settings
// in GlobalSetting.ini of a temporary database folder, changed by one program or by two at
// the same moment.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "suite/testsupport/peerprocess.h"
#include "suite/text/globalsettings.h"
#include "suite/text/hostprofile.h"
#include "suite/text/inifile.h"
#include "suite/text/sharedfilelock.h"

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_config.isValid());
        ASSERT_TRUE(m_database.isValid());
        setenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit().constData(), 1);
        CHostProfile::SetProgramName("velotest");
        CGlobalSettings::SetDatabaseFolder(m_database.path().toStdString());
    }
    void TearDown() override {
        CGlobalSettings::SetDatabaseFolder("");
        CHostProfile::SetProgramName("");
    }

    QTemporaryDir m_config;
    QTemporaryDir m_database;
};

TEST_F(SettingsTest, HostProfileLivesUnderXdgConfigHome) {
    const std::string expected = m_config.path().toStdString() + "/velo/velotest.ini";
    EXPECT_EQ(CHostProfile::Path(), expected);
    EXPECT_EQ(CHostProfile::GetProfileInt("VELOSHEET", "ReservationMode", 0), 0);
    EXPECT_FALSE(std::filesystem::exists(expected));

    ASSERT_TRUE(CHostProfile::WriteProfileInt("VELOSHEET", "ReservationMode", 1));
    ASSERT_TRUE(
        CHostProfile::WriteProfileString("GLOBAL", "XYLO_DIR", QStringLiteral("/opt/歯科")));
    EXPECT_TRUE(std::filesystem::exists(expected));
    EXPECT_EQ(CHostProfile::GetProfileInt("velosheet", "reservationmode", 0), 1);
    EXPECT_EQ(CHostProfile::GetProfileString("Global", "xylo_dir"), QStringLiteral("/opt/歯科"));
}

TEST_F(SettingsTest, HostProfileWithRelativeXdgFallsBackToHome) {
    setenv("XDG_CONFIG_HOME", "relative/dir", 1);
    const char* home = std::getenv("HOME");
    ASSERT_NE(home, nullptr);
    EXPECT_EQ(CHostProfile::Path(), std::string(home) + "/.config/velo/velotest.ini");
}

TEST_F(SettingsTest, DatabaseFolderComesFromHostProfileWhenNotSet) {
    CGlobalSettings::SetDatabaseFolder("");
    EXPECT_EQ(CGlobalSettings::DatabaseFolder(), "");
    EXPECT_EQ(CGlobalSettings::SettingsPath(), "");
    EXPECT_EQ(CGlobalSettings::GetInt("GLOBAL", "TimeSpan", 15), 15);
    EXPECT_FALSE(CGlobalSettings::SetInt("GLOBAL", "TimeSpan", 10));

    ASSERT_TRUE(CHostProfile::WriteProfileString("GLOBAL", "DATABASE", m_database.path()));
    EXPECT_EQ(CGlobalSettings::DatabaseFolder(), m_database.path().toStdString() + "/");
    EXPECT_EQ(CGlobalSettings::SettingsPath(),
              m_database.path().toStdString() + "/GlobalSetting.ini");
}

TEST_F(SettingsTest, MissingFileGivesDefaultsAndValuesRoundTrip) {
    EXPECT_EQ(CGlobalSettings::GetInt("GLOBAL", "TimeSpan", 15), 15);
    EXPECT_EQ(CGlobalSettings::GetString("Reservation", "ContactStatusName0", "x"), "x");
    VELOOFFICEHOUR hours;
    std::memset(&hours, 0xFF, sizeof(hours));
    CGlobalSettings::GetOfficeHours(&hours);
    for (const VELOOFFICEHOURDATA& day : hours.Week) {
        EXPECT_EQ(day.Open | day.BreakStart | day.BreakEnd | day.Close, 0);
    }
    EXPECT_FALSE(CGlobalSettings::IsClinicDayOff(2026, 12, 7));
    EXPECT_TRUE(CGlobalSettings::TemplateNumbers().isEmpty());

    ASSERT_TRUE(CGlobalSettings::SetInt("RESERVATION", "CantRsrvThisDay", 1));
    EXPECT_EQ(CGlobalSettings::GetInt("reservation", "cantrsrvthisday", 0), 1);
}

TEST_F(SettingsTest, OfficeHoursRoundTripAndMalformedDaysAreZero) {
    VELOOFFICEHOUR hours{};
    hours.Week[2] = {830, 1230, 1400, 1830};
    hours.Week[6] = {900, 0, 0, 1300};
    ASSERT_TRUE(CGlobalSettings::SetOfficeHours(hours));
    VELOOFFICEHOUR read{};
    CGlobalSettings::GetOfficeHours(&read);
    EXPECT_EQ(std::memcmp(&read, &hours, sizeof(hours)), 0);

    // Hand-edited entries: wrong count, a minute of 75, text - each day stays closed.
    ASSERT_TRUE(CGlobalSettings::SetString("OfficeHour", "Week1", "900,1200,1300"));
    ASSERT_TRUE(CGlobalSettings::SetString("OfficeHour", "Week2", "900,1275,1300,1800"));
    ASSERT_TRUE(CGlobalSettings::SetString("OfficeHour", "Week3", "nine,12,13,18"));
    CGlobalSettings::GetOfficeHours(&read);
    for (int day : {1, 2, 3}) {
        EXPECT_EQ(read.Week[day].Open, 0) << day;
        EXPECT_EQ(read.Week[day].Close, 0) << day;
    }
    EXPECT_EQ(read.Week[6].Close, 1300);
}

TEST_F(SettingsTest, ClinicDaysOff) {
    ASSERT_TRUE(CGlobalSettings::SetClinicDayOff(2026, 12, 7, true));
    EXPECT_TRUE(CGlobalSettings::IsClinicDayOff(2026, 12, 7));
    EXPECT_FALSE(CGlobalSettings::IsClinicDayOff(2026, 12, 8));
    ASSERT_TRUE(CGlobalSettings::SetClinicDayOff(2026, 12, 7, false));
    EXPECT_FALSE(CGlobalSettings::IsClinicDayOff(2026, 12, 7));
    ASSERT_TRUE(CGlobalSettings::SetString("ClinicDayOff", "20261208", "0"));
    EXPECT_FALSE(CGlobalSettings::IsClinicDayOff(2026, 12, 8));

    // Closed and open days are set together; a new mark replaces the old one.
    using G = CGlobalSettings;
    ASSERT_TRUE(G::SetClinicDays({{"20261207", G::kClinicDayClosed},
                                  {"20261223", G::kClinicDayOpen},
                                  {"20261208", G::kClinicDayUsual}}));
    EXPECT_EQ(G::GetClinicDay(2026, 12, 7), G::kClinicDayClosed);
    EXPECT_EQ(G::GetClinicDay(2026, 12, 23), G::kClinicDayOpen);
    EXPECT_TRUE(G::IsClinicDayOpen(2026, 12, 23));
    EXPECT_EQ(G::GetClinicDay(2026, 12, 8), G::kClinicDayUsual);
    EXPECT_EQ(G::GetString("ClinicDayOff", "20261208", "missing"), "missing");
    ASSERT_TRUE(G::SetClinicDays({{"20261207", G::kClinicDayOpen}}));
    EXPECT_FALSE(G::IsClinicDayOff(2026, 12, 7));
    EXPECT_EQ(G::GetClinicDay(2026, 12, 7), G::kClinicDayOpen);
    // A day a hand-edited file marks both ways counts as closed.
    ASSERT_TRUE(G::SetInt("ClinicDayOff", "20261223", 1));
    EXPECT_EQ(G::GetClinicDay(2026, 12, 23), G::kClinicDayClosed);
}

TEST_F(SettingsTest, TemplatesRoundTripWithLineBreaksBackslashesAndBlanks) {
    // Blanks that open or close the subject or body are the template's own.
    const QString body =
        QStringLiteral("  山田様\r\n明日 %1 のご予約です。\n\\n は改行ではありません\nC:\\temp\\ ");
    ASSERT_TRUE(CGlobalSettings::SetReservationTemplate(3, "前日", " ご予約の確認\t", body));
    ASSERT_TRUE(CGlobalSettings::SetReservationTemplate(0, "t", "s", "b"));
    QString title, subject, read;
    ASSERT_TRUE(CGlobalSettings::GetReservationTemplate(3, &title, &subject, &read));
    EXPECT_EQ(title, QStringLiteral("前日"));
    EXPECT_EQ(subject, QStringLiteral(" ご予約の確認\t"));
    QString expected = body;
    expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    EXPECT_EQ(read, expected);
    // The stored body is one ini line.
    EXPECT_FALSE(CGlobalSettings::GetString("MailTemplate3", "Body").contains(u'\n'));

    title = "unchanged";
    EXPECT_FALSE(CGlobalSettings::GetReservationTemplate(1, &title, &subject, &read));
    EXPECT_EQ(title, "unchanged");
    EXPECT_FALSE(CGlobalSettings::SetReservationTemplate(-1, "t", "s", "b"));
    ASSERT_TRUE(CGlobalSettings::SetString("mailtemplatex", "Title", "not a template"));
    EXPECT_EQ(CGlobalSettings::TemplateNumbers(), QList<int>({0, 3}));
}

TEST_F(SettingsTest, SettingsFileNameDiffersOnlyInCase) {
    QFile file(m_database.filePath("GLOBALSETTING.INI"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[GLOBAL]\r\nTimeSpan=10\r\n");
    file.close();
    EXPECT_EQ(CGlobalSettings::GetInt("GLOBAL", "TimeSpan", 15), 10);
    ASSERT_TRUE(CGlobalSettings::SetInt("GLOBAL", "TimeSpan", 20));
    EXPECT_EQ(QDir(m_database.path()).entryList(QDir::Files), QStringList({"GLOBALSETTING.INI"}));
}

TEST_F(SettingsTest, TwoProgramsChangingTheSettingsAtOnceLoseNoChange) {
    constexpr int kEach = 120;
    const std::string folder = m_database.path().toStdString();
    ASSERT_TRUE(CGlobalSettings::SetString("GLOBAL", "ClinicName", QStringLiteral("歯科")));
    CPeerProcess first(SETTINGS_PEER, {"write", folder, "A", std::to_string(kEach)});
    CPeerProcess second(SETTINGS_PEER, {"write", folder, "B", std::to_string(kEach)});
    ASSERT_EQ(first.ReadLine(), "ready");
    ASSERT_EQ(second.ReadLine(), "ready");
    first.Send("go");
    second.Send("go");
    for (CPeerProcess* peer : {&first, &second}) {
        EXPECT_EQ(peer->ReadLine(), "done");
        peer->Wait();
    }

    CIniFile::ClearCache();
    int lost = 0;
    for (const char* prefix : {"A", "B"}) {
        for (int i = 0; i < kEach; ++i) {
            const QString key = QString::fromLatin1(prefix) + QString::number(i);
            if (CGlobalSettings::GetInt("Race", key, -1) != i) ++lost;
            if (i % 5 == 0 && CGlobalSettings::GetInt("Race", key + "Copy", -1) != i) ++lost;
        }
    }
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(CGlobalSettings::ClinicDays().size(), 2u * ((kEach + 6) / 7));
    EXPECT_EQ(CGlobalSettings::GetString("GLOBAL", "ClinicName"), QStringLiteral("歯科"));
}

TEST_F(SettingsTest, AChangeWaitsWhileAnotherHoldsTheFolderLock) {
    const std::string path = CGlobalSettings::SettingsPath();
    std::optional<CSharedFileLock> held(std::in_place, path);
    ASSERT_TRUE(held->IsLocked()) << held->Error();
    // The lock belongs to the open file, not to the program: a second taker in this program
    // is kept out as another program's would be, and gives up after its wait with a reason.
    const CSharedFileLock other(path, 50);
    EXPECT_FALSE(other.IsLocked());
    EXPECT_NE(other.Error().find(".velo-files.lock"), std::string::npos) << other.Error();

    std::atomic<bool> done{false};
    std::thread writer([&] {
        EXPECT_TRUE(CGlobalSettings::SetValues({{"S", "K", "2"}}));
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(done);
    EXPECT_FALSE(std::filesystem::exists(path));
    held.reset();
    writer.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(CGlobalSettings::GetInt("S", "K", 0), 2);
}

}  // namespace
