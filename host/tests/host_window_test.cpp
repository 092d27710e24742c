// Tests of the main window's navigation on the offscreen platform: switching screens
// on the strip, the question before leaving, and handing the reservation screen to a
// stand-in sheet module.
#include <gtest/gtest.h>

#include <QApplication>

#include "hostwindow.h"
#include "sheetmodule.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/testsupport/testdatabase.h"
#include "suite/tool/buttonex.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/navstrip.h"

namespace {

class HostWindowTest : public DbFolderTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(DbFolderTest::SetUp());
        CMessageService::ClearHistory();
    }
    void TearDown() override { CMessageService::SetScript({}); }

    static void Press(CHostWindow& window, int position) {
        window.Strip()->Button(position)->click();
        QApplication::processEvents();
    }
};

TEST_F(HostWindowTest, StripSwitchesScreensAndMarksTheCurrentButton) {
    CModuleEntry noSheet;
    CHostWindow window(&m_db, &noSheet, QStringLiteral(VELO_IMAGE_DIR));
    window.show();
    EXPECT_EQ(window.Strip()->MissingImageCount(), 0);
    window.ShowScreen(kScreenReservation);
    EXPECT_TRUE(window.Strip()->Button(1)->IsPushed());

    Press(window, 7);
    EXPECT_EQ(window.CurrentScreen(), kScreenLab);
    EXPECT_TRUE(window.Strip()->Button(7)->IsPushed());
    EXPECT_FALSE(window.Strip()->Button(1)->IsPushed());
    Press(window, 7);  // its own button changes nothing
    EXPECT_EQ(window.CurrentScreen(), kScreenLab);
    Press(window, 2);
    EXPECT_EQ(window.CurrentScreen(), kScreenPatient);
}

TEST_F(HostWindowTest, CloseAsksFirstAndNoKeepsTheWindow) {
    CModuleEntry noSheet;
    CHostWindow window(&m_db, &noSheet, QStringLiteral(VELO_IMAGE_DIR));
    window.show();
    window.ShowScreen(kScreenReservation);

    CMessageService::SetScript(
        [](const CMessageService::Request&) { return CMessageService::IDNO; });
    Press(window, 0);
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(CMessageService::History()[0].kind, CMessageService::EKind::YesNo);
    EXPECT_EQ(CMessageService::History()[0].text, ExitQuestion());
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.CurrentScreen(), kScreenReservation);

    CMessageService::SetScript(
        [](const CMessageService::Request&) { return CMessageService::IDYES; });
    Press(window, 0);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(HostWindowTest, ReservationScreenRunsTheModuleAndFollowsItsChoice) {
    CModuleEntry sheet;
    ASSERT_TRUE(
        sheet.Load(QStringLiteral("FakeSheet"), "DoStart", {QStringLiteral(FAKE_MODULE_DIR)}));
    CHostWindow window(&m_db, &sheet, QStringLiteral(VELO_IMAGE_DIR));
    window.show();
    EXPECT_EQ(window.CurrentScreen(), kScreenNone);
    Press(window, 1);  // the stand-in sheet answers with the lab screen
    EXPECT_EQ(window.CurrentScreen(), kScreenLab);
    EXPECT_TRUE(window.Strip()->Button(7)->IsPushed());
}

TEST_F(HostWindowTest, LabScreenRunsTheLabModuleAndModulesHandOverToEachOther) {
    CModuleEntry sheet;
    CModuleEntry lab;
    ASSERT_TRUE(
        sheet.Load(QStringLiteral("FakeSheet"), "DoStart", {QStringLiteral(FAKE_MODULE_DIR)}));
    ASSERT_TRUE(
        lab.Load(QStringLiteral("FakeLab"), "VeloLabOnStart", {QStringLiteral(FAKE_MODULE_DIR)}));
    CHostWindow window(&m_db, &sheet, QStringLiteral(VELO_IMAGE_DIR));
    window.SetLabModule(&lab);
    window.show();
    Press(window, 7);  // the stand-in lab module answers with the daily screen
    EXPECT_EQ(window.CurrentScreen(), kScreenDaily);
    Press(window, 1);  // the sheet chooses the lab, which chooses the daily screen
    EXPECT_EQ(window.CurrentScreen(), kScreenDaily);
    EXPECT_TRUE(window.Strip()->Button(3)->IsPushed());
}

TEST_F(HostWindowTest, MissingImagesGiveDrawnButtons) {
    CModuleEntry noSheet;
    CHostWindow window(&m_db, &noSheet, QString::fromStdString(m_folder + "/no-images"));
    EXPECT_EQ(window.Strip()->MissingImageCount(), kNavButtonCount);
    EXPECT_FALSE(window.Strip()->Button(3)->ShownImage().isNull());
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
