// The program's one logging category for Qt's message log.
#pragma once

#include <QLoggingCategory>

// Named "zelkor": its debug output can be switched off with QT_LOGGING_RULES="zelkor.debug=false".
Q_DECLARE_LOGGING_CATEGORY(lcZelkor)
