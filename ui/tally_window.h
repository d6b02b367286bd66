#pragma once
// The day in numbers: the tally of the collection window's list as it stood
// when opened, in two tables (the lines of each kind by class, the
// absentees by symptom), the lines whose kind was not understood below
// them, and the staff meeting's sheet to print or save as PDF.

#include <QDate>
#include <QDialog>
#include <QList>
#include <optional>

#include "day_tally.h"
#include "list_pages.h"

class QLabel;
class QListView;
class QPushButton;
class QTableWidget;

namespace absence {
class AbsenceList;
}

namespace absence::ui {

class TallyWindow : public QDialog {
    Q_OBJECT
public:
    TallyWindow(const absence::AbsenceList &list, const QDate &day, QWidget *parent = nullptr);

    // "集計 " and the day's short date.
    static QString Caption(const QDate &day);

    const absence::DayTally &Tally() const { return m_tally; }

    QTableWidget *KindTable;
    QTableWidget *SymptomTable;
    QLabel *UnknownCaption;
    QListView *UnknownLines;
    QPushButton *PrintButton;
    QPushButton *PdfButton;
    QPushButton *CloseButton;

    // The sheet in a print preview with the print dialog.
    void PrintSheet();
    // The sheet as a PDF file the operator names.
    void SaveSheetPdf();

private:
    // Made when first printed or saved, from the lines as they were.
    const SheetText &Sheet();

    QDate m_day;
    QList<QByteArray> m_lines;
    absence::DayTally m_tally;
    std::optional<SheetText> m_sheet;
};

} // namespace absence::ui
