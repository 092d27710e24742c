// Tests of CVeloComDlg: the list fillers over a fresh database folder with a few master
// records (hidden entries left out, the given code selected, counts, item data), the free
// table names file, and the CSV export (content, code page 932, quoting, failures).
#include "suite/comdlg/velocomdlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QSignalSpy>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "recman/recman.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/testsupport/testdatabase.h"
#include "suite/text/atomicfile.h"
#include "suite/text/cp932.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/xlistctrl.h"
#include "suite/testsupport/application.h"

namespace {

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

class ComDlgTest : public DbFolderTest {
protected:
    void SetUp() override {
        EnsureQApplication("velocomdlg_test");
        ASSERT_NO_FATAL_FAILURE(DbFolderTest::SetUp());
        CMessageService::ClearHistory();
    }

    void TearDown() override {
        CMessageService::SetScript(nullptr);
        CMessageService::SetPathScript(nullptr);
        SetAtomicWriteHookForTesting(nullptr);
    }

    template <typename Table, typename Fill>
    void Insert(Fill fill) {
        Table table;
        ASSERT_EQ(table.Open(m_folder), recman::kOk);
        table.ClearData();
        fill(table.m_Data);
        ASSERT_EQ(table.Insert(), recman::kOk);
    }

    void AddCategory(const char* kind, const char* code, const char* name, const char* mark = "") {
        Insert<CCategoryDB>([&](tagCATEGORYDB& r) {
            SetField(r.Type, kind);
            SetField(r.Code, code);
            SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8(name));
            SetField(r.HiddenMark, mark);
        });
    }

    void AddDoctor(const char* code, const char* name, const char* mark = "") {
        Insert<CDoctorDB>([&](tagDOCTORDB& r) {
            SetField(r.Code, code);
            SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8(name));
            SetField(r.HiddenMark, mark);
        });
    }

    void AddStaff(const char* code, const char* name, const char* mark = "") {
        Insert<CStaffDB>([&](tagSTAFFDB& r) {
            SetField(r.Code, code);
            SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8(name));
            SetField(r.HiddenMark, mark);
        });
    }

    void AddCreditItem(const char* category, const char* item, const char* name, int price,
                       const char* mark = "") {
        Insert<CCreditItemDB>([&](tagCREDITITEMDB& r) {
            SetField(r.CategoryCode, category);
            SetField(r.ItemCode, item);
            SetCp932Field(r.ItemName, sizeof r.ItemName, QString::fromUtf8(name));
            SetField(r.HiddenMark, mark);
            r.Price = price;
        });
    }

    static QStringList Texts(const QComboBox& combo) {
        QStringList texts;
        for (int i = 0; i < combo.count(); ++i) texts << combo.itemText(i);
        return texts;
    }
};

TEST_F(ComDlgTest, CategoryFillersKeepToTheirKindAndSkipHiddenUnits) {
    AddCategory("0", "01", "初診");
    AddCategory("0", "02", "調整");
    AddCategory("1", "01", "ユニット1");
    AddCategory("1", "02", "予備", "__");
    AddCategory("1", "03", "ユニット3");
    AddCategory("2", "01", "社保");
    AddCategory("3", "01", "勤務先");

    QComboBox combo;
    EXPECT_EQ(CVeloComDlg::EnumUnit(&m_db, &combo, "03"), 2);
    EXPECT_EQ(Texts(combo), QStringList({"ユニット1", "ユニット3"}));
    ASSERT_EQ(combo.currentIndex(), 1);
    const QString master = combo.currentData().toString();
    EXPECT_EQ(master.mid(2), "03");  // the code starts at the third character
    EXPECT_EQ(master.right(2), "03");

    EXPECT_EQ(CVeloComDlg::EnumReservationType(&m_db, &combo, "02"), 2);
    EXPECT_EQ(Texts(combo), QStringList({"初診", "調整"}));
    EXPECT_EQ(combo.currentData().toString().mid(2), "02");

    EXPECT_EQ(CVeloComDlg::EnumInssuranceType(&m_db, &combo, ""), 1);
    EXPECT_EQ(Texts(combo), QStringList({"社保"}));
    EXPECT_EQ(combo.currentIndex(), 0);
}

TEST_F(ComDlgTest, SelectionRule) {
    AddCategory("1", "01", "ユニット1");
    AddCategory("1", "02", "予備", "__");
    AddCategory("1", "03", "ユニット3");
    QComboBox combo;
    CVeloComDlg::EnumUnit(&m_db, &combo, "");
    EXPECT_EQ(combo.currentIndex(), 0);
    CVeloComDlg::EnumUnit(&m_db, &combo, nullptr);
    EXPECT_EQ(combo.currentIndex(), 0);
    // A hidden or unknown code leaves no selection rather than another unit.
    CVeloComDlg::EnumUnit(&m_db, &combo, "02");
    EXPECT_EQ(combo.currentIndex(), -1);
    CVeloComDlg::EnumUnit(&m_db, &combo, "09");
    EXPECT_EQ(combo.currentIndex(), -1);
    CVeloComDlg::EnumUnit(&m_db, &combo, "3");
    EXPECT_EQ(combo.currentIndex(), 1);

    // A stored code is kept as an extra entry, with its name while the master has it, and
    // selected; listed and empty codes select as before.
    using EUnlisted = CVeloComDlg::EUnlisted;
    EXPECT_EQ(CVeloComDlg::EnumUnit(&m_db, &combo, "02", EUnlisted::kKeep), 2);
    EXPECT_EQ(Texts(combo), QStringList({"ユニット1", "ユニット3", "（非表示）予備"}));
    EXPECT_EQ(combo.currentIndex(), 2);
    EXPECT_EQ(combo.currentData().toString(), "1 02");
    EXPECT_TRUE(CVeloComDlg::IsUnlistedEntry(&combo, 2));
    EXPECT_FALSE(CVeloComDlg::IsUnlistedEntry(&combo, 1));
    CVeloComDlg::EnumUnit(&m_db, &combo, "09", EUnlisted::kKeep);
    EXPECT_EQ(combo.itemText(2), "（非表示）コード 09");
    EXPECT_EQ(combo.currentData().toString(), "1 09");
    CVeloComDlg::EnumUnit(&m_db, &combo, "03", EUnlisted::kKeep);
    EXPECT_EQ(combo.count(), 2);
    EXPECT_EQ(combo.currentIndex(), 1);
    CVeloComDlg::EnumUnit(&m_db, &combo, "", EUnlisted::kKeep);
    EXPECT_EQ(combo.count(), 2);
    EXPECT_EQ(combo.currentIndex(), 0);
}

TEST_F(ComDlgTest, RefillReplacesItemsWithoutSignals) {
    AddDoctor("01", "田中");
    AddDoctor("02", "休職", "__");
    AddDoctor("03", "佐藤");
    QComboBox combo;
    combo.addItem("old", QVariant(42));
    QSignalSpy changed(&combo, &QComboBox::currentIndexChanged);
    EXPECT_EQ(CVeloComDlg::EnumDoctor(&m_db, &combo, "03"), 2);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(Texts(combo), QStringList({"田中", "佐藤"}));
    EXPECT_EQ(combo.currentData().toString().right(2), "03");
    EXPECT_EQ(CVeloComDlg::EnumDoctor(&m_db, &combo, "01"), 2);
    EXPECT_EQ(combo.count(), 2);
    EXPECT_EQ(combo.currentIndex(), 0);
}

TEST_F(ComDlgTest, StaffAndWaysStartWithNotChosen) {
    AddStaff("001", "受付A");
    AddStaff("002", "退職", "__");
    AddStaff("003", "受付C", "_");
    QComboBox combo;
    CVeloComDlg::EnumStaffData(&m_db, &combo, "003");
    EXPECT_EQ(Texts(combo), QStringList({"  -- 未選択 --", "受付A", "受付C"}));
    EXPECT_EQ(combo.itemData(0).toInt(), 0);
    EXPECT_EQ(combo.currentIndex(), 2);
    EXPECT_EQ(QString::asprintf("%03d", combo.currentData().toInt()), "003");
    CVeloComDlg::EnumStaffData(&m_db, &combo, "000");
    EXPECT_EQ(combo.currentIndex(), 0);
    CVeloComDlg::EnumStaffData(&m_db, &combo, "");
    EXPECT_EQ(combo.currentIndex(), 0);
    // A member who has left keeps the number of what they entered.
    CVeloComDlg::EnumStaffData(&m_db, &combo, "002", CVeloComDlg::EUnlisted::kKeep);
    EXPECT_EQ(combo.currentText(), "（非表示）退職");
    EXPECT_EQ(combo.currentData().toInt(), 2);
    CVeloComDlg::EnumStaffData(&m_db, &combo, "000", CVeloComDlg::EUnlisted::kKeep);
    EXPECT_EQ(combo.currentIndex(), 0);
    EXPECT_EQ(combo.count(), 3);

    Insert<CReservationWayDB>([](tagRESERVATIONWAYDB& r) {
        SetField(r.Code, "005");
        SetCp932Field(r.Name, sizeof r.Name, QStringLiteral("電話"));
    });
    CVeloComDlg::EnumReservationWay(&m_db, &combo, "005");
    EXPECT_EQ(Texts(combo), QStringList({"  -- 未選択 --", "電話"}));
    EXPECT_EQ(combo.currentData().toInt(), 5);
}

TEST_F(ComDlgTest, CreditCategoriesAndItemsOfOneCategory) {
    Insert<CCreditCategoryDB>([](tagCREDITCATEGORYDB& r) {
        SetField(r.Code, "001");
        SetCp932Field(r.Name, sizeof r.Name, QStringLiteral("矯正料"));
    });
    Insert<CCreditCategoryDB>([](tagCREDITCATEGORYDB& r) {
        SetField(r.Code, "002");
        SetCp932Field(r.Name, sizeof r.Name, QStringLiteral("物販"));
    });
    AddCreditItem("001", "01", "調整料", 5000);
    AddCreditItem("001", "02", "旧料金", 1, "__");
    AddCreditItem("001", "03", "観察料", 3000);
    AddCreditItem("002", "01", "歯ブラシ", 300);

    QComboBox category;
    CVeloComDlg::EnumCreditCategory(&m_db, &category, "002");
    EXPECT_EQ(Texts(category), QStringList({"矯正料", "物販"}));
    EXPECT_EQ(category.currentData().toString(), "002");

    QComboBox items;
    CVeloComDlg::EnumCreditItemsOf(&m_db, &items, "001", "03");
    EXPECT_EQ(Texts(items), QStringList({"調整料", "観察料"}));
    ASSERT_EQ(items.currentIndex(), 1);
    const QByteArray bytes = items.currentData().toByteArray();
    ASSERT_EQ(bytes.size(), static_cast<int>(sizeof(tagCREDITITEMDB)));
    tagCREDITITEMDB record;
    std::memcpy(&record, bytes.constData(), sizeof record);
    EXPECT_STREQ(record.CategoryCode, "001");
    EXPECT_STREQ(record.ItemCode, "03");
    EXPECT_EQ(record.Price, 3000);

    // A hidden item is kept with its whole record; a vanished one with its two codes.
    CVeloComDlg::EnumCreditItemsOf(&m_db, &items, "001", "02", CVeloComDlg::EUnlisted::kKeep);
    EXPECT_EQ(items.currentText(), "（非表示）旧料金");
    std::memcpy(&record, items.currentData().toByteArray().constData(), sizeof record);
    EXPECT_EQ(record.Price, 1);
    CVeloComDlg::EnumCreditItemsOf(&m_db, &items, "001", "07", CVeloComDlg::EUnlisted::kKeep);
    ASSERT_EQ(items.currentData().toByteArray().size(), static_cast<int>(sizeof record));
    std::memcpy(&record, items.currentData().toByteArray().constData(), sizeof record);
    EXPECT_STREQ(record.CategoryCode, "001");
    EXPECT_STREQ(record.ItemCode, "07");

    CVeloComDlg::EnumCreditItemsOf(&m_db, &items, "002", "");
    EXPECT_EQ(Texts(items), QStringList({"歯ブラシ"}));
    EXPECT_EQ(items.currentIndex(), 0);
    CVeloComDlg::EnumCreditItemsOf(&m_db, &items, "", "");
    EXPECT_EQ(items.count(), 0);
}

TEST_F(ComDlgTest, MaterialCategoriesMatchByNumber) {
    const char* codes[] = {"0001", "0002", "0003"};
    const char* marks[] = {"", "__old", ""};
    const char* names[] = {"床装置", "旧区分", "リテーナー"};
    for (int i = 0; i < 3; ++i) {
        Insert<CMaterialItemCateDB>([&](tagMATERIALITEMCATEDB& r) {
            SetField(r.Code, codes[i]);
            SetField(r.HiddenMark, marks[i]);
            SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8(names[i]));
        });
    }
    QComboBox combo;
    CVeloComDlg::EnumMaterialItemCate(&m_db, &combo, "3");
    EXPECT_EQ(Texts(combo), QStringList({"床装置", "リテーナー"}));
    EXPECT_EQ(combo.currentData().toString(), "0003");
}

TEST_F(ComDlgTest, MissingTableGivesAnEmptyCombo) {
    std::filesystem::remove(m_folder + "/DOCTOR.BTR");
    QComboBox combo;
    combo.addItem("stale");
    EXPECT_EQ(CVeloComDlg::EnumDoctor(&m_db, &combo, "01"), 0);
    EXPECT_EQ(combo.count(), 0);
    EXPECT_EQ(combo.currentIndex(), -1);
}

TEST_F(ComDlgTest, FreeTableNames) {
    QStringList names{"stale"};
    CVeloComDlg::EnumFreeTblName(&m_db, &names);
    EXPECT_EQ(names, QStringList({"自由テーブル1", "自由テーブル2", "自由テーブル3",
                                  "自由テーブル4", "自由テーブル5"}));

    const std::string path = m_db.GetDatabaseFolder() + "freetblname.dat";
    WriteBytes(path, QStringToCp932("紹介元\r\n\r\n趣味\r\n"));
    CVeloComDlg::EnumFreeTblName(&m_db, &names);
    EXPECT_EQ(names, QStringList({"紹介元", "", "趣味", "自由テーブル4", "自由テーブル5"}));

    WriteBytes(path, QStringToCp932("a\nb\nc\nd\ne\nf\n"));
    CVeloComDlg::EnumFreeTblName(&m_db, &names);
    EXPECT_EQ(names, QStringList({"a", "b", "c", "d", "e"}));
}

class ListToCsvTest : public ComDlgTest {
protected:
    void SetUp() override {
        ComDlgTest::SetUp();
        m_list.InsertColumn(0, "ID", 80);
        m_list.InsertColumn(1, "氏名", 120);
        m_list.InsertColumn(2, "備考", 200);
        const int row0 = m_list.InsertItem(0, "0000000001");
        m_list.SetItemText(row0, 1, "山田　太郎");
        m_list.SetItemText(row0, 2, "言った \"はい\", 了解");
        const int row1 = m_list.InsertItem(1, "0000000002");
        m_list.SetItemText(row1, 1, "ｶﾀｶﾅ髙﨑");
    }

    CXListCtrl m_list;
};

TEST_F(ListToCsvTest, WritesQuotedCp932WithCrLf) {
    const std::string path = m_folder + "/list.csv";
    ASSERT_TRUE(CVeloComDlg::ListToCSV(QString::fromStdString(path), &m_list,
                                       CVeloComDlg::kCsvWriteToPath));
    const std::string bytes = ReadBytes(path);
    EXPECT_EQ(bytes,
              QStringToCp932("\"ID\",\"氏名\",\"備考\"\r\n"
                             "\"0000000001\",\"山田　太郎\",\"言った \"\"はい\"\", 了解\"\r\n"
                             "\"0000000002\",\"ｶﾀｶﾅ髙﨑\",\"\"\r\n"));
    // Code page 932 on disk: 氏名 is 8E 81 96 BC, half-width ｶ a single byte B6.
    EXPECT_NE(bytes.find("\x8E\x81\x96\xBC"), std::string::npos);
    EXPECT_NE(bytes.find("\xB6"), std::string::npos);
    EXPECT_EQ(Cp932ToQString(bytes).count(QStringLiteral("\r\n")), 3);
    EXPECT_TRUE(Cp932ToQString(bytes).contains(QStringLiteral("ｶﾀｶﾅ髙﨑")));
    EXPECT_TRUE(CMessageService::History().isEmpty());
}

TEST_F(ListToCsvTest, FailedWriteKeepsTheOldFileAndSaysSo) {
    const std::string path = m_folder + "/list.csv";
    WriteBytes(path, "old");
    SetAtomicWriteHookForTesting(
        [](EAtomicWriteStep step, const std::string&) { return step != EAtomicWriteStep::Rename; });
    EXPECT_FALSE(CVeloComDlg::ListToCSV(QString::fromStdString(path), &m_list,
                                        CVeloComDlg::kCsvWriteToPath));
    EXPECT_EQ(ReadBytes(path), "old");
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(CMessageService::History()[0].kind, CMessageService::EKind::MessageBox);
    EXPECT_TRUE(CMessageService::History()[0].text.contains(QString::fromStdString(path)));

    SetAtomicWriteHookForTesting(nullptr);
    CMessageService::ClearHistory();
    EXPECT_FALSE(CVeloComDlg::ListToCSV(QString::fromStdString(m_folder + "/no/such/x.csv"),
                                        &m_list, CVeloComDlg::kCsvWriteToPath));
    EXPECT_EQ(CMessageService::History().size(), 1);
}

TEST_F(ListToCsvTest, SuggestedNameAsksForTheFile) {
    const QString chosen = QString::fromStdString(m_folder + "/chosen.csv");
    CMessageService::SetScript(
        [](const CMessageService::Request&) { return static_cast<int>(CMessageService::IDOK); });
    QString offered;
    CMessageService::SetPathScript([&](const CMessageService::Request& request) {
        offered = request.text;
        return chosen;
    });
    ASSERT_TRUE(CVeloComDlg::ListToCSV("MaterialList", &m_list, CVeloComDlg::kCsvAskForPath));
    EXPECT_TRUE(offered.endsWith("/MaterialList.csv"));
    EXPECT_TRUE(ReadBytes(chosen.toStdString()).starts_with("\"ID\","));

    // Cancelling the picker writes nothing and shows no error.
    std::filesystem::remove(chosen.toStdString());
    CMessageService::SetScript([](const CMessageService::Request&) {
        return static_cast<int>(CMessageService::IDCANCEL);
    });
    CMessageService::ClearHistory();
    EXPECT_FALSE(CVeloComDlg::ListToCSV("MaterialList", &m_list, CVeloComDlg::kCsvAskForPath));
    EXPECT_FALSE(std::filesystem::exists(chosen.toStdString()));
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(CMessageService::History()[0].kind, CMessageService::EKind::SaveFile);
}

}  // namespace
