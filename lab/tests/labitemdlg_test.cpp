// Tests of the lab item edit dialog, driven through its controls on the offscreen platform:
// the due day proposed from an appointment, what a save writes (due kind and time, kept
// order day, numbering over "登録して新規"), the enabling rules, the byte limits of the item
// name and memo, text the record cannot hold, the item names of a category, the keys, and
// the failure message.
#include "lab/labitemdlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include "lab/labstrings.h"
#include "recman/recman.h"
#include "suite/comdlg/querypatientdlg.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/materialdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/testsupport/modal.h"
#include "suite/testsupport/testdatabase.h"
#include "suite/text/cp932.h"
#include "suite/text/globalsettings.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/storabletext.h"
#include "suite/tool/strings.h"
#include "suite/testsupport/application.h"

namespace {

// Answers the patient query by double-clicking the row whose ID column reads chartNo.
void ChoosePatient(const QString& chartNo) {
    OnModal([chartNo](QDialog* dialog) {
        auto* list = dialog->findChild<QTreeWidget*>(QString::number(CQueryPatientDlg::kIdList));
        ASSERT_NE(list, nullptr);
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            if (list->topLevelItem(i)->text(0) == chartNo) {
                emit list->itemDoubleClicked(list->topLevelItem(i), 0);
                return;
            }
        }
        dialog->reject();
    });
}

// Types the text into the edit one character at a time, as a keyboard or input method would.
void Type(QWidget* edit, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &press);
    }
}

class LabItemDlgTest : public DbFolderTest {
protected:
    void SetUp() override {
        EnsureQApplication("labitemdlg_test");
        ASSERT_NO_FATAL_FAILURE(DbFolderTest::SetUp());
        CDate::SetTodayForTesting(2025, 6, 2);
        // Monday to Friday open, weekends closed.
        VELOOFFICEHOUR hours{};
        for (int day = 1; day <= 5; ++day) hours.Week[day] = {900, 1300, 1400, 1800};
        ASSERT_TRUE(CGlobalSettings::SetOfficeHours(hours));
        CMessageService::ClearHistory();

        AddPatient("0000000001", "00101", "山田　花子");
        AddPatient("0000000002", "00102", "鈴木　一郎");
        Insert<CStaffDB>([](tagSTAFFDB& r) {
            SetField(r.Code, "001");
            SetCp932Field(r.Name, sizeof r.Name, QStringLiteral("技工 田村"));
        });
        Insert<CStaffDB>([](tagSTAFFDB& r) {
            SetField(r.Code, "002");
            SetCp932Field(r.Name, sizeof r.Name, QStringLiteral("ラボ東京"));
        });
        AddCategory("0001", "リテーナー");
        AddCategory("0002", "床装置");
    }

    void TearDown() override {
        CDate::SetTodayForTesting(0, 0, 0);
        CMessageService::SetScript(nullptr);
    }

    template <typename Table, typename Fill>
    void Insert(Fill fill) {
        Table table;
        ASSERT_EQ(table.Open(m_folder), recman::kOk);
        table.ClearData();
        fill(table.m_Data);
        ASSERT_EQ(table.Insert(), recman::kOk);
    }

    void AddPatient(const char* id, const char* chartNo, const char* name) {
        Insert<CPatientDB>([&](tagPATIENTDB& r) {
            SetField(r.PatientID, id);
            SetField(r.Patient2ID, id);
            SetField(r.ChartNo, chartNo);
            SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8(name));
        });
    }

    void AddCategory(const char* code, const char* name) {
        Insert<CMaterialItemCateDB>([&](tagMATERIALITEMCATEDB& r) {
            SetField(r.Code, code);
            SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8(name));
        });
    }

    void AddItemName(const char* itemNo, const char* category, const char* name) {
        Insert<CMaterialItemDB>([&](tagMATERIALITEMDB& r) {
            SetField(r.ItemNo, itemNo);
            SetField(r.CategoryCode, category);
            SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8(name));
        });
    }

    bool ReadItem(const std::string& materialNo, tagMATERIALDB* item) {
        CMaterialDB items;
        if (items.Open(m_folder) != 0 || items.GetMaterialData(materialNo.c_str()) != 0) {
            return false;
        }
        *item = items.m_Data;
        return true;
    }

    // A complete item of patient 1 saved today; its key, or "" on failure.
    std::string SaveSimpleItem() {
        LabItemInput in;
        in.itemName = QStringLiteral("模型");
        in.patientId = "0000000001";
        in.orderDate = in.dueDate = "20250602";
        in.staffCode = "001";
        in.categoryCode = "0001";
        std::string number;
        return SaveLabItem(&m_db, in, "20250602", &number) == 0 ? number : std::string();
    }

    int ItemCount() {
        CMaterialDB items;
        if (items.Open(m_folder) != 0) return -1;
        int n = 0;
        for (int s = items.GetFIRST(); s == 0; s = items.GetNEXT()) ++n;
        return n;
    }

    template <typename Widget>
    static Widget* Control(QDialog& dialog, int id) {
        auto* widget = dialog.findChild<Widget*>(QString::number(id));
        EXPECT_NE(widget, nullptr) << id;
        return widget;
    }

    // Fills what a save needs besides the patient: first category, a staff member, a name.
    static void FillRequired(CLabItemDlg& dialog, const QString& name) {
        Control<QComboBox>(dialog, CLabItemDlg::kIdCategory)->setCurrentIndex(0);
        QComboBox* staff = Control<QComboBox>(dialog, CLabItemDlg::kIdStaff);
        staff->setCurrentIndex(staff->findText(QStringLiteral("技工 田村")));
        Control<QComboBox>(dialog, CLabItemDlg::kIdItemName)->setEditText(name);
    }
};

TEST_F(LabItemDlgTest, PickingModeProposesTheWorkingDayBeforeTheAppointment) {
    {
        // Monday 9 June: the weekend is closed, so Friday the 6th.
        CLabItemDlg dialog(&m_db, "", "0000000001", "20250609", 1);
        EXPECT_EQ(Control<QDateEdit>(dialog, CLabItemDlg::kIdDueDate)->date(), QDate(2025, 6, 6));
        EXPECT_EQ(Control<QLineEdit>(dialog, CLabItemDlg::kIdPatientName)->text(),
                  QStringLiteral("山田　花子"));
        EXPECT_FALSE(Control<QPushButton>(dialog, CLabItemDlg::kIdSearch)->isEnabled());
        EXPECT_TRUE(Control<QPushButton>(dialog, CLabItemDlg::kIdSaveAndNew)->isEnabled());
    }
    VELOOFFICEHOUR hours{};
    CGlobalSettings::GetOfficeHours(&hours);
    hours.Week[6] = {900, 0, 0, 1300};
    ASSERT_TRUE(CGlobalSettings::SetOfficeHours(hours));
    CLabItemDlg dialog(&m_db, "", "0000000001", "20250609", 1);
    EXPECT_EQ(Control<QDateEdit>(dialog, CLabItemDlg::kIdDueDate)->date(), QDate(2025, 6, 7));
}

TEST_F(LabItemDlgTest, DueKindAndTimeAreStoredAsChosen) {
    CLabItemDlg dialog(&m_db, "", "0000000001", "20250611", 1);
    QSignalSpy saved(&dialog, &CLabItemDlg::saved);
    FillRequired(dialog, QStringLiteral("クリアリテーナー"));
    Control<QRadioButton>(dialog, CLabItemDlg::kIdTimeOfDay)->setChecked(true);
    QComboBox* hour = Control<QComboBox>(dialog, CLabItemDlg::kIdHour);
    QComboBox* minute = Control<QComboBox>(dialog, CLabItemDlg::kIdMinute);
    EXPECT_TRUE(hour->isEnabled());
    hour->setCurrentIndex(hour->findText(QStringLiteral("10")));
    minute->setCurrentIndex(minute->findText(QStringLiteral("30")));
    Control<QPushButton>(dialog, CLabItemDlg::kIdSaveAndNew)->click();
    ASSERT_EQ(saved.count(), 1);

    // In picking mode the patient stays for the next item; the combos keep 10:30.
    EXPECT_EQ(Control<QLineEdit>(dialog, CLabItemDlg::kIdPatientName)->text(),
              QStringLiteral("山田　花子"));
    Control<QComboBox>(dialog, CLabItemDlg::kIdItemName)->setEditText(QStringLiteral("床装置"));
    Control<QRadioButton>(dialog, CLabItemDlg::kIdMorning)->setChecked(true);
    EXPECT_FALSE(hour->isEnabled());
    dialog.findChild<QPushButton*>("1")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    ASSERT_EQ(saved.count(), 2);

    tagMATERIALDB first{};
    ASSERT_TRUE(ReadItem("2025060200001", &first));
    EXPECT_EQ(first.DueKind, 2);
    EXPECT_STREQ(first.DueTime, "1030");
    EXPECT_STREQ(first.CompletionDate, "20250610");
    EXPECT_STREQ(first.StaffCode, "001");
    EXPECT_STREQ(first.CategoryCode, "0001");
    EXPECT_STREQ(first.PatientID, "0000000001");
    tagMATERIALDB second{};
    ASSERT_TRUE(ReadItem("2025060200002", &second));
    EXPECT_EQ(second.DueKind, 0);
    EXPECT_STREQ(second.DueTime, "0000");
    EXPECT_EQ(dialog.SavedMaterialNo(), "2025060200002");
    // After "登録して新規" the due day went back to today.
    EXPECT_EQ(dialog.SavedDueDate(), "20250602");
    EXPECT_EQ(saved[0][0].toString(), "2025060200001");
    EXPECT_EQ(saved[0][1].toString(), "20250610");
}

TEST_F(LabItemDlgTest, SaveAndNewClearsTheFormAndNumbersOnwards) {
    CLabItemDlg dialog(&m_db, "", "", "", 0);
    QPushButton* saveAndNew = Control<QPushButton>(dialog, CLabItemDlg::kIdSaveAndNew);
    QPushButton* search = Control<QPushButton>(dialog, CLabItemDlg::kIdSearch);
    EXPECT_FALSE(saveAndNew->isEnabled());
    ChoosePatient("00102");
    search->click();
    EXPECT_EQ(Control<QLineEdit>(dialog, CLabItemDlg::kIdPatientName)->text(),
              QStringLiteral("鈴木　一郎"));
    ASSERT_TRUE(saveAndNew->isEnabled());
    FillRequired(dialog, QStringLiteral("急速拡大装置"));
    Control<QLineEdit>(dialog, CLabItemDlg::kIdMemo)->setText(QStringLiteral("至急"));
    Control<QCheckBox>(dialog, CLabItemDlg::kIdFinished)->setChecked(true);
    Control<QDateEdit>(dialog, CLabItemDlg::kIdDueDate)->setDate(QDate(2025, 6, 20));
    saveAndNew->click();
    EXPECT_EQ(dialog.SavedMaterialNo(), "2025060200001");

    EXPECT_EQ(Control<QComboBox>(dialog, CLabItemDlg::kIdItemName)->currentText(), "");
    EXPECT_EQ(Control<QLineEdit>(dialog, CLabItemDlg::kIdMemo)->text(), "");
    EXPECT_EQ(Control<QLineEdit>(dialog, CLabItemDlg::kIdPatientName)->text(), "");
    EXPECT_FALSE(Control<QCheckBox>(dialog, CLabItemDlg::kIdFinished)->isChecked());
    EXPECT_FALSE(Control<QDateEdit>(dialog, CLabItemDlg::kIdFinishedDate)->isEnabled());
    EXPECT_EQ(Control<QDateEdit>(dialog, CLabItemDlg::kIdDueDate)->date(), QDate(2025, 6, 2));
    EXPECT_FALSE(saveAndNew->isEnabled());

    // Without a patient nothing is saved, and nothing is said.
    Control<QComboBox>(dialog, CLabItemDlg::kIdItemName)->setEditText(QStringLiteral("模型"));
    dialog.findChild<QPushButton*>("1")->click();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(ItemCount(), 1);
    EXPECT_TRUE(CMessageService::History().isEmpty());

    ChoosePatient("00101");
    search->click();
    dialog.findChild<QPushButton*>("1")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.SavedMaterialNo(), "2025060200002");
    tagMATERIALDB first{};
    ASSERT_TRUE(ReadItem("2025060200001", &first));
    EXPECT_STREQ(first.FinishedDate, "20250602");
    EXPECT_EQ(Cp932FieldToQString(first.Memo, sizeof first.Memo), QStringLiteral("至急"));
    tagMATERIALDB second{};
    ASSERT_TRUE(ReadItem("2025060200002", &second));
    EXPECT_STREQ(second.PatientID, "0000000001");
    EXPECT_STREQ(second.FinishedDate, "");

    // The next day starts at 00001 again.
    CDate::SetTodayForTesting(2025, 6, 3);
    CLabItemDlg next(&m_db, "", "0000000002", "", 0);
    FillRequired(next, QStringLiteral("模型"));
    next.findChild<QPushButton*>("1")->click();
    EXPECT_EQ(next.SavedMaterialNo(), "2025060300001");
}

TEST_F(LabItemDlgTest, AnExistingItemIsShownAndKeepsItsOrderDay) {
    LabItemInput in;
    in.itemName = QStringLiteral("ベッグタイプリテーナー");
    in.memo = QStringLiteral("上顎");
    in.patientId = "0000000001";
    in.orderDate = "20250520";
    in.dueDate = "20250612";
    in.finishedDate = "20250611";
    in.staffCode = "002";
    in.categoryCode = "0002";
    in.dueKind = 2;
    in.hour = 14;
    in.minute = 45;
    std::string number;
    ASSERT_EQ(SaveLabItem(&m_db, in, "20250520", &number), 0);

    CLabItemDlg dialog(&m_db, QString::fromStdString(number), "", "", 0);
    EXPECT_EQ(Control<QComboBox>(dialog, CLabItemDlg::kIdItemName)->currentText(), in.itemName);
    EXPECT_EQ(Control<QLineEdit>(dialog, CLabItemDlg::kIdMemo)->text(), in.memo);
    EXPECT_EQ(Control<QLineEdit>(dialog, CLabItemDlg::kIdPatientName)->text(),
              QStringLiteral("山田　花子"));
    EXPECT_EQ(Control<QComboBox>(dialog, CLabItemDlg::kIdStaff)->currentText(),
              QStringLiteral("ラボ東京"));
    EXPECT_EQ(Control<QComboBox>(dialog, CLabItemDlg::kIdCategory)->currentText(),
              QStringLiteral("床装置"));
    EXPECT_EQ(Control<QDateEdit>(dialog, CLabItemDlg::kIdOrderDate)->date(), QDate(2025, 5, 20));
    EXPECT_TRUE(Control<QCheckBox>(dialog, CLabItemDlg::kIdFinished)->isChecked());
    EXPECT_EQ(Control<QDateEdit>(dialog, CLabItemDlg::kIdFinishedDate)->date(), QDate(2025, 6, 11));
    EXPECT_TRUE(Control<QRadioButton>(dialog, CLabItemDlg::kIdTimeOfDay)->isChecked());
    EXPECT_EQ(Control<QComboBox>(dialog, CLabItemDlg::kIdHour)->currentText(), "14");
    EXPECT_EQ(Control<QComboBox>(dialog, CLabItemDlg::kIdMinute)->currentText(), "45");
    EXPECT_FALSE(Control<QPushButton>(dialog, CLabItemDlg::kIdSaveAndNew)->isEnabled());

    Control<QDateEdit>(dialog, CLabItemDlg::kIdOrderDate)->setDate(QDate(2025, 5, 1));
    Control<QLineEdit>(dialog, CLabItemDlg::kIdMemo)->setText(QStringLiteral("上下顎"));
    Control<QRadioButton>(dialog, CLabItemDlg::kIdAfternoon)->setChecked(true);
    dialog.findChild<QPushButton*>("1")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.SavedMaterialNo(), number);
    tagMATERIALDB item{};
    ASSERT_TRUE(ReadItem(number, &item));
    EXPECT_STREQ(item.OrderDate, "20250520");
    EXPECT_EQ(Cp932FieldToQString(item.Memo, sizeof item.Memo), QStringLiteral("上下顎"));
    EXPECT_EQ(item.DueKind, 1);
    EXPECT_STREQ(item.DueTime, "0000");
    EXPECT_EQ(ItemCount(), 1);

    // Once the outside lab is hidden in the staff master, the item still shows it and can
    // be saved with it.
    {
        CStaffDB staff;
        ASSERT_EQ(staff.Open(m_folder), recman::kOk);
        ASSERT_EQ(staff.GetStaffData("002"), recman::kOk);
        SetField(staff.m_Data.HiddenMark, "__");
        ASSERT_EQ(staff.Update(), recman::kOk);
    }
    CLabItemDlg again(&m_db, QString::fromStdString(number), "", "", 0);
    again.show();
    EXPECT_EQ(Control<QComboBox>(again, CLabItemDlg::kIdStaff)->currentText(),
              QStringLiteral("（非表示）ラボ東京"));
    Control<QLineEdit>(again, CLabItemDlg::kIdMemo)->setText(QStringLiteral("上顎のみ"));
    QTest::mouseClick(again.findChild<QPushButton*>("1"), Qt::LeftButton);
    EXPECT_EQ(again.result(), QDialog::Accepted);
    ASSERT_TRUE(ReadItem(number, &item));
    EXPECT_STREQ(item.StaffCode, "002");
    EXPECT_EQ(Cp932FieldToQString(item.Memo, sizeof item.Memo), QStringLiteral("上顎のみ"));
}

TEST_F(LabItemDlgTest, AnExistingItemsPatientCannotBeChangedAndSaved) {
    const std::string number = SaveSimpleItem();
    ASSERT_FALSE(number.empty());
    CLabItemDlg dialog(&m_db, QString::fromStdString(number), "", "", 0);
    QPushButton* ok = dialog.findChild<QPushButton*>("1");
    EXPECT_TRUE(ok->isEnabled());
    ChoosePatient("00102");
    Control<QPushButton>(dialog, CLabItemDlg::kIdSearch)->click();
    EXPECT_FALSE(ok->isEnabled());
    ok->click();
    tagMATERIALDB item{};
    ASSERT_TRUE(ReadItem(number, &item));
    EXPECT_STREQ(item.PatientID, "0000000001");
}

TEST_F(LabItemDlgTest, FailedSaveShowsTheMessageAndStaysOpen) {
    const std::string number = SaveSimpleItem();
    ASSERT_FALSE(number.empty());
    CLabItemDlg dialog(&m_db, QString::fromStdString(number), "", "", 0);
    dialog.show();
    {
        // Another workstation deletes the item while the dialog is open.
        CMaterialDB items;
        ASSERT_EQ(items.Open(m_folder), 0);
        ASSERT_EQ(items.GetMaterialData(number.c_str()), 0);
        ASSERT_EQ(items.Delete(), 0);
    }
    dialog.findChild<QPushButton*>("1")->click();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(CMessageService::History()[0].text, LoadString(kIdsLabSaveFailed));
    EXPECT_EQ(ItemCount(), 0);
    EXPECT_EQ(dialog.SavedMaterialNo(), "");
}

TEST_F(LabItemDlgTest, ItemNameAndMemoFitTheirRecordFields) {
    CLabItemDlg dialog(&m_db, "", "", "", 0);
    dialog.show();
    QLineEdit* memo = Control<QLineEdit>(dialog, CLabItemDlg::kIdMemo);
    Type(memo, QString(101, QLatin1Char('a')));
    EXPECT_EQ(memo->text().size(), 100);
    memo->clear();
    // A hundred double-byte characters are the field's 200 bytes.
    Type(memo, QString(101, QChar(0x3042)));
    EXPECT_EQ(memo->text(), QString(100, QChar(0x3042)));

    QLineEdit* name = Control<QComboBox>(dialog, CLabItemDlg::kIdItemName)->lineEdit();
    Type(name, QString(41, QChar(0x6A21)));
    EXPECT_EQ(name->text(), QString(40, QChar(0x6A21)));
    name->clear();
    Type(name, QString(81, QLatin1Char('x')));
    EXPECT_EQ(name->text().size(), 80);

    EXPECT_EQ(LimitToCp932Bytes(QStringLiteral("aあいう"), 4), QStringLiteral("aあ"));
    EXPECT_EQ(LimitToCp932Bytes(QStringLiteral("ｱｲｳ"), 2), QStringLiteral("ｱｲ"));
}

TEST_F(LabItemDlgTest, TextTheRecordCannotHoldIsRefusedAndKeptForCorrection) {
    const std::string number = SaveSimpleItem();
    ASSERT_FALSE(number.empty());
    {
        // An existing item keeps its stored memo.
        CLabItemDlg dialog(&m_db, QString::fromStdString(number), "", "", 0);
        dialog.show();
        Control<QLineEdit>(dialog, CLabItemDlg::kIdMemo)->setText(QStringLiteral("上顎😀"));
        dialog.findChild<QPushButton*>("1")->click();
        EXPECT_TRUE(dialog.isVisible());
        ASSERT_EQ(CMessageService::History().size(), 1);
        EXPECT_EQ(CMessageService::History()[0].text,
                  UnstorableCharactersMessage(QStringLiteral("😀")));
        tagMATERIALDB item{};
        ASSERT_TRUE(ReadItem(number, &item));
        EXPECT_STREQ(item.Memo, "");
    }

    CMessageService::ClearHistory();
    CLabItemDlg dialog(&m_db, "", "0000000002", "", 1);
    dialog.show();
    QLineEdit* name = Control<QComboBox>(dialog, CLabItemDlg::kIdItemName)->lineEdit();
    QLineEdit* memo = Control<QLineEdit>(dialog, CLabItemDlg::kIdMemo);
    FillRequired(dialog, QStringLiteral("模型€"));
    memo->setText(QStringLiteral("至急😀€"));
    // Both buttons that save refuse; one message names the characters of both fields, and
    // the item name, the first field holding one, is selected for correction.
    for (int id : {int{CLabItemDlg::kIdSaveAndNew}, 1}) {
        Control<QPushButton>(dialog, id)->click();
        EXPECT_TRUE(dialog.isVisible()) << id;
        EXPECT_EQ(name->text(), QStringLiteral("模型€")) << id;
        EXPECT_EQ(memo->text(), QStringLiteral("至急😀€")) << id;
    }
    ASSERT_EQ(CMessageService::History().size(), 2);
    EXPECT_EQ(CMessageService::History()[1].text,
              UnstorableCharactersMessage(QStringLiteral("€😀")));
    EXPECT_EQ(CMessageService::History()[1].icon, CMessageService::EIcon::Warning);
    EXPECT_EQ(dialog.focusWidget(), Control<QComboBox>(dialog, CLabItemDlg::kIdItemName));
    EXPECT_EQ(name->selectedText(), name->text());
    EXPECT_EQ(ItemCount(), 1);

    // With the name mended, the memo is the field to correct.
    name->setText(QStringLiteral("模型"));
    dialog.findChild<QPushButton*>("1")->click();
    ASSERT_EQ(CMessageService::History().size(), 3);
    EXPECT_EQ(CMessageService::History()[2].text,
              UnstorableCharactersMessage(QStringLiteral("😀€")));
    EXPECT_EQ(dialog.focusWidget(), memo);
    EXPECT_EQ(memo->selectedText(), memo->text());
    EXPECT_EQ(ItemCount(), 1);

    // The code page's own vendor characters are stored.
    name->setText(QStringLiteral("髙﨑様模型"));
    memo->setText(QStringLiteral("①至急"));
    dialog.findChild<QPushButton*>("1")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(CMessageService::History().size(), 3);
    tagMATERIALDB item{};
    ASSERT_TRUE(ReadItem(dialog.SavedMaterialNo(), &item));
    EXPECT_EQ(Cp932FieldToQString(item.ItemName, sizeof item.ItemName),
              QStringLiteral("髙﨑様模型"));
    EXPECT_EQ(Cp932FieldToQString(item.Memo, sizeof item.Memo), QStringLiteral("①至急"));
}

TEST_F(LabItemDlgTest, ItemNamesFollowTheCategoryAndKeepTheTypedName) {
    AddItemName("0000000001", "0001", "クリアリテーナー");
    AddItemName("0000000002", "1", "ベッグタイプ");
    AddItemName("0000000003", "0001", "__旧リテーナー");
    AddItemName("0000000004", "0002", "拡大床");
    AddItemName("0000000005", "", "模型");
    AddItemName("0000000006", "0000", "写真");
    EXPECT_EQ(
        LabItemNamesOf(&m_db, "0001"),
        (std::vector<QString>{QStringLiteral("クリアリテーナー"), QStringLiteral("ベッグタイプ")}));
    EXPECT_EQ(LabItemNamesOf(&m_db, "0000"),
              (std::vector<QString>{QStringLiteral("模型"), QStringLiteral("写真")}));
    EXPECT_EQ(LabItemNamesOf(&m_db, "2"), (std::vector<QString>{QStringLiteral("拡大床")}));

    CLabItemDlg dialog(&m_db, "", "", "", 0);
    QComboBox* category = Control<QComboBox>(dialog, CLabItemDlg::kIdCategory);
    QComboBox* names = Control<QComboBox>(dialog, CLabItemDlg::kIdItemName);
    ASSERT_EQ(category->currentIndex(), 0);
    EXPECT_EQ(names->count(), 2);
    names->setEditText(QStringLiteral("自作の名前"));
    category->setCurrentIndex(1);
    EXPECT_EQ(names->count(), 1);
    EXPECT_EQ(names->itemText(0), QStringLiteral("拡大床"));
    EXPECT_EQ(names->currentText(), QStringLiteral("自作の名前"));
}

TEST_F(LabItemDlgTest, HashButtonsAddAndSelectTheNewEntries) {
    CLabItemDlg dialog(&m_db, "", "", "", 0);
    OnModal([](QDialog* entry) {
        entry->findChild<QLineEdit*>("name")->setText(QStringLiteral("外注ラボ大阪"));
        entry->findChild<QPushButton*>("1")->click();
    });
    Control<QPushButton>(dialog, CLabItemDlg::kIdAddStaff)->click();
    QComboBox* staff = Control<QComboBox>(dialog, CLabItemDlg::kIdStaff);
    EXPECT_EQ(staff->currentText(), QStringLiteral("外注ラボ大阪"));
    EXPECT_EQ(staff->currentData().toInt(), 3);

    OnModal([](QDialog* entry) {
        entry->findChild<QLineEdit*>("name")->setText(QStringLiteral("保定装置"));
        entry->findChild<QPushButton*>("1")->click();
    });
    Control<QPushButton>(dialog, CLabItemDlg::kIdAddCategory)->click();
    QComboBox* category = Control<QComboBox>(dialog, CLabItemDlg::kIdCategory);
    EXPECT_EQ(category->currentText(), QStringLiteral("保定装置"));
    EXPECT_EQ(category->currentData().toString(), "0003");

    OnModal([](QDialog* entry) {
        entry->findChild<QLineEdit*>("name")->setText(QStringLiteral("スプリング"));
        entry->findChild<QPushButton*>("1")->click();
    });
    Control<QPushButton>(dialog, CLabItemDlg::kIdAddItemName)->click();
    QComboBox* names = Control<QComboBox>(dialog, CLabItemDlg::kIdItemName);
    EXPECT_EQ(names->currentText(), QStringLiteral("スプリング"));
    EXPECT_EQ(LabItemNamesOf(&m_db, "0003"), (std::vector<QString>{QStringLiteral("スプリング")}));
}

TEST_F(LabItemDlgTest, EnterMovesOnAndEscapeIsIgnored) {
    CLabItemDlg dialog(&m_db, "", "", "", 0);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QLineEdit* name = Control<QComboBox>(dialog, CLabItemDlg::kIdItemName)->lineEdit();
    name->setFocus();
    QApplication::processEvents();
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_FALSE(name->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(ItemCount(), 0);
}

}  // namespace
