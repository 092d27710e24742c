// Tests of the day's reservation list: which rows are listed and how, the entries behind
// them, and the came box reported once per user change but never while filling.
#include "sheet/daylist.h"

#include <gtest/gtest.h>

#include <QApplication>

namespace velo::sheet {
namespace {

DayListRow Row(const char* no, uint8_t status, const char* name) {
    DayListRow row;
    row.reservationNo = no;
    row.patientId = std::string("P") + no;
    row.status = status;
    row.came = status == 1;
    row.columns[0] = QStringLiteral("09:00-09:30");
    row.columns[1] = QString::fromUtf8(name);
    row.columns[2] = QStringLiteral("ユニット1");
    row.columns[3] = QStringLiteral("清掃");
    row.columns[4] = QStringLiteral("医師A");
    return row;
}

class DayListTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_list.SetRows({Row("0001", 0, "山田"), Row("0002", 1, "鈴木"), Row("0003", 2, "取消"),
                        Row("0004", 4, "撤回"), Row("0005", 0, "佐藤")});
        QObject::connect(&m_list, &CDayList::CameToggled, [this](int row, bool came) {
            m_toggles.push_back({row, came});
        });
    }
    CDayList m_list;
    std::vector<std::pair<int, bool>> m_toggles;
};

TEST_F(DayListTest, ListsBookedAndCameRowsWithTheirColumnsAndBoxes) {
    CXListCtrl* list = m_list.List();
    ASSERT_EQ(list->GetColumnCount(), 5);
    EXPECT_EQ(list->headerItem()->text(0), QStringLiteral("済み・時間"));
    EXPECT_EQ(list->headerItem()->text(4), QStringLiteral("担当医"));
    EXPECT_EQ(list->columnWidth(3), 200);

    ASSERT_EQ(m_list.RowCount(), 3);
    ASSERT_EQ(list->GetItemCount(), 3);
    EXPECT_EQ(list->GetItemText(1, 1), QStringLiteral("鈴木"));
    EXPECT_EQ(list->GetItemText(2, 1), QStringLiteral("佐藤"));
    EXPECT_EQ(list->GetItemText(0, 3), QStringLiteral("清掃"));
    EXPECT_FALSE(m_list.IsCame(0));
    EXPECT_TRUE(m_list.IsCame(1));
    EXPECT_EQ(m_list.Entry(2)->reservationNo, "0005");
    EXPECT_EQ(m_list.Entry(1)->patientId, "P0002");
    EXPECT_EQ(m_list.Entry(3), nullptr);
    EXPECT_EQ(m_list.Entry(-1), nullptr);
    EXPECT_TRUE(m_toggles.empty());

    m_list.SetRows({Row("0009", 1, "再読込")});
    EXPECT_EQ(m_list.RowCount(), 1);
    EXPECT_EQ(list->GetItemCount(), 1);
    EXPECT_TRUE(m_toggles.empty());
}

TEST_F(DayListTest, UserTickIsReportedOnceAndSetCameStaysQuiet) {
    QTreeWidgetItem* first = m_list.List()->topLevelItem(0);
    first->setCheckState(0, Qt::Checked);
    ASSERT_EQ(m_toggles.size(), 1u);
    EXPECT_EQ(m_toggles[0], std::make_pair(0, true));
    EXPECT_TRUE(m_list.Entry(0)->came);

    first->setText(1, QStringLiteral("山田 太郎"));  // a text change is no toggle
    EXPECT_EQ(m_toggles.size(), 1u);

    m_list.List()->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    ASSERT_EQ(m_toggles.size(), 2u);
    EXPECT_EQ(m_toggles[1], std::make_pair(1, false));

    // The view refused: the window puts the box back without another report.
    EXPECT_TRUE(m_list.SetCame(1, true));
    EXPECT_TRUE(m_list.IsCame(1));
    EXPECT_TRUE(m_list.Entry(1)->came);
    EXPECT_EQ(m_toggles.size(), 2u);
    EXPECT_FALSE(m_list.SetCame(7, true));
}

TEST_F(DayListTest, SelectionFindsReservationsAndReportsTheRow) {
    std::vector<int> selections;
    QObject::connect(&m_list, &CDayList::SelectionChanged,
                     [&](int row) { selections.push_back(row); });
    EXPECT_EQ(m_list.SelectedEntry(), nullptr);
    EXPECT_TRUE(m_list.SelectReservation("0005"));
    ASSERT_NE(m_list.SelectedEntry(), nullptr);
    EXPECT_EQ(m_list.SelectedEntry()->reservationNo, "0005");
    EXPECT_FALSE(m_list.SelectReservation("0003"));  // cancelled: not listed
    EXPECT_EQ(m_list.SelectedRow(), -1);
    ASSERT_FALSE(selections.empty());
    EXPECT_EQ(selections.front(), 2);
    EXPECT_EQ(selections.back(), -1);
}

}  // namespace
}  // namespace velo::sheet

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
