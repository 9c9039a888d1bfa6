// A cell without a tool tip of its own gets its whole text as one exactly when the view draws it cut.
#include "CutTextToolTips.h"

#include "ShownName.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>

int CutTextToolTips::textMargin(const QStyle* style, const QWidget* widget) {
    return style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
}

void CutTextToolTips::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    option->text = ShownName(option->text);
}

bool CutTextToolTips::isCut(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    if (cell.text.isEmpty()) {
        return false;
    }
    const QWidget* widget = cell.widget;
    const QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    // The width the style elides the text to: its text rectangle less the margin it keeps on each side.
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &cell, widget);
    return cell.fontMetrics.horizontalAdvance(cell.text) > textRect.width() - 2 * textMargin(style, widget);
}

bool CutTextToolTips::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                const QStyleOptionViewItem& option, const QModelIndex& index) {
    // A cell with a tool tip of its own (a failed run's first error line) keeps it.
    if (event == nullptr || view == nullptr || event->type() != QEvent::ToolTip ||
        index.data(Qt::ToolTipRole).isValid()) {
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
    if (index.isValid() && isCut(option, index)) {
        QToolTip::showText(event->globalPos(), ShownName(index.data(Qt::DisplayRole).toString()),
                           view->viewport(), option.rect);
    } else {
        QToolTip::hideText();
    }
    return true;
}
