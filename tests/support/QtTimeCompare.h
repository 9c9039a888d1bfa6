// Exact comparison of time points in Qt Test, shown readably when they differ.
#pragma once

#include "TimeHelpers.h"

#include <QtTest>

#define QCOMPARE_TIME(actual, expected)                                                                      \
    QVERIFY2((actual) == (expected), qPrintable(QStringLiteral("\n  actual: %1\nexpected: %2")               \
                                                    .arg(QString::fromStdString(Describe(actual)),           \
                                                         QString::fromStdString(Describe(expected)))))
