#pragma once

#include "core/paths.h"
#include "schedules/schedulestore.h"
#include "widgets/editordialog.h"

#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QListWidget;
class QPushButton;
class UserPrompt;

// The day grid of the schedule editor: 32 columns by 8 rows, the first column
// (60 pixels, the weekday names) and the first row (the days 1 to 31) fixed
// titles; every other column 15 pixels wide, every row 16 pixels high, with a
// one-pixel line between cells. The user selects a rectangle of day cells with
// the mouse (press and drag, Shift+click) or the keyboard (arrows, Home, End,
// Page Up/Down; Shift extends). The selection always holds at least the
// focused cell.
//
// While a profile is given, every cell is painted by precedence: a title cell
// in the button-face colour, a cell of the selection blue, a set cell green,
// any other red. Without a profile the cells are drawn plainly.
class TScheduleGrid : public QWidget
{
    Q_OBJECT
public:
    static constexpr int ColCount = 32, RowCount = 8;
    static constexpr int FirstColWidth = 60, ColWidth = 15, RowHeight = 16, LineWidth = 1;
    static const QColor SelectedColor, SetColor, UnsetColor;

    explicit TScheduleGrid(QWidget *parent = nullptr);

    // The profile whose cells are painted; null draws the grid plainly.
    void setProfile(std::function<const ScheduleProfile *()> profile);

    // The title of a cell: "Days\Hours", the days "1" to "31", the weekdays
    // "Monday" to "Sunday"; empty for a day cell.
    static QString title(int row, int column);
    // The pixel rectangle of a cell (without the lines around it).
    static QRect cellRect(int row, int column);
    // The cell under a point, or {-1, -1}.
    static GridCell cellAt(const QPoint &pos);

    // The selection: the anchor (where it started) and the focused cell.
    GridCell anchor() const { return m_anchor; }
    GridCell current() const { return m_current; }
    // Selects the rectangle between two day cells (clamped to the day cells);
    // the second is the focused one.
    void setSelection(GridCell anchor, GridCell current);
    bool isSelected(int row, int column) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void selectionChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    static GridCell clampToDays(GridCell cell);

    std::function<const ScheduleProfile *()> m_profile;
    GridCell m_anchor{1, 1};
    GridCell m_current{1, 1};
};

// The schedule editor: the list of schedules with "New" and "Del", the day
// grid, the three buttons that set, clear or invert the selected cells of the
// selected schedule, and "OK" and "Cancel", which only close the window:
// every change is in the schedule list as soon as it is made.
//
// The window is created once and reused; its name selection and the grid's
// selection carry over from one opening to the next. Its name list is also
// the picker of the object parameters dialog: that dialog selects a line
// (selectSchedule / selectScheduleByName) before it opens, may open the
// editor (showEditor), and reads the selection afterwards
// (selectedSchedule / selectedScheduleName).
//
// The schedule list is borrowed and must outlive the window; the file is read
// and written only when asked (LoadSchedules at start, SaveSchedules at the
// end). The input box and the message go through the UserPrompt.
class TScheduleForm : public TEditorDialog
{
    Q_OBJECT
public:
    TScheduleForm(ScheduleList &schedules, UserPrompt *prompt, QWidget *parent = nullptr);

    ScheduleList &schedules() { return m_schedules; }
    void setPrompt(UserPrompt *prompt) { m_prompt = prompt; }

    // Reads the schedule file into the list, refills the name list and leaves
    // nothing selected. False when the file could not be read whole; the
    // list then holds the whole records that were read and
    // schedules().errorString() says what happened.
    bool LoadSchedules(const QString &path = Paths::dataFile(QStringLiteral("Schedule.dat")));
    // Writes the list to the file, atomically; false with
    // schedules().errorString() when it could not be written.
    bool SaveSchedules(const QString &path = Paths::dataFile(QStringLiteral("Schedule.dat")));
    // Refills ScheduleListBox from the list (for a list filled or changed
    // outside the window); nothing stays selected.
    void reloadNames();

    // The picker: the selected schedule's position (line i is schedule i), or
    // -1 when none is selected.
    int selectedSchedule() const;
    // The selected schedule's name, or an empty text.
    QString selectedScheduleName() const;
    // Selects line index; nothing for -1 or an index out of range.
    void selectSchedule(int index);
    // Selects the first schedule of that name (letter case ignored); nothing
    // for an empty name or one that matches no schedule.
    void selectScheduleByName(const QString &name);
    // showEditor() (from TEditorDialog) opens the editor modally; neither
    // "OK" nor "Cancel" undoes anything.

    QLabel *ScheduleLabel;
    QListWidget *ScheduleListBox;
    QPushButton *NewScheduleButton;
    QPushButton *DelScheduleButton;
    TScheduleGrid *ScheduleGrid;
    QPushButton *CheckBitBtn;
    QPushButton *UncheckBitBtn;
    QPushButton *InvertBtn;
    QPushButton *OKButton;
    QPushButton *CancelButton;

    // The handlers, callable as the controls call them.
    void FormShow() override;
    void ScheduleListBoxClick();
    void NewScheduleButtonClick();
    void DelScheduleButtonClick();
    void CheckBitBtnClick();
    void UncheckBitBtnClick();
    void InvertBtnClick();

private:
    void syncNames();
    void updateButtons();

    ScheduleList &m_schedules;
    UserPrompt *m_prompt;
};
