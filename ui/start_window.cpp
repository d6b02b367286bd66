#include "start_window.h"

#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include "application.h"
#include "collection_window.h"
#include "day_files.h"
#include "dialogs.h"
#include "list_pages.h"
#include "record_file.h"
#include "services.h"
#include "widgets.h"

using namespace absence::ui;

TForm_top::TForm_top(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Form_top"));
    setWindowTitle(QStringLiteral("欠席連絡集積"));
    setFont(PixelFont(kGothicFace, 12));
    UseButtonFaceBackground(this);
    const QString windowHint = QStringLiteral("欠席ファイルの集積を行います！");
    setToolTip(windowHint);
    move(99, 47);
    resize(712, 697);

    Label1 = MakeLabel(this, "Label1", {40, 32}, QStringLiteral("今日の欠席者の集積"),
                       PixelFont(kRoundGothicFace, 48, true), kNavy);
    Label2 =
        MakeLabel(this, "Label2", {160, 96}, QStringLiteral("Label2"), PixelFont(kRoundGothicFace, 32, true), kGreen);
    StaticText1 = MakeSunkenCaption(this, "StaticText1", {32, 96}, QStringLiteral(" 本 日 "),
                                    PixelFont(kRoundGothicFace, 29, true), kGreen);
    StaticText2 = MakeSunkenCaption(this, "StaticText2", {32, 168}, QStringLiteral("設定日"),
                                    PixelFont(kRoundGothicFace, 29, true), kRed);

    auto *picker = new DatePicker(this);
    DateTimePicker1 = picker;
    DateTimePicker1->setObjectName(QStringLiteral("DateTimePicker1"));
    DateTimePicker1->setDisplayFormat(absence::localeSettings().shortDateFormat);
    DateTimePicker1->setCalendarPopup(true);
    DateTimePicker1->setFont(PixelFont(kRoundGothicFace, 37));
    SetPaletteColour(DateTimePicker1, QPalette::Text, kBlack);
    // The drop-down month calendar keeps the window's ordinary font.
    picker->SetCalendarFont(font());
    DateTimePicker1->setGeometry(160, 168, 313, 45);
    DateTimePicker1->setToolTip(QStringLiteral("連絡日を設定します"));
    NameAfterCaption(DateTimePicker1, StaticText2);

    BitBtn1 = MakeButton(this, "BitBtn1", {504, 168, 137, 49}, QStringLiteral("   集積実行　 "),
                         PixelFont(kRoundGothicFace, 29, true), kRed, QStringLiteral("連絡事項を閲覧記入します"));
    BitBtn2 = MakeButton(this, "BitBtn2", {528, 40, 105, 41}, QStringLiteral("　終　了　"),
                         PixelFont(kTextbookFace, 32, true), kMaroon, QStringLiteral("プログラムを終了します"));
    StaticText3 = MakeSunkenCaption(this, "StaticText3", {128, 608},
                                    QStringLiteral(" 欠席連絡集積 Version " ABSENCE_VERSION_TEXT " "),
                                    PixelFont(kRoundGothicFace, 27, true), kTeal);

    // The labels and captions show the window's own hint.
    for (QLabel *label : {Label1, Label2, StaticText1, StaticText2, StaticText3})
        label->setToolTip(windowHint);

    connect(BitBtn1, &QPushButton::clicked, this, &TForm_top::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm_top::BitBtn2Click);

    setTabOrder(BitBtn1, DateTimePicker1);
    setTabOrder(DateTimePicker1, BitBtn2);
    BitBtn1->setFocus();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TForm_top::Timer1Timer);
    Timer1->start();

    DateTimePicker1->setDate(absence::clock().now().date());
}

TForm_top::~TForm_top() = default;

void TForm_top::Timer1Timer()
{
    RunHandler([&] { SetAutoSizedText(Label2, absence::FromCp932(absence::DateTimeText(absence::clock().now()))); });
}

void TForm_top::BitBtn1Click()
{
    RunHandler([&] {
        Form1 = new TForm1(this);
        // A window whose record could not be loaded is never shown.
        struct DiscardUnlessShown {
            QPointer<TForm1> window;
            bool shown = false;
            ~DiscardUnlessShown()
            {
                if (!shown && window)
                    window->deleteLater();
            }
        } guard{Form1};

        // The day the collection window works on, from here until the next run.
        absence::ChosenDate = DateTimePicker1->date();
        QString recordPath;
        if (absence::FindRecordFile(absence::ChosenDate, recordPath)) {
            ShowMessage(QStringLiteral("欠席連絡記録ファイルはありません！"));
        } else {
            absence::Load(Form1->ListBox1->Items(), recordPath);
            Form1->FitHorizontalExtent();
        }
        Form1->Edit1->setText(DayCaption(absence::ChosenDate));
        guard.shown = true;
        Form1->exec();
        // Back in front, whether or not a window manager sees to it.
        activateWindow();
    });
}

void TForm_top::BitBtn2Click()
{
    RunHandler([&] { close(); });
}
