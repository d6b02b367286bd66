#include "dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include "application.h"
#include "day_files.h"
#include "list_pages.h"

namespace absence::ui {

namespace {

void CentreOnScreen(QWidget *window)
{
    QScreen *screen = window->screen();
    if (!screen)
        return;
    window->move(CentredPosition(window->frameGeometry().size(), screen->geometry()));
}

// The window the box belongs to: the modal window in front, else the active one.
QWidget *BoxParent()
{
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

// Runs a modal box, then gives the activation back to the window that had
// it, as a desktop's window manager would; without one nothing else does.
template <typename Box>
int RunModal(Box &box)
{
    QPointer<QWidget> previous = QApplication::activeWindow();
    const int result = box.exec();
    if (previous && previous->isVisible())
        previous->activateWindow();
    return result;
}

void ShowBox(QMessageBox::Icon icon, const QString &text)
{
    CentredMessageBox box(BoxParent());
    box.setIcon(icon);
    box.setWindowTitle(ApplicationTitle());
    box.setText(text);
    box.setTextFormat(Qt::PlainText);
    QPushButton *ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    RunModal(box);
}

} // namespace

void CentredMessageBox::showEvent(QShowEvent *event)
{
    QMessageBox::showEvent(event);
    CentreOnScreen(this);
}

void ShowMessage(const QString &text)
{
    ShowBox(QMessageBox::NoIcon, text);
}

void ReportError(const QString &message)
{
    ShowBox(QMessageBox::Critical, absence::ErrorReportText(message));
}

SaveQuestion::SaveQuestion(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("SaveQuestion"));
    setWindowTitle(QStringLiteral("確認"));

    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon"));
    const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion, nullptr, this).pixmap(side, side));
    icon->setAlignment(Qt::AlignTop);

    auto *text = new QLabel(QStringLiteral("集積変更を保存しますか"), this);
    text->setObjectName(QStringLiteral("text"));
    text->setTextFormat(Qt::PlainText);

    m_yes = new QPushButton(QStringLiteral("はい(&Y)"), this);
    m_no = new QPushButton(QStringLiteral("いいえ(&N)"), this);
    m_cancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    for (QPushButton *button : {m_yes, m_no, m_cancel})
        button->setAutoDefault(true);
    m_yes->setDefault(true);
    connect(m_yes, &QPushButton::clicked, this, [this] { done(Yes); });
    connect(m_no, &QPushButton::clicked, this, [this] { done(No); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { done(Cancel); });

    auto *message = new QHBoxLayout;
    message->addWidget(icon);
    message->addSpacing(12);
    message->addWidget(text, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_yes);
    buttons->addWidget(m_no);
    buttons->addWidget(m_cancel);
    buttons->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(message);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_yes->setFocus();
}

void SaveQuestion::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    CentreOnScreen(this);
}

SaveQuestion::Answer SaveQuestion::Ask(QWidget *parent)
{
    SaveQuestion question(parent);
    // Esc and the close box reject, which is the Cancel answer (0).
    return static_cast<Answer>(RunModal(question));
}

void PreviewPages(QWidget *window, const QString &docName, const std::function<void(QPrinter *)> &paint)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(ListPageLayout());
    printer.setDocName(docName);
    QPrintPreviewDialog preview(&printer, window);
    preview.setWindowTitle(QStringLiteral("印刷プレビュー"));
    // As large as the window, so that a page can be read in it.
    preview.resize(window->size());
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview, paint);
    preview.exec();
    window->activateWindow();
}

std::optional<QString> AskPdfPath(QWidget *window, const QString &fileName)
{
    QFileDialog dialog(window, QStringLiteral("PDF に保存"), absence::WorkingDirectory(),
                       QStringLiteral("PDF (*.pdf)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    dialog.selectFile(fileName);
    const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    window->activateWindow();
    if (!chosen)
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace absence::ui
