// What the user is told, in a warning box, when the engine found its storage file or its run journal
// damaged: what was wrong, where the file went, and what the program does instead.
#pragma once

#include "model/StorageDamage.h"
#include "scheduler/RunJournal.h"

#include <QCoreApplication>

class QWidget;

class DamageWarnings {
    Q_DECLARE_TR_FUNCTIONS(DamageWarnings)

public:
    static void showStorageDamage(QWidget* parent, const StorageDamage& damage);
    static void showJournalDamage(QWidget* parent, const RunJournal::Damage& damage);
};
