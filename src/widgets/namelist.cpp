#include "namelist.h"

#include <QItemSelectionModel>
#include <QListWidget>
#include <QSignalBlocker>
#include <QStringList>

namespace NameList
{

void fill(QListWidget *list, const QStringList &names)
{
    const QSignalBlocker block(list);
    list->clear();
    list->addItems(names);
    list->setCurrentRow(-1);
}

bool sync(QListWidget *list, const QStringList &names)
{
    if (list->count() != names.size())
        return false;
    for (int i = 0; i < names.size(); ++i)
        if (list->item(i)->text() != names.at(i))
            list->item(i)->setText(names.at(i));
    return true;
}

int selectedRow(const QListWidget *list, int count)
{
    const QModelIndexList rows = list->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return -1;
    const int row = rows.constFirst().row();
    return row < count ? row : -1;
}

void select(QListWidget *list, int index)
{
    if (index < 0 || index >= list->count()) {
        list->clearSelection();
        list->setCurrentRow(-1);
    } else {
        list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    }
}

void remove(QListWidget *list, int row)
{
    const QSignalBlocker block(list);
    delete list->takeItem(row);
    list->clearSelection();
    list->setCurrentRow(-1);
}

} // namespace NameList
