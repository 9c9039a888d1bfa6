// The editor's test program.
#include "GuiTestMain.h"

QObject* MakeModalMessageTest();
QObject* MakeTaskInfoPageTest();
QObject* MakeTaskTriggerPageTest();
QObject* MakeTaskWizardTest();

int main(int argc, char** argv) {
    return RunGuiTests(
        argc, argv,
        {MakeModalMessageTest, MakeTaskInfoPageTest, MakeTaskTriggerPageTest, MakeTaskWizardTest});
}
