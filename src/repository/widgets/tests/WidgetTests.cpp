// The repository widgets' test program.
#include "GuiTestMain.h"

QObject* MakeModalDialogScriptTest();
QObject* MakeConnectionDialogTest();
QObject* MakeConnectionsManagerWidgetTest();
QObject* MakeBrowserModelTest();
QObject* MakeBrowserWidgetTest();

int main(int argc, char** argv) {
    return RunGuiTests(argc, argv,
                       {MakeModalDialogScriptTest, MakeConnectionDialogTest, MakeConnectionsManagerWidgetTest,
                        MakeBrowserModelTest, MakeBrowserWidgetTest});
}
