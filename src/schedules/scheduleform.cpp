#include "scheduleform.h"

#include "core/prompt.h"
#include "widgets/dialogbuttons.h"
#include "widgets/namelist.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionFocusRect>
#include <QVBoxLayout>

const QColor TScheduleGrid::SelectedColor = QColor(0, 0, 255);
const QColor TScheduleGrid::SetColor = QColor(0, 128, 0);
const QColor TScheduleGrid::UnsetColor = QColor(255, 0, 0);

namespace
{

constexpr int FirstDayRow = ScheduleProfile::FirstDayRow, LastDayRow = ScheduleProfile::LastDayRow;
constexpr int FirstDayCol = ScheduleProfile::FirstDayColumn, LastDayCol = ScheduleProfile::LastDayColumn;
constexpr int RowStep = TScheduleGrid::RowHeight + TScheduleGrid::LineWidth;
constexpr int ColStep = TScheduleGrid::ColWidth + TScheduleGrid::LineWidth;
// Left edge of column 1.
constexpr int DayColsLeft = 2 * TScheduleGrid::LineWidth + TScheduleGrid::FirstColWidth;

// Column under an x position, clamped to 0 .. 31.
int columnAtX(int x)
{
    if (x < DayColsLeft)
        return 0;
    return qMin((x - DayColsLeft) / ColStep + 1, TScheduleGrid::ColCount - 1);
}

int rowAtY(int y)
{
    return qBound(0, (y - TScheduleGrid::LineWidth) / RowStep, TScheduleGrid::RowCount - 1);
}

} // namespace

TScheduleGrid::TScheduleGrid(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ScheduleGrid"));
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_OpaquePaintEvent);

    // The titles are drawn in a font small enough for the widest of them to
    // fit its cell, since the cells keep their fixed sizes.
    QFont f = font();
    const auto fits = [](const QFont &font) {
        const QFontMetrics fm(font);
        int widest = 0;
        for (int r = 1; r < RowCount; ++r)
            widest = qMax(widest, fm.horizontalAdvance(title(r, 0)));
        widest = qMax(widest, fm.horizontalAdvance(title(0, 0)));
        return widest <= FirstColWidth - 3 && fm.horizontalAdvance(QStringLiteral("31")) <= ColWidth - 2 &&
               fm.height() <= RowHeight;
    };
    for (int px = 12; px > 7 && !fits(f); --px)
        f.setPixelSize(px);
    setFont(f);
}

void TScheduleGrid::setProfile(std::function<const ScheduleProfile *()> profile)
{
    m_profile = std::move(profile);
    update();
}

QString TScheduleGrid::title(int row, int column)
{
    static const char *const weekdays[] = {"Monday", "Tuesday", "Wednsday", "Thursday", "Friday", "Saturday", "Sunday"};
    if (row == 0 && column == 0)
        return QStringLiteral("Days\\Hours");
    if (row == 0 && column >= FirstDayCol && column <= LastDayCol)
        return QString::number(column);
    if (column == 0 && row >= FirstDayRow && row <= LastDayRow)
        return QString::fromLatin1(weekdays[row - 1]);
    return QString();
}

QRect TScheduleGrid::cellRect(int row, int column)
{
    const int x = column == 0 ? LineWidth : DayColsLeft + (column - 1) * ColStep;
    const int w = column == 0 ? FirstColWidth : ColWidth;
    return QRect(x, LineWidth + row * RowStep, w, RowHeight);
}

GridCell TScheduleGrid::cellAt(const QPoint &pos)
{
    const int width = DayColsLeft + (ColCount - 1) * ColStep;
    const int height = LineWidth + RowCount * RowStep;
    if (pos.x() < 0 || pos.y() < 0 || pos.x() >= width || pos.y() >= height)
        return {-1, -1};
    return {rowAtY(pos.y()), columnAtX(pos.x())};
}

QSize TScheduleGrid::sizeHint() const
{
    return QSize(DayColsLeft + (ColCount - 1) * ColStep, LineWidth + RowCount * RowStep);
}

GridCell TScheduleGrid::clampToDays(GridCell cell)
{
    return {qBound(FirstDayRow, cell.row, LastDayRow), qBound(FirstDayCol, cell.column, LastDayCol)};
}

void TScheduleGrid::setSelection(GridCell anchor, GridCell current)
{
    anchor = clampToDays(anchor);
    current = clampToDays(current);
    if (anchor.row == m_anchor.row && anchor.column == m_anchor.column && current.row == m_current.row &&
        current.column == m_current.column)
        return;
    m_anchor = anchor;
    m_current = current;
    update();
    emit selectionChanged();
}

bool TScheduleGrid::isSelected(int row, int column) const
{
    return row >= qMin(m_anchor.row, m_current.row) && row <= qMax(m_anchor.row, m_current.row) &&
           column >= qMin(m_anchor.column, m_current.column) && column <= qMax(m_anchor.column, m_current.column);
}

void TScheduleGrid::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QPalette &pal = palette();
    const ScheduleProfile *profile = m_profile ? m_profile() : nullptr;
    // The lines between the cells are what shows of the background.
    p.fillRect(rect(), pal.color(QPalette::Mid));
    for (int r = 0; r < RowCount; ++r) {
        for (int c = 0; c < ColCount; ++c) {
            const QRect cell = cellRect(r, c);
            const bool fixed = r == 0 || c == 0;
            QColor fill;
            QColor text = pal.color(QPalette::ButtonText);
            if (fixed)
                fill = pal.color(QPalette::Button);
            else if (profile)
                fill = isSelected(r, c) ? SelectedColor : profile->Grid[size_t(r)][size_t(c)] ? SetColor : UnsetColor;
            else if (isSelected(r, c))
                fill = pal.color(QPalette::Highlight);
            else
                fill = pal.color(QPalette::Base);
            p.fillRect(cell, fill);
            if (fixed) {
                p.setPen(text);
                p.drawText(cell.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, title(r, c));
            }
        }
    }
    if (hasFocus()) {
        QStyleOptionFocusRect opt;
        opt.initFrom(this);
        opt.rect = cellRect(m_current.row, m_current.column);
        opt.backgroundColor = profile ? SelectedColor : pal.color(QPalette::Highlight);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &opt, &p, this);
    }
}

void TScheduleGrid::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    const GridCell cell = cellAt(event->position().toPoint());
    // The title cells cannot be selected.
    if (cell.row < FirstDayRow || cell.column < FirstDayCol)
        return;
    if (event->modifiers() & Qt::ShiftModifier)
        setSelection(m_anchor, cell);
    else
        setSelection(cell, cell);
}

void TScheduleGrid::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    // Dragging past the edge selects up to the last cell in that direction.
    const QPoint pos = event->position().toPoint();
    setSelection(m_anchor, clampToDays({rowAtY(pos.y()), columnAtX(qMax(pos.x(), 0))}));
}

void TScheduleGrid::keyPressEvent(QKeyEvent *event)
{
    GridCell to = m_current;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Left:
        --to.column;
        break;
    case Qt::Key_Right:
        ++to.column;
        break;
    case Qt::Key_Up:
        --to.row;
        break;
    case Qt::Key_Down:
        ++to.row;
        break;
    case Qt::Key_Home:
        to.column = FirstDayCol;
        if (ctrl)
            to.row = FirstDayRow;
        break;
    case Qt::Key_End:
        to.column = LastDayCol;
        if (ctrl)
            to.row = LastDayRow;
        break;
    case Qt::Key_PageUp:
        to.row = FirstDayRow;
        break;
    case Qt::Key_PageDown:
        to.row = LastDayRow;
        break;
    default:
        return QWidget::keyPressEvent(event);
    }
    to = clampToDays(to);
    if (event->modifiers() & Qt::ShiftModifier)
        setSelection(m_anchor, to);
    else
        setSelection(to, to);
}

TScheduleForm::TScheduleForm(ScheduleList &schedules, UserPrompt *prompt, QWidget *parent)
    : TEditorDialog(parent), m_schedules(schedules), m_prompt(prompt)
{
    setObjectName(QStringLiteral("ScheduleForm"));
    setWindowTitle(QStringLiteral("Schedule"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    ScheduleLabel = new QLabel(QStringLiteral("Schedule Profile:"), this);
    ScheduleListBox = new QListWidget(this);
    ScheduleListBox->setObjectName(QStringLiteral("ScheduleListBox"));
    ScheduleListBox->setSelectionMode(QAbstractItemView::SingleSelection);
    ScheduleListBox->setSortingEnabled(false);
    ScheduleListBox->setFixedSize(220, 90);
    ScheduleLabel->setBuddy(ScheduleListBox);

    NewScheduleButton = new QPushButton(QStringLiteral("New"), this);
    NewScheduleButton->setObjectName(QStringLiteral("NewScheduleButton"));
    NewScheduleButton->setAutoDefault(false);
    DelScheduleButton = new QPushButton(QStringLiteral("Del"), this);
    DelScheduleButton->setObjectName(QStringLiteral("DelScheduleButton"));
    DelScheduleButton->setAutoDefault(false);

    ScheduleGrid = new TScheduleGrid(this);
    ScheduleGrid->setProfile([this] { return m_schedules.profile(selectedSchedule()); });

    CheckBitBtn = new QPushButton(QStringLiteral("Check selected"), this);
    CheckBitBtn->setObjectName(QStringLiteral("CheckBitBtn"));
    UncheckBitBtn = new QPushButton(QStringLiteral("Uncheck selected"), this);
    UncheckBitBtn->setObjectName(QStringLiteral("UncheckBitBtn"));
    InvertBtn = new QPushButton(QStringLiteral("Invert selected"), this);
    InvertBtn->setObjectName(QStringLiteral("InvertBtn"));
    for (QPushButton *b : {CheckBitBtn, UncheckBitBtn, InvertBtn})
        b->setAutoDefault(false);

    const OkCancelButtons closeButtons = makeOkCancelButtons(this, ReturnOnCancel::PressesOk);
    OKButton = closeButtons.ok;
    CancelButton = closeButtons.cancel;

    auto *nameButtons = new QVBoxLayout;
    nameButtons->addWidget(NewScheduleButton);
    nameButtons->addWidget(DelScheduleButton);
    nameButtons->addStretch(1);
    auto *names = new QHBoxLayout;
    names->addWidget(ScheduleListBox);
    names->addLayout(nameButtons);
    names->addStretch(1);

    auto *cellButtons = new QHBoxLayout;
    cellButtons->addWidget(CheckBitBtn);
    cellButtons->addWidget(UncheckBitBtn);
    cellButtons->addWidget(InvertBtn);
    cellButtons->addStretch(1);

    auto *box = new QVBoxLayout(this);
    box->addWidget(ScheduleLabel);
    box->addLayout(names);
    box->addSpacing(4);
    box->addWidget(ScheduleGrid);
    box->addLayout(cellButtons);
    box->addSpacing(4);
    box->addLayout(closeButtons.row);
    box->setSizeConstraint(QLayout::SetFixedSize);

    connect(ScheduleListBox, &QListWidget::itemSelectionChanged, this, &TScheduleForm::ScheduleListBoxClick);
    connect(NewScheduleButton, &QPushButton::clicked, this, &TScheduleForm::NewScheduleButtonClick);
    connect(DelScheduleButton, &QPushButton::clicked, this, &TScheduleForm::DelScheduleButtonClick);
    connect(CheckBitBtn, &QPushButton::clicked, this, &TScheduleForm::CheckBitBtnClick);
    connect(UncheckBitBtn, &QPushButton::clicked, this, &TScheduleForm::UncheckBitBtnClick);
    connect(InvertBtn, &QPushButton::clicked, this, &TScheduleForm::InvertBtnClick);

    reloadNames();
}

bool TScheduleForm::LoadSchedules(const QString &path)
{
    const bool ok = m_schedules.LoadSchedules(path);
    reloadNames();
    return ok;
}

bool TScheduleForm::SaveSchedules(const QString &path)
{
    return m_schedules.SaveSchedules(path);
}

void TScheduleForm::reloadNames()
{
    NameList::fill(ScheduleListBox, m_schedules.names());
    ScheduleListBoxClick();
}

int TScheduleForm::selectedSchedule() const
{
    return NameList::selectedRow(ScheduleListBox, m_schedules.count());
}

QString TScheduleForm::selectedScheduleName() const
{
    const ScheduleProfile *p = m_schedules.profile(selectedSchedule());
    return p ? p->Name : QString();
}

void TScheduleForm::syncNames()
{
    // The list may have been replaced since the lines were filled in.
    if (!NameList::sync(ScheduleListBox, m_schedules.names()))
        reloadNames();
}

void TScheduleForm::selectSchedule(int index)
{
    syncNames();
    NameList::select(ScheduleListBox, index);
    ScheduleListBoxClick();
}

void TScheduleForm::selectScheduleByName(const QString &name)
{
    selectSchedule(name.isEmpty() ? -1 : m_schedules.indexOf(name));
}

void TScheduleForm::FormShow()
{
    syncNames();
    updateButtons();
    ScheduleGrid->update();
}

void TScheduleForm::ScheduleListBoxClick()
{
    updateButtons();
    ScheduleGrid->update();
}

void TScheduleForm::updateButtons()
{
    const bool on = selectedSchedule() >= 0;
    CheckBitBtn->setEnabled(on);
    UncheckBitBtn->setEnabled(on);
    InvertBtn->setEnabled(on);
}

void TScheduleForm::NewScheduleButtonClick()
{
    if (!m_prompt)
        return;
    QString name;
    if (!m_prompt->inputText(QStringLiteral("New Schedule"), QStringLiteral("Input new Schedule name"), name))
        return;
    if (!m_schedules.New(name)) {
        m_prompt->message(QStringLiteral("Error"), ScheduleList::DuplicateNameMessage);
        return;
    }
    // The new line is appended; the selection stays where it was.
    const QSignalBlocker block(ScheduleListBox);
    ScheduleListBox->addItem(m_schedules.profile(m_schedules.count() - 1)->Name);
}

void TScheduleForm::DelScheduleButtonClick()
{
    const int sel = selectedSchedule();
    if (sel < 0)
        return;
    m_schedules.Del(sel);
    NameList::remove(ScheduleListBox, sel);
    ScheduleListBoxClick();
}

void TScheduleForm::CheckBitBtnClick()
{
    m_schedules.CheckSelected(selectedSchedule(), ScheduleGrid->anchor(), ScheduleGrid->current());
    ScheduleGrid->update();
}

void TScheduleForm::UncheckBitBtnClick()
{
    m_schedules.UncheckSelected(selectedSchedule(), ScheduleGrid->anchor(), ScheduleGrid->current());
    ScheduleGrid->update();
}

void TScheduleForm::InvertBtnClick()
{
    m_schedules.InvertSelected(selectedSchedule(), ScheduleGrid->anchor(), ScheduleGrid->current());
    ScheduleGrid->update();
}
