#include "list_pages.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QTextLayout>
#include <vector>

#include "absence_list.h"
#include "day_files.h"
#include "day_tally.h"
#include "errors.h"
#include "faces.h"
#include "output_file.h"
#include "services.h"

namespace absence::ui {

namespace {

// The usual size of a Japanese document's text; the header is as large.
constexpr qreal kTextPoints = 10.5;
// Between the header's rule and the first line.
constexpr qreal kHeaderGapPoints = 8;
constexpr qreal kRulePoints = 0.5;
// The paper's margins, all round.
constexpr qreal kMarginMillimetres = 15;

// How far the pieces after an entry's first stand in, so that a wrapped
// entry reads as one.
constexpr qreal kHangingIndentEms = 1;

// One printed line: a piece of an entry that fits the width.
struct PlacedLine {
    int entry;
    int start;
    int length;
    int page;
    qreal x;
    qreal y; // from the top of the page's body
};

} // namespace

QString DayCaption(const QDate &day)
{
    return QStringLiteral("設定日：") + absence::FromCp932(absence::ShortDateText(day));
}

QStringList ListText(const absence::AbsenceList &list)
{
    QStringList lines;
    lines.reserve(list.Count());
    for (int i = 0, n = list.Count(); i < n; ++i) {
        const QByteArrayView line = list.View(i);
        lines.append(absence::FromCp932(QByteArray::fromRawData(line.data(), line.size())));
    }
    return lines;
}

QPageLayout ListPageLayout()
{
    const QMarginsF margins(kMarginMillimetres, kMarginMillimetres, kMarginMillimetres, kMarginMillimetres);
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, margins, QPageLayout::Millimeter);
}

QString PageNumberText(int page, int count)
{
    return QStringLiteral("%1 / %2 ページ").arg(page).arg(count);
}

QString KindTableTitle()
{
    return QStringLiteral("区分別");
}

QString SymptomTableTitle()
{
    return QStringLiteral("欠席者の症状別");
}

QList<QStringList> TableText(const absence::Table &table)
{
    QList<QStringList> rows;
    for (const QList<QByteArray> &row : table) {
        QStringList cells;
        for (const QByteArray &cell : row)
            cells << absence::FromCp932(cell);
        rows << cells;
    }
    return rows;
}

SheetText MakeSheetText(const absence::DayTally &tally, const QList<QByteArray> &lines)
{
    SheetText sheet;
    sheet.kindTable = TableText(absence::KindTable(tally));
    sheet.symptomTable = TableText(absence::SymptomTable(tally));
    for (const absence::ClassTally &c : tally.classes) {
        SheetText::Section section;
        // The class, its total and the kinds it has: "2-3　計 3（欠席 2、遅刻 1）".
        QStringList kinds;
        for (int k = 0; k < absence::NotificationKindCount; ++k) {
            if (c.kinds[k] > 0)
                kinds << QStringLiteral("%1 %2")
                             .arg(absence::FromCp932(absence::KindText(absence::NotificationKind(k))))
                             .arg(c.kinds[k]);
        }
        section.heading = QStringLiteral("%1　計 %2（%3）")
                              .arg(absence::FromCp932(c.className))
                              .arg(c.lines)
                              .arg(kinds.join(QStringLiteral("、")));
        for (const int i : c.lineIndexes)
            section.lines << absence::FromCp932(lines[i]);
        sheet.sections << section;
    }
    return sheet;
}

namespace {

// The measures of a page of the device, the same for the list and the sheet.
struct PageFrame {
    QFont font, bold;
    QFontMetricsF metrics;
    qreal point, lineSpacing, width, indent, ruleY, bodyTop, bodyHeight;

    static QFont textFont(QPagedPaintDevice &device, bool isBold)
    {
        QFont face(kGothicFace);
        face.setPointSizeF(kTextPoints);
        face.setBold(isBold);
        return QFont(face, &device);
    }

    explicit PageFrame(QPagedPaintDevice &device)
        : font(textFont(device, false)), bold(textFont(device, true)), metrics(font, &device),
          point(device.logicalDpiY() / 72.0), lineSpacing(metrics.lineSpacing()), width(device.width()),
          indent(kHangingIndentEms * metrics.height()), ruleY(lineSpacing + 2 * point),
          bodyTop(ruleY + kHeaderGapPoints * point), bodyHeight(qMax(lineSpacing, device.height() - bodyTop))
    {
    }
};

// The pieces of an entry that fit the width: wrapped where it is wider than
// the page (between words, between Japanese characters, or anywhere in a
// word longer than a line), the pieces after the first indented.
std::vector<std::pair<int, int>> Wrapped(const QString &text, const PageFrame &frame, QPaintDevice *device)
{
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    QTextLayout layout(text, frame.font, device);
    layout.setTextOption(option);
    std::vector<std::pair<int, int>> pieces;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(pieces.empty() ? frame.width : frame.width - frame.indent);
        pieces.emplace_back(line.textStart(), line.textLength());
    }
    layout.endLayout();
    if (pieces.empty())
        pieces.emplace_back(0, 0); // an empty entry keeps its line
    return pieces;
}

// Places the pieces of entry `entry` from (page, y): on one page when they
// fit on one.
void PlaceEntry(std::vector<PlacedLine> &placed, int entry, const std::vector<std::pair<int, int>> &pieces,
                const PageFrame &frame, int &page, qreal &y)
{
    const qreal height = qreal(pieces.size()) * frame.lineSpacing;
    if (y > 0 && y + height > frame.bodyHeight && height <= frame.bodyHeight) {
        ++page;
        y = 0;
    }
    for (const auto &[start, length] : pieces) {
        if (y > 0 && y + frame.lineSpacing > frame.bodyHeight) {
            ++page;
            y = 0;
        }
        placed.push_back({entry, start, length, page, start > 0 ? frame.indent : 0, y});
        y += frame.lineSpacing;
    }
}

// The day on the left, the page's number of the count on the right, a rule.
void PaintHeader(QPainter &painter, const PageFrame &frame, const QString &caption, int page, int count)
{
    painter.setFont(frame.font);
    painter.setPen(QPen(Qt::black, kRulePoints * frame.point));
    const QRectF header(0, 0, frame.width, frame.lineSpacing);
    painter.drawText(header, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, caption);
    painter.drawText(header, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, PageNumberText(page + 1, count));
    painter.drawLine(QPointF(0, frame.ruleY), QPointF(frame.width, frame.ruleY));
}

// Paints `count` pages, each with its header and then, by `paint`, the
// pieces placed on it (`placed` is in page order); ends the painter.
template <typename Placed, typename Paint>
bool PaintPlaced(QPagedPaintDevice &device, QPainter &painter, const PageFrame &frame, const QString &caption,
                 int count, const std::vector<Placed> &placed, Paint paint)
{
    auto next = placed.cbegin();
    for (int p = 0; p < count; ++p) {
        if (p > 0 && !device.newPage())
            return false;
        PaintHeader(painter, frame, caption, p, count);
        for (; next != placed.cend() && next->page == p; ++next)
            paint(*next);
    }
    return painter.end();
}

// The pages `paint` draws as a PDF file, A4 portrait. Drawn in memory, then
// written as the record is: the folder may be one that stations write, and a
// link planted there must not be followed.
template <typename Paint>
void WritePdf(const QString &path, const QString &caption, Paint paint)
{
    QByteArray pdf;
    bool painted = false;
    {
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setPageLayout(ListPageLayout());
        writer.setTitle(caption);
        writer.setCreator(QStringLiteral("欠席連絡集積"));
        painted = paint(writer);
    }
    if (!painted)
        throw absence::WriteError();
    absence::WriteOutputFile(path, pdf);
}

} // namespace

bool PaintListPages(QPagedPaintDevice &device, const QString &caption, const QStringList &lines)
{
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    const PageFrame frame(device);
    std::vector<PlacedLine> placed;
    placed.reserve(size_t(lines.size()));
    int page = 0;
    qreal y = 0;
    for (int entry = 0; entry < lines.size(); ++entry)
        PlaceEntry(placed, entry, Wrapped(lines[entry], frame, &device), frame, page, y);

    return PaintPlaced(device, painter, frame, caption, page + 1, placed, [&](const PlacedLine &piece) {
        painter.drawText(QPointF(piece.x, frame.bodyTop + piece.y + frame.metrics.ascent()),
                         lines[piece.entry].mid(piece.start, piece.length));
    });
}

void WriteListPdf(const QString &path, const QString &caption, const QStringList &lines)
{
    WritePdf(path, caption, [&](QPagedPaintDevice &device) { return PaintListPages(device, caption, lines); });
}

} // namespace absence::ui

namespace absence::ui {

namespace {

// Room around a table cell's text, in points.
constexpr qreal kCellPaddingPoints = 4;

// One placed piece of the sheet.
struct SheetPlaced {
    enum Kind { Title, Row, Heading, Piece } kind;
    int page;
    qreal y;
    int table = 0; // Title, Row: 0 the kinds, 1 the symptoms
    int row = 0; // Row
    int section = 0; // Heading, Piece
    PlacedLine piece{};
};

} // namespace

bool PaintSheetPages(QPagedPaintDevice &device, const QString &caption, const SheetText &sheet)
{
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    const PageFrame frame(device);
    const QFontMetricsF boldMetrics(frame.bold, &device);
    const qreal rowHeight = frame.lineSpacing * 1.3;
    const qreal padding = kCellPaddingPoints * frame.point;
    const QList<QStringList> *tables[] = {&sheet.kindTable, &sheet.symptomTable};
    const QString titles[] = {KindTableTitle(), SymptomTableTitle()};

    // Each column as wide as its widest cell (bold in the header and the
    // total), so that no figure is cut.
    std::vector<qreal> widths[2];
    for (int t = 0; t < 2; ++t) {
        const QList<QStringList> &rows = *tables[t];
        for (qsizetype r = 0; r < rows.size(); ++r) {
            const bool isBold = r == 0 || r + 1 == rows.size();
            for (qsizetype c = 0; c < rows[r].size(); ++c) {
                if (size_t(c) >= widths[t].size())
                    widths[t].resize(size_t(c) + 1, 0);
                const qreal w = (isBold ? boldMetrics : frame.metrics).horizontalAdvance(rows[r][c]) + 2 * padding;
                widths[t][size_t(c)] = qMax(widths[t][size_t(c)], w);
            }
        }
    }

    std::vector<SheetPlaced> placed;
    int page = 0;
    qreal y = 0;
    const auto room = [&](qreal height) {
        if (y > 0 && y + height > frame.bodyHeight) {
            ++page;
            y = 0;
        }
    };
    for (int t = 0; t < 2; ++t) {
        // The title with the header and the first row.
        room(frame.lineSpacing + 2 * rowHeight);
        placed.push_back({SheetPlaced::Title, page, y, t});
        y += frame.lineSpacing;
        for (int r = 0; r < tables[t]->size(); ++r) {
            room(rowHeight);
            placed.push_back({SheetPlaced::Row, page, y, t, r});
            y += rowHeight;
        }
        y += frame.lineSpacing;
    }
    // The classes from the next page on.
    if (!sheet.sections.isEmpty()) {
        ++page;
        y = 0;
    }
    std::vector<PlacedLine> pieces;
    for (int s = 0; s < sheet.sections.size(); ++s) {
        const SheetText::Section &section = sheet.sections[s];
        if (s > 0)
            y += frame.lineSpacing / 2;
        room(2 * frame.lineSpacing);
        placed.push_back({SheetPlaced::Heading, page, y, 0, 0, s});
        y += frame.lineSpacing;
        for (int e = 0; e < section.lines.size(); ++e) {
            pieces.clear();
            PlaceEntry(pieces, e, Wrapped(section.lines[e], frame, &device), frame, page, y);
            for (const PlacedLine &piece : pieces)
                placed.push_back({SheetPlaced::Piece, piece.page, piece.y, 0, 0, s, piece});
        }
    }

    return PaintPlaced(device, painter, frame, caption, page + 1, placed, [&](const SheetPlaced &item) {
        const qreal top = frame.bodyTop + item.y;
        switch (item.kind) {
        case SheetPlaced::Title:
            painter.setFont(frame.bold);
            painter.drawText(QPointF(0, top + frame.metrics.ascent()), titles[item.table]);
            break;
        case SheetPlaced::Heading:
            painter.setFont(frame.bold);
            painter.drawText(QPointF(0, top + frame.metrics.ascent()), sheet.sections[item.section].heading);
            break;
        case SheetPlaced::Piece: {
            painter.setFont(frame.font);
            const QString &line = sheet.sections[item.section].lines[item.piece.entry];
            painter.drawText(QPointF(item.piece.x, top + frame.metrics.ascent()),
                             line.mid(item.piece.start, item.piece.length));
            break;
        }
        case SheetPlaced::Row: {
            const QList<QStringList> &rows = *tables[item.table];
            const QStringList &cells = rows[item.row];
            const bool isBold = item.row == 0 || item.row + 1 == rows.size();
            painter.setFont(isBold ? frame.bold : frame.font);
            qreal x = 0;
            for (qsizetype c = 0; c < cells.size(); ++c) {
                const qreal w = widths[item.table][size_t(c)];
                const QRectF cell(x, top, w, rowHeight);
                if (item.row == 0)
                    painter.fillRect(cell, QColor(230, 230, 230));
                painter.drawRect(cell);
                const Qt::Alignment align = item.row == 0 ? Qt::AlignHCenter : c == 0 ? Qt::AlignLeft : Qt::AlignRight;
                painter.drawText(cell.adjusted(padding, 0, -padding, 0), align | Qt::AlignVCenter | Qt::TextSingleLine,
                                 cells[c]);
                x += w;
            }
            break;
        }
        }
    });
}

void WriteSheetPdf(const QString &path, const QString &caption, const SheetText &sheet)
{
    WritePdf(path, caption, [&](QPagedPaintDevice &device) { return PaintSheetPages(device, caption, sheet); });
}

} // namespace absence::ui
