// The start of the widgets' Qt Test program: user folders in a temporary folder (so that no test
// touches the real profile), a QApplication, and the choice of one test class by its name as the
// first argument, so that CTest runs each class as a test of its own.
#include "TemporaryUserFolders.h"

#include <QApplication>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

QObject* MakeModalDialogScriptTest();
QObject* MakeConnectionDialogTest();
QObject* MakeConnectionsManagerWidgetTest();
QObject* MakeBrowserModelTest();
QObject* MakeBrowserWidgetTest();

int main(int argc, char** argv) {
    QTemporaryDir home;
    if (!home.isValid() || !PointUserFoldersAt(home.path())) {
        return 2;
    }
    setenv("HOME", QFile::encodeName(home.path()).constData(), 1);
    QStandardPaths::setTestModeEnabled(true);

    std::vector<char*> arguments(argv, argv + argc);
    const char* only = nullptr;
    if (arguments.size() > 1 && arguments[1][0] != '-') {
        only = arguments[1];
        arguments.erase(arguments.begin() + 1);
    }
    int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);
    QApplication app(count, arguments.data());

    const std::vector<std::function<QObject*()>> tests = {
        MakeModalDialogScriptTest, MakeConnectionDialogTest, MakeConnectionsManagerWidgetTest,
        MakeBrowserModelTest,      MakeBrowserWidgetTest,
    };
    int failed = 0;
    bool found = only == nullptr;
    for (const auto& make : tests) {
        std::unique_ptr<QObject> test(make());
        if (only != nullptr && std::strcmp(test->metaObject()->className(), only) != 0) {
            continue;
        }
        found = true;
        failed += QTest::qExec(test.get(), count, arguments.data()) != 0 ? 1 : 0;
    }
    if (!found) {
        std::fprintf(stderr, "no test class %s\n", only);
        return 3;
    }
    return failed;
}
