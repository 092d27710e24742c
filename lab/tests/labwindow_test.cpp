// Tests of the lab schedule window on the offscreen platform, with the message service and
// the item edit dialog scripted: picking through CVeloLab::GetSchedule, the automatic entry
// of a first item, the filters' enabling rules, deleting (declined, done, failed), the
// profile settings, the navigation strip, the by-item view, the list's print data, and the
// items another workstation saves appearing by themselves.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <filesystem>
#include <fstream>

#include "lab/byitemview.h"
#include "lab/labitem.h"
#include "lab/labitemdlg.h"
#include "lab/labscheduledlg.h"
#include "lab/labstrings.h"
#include "lab/velolab.h"
#include "recman/recman.h"
#include "suite/dbcall/basedbcall.h"
#include "suite/dbcall/catalogue.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/materialdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/tabledb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/formprinter/formprinter.h"
#include "suite/testsupport/commandicons.h"
#include "suite/testsupport/tablepeer.h"
#include "suite/testsupport/testdatabase.h"
#include "suite/text/atomicfile.h"
#include "suite/text/cp932.h"
#include "suite/text/hostprofile.h"
#include "suite/tool/buttonex.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/navstrip.h"
#include "suite/tool/strings.h"
#include "suite/tool/xlistctrl.h"

namespace {

const QString kSection = QStringLiteral("VELOLAB");

class LabWindowTest : public ::testing::Test {
protected:
    // `engine` is where the tables live.
    explicit LabWindowTest(ETestEngine engine = ETestEngine::kEmbedded) : m_engine(engine) {}

    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        // The tables go to their engine first: the test server, started on first use, keeps
        // its cluster for the whole program, not in the temporary folder of one test.
        m_folder = (m_dir.path() + "/db").toStdString();
        std::filesystem::create_directories(m_folder);
        ASSERT_TRUE(PutTablesOn(m_engine, m_folder));
        // The profile and the temporary folder live in the test's own folder.
        ::setenv("XDG_CONFIG_HOME", (m_dir.path() + "/config").toUtf8().constData(), 1);
        ::setenv("TMPDIR", (m_dir.path() + "/tmp").toUtf8().constData(), 1);
        std::filesystem::create_directories((m_dir.path() + "/tmp").toStdString());
        ::setenv("XDG_RUNTIME_DIR", (m_dir.path() + "/run").toUtf8().constData(), 1);
        std::filesystem::create_directories((m_dir.path() + "/run").toStdString());
        CHostProfile::SetProgramName(QStringLiteral("labtest"));
        ASSERT_EQ(CreateAllTables(m_folder), recman::kOk);
        ASSERT_TRUE(m_db.Open(m_folder));
        ASSERT_TRUE(CHostProfile::WriteProfileString(QStringLiteral("GLOBAL"),
                                                     QStringLiteral("DATABASE"),
                                                     QString::fromStdString(m_folder)));
        CDate::SetTodayForTesting(2026, 3, 2);
        RegisterLabStrings();
        CMessageService::ClearHistory();
        CMessageService::SetScript(
            [](const CMessageService::Request&) { return int(CMessageService::IDNO); });
        AddCategory("0001", "床装置");
        AddStaff("001", "技工 一郎");
        AddPatient("0000000001", "山田 太郎", "1001");
        AddPatient("0000000002", "佐藤 花子", "1002");
    }

    void TearDown() override {
        CLabScheduleDlg::SetItemDialogRunner({});
        CFormPrinter::SetPreviewHookForTesting({});
        CMessageService::SetScript({});
        CDate::SetTodayForTesting(0, 0, 0);
        recman::Shutdown();
    }

    template <typename Table, typename Fill>
    void Insert(Fill fill) {
        Table table;
        ASSERT_EQ(table.Open(m_folder), recman::kOk);
        table.ClearData();
        fill(table.m_Data);
        ASSERT_EQ(table.Insert(), recman::kOk);
    }
    void AddPatient(const char* id, const char* name, const char* chartNo) {
        Insert<CPatientDB>([&](tagPATIENTDB& r) {
            SetField(r.PatientID, id);
            SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8(name));
            SetField(r.ChartNo, chartNo);
        });
    }
    void AddStaff(const char* code, const char* name) {
        Insert<CCustomTblDB>([&](tagCUSTOMTBLDB& r) {
            SetField(r.TableID, "AA");
            SetField(r.Code, code);
            SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8(name));
        });
    }
    void AddCategory(const char* code, const char* name) {
        Insert<CMaterialItemCateDB>([&](tagMATERIALITEMCATEDB& r) {
            SetField(r.Code, code);
            SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8(name));
        });
    }
    // Saves an item through the same code as the edit dialog; returns its key.
    std::string AddItem(const char* patient, const char* due, const char* name,
                        const char* today = "20260301") {
        LabItemInput in;
        in.itemName = QString::fromUtf8(name);
        in.patientId = patient;
        in.orderDate = today;
        in.dueDate = due;
        in.staffCode = "001";
        in.categoryCode = "0001";
        std::string no;
        EXPECT_EQ(SaveLabItem(&m_db, in, today, &no), 0);
        return no;
    }
    bool ReadItem(const std::string& no, tagMATERIALDB* item) {
        CMaterialDB table;
        if (table.Open(m_folder) != recman::kOk || table.GetMaterialData(no.c_str()) != recman::kOk)
            return false;
        *item = table.m_Data;
        return true;
    }
    bool ItemExists(const std::string& no) {
        CMaterialDB table;
        if (table.Open(m_folder) != recman::kOk) return false;
        return table.GetMaterialData(no.c_str()) == recman::kOk;
    }
    static int ProfileInt(const char* key) {
        return CHostProfile::GetProfileInt(kSection, QString::fromUtf8(key), -1);
    }
    static int CountRequests(CMessageService::EKind kind, const QString& textPart) {
        int count = 0;
        for (const CMessageService::Request& r : CMessageService::History()) {
            if (r.kind == kind && r.text.contains(textPart)) ++count;
        }
        return count;
    }

    // Runs `act` on the item edit dialog once it is shown modally over the schedule window.
    static void OnItemDialog(std::function<void(QDialog*)> act) {
        auto* timer = new QTimer(QCoreApplication::instance());
        timer->setInterval(10);
        QObject::connect(timer, &QTimer::timeout, [timer, act] {
            auto* dialog = qobject_cast<CLabItemDlg*>(QApplication::activeModalWidget());
            if (dialog == nullptr || !dialog->isVisible()) return;
            timer->stop();
            timer->deleteLater();
            act(dialog);
        });
        timer->start();
    }

    // Runs `act` on the schedule window once it has shown its first refresh (inside exec).
    static void WhenRefreshed(std::function<void(CLabScheduleDlg*)> act) {
        QTimer::singleShot(0, [act] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<CLabScheduleDlg*>(widget);
                if (dialog == nullptr || !dialog->isVisible()) continue;
                QObject::connect(
                    dialog, &CLabScheduleDlg::Refreshed, dialog, [dialog, act] { act(dialog); },
                    Qt::SingleShotConnection);
                // A window the test failed to close is closed rather than left waiting.
                QTimer::singleShot(30000, dialog, [dialog] {
                    ADD_FAILURE() << "the schedule window was still open";
                    dialog->reject();
                });
                return;
            }
            ADD_FAILURE() << "no schedule window is open";
        });
    }

    ETestEngine m_engine;
    QTemporaryDir m_dir;
    std::string m_folder;
    CVeloDBSys m_db;
};

TEST_F(LabWindowTest, PickingReturnsTheConfirmedItemAndNothingOnCancel) {
    // The appointment is on 2 March: the range runs from 27 February to 5 March.
    const std::string before = AddItem("0000000001", "20260227", "上顎床");
    const std::string inside = AddItem("0000000001", "20260305", "下顎床");
    AddItem("0000000001", "20260306", "範囲外");
    AddItem("0000000002", "20260303", "他の患者");
    CVeloLab lab;

    std::vector<std::string> listed;
    WhenRefreshed([&](CLabScheduleDlg* dialog) {
        EXPECT_TRUE(dialog->IsPicking());
        EXPECT_EQ(dialog->Strip(), nullptr);
        ExpectCommandIcons(dialog->findChild<QToolBar*>(QString::number(kIdrLabPickToolbar)));
        EXPECT_EQ(dialog->FromEdit()->date(), QDate(2026, 2, 27));
        EXPECT_EQ(dialog->ToEdit()->date(), QDate(2026, 3, 5));
        for (int r = 0; r < dialog->List()->GetItemCount(); ++r) {
            listed.push_back(dialog->List()->GetItemText(r, kColItem).toStdString());
        }
        // Without a selection OK does nothing; with one it returns the row's item.
        EXPECT_FALSE(dialog->Action(kCmdLabOk)->isEnabled());
        dialog->RunCommand(kCmdLabOk);
        EXPECT_TRUE(dialog->isVisible());
        dialog->List()->SetSelIndex(1);
        EXPECT_TRUE(dialog->Action(kCmdLabOk)->isEnabled());
        dialog->RunCommand(kCmdLabOk);
    });
    EXPECT_EQ(lab.GetSchedule(&m_db, "0000000001", "20260302").toStdString(), inside);
    EXPECT_EQ(listed, (std::vector<std::string>{"上顎床", "下顎床"}));
    EXPECT_NE(before, inside);

    WhenRefreshed([](CLabScheduleDlg* dialog) {
        dialog->List()->SetSelIndex(0);
        dialog->RunCommand(kCmdLabCancel);
    });
    EXPECT_TRUE(lab.GetSchedule(&m_db, "0000000001", "20260302").isEmpty());
    EXPECT_TRUE(lab.GetSchedule(&m_db, "", "20260302").isEmpty());
}

TEST_F(LabWindowTest, PickingWithoutItemsOpensTheEditDialogAtOnce) {
    std::vector<LabItemDialogRequest> requests;
    CLabScheduleDlg::SetItemDialogRunner([&](const LabItemDialogRequest& request) {
        requests.push_back(request);
        return LabItemDialogResult{};  // cancelled
    });
    int rowsAfterCancel = -1;
    bool reloadedForOtherDesk = false;
    WhenRefreshed([&](CLabScheduleDlg* dialog) {
        // The dialog is asked for on the next turn of the event loop.
        QTimer::singleShot(0, dialog, [&, dialog] {
            rowsAfterCancel = dialog->List()->GetItemCount();
            // Another desk enters an item for another patient meanwhile: the window reloads,
            // still without items, and does not push a new entry on the user again.
            CTablePeer desk(m_folder);
            QSignalSpy reloads(dialog, &CLabScheduleDlg::reloadedForChanges);
            if (desk.Run("insert MATERIAL.BTR MaterialNo=2026030299001 PatientID=0000000009 "
                         "CompletionDate=20260310 ItemName=模型")
                    .rfind("ok ", 0) == 0) {
                reloadedForOtherDesk = reloads.wait(10000);
            }
            QApplication::processEvents();
            dialog->RunCommand(kCmdLabCancel);
        });
    });
    CVeloLab lab;
    EXPECT_TRUE(lab.GetSchedule(&m_db, "0000000002", "20260310").isEmpty());
    EXPECT_TRUE(reloadedForOtherDesk);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].patientId, "0000000002");
    EXPECT_EQ(requests[0].day, "20260310");
    EXPECT_EQ(requests[0].pickingState, 1);
    EXPECT_TRUE(requests[0].materialNo.isEmpty());
    EXPECT_EQ(rowsAfterCancel, 0);

    // This time the dialog saves an item due outside the range: the range widens to it,
    // the item is selected, the picking state moves on and OK returns the new item.
    requests.clear();
    std::string saved;
    CLabScheduleDlg::SetItemDialogRunner([&](const LabItemDialogRequest& request) {
        requests.push_back(request);
        saved = AddItem(request.patientId.c_str(), "20260320", "保定装置", "20260302");
        return LabItemDialogResult{saved, "20260320", {}};
    });
    WhenRefreshed([&](CLabScheduleDlg* dialog) {
        // The first (empty) refresh posts the entry; the one after the save has the item.
        EXPECT_EQ(dialog->PickingState(), 1);
        QObject::connect(
            dialog, &CLabScheduleDlg::Refreshed, dialog,
            [&, dialog] {
                EXPECT_EQ(dialog->PickingState(), 2);
                EXPECT_EQ(dialog->ToEdit()->date(), QDate(2026, 3, 20));
                EXPECT_EQ(dialog->SelectedMaterialNo(), saved);
                dialog->RunCommand(kCmdLabOk);
            },
            Qt::SingleShotConnection);
    });
    EXPECT_EQ(lab.GetSchedule(&m_db, "0000000002", "20260310").toStdString(), saved);
    EXPECT_EQ(requests.size(), 1u);

    // The real dialog saves one item with "登録して新規" and another with OK: the range
    // widens to both due days, not only to the last one's, and the last one is selected.
    CLabScheduleDlg::SetItemDialogRunner({});
    Insert<CStaffDB>([](tagSTAFFDB& r) {
        SetField(r.Code, "001");
        SetCp932Field(r.Name, sizeof r.Name, QStringLiteral("技工 一郎"));
    });
    std::string last;
    OnItemDialog([&](QDialog* item) {
        auto fill = [item](const QString& name, const QDate& due) {
            item->findChild<QComboBox*>(QString::number(CLabItemDlg::kIdCategory))
                ->setCurrentIndex(0);
            item->findChild<QComboBox*>(QString::number(CLabItemDlg::kIdStaff))
                ->setCurrentText(QStringLiteral("技工 一郎"));
            item->findChild<QComboBox*>(QString::number(CLabItemDlg::kIdItemName))
                ->setEditText(name);
            item->findChild<QDateEdit*>(QString::number(CLabItemDlg::kIdDueDate))->setDate(due);
        };
        fill(QStringLiteral("咬合床"), QDate(2026, 3, 27));
        QTest::mouseClick(
            item->findChild<QPushButton*>(QString::number(CLabItemDlg::kIdSaveAndNew)),
            Qt::LeftButton);
        fill(QStringLiteral("模型"), QDate(2026, 3, 8));
        QTest::mouseClick(item->findChild<QPushButton*>(QStringLiteral("1")), Qt::LeftButton);
    });
    std::vector<QString> listed;
    WhenRefreshed([&](CLabScheduleDlg* dialog) {
        QObject::connect(
            dialog, &CLabScheduleDlg::Refreshed, dialog,
            [&, dialog] {
                EXPECT_EQ(dialog->FromEdit()->date(), QDate(2026, 3, 7));
                EXPECT_EQ(dialog->ToEdit()->date(), QDate(2026, 3, 27));
                for (int r = 0; r < dialog->List()->GetItemCount(); ++r)
                    listed.push_back(dialog->List()->GetItemText(r, kColItem));
                last = dialog->SelectedMaterialNo();
                dialog->RunCommand(kCmdLabOk);
            },
            Qt::SingleShotConnection);
    });
    EXPECT_EQ(lab.GetSchedule(&m_db, "0000000001", "20260310").toStdString(), last);
    EXPECT_EQ(listed, (std::vector<QString>{QStringLiteral("模型"), QStringLiteral("咬合床")}));
    tagMATERIALDB chosen{};
    ASSERT_TRUE(ReadItem(last, &chosen));
    EXPECT_STREQ(chosen.CompletionDate, "20260308");
}

TEST_F(LabWindowTest, FilterControlsFollowTheirRules) {
    CLabScheduleDlg dialog(&m_db);
    dialog.show();
    dialog.ListRadio()->setChecked(true);
    EXPECT_FALSE(dialog.EmptyDaysCheck()->isEnabled());
    EXPECT_TRUE(dialog.ShowIdCheck()->isEnabled());

    dialog.ByItemRadio()->setChecked(true);
    EXPECT_EQ(dialog.View(), CLabScheduleDlg::kByItemView);
    EXPECT_EQ(ProfileInt("ViewOption"), 1);  // stored at once
    EXPECT_TRUE(dialog.EmptyDaysCheck()->isEnabled());
    EXPECT_FALSE(dialog.ShowIdCheck()->isEnabled());
    dialog.EmptyDaysCheck()->setChecked(true);

    // Turning the range off clears and disables the empty days and the pickers.
    dialog.DateCheck()->setChecked(false);
    EXPECT_FALSE(dialog.EmptyDaysCheck()->isChecked());
    EXPECT_FALSE(dialog.EmptyDaysCheck()->isEnabled());
    EXPECT_FALSE(dialog.FromEdit()->isEnabled());
    EXPECT_FALSE(dialog.ToEdit()->isEnabled());
    dialog.DateCheck()->setChecked(true);
    EXPECT_TRUE(dialog.FromEdit()->isEnabled());
    EXPECT_TRUE(dialog.EmptyDaysCheck()->isEnabled());
    EXPECT_FALSE(dialog.EmptyDaysCheck()->isChecked());

    // Normal mode opens on today to a week ahead, with the strip and the close button.
    EXPECT_EQ(dialog.FromEdit()->date(), QDate(2026, 3, 2));
    EXPECT_EQ(dialog.ToEdit()->date(), QDate(2026, 3, 9));
    EXPECT_NE(dialog.Strip(), nullptr);
    EXPECT_NE(dialog.Action(kCmdLabClose), nullptr);
    EXPECT_EQ(dialog.Action(kCmdLabOk), nullptr);
    EXPECT_EQ(dialog.Action(kCmdLabCsv)->text(), QStringLiteral("CSV保存"));
}

TEST_F(LabWindowTest, RangeOffListsEveryItemAndFinishedFilterHides) {
    AddItem("0000000001", "20250101", "古い");
    const std::string late = AddItem("0000000002", "20261231", "遅い");
    CLabScheduleDlg dialog(&m_db);
    dialog.show();
    dialog.Refresh();
    EXPECT_EQ(dialog.List()->GetItemCount(), 0);
    EXPECT_EQ(dialog.CountText(), QStringLiteral("件数： 0"));
    dialog.DateCheck()->setChecked(false);
    ASSERT_EQ(dialog.List()->GetItemCount(), 2);
    EXPECT_EQ(dialog.List()->GetItemText(0, kColItem), QStringLiteral("古い"));
    EXPECT_EQ(dialog.CountText(), QStringLiteral("件数： 2"));

    // ID表示 takes effect at the next refresh.
    dialog.ShowIdCheck()->setChecked(true);
    EXPECT_EQ(dialog.List()->GetItemText(1, kColPatient), QStringLiteral("佐藤 花子"));
    dialog.RunCommand(kCmdLabRefresh);
    EXPECT_EQ(dialog.List()->GetItemText(1, kColPatient), QStringLiteral("[1002]佐藤 花子"));

    // Finishing the late item hides it under 未完成のみ.
    {
        CMaterialDB table;
        ASSERT_EQ(table.Open(m_folder), recman::kOk);
        ASSERT_EQ(table.GetMaterialData(late.c_str()), recman::kOk);
        SetField(table.m_Data.FinishedDate, "20260302");
        ASSERT_EQ(table.Update(), recman::kOk);
    }
    dialog.NotFinishedCheck()->setChecked(true);
    ASSERT_EQ(dialog.List()->GetItemCount(), 1);
    EXPECT_EQ(dialog.List()->GetItemText(0, kColItem), QStringLiteral("古い"));
}

TEST_F(LabWindowTest, DeleteAsksAndKeepsTheItemWhenDeclined) {
    const std::string no = AddItem("0000000001", "20260303", "上顎床");
    CLabScheduleDlg dialog(&m_db);
    dialog.show();
    dialog.Refresh();
    ASSERT_EQ(dialog.List()->GetItemCount(), 1);
    EXPECT_FALSE(dialog.Action(kCmdLabDelete)->isEnabled());
    dialog.List()->SetSelIndex(0);
    ASSERT_TRUE(dialog.Action(kCmdLabDelete)->isEnabled());

    dialog.RunCommand(kCmdLabDelete);  // the script answers No
    EXPECT_TRUE(ItemExists(no));
    EXPECT_EQ(dialog.List()->GetItemCount(), 1);
    const QList<CMessageService::Request> history = CMessageService::History();
    ASSERT_EQ(history.size(), 1);
    EXPECT_EQ(history[0].kind, CMessageService::EKind::YesNo);
    EXPECT_TRUE(history[0].text.startsWith(QStringLiteral("下記の技工物データを削除")));
    // The description: each header padded to 16 bytes, a tab, ": " and the cell.
    const QString pad(12, u' ');  // two double-byte characters fill 4 of the 16 bytes
    EXPECT_TRUE(history[0].text.contains(QStringLiteral("予定") + pad + "\t: 上顎床\n"));
    EXPECT_TRUE(history[0].text.contains(QStringLiteral("患者") + pad + "\t: 山田 太郎\n"));

    CMessageService::SetScript(
        [](const CMessageService::Request&) { return int(CMessageService::IDYES); });
    dialog.RunCommand(kCmdLabDelete);
    EXPECT_FALSE(ItemExists(no));
    EXPECT_EQ(dialog.List()->GetItemCount(), 0);
    EXPECT_EQ(CountRequests(CMessageService::EKind::MessageBox, QString()), 0);
}

TEST_F(LabWindowTest, FailedReadsAndDeletesAreShownAndKeepTheWindow) {
    const std::string no = AddItem("0000000001", "20260303", "上顎床");
    CLabScheduleDlg dialog(&m_db);
    dialog.show();
    dialog.Refresh();
    dialog.List()->SetSelIndex(0);
    // Another workstation deletes the item after the list was read.
    {
        CMaterialDB table;
        ASSERT_EQ(table.Open(m_folder), recman::kOk);
        ASSERT_EQ(table.GetMaterialData(no.c_str()), recman::kOk);
        ASSERT_EQ(table.Delete(), recman::kOk);
    }
    CMessageService::SetScript(
        [](const CMessageService::Request&) { return int(CMessageService::IDYES); });
    dialog.RunCommand(kCmdLabDelete);
    EXPECT_EQ(CountRequests(CMessageService::EKind::MessageBox, LoadString(kIdsLabDeleteFailed)),
              1);
    EXPECT_TRUE(dialog.isVisible());

    // The item file cut short: each load says once which file could not be read, a notice
    // stays above the view, and nothing acts on what was read until a load succeeds.
    for (int i = 0; i < 30; ++i) AddItem("0000000001", "20260304", "模型");
    const std::filesystem::path material = std::filesystem::path(m_folder) / "MATERIAL.BTR";
    const std::filesystem::path sound =
        m_dir.filePath(QStringLiteral("MATERIAL.sound")).toStdString();
    recman::Shutdown();
    std::filesystem::copy_file(material, sound);
    std::filesystem::resize_file(material, std::filesystem::file_size(material) / 4);
    CMessageService::ClearHistory();
    const QString failed = QStringLiteral("MATERIAL.BTR のデータを読み込めませんでした");
    QTest::mouseClick(dialog.RefreshButton(), Qt::LeftButton);
    EXPECT_EQ(CountRequests(CMessageService::EKind::MessageBox, failed), 1);
    EXPECT_EQ(CountRequests(CMessageService::EKind::MessageBox, QStringLiteral("velodb check")), 1);
    EXPECT_TRUE(dialog.ReadFailureNotice()->isVisible());
    EXPECT_TRUE(dialog.ReadFailureNotice()->text().contains(QStringLiteral("MATERIAL.BTR")));
    for (int id : {kCmdLabEdit, kCmdLabDelete, kCmdLabPrint, kCmdLabCsv})
        EXPECT_FALSE(dialog.Action(id)->isEnabled()) << id;
    if (dialog.List()->GetItemCount() > 0) dialog.List()->SetSelIndex(0);
    QTest::keyClick(dialog.List(), Qt::Key_Delete);
    EXPECT_EQ(CountRequests(CMessageService::EKind::YesNo, QString()), 0);
    QTest::mouseClick(dialog.ByItemRadio(), Qt::LeftButton);
    EXPECT_EQ(CountRequests(CMessageService::EKind::MessageBox, failed), 2);
    EXPECT_TRUE(dialog.ReadFailureNotice()->isVisible());

    recman::Shutdown();
    std::filesystem::copy_file(sound, material, std::filesystem::copy_options::overwrite_existing);
    QTest::mouseClick(dialog.RefreshButton(), Qt::LeftButton);
    EXPECT_EQ(CountRequests(CMessageService::EKind::MessageBox, failed), 2);
    EXPECT_FALSE(dialog.ReadFailureNotice()->isVisible());
    EXPECT_EQ(dialog.ByItemView()->CardCount(), 30);
    EXPECT_TRUE(dialog.Action(kCmdLabCsv)->isEnabled());

    // Picking from a file that cannot be read offers no new item on the strength of the
    // empty list, and nothing can be confirmed.
    dialog.reject();
    std::filesystem::resize_file(material, std::filesystem::file_size(material) / 4);
    bool itemDialogAsked = false;
    CLabScheduleDlg::SetItemDialogRunner([&](const LabItemDialogRequest&) {
        itemDialogAsked = true;
        return LabItemDialogResult{};
    });
    WhenRefreshed([](CLabScheduleDlg* picking) {
        QTimer::singleShot(0, picking, [picking] {
            EXPECT_FALSE(picking->Action(kCmdLabOk)->isEnabled());
            picking->RunCommand(kCmdLabCancel);
        });
    });
    recman::Shutdown();
    CVeloLab lab;
    EXPECT_TRUE(lab.GetSchedule(&m_db, "0000000002", "20260310").isEmpty());
    EXPECT_FALSE(itemDialogAsked);
    EXPECT_EQ(CountRequests(CMessageService::EKind::MessageBox, failed), 3);
    for (const auto& r : CMessageService::History())
        fprintf(stderr, "MSG %s\n", r.text.toUtf8().constData());
}

TEST_F(LabWindowTest, SettingsAreReadAtOpeningAndWrittenOnClosing) {
    ASSERT_TRUE(CHostProfile::WriteProfileInt(kSection, QStringLiteral("IsNotFinished"), 1));
    ASSERT_TRUE(CHostProfile::WriteProfileInt(kSection, QStringLiteral("ViewOption"), 1));
    {
        CLabScheduleDlg dialog(&m_db);
        EXPECT_TRUE(dialog.NotFinishedCheck()->isChecked());
        EXPECT_TRUE(dialog.DateCheck()->isChecked());  // default 1
        EXPECT_EQ(dialog.View(), CLabScheduleDlg::kByItemView);
        dialog.show();
        dialog.EmptyDaysCheck()->setChecked(true);
        dialog.NotFinishedCheck()->setChecked(false);
        // Nothing but the view is written before closing.
        EXPECT_EQ(ProfileInt("IsShowEmptyDay"), -1);
        dialog.ListRadio()->setChecked(true);
        dialog.ShowIdCheck()->setChecked(true);
        EXPECT_EQ(ProfileInt("ViewOption"), 0);
        // The closing choices are stored in one rewrite of the profile.
        int rewrites = 0;
        SetAtomicWriteHookForTesting([&rewrites](EAtomicWriteStep step, const std::string&) {
            if (step == EAtomicWriteStep::Rename) ++rewrites;
            return true;
        });
        dialog.RunCommand(kCmdLabClose);
        SetAtomicWriteHookForTesting(nullptr);
        EXPECT_EQ(dialog.ResultCode(), -100);
        EXPECT_EQ(rewrites, 1);
    }
    EXPECT_EQ(ProfileInt("IsDateCheck"), 1);
    EXPECT_EQ(ProfileInt("IsNotFinished"), 0);
    EXPECT_EQ(ProfileInt("IsShowEmptyDay"), 1);
    EXPECT_EQ(ProfileInt("ShowID"), 1);
}

TEST_F(LabWindowTest, StripEndsTheWindowWithTheScreenCode) {
    CLabScheduleDlg dialog(&m_db);
    dialog.show();
    ExpectCommandIcons(dialog.findChild<QToolBar*>(QString::number(kIdrLabToolbar)));
    CNavigationStrip* strip = dialog.Strip();
    ASSERT_NE(strip, nullptr);
    EXPECT_TRUE(strip->Button(7)->IsPushed());  // s_lab is the current module

    strip->Button(7)->click();
    EXPECT_TRUE(dialog.isVisible());
    strip->Button(0)->click();  // the exit question is answered No
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(CountRequests(CMessageService::EKind::YesNo,
                            QStringLiteral("本システムを終了してもよろしいですか")),
              1);
    strip->Button(6)->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.ResultCode(), 1103);

    CLabScheduleDlg second(&m_db);
    second.show();
    CMessageService::SetScript(
        [](const CMessageService::Request&) { return int(CMessageService::IDYES); });
    second.Strip()->Button(0)->click();
    EXPECT_EQ(second.ResultCode(), 0);
}

TEST_F(LabWindowTest, ByItemViewShowsCardsAndRefusesLongEmptyDayRanges) {
    const std::string first = AddItem("0000000001", "20260303", "上顎床");
    AddItem("0000000002", "20260303", "下顎床");
    CLabScheduleDlg dialog(&m_db);
    dialog.resize(900, 600);
    dialog.show();
    dialog.ByItemRadio()->setChecked(true);
    CByItemView* view = dialog.ByItemView();
    ASSERT_EQ(view->Grid().days.size(), 1u);
    EXPECT_EQ(view->Grid().days[0].rows, 2);
    EXPECT_EQ(view->CardCount(), 2);
    EXPECT_EQ(dialog.CountText(), QStringLiteral("件数： 2"));
    EXPECT_FALSE(dialog.Action(kCmdLabEdit)->isEnabled());

    // A click on a card selects it and enables the item commands.
    const QPoint centre = view->CardCentre(first);
    ASSERT_GE(centre.x(), 0);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(centre), QPointF(view->mapToGlobal(centre)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &press);
    EXPECT_EQ(dialog.SelectedMaterialNo(), first);
    EXPECT_TRUE(dialog.Action(kCmdLabEdit)->isEnabled());

    // Empty days over 178 days are shown; 179 are refused with the six-month message.
    dialog.EmptyDaysCheck()->setChecked(true);
    dialog.FromEdit()->setDate(QDate(2026, 3, 1));
    dialog.ToEdit()->setDate(QDate(2026, 3, 1).addDays(178));
    dialog.Refresh();
    EXPECT_EQ(view->Grid().days.size(), 179u);
    EXPECT_EQ(CountRequests(CMessageService::EKind::MessageBox, QStringLiteral("６ヶ月以内")), 0);
    dialog.ToEdit()->setDate(QDate(2026, 3, 1).addDays(179));
    dialog.Refresh();
    EXPECT_TRUE(view->Grid().days.empty());
    EXPECT_EQ(CountRequests(CMessageService::EKind::MessageBox, QStringLiteral("６ヶ月以内")), 1);
}

// The window over tables on either engine: another workstation's commits reach it through
// the change counters of the table files, or through the server's notifications.
class LabWindowEngineTest : public ::testing::WithParamInterface<ETestEngine>,
                            public LabWindowTest {
protected:
    LabWindowEngineTest() : LabWindowTest(GetParam()) {}
};
INSTANTIATE_TEST_SUITE_P(, LabWindowEngineTest,
                         ::testing::Values(ETestEngine::kEmbedded, ETestEngine::kServer),
                         TestEngineName);

TEST_P(LabWindowEngineTest, ItemsSavedElsewhereAppearByThemselvesWherePeopleLeftThem) {
    std::vector<std::string> items;
    for (int i = 0; i < 60; ++i) items.push_back(AddItem("0000000001", "20260304", "模型"));
    CLabScheduleDlg dialog(&m_db);
    dialog.resize(900, 600);
    QSignalSpy refreshed(&dialog, &CLabScheduleDlg::Refreshed);
    QSignalSpy reloads(&dialog, &CLabScheduleDlg::reloadedForChanges);
    dialog.show();
    ASSERT_TRUE(refreshed.wait(10000));
    QApplication::processEvents();
    CXListCtrl* list = dialog.List();
    ASSERT_EQ(list->GetItemCount(), 60);
    EXPECT_FALSE(dialog.ReadFailureNotice()->isVisible())
        << dialog.ReadFailureNotice()->text().toStdString();

    // The user picks the third row and scrolls the list down a page.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->topLevelItem(2)).center());
    const std::string picked = dialog.SelectedMaterialNo();
    ASSERT_FALSE(picked.empty());
    QScrollBar* bar = list->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    QTest::mouseClick(bar, Qt::LeftButton, {},
                      QPoint(bar->width() / 2, bar->height() - 2 * bar->width()));
    const int scrolled = bar->value();
    ASSERT_GT(scrolled, 0);

    // Another desk enters an item due in the range: it is listed, the place is kept.
    CTablePeer desk(m_folder);
    const auto enter = [&desk](const char* no) {
        return desk.Run(std::string("insert MATERIAL.BTR MaterialNo=") + no +
                        " CompletionDate=20260305 PatientID=0000000002 ItemName=保定装置"
                        " StaffCode=001 CategoryCode=0001 OrderDate=20260302")
                   .rfind("ok ", 0) == 0;
    };
    ASSERT_TRUE(enter("2026030299001"));
    ASSERT_TRUE(reloads.wait(10000));
    EXPECT_EQ(list->GetItemCount(), 61);
    EXPECT_EQ(dialog.SelectedMaterialNo(), picked);
    EXPECT_EQ(bar->value(), scrolled);
    EXPECT_EQ(dialog.View(), CLabScheduleDlg::kListView);

    // The same in the by-item view, with a card chosen by a click.
    QTest::mouseClick(dialog.ByItemRadio(), Qt::LeftButton);
    CByItemView* view = dialog.ByItemView();
    ASSERT_EQ(view->CardCount(), 61);
    const QPoint centre = view->CardCentre(items[0]);
    ASSERT_GE(centre.x(), 0);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, centre);
    ASSERT_EQ(dialog.SelectedMaterialNo(), items[0]);
    ASSERT_TRUE(enter("2026030299002"));
    ASSERT_TRUE(reloads.wait(10000));
    EXPECT_EQ(view->CardCount(), 62);
    EXPECT_EQ(dialog.SelectedMaterialNo(), items[0]);
    EXPECT_EQ(dialog.View(), CLabScheduleDlg::kByItemView);
}

TEST_F(LabWindowTest, ByItemPrintChoosesTheOrientationOfThePictureAndWritesOnePage) {
    CByItemView view;
    ByItemGrid grid;
    grid.columns = {{"0001", "床装置"}, {"0002", "リテーナー"}, {"0003", "模型"}};
    grid.days.push_back(
        {"20260303", 1, {{{"2026030100001", "患　者　： [1001] 山田", false}}, {}, {}}});
    view.SetGrid(grid, "2026030100001");
    EXPECT_EQ(view.SelectedMaterialNo(), "2026030100001");
    // Three columns and one day are wider than tall: landscape.
    EXPECT_EQ(view.PictureSize(),
              QSize(CByItemView::kDayColumnWidth + 3 * CByItemView::kColumnWidth,
                    CByItemView::kHeadingHeight + CByItemView::kRowHeight +
                        CByItemView::kPrintHeaderHeight));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString pdf = m_dir.filePath(QStringLiteral("byitem.pdf"));
    printer.setOutputFileName(pdf);
    view.PreparePrinter(&printer);
    EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Landscape);
    ASSERT_TRUE(view.PrintTo(&printer));
    EXPECT_GT(QFileInfo(pdf).size(), 0);

    // Many days make the picture taller than wide: portrait.
    grid.days.clear();
    for (int d = 1; d <= 28; ++d) {
        grid.days.push_back({CDate::ToYmd(QDate(2026, 2, d)), 1, {{}, {}, {}}});
    }
    view.SetGrid(grid, "2026030100001");
    EXPECT_TRUE(view.SelectedMaterialNo().empty());  // the card is gone
    view.PreparePrinter(&printer);
    EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Portrait);
}

TEST_F(LabWindowTest, PrintOfTheListHandsTheRowsToTheFormPrinterAndRemovesTheFile) {
    AddItem("0000000001", "20260303", "上顎床");
    AddItem("0000000002", "20260304", "下顎床");
    FormData printed;
    QString title;
    CFormPrinter::SetPreviewHookForTesting(
        [&](const FormDefinition&, const FormData& data, const QString& t) {
            printed = data;
            title = t;
            return int(CFormPrinter::kOk);
        });
    CLabScheduleDlg dialog(&m_db);
    dialog.show();
    dialog.Refresh();
    dialog.RunCommand(kCmdLabPrint);
    ASSERT_EQ(printed.pageCount, 1);
    const FormList* list = printed.pages[0].List(1);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->Cell(1, 2), QStringLiteral("上顎床"));
    EXPECT_EQ(list->Cell(2, 2), QStringLiteral("下顎床"));
    EXPECT_EQ(title, QStringLiteral("技工物・予定表"));
    const std::string privateFolder = (m_dir.path() + "/run/velo").toStdString();
    EXPECT_TRUE(std::filesystem::is_directory(privateFolder));
    EXPECT_FALSE(std::filesystem::exists(privateFolder + "/_tmpschedule.dat"));

    // A temporary folder that cannot be made is told, and nothing is printed.
    std::filesystem::remove(privateFolder);
    { std::ofstream(privateFolder) << "not a folder"; }
    printed = FormData();
    dialog.RunCommand(kCmdLabPrint);
    EXPECT_EQ(printed.pageCount, 0);
    EXPECT_EQ(CountRequests(CMessageService::EKind::MessageBox,
                            QStringLiteral("印刷用の一時フォルダーを作成できません")),
              1);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
