// The sheet's hover balloon: a frameless tooltip label owned by the grid view.
#include "sheet/sheetballoon.h"

#include <QFontDatabase>
#include <QLabel>
#include <QTimer>

namespace velo::sheet {
namespace {

constexpr int kBalloonKeepMs = 10000;
constexpr int kBalloonMaxWidth = 800;

}  // namespace

CSheetBalloon::CSheetBalloon(QWidget* owner)
    : m_label(new QLabel(owner, Qt::ToolTip | Qt::FramelessWindowHint)),
      m_hideTimer(new QTimer(m_label)) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setFamilies({QStringLiteral("IPAGothic"), QStringLiteral("IPAゴシック"),
                      QStringLiteral("Noto Sans Mono CJK JP"), font.family()});
    font.setPointSize(10);
    m_label->setFont(font);
    m_label->setMargin(5);
    m_label->setMaximumWidth(kBalloonMaxWidth);
    m_label->setWordWrap(false);
    m_label->setTextFormat(Qt::PlainText);
    m_label->setStyleSheet(QStringLiteral(
        "QLabel { background: #fffff4; color: #202020; border: 1px solid #8c8c8c; }"));
    m_hideTimer->setSingleShot(true);
    QObject::connect(m_hideTimer, &QTimer::timeout, m_label, &QLabel::hide);
}

CSheetBalloon::~CSheetBalloon() = default;

void CSheetBalloon::Show(const QString& text, const QPoint& globalPos) {
    if (text.isEmpty()) {
        Hide();
        return;
    }
    m_label->setText(text);
    m_label->adjustSize();
    m_label->move(globalPos + QPoint(12, 16));
    m_label->show();
    m_hideTimer->start(kBalloonKeepMs);
}

void CSheetBalloon::Hide() {
    m_hideTimer->stop();
    m_label->hide();
    m_label->clear();
}

bool CSheetBalloon::IsShown() const { return m_label->isVisible(); }

QString CSheetBalloon::Text() const { return m_label->isVisible() ? m_label->text() : QString(); }

}  // namespace velo::sheet
