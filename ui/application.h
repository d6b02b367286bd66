#pragma once
// Application-wide set-up of the windowed program: font faces, style, icon,
// the application title, and the colours and fonts both windows draw with.

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include "faces.h"

namespace absence::ui {

// Named colours.
inline const QColor kNavy{0, 0, 128};
inline const QColor kGreen{0, 128, 0};
inline const QColor kTeal{0, 128, 128};
inline const QColor kMaroon{128, 0, 0};
inline const QColor kRed{255, 0, 0};
inline const QColor kBlue{0, 0, 255};
inline const QColor kBlack{0, 0, 0};
// The classic desktop's scroll-bar and active-border colours, which Qt's
// palette has no roles for.
inline const QColor kScrollBarColour{200, 200, 200};
inline const QColor kActiveBorderColour{180, 180, 180};

// Font substitutes, style, default font and window icon. Call once after the
// QApplication exists (the program entry and the GUI tests both do).
void InitialiseApplication();

// The program's own icon, drawn from its SVG.
QIcon ApplicationIcon();

// The title of message boxes: the program's file name without its directory,
// cut before its first ".", every character after the first in lower case.
QString ApplicationTitleFor(const QString &programPath);
QString ApplicationTitle();

// Where a window of `outer` size goes to be centred on `screen`; an edge that
// would fall before the screen's origin is put at 0.
QPoint CentredPosition(const QSize &outer, const QRect &screen);

} // namespace absence::ui
