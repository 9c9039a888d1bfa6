// Test main: every XDG folder points into a temporary folder, so no test reads or writes the profile
// of the user who runs it.
#include "TemporaryUserFolders.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QTemporaryDir home;
    if (!home.isValid() || !PointUserFoldersAt(home.path())) {
        return 2;
    }
    // Qt's test mode ignores the XDG variables and puts its folders under $HOME/.qttest, so the home
    // folder moves into the temporary folder too.
    setenv("HOME", QFile::encodeName(home.path()).constData(), 1);
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
