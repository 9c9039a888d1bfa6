// The application's test program.
#include "GuiTestMain.h"

QObject* MakeScheduleTextTest();
QObject* MakeTasksListModelTest();
QObject* MakeTaskStatusProxyTest();
QObject* MakeFailureNoticesTest();
QObject* MakeLogViewerTest();
QObject* MakeHistoryWindowTest();
QObject* MakeMainWindowTest();
QObject* MakeStartUpTest();
QObject* MakeHelpPagesTest();
QObject* MakeSettingsDialogTest();
QObject* MakeDesktopNoticesTest();
QObject* MakeTerminalCommandTest();
QObject* MakeBackgroundEngineTest();
QObject* MakeAccessibleNamesTest();

int main(int argc, char** argv) {
    return RunGuiTests(argc, argv,
                       {MakeScheduleTextTest, MakeTasksListModelTest, MakeTaskStatusProxyTest,
                        MakeFailureNoticesTest, MakeLogViewerTest, MakeHistoryWindowTest, MakeMainWindowTest,
                        MakeStartUpTest, MakeHelpPagesTest, MakeSettingsDialogTest, MakeDesktopNoticesTest,
                        MakeTerminalCommandTest, MakeBackgroundEngineTest, MakeAccessibleNamesTest});
}
