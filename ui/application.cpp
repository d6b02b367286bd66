#include "application.h"

#include <QApplication>
#include <QFileInfo>
#include <QPainter>
#include <QPixmap>
#include <QStyleFactory>
#include <QSvgRenderer>

namespace absence::ui {

QFont PixelFont(const QString &face, int pixels, bool bold)
{
    QFont font(face);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

void InitialiseApplication()
{
    QFont::insertSubstitution(kGothicFace, kGothicSubstitute);
    QFont::insertSubstitution(kRoundGothicFace, kRoundGothicSubstitute);
    QFont::insertSubstitution(kTextbookFace, kTextbookSubstitute);

    // Fusion looks the same on every desktop and honours the palette colours
    // the buttons and captions are given.
    if (QStyle *style = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(style);
    QApplication::setFont(PixelFont(kGothicFace, 12));
    QApplication::setWindowIcon(ApplicationIcon());
}

QIcon ApplicationIcon()
{
    // Rendered here rather than through the SVG icon plugin, which a machine
    // may lack.
    QSvgRenderer renderer(QStringLiteral(":/icons/jp.school.AbsenceCollector.svg"));
    QIcon icon;
    if (!renderer.isValid())
        return icon;
    for (int side : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QString ApplicationTitleFor(const QString &programPath)
{
    QString name = QFileInfo(programPath).fileName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString ApplicationTitle()
{
    return ApplicationTitleFor(QCoreApplication::applicationFilePath());
}

QPoint CentredPosition(const QSize &outer, const QRect &screen)
{
    const int x = screen.x() + (screen.width() - outer.width()) / 2;
    const int y = screen.y() + (screen.height() - outer.height()) / 2;
    return QPoint(qMax(0, x), qMax(0, y));
}

} // namespace absence::ui
