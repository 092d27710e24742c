// CSheetBalloon: the hover balloon of the sheet's grids (and the week view's drag tip): a
// plain tooltip window in a fixed-pitch Japanese font so the padded item labels line up,
// at most 800 pixels wide, hidden again after ten seconds.
#pragma once

#include <QString>

class QLabel;
class QPoint;
class QTimer;
class QWidget;

namespace velo::sheet {

class CSheetBalloon final {
public:
    explicit CSheetBalloon(QWidget* owner);
    ~CSheetBalloon();
    CSheetBalloon(const CSheetBalloon&) = delete;
    CSheetBalloon& operator=(const CSheetBalloon&) = delete;

    // Shows `text` just below and right of a global point; an empty text hides it.
    void Show(const QString& text, const QPoint& globalPos);
    void Hide();
    bool IsShown() const;
    // The shown text ("" when hidden).
    QString Text() const;

private:
    QLabel* m_label;
    QTimer* m_hideTimer;
};

}  // namespace velo::sheet
