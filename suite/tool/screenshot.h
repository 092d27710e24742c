// Saving pictures of windows for the documentation programs (sheetshots, labshots,
// unitashots): a PNG written atomically into an output folder, its path printed on success
// and the reason on standard error otherwise.
#pragma once

#include <QPixmap>
#include <QString>

class QWidget;

// Writes the picture as FOLDER/NAME.png. `program` names the caller in messages.
bool SaveScreenshot(const QPixmap& picture, const QString& folder, const char* name,
                    const char* program);

// Lets pending events run (layouts, paints), then saves a picture of the widget.
bool SaveWidgetScreenshot(QWidget* widget, const QString& folder, const char* name,
                          const char* program);
