#pragma once

#include <QDialog>
#include <QList>

class QAction;
class QListWidget;
class QListWidgetItem;
class QPushButton;

// "Customize toolbar": the user picks which commands the toolbar shows and in
// which order. Left the commands not on the toolbar (and a separator, which
// can be added any number of times), right the toolbar's buttons in order.
// A layout is a list of actions in which nullptr stands for a separator.
class CustomizeToolbarDialog : public QDialog
{
    Q_OBJECT
public:
    CustomizeToolbarDialog(const QList<QAction *> &available, const QList<QAction *> &defaultLayout,
                           QWidget *parent = nullptr);

    // Fills the two lists from the toolbar's present layout.
    void setLayout(const QList<QAction *> &layout);
    QList<QAction *> toolbarLayout() const;

    QListWidget *availableList() const { return m_available; }
    QListWidget *toolbarList() const { return m_toolbar; }
    QPushButton *addButton() const { return m_add; }
    QPushButton *removeButton() const { return m_remove; }
    QPushButton *upButton() const { return m_up; }
    QPushButton *downButton() const { return m_down; }
    QPushButton *resetButton() const { return m_reset; }

private:
    QListWidgetItem *itemFor(QAction *action) const;
    void fill(const QList<QAction *> &layout);
    void addSelected();
    void removeSelected();
    void move(int delta);
    void updateButtons();

    QList<QAction *> m_actions;
    QList<QAction *> m_default;
    QListWidget *m_available;
    QListWidget *m_toolbar;
    QPushButton *m_add;
    QPushButton *m_remove;
    QPushButton *m_up;
    QPushButton *m_down;
    QPushButton *m_reset;
};
