// CEditEx: input-method mode to Qt hints.
#include "suite/tool/editex.h"

#include <QLocale>

CEditEx::CEditEx(QWidget* parent) : QLineEdit(parent) {}

Qt::InputMethodHints CEditEx::HintsForMode(int mode) {
    switch (mode) {
        case kImeOff:
            return Qt::ImhLatinOnly | Qt::ImhPreferLatin;
        case kImeHiragana:
            return Qt::ImhNone;
        case kImeKana:
            return Qt::ImhNoPredictiveText;
        default:
            return Qt::ImhNone;
    }
}

void CEditEx::SetIMEModes(int mode) {
    m_imeMode = mode;
    setInputMethodHints(HintsForMode(mode));
    if (mode == kImeHiragana || mode == kImeKana) {
        setLocale(QLocale(QLocale::Japanese, QLocale::Japan));
    } else if (mode == kImeOff) {
        setLocale(QLocale::c());
    } else {
        unsetLocale();
    }
}
