#include "customizetoolbardialog.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace
{
// Item data: the action's index in the list of all actions, -1 for a separator.
constexpr int ActionIndexRole = Qt::UserRole + 1;
const QString kSeparator = QStringLiteral("--- Separator ---");
} // namespace

CustomizeToolbarDialog::CustomizeToolbarDialog(const QList<QAction *> &available, const QList<QAction *> &defaultLayout,
                                               QWidget *parent)
    : QDialog(parent), m_actions(available), m_default(defaultLayout)
{
    setWindowTitle(QStringLiteral("Customize toolbar"));
    m_available = new QListWidget(this);
    m_toolbar = new QListWidget(this);
    for (QListWidget *list : {m_available, m_toolbar}) {
        list->setIconSize(QSize(16, 16));
        list->setMinimumSize(220, 300);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
    }
    m_add = new QPushButton(QStringLiteral("&Add ->"), this);
    m_remove = new QPushButton(QStringLiteral("<- &Remove"), this);
    m_up = new QPushButton(QStringLiteral("Move &up"), this);
    m_down = new QPushButton(QStringLiteral("Move &down"), this);
    m_reset = new QPushButton(QStringLiteral("R&eset"), this);
    m_reset->setToolTip(QStringLiteral("Restore the toolbar's first layout"));

    auto *buttons = new QVBoxLayout;
    buttons->addStretch();
    for (QPushButton *b : {m_add, m_remove})
        buttons->addWidget(b);
    buttons->addSpacing(16);
    for (QPushButton *b : {m_up, m_down})
        buttons->addWidget(b);
    buttons->addSpacing(16);
    buttons->addWidget(m_reset);
    buttons->addStretch();

    auto *box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Available commands:"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Toolbar buttons:"), this), 0, 2);
    grid->addWidget(m_available, 1, 0);
    grid->addLayout(buttons, 1, 1);
    grid->addWidget(m_toolbar, 1, 2);
    grid->addWidget(box, 2, 0, 1, 3);

    connect(m_add, &QPushButton::clicked, this, &CustomizeToolbarDialog::addSelected);
    connect(m_remove, &QPushButton::clicked, this, &CustomizeToolbarDialog::removeSelected);
    connect(m_up, &QPushButton::clicked, this, [this] { move(-1); });
    connect(m_down, &QPushButton::clicked, this, [this] { move(1); });
    connect(m_reset, &QPushButton::clicked, this, [this] { fill(m_default); });
    connect(m_available, &QListWidget::itemDoubleClicked, this, &CustomizeToolbarDialog::addSelected);
    connect(m_toolbar, &QListWidget::itemDoubleClicked, this, &CustomizeToolbarDialog::removeSelected);
    connect(m_available, &QListWidget::currentRowChanged, this, &CustomizeToolbarDialog::updateButtons);
    connect(m_toolbar, &QListWidget::currentRowChanged, this, &CustomizeToolbarDialog::updateButtons);
    fill(m_default);
}

QListWidgetItem *CustomizeToolbarDialog::itemFor(QAction *action) const
{
    auto *item = new QListWidgetItem;
    if (!action) {
        item->setText(kSeparator);
        item->setData(ActionIndexRole, -1);
    } else {
        item->setText(action->text().remove(QLatin1Char('&')));
        item->setIcon(action->icon());
        item->setData(ActionIndexRole, int(m_actions.indexOf(action)));
    }
    return item;
}

void CustomizeToolbarDialog::setLayout(const QList<QAction *> &layout)
{
    fill(layout);
}

void CustomizeToolbarDialog::fill(const QList<QAction *> &layout)
{
    m_available->clear();
    m_toolbar->clear();
    m_available->addItem(itemFor(nullptr));
    for (QAction *a : m_actions)
        if (!layout.contains(a))
            m_available->addItem(itemFor(a));
    for (QAction *a : layout)
        if (!a || m_actions.contains(a))
            m_toolbar->addItem(itemFor(a));
    updateButtons();
}

QList<QAction *> CustomizeToolbarDialog::toolbarLayout() const
{
    QList<QAction *> out;
    for (int i = 0; i < m_toolbar->count(); ++i) {
        const int index = m_toolbar->item(i)->data(ActionIndexRole).toInt();
        out << (index < 0 ? nullptr : m_actions.value(index));
    }
    return out;
}

void CustomizeToolbarDialog::addSelected()
{
    QListWidgetItem *item = m_available->currentItem();
    if (!item)
        return;
    const int index = item->data(ActionIndexRole).toInt();
    // New buttons go after the selected toolbar button, else at the end.
    const int at = m_toolbar->currentRow() < 0 ? m_toolbar->count() : m_toolbar->currentRow() + 1;
    if (index < 0) {
        m_toolbar->insertItem(at, itemFor(nullptr)); // the separator stays available
    } else {
        m_toolbar->insertItem(at, m_available->takeItem(m_available->row(item)));
    }
    m_toolbar->setCurrentRow(at);
    updateButtons();
}

void CustomizeToolbarDialog::removeSelected()
{
    const int row = m_toolbar->currentRow();
    if (row < 0)
        return;
    QListWidgetItem *item = m_toolbar->takeItem(row);
    const int index = item->data(ActionIndexRole).toInt();
    if (index < 0) {
        delete item;
    } else {
        // Back into the available list at its place in the command order.
        int at = 1;
        while (at < m_available->count() && m_available->item(at)->data(ActionIndexRole).toInt() < index)
            ++at;
        m_available->insertItem(at, item);
    }
    updateButtons();
}

void CustomizeToolbarDialog::move(int delta)
{
    const int row = m_toolbar->currentRow();
    const int to = row + delta;
    if (row < 0 || to < 0 || to >= m_toolbar->count())
        return;
    m_toolbar->insertItem(to, m_toolbar->takeItem(row));
    m_toolbar->setCurrentRow(to);
    updateButtons();
}

void CustomizeToolbarDialog::updateButtons()
{
    const int row = m_toolbar->currentRow();
    m_add->setEnabled(m_available->currentRow() >= 0);
    m_remove->setEnabled(row >= 0);
    m_up->setEnabled(row > 0);
    m_down->setEnabled(row >= 0 && row + 1 < m_toolbar->count());
}
