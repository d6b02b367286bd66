// absence-collector-station (欠席連絡受付): the window where a station takes
// its calls. It works in the folder it is started in; its station comes from
// --station N, or from the user's settings, asked for at the first start.

#include <QApplication>
#include <QCommandLineOption>
#include <QCommandLineParser>

#include "application.h"
#include "dialogs.h"
#include "program.h"
#include "services.h"
#include "station_window.h"

int main(int argc, char *argv[])
{
    absence::PrepareProcess();
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("absence-collector"));
    QCoreApplication::setApplicationName(QStringLiteral("station"));
    absence::ui::InitialiseApplication();
    const auto fail = [](const QString &text) {
        absence::WriteText(
            absence::Stream::Error,
            (absence::ui::ApplicationTitle() + QStringLiteral(": ") + text + QLatin1Char('\n')).toUtf8());
    };
    if (!absence::Cp932Available()) {
        const QString text = absence::Cp932UnavailableText();
        fail(text);
        absence::ui::ReportError(text);
        return 1;
    }
    absence::setLocaleSettings(absence::LocaleSettings::fromSystem());

    QCommandLineParser parser;
    const QCommandLineOption stationOption(
        QStringLiteral("station"), QStringLiteral("the station's data file number, 0 to 9"), QStringLiteral("N"));
    parser.addOption(stationOption);
    parser.addHelpOption();
    parser.process(app);

    absence::station::Station station = absence::station::Station::Remembered();
    // An empty value (the installer's shortcut without STATION) is none.
    const QString digit = parser.value(stationOption);
    if (!digit.isEmpty()) {
        if (digit.size() != 1 || !digit[0].isDigit() || digit[0].unicode() > u'9') {
            fail(QStringLiteral("--station needs a data file number, 0 to 9: %1").arg(digit));
            return 2;
        }
        station.digit = digit[0].digitValue();
    } else if (station.digit < 0) {
        if (!absence::station::AskStation(nullptr, station))
            return 0;
        station.Remember();
    }

    absence::station::StationWindow window(station);
    window.show();
    return app.exec();
}
