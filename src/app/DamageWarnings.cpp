// The warnings about a damaged storage file or run journal.
#include "DamageWarnings.h"

#include "dialogs/ModalMessage.h"

#include <QDir>

void DamageWarnings::showStorageDamage(QWidget* parent, const StorageDamage& damage) {
    QString reason;
    switch (damage.kind) {
    case StorageDamage::Kind::Unreadable:
        reason = tr("его не удалось прочитать");
        break;
    case StorageDamage::Kind::NotUtf8:
        reason = tr("в нём есть байты, которые не являются текстом в кодировке UTF-8");
        break;
    case StorageDamage::Kind::Malformed:
        reason = tr("он не является правильным XML-документом");
        break;
    case StorageDamage::Kind::NoTaskList:
        reason = tr("в нём нет списка задач");
        break;
    case StorageDamage::Kind::TasksLeftOut:
        reason = tr("не удалось прочитать задач: %1").arg(damage.tasksLeftOut);
        break;
    }
    QString kept;
    if (damage.keptAs.isEmpty()) {
        kept = tr("Сохранить его копию не удалось (%1).").arg(damage.keepError);
    } else if (damage.kind == StorageDamage::Kind::Unreadable) {
        kept = tr("Файл переименован в\n%1").arg(QDir::toNativeSeparators(damage.keptAs));
    } else {
        kept = tr("Файл в том виде, в каком он был прочитан, сохранён как\n%1")
                   .arg(QDir::toNativeSeparators(damage.keptAs));
    }
    const QString text = tr("Файл задач повреждён: %1.\n\n%2\n\nЗагружены задачи, которые удалось прочитать; "
                            "при следующем сохранении в файл задач будут записаны только они.")
                             .arg(reason, kept);
    ShowModalMessage(parent, QMessageBox::Warning, tr("Файл задач повреждён"), text);
}

void DamageWarnings::showJournalDamage(QWidget* parent, const RunJournal::Damage& damage) {
    if (!damage.movedAside) {
        ShowModalMessage(
            parent, QMessageBox::Warning, tr("Журнал запусков недоступен"),
            tr("Журнал запусков не удаётся записать (%1).\n\nЗадачи выполняются как обычно; записи о "
               "запусках будут внесены в журнал, когда запись станет возможна. Пока программа не "
               "закрыта, они не потеряются.")
                .arg(damage.reason));
        return;
    }
    const QString kept = damage.keptAs.isEmpty()
                             ? tr("Сохранить его копию не удалось.")
                             : tr("Файл сохранён как\n%1").arg(QDir::toNativeSeparators(damage.keptAs));
    ShowModalMessage(parent, QMessageBox::Warning, tr("Журнал запусков повреждён"),
                     tr("Журнал запусков повреждён (%1).\n\n%2\n\nНачат новый журнал; задания и их журналы "
                        "не затронуты.")
                         .arg(damage.reason, kept));
}
