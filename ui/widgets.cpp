#include "widgets.h"

#include <QCalendarWidget>
#include <QChildEvent>
#include <QHash>
#include <QKeyEvent>
#include <QtMath>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QStyledItemDelegate>
#include <QStylePainter>

#include "absence_list.h"
#include "services.h"

namespace absence::ui {

CaptionButton::CaptionButton(const QString &caption, QWidget *parent) : QPushButton(caption, parent)
{
    // Enter presses the focused button in any window, not only in dialogs.
    setAutoDefault(true);
}

void CaptionButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    // The style draws the bare face; caption, default frame and focus
    // rectangle are drawn here.
    option.text.clear();
    option.icon = QIcon();
    option.features &= ~(QStyleOptionButton::DefaultButton | QStyleOptionButton::AutoDefaultButton);
    option.state &= ~QStyle::State_HasFocus;
    painter.drawControl(QStyle::CE_PushButtonBevel, option);

    QRect captionRect = rect();
    if (isDown())
        captionRect.translate(1, 1);
    painter.setFont(font());
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(captionRect, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic, text());

    painter.setBrush(Qt::NoBrush);
    if (window()->focusWidget() == this) {
        painter.setPen(QPen(QColor(0, 0, 0), 1));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    if (hasFocus()) {
        painter.setPen(QPen(QColor(0, 0, 0), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(4, 4, -5, -5));
    }
}

void CaptionButton::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))) {
        event->ignore();
        return;
    }
    QPushButton::keyPressEvent(event);
}

bool DatePicker::focusNextPrevChild(bool next)
{
    return QWidget::focusNextPrevChild(next);
}

void DatePicker::SetCalendarFont(const QFont &font)
{
    m_calendarFont = font;
}

void DatePicker::childEvent(QChildEvent *event)
{
    QDateEdit::childEvent(event);
    // The drop-down is polished before it is first shown.
    if (event->polished() && m_calendarFont) {
        if (auto *calendar = event->child()->findChild<QCalendarWidget *>())
            calendar->setFont(*m_calendarFont);
    }
}

namespace {

// Every line is as wide as the list's horizontal extent (at least one pixel,
// so that the view keeps the row) and one font line high. The view stretches
// the drawn row to its visible width when that is wider.
class LineDelegate : public QStyledItemDelegate {
public:
    explicit LineDelegate(AbsenceListView *view) : QStyledItemDelegate(view), m_view(view) { }

    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        return QSize(qMax(1, m_view->horizontalExtent()), m_view->lineHeight());
    }

private:
    AbsenceListView *m_view;
};

} // namespace

AbsenceListView::AbsenceListView(QWidget *parent) : QListView(parent), m_items(new absence::AbsenceList(this))
{
    setItemDelegate(new LineDelegate(this));
    setUniformItemSizes(true);
    setTextElideMode(Qt::ElideNone);
    setWordWrap(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setModel(m_items);
}

void AbsenceListView::setHorizontalExtent(int pixels)
{
    m_extent = qMax(0, pixels);
    // The row size is cached; a fresh layout picks the new width up.
    doItemsLayout();
}

int AbsenceListView::lineHeight() const
{
    return fontMetrics().height();
}

int WidestLineWidth(const QFont &font, const absence::AbsenceList &lines)
{
    // A line's width is the sum of its characters' advances, as the classic
    // desktop's text extent counts it. Shaping each line of a long list whole
    // would cost more than all the rest of opening the window; the sum agrees
    // with it to within a pixel, well inside the 10 pixels of slack.
    const QFontMetricsF metrics(font);
    QHash<char16_t, qreal> advances;
    qreal widest = 0;
    for (int i = 0, n = lines.Count(); i < n; ++i) {
        const QByteArrayView line = lines.View(i);
        qreal width = 0;
        for (QChar c : absence::FromCp932(QByteArray::fromRawData(line.data(), line.size()))) {
            auto known = advances.constFind(c.unicode());
            if (known == advances.constEnd())
                known = advances.insert(c.unicode(), metrics.horizontalAdvance(c));
            width += *known;
        }
        widest = qMax(widest, width);
    }
    return qCeil(widest);
}

void NameAfterCaption(QWidget *control, QLabel *caption)
{
    // The buddy gives assistive tools the labelled-by relation; the name is
    // set as well, since not every control reads it off its buddy.
    caption->setBuddy(control);
    control->setAccessibleName(caption->text().trimmed());
}

void SetAutoSizedText(QLabel *label, const QString &text)
{
    label->setText(text);
    label->resize(label->sizeHint());
}

void SetPaletteColour(QWidget *widget, QPalette::ColorRole role, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

void UseButtonFaceBackground(QWidget *window)
{
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    window->setPalette(palette);
    window->setAutoFillBackground(true);
}

namespace {

QLabel *MakeTextLabel(QWidget *parent, const char *name, QPoint pos, const QString &text, const QFont &font,
                      const QColor &colour)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setIndent(0);
    label->setMargin(0);
    label->setFocusPolicy(Qt::NoFocus);
    label->setFont(font);
    SetPaletteColour(label, QPalette::WindowText, colour);
    label->move(pos);
    SetAutoSizedText(label, text);
    return label;
}

} // namespace

QLabel *MakeLabel(QWidget *parent, const char *name, QPoint pos, const QString &text, const QFont &font,
                  const QColor &colour)
{
    return MakeTextLabel(parent, name, pos, text, font, colour);
}

QLabel *MakeSunkenCaption(QWidget *parent, const char *name, QPoint pos, const QString &text, const QFont &font,
                          const QColor &colour, std::optional<QColor> background)
{
    QLabel *caption = MakeTextLabel(parent, name, pos, QString(), font, colour);
    caption->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    caption->setLineWidth(1);
    caption->setMargin(1); // keeps the text off the sunken edge
    caption->setAutoFillBackground(true);
    if (background)
        SetPaletteColour(caption, QPalette::Window, *background);
    SetAutoSizedText(caption, text);
    return caption;
}

CaptionButton *MakeButton(QWidget *parent, const char *name, const QRect &geometry, const QString &caption,
                          const QFont &font, const QColor &colour, const QString &hint)
{
    auto *button = new CaptionButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setFont(font);
    SetPaletteColour(button, QPalette::ButtonText, colour);
    button->setGeometry(geometry);
    button->setToolTip(hint);
    return button;
}

} // namespace absence::ui
