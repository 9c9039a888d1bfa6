// Finding the open dialogs of one class among a window's children.
#pragma once

#include <QDialog>
#include <QList>

// The program's dialogs declare no meta-object of their own (the application is built without moc), so
// Qt's findChildren<T> would take any dialog for any of them: they are told apart by their C++ type.
template <typename Dialog>
QList<Dialog*> ChildDialogs(const QObject& parent) {
    QList<Dialog*> found;
    for (QDialog* dialog : parent.findChildren<QDialog*>()) {
        if (auto* one = dynamic_cast<Dialog*>(dialog)) {
            found.append(one);
        }
    }
    return found;
}
