// absence_bench_look DAY LOOKS: run under strace by the benchmark, in the
// folder of the day's files. Watches the day's data files as the collection
// window does, then looks LOOKS times, and then collects once; each part
// stands between two marker calls (a write to descriptor -1, which fails at
// once), so the system calls of the looks alone and of the collection alone
// can be counted in the trace.

#include "absence_list.h"
#include "collection.h"
#include "data_file_watch.h"
#include "day_files.h"
#include "services.h"

#include <QCoreApplication>
#include <QDate>

#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

void Marker(const char *text)
{
    if (::write(-1, text, std::strlen(text)) >= 0)
        std::abort();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    absence::setLocaleSettings(absence::LocaleSettings::fromName(QStringLiteral("ja_JP.UTF-8")));
    const QDate day = QDate::fromString(QString::fromLatin1(argv[1]), Qt::ISODate);
    const int looks = std::atoi(argv[2]);

    absence::DataFileWatch watch = absence::DataFileWatch::Start(day);
    int changed = 0;
    Marker("looks-begin");
    for (int i = 0; i < looks; ++i)
        changed += watch.LookAgain() != absence::DataFileWatch::Look::Same;
    Marker("looks-end");

    absence::AbsenceList list;
    Marker("collect-begin");
    absence::Collect(list, day);
    Marker("collect-end");
    return changed == 0 && list.Count() > 0 ? 0 : 1;
}
