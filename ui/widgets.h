#pragma once
// The kinds of control both windows are built from.

#include "absence_list.h"

#include <QColor>
#include <QDateEdit>
#include <QFont>
#include <QList>
#include <QByteArray>
#include <QLabel>
#include <QListView>
#include <QPoint>
#include <QPushButton>
#include <QRect>
#include <optional>

namespace absence {
class AbsenceList;
}

namespace absence::ui {

// A button that draws only its caption, centred, in its own font and colour.
// The button Enter would press (the window's focus button) has a thin dark
// frame; while it has the focus it also shows a dotted focus rectangle.
// Enter presses it, but not with Shift, Ctrl or Alt held.
class CaptionButton : public QPushButton {
    Q_OBJECT
public:
    explicit CaptionButton(const QString &caption, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};

// The list box of the collection window. Its model is the absence list
// itself. Lines are one font line high and are never elided; the horizontal
// scroll range follows the extent set with setHorizontalExtent, not the
// lines, so a horizontal scroll bar shows only when the extent exceeds the
// visible width.
class AbsenceListView : public QListView {
    Q_OBJECT
public:
    explicit AbsenceListView(QWidget *parent = nullptr);

    absence::AbsenceList &Items() const { return *m_items; }

    int horizontalExtent() const { return m_extent; }
    void setHorizontalExtent(int pixels);
    int lineHeight() const;

private:
    absence::AbsenceList *m_items;
    int m_extent = 0;
};

// A drop-down date picker. Tab leaves it, as it leaves any other control,
// instead of stepping through its year, month and day fields (the arrow keys
// and the calendar change them).
class DatePicker : public QDateEdit {
    Q_OBJECT
public:
    using QDateEdit::QDateEdit;

    // The font of the drop-down month calendar, given to it when it is first
    // made (on the first drop-down): making it with the window would load
    // every image plugin for its arrows before the window is shown.
    void SetCalendarFont(const QFont &font);

protected:
    bool focusNextPrevChild(bool next) override;
    void childEvent(QChildEvent *event) override;

private:
    std::optional<QFont> m_calendarFont;
};

// The pixel width of the widest of the lines (code page 932) in the font;
// 0 when there are none.
int WidestLineWidth(const QFont &font, const absence::AbsenceList &lines);

// A label at `pos` that takes the size of its text.
QLabel *MakeLabel(QWidget *parent, const char *name, QPoint pos, const QString &text, const QFont &font,
                  const QColor &colour);

// A sunken caption at `pos` that takes the size of its text; without a
// background colour of its own it shows the window's.
QLabel *MakeSunkenCaption(QWidget *parent, const char *name, QPoint pos, const QString &text, const QFont &font,
                          const QColor &colour, std::optional<QColor> background = std::nullopt);

// A caption-only button with its place, font, colour and hint.
CaptionButton *MakeButton(QWidget *parent, const char *name, const QRect &geometry, const QString &caption,
                          const QFont &font, const QColor &colour, const QString &hint);

// Names `control` for screen readers after the caption that stands for it:
// the caption's text without its blanks, and the caption as its label.
void NameAfterCaption(QWidget *control, QLabel *caption);

// Sets a label's text and resizes it to the text, keeping its top-left corner.
void SetAutoSizedText(QLabel *label, const QString &text);

// Sets one colour role of a widget's palette.
void SetPaletteColour(QWidget *widget, QPalette::ColorRole role, const QColor &colour);

// Gives a window the desktop's button-face colour as its background.
void UseButtonFaceBackground(QWidget *window);

} // namespace absence::ui
