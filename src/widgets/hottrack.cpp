#include "hottrack.h"

#include <QEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QTableView>
#include <QToolTip>

bool cellTextIsCut(const QAbstractItemView *view, const QModelIndex &index)
{
    if (!view || !index.isValid())
        return false;
    const QAbstractItemDelegate *delegate = view->itemDelegateForIndex(index);
    const QRect cell = view->visualRect(index);
    if (!delegate || cell.isEmpty())
        return false;
    QStyleOptionViewItem option;
    option.initFrom(view->viewport());
    option.font = view->font();
    option.fontMetrics = QFontMetrics(option.font);
    option.decorationSize = view->iconSize();
    option.decorationPosition = QStyleOptionViewItem::Left;
    option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    option.textElideMode = view->textElideMode();
    option.rect = cell;
    return delegate->sizeHint(option, index).width() > cell.width();
}

QString cellToolTip(const QAbstractItemView *view, const QModelIndex &index)
{
    if (!index.isValid())
        return QString();
    QStringList parts;
    if (cellTextIsCut(view, index))
        parts << index.data(Qt::DisplayRole).toString();
    const QString own = index.data(Qt::ToolTipRole).toString();
    if (!own.isEmpty())
        parts << own;
    return parts.join(QLatin1Char('\n'));
}

void HotTrackDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.row() == hotRow)
        option->font.setUnderline(true);
    option->state &= ~QStyle::State_HasFocus;
}

HotTrackFilter::HotTrackFilter(QTableView *view, HotTrackDelegate *delegate)
    : QObject(view), m_view(view), m_delegate(delegate)
{
}

bool HotTrackFilter::eventFilter(QObject *, QEvent *e)
{
    if (e->type() == QEvent::ToolTip && m_cellToolTips) {
        auto *help = static_cast<QHelpEvent *>(e);
        const QModelIndex index = m_view->indexAt(help->pos());
        const QString text = cellToolTip(m_view, index);
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, m_view->viewport(), m_view->visualRect(index));
        return true;
    }
    int row;
    if (e->type() == QEvent::MouseMove)
        row = m_view->indexAt(static_cast<QMouseEvent *>(e)->position().toPoint()).row();
    else if (e->type() == QEvent::Leave)
        row = -1;
    else
        return false;
    if (row != m_delegate->hotRow) {
        const int old = m_delegate->hotRow;
        m_delegate->hotRow = row;
        repaintRow(old);
        repaintRow(row);
        if (row >= 0)
            m_view->viewport()->setCursor(Qt::PointingHandCursor);
        else
            m_view->viewport()->unsetCursor();
    }
    return false;
}

void HotTrackFilter::repaintRow(int row)
{
    if (row < 0 || !m_view->model() || row >= m_view->model()->rowCount())
        return;
    const QRect cell = m_view->visualRect(m_view->model()->index(row, 0));
    m_view->viewport()->update(QRect(0, cell.top(), m_view->viewport()->width(), cell.height()));
}
