#pragma once
// The absence list on paper, for the staff meeting: pages with a header (the
// day, as the collection window's edit box shows it, and the page's number
// of the count) and every line of the list in its order, in the list's
// gothic face, wrapped where it is wider than the page and never cut. The
// collection window prints and previews with it, and both the window and the
// command line write PDF files with it. QtGui only.

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

class QPageLayout;
class QPagedPaintDevice;

#include "day_tally.h"

namespace absence {
class AbsenceList;
} // namespace absence

namespace absence::ui {

// "設定日：" and the day's short date, the text of the collection window's
// edit box.
QString DayCaption(const QDate &day);

// The list's lines as text, in list order.
QStringList ListText(const absence::AbsenceList &list);

// "1 / 3 ページ": the page's number and the count, for the header.
QString PageNumberText(int page, int count);

// A4 portrait with margins of 15 mm: the paper the list is printed on
// unless the operator chooses another in the print dialog.
QPageLayout ListPageLayout();

// Paints the pages on `device` (a printer, a PDF writer), from its current
// page on; the device's page layout gives the paper and margins. False when
// painting could not begin.
bool PaintListPages(QPagedPaintDevice &device, const QString &caption, const QStringList &lines);

// The pages as a PDF file: A4 portrait, the fonts embedded. Written by
// WriteOutputFile (output_file.h), with its errors: FileCreateError when the
// file cannot be made there, WriteError when the bytes could not be written.
void WriteListPdf(const QString &path, const QString &caption, const QStringList &lines);

// The staff meeting's sheet as text: the two tables of the tally (rows of
// cells, the header first), and the notification lines class by class, each
// class under a heading with its counts, in the list's order within it.
struct SheetText {
    struct Section {
        QString heading;
        QStringList lines;
    };
    QList<QStringList> kindTable, symptomTable;
    QList<Section> sections;
};
// A table of the tally as text, row by row, the header first.
QList<QStringList> TableText(const absence::Table &table);
// `lines` are the list's lines the tally was made of, by index.
SheetText MakeSheetText(const absence::DayTally &tally, const QList<QByteArray> &lines);

// "区分別", "欠席者の症状別": the titles above the two tables.
QString KindTableTitle();
QString SymptomTableTitle();

// Paints the sheet like the list's pages (the same header on every page):
// the two tables on the first page, then the classes from the next page on;
// a heading stays with its first line, and nothing is cut.
bool PaintSheetPages(QPagedPaintDevice &device, const QString &caption, const SheetText &sheet);

// The sheet as a PDF file, written as WriteListPdf writes, with its errors.
void WriteSheetPdf(const QString &path, const QString &caption, const SheetText &sheet);

} // namespace absence::ui
