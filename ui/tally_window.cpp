#include "tally_window.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QPrinter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStringListModel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "absence_list.h"
#include "application.h"
#include "day_files.h"
#include "dialogs.h"
#include "faces.h"
#include "services.h"
#include "widgets.h"

namespace absence::ui {

namespace {

QTableWidget *MakeTable(QWidget *parent, const char *name, const QList<QStringList> &rows)
{
    auto *table = new QTableWidget(parent);
    table->setObjectName(QLatin1String(name));
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setFocusPolicy(Qt::NoFocus);
    table->verticalHeader()->hide();
    if (rows.isEmpty())
        return table;
    table->setColumnCount(int(rows.first().size()));
    table->setHorizontalHeaderLabels(rows.first());
    table->setRowCount(int(rows.size() - 1));
    QFont bold = table->font();
    bold.setBold(true);
    for (int r = 1; r < rows.size(); ++r) {
        for (int c = 0; c < rows[r].size(); ++c) {
            auto *item = new QTableWidgetItem(rows[r][c]);
            item->setTextAlignment(Qt::AlignVCenter | (c == 0 ? Qt::AlignLeft : Qt::AlignRight));
            // The total row stands out.
            if (r + 1 == rows.size())
                item->setFont(bold);
            table->setItem(r - 1, c, item);
        }
    }
    // Each column as wide as its widest text, measured in the fonts it is
    // drawn in (asking every cell for its size hint costs a frame's time);
    // every row one line high. So every class and figure shows at once.
    const QFontMetrics plain(table->font()), strong(bold), head(table->horizontalHeader()->font());
    constexpr int Padding = 12;
    int width = 2 * table->frameWidth();
    for (int c = 0; c < table->columnCount(); ++c) {
        int w = head.horizontalAdvance(rows.first().value(c)) + Padding;
        for (int r = 1; r < rows.size(); ++r)
            w = qMax(w, (r + 1 == rows.size() ? strong : plain).horizontalAdvance(rows[r].value(c)) + Padding);
        table->setColumnWidth(c, w);
        width += w;
    }
    const int rowHeight = strong.height() + 6;
    table->verticalHeader()->setDefaultSectionSize(rowHeight);
    int height = table->horizontalHeader()->sizeHint().height() + 2 * table->frameWidth() +
                 table->rowCount() * rowHeight;
    table->setFixedSize(width, height);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return table;
}

QLabel *MakeTitle(QWidget *parent, const QString &text)
{
    auto *label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

} // namespace

const SheetText &TallyWindow::Sheet()
{
    if (!m_sheet)
        m_sheet = MakeSheetText(m_tally, m_lines);
    return *m_sheet;
}

QString TallyWindow::Caption(const QDate &day)
{
    return QStringLiteral("集計 ") + absence::FromCp932(absence::ShortDateText(day));
}

TallyWindow::TallyWindow(const absence::AbsenceList &list, const QDate &day, QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowCloseButtonHint),
      m_day(day), m_lines(list.Lines()), m_tally(absence::TallyDay(list, day))
{
    setObjectName(QStringLiteral("TallyWindow"));
    setWindowTitle(Caption(day));
    setFont(PixelFont(kGothicFace, 16));
    UseButtonFaceBackground(this);

    KindTable = MakeTable(this, "KindTable", TableText(absence::KindTable(m_tally)));
    SymptomTable = MakeTable(this, "SymptomTable", TableText(absence::SymptomTable(m_tally)));

    QStringList unknown;
    for (const int i : m_tally.unknownLines)
        unknown << absence::FromCp932(m_lines[i]);
    UnknownCaption = MakeTitle(this, QStringLiteral("区分の読めなかった行 (%1)").arg(unknown.size()));
    UnknownLines = new QListView(this);
    UnknownLines->setObjectName(QStringLiteral("UnknownLines"));
    UnknownLines->setModel(new QStringListModel(unknown, UnknownLines));
    UnknownLines->setEditTriggers(QAbstractItemView::NoEditTriggers);
    UnknownLines->setUniformItemSizes(true);
    SetPaletteColour(UnknownLines, QPalette::Text, kNavy);
    UnknownCaption->setBuddy(UnknownLines);

    PrintButton = new QPushButton(QStringLiteral("印刷..."), this);
    PrintButton->setObjectName(QStringLiteral("PrintButton"));
    PdfButton = new QPushButton(QStringLiteral("PDF に保存..."), this);
    PdfButton->setObjectName(QStringLiteral("PdfButton"));
    CloseButton = new QPushButton(QStringLiteral("閉じる"), this);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));
    connect(PrintButton, &QPushButton::clicked, this, &TallyWindow::PrintSheet);
    connect(PdfButton, &QPushButton::clicked, this, &TallyWindow::SaveSheetPdf);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);

    auto *tables = new QHBoxLayout;
    auto *left = new QVBoxLayout;
    left->addWidget(MakeTitle(this, KindTableTitle()));
    left->addWidget(KindTable);
    left->addStretch();
    auto *right = new QVBoxLayout;
    right->addWidget(MakeTitle(this, SymptomTableTitle()));
    right->addWidget(SymptomTable);
    right->addStretch();
    tables->addLayout(left);
    tables->addLayout(right);
    tables->addStretch();
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(PrintButton);
    buttons->addWidget(PdfButton);
    buttons->addStretch();
    buttons->addWidget(CloseButton);
    // The tables scroll only when a day has more classes than the screen
    // has room for.
    auto *inner = new QWidget(this);
    inner->setLayout(tables);
    tables->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(inner);
    const QSize content = inner->sizeHint();
    scroll->setMinimumSize(content.width() + scroll->verticalScrollBar()->sizeHint().width(),
                           qMin(content.height(), 560));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(scroll);
    layout->addWidget(UnknownCaption);
    layout->addWidget(UnknownLines, 1);
    layout->addLayout(buttons);
    CloseButton->setDefault(true);
    CloseButton->setFocus();
    // Room for a few of the lines not understood below the tables.
    UnknownLines->setMinimumHeight(6 * UnknownLines->fontMetrics().height());
    resize(qMax(sizeHint().width(), 800), sizeHint().height());
}

void TallyWindow::PrintSheet()
{
    RunHandler([&] {
        const QString caption = DayCaption(m_day);
        PreviewPages(this, caption, [&](QPrinter *target) { PaintSheetPages(*target, caption, Sheet()); });
    });
}

void TallyWindow::SaveSheetPdf()
{
    RunHandler([&] {
        const auto path = AskPdfPath(this, m_day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral("-集計.pdf"));
        if (path)
            WriteSheetPdf(*path, DayCaption(m_day), Sheet());
    });
}

} // namespace absence::ui
