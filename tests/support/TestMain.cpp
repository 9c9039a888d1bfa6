// Test main: every XDG folder points into a temporary folder, so no test reads or writes the profile
// of the user who runs it.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    QTemporaryDir home;
    if (!home.isValid()) {
        return 2;
    }
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
        const QByteArray path = QDir(home.path()).filePath(QString::fromLatin1(name)).toLocal8Bit();
        QDir().mkpath(QString::fromLocal8Bit(path));
        setenv(name, path.constData(), 1);
    }
    // Qt's test mode ignores the XDG variables and puts its folders under $HOME/.qttest, so the home
    // folder moves into the temporary folder too.
    setenv("HOME", QFile::encodeName(home.path()).constData(), 1);
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
