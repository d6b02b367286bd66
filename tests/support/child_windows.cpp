// The front end's runs on Windows: as the tester, who is the only user here.

#include "support.h"

#include <QDirIterator>

#include <gtest/gtest.h>

namespace testsupport {

QString PrepareChild(QProcess &, const CliRun &run)
{
    if (run.unprivileged)
        ADD_FAILURE() << "no other user to run the front end as on Windows";
    return run.executable.isEmpty() ? CliPath() : run.executable;
}

bool EndedByKill(const CliResult &run)
{
    // QProcess::kill is TerminateProcess, which QProcess reports as a crash.
    return run.crashed;
}

// No event tells another process's open without a filter driver; the new
// record in place is seen by its size, read from the folder's entry (an
// open of the record, even for its attributes, would make the rename wait).
struct SaveStepWatch::Private {
    QString dir;
    QString name;
    qint64 newSize = 0;
    bool canSee = false;
};

SaveStepWatch::SaveStepWatch(const QString &dir, const QString &name, Step step, qint64 newSize)
    : d(std::make_unique<Private>())
{
    d->dir = dir;
    d->name = name;
    d->newSize = newSize;
    d->canSee = step == Step::ReplacedRecord;
}

SaveStepWatch::~SaveStepWatch() = default;

bool SaveStepWatch::CanSee() const
{
    return d->canSee;
}

bool SaveStepWatch::Wait(CliProcess &process)
{
    for (unsigned spin = 0;; ++spin) {
        // The listing's own sizes (FindFirstFileEx), not a look-up by name.
        QDirIterator entries(d->dir, {d->name}, QDir::Files | QDir::Hidden | QDir::System);
        while (entries.hasNext()) {
            entries.next();
            if (entries.fileName() == d->name && entries.fileInfo().size() == d->newSize)
                return true;
        }
        if (spin % 8 == 0 && process.Ended())
            return false;
    }
}

} // namespace testsupport
