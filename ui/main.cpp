// The windowed program: opens on the start window and ends when it closes.

#include <QApplication>

#include "application.h"
#include "dialogs.h"
#include "platform/platform.h"
#include "services.h"
#include "start_window.h"


int main(int argc, char *argv[])
{
    absence::platform::PrepareProcess();
    QApplication app(argc, argv);
    absence::ui::InitialiseApplication();
    if (!absence::Cp932Available()) {
        // Every name and text would come out empty: stop before any window.
        const QString text = QStringLiteral("コードページ 932 (Shift_JIS) の変換が使えません。"
                                            "ICU とそのデータが入っているか確かめてください。");
        absence::platform::WriteText(absence::platform::Stream::Error,
                                     (absence::ui::ApplicationTitle() + QStringLiteral(": ") + text + QLatin1Char('\n')).toUtf8());
        absence::ui::ReportError(text);
        return 1;
    }
    absence::setLocaleSettings(absence::LocaleSettings::fromSystem());

    TForm_top Form_top;
    Form_top.show();
    return app.exec();
}
