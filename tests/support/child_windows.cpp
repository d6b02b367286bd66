// The front end's runs on Windows: as the tester, who is the only user here.

#include "support.h"

#include <gtest/gtest.h>

namespace testsupport {

QString PrepareChild(QProcess &, const CliRun &run)
{
    if (run.unprivileged)
        ADD_FAILURE() << "no other user to run the front end as on Windows";
    return run.executable.isEmpty() ? CliPath() : run.executable;
}

} // namespace testsupport
