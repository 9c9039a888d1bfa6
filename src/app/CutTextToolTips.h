// Tool tips for the cells of an item view whose text does not fit: the whole text, read from the
// model's display role, so the model itself does not change. A cell and its tool tip show at most
// kShownNameLength characters of the text (see ShownName).
#pragma once

#include <QStyledItemDelegate>

class CutTextToolTips : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The margin a style keeps on each side of a cell's text, inside the text rectangle.
    static int textMargin(const QStyle* style, const QWidget* widget);

    // True when the cell's text is drawn cut (elided) in its current width.
    bool isCut(const QStyleOptionViewItem& option, const QModelIndex& index) const;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};
