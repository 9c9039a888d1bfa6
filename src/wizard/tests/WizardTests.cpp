// The editor's test program.
#include "GuiTestMain.h"

QObject* MakeTaskInfoPageTest();
QObject* MakeTaskTriggerPageTest();
QObject* MakeTaskOptionsDialogTest();
QObject* MakeTaskWizardTest();
QObject* MakeTaskActionPageTest();
QObject* MakeTaskBrowserPageTest();
QObject* MakeWholeFlowTest();

int main(int argc, char** argv) {
    return RunGuiTests(argc, argv,
                       {MakeTaskInfoPageTest, MakeTaskTriggerPageTest, MakeTaskOptionsDialogTest,
                        MakeTaskWizardTest, MakeTaskActionPageTest, MakeTaskBrowserPageTest,
                        MakeWholeFlowTest});
}
