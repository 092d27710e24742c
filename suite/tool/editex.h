// CEditEx: a line edit that carries the input-method mode the suite's settings ask for.
//
// Qt knows no Japanese conversion modes, so each mode becomes input-method hints and a
// locale the platform input method can act on:
//   0  off / latin           -> ImhLatinOnly | ImhPreferLatin, C locale
//   1  hiragana (names, notes) -> no restriction, Japanese locale (conversion on)
//   2  katakana / kana readings -> ImhNoPredictiveText, Japanese locale
//   other values              -> no hints, the widget's default locale
// The mode set last is kept and can be read back.
#pragma once

#include <QLineEdit>

class CEditEx final : public QLineEdit {
    Q_OBJECT
public:
    enum EImeMode { kImeOff = 0, kImeHiragana = 1, kImeKana = 2 };

    explicit CEditEx(QWidget* parent = nullptr);
    CEditEx(const CEditEx&) = delete;
    CEditEx& operator=(const CEditEx&) = delete;

    void SetIMEModes(int mode);
    int GetIMEMode() const { return m_imeMode; }

    // The hints a mode maps to (see the table above).
    static Qt::InputMethodHints HintsForMode(int mode);

private:
    int m_imeMode = -1;
};
