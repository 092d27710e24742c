// The pictures of the suite's toolbar commands and message boxes. They are drawings of one
// icon theme, made into images at build time at their size and at twice that for dense
// screens, and compiled into this library, so that every workstation shows the same icons
// whatever its desktop theme, and none is looked up at run time.
#pragma once

#include <QIcon>
#include <QString>

// The edge of a toolbar cell that the command icons are made for, in device-independent
// pixels.
constexpr int kCommandIconSize = 24;

// The edge of the picture beside a message box's text.
constexpr int kMessageIconSize = 64;

// The icon called `name` (the theme's own name, such as "document-print"): its image for a
// device pixel ratio of 1 and, beside it, the one for a ratio of 2. A null icon when the
// suite carries no icon of that name.
QIcon CommandIcon(const char* name);

// The resource path of the image of `name` at one times the toolbar size; the image for a
// device pixel ratio of 2 has the same path with "@2x" before ".png".
QString CommandIconFile(const char* name);

// The picture of a message box, like CommandIcon: "dialog-information", "dialog-warning",
// "dialog-error" or "dialog-question". A null icon for any other name.
QIcon MessageIcon(const char* name);
