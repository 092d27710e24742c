// The fee-item picker, its listing, the item keys shared with the treatment item editor,
// and CVeloComDlg::OpenCreditItem that runs the picker.
#include "suite/comdlg/credititemdlg.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "suite/comdlg/entrydialogs.h"
#include "suite/comdlg/tablehelpers.h"
#include "suite/comdlg/velocomdlg.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/text/cp932.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/tools.h"
#include "suite/tool/dialogbuttons.h"

namespace {

using comdlg::OpenIn;

constexpr char kHiddenMark[] = "__";
constexpr QChar kKeySeparator = u'-';
constexpr int kKeyRole = Qt::UserRole;

bool IsEnd(int status) { return status == recman::kEndOfFile || status == recman::kKeyNotFound; }

// Category code to name, for the list's first column.
std::map<QString, QString> CategoryNames(CVeloDBSys* db) {
    std::map<QString, QString> names;
    CCreditCategoryDB table;
    if (OpenIn(table, db) != 0) return names;
    table.SetKey(CCreditCategoryDB::kKeyCode);
    for (int status = table.GetFIRST(); status == 0; status = table.GetNEXT()) {
        names[Cp932FieldToQString(table.m_Data.Code)] = Cp932FieldToQString(table.m_Data.Name);
    }
    return names;
}

}  // namespace

QString CVeloComDlg::MakeItemKey(const QString& category, const QString& item) {
    return category + kKeySeparator + item;
}

bool CVeloComDlg::SplitItemKey(const QString& key, QString* category, QString* item) {
    const qsizetype at = key.indexOf(kKeySeparator);
    if (at < 0) return false;
    if (category != nullptr) *category = key.left(at);
    if (item != nullptr) *item = key.mid(at + 1);
    return true;
}

int ListCreditItems(CVeloDBSys* db, const QString& category, std::vector<CCreditItemRow>* rows) {
    rows->clear();
    CCreditItemDB items;
    int status = OpenIn(items, db);
    if (status != 0) return status;
    const std::map<QString, QString> names = CategoryNames(db);
    const std::string wanted = category.trimmed().toStdString();
    char key[sizeof(tagCREDITITEMDB::CategoryCode) + sizeof(tagCREDITITEMDB::ItemCode)] = {};
    std::strncpy(key, wanted.c_str(), sizeof(tagCREDITITEMDB::CategoryCode) - 1);
    items.SetKey(CCreditItemDB::kKeyCategoryItemOrder);
    items.SetKeyBuffer(key, sizeof key);
    const tagCREDITITEMDB& r = items.m_Data;
    for (status = items.GetGREQ(); status == 0; status = items.GetNEXT()) {
        if (!wanted.empty() &&
            wanted != std::string(r.CategoryCode, strnlen(r.CategoryCode, sizeof r.CategoryCode))) {
            break;
        }
        if (std::strncmp(r.HiddenMark, kHiddenMark, 2) == 0) continue;
        CCreditItemRow row;
        row.category = Cp932FieldToQString(r.CategoryCode);
        const auto name = names.find(row.category);
        if (name != names.end()) row.categoryName = name->second;
        row.item = Cp932FieldToQString(r.ItemCode);
        row.name = Cp932FieldToQString(r.ItemName);
        row.price = r.Price;
        rows->push_back(row);
    }
    return IsEnd(status) ? 0 : status;
}

CCreditItemDlg::CCreditItemDlg(CVeloDBSys* db, const QString& category, QWidget* parent)
    : QDialog(parent), m_db(db) {
    setWindowTitle(QStringLiteral("料金項目の選択"));
    setMinimumSize(520, 360);
    resize(600, 440);
    m_category = new QComboBox(this);
    m_category->setObjectName(QString::number(kIdCategory));
    m_category->setMinimumWidth(200);
    // The filler matches codes as numbers too ("1" finds "001").
    const QByteArray code = category.trimmed().toLatin1();
    CVeloComDlg::EnumCreditCategory(db, m_category, code.constData());
    const int found = code.isEmpty() ? -1 : m_category->currentIndex();
    m_category->insertItem(0, QStringLiteral("（すべての区分）"), QString());
    m_category->setCurrentIndex(found >= 0 ? found + 1 : 0);
    auto* add = new QPushButton(QStringLiteral("新規追加..."), this);
    add->setObjectName(QString::number(kIdAdd));
    add->setAutoDefault(false);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("料金区分"), this));
    top->addWidget(m_category);
    top->addStretch();
    top->addWidget(add);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QString::number(kIdList));
    m_list->setRootIsDecorated(false);
    m_list->setAlternatingRowColors(true);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setHeaderLabels({QStringLiteral("区分"), QStringLiteral("コード"),
                             QStringLiteral("項目名"), QStringLiteral("金額（税抜）")});
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(kColName, QHeaderView::Stretch);
    m_list->setColumnWidth(kColCategory, 110);
    m_list->setColumnWidth(kColCode, 60);
    m_list->setColumnWidth(kColPrice, 110);

    QDialogButtonBox* buttons = MakeOkCancelButtons(this, &m_ok);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);

    connect(m_category, &QComboBox::currentIndexChanged, this, [this] { Reload(); });
    connect(add, &QPushButton::clicked, this, &CCreditItemDlg::OnAdd);
    connect(m_ok, &QPushButton::clicked, this, &CCreditItemDlg::OnOK);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CCreditItemDlg::OnSelectionChanged);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &CCreditItemDlg::OnOK);
    Reload();
    m_list->setFocus();
}

void CCreditItemDlg::Reload(const QString& selectKey) {
    std::vector<CCreditItemRow> rows;
    const int status = ListCreditItems(m_db, m_category->currentData().toString(), &rows);
    m_list->clear();
    for (const CCreditItemRow& row : rows) {
        auto* item = new QTreeWidgetItem(m_list);
        item->setText(kColCategory, row.categoryName.isEmpty() ? row.category : row.categoryName);
        item->setText(kColCode, row.item);
        item->setText(kColName, row.name);
        item->setText(kColPrice, CTools::NumericFormat(row.price) + QStringLiteral(" 円"));
        item->setTextAlignment(kColPrice, Qt::AlignRight | Qt::AlignVCenter);
        item->setData(kColCategory, kKeyRole, CVeloComDlg::MakeItemKey(row.category, row.item));
        if (!selectKey.isEmpty() && item->data(kColCategory, kKeyRole).toString() == selectKey) {
            m_list->setCurrentItem(item);
            m_list->scrollToItem(item);
        }
    }
    if (status != 0) {
        CMessageService::MessageBox(
            this, QStringLiteral("料金項目を読み込めませんでした。\n（状態 %1）").arg(status),
            windowTitle(), CMessageService::EIcon::Warning);
    }
    OnSelectionChanged();
}

void CCreditItemDlg::OnSelectionChanged() {
    m_ok->setEnabled(m_list->currentItem() != nullptr && m_list->currentItem()->isSelected());
}

// A new item goes into the chosen category (the first one while every category is shown)
// and is selected, so OK takes it.
void CCreditItemDlg::OnAdd() {
    const CMasterTableInfo* info = FindMasterTable("CREDIT");
    if (info == nullptr) return;
    CNewTblItemDlg dialog(m_db, *info, this);
    dialog.SetCategory(m_category->currentData().toString());
    if (dialog.exec() != QDialog::Accepted) return;
    const QString key = CVeloComDlg::MakeItemKey(dialog.StoredCategory(), dialog.StoredCode());
    const QString shown = m_category->currentData().toString();
    if (!shown.isEmpty() && shown != dialog.StoredCategory()) {
        const QSignalBlocker blocker(m_category);
        m_category->setCurrentIndex(std::max(0, m_category->findData(dialog.StoredCategory())));
    }
    Reload(key);
    m_list->setFocus();
}

void CCreditItemDlg::OnOK() {
    QTreeWidgetItem* item = m_list->currentItem();
    if (item == nullptr || !item->isSelected()) return;
    m_chosen = item->data(kColCategory, kKeyRole).toString();
    accept();
}

QString CVeloComDlg::OpenCreditItem(CVeloDBSys* db, const char* categoryCode, QWidget* parent) {
    CCreditItemDlg dialog(db, QString::fromLatin1(categoryCode != nullptr ? categoryCode : ""),
                          parent != nullptr ? parent : QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted) return QString();
    return dialog.ChosenKey();
}
