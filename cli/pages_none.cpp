#include "pages.h"

#include "errors.h"

namespace cli {

bool CanWritePdf()
{
    return false;
}

std::unique_ptr<QCoreApplication> MakeApplication(int &argc, char **argv, bool)
{
    return std::make_unique<QCoreApplication>(argc, argv);
}

void WritePdf(const QString &path, const QDate &, const absence::AbsenceList &)
{
    // Not reached: the command line refuses pdf in this build.
    throw absence::FileCreateError(path);
}

void WriteSheet(const QString &path, const QDate &, const absence::AbsenceList &)
{
    throw absence::FileCreateError(path);
}

} // namespace cli
