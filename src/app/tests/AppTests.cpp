// The application's test program.
#include "GuiTestMain.h"

QObject* MakeScheduleTextTest();
QObject* MakeTasksListModelTest();
QObject* MakeMainWindowTest();
QObject* MakeStartUpTest();
QObject* MakeHelpPagesTest();

int main(int argc, char** argv) {
    return RunGuiTests(argc, argv,
                       {MakeScheduleTextTest, MakeTasksListModelTest, MakeMainWindowTest, MakeStartUpTest,
                        MakeHelpPagesTest});
}
