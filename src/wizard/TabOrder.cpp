// Chaining a composite widget means chaining each of its parts: Qt 5's setTabOrder moves one widget.
#include "TabOrder.h"

#include <QList>
#include <QWidget>

namespace {

// `widget` and the widgets inside it that Tab can reach, in the order of the focus chain: setTabOrder
// ignores a widget that takes no focus.
QList<QWidget*> WithParts(QWidget* widget) {
    QList<QWidget*> parts;
    if (widget->focusPolicy() != Qt::NoFocus) {
        parts << widget;
    }
    for (QWidget* next = widget->nextInFocusChain(); next != widget; next = next->nextInFocusChain()) {
        if (widget->isAncestorOf(next) && next->focusPolicy() != Qt::NoFocus) {
            parts << next;
        }
    }
    return parts;
}

} // namespace

void ChainTabOrder(std::initializer_list<QWidget*> widgets) {
    QWidget* previous = nullptr;
    for (QWidget* widget : widgets) {
        for (QWidget* part : WithParts(widget)) {
            if (previous != nullptr) {
                QWidget::setTabOrder(previous, part);
            }
            previous = part;
        }
    }
}
