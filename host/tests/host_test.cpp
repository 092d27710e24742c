// Tests of the host program's command line, the navigation strip's decisions and the
// warnings about the database folder (network file system, files others can read).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QRegularExpression>
#include <QTemporaryDir>
#include <fstream>
#include <set>

#include "hostoptions.h"
#include "navigation.h"
#include "networkwarning.h"
#include "privatewarning.h"
#include "sheetmodule.h"
#include "suite/text/privatefiles.h"
#include "suite/tool/messageservice.h"

namespace {

QStringList Args(std::initializer_list<const char*> items) {
    QStringList list;
    for (const char* item : items) list << QString::fromUtf8(item);
    return list;
}

TEST(HostOptions, AcceptsBothFormsOfValueOptions) {
    CHostArgs parsed =
        ParseHostArguments(Args({"--database", "/data/clinic", "--screenshot=a.png"}));
    ASSERT_TRUE(parsed.ok) << parsed.error.toStdString();
    EXPECT_EQ(parsed.options.database, QStringLiteral("/data/clinic"));
    EXPECT_EQ(parsed.options.screenshot, QStringLiteral("a.png"));
    EXPECT_FALSE(parsed.options.help);

    parsed = ParseHostArguments(Args({"--database=/x", "--database", "/歯科/データ"}));
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.options.database, QStringLiteral("/歯科/データ"));  // last one wins

    parsed = ParseHostArguments(Args({"-h"}));
    ASSERT_TRUE(parsed.ok);
    EXPECT_TRUE(parsed.options.help);
    EXPECT_FALSE(parsed.options.version);
    parsed = ParseHostArguments(Args({"--version"}));
    ASSERT_TRUE(parsed.ok);
    EXPECT_TRUE(parsed.options.version);
    EXPECT_FALSE(parsed.options.help);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^velo \\d+\\.\\d+\\.\\d+\n$"))
                    .match(HostVersion())
                    .hasMatch())
        << HostVersion().toStdString();
    EXPECT_TRUE(HostUsage().contains(QStringLiteral("--version")));
    EXPECT_TRUE(ParseHostArguments({}).ok);
}

TEST(HostOptions, RejectsBadArgumentsWithAMessageNamingThem) {
    struct Case {
        QStringList args;
        const char* named;
    };
    const Case cases[] = {
        {Args({"--database"}), "--database"},
        {Args({"--database="}), "--database"},
        {Args({"--screenshot", ""}), "--screenshot"},
        {Args({"--datbase", "/x"}), "--datbase"},
        {Args({"/data/clinic"}), "/data/clinic"},
        {Args({"--database", "/x", "extra"}), "extra"},
    };
    for (const Case& c : cases) {
        const CHostArgs parsed = ParseHostArguments(c.args);
        EXPECT_FALSE(parsed.ok) << c.args.join(' ').toStdString();
        EXPECT_TRUE(parsed.error.contains(QString::fromUtf8(c.named)))
            << parsed.error.toStdString();
    }
}

TEST(HostOptions, QtOwnOptionsAreLeftToQt) {
    const QStringList kept = WithoutQtOptions(
        Args({"-platform", "offscreen", "--database", "/d", "-style=fusion", "-reverse",
              "--screenshot", "s.png", "--qwindowgeometry", "800x600"}));
    EXPECT_EQ(kept, Args({"--database", "/d", "--screenshot", "s.png"}));
    // Only whole option names count: a value that looks like one stays.
    EXPECT_EQ(WithoutQtOptions(Args({"--database", "-platformer"})),
              Args({"--database", "-platformer"}));
    EXPECT_FALSE(ParseHostArguments(WithoutQtOptions(Args({"--nonsense"}))).ok);
}

TEST(HostOptions, CommandLineFolderWinsOverTheProfile) {
    CHostOptions options;
    EXPECT_EQ(ChooseDatabaseFolder(options, QStringLiteral(" /stored ")),
              QStringLiteral("/stored"));
    EXPECT_TRUE(ChooseDatabaseFolder(options, QString()).isEmpty());
    options.database = QStringLiteral("/given");
    EXPECT_EQ(ChooseDatabaseFolder(options, QStringLiteral("/stored")), QStringLiteral("/given"));
}

TEST(HostOptions, AFolderOnANetworkShareIsWarnedAboutWithTheWayToTheServer) {
    const QString warning = NetworkShareWarning(QStringLiteral("/mnt/歯科/db"), "SMB/CIFS");
    EXPECT_TRUE(warning.contains(QStringLiteral("/mnt/歯科/db")));
    EXPECT_TRUE(warning.contains(QStringLiteral("（SMB/CIFS）")));
    EXPECT_TRUE(warning.contains(QStringLiteral("サーバー（PostgreSQL）")));
    EXPECT_TRUE(warning.contains(QStringLiteral("velodb.conninfo")));
    EXPECT_TRUE(NetworkShareWarning(QStringLiteral("/home/clinic/db"), "").isEmpty());
}

TEST(HostOptions, FilesOthersCanReadAreWarnedAboutOnceWithTheCommandThatClosesThem) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString folder = temp.filePath(QStringLiteral("歯科 db"));
    const std::string bytes = QFile::encodeName(folder).toStdString();
    ASSERT_EQ(::mkdir(bytes.c_str(), 0700), 0);
    for (int i = 0; i < 10; ++i) {
        const std::string file = bytes + "/T" + std::to_string(i) + ".BTR";
        std::ofstream(file) << "table";
        ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
    }
    CMessageService::SetScript(
        [](const CMessageService::Request&) { return CMessageService::IDOK; });
    CMessageService::ClearHistory();
    WarnIfOpenToOthers(folder, true);
    EXPECT_TRUE(CMessageService::History().isEmpty());

    // However many are open, one box says so, names the first and counts the rest.
    ASSERT_EQ(::chmod(bytes.c_str(), 0755), 0);
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(::chmod((bytes + "/T" + std::to_string(i) + ".BTR").c_str(), 0644), 0);
    WarnIfOpenToOthers(folder, true);
    ASSERT_EQ(CMessageService::History().size(), 1);
    const CMessageService::Request shown = CMessageService::History().front();
    EXPECT_EQ(shown.icon, CMessageService::EIcon::Warning);
    EXPECT_TRUE(shown.text.contains(QStringLiteral("が 11 件あります")))
        << shown.text.toStdString();
    EXPECT_TRUE(shown.text.contains(QStringLiteral("\n・") + folder + u'\n'));
    EXPECT_TRUE(shown.text.contains(QStringLiteral("ほか 3 件"))) << shown.text.toStdString();
    EXPECT_TRUE(shown.text.contains(QString::fromStdString(privatefiles::CommandToClose(bytes))));

    // Taking a picture of the window shows no box.
    CMessageService::ClearHistory();
    WarnIfOpenToOthers(folder, false);
    EXPECT_TRUE(CMessageService::History().isEmpty());
    CMessageService::SetScript({});
}

TEST(Navigation, StripHasTheEightButtonsInOrder) {
    const auto buttons = NavigationButtons();
    ASSERT_EQ(buttons.size(), size_t(kNavButtonCount));
    const int codes[] = {0, 1101, 1102, 1104, 1105, 1106, 1103, 1107};
    const char* names[] = {"s_close",   "s_res",    "s_pat",    "s_daily",
                           "s_notcome", "s_unpaid", "s_recall", "s_lab"};
    for (int i = 0; i < kNavButtonCount; ++i) {
        EXPECT_EQ(buttons[i].position, i);
        EXPECT_EQ(buttons[i].screenCode, codes[i]);
        EXPECT_STREQ(buttons[i].baseName, names[i]);
        EXPECT_EQ(FindNavButtonByCode(codes[i]), &buttons[i]);
    }
    EXPECT_EQ(FindNavButtonByCode(kScreenNone), nullptr);
    EXPECT_EQ(NavImageFileName("s_res", ENavImage::kNormal), QStringLiteral("s_res_n.jpg"));
    EXPECT_EQ(NavImageFileName("s_res", ENavImage::kPressed), QStringLiteral("s_res_d.jpg"));
    EXPECT_EQ(NavImageFileName("s_lab", ENavImage::kCurrent), QStringLiteral("s_lab_a.jpg"));
}

TEST(Navigation, PressingAButtonDependsOnTheCurrentScreen) {
    // The current screen's own button does nothing.
    CNavDecision d = DecideNavigation(kScreenReservation, 1);
    EXPECT_EQ(d.action, ENavAction::kStay);
    // Close always asks first, also from the start screen.
    d = DecideNavigation(kScreenReservation, 0);
    EXPECT_EQ(d.action, ENavAction::kAskExit);
    EXPECT_EQ(DecideNavigation(kScreenNone, 0).action, ENavAction::kAskExit);
    // Another button switches to its screen.
    d = DecideNavigation(kScreenReservation, 7);
    EXPECT_EQ(d.action, ENavAction::kSwitch);
    EXPECT_EQ(d.screenCode, kScreenLab);
    d = DecideNavigation(kScreenLab, 6);
    EXPECT_EQ(d.action, ENavAction::kSwitch);
    EXPECT_EQ(d.screenCode, kScreenRecall);
    // From the start screen, where no button is current, the reservation button works.
    d = DecideNavigation(kScreenNone, 1);
    EXPECT_EQ(d.action, ENavAction::kSwitch);
    EXPECT_EQ(d.screenCode, kScreenReservation);
    // Positions off the strip do nothing.
    EXPECT_EQ(DecideNavigation(kScreenReservation, -1).action, ENavAction::kStay);
    EXPECT_EQ(DecideNavigation(kScreenReservation, 8).action, ENavAction::kStay);
}

TEST(Navigation, ModuleResultsLeadToTheNextScreen) {
    EXPECT_EQ(ScreenAfterModule(kScreenExit), kScreenExit);
    EXPECT_EQ(ScreenAfterModule(kScreenNone), kScreenNone);
    EXPECT_EQ(ScreenAfterModule(kScreenLab), kScreenLab);
    EXPECT_EQ(ScreenAfterModule(kScreenPatient), kScreenPatient);
    // A code nobody knows falls back to the start screen rather than leaving.
    EXPECT_EQ(ScreenAfterModule(4711), kScreenNone);
    EXPECT_EQ(ScreenAfterModule(-1), kScreenNone);
}

TEST(Navigation, ScreensHaveTitlesAndOnlyTheSheetComesFromAModule) {
    std::set<QString> titles;
    for (const CNavButton& button : NavigationButtons()) {
        if (button.screenCode == kScreenExit) continue;
        EXPECT_FALSE(ScreenTitle(button.screenCode).isEmpty());
        titles.insert(ScreenTitle(button.screenCode));
    }
    EXPECT_EQ(titles.size(), size_t(kNavButtonCount - 1));
    EXPECT_EQ(ScreenTitle(kScreenLab), QStringLiteral("技工物"));
    EXPECT_TRUE(ScreenTitle(kScreenExit).isEmpty());
    EXPECT_TRUE(ScreenTitle(kScreenNone).isEmpty());
    EXPECT_STREQ(ModuleForScreen(kScreenReservation), "VeloSheet");
    EXPECT_STREQ(ModuleForScreen(kScreenLab), "VeloLab");
    EXPECT_EQ(ModuleForScreen(kScreenPatient), nullptr);
}

TEST(ModuleEntry, FindsTheEntryInTheFirstFolderThatHoldsTheLibrary) {
    const QString dir = QStringLiteral(FAKE_MODULE_DIR);
    CModuleEntry entry;
    ASSERT_TRUE(
        entry.Load(QStringLiteral("FakeSheet"), "DoStart", {QStringLiteral("/nonexistent"), dir}))
        << entry.Problem().toStdString();
    EXPECT_TRUE(entry.IsAvailable());
    EXPECT_TRUE(entry.Problem().isEmpty());
    EXPECT_EQ(entry.Start(nullptr), kScreenLab);
}

TEST(ModuleEntry, ReportsAMissingLibraryOrEntry) {
    const QString dir = QStringLiteral(FAKE_MODULE_DIR);
    CModuleEntry entry;
    EXPECT_FALSE(entry.Load(QStringLiteral("FakeNoEntry"), "DoStart", {dir}));
    EXPECT_FALSE(entry.IsAvailable());
    EXPECT_TRUE(entry.Problem().contains(QStringLiteral("DoStart")));

    // A library that was available stops being so when a later load fails.
    ASSERT_TRUE(entry.Load(QStringLiteral("FakeSheet"), "DoStart", {dir}));
    EXPECT_FALSE(entry.Load(QStringLiteral("NoSuchModule"), "DoStart", {dir}));
    EXPECT_FALSE(entry.IsAvailable());
    EXPECT_TRUE(entry.Problem().contains(QStringLiteral("libNoSuchModule.so")));
}

TEST(ModuleEntry, SearchesTheProgramFolderThenTheLibFoldersOfTheBuildAndOfAnInstall) {
    const QStringList folders = ModuleSearchFolders(QStringLiteral("/opt/velo/bin"));
    ASSERT_EQ(folders.size(), 3);
    EXPECT_EQ(folders[0], QStringLiteral("/opt/velo/bin"));
    EXPECT_EQ(folders[1], QStringLiteral("/opt/velo/lib"));
    EXPECT_EQ(folders[2], QStringLiteral("/opt/velo/lib/velo"));
}

}  // namespace
