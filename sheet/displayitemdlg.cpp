// The display-item selection dialog: a checked list of the catalogue in the mode's order,
// buttons to move a row, check or clear every row and go back to the defaults, and the
// kana choice. Only OK writes anything.
#include "sheet/displayitemdlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <filesystem>
#include <system_error>

#include "sheet/sheetsettings.h"
#include "suite/comdlg/velocomdlg.h"
#include "suite/tool/dialogbuttons.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/strings.h"

using namespace velo::sheet;

namespace {

constexpr int kListColumnWidth = 300;

void RegisterDisplayItemStrings() {
    RegisterStrings({
        {CDisplayItemDlg::kIdsTitleSuffix, "情報の表示･非表示設定"},
        {CDisplayItemDlg::kIdsBalloonTitle, "予約の吹き出し"},
        {CDisplayItemDlg::kIdsBarTitle, "予約"},
        {CDisplayItemDlg::kIdsBarInstruction,
         "下記項目を予約情報に表示したい場合、項目の左のチェックボックスをチェックして、「OK」ボタ"
         "ンを"
         "押してください。"},
    });
}

const char kBalloonInstruction[] =
    "下記項目を予約の吹き出しに表示したい場合、項目の左のチェックボックスをチェックして、「OK」"
    "ボタンを押してください。";

QPushButton* NewButton(const QString& text, int id, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::number(id));
    button->setAutoDefault(false);
    return button;
}

}  // namespace

CDisplayItemDlg::CDisplayItemDlg(int mode, bool kana, const QStringList& freeTableNames,
                                 QWidget* parent)
    : QDialog(parent),
      m_mode(mode == kBarItems ? kBarItems : kBalloonItems),
      m_freeTableNames(freeTableNames),
      m_path(DisplayItemFilePath(m_mode)) {
    RegisterDisplayItemStrings();
    BuildLayout();
    m_kana->setChecked(kana);
    SetFilePath(m_path);
}

CDisplayItemDlg::CDisplayItemDlg(CVeloDBSys* db, int mode, bool kana, QWidget* parent)
    : CDisplayItemDlg(
          mode, kana,
          [db] {
              QStringList names;
              CVeloComDlg::EnumFreeTblName(db, &names);
              return names;
          }(),
          parent) {}

CDisplayItemDlg::~CDisplayItemDlg() = default;

void CDisplayItemDlg::BuildLayout() {
    setObjectName(QString::number(kIdDialog));
    setWindowTitle(LoadString(m_mode == kBarItems ? kIdsBarTitle : kIdsBalloonTitle) +
                   LoadString(kIdsTitleSuffix));

    m_instruction = new QLabel(m_mode == kBarItems ? LoadString(kIdsBarInstruction)
                                                   : QString::fromUtf8(kBalloonInstruction),
                               this);
    m_instruction->setObjectName(QString::number(kIdInstruction));
    m_instruction->setWordWrap(true);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QString::number(kIdList));
    m_list->setColumnCount(1);
    m_list->setHeaderLabels({QStringLiteral("項目")});
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setAlternatingRowColors(false);
    m_list->setStyleSheet(
        QStringLiteral("QTreeWidget::item { border-bottom: 1px solid palette(mid); }"));
    m_list->header()->setStretchLastSection(false);
    m_list->setColumnWidth(0, kListColumnWidth);
    m_list->setMinimumWidth(kListColumnWidth + 24);
    m_list->setMinimumHeight(360);

    m_up = NewButton(QStringLiteral("↑"), kIdMoveUp, this);
    m_down = NewButton(QStringLiteral("↓"), kIdMoveDown, this);
    auto* checkAll = NewButton(QStringLiteral("全チェック"), kIdCheckAll, this);
    auto* clearAll = NewButton(QStringLiteral("全チェック解除"), kIdClearAll, this);
    auto* reset = NewButton(QStringLiteral("初期に戻す"), kIdReset, this);
    m_kana = new QCheckBox(QStringLiteral("カナ名表示"), this);
    m_kana->setObjectName(QString::number(kIdKana));

    auto* side = new QVBoxLayout;
    side->addWidget(m_up);
    side->addWidget(m_down);
    side->addSpacing(12);
    side->addWidget(checkAll);
    side->addWidget(clearAll);
    side->addWidget(reset);
    side->addStretch(1);
    side->addWidget(m_kana);

    auto* middle = new QHBoxLayout;
    middle->addWidget(m_list, 1);
    middle->addLayout(side);

    QPushButton* ok = nullptr;
    QDialogButtonBox* buttons = MakeOkCancelButtons(this, &ok);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_instruction);
    layout->addLayout(middle, 1);
    layout->addWidget(buttons);

    connect(m_list, &QTreeWidget::currentItemChanged, this, &CDisplayItemDlg::UpdateMoveButtons);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CDisplayItemDlg::UpdateMoveButtons);
    connect(m_up, &QPushButton::clicked, this, [this] { MoveSelected(-1); });
    connect(m_down, &QPushButton::clicked, this, [this] { MoveSelected(1); });
    connect(checkAll, &QPushButton::clicked, this, [this] { SetAllChecks(true); });
    connect(clearAll, &QPushButton::clicked, this, [this] { SetAllChecks(false); });
    connect(reset, &QPushButton::clicked, this, &CDisplayItemDlg::OnReset);
    connect(ok, &QPushButton::clicked, this, &CDisplayItemDlg::OnOK);
}

void CDisplayItemDlg::SetFilePath(const std::string& path) {
    m_path = path;
    DisplayItemTable fromFile;
    if (ReadDisplayItemFile(m_path, &fromFile) != 0) fromFile.items.clear();
    Fill(CompleteDisplayItems(m_mode, fromFile));
}

void CDisplayItemDlg::Fill(const DisplayItemTable& rows) {
    m_list->clear();
    for (const DisplayItem& row : rows.items) {
        auto* item = new QTreeWidgetItem(m_list);
        item->setText(0, DisplayItemTitle(row.index, m_freeTableNames));
        item->setData(0, Qt::UserRole, row.index);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(0, row.shown ? Qt::Checked : Qt::Unchecked);
    }
    m_list->setCurrentItem(nullptr);
    m_list->clearSelection();
    UpdateMoveButtons();
}

DisplayItemTable CDisplayItemDlg::Rows() const {
    DisplayItemTable rows;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_list->topLevelItem(i);
        rows.items.push_back(
            {item->data(0, Qt::UserRole).toInt(), item->checkState(0) == Qt::Checked});
    }
    return rows;
}

bool CDisplayItemDlg::Kana() const { return m_kana->isChecked(); }

void CDisplayItemDlg::UpdateMoveButtons() {
    const bool selected = !m_list->selectedItems().isEmpty();
    m_up->setEnabled(selected);
    m_down->setEnabled(selected);
}

void CDisplayItemDlg::MoveSelected(int step) {
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty()) return;
    QTreeWidgetItem* item = selected.front();
    const int row = m_list->indexOfTopLevelItem(item);
    const int target = row + step;
    if (row < 0 || target < 0 || target >= m_list->topLevelItemCount()) return;
    m_list->takeTopLevelItem(row);
    m_list->insertTopLevelItem(target, item);
    m_list->setCurrentItem(item);
    item->setSelected(true);
    m_list->scrollToItem(item);
}

void CDisplayItemDlg::SetAllChecks(bool on) {
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        m_list->topLevelItem(i)->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
    }
}

void CDisplayItemDlg::OnReset() { Fill(DefaultDisplayItems(m_mode)); }

void CDisplayItemDlg::OnOK() {
    // An installed suite keeps the file in the user's configuration folder, which the first
    // save may have to make; when it cannot, the write below says why.
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(m_path).parent_path(), ec);
    std::string error;
    if (!WriteDisplayItemFile(m_path, Rows(), &error)) {
        CMessageService::MessageBox(this,
                                    QStringLiteral("表示項目を保存できませんでした。\n%1")
                                        .arg(QString::fromLocal8Bit(error.c_str())),
                                    windowTitle(), CMessageService::EIcon::Warning);
        return;
    }
    const bool stored = m_mode == kBarItems ? WriteTimeKana(Kana()) : WriteTipKana(Kana());
    if (!stored) {
        CMessageService::MessageBox(this,
                                    QStringLiteral("カナ名表示の設定を保存できませんでした。"),
                                    windowTitle(), CMessageService::EIcon::Warning);
        return;
    }
    done(QDialog::Accepted);
}
