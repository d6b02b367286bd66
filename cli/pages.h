#pragma once
// The pdf command's side of the front end: the pages are drawn with the
// windows' page layout, which needs QtGui. A build without the windows has
// none; CMake picks the implementation (pages_gui.cpp or pages_none.cpp).

#include <QCoreApplication>
#include <QDate>
#include <QString>
#include <memory>

namespace absence {
class AbsenceList;
}

namespace cli {

// True when this build can write PDF files (the pdf and sheet commands exist).
bool CanWritePdf();

// The application object: QtCore alone unless pages are to be drawn, then a
// QGuiApplication on Qt's offscreen platform, so no display is needed.
std::unique_ptr<QCoreApplication> MakeApplication(int &argc, char **argv, bool drawsPages);

// The list as it stands as the PDF file `path`, headed by `day`. Raises
// the core's errors (a file that cannot be created, a write error).
void WritePdf(const QString &path, const QDate &day, const absence::AbsenceList &list);

// The staff meeting's sheet of the list as it stands as the PDF file `path`.
void WriteSheet(const QString &path, const QDate &day, const absence::AbsenceList &list);

} // namespace cli
