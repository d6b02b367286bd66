// The windowed program: opens on the start window and ends when it closes.

#include <QApplication>

#include "application.h"
#include "screenshot_tour.h"
#include "services.h"
#include "start_window.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    absence::setLocaleSettings(absence::LocaleSettings::fromEnvironment());
    absence::ui::InitialiseApplication();

    TForm_top Form_top;
    Form_top.show();
    absence::ui::StartScreenshotTourIfAsked(Form_top);
    return app.exec();
}
