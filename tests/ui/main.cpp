// The GUI tests drive the real windows on Qt's offscreen platform, so they
// need no display.

#include <QApplication>
#include <gtest/gtest.h>

#include "program.h"
#include "application.h"
#include "platform/platform.h"

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    absence::PrepareProcess();
    QApplication app(argc, argv);
    absence::ui::InitialiseApplication();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
