// Runs Qt Test classes with the application's identity, away from the user's real profile.
#include "GuiTestMain.h"

#include "TemporaryUserFolders.h"

#include <QApplication>
#include <QFile>
#include <QMetaObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstring>
#include <memory>

int RunGuiTests(int argc, char** argv, const std::vector<TestFactory>& tests) {
    QTemporaryDir home;
    if (!home.isValid() || !PointUserFoldersAt(home.path())) {
        return 2;
    }
    setenv("HOME", QFile::encodeName(home.path()).constData(), 1);
    // Nor the user's desktop: notices of failed runs go to a bus a test starts itself, or nowhere.
    setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
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
    // The settings store the program uses, which test mode puts under the temporary home.
    QApplication::setOrganizationName(QStringLiteral("Zelkor-Vostal"));
    QApplication::setApplicationName(QStringLiteral("ZelkorScheduler"));
    QApplication::setQuitOnLastWindowClosed(false);

    int failed = 0;
    bool found = only == nullptr;
    for (const TestFactory& make : tests) {
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
