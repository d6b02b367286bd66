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
    const QMarginsF margins(kMarginMillimetres, kMarginMillimetres, kMarginMillimetres,
                            kMarginMillimetres);
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, margins, QPageLayout::Millimeter);
}

QString PageNumberText(int page, int count)
{
    return QStringLiteral("%1 / %2 ページ").arg(page).arg(count);
}

bool PaintListPages(QPagedPaintDevice &device, const QString &caption, const QStringList &lines)
{
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    QFont face(kGothicFace);
    face.setPointSizeF(kTextPoints);
    const QFont font(face, &device);
    const QFontMetricsF metrics(font, &device);
    const qreal point = device.logicalDpiY() / 72.0;
    const qreal lineSpacing = metrics.lineSpacing();
    const qreal width = device.width();
    const qreal indent = kHangingIndentEms * metrics.height();
    const qreal ruleY = lineSpacing + 2 * point;
    const qreal bodyTop = ruleY + kHeaderGapPoints * point;
    const qreal bodyHeight = qMax(lineSpacing, device.height() - bodyTop);

    // Where every piece goes: an entry stays on one page when it fits on
    // one, and is wrapped where it is wider than the page (between words,
    // between Japanese characters, or anywhere in a word longer than a line).
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    std::vector<PlacedLine> placed;
    placed.reserve(size_t(lines.size()));
    int page = 0;
    qreal y = 0;
    for (int entry = 0; entry < lines.size(); ++entry) {
        QTextLayout layout(lines[entry], font, &device);
        layout.setTextOption(option);
        std::vector<std::pair<int, int>> pieces;
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(pieces.empty() ? width : width - indent);
            pieces.emplace_back(line.textStart(), line.textLength());
        }
        layout.endLayout();
        if (pieces.empty())
            pieces.emplace_back(0, 0); // an empty entry keeps its line
        const qreal height = qreal(pieces.size()) * lineSpacing;
        if (y > 0 && y + height > bodyHeight && height <= bodyHeight) {
            ++page;
            y = 0;
        }
        for (const auto &[start, length] : pieces) {
            if (y > 0 && y + lineSpacing > bodyHeight) {
                ++page;
                y = 0;
            }
            placed.push_back({entry, start, length, page, start > 0 ? indent : 0, y});
            y += lineSpacing;
        }
    }

    const int count = page + 1;
    auto next = placed.cbegin();
    for (int p = 0; p < count; ++p) {
        if (p > 0 && !device.newPage())
            return false;
        painter.setFont(font);
        painter.setPen(QPen(Qt::black, kRulePoints * point));
        const QRectF header(0, 0, width, lineSpacing);
        painter.drawText(header, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, caption);
        painter.drawText(header, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
                         PageNumberText(p + 1, count));
        painter.drawLine(QPointF(0, ruleY), QPointF(width, ruleY));
        for (; next != placed.cend() && next->page == p; ++next) {
            painter.drawText(QPointF(next->x, bodyTop + next->y + metrics.ascent()),
                             lines[next->entry].mid(next->start, next->length));
        }
    }
    return painter.end();
}

void WriteListPdf(const QString &path, const QString &caption, const QStringList &lines)
{
    // Drawn in memory, then written as the record is: the folder may be one
    // that stations write, and a link planted there must not be followed.
    QByteArray pdf;
    bool painted = false;
    {
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setPageLayout(ListPageLayout());
        writer.setTitle(caption);
        writer.setCreator(QStringLiteral("欠席連絡集積"));
        painted = PaintListPages(writer, caption, lines);
    }
    if (!painted)
        throw absence::WriteError();
    absence::WriteOutputFile(path, pdf);
}

} // namespace absence::ui
