// Lists whose rows follow the mouse: the row under the pointer is underlined
// and the pointer becomes a hand there, as in the program's report lists.
#pragma once

#include <QObject>
#include <QStyledItemDelegate>

class QAbstractItemView;
class QModelIndex;
class QTableView;

// Whether the cell's text is wider than the room its column gives it (as its
// delegate would draw it: font, image and margins included).
bool cellTextIsCut(const QAbstractItemView *view, const QModelIndex &index);
// The tooltip of a cell: its whole text when the column cuts it, then any
// tooltip of the model's own (Qt::ToolTipRole) on the lines below; empty
// when there is neither.
QString cellToolTip(const QAbstractItemView *view, const QModelIndex &index);

// Paints a row list: the hot row underlined, and no focus frame on a single
// cell, since whole rows are selected.
class HotTrackDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    int hotRow = -1;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};

// Watches the list's viewport (install it there, with mouse tracking on) and
// keeps the delegate's hot row under the mouse.
class HotTrackFilter : public QObject
{
public:
    HotTrackFilter(QTableView *view, HotTrackDelegate *delegate);

    // When on, a cell shows cellToolTip() as its tooltip, and none when that
    // is empty.
    void setCellToolTips(bool on) { m_cellToolTips = on; }

protected:
    bool eventFilter(QObject *watched, QEvent *e) override;
    QTableView *view() const { return m_view; }

private:
    void repaintRow(int row);

    QTableView *m_view;
    HotTrackDelegate *m_delegate;
    bool m_cellToolTips = false;
};
