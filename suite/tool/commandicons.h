// The pictures of the suite's toolbar commands. They are drawings of one icon theme, made
// into images at build time for a 24-pixel toolbar cell and at twice that for dense screens,
// and compiled into this library, so that every workstation shows the same icons whatever
// its desktop theme, and none is looked up at run time.
#pragma once

#include <QIcon>
#include <QString>

// The edge of a toolbar cell that the icons are made for, in device-independent pixels.
constexpr int kCommandIconSize = 24;

// The icon called `name` (the theme's own name, such as "document-print"): its image for a
// device pixel ratio of 1 and, beside it, the one for a ratio of 2. A null icon when the
// suite carries no icon of that name.
QIcon CommandIcon(const char* name);

// The resource path of the image of `name` at one times the toolbar size; the image for a
// device pixel ratio of 2 has the same path with "@2x" before ".png".
QString CommandIconFile(const char* name);
