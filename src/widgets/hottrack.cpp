#include "hottrack.h"

#include <QEvent>
#include <QMouseEvent>
#include <QTableView>

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
