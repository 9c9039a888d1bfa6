// The editor's test program.
#include "GuiTestMain.h"

QObject* MakeModalMessageTest();
QObject* MakeTaskInfoPageTest();
QObject* MakeTaskTriggerPageTest();
QObject* MakeTaskWizardTest();
QObject* MakeTaskActionPageTest();
QObject* MakeTaskBrowserPageTest();
QObject* MakeWholeFlowTest();

int main(int argc, char** argv) {
    return RunGuiTests(argc, argv,
                       {MakeModalMessageTest, MakeTaskInfoPageTest, MakeTaskTriggerPageTest,
                        MakeTaskWizardTest, MakeTaskActionPageTest, MakeTaskBrowserPageTest,
                        MakeWholeFlowTest});
}
