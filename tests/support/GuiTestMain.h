// The start of a Qt Test program for the desktop application: user folders in a temporary folder,
// the program's settings names, a QApplication, and the choice of one test class from the command line.
#pragma once

#include <QObject>

#include <functional>
#include <vector>

// A test class, made only when it runs, so that each starts from a fresh application state.
using TestFactory = std::function<QObject*()>;

// Runs every class, or only the one whose class name is the first argument (then removed before the
// remaining arguments go to Qt Test). The folders and the application object live until it returns.
// Returns the number of failed classes (or 2 when the folders cannot be made, 3 for an unknown class).
int RunGuiTests(int argc, char** argv, const std::vector<TestFactory>& tests);
