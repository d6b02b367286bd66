// Every control of both windows against the table of captions, fonts,
// colours, places and hints; the windows' own frame, size and placement.

#include <QAccessible>
#include <QApplication>
#include <QDateEdit>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTimer>
#include <optional>

#include "absence_list.h"
#include "application.h"
#include "collection_window.h"
#include "start_window.h"
#include "ui_test_support.h"
#include "widgets.h"

using namespace absence::ui;

namespace {

enum class Kind { Label, Caption, Button, Edit, Picker, List };

struct Control {
    const char *name;
    Kind kind;
    QRect place; // for labels and captions: the size their text had at design
    const char *text;
    QString face;
    int pixels;
    bool bold;
    QColor colour;
    std::optional<QColor> background; // captions with a colour of their own
    QString hint;
    // What a screen reader says on reaching a control named after a caption.
    const char *spokenName = nullptr;
};

const QString kWindowHint = QStringLiteral("欠席ファイルの集積を行います！");

const QColor kWindowText = QColor(0, 0, 0);

const std::vector<Control> kStartWindow = {
    {"Label1", Kind::Label, {40, 32, 441, 48}, "今日の欠席者の集積", kRoundGothicFace, 48, true, kNavy, {}, kWindowHint},
    {"Label2", Kind::Label, {160, 96, 118, 33}, "Label2", kRoundGothicFace, 32, true, kGreen, {}, kWindowHint},
    {"StaticText1", Kind::Caption, {32, 96, 97, 33}, " 本 日 ", kRoundGothicFace, 29, true, kGreen, {}, kWindowHint},
    {"StaticText2", Kind::Caption, {32, 168, 94, 33}, "設定日", kRoundGothicFace, 29, true, kRed, {}, kWindowHint},
    {"DateTimePicker1", Kind::Picker, {160, 168, 313, 45}, "2026/12/08", kRoundGothicFace, 37, false, kBlack, {}, QStringLiteral("連絡日を設定します"), "設定日"},
    {"BitBtn1", Kind::Button, {504, 168, 137, 49}, "   集積実行　 ", kRoundGothicFace, 29, true, kRed, {}, QStringLiteral("連絡事項を閲覧記入します")},
    {"BitBtn2", Kind::Button, {528, 40, 105, 41}, "　終　了　", kTextbookFace, 32, true, kMaroon, {}, QStringLiteral("プログラムを終了します")},
    {"StaticText3", Kind::Caption, {128, 608, 0, 31}, nullptr, kRoundGothicFace, 27, true, kTeal, {}, kWindowHint},
};

const std::vector<Control> kCollectionWindow = {
    {"StaticText1", Kind::Caption, {32, 16, 322, 41}, " 今日の欠席者集積 ", kGothicFace, 37, false, kTeal, kActiveBorderColour, {}},
    {"StaticText2", Kind::Caption, {368, 24, 114, 33}, " 実行日 ", kGothicFace, 29, true, kBlue, kScrollBarColour, {}},
    {"Edit1", Kind::Edit, {488, 24, 313, 35}, "", kRoundGothicFace, 27, false, kRed, {}, {}, "実行日"},
    {"Label1", Kind::Label, {168, 72, 93, 33}, "Label1", kGothicFace, 32, true, kGreen, {}, {}},
    {"BitBtn1", Kind::Button, {824, 24, 105, 41}, "　保　存　", kGothicFace, 27, false, kRed, {}, QStringLiteral("ファイルを保存します")},
    {"BitBtn3", Kind::Button, {824, 80, 105, 41}, "終　了", kGothicFace, 24, false, kWindowText, {}, QStringLiteral("集積実行を終わります")},
    {"BitBtn2", Kind::Button, {520, 88, 249, 33}, "欠席ファイル集積", kRoundGothicFace, 27, true, kTeal, {}, QStringLiteral("欠席データファイルを集積します")},
    {"BitBtn4", Kind::Button, {176, 110, 90, 30}, "時刻順", kGothicFace, 21, true, kBlue, {}, QStringLiteral("時刻順に並べ替えます！")},
    {"BitBtn5", Kind::Button, {352, 110, 90, 30}, "クラス順", kGothicFace, 21, true, kMaroon, {}, QStringLiteral("クラス順に並べ替えます！")},
    {"ListBox1", Kind::List, {16, 144, 985, 585}, nullptr, kGothicFace, 19, false, kNavy, {}, {}, "今日の欠席者集積"},
};

QString InstalledFace(const QString &face)
{
    if (face == kGothicFace)
        return kGothicSubstitute;
    if (face == kRoundGothicFace)
        return kRoundGothicSubstitute;
    return kTextbookSubstitute;
}

QString TextOf(QWidget *widget)
{
    if (auto *label = qobject_cast<QLabel *>(widget))
        return label->text();
    if (auto *button = qobject_cast<QPushButton *>(widget))
        return button->text();
    if (auto *picker = qobject_cast<QDateEdit *>(widget))
        return picker->text();
    if (auto *edit = qobject_cast<QLineEdit *>(widget))
        return edit->text();
    return QString();
}

QPalette::ColorRole ForegroundRole(Kind kind)
{
    switch (kind) {
    case Kind::Label:
    case Kind::Caption:
        return QPalette::WindowText;
    case Kind::Button:
        return QPalette::ButtonText;
    default:
        return QPalette::Text;
    }
}

void CheckControls(QWidget *window, const std::vector<Control> &table)
{
    for (const Control &c : table) {
        SCOPED_TRACE(c.name);
        auto *widget = window->findChild<QWidget *>(QLatin1String(c.name), Qt::FindDirectChildrenOnly);
        ASSERT_NE(widget, nullptr);

        if (c.text) {
            EXPECT_EQ(TextOf(widget), QString::fromUtf8(c.text));
        }

        const QFont font = widget->font();
        EXPECT_EQ(font.family(), c.face);
        EXPECT_EQ(font.pixelSize(), c.pixels);
        EXPECT_EQ(font.bold(), c.bold);
        // Qt's offscreen platform on Windows lists no fonts at all: no face,
        // and text sized by a stand-in.
        const bool faces = !QFontDatabase::families().isEmpty();
        if (faces) {
            EXPECT_EQ(QFontInfo(font).family(), InstalledFace(c.face)) << "the face is not installed";
        }
        EXPECT_EQ(widget->palette().color(ForegroundRole(c.kind)), c.colour);

        EXPECT_EQ(widget->pos(), c.place.topLeft());
        if (c.kind == Kind::Label || c.kind == Kind::Caption) {
            // Sized to the text: here and as designed, within the difference
            // between the designed faces and the installed ones.
            auto *label = qobject_cast<QLabel *>(widget);
            EXPECT_EQ(widget->size(), label->sizeHint());
            if (faces && c.place.width() > 0) { // 0: a text of this program's own
                EXPECT_NEAR(widget->width(), c.place.width(), c.place.width() * 0.2);
            }
            if (faces) {
                EXPECT_NEAR(widget->height(), c.place.height(), c.place.height() * 0.2);
            }
            EXPECT_EQ(widget->focusPolicy(), Qt::NoFocus);
        } else if (c.kind == Kind::Edit) {
            EXPECT_EQ(widget->width(), c.place.width());
            EXPECT_NEAR(widget->height(), c.place.height(), 6);
        } else {
            EXPECT_EQ(widget->size(), c.place.size());
        }

        if (c.kind == Kind::Caption) {
            auto *caption = qobject_cast<QLabel *>(widget);
            EXPECT_EQ(caption->frameStyle(), QFrame::Panel | QFrame::Sunken);
            EXPECT_TRUE(caption->autoFillBackground());
            const QColor background = c.background.value_or(window->palette().color(QPalette::Window));
            EXPECT_EQ(caption->palette().color(QPalette::Window), background);
        }
        EXPECT_EQ(widget->toolTip(), c.hint);

        // Buttons are named by their captions, the others after theirs; the
        // hint is the description.
        if (widget->focusPolicy() != Qt::NoFocus) {
            QAccessibleInterface *spoken = QAccessible::queryAccessibleInterface(widget);
            ASSERT_NE(spoken, nullptr);
            EXPECT_EQ(spoken->text(QAccessible::Name),
                      QString::fromUtf8(c.spokenName ? c.spokenName : c.text));
            EXPECT_EQ(spoken->text(QAccessible::Description), c.hint);
        }
    }
}

void CheckWindowFrame(QWidget *window, const QString &title, QSize size)
{
    EXPECT_EQ(window->windowTitle(), title);
    EXPECT_EQ(window->size(), size);
    EXPECT_EQ(window->font().family(), kGothicFace);
    EXPECT_EQ(window->font().pixelSize(), 12);
    EXPECT_EQ(window->palette().color(QPalette::Window), window->palette().color(QPalette::Button));
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_FALSE(window->windowIcon().isNull());
}

class LayoutTest : public testsupport::UiTest {};

TEST_F(LayoutTest, StartWindowControls)
{
    TForm_top top;
    CheckWindowFrame(&top, QStringLiteral("欠席連絡集積"), {712, 697});
    EXPECT_EQ(top.pos(), QPoint(99, 47));
    EXPECT_EQ(top.toolTip(), kWindowHint);
    CheckControls(&top, kStartWindow);
    EXPECT_TRUE(top.StaticText3->text().contains(QStringLiteral("1.3")));
    EXPECT_TRUE(top.DateTimePicker1->calendarPopup());
}

TEST_F(LayoutTest, CollectionWindowControls)
{
    TForm_top top;
    TForm1 form(&top);
    CheckWindowFrame(&form, QStringLiteral("欠席者集積実行"), {1024, 792});
    EXPECT_TRUE(form.toolTip().isEmpty());
    CheckControls(&form, kCollectionWindow);
    // One font line per list line.
    form.Items().Add("x");
    EXPECT_EQ(form.ListBox1->sizeHintForRow(0), QFontMetrics(form.ListBox1->font()).height());
}

TEST(ApplicationTitle, FileNameCutAtFirstDotRestLowerCase)
{
    EXPECT_EQ(ApplicationTitleFor(QStringLiteral("/usr/bin/absence-collector")),
              QStringLiteral("absence-collector"));
    EXPECT_EQ(ApplicationTitleFor(QStringLiteral("/opt/a.b/ABSENCE.Collector.EXE")),
              QStringLiteral("Absence"));
    EXPECT_EQ(ApplicationTitleFor(QStringLiteral("Project1.exe")), QStringLiteral("Project1"));
}

TEST(WindowPlacement, CentredAndClampedAtZero)
{
    EXPECT_EQ(CentredPosition({1024, 792}, {0, 0, 1920, 1080}), QPoint(448, 144));
    EXPECT_EQ(CentredPosition({1024, 792}, {0, 0, 800, 600}), QPoint(0, 0));
    EXPECT_EQ(CentredPosition({1024, 500}, {0, 0, 800, 600}), QPoint(0, 50));
}

} // namespace
