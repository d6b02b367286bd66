#include "faces.h"

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
    QFont::insertSubstitution(kGothicFace, kGothicSubstitute);
    QFont::insertSubstitution(kGothicFace, kGothicLatinName);
    QFont::insertSubstitution(kRoundGothicFace, kRoundGothicSubstitute);
    QFont::insertSubstitution(kTextbookFace, kTextbookSubstitute);
}

} // namespace absence::ui
