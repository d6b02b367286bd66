#pragma once
// The program's modal boxes: plain messages, the error report that every
// window handler runs under, the save question, and the boxes the windows
// print and save their pages as PDF with.

#include <QDialog>
#include <QMessageBox>
#include <QString>
#include <exception>
#include <functional>
#include <optional>
#include <utility>

#include "errors.h"

class QPrinter;
class QPushButton;

namespace absence::ui {

// A message box that centres itself on its screen when shown.
class CentredMessageBox : public QMessageBox {
    Q_OBJECT
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent *event) override;
};

// A plain message: the application title, no icon, one "OK" button that both
// Enter and Esc choose.
void ShowMessage(const QString &text);

// The error report: the stop icon, one "OK" button, the application title and
// the error's text with the trailing "." rule applied.
void ReportError(const QString &message);

// Runs a window handler. An error it raises ends it there and is reported
// (by `report`, given the text, where a window shows its errors itself);
// nothing is undone and the window stays open. No exception leaves.
template <typename Handler, typename Report>
void RunHandler(Handler &&handler, Report &&report) noexcept
{
    try {
        try {
            std::forward<Handler>(handler)();
        } catch (const absence::AbsenceError &error) {
            report(error.message());
        } catch (const std::exception &error) {
            report(QString::fromLocal8Bit(error.what()));
        } catch (...) {
            report(QStringLiteral("Unknown error"));
        }
    } catch (...) {
        // A report that fails itself has nowhere else to go.
    }
}

template <typename Handler>
void RunHandler(Handler &&handler) noexcept
{
    RunHandler(std::forward<Handler>(handler), [](const QString &message) { ReportError(message); });
}

// The question asked before saving. Its buttons stand left to right in this
// order whatever the desktop's usual order; Enter chooses the focused button
// (はい at first), Esc and the close box choose ｷｬﾝｾﾙ.
class SaveQuestion : public QDialog {
    Q_OBJECT
public:
    enum Answer { Cancel = 0, Yes = 1, No = 2 };

    explicit SaveQuestion(QWidget *parent = nullptr);

    QPushButton *yesButton() const { return m_yes; }
    QPushButton *noButton() const { return m_no; }
    QPushButton *cancelButton() const { return m_cancel; }

    // Shows the question modally and returns the answer.
    static Answer Ask(QWidget *parent);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QPushButton *m_yes;
    QPushButton *m_no;
    QPushButton *m_cancel;
};

// The pages `paint` draws in a print preview as large as `window`, with the
// print dialog; the printer starts on the list's paper, named `docName`.
// `window` is activated again after it.
void PreviewPages(QWidget *window, const QString &docName, const std::function<void(QPrinter *)> &paint);

// The "PDF に保存" box in the working directory, `fileName` offered; the
// path the operator chose, if any. `window` is activated again after it.
std::optional<QString> AskPdfPath(QWidget *window, const QString &fileName);

} // namespace absence::ui
