// The windowed program: opens on the start window and ends when it closes.

#include <QApplication>

#include "application.h"
#include "dialogs.h"
#include "program.h"
#include "services.h"
#include "start_window.h"

int main(int argc, char *argv[])
{
    absence::PrepareProcess();
    QApplication app(argc, argv);
    absence::ui::InitialiseApplication();
    if (!absence::Cp932Available()) {
        // Every name and text would come out empty: stop before any window.
        const QString text = absence::Cp932UnavailableText();
        absence::WriteText(
            absence::Stream::Error,
            (absence::ui::ApplicationTitle() + QStringLiteral(": ") + text + QLatin1Char('\n')).toUtf8());
        absence::ui::ReportError(text);
        return 1;
    }
    absence::setLocaleSettings(absence::LocaleSettings::fromSystem());

    TForm_top Form_top;
    Form_top.show();
    return app.exec();
}
