#pragma once
// The collection window: one day's absence list, collected from the day's
// data files, re-ordered by time or class, saved as the day's record file.

#include <QDialog>

#include "data_file_watch.h"

class QAction;
class QLabel;
class QLineEdit;
class QTimer;

namespace absence {
class AbsenceList;
}
namespace absence::ui {
class AbsenceListView;
class CaptionButton;
} // namespace absence::ui

class TForm1 : public QDialog {
    Q_OBJECT
public:
    // The result of a modal run ended by the window's own buttons.
    static constexpr int ModalResultClosed = 1000;

    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    QLabel *StaticText1;
    QLabel *StaticText2;
    QLineEdit *Edit1;
    QLabel *Label1;
    absence::ui::CaptionButton *BitBtn1;
    absence::ui::CaptionButton *BitBtn3;
    absence::ui::CaptionButton *BitBtn2;
    absence::ui::CaptionButton *BitBtn4;
    absence::ui::CaptionButton *BitBtn5;
    absence::ui::AbsenceListView *ListBox1;
    QTimer *Timer1;
    // The notice that new notifications came in since the last collection
    // (hidden until then), and the clock of its looks at the data files.
    QLabel *StaticText3;
    QTimer *Timer2;
    // 印刷... (Ctrl+P) and PDF に保存..., on the list's context menu.
    QAction *PrintAction;
    QAction *PdfAction;
    // 集計... (Ctrl+T) and CSV に保存..., on the list's context menu too.
    QAction *TallyAction;
    QAction *CsvAction;

    absence::AbsenceList &Items() const;

    // Save (after the save question).
    void BitBtn1Click();
    // Collect the day's data files.
    void BitBtn2Click();
    // Close without saving.
    void BitBtn3Click();
    // Order by time.
    void BitBtn4Click();
    // Order by class.
    void BitBtn5Click();
    void Timer1Timer();
    // Looks at the day's data files; shows the notice when any changed.
    void Timer2Timer();
    // The list as it stands, in a print preview with the print dialog.
    void PrintList();
    // The list as it stands, as a PDF file the operator names.
    void SaveListPdf();
    // The tally of the list as it stands, in a window of its own.
    void ShowTally();
    // The list as it stands, as a CSV file the operator names and encodes.
    void SaveListCsv();

    // The list's horizontal extent becomes its widest line + 10 pixels.
    void FitHorizontalExtent();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // Ends the modal run with ModalResultClosed and releases the window.
    void CloseAndRelease();

    // Shows the notice and asks for the operator's attention.
    void ShowNotice();

    bool m_placed = false;
    bool m_watching = false;
    // The data files as at the last collection, or at the window's opening.
    absence::DataFileWatch m_watch;
};
