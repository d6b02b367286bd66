#include "faces.h"

#include <QStringList>

namespace absence::ui {

QFont PixelFont(const QString &face, int pixels, bool bold)
{
    QFont font(face);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

void InstallFaceSubstitutes()
{
    // Tried in this order; Qt does not follow a substitute's own substitutes.
    const QStringList gothic{kGothicFace, kGothicLatinName, kGothicSubstitute};
    QFont::insertSubstitutions(kGothicFace, {kGothicSubstitute, kGothicLatinName});
    QFont::insertSubstitutions(kRoundGothicFace, QStringList{kRoundGothicSubstitute} + gothic);
    QFont::insertSubstitutions(kTextbookFace, QStringList{kTextbookSubstitute, kWindowsTextbookFace} + gothic);
}

} // namespace absence::ui
