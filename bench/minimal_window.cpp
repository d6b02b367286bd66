// The yardstick for the program's start: a Qt Widgets program that shows one
// empty window of the start window's size and nothing else. With --label the
// window also shows one line of Japanese text, which is what brings the font
// machinery in.

#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(712, 697);
    if (app.arguments().contains(QStringLiteral("--label"))) {
        auto *label = new QLabel(QStringLiteral("今日の欠席者の集積"), &window);
        QFont font = label->font();
        font.setPixelSize(48);
        label->setFont(font);
    }
    window.show();
    return app.exec();
}
