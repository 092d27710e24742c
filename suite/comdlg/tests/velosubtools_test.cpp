// Tests of CVeloSubTools: HHMM spans, the tax rate around every change of rate, the rounding
// modes with floating error, the fixed-field copy, folders and the settings pass-through.
#include "suite/comdlg/velosubtools.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDate>
#include <QTemporaryDir>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "suite/text/globalsettings.h"
#include "suite/text/officehour.h"
#include "suite/tool/date.h"

namespace {

TEST(GetTimeSpan, HhmmDifferences) {
    EXPECT_EQ(CVeloSubTools::GetTimeSpan(1900, 900), 1000);
    EXPECT_EQ(CVeloSubTools::GetTimeSpan(1030, 945), 45);
    EXPECT_EQ(CVeloSubTools::GetTimeSpan(1000, 930), 30);
    EXPECT_EQ(CVeloSubTools::GetTimeSpan(1315, 840), 435);
    EXPECT_EQ(CVeloSubTools::GetTimeSpan(2400, 0), 2400);
}

TEST(GetTimeSpan, NotAfterGivesZero) {
    EXPECT_EQ(CVeloSubTools::GetTimeSpan(945, 1030), 0);
    EXPECT_EQ(CVeloSubTools::GetTimeSpan(930, 930), 0);
}

TEST(GetTaxRate, EachChangeOfRate) {
    struct Case {
        const char* day;
        double rate;
    };
    const Case cases[] = {
        {"19890331", 0.0},  {"19890401", 0.03}, {"19970331", 0.03}, {"19970401", 0.05},
        {"20140331", 0.05}, {"20140401", 0.08}, {"20190930", 0.08}, {"20191001", 0.10},
        {"19000101", 0.0},  {"20991231", 0.10},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(CVeloSubTools::GetTaxRate(c.day), c.rate) << c.day;
    }
}

TEST(GetTaxRate, MalformedDayUsesToday) {
    CDate::SetTodayForTesting(2016, 5, 1);
    EXPECT_DOUBLE_EQ(CVeloSubTools::GetTaxRate("2016/05/"), 0.08);
    EXPECT_DOUBLE_EQ(CVeloSubTools::GetTaxRate("19960231"), 0.08);  // no such day
    EXPECT_DOUBLE_EQ(CVeloSubTools::GetTaxRate(""), 0.08);
    EXPECT_DOUBLE_EQ(CVeloSubTools::GetTaxRate(nullptr), 0.08);
    CDate::SetTodayForTesting(1995, 1, 10);
    EXPECT_DOUBLE_EQ(CVeloSubTools::GetTaxRate("x"), 0.03);
    CDate::SetTodayForTesting(0, 0, 0);
}

TEST(RoundOff, ModesOnPositiveAndNegativeAmounts) {
    struct Case {
        double amount;
        long truncated, halfUp, up;
    };
    const Case cases[] = {
        {52.4, 52, 52, 53}, {52.5, 52, 53, 53}, {52.6, 52, 53, 53},     {0.5, 0, 1, 1},
        {0.49, 0, 0, 1},    {0.0, 0, 0, 0},     {-52.4, -52, -52, -53}, {-52.5, -52, -53, -53},
        {-0.5, 0, -1, -1},  {7.0, 7, 7, 7},     {-7.0, -7, -7, -7},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CVeloSubTools::RoundOff(CVeloSubTools::kTruncate, c.amount), c.truncated)
            << c.amount;
        EXPECT_EQ(CVeloSubTools::RoundOff(CVeloSubTools::kRoundHalfUp, c.amount), c.halfUp)
            << c.amount;
        EXPECT_EQ(CVeloSubTools::RoundOff(CVeloSubTools::kRoundUp, c.amount), c.up) << c.amount;
    }
}

TEST(RoundOff, FloatingErrorDoesNotMoveTheResult) {
    const double justAbove = 1.1 * 100;  // 110.00000000000001
    ASSERT_GT(justAbove, 110.0);
    EXPECT_EQ(CVeloSubTools::RoundOff(CVeloSubTools::kRoundUp, justAbove), 110);
    EXPECT_EQ(CVeloSubTools::RoundOff(CVeloSubTools::kRoundUp, -justAbove), -110);
    const double justBelow = 0.29 * 100;  // 28.999999999999996
    ASSERT_LT(justBelow, 29.0);
    EXPECT_EQ(CVeloSubTools::RoundOff(CVeloSubTools::kTruncate, justBelow), 29);
    const double halfBelow = 1.015 * 100;  // 101.49999999999999
    ASSERT_LT(halfBelow, 101.5);
    EXPECT_EQ(CVeloSubTools::RoundOff(CVeloSubTools::kRoundHalfUp, halfBelow), 102);
    EXPECT_EQ(CVeloSubTools::RoundOff(CVeloSubTools::kRoundHalfUp, -halfBelow), -102);
    // Tax of 100 yen at 7%: 7.000000000000001 must not become 8 when rounding up, while a
    // real fraction still does.
    EXPECT_EQ(CVeloSubTools::RoundOff(CVeloSubTools::kRoundUp, 100 * 0.07), 7);
    EXPECT_EQ(CVeloSubTools::RoundOff(CVeloSubTools::kRoundUp, 1001 * 0.08), 81);
}

TEST(RoundOff, UnknownModeNanAndRange) {
    EXPECT_EQ(CVeloSubTools::RoundOff(9, 2.5), 3);
    EXPECT_EQ(CVeloSubTools::RoundOff(-1, 2.4), 2);
    EXPECT_EQ(CVeloSubTools::RoundOff(0, std::nan("")), 0);
    EXPECT_EQ(CVeloSubTools::RoundOff(0, 1e300), LONG_MAX);
    EXPECT_EQ(CVeloSubTools::RoundOff(0, -1e300), LONG_MIN);
    // The tolerance must stay far below a yen on large amounts.
    EXPECT_EQ(CVeloSubTools::RoundOff(1, 123456789012.5), 123456789013L);
    EXPECT_EQ(CVeloSubTools::RoundOff(1, 123456789012.4), 123456789012L);
    EXPECT_EQ(CVeloSubTools::RoundOff(0, 123456789012.9), 123456789012L);
    EXPECT_EQ(CVeloSubTools::RoundOff(2, 123456789012.1), 123456789013L);
}

TEST(VeloStrcpy, CopiesCountBytesPadsAndTerminates) {
    char field[8];
    std::memset(field, 'X', sizeof field);
    CVeloSubTools::velo_strcpy(field, 4, "093012");
    EXPECT_EQ(std::memcmp(field, "0930\0XXX", 8), 0);

    std::memset(field, 'X', sizeof field);
    CVeloSubTools::velo_strcpy(field, 4, "9");
    EXPECT_EQ(std::memcmp(field, "9\0\0\0\0XXX", 8), 0);

    std::memset(field, 'X', sizeof field);
    CVeloSubTools::velo_strcpy(field, 4, nullptr);
    EXPECT_EQ(std::memcmp(field, "\0\0\0\0\0XXX", 8), 0);

    std::memset(field, 'X', sizeof field);
    CVeloSubTools::velo_strcpy(field, 0, "abc");
    EXPECT_EQ(std::memcmp(field, "\0XXXXXXX", 8), 0);

    std::memset(field, 'X', sizeof field);
    CVeloSubTools::velo_strcpy(field, -1, "abc");
    EXPECT_EQ(std::memcmp(field, "XXXXXXXX", 8), 0);
}

TEST(Folders, EndInSlashAndExist) {
    const std::string program = CVeloSubTools::GetProgramFolder();
    ASSERT_FALSE(program.empty());
    EXPECT_EQ(program.back(), '/');
    EXPECT_TRUE(std::filesystem::is_directory(program));
    EXPECT_EQ(CVeloSubTools::GetTemplatesFolder(), program + "templates/");
}

// The temporary folder is the user's own: in the runtime folder when there is one, else a
// folder of this user in the system's temporary folder; never one that others can use.
TEST(Folders, TemporaryFolderBelongsToThisUserAlone) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string runtime = dir.path().toStdString() + "/run";
    const std::string temp = dir.path().toStdString() + "/tmp";
    std::filesystem::create_directories(runtime);
    std::filesystem::create_directories(temp);
    const QByteArray keptRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray keptTemp = qgetenv("TMPDIR");
    ::setenv("TMPDIR", temp.c_str(), 1);
    const auto mode = [](const std::string& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 ? int(info.st_mode & 0777) : -1;
    };

    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    EXPECT_EQ(CVeloSubTools::GetTemporaryFolder(), runtime + "/velo/");
    EXPECT_EQ(mode(runtime + "/velo"), 0700);
    ::chmod((runtime + "/velo").c_str(), 0777);  // left open by someone: closed again
    EXPECT_EQ(CVeloSubTools::GetTemporaryFolder(), runtime + "/velo/");
    EXPECT_EQ(mode(runtime + "/velo"), 0700);

    ::unsetenv("XDG_RUNTIME_DIR");
    const std::string own = temp + "/velo-" + std::to_string(::geteuid());
    EXPECT_EQ(CVeloSubTools::GetTemporaryFolder(), own + "/");
    EXPECT_EQ(mode(own), 0700);

    // A folder that cannot be made, a link in its place and another user's folder are told.
    const std::string blocked = dir.path().toStdString() + "/blocked";
    std::filesystem::create_directories(blocked);
    { std::ofstream(blocked + "/velo") << "a file"; }
    ::setenv("XDG_RUNTIME_DIR", blocked.c_str(), 1);
    QString error;
    EXPECT_EQ(CVeloSubTools::GetTemporaryFolder(&error), "");
    EXPECT_TRUE(error.startsWith(QString::fromStdString(blocked + "/velo: ")))
        << error.toStdString();
    ::setenv("XDG_RUNTIME_DIR", (dir.path().toStdString() + "/missing").c_str(), 1);
    EXPECT_EQ(CVeloSubTools::GetTemporaryFolder(), "");
    ::unsetenv("XDG_RUNTIME_DIR");
    std::filesystem::remove(own);
    std::filesystem::create_directory_symlink(runtime, own);
    EXPECT_EQ(CVeloSubTools::GetTemporaryFolder(), "");
    std::filesystem::remove(own);
    std::filesystem::create_directory(own);
    if (::chown(own.c_str(), ::geteuid() + 1, static_cast<gid_t>(-1)) == 0) {
        error.clear();
        EXPECT_EQ(CVeloSubTools::GetTemporaryFolder(&error), "");
        EXPECT_FALSE(error.isEmpty());
    }

    qputenv("XDG_RUNTIME_DIR", keptRuntime);
    qputenv("TMPDIR", keptTemp);
    if (keptRuntime.isEmpty()) ::unsetenv("XDG_RUNTIME_DIR");
    if (keptTemp.isEmpty()) ::unsetenv("TMPDIR");
}

TEST(GlobalSettings, RoundTripThroughTheDatabaseFolder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CGlobalSettings::SetDatabaseFolder(dir.path().toStdString());

    EXPECT_EQ(CVeloSubTools::GetGlobalSettingInt("GLOBAL", "TimeSpan", 15), 15);
    EXPECT_EQ(CVeloSubTools::GetGlobalSettingString("EMail", "Server", "none"), "none");
    ASSERT_TRUE(CVeloSubTools::SetGlobalSettingInt("RESERVATION", "CantRsrvThisDay", 1));
    ASSERT_TRUE(CVeloSubTools::SetGlobalSettingString("EMail", "Server", "smtp.example.jp"));
    EXPECT_EQ(CVeloSubTools::GetGlobalSettingInt("Reservation", "CantRsrvThisDay", 0), 1);
    EXPECT_EQ(CVeloSubTools::GetGlobalSettingString("EMAIL", "Server", ""), "smtp.example.jp");

    VELOOFFICEHOUR hours;
    std::memset(&hours, 0xFF, sizeof hours);
    CVeloSubTools::GetVeloOfficeHourData(&hours);
    EXPECT_EQ(hours.Week[2].Open, 0);
    VELOOFFICEHOUR stored{};
    stored.Week[2] = {830, 1230, 1400, 1900};
    ASSERT_TRUE(CGlobalSettings::SetOfficeHours(stored));
    CVeloSubTools::GetVeloOfficeHourData(&hours);
    EXPECT_EQ(hours.Week[2].Open, 830);
    EXPECT_EQ(hours.Week[2].Close, 1900);
    EXPECT_EQ(hours.Week[0].Open, 0);

    QString title = "keep", subject = "keep", body = "keep";
    EXPECT_FALSE(CVeloSubTools::GetReservationTemplate(3, title, subject, body));
    EXPECT_EQ(title, "keep");
    ASSERT_TRUE(CGlobalSettings::SetReservationTemplate(3, "T", "予約のお知らせ", "行1\n行2"));
    EXPECT_TRUE(CVeloSubTools::GetReservationTemplate(3, title, subject, body));
    EXPECT_EQ(title, "T");
    EXPECT_EQ(subject, "予約のお知らせ");
    EXPECT_EQ(body, "行1\n行2");
    CGlobalSettings::SetDatabaseFolder("");
}

}  // namespace
