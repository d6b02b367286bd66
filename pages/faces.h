#pragma once
// The font faces the program draws with, on screen and on paper, and the
// installed faces that stand in for them (QtGui only: the command line's
// printing uses them too).

#include <QFont>
#include <QString>

namespace absence::ui {

// The faces the windows name. Each is mapped to an installed Japanese face by
// font substitution, so the windows keep asking for these names.
inline const QString kGothicFace = QStringLiteral("ＭＳ Ｐゴシック");
inline const QString kRoundGothicFace = QStringLiteral("HG丸ｺﾞｼｯｸM-PRO");
inline const QString kTextbookFace = QStringLiteral("HG教科書体");

// The faces installed in their place (the Debian packages the program needs).
inline const QString kGothicSubstitute = QStringLiteral("IPAPGothic");
inline const QString kRoundGothicSubstitute = QStringLiteral("MotoyaLMaru");
inline const QString kTextbookSubstitute = QStringLiteral("Klee One");
// The gothic face by the Latin name its font file gives: all a font database
// that reads the files itself (Qt's offscreen platform on Windows) knows.
inline const QString kGothicLatinName = QStringLiteral("MS PGothic");
// The two HG faces come with Japanese Office, not with Windows. Without them
// the textbook face falls to the textbook face Japanese Windows 10 and later
// has, and both fall to the gothic face every Japanese Windows has, rather
// than to whatever face the system picks, which may lack Japanese.
inline const QString kWindowsTextbookFace = QStringLiteral("UD Digi Kyokasho NP-B");

// A font of the given face whose characters are `pixels` high.
QFont PixelFont(const QString &face, int pixels, bool bold = false);

// Maps the named faces to the installed ones. Call once after the
// QGuiApplication exists.
void InstallFaceSubstitutes();

} // namespace absence::ui
