#include "application.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QPixmap>
#include <QStyleFactory>

namespace absence::ui {

void InitialiseApplication()
{
    InstallFaceSubstitutes();

    // Fusion looks the same on every desktop and honours the palette colours
    // the buttons and captions are given.
    if (QStyle *style = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(style);
    QApplication::setFont(PixelFont(kGothicFace, 12));
    QApplication::setWindowIcon(ApplicationIcon());
}

QIcon ApplicationIcon()
{
    // One PNG per size, drawn from the SVG at build time: no image plugin
    // is needed to read them. Read as PNG without guessing: a reader left to
    // guess (as QIcon::addFile leaves it) first asks every image plugin,
    // loading each of them, and libjpeg, before the first window.
    QIcon icon;
    const QFileInfoList pictures = QDir(QStringLiteral(":/icons/application")).entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo &picture : pictures) {
        QImageReader reader(picture.filePath(), "png");
        reader.setAutoDetectImageFormat(false);
        icon.addPixmap(QPixmap::fromImage(reader.read()));
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
