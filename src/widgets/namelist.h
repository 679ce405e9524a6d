#pragma once

#include <QStringList>

class QListWidget;

// The name list of an editor window whose lines stand for the entries of a
// store, line i for entry i (the alert profiles, the schedules). The window
// keeps its store and reacts to the selection itself; these functions only
// keep the lines in step. Those that fill or empty the list do so without
// selection signals, so the window decides when to refresh.
namespace NameList
{

// Replaces the lines with the names; no line is selected afterwards.
void fill(QListWidget *list, const QStringList &names);

// Gives every line the text of its name. False, with nothing changed, when
// the number of lines differs from the number of names: the store was
// replaced, and the caller refills the list.
bool sync(QListWidget *list, const QStringList &names);

// The row of the selected line, or -1 when none is selected or the row has
// no entry among the first count.
int selectedRow(const QListWidget *list, int count);

// Selects line index alone; selects nothing for -1 or an index out of range.
void select(QListWidget *list, int index);

// Removes line row and leaves no line selected.
void remove(QListWidget *list, int row);

} // namespace NameList
