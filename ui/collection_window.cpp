#include "collection_window.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QScreen>
#include <QTimer>

#include "absence_list.h"
#include "application.h"
#include "collection.h"
#include "day_csv.h"
#include "day_files.h"
#include "dialogs.h"
#include "list_pages.h"
#include "record_file.h"
#include "reorder.h"
#include "services.h"
#include "tally_window.h"
#include "widgets.h"

using namespace absence::ui;

TForm1::TForm1(QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("欠席者集積実行"));
    setFont(PixelFont(kGothicFace, 12));
    UseButtonFaceBackground(this);
    setSizeGripEnabled(false);
    resize(1024, 792);

    StaticText1 = MakeSunkenCaption(this, "StaticText1", {32, 16}, QStringLiteral(" 今日の欠席者集積 "),
                                    PixelFont(kGothicFace, 37), kTeal, kActiveBorderColour);
    BitBtn1 = MakeButton(this, "BitBtn1", {824, 24, 105, 41}, QStringLiteral("　保　存　"), PixelFont(kGothicFace, 27),
                         kRed, QStringLiteral("ファイルを保存します"));

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setFont(PixelFont(kRoundGothicFace, 27));
    SetPaletteColour(Edit1, QPalette::Text, kRed);
    // The edit box is as high as its font needs.
    Edit1->setGeometry(488, 24, 313, Edit1->sizeHint().height());

    StaticText2 = MakeSunkenCaption(this, "StaticText2", {368, 24}, QStringLiteral(" 実行日 "),
                                    PixelFont(kGothicFace, 29, true), kBlue, kScrollBarColour);

    ListBox1 = new AbsenceListView(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setFont(PixelFont(kGothicFace, 19));
    SetPaletteColour(ListBox1, QPalette::Text, kNavy);
    ListBox1->setGeometry(16, 144, 985, 585);
    NameAfterCaption(Edit1, StaticText2);
    NameAfterCaption(ListBox1, StaticText1);

    BitBtn2 = MakeButton(this, "BitBtn2", {520, 88, 249, 33}, QStringLiteral("欠席ファイル集積"),
                         PixelFont(kRoundGothicFace, 27, true), kTeal,
                         QStringLiteral("欠席データファイルを集積します"));
    BitBtn3 = MakeButton(this, "BitBtn3", {824, 80, 105, 41}, QStringLiteral("終　了"), PixelFont(kGothicFace, 24),
                         palette().color(QPalette::WindowText), QStringLiteral("集積実行を終わります"));
    BitBtn4 = MakeButton(this, "BitBtn4", {176, 110, 90, 30}, QStringLiteral("時刻順"),
                         PixelFont(kGothicFace, 21, true), kBlue, QStringLiteral("時刻順に並べ替えます！"));
    BitBtn5 = MakeButton(this, "BitBtn5", {352, 110, 90, 30}, QStringLiteral("クラス順"),
                         PixelFont(kGothicFace, 21, true), kMaroon, QStringLiteral("クラス順に並べ替えます！"));

    Label1 = MakeLabel(this, "Label1", {168, 72}, QStringLiteral("Label1"), PixelFont(kGothicFace, 32, true), kGreen);

    // The notice stands in the free room right of the order buttons, under
    // collect and above the list (the clock above it widens to its text),
    // a sunken caption like the window's others; it takes no focus, so the
    // tab order stays.
    const QString notice = QStringLiteral("新しい欠席連絡が届いています");
    StaticText3 = MakeSunkenCaption(this, "StaticText3", {460, 0}, notice, PixelFont(kGothicFace, 16, true), kRed);
    const int bandTop = BitBtn2->geometry().bottom() + 1;
    StaticText3->move(460, bandTop + qMax(0, (ListBox1->y() - bandTop - StaticText3->height()) / 2));
    StaticText3->setAccessibleName(notice);
    StaticText3->hide();

    connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm1::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TForm1::BitBtn3Click);
    connect(BitBtn4, &QPushButton::clicked, this, &TForm1::BitBtn4Click);
    connect(BitBtn5, &QPushButton::clicked, this, &TForm1::BitBtn5Click);

    const QList<QWidget *> tabOrder{BitBtn1, Edit1, ListBox1, BitBtn2, BitBtn3, BitBtn4, BitBtn5};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    BitBtn1->setFocus();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    Timer1->start();

    // The looks have a timer of their own: the clock's handler stays what it
    // is, and a look never reports an error.
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(1000);
    connect(Timer2, &QTimer::timeout, this, &TForm1::Timer2Timer);
    Timer2->start();

    PrintAction = new QAction(QStringLiteral("印刷..."), this);
    PrintAction->setObjectName(QStringLiteral("PrintAction"));
    PrintAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    PrintAction->setShortcutContext(Qt::WindowShortcut);
    PdfAction = new QAction(QStringLiteral("PDF に保存..."), this);
    PdfAction->setObjectName(QStringLiteral("PdfAction"));
    connect(PrintAction, &QAction::triggered, this, &TForm1::PrintList);
    connect(PdfAction, &QAction::triggered, this, &TForm1::SaveListPdf);
    TallyAction = new QAction(QStringLiteral("集計..."), this);
    TallyAction->setObjectName(QStringLiteral("TallyAction"));
    TallyAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    TallyAction->setShortcutContext(Qt::WindowShortcut);
    CsvAction = new QAction(QStringLiteral("CSV に保存..."), this);
    CsvAction->setObjectName(QStringLiteral("CsvAction"));
    connect(TallyAction, &QAction::triggered, this, &TForm1::ShowTally);
    connect(CsvAction, &QAction::triggered, this, &TForm1::SaveListCsv);
    // Ctrl+P and Ctrl+T anywhere in the window; all on the list's context
    // menu.
    addActions({PrintAction, TallyAction});
    ListBox1->addActions({PrintAction, PdfAction, TallyAction, CsvAction});
    ListBox1->setContextMenuPolicy(Qt::ActionsContextMenu);
}

TForm1::~TForm1() = default;

absence::AbsenceList &TForm1::Items() const
{
    return ListBox1->Items();
}

void TForm1::BitBtn1Click()
{
    RunHandler([&] {
        switch (SaveQuestion::Ask(this)) {
        case SaveQuestion::Cancel:
            CloseAndRelease();
            break;
        case SaveQuestion::No:
            break;
        case SaveQuestion::Yes:
            absence::Save(Items(), absence::ChosenDate);
            ShowMessage(QStringLiteral("保存しました！"));
            CloseAndRelease();
            break;
        }
    });
}

void TForm1::BitBtn2Click()
{
    RunHandler([&] {
        // The notice goes with the collection. The files are watched from
        // before they are read, so a station that writes meanwhile is
        // noticed afterwards.
        StaticText3->hide();
        m_watch = absence::DataFileWatch::Start(absence::ChosenDate);
        absence::Collect(Items(), absence::ChosenDate);
        FitHorizontalExtent();
        if (Items().Count() == 0)
            ShowMessage(QStringLiteral("欠席記録データがありません"));
    });
}

void TForm1::BitBtn3Click()
{
    RunHandler([&] { CloseAndRelease(); });
}

void TForm1::BitBtn4Click()
{
    RunHandler([&] { absence::OrderByTime(Items()); });
}

void TForm1::BitBtn5Click()
{
    RunHandler([&] { absence::OrderByClass(Items()); });
}

void TForm1::Timer1Timer()
{
    RunHandler([&] { SetAutoSizedText(Label1, absence::FromCp932(absence::DateTimeText(absence::clock().now()))); });
}

void TForm1::Timer2Timer()
{
    // Once shown, the notice stays until the next collection: no more looks
    // are needed until then.
    if (!StaticText3->isHidden())
        return;
    if (m_watch.LookAgain() == absence::DataFileWatch::Look::Changed)
        ShowNotice();
}

void TForm1::ShowNotice()
{
    StaticText3->show();
    QAccessibleEvent event(StaticText3, QAccessible::Alert);
    QAccessible::updateAccessibility(&event);
    if (!isActiveWindow())
        QApplication::alert(this);
}

void TForm1::PrintList()
{
    RunHandler([&] {
        const QString caption = DayCaption(absence::ChosenDate);
        const QStringList lines = ListText(Items());
        PreviewPages(this, caption, [&](QPrinter *target) { PaintListPages(*target, caption, lines); });
    });
}

void TForm1::SaveListPdf()
{
    RunHandler([&] {
        const auto path =
            AskPdfPath(this, absence::ChosenDate.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".pdf"));
        if (path)
            WriteListPdf(*path, DayCaption(absence::ChosenDate), ListText(Items()));
    });
}

void TForm1::ShowTally()
{
    RunHandler([&] {
        TallyWindow tally(Items(), absence::ChosenDate, this);
        tally.exec();
        activateWindow();
    });
}

void TForm1::SaveListCsv()
{
    RunHandler([&] {
        const QString cp932 = QStringLiteral("コードページ 932 (Excel) (*.csv)");
        const QString utf8 = QStringLiteral("UTF-8 (BOM 付き) (*.csv)");
        QFileDialog dialog(this, QStringLiteral("CSV に保存"), absence::WorkingDirectory());
        dialog.setNameFilters({cp932, utf8});
        dialog.selectNameFilter(cp932);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("csv"));
        dialog.selectFile(absence::ChosenDate.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".csv"));
        const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
        activateWindow();
        if (chosen)
            absence::WriteDayCsv(dialog.selectedFiles().constFirst(), Items(), absence::ChosenDate,
                                 dialog.selectedNameFilter() == utf8 ? absence::CsvEncoding::Utf8Bom
                                                                     : absence::CsvEncoding::Cp932);
    });
}

void TForm1::FitHorizontalExtent()
{
    ListBox1->setHorizontalExtent(WidestLineWidth(ListBox1->font(), Items()) + 10);
}

void TForm1::CloseAndRelease()
{
    done(ModalResultClosed);
    deleteLater();
}

void TForm1::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Filled (from the record, or empty) by now: the notice tells what
    // changes from here on.
    if (!m_watching) {
        m_watching = true;
        m_watch = absence::DataFileWatch::Start(absence::ChosenDate);
    }
    if (!m_placed && screen()) {
        m_placed = true;
        move(CentredPosition(frameGeometry().size(), screen()->geometry()));
    }
}

void TForm1::closeEvent(QCloseEvent *event)
{
    // The close box ends the modal run without saving, and the window is
    // released like after the buttons: its list and clock go with it.
    QDialog::closeEvent(event);
    if (event->isAccepted())
        deleteLater();
}

void TForm1::keyPressEvent(QKeyEvent *event)
{
    // A focused button takes Enter itself. Elsewhere Enter presses nothing,
    // and Esc never closes this window.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}
