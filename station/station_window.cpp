#include "station_window.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSettings>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include <tuple>
#include <utility>

#include "application.h"
#include "day_files.h"
#include "dialogs.h"
#include "notification_line.h"
#include "services.h"
#include "station_file.h"
#include "widgets.h"

namespace absence::station {

using namespace absence::ui;

namespace {

const QString SettingsDigit = QStringLiteral("station/digit");
const QString SettingsMark = QStringLiteral("station/mark");

// The usual reasons, led by the tally's symptom words.
const QStringList Reasons{QStringLiteral("発熱"),     QStringLiteral("頭痛"), QStringLiteral("風邪"),
                          QStringLiteral("咳"),       QStringLiteral("腹痛"), QStringLiteral("下痢"),
                          QStringLiteral("嘔吐"),     QStringLiteral("発疹"), QStringLiteral("通院"),
                          QStringLiteral("体調不良"), QStringLiteral("けが"), QStringLiteral("家事都合"),
                          QStringLiteral("法事"),     QStringLiteral("寝坊")};
const QStringList Contacts{QStringLiteral("母"),   QStringLiteral("父"), QStringLiteral("本人"), QStringLiteral("祖母"),
                           QStringLiteral("祖父"), QStringLiteral("兄"), QStringLiteral("姉")};

QString markText(char mark)
{
    for (const MarkChoice &m : Marks) {
        if (m.mark == mark)
            return QStringLiteral("%1 %2").arg(QLatin1Char(mark)).arg(QString::fromUtf16(m.meaning));
    }
    return QString(QLatin1Char(mark));
}

// A mark a line may begin with: one printable ASCII character that is not
// a digit, a blank or the class's "=".
bool isMark(QChar c)
{
    return c.unicode() > 0x20 && c.unicode() < 0x7f && !c.isDigit() && c != QLatin1Char('=');
}

QComboBox *makeChoice(QWidget *parent, const char *name, const QStringList &items)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(items);
    box->setCurrentIndex(-1);
    box->setEditText(QString());
    return box;
}

QLineEdit *makeEdit(QWidget *parent, const char *name)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

// The class as typed ("1-2", "１－２", "1年2組"), read as the tally reads a
// line's class: grade and group, both empty when it cannot be read.
std::pair<QString, QString> readClass(const QString &typed)
{
    const QByteArray probe = QByteArrayLiteral("*00:00:00 ") + ToCp932(typed.trimmed()) + '=';
    const NotificationLine read = NotificationLine::Read(probe);
    if (read.grade.isEmpty())
        return {};
    return {FromCp932(read.grade), FromCp932(read.group)};
}

} // namespace

Station Station::Remembered()
{
    QSettings settings;
    Station s;
    bool ok = false;
    const int digit = settings.value(SettingsDigit).toInt(&ok);
    s.digit = ok && digit >= 0 && digit <= 9 ? digit : -1;
    const QString mark = settings.value(SettingsMark).toString();
    s.mark = mark.size() == 1 && isMark(mark[0]) ? mark[0].toLatin1() : '*';
    return s;
}

void Station::Remember() const
{
    QSettings settings;
    settings.setValue(SettingsDigit, digit);
    settings.setValue(SettingsMark, QString(QLatin1Char(mark)));
}

QString ComposeLine(char mark, const Call &call)
{
    QString line = QLatin1Char(mark) + call.time + QLatin1Char(' ') + call.grade;
    if (!call.group.isEmpty())
        line += QLatin1Char('-') + call.group;
    line += QLatin1Char('=');
    QStringList parts;
    if (!call.number.isEmpty())
        parts << call.number + QStringLiteral("番");
    if (!call.name.isEmpty())
        parts << call.name;
    if (!call.reason.isEmpty())
        parts << call.reason + QStringLiteral("のため") + call.kind;
    else if (!call.kind.isEmpty())
        parts << call.kind;
    if (!call.remark.isEmpty())
        parts << call.remark;
    line += parts.join(QLatin1Char(' '));
    if (!call.contact.isEmpty())
        line += QStringLiteral("（%1より）").arg(call.contact);
    return line;
}

bool AskStation(QWidget *parent, Station &station)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("StationDialog"));
    dialog.setWindowTitle(QStringLiteral("受付の設定"));
    auto *digit = new QComboBox(&dialog);
    digit->setObjectName(QStringLiteral("StationDigit"));
    for (int d = 0; d <= 9; ++d)
        digit->addItem(QStringLiteral("%1 (ファイル A%1)").arg(d), d);
    digit->setCurrentIndex(station.digit >= 0 ? station.digit : 0);
    auto *mark = new QComboBox(&dialog);
    mark->setObjectName(QStringLiteral("StationMark"));
    mark->setEditable(true);
    mark->setInsertPolicy(QComboBox::NoInsert);
    for (const MarkChoice &m : Marks)
        mark->addItem(markText(m.mark), QString(QLatin1Char(m.mark)));
    mark->setEditText(markText(station.mark));
    auto *form = new QFormLayout;
    auto *digitLabel = new QLabel(QStringLiteral("受付番号(&N)"), &dialog);
    auto *markLabel = new QLabel(QStringLiteral("記号(&M)"), &dialog);
    form->addRow(digitLabel, digit);
    form->addRow(markLabel, mark);
    NameAfterCaption(digit, digitLabel);
    NameAfterCaption(mark, markLabel);
    auto *buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("ｷｬﾝｾﾙ"), QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addLayout(form);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QString typed = mark->currentText().trimmed();
    station.digit = digit->currentData().toInt();
    if (!typed.isEmpty() && isMark(typed[0]))
        station.mark = typed[0].toLatin1();
    return true;
}

StationWindow::StationWindow(const Station &station, QWidget *parent) : QWidget(parent), m_station(station)
{
    setObjectName(QStringLiteral("StationWindow"));
    setFont(PixelFont(kGothicFace, 16));
    UseButtonFaceBackground(this);

    auto *title = MakeSunkenCaption(this, "Title", {}, QStringLiteral(" 欠席連絡受付 "), PixelFont(kGothicFace, 29),
                                    kTeal, kActiveBorderColour);
    StationCaption = MakeLabel(this, "StationCaption", {}, QString(), PixelFont(kGothicFace, 21, true), kGreen);
    StationButton = MakeButton(this, "StationButton", {}, QStringLiteral("受付の設定..."), PixelFont(kGothicFace, 16),
                               kBlack, QStringLiteral("受付番号と記号を変えます"));
    StationButton->setMinimumSize(130, 32);

    const QFont fieldFont = PixelFont(kGothicFace, 21);
    TimeEdit = makeEdit(this, "TimeEdit");
    TimeEdit->setInputMask(QStringLiteral("99:99:99"));
    TimeEdit->setInputMethodHints(Qt::ImhTime);
    ClassBox = makeChoice(this, "ClassBox", {});
    NumberEdit = makeEdit(this, "NumberEdit");
    NumberEdit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), NumberEdit));
    NumberEdit->setInputMethodHints(Qt::ImhDigitsOnly);
    NameEdit = makeEdit(this, "NameEdit");
    ReasonBox = makeChoice(this, "ReasonBox", Reasons);
    RemarkEdit = makeEdit(this, "RemarkEdit");
    ContactBox = makeChoice(this, "ContactBox", Contacts);

    auto *kinds = new QWidget(this);
    kinds->setObjectName(QStringLiteral("Kinds"));
    auto *kindRow = new QHBoxLayout(kinds);
    kindRow->setContentsMargins(0, 0, 0, 0);
    KindGroup = new QButtonGroup(this);
    for (int k = 0; k < int(std::size(Kinds)); ++k) {
        auto *button = new QRadioButton(QStringLiteral("%1 [F%2]").arg(QString::fromUtf16(Kinds[k])).arg(k + 1), kinds);
        button->setObjectName(QStringLiteral("Kind%1").arg(k));
        button->setAccessibleName(QString::fromUtf16(Kinds[k]));
        KindGroup->addButton(button, k);
        KindButtons << button;
        kindRow->addWidget(button);
        auto *key = new QShortcut(QKeySequence(Qt::Key_F1 + k), this);
        key->setContext(Qt::WindowShortcut);
        connect(key, &QShortcut::activated, button, [this, button] {
            const bool inKinds = KindButtons.contains(focusWidget());
            button->setChecked(true);
            if (inKinds)
                button->setFocus();
        });
    }
    kindRow->addStretch();
    KindButtons.front()->setChecked(true);

    auto *form = new QGridLayout;
    form->setHorizontalSpacing(12);
    const struct {
        const char *name;
        const char16_t *caption;
        QWidget *field;
    } rows[] = {{"TimeCaption", u"時刻", TimeEdit},     {"ClassCaption", u"クラス", ClassBox},
                {"NumberCaption", u"番号", NumberEdit}, {"NameCaption", u"氏名", NameEdit},
                {"KindCaption", u"区分", kinds},        {"ReasonCaption", u"理由", ReasonBox},
                {"RemarkCaption", u"備考", RemarkEdit}, {"ContactCaption", u"連絡者", ContactBox}};
    int row = 0;
    for (const auto &r : rows) {
        QLabel *caption =
            MakeLabel(this, r.name, {}, QString::fromUtf16(r.caption), PixelFont(kGothicFace, 21, true), kNavy);
        r.field->setFont(fieldFont);
        if (r.field != kinds)
            NameAfterCaption(r.field, caption);
        else
            caption->setBuddy(KindButtons.front());
        form->addWidget(caption, row, 0);
        form->addWidget(r.field, row, 1);
        ++row;
    }
    TimeEdit->setMaximumWidth(140);
    ClassBox->setMaximumWidth(140);
    NumberEdit->setMaximumWidth(100);
    ClassBox->setToolTip(QStringLiteral("1-2 のように学年と組を入れます"));
    RemarkEdit->setPlaceholderText(QStringLiteral("10時頃登校"));

    Preview =
        MakeSunkenCaption(this, "Preview", {}, QString(), PixelFont(kGothicFace, 19), kNavy, QColor(255, 255, 255));
    Preview->setMinimumHeight(30);
    Preview->setAccessibleName(QStringLiteral("書き込む行"));
    WriteButton = MakeButton(this, "WriteButton", {}, QStringLiteral("受付 (Enter)"), PixelFont(kGothicFace, 24, true),
                             kRed, QStringLiteral("この行を受付のファイルに書き込みます"));
    WriteButton->setMinimumSize(170, 41);
    Status = MakeLabel(this, "Status", {}, QString(), PixelFont(kGothicFace, 19, true), kBlue);
    Status->setAccessibleName(QStringLiteral("結果"));
    Status->setWordWrap(true);

    QLabel *linesCaption = MakeLabel(this, "LinesCaption", {}, QStringLiteral("今日この受付で書いた行 (新しい順)"),
                                     PixelFont(kGothicFace, 19, true), kNavy);
    Lines = new QListWidget(this);
    Lines->setObjectName(QStringLiteral("Lines"));
    Lines->setFont(PixelFont(kGothicFace, 19));
    SetPaletteColour(Lines, QPalette::Text, kNavy);
    NameAfterCaption(Lines, linesCaption);
    TakeBackButton = MakeButton(this, "TakeBackButton", {}, QStringLiteral("取消"), PixelFont(kGothicFace, 21, true),
                                kMaroon, QStringLiteral("選んだ行をファイルから取り除きます"));
    TakeBackButton->setMinimumSize(90, 36);

    auto *top = new QHBoxLayout;
    top->addWidget(title);
    top->addSpacing(16);
    top->addWidget(StationCaption);
    top->addStretch();
    top->addWidget(StationButton);
    auto *writeRow = new QHBoxLayout;
    writeRow->addWidget(Preview, 1);
    writeRow->addWidget(WriteButton);
    auto *linesRow = new QHBoxLayout;
    linesRow->addWidget(linesCaption);
    linesRow->addStretch();
    linesRow->addWidget(TakeBackButton);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 12);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addLayout(form);
    layout->addLayout(writeRow);
    layout->addWidget(Status);
    layout->addLayout(linesRow);
    layout->addWidget(Lines, 1);
    resize(900, 760);

    // The kinds are one stop: only the chosen one takes Tab, the arrow keys
    // move between them.
    QList<QWidget *> order{TimeEdit, ClassBox, NumberEdit, NameEdit};
    for (QRadioButton *button : KindButtons)
        order << button;
    order << ReasonBox << RemarkEdit << ContactBox << WriteButton << Lines << TakeBackButton << StationButton;
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    for (QLineEdit *edit : {TimeEdit, NumberEdit, NameEdit, RemarkEdit})
        connect(edit, &QLineEdit::textChanged, this, &StationWindow::UpdatePreview);
    for (QComboBox *box : {ClassBox, ReasonBox, ContactBox})
        connect(box, &QComboBox::editTextChanged, this, &StationWindow::UpdatePreview);
    connect(KindGroup, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        KindButtons[id]->setFocusPolicy(checked ? Qt::StrongFocus : Qt::ClickFocus);
        UpdatePreview();
    });
    for (QRadioButton *button : KindButtons)
        button->setFocusPolicy(button->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    connect(TimeEdit, &QLineEdit::textEdited, this, [this] { m_timeTyped = true; });
    connect(WriteButton, &QPushButton::clicked, this, &StationWindow::WriteCall);
    connect(TakeBackButton, &QPushButton::clicked, this, &StationWindow::TakeBack);
    connect(StationButton, &QPushButton::clicked, this, [this] {
        RunHandler([&] {
            Station changed = m_station;
            if (AskStation(this, changed)) {
                changed.Remember();
                SetStation(changed);
            }
        });
    });

    Clock = new QTimer(this);
    Clock->setObjectName(QStringLiteral("Clock"));
    Clock->setInterval(1000);
    connect(Clock, &QTimer::timeout, this, &StationWindow::ClockTick);
    Clock->start();

    SetStation(station);
    ClockTick();
    TimeEdit->setFocus();
}

StationWindow::~StationWindow() = default;

void StationWindow::SetStation(const Station &station)
{
    m_station = station;
    setWindowTitle(QStringLiteral("欠席連絡受付 - 受付 %1").arg(station.digit));
    SetAutoSizedText(StationCaption, QStringLiteral("受付 %1　記号 %2").arg(station.digit).arg(markText(station.mark)));
    StationCaption->setAccessibleName(StationCaption->text());
    ReadBack();
    UpdatePreview();
}

Call StationWindow::TypedCall() const
{
    Call call;
    call.time = TimeEdit->text();
    std::tie(call.grade, call.group) = readClass(ClassBox->currentText());
    call.number = NumberEdit->text().trimmed();
    call.name = NameEdit->text().trimmed();
    const int kind = KindGroup->checkedId();
    call.kind = kind >= 0 ? QString::fromUtf16(Kinds[kind]) : QString();
    call.reason = ReasonBox->currentText().trimmed();
    call.remark = RemarkEdit->text().trimmed();
    call.contact = ContactBox->currentText().trimmed();
    return call;
}

QString StationWindow::PendingLine() const
{
    const Call call = TypedCall();
    return call.grade.isEmpty() ? QString() : ComposeLine(m_station.mark, call);
}

void StationWindow::UpdatePreview()
{
    const QString line = PendingLine();
    SetAutoSizedText(Preview, line.isEmpty() ? QStringLiteral("（クラスを入れると、書き込む行がここに出ます）") : line);
    SetPaletteColour(Preview, QPalette::WindowText, line.isEmpty() ? QColor(128, 128, 128) : kNavy);
}

void StationWindow::ShowStatus(const QString &text, bool error)
{
    SetPaletteColour(Status, QPalette::WindowText, error ? kRed : kBlue);
    Status->setText(text);
}

void StationWindow::WriteCall()
{
    RunHandler(
        [&] {
            const QTime time = QTime::fromString(TimeEdit->text(), QStringLiteral("HH:mm:ss"));
            if (!time.isValid()) {
                ShowStatus(QStringLiteral("時刻を 09:05:00 のように入れてください"), true);
                TimeEdit->setFocus();
                return;
            }
            if (m_station.digit < 0) {
                ShowStatus(QStringLiteral("受付番号が決まっていません（受付の設定...）"), true);
                return;
            }
            const QString line = PendingLine();
            if (line.isEmpty()) {
                ShowStatus(QStringLiteral("クラスを 1-2 のように入れてください"), true);
                ClassBox->setFocus();
                return;
            }
            AppendDataLine(clock().now().date(), m_station.digit, line);
            ClearForm();
            ShowStatus(QStringLiteral("受け付けました"), false);
            ReadBack();
            TimeEdit->setFocus();
        },
        [&](const QString &message) { ShowStatus(ErrorReportText(message), true); });
}

void StationWindow::ClearForm()
{
    m_timeTyped = false;
    for (QLineEdit *edit : {NumberEdit, NameEdit, RemarkEdit})
        edit->clear();
    for (QComboBox *box : {ClassBox, ReasonBox, ContactBox}) {
        box->setCurrentIndex(-1);
        box->setEditText(QString());
    }
    KindButtons.front()->setChecked(true);
    ClockTick();
}

void StationWindow::ReadBack()
{
    RunHandler(
        [&] {
            Lines->clear();
            if (m_station.digit < 0)
                return;
            const QList<QByteArray> lines = ReadStationLines(clock().now().date(), m_station.digit);
            QStringList classes;
            for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
                Lines->addItem(FromCp932(*it));
                const NotificationLine read = NotificationLine::Read(*it);
                const QString cls = read.grade.isEmpty() ? QString() : FromCp932(read.className);
                if (!cls.isEmpty() && !classes.contains(cls))
                    classes << cls;
            }
            // The classes this station wrote, the latest first, to pick from.
            const QString typed = ClassBox->currentText();
            ClassBox->blockSignals(true);
            ClassBox->clear();
            ClassBox->addItems(classes);
            ClassBox->setCurrentIndex(-1);
            ClassBox->setEditText(typed);
            ClassBox->blockSignals(false);
            if (Lines->count() > 0)
                Lines->setCurrentRow(0);
        },
        [&](const QString &message) { ShowStatus(ErrorReportText(message), true); });
}

void StationWindow::TakeBack()
{
    RunHandler(
        [&] {
            QListWidgetItem *item = Lines->currentItem();
            if (!item)
                return;
            const QString line = item->text();
            CentredMessageBox question(this);
            question.setWindowTitle(QStringLiteral("取消"));
            question.setText(QStringLiteral("この行をファイルから取り除きますか？\n%1").arg(line));
            question.setTextFormat(Qt::PlainText);
            QPushButton *yes = question.addButton(QStringLiteral("はい"), QMessageBox::YesRole);
            QPushButton *no = question.addButton(QStringLiteral("いいえ"), QMessageBox::NoRole);
            question.setDefaultButton(no);
            question.setEscapeButton(no);
            question.exec();
            if (question.clickedButton() != yes)
                return;
            TakeBackDataLine(clock().now().date(), m_station.digit, ToCp932(line));
            ShowStatus(QStringLiteral("取り消しました: %1").arg(line), false);
            ReadBack();
        },
        [&](const QString &message) { ShowStatus(ErrorReportText(message), true); });
}

void StationWindow::ClockTick()
{
    if (m_timeTyped)
        return;
    const QString now = clock().now().time().toString(QStringLiteral("HH:mm:ss"));
    if (TimeEdit->text() != now) {
        // Kept where the operator's cursor is, when the field has it.
        const int cursor = TimeEdit->cursorPosition();
        TimeEdit->setText(now);
        TimeEdit->setCursorPosition(cursor);
    }
}

void StationWindow::keyPressEvent(QKeyEvent *event)
{
    // Enter writes the call from any field of the form; the list and the
    // buttons keep it for themselves.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        QWidget *focus = focusWidget();
        if (focus != Lines && !qobject_cast<QPushButton *>(focus)) {
            event->accept();
            WriteCall();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

} // namespace absence::station
