// The navigation strip: eight image buttons in a row, drawn from the JPEG files of the
// program folder's images/ folder (normal, pressed, and the current screen's image).
// It reports which position was pressed; what that means is decided by the screen that
// shows it (the host's main window, the lab schedule window, the sheet).
#pragma once

#include <QWidget>
#include <array>

#include "suite/tool/navbuttons.h"

class CButtonEx;

class CNavigationStrip final : public QWidget {
    Q_OBJECT
public:
    // imageFolder: the folder holding "s_close_n.jpg" and the others. A button whose
    // images are missing gets plain drawn ones with its caption, so the strip stays usable.
    explicit CNavigationStrip(const QString& imageFolder, QWidget* parent = nullptr);

    // Shows the button of `screenCode` as the current one (none for other codes).
    void SetCurrentScreen(int screenCode);
    CButtonEx* Button(int position) const { return m_buttons[position]; }
    // Number of buttons drawn from stand-in images because files were missing.
    int MissingImageCount() const { return m_missingImages; }

signals:
    void ButtonPressed(int position);

private:
    std::array<CButtonEx*, kNavButtonCount> m_buttons{};
    int m_missingImages = 0;
};
