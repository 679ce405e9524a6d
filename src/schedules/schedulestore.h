#pragma once

#include "core/engine.h"
#include "core/paths.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

// One named schedule: a grid of 8 rows x 33 columns of bytes. Rows 1 to 7
// are the weekdays (1 Monday .. 7 Sunday), columns 1 to 31 the days of the
// month; row 0 and columns 0 and 32 carry no day and stay 0. A cell that is
// not 0 allows its day.
struct ScheduleProfile {
    static constexpr int Rows = 8;
    static constexpr int Columns = 33;
    static constexpr int FirstDayRow = 1, LastDayRow = 7;
    static constexpr int FirstDayColumn = 1, LastDayColumn = 31;

    QString Name;
    std::array<std::array<quint8, Columns>, Rows> Grid{}; // every cell 0

    // The cell of the date's weekday row and day-of-month column is set.
    bool allows(const QDate &date) const;
};

// A cell of the grid, for the corners of a selection rectangle.
struct GridCell {
    int row = 0;
    int column = 0;
};

// The ordered list of schedules and its file, Schedule.dat: a signed 32-bit
// little-endian count, then one 520-byte record per schedule: the name's
// length byte, 255 name bytes (Windows-1252, or UTF-8 for a name the code
// page cannot hold; zeros after the name), and the
// 264 grid bytes, the cell of row r and column c at 256 + 33 * r + c.
class ScheduleList
{
public:
    static constexpr int RecordSize = 520;
    static constexpr int NameBytes = 255;
    static constexpr int GridOffset = 256;
    // The message the editor shows when New is given a name already taken.
    static const QString DuplicateNameMessage;

    // Empties the list and reads the file when it exists. No file: an empty
    // list and true. A file that cannot be opened, or that holds fewer whole
    // records than its count announces: the list keeps the whole records
    // that were read (or none), false is returned and errorString() says
    // what happened, naming the file. A count of 0 or less means no
    // schedules (a negative one is reported as damage); an empty file holds
    // no schedules; bytes past the announced records are ignored. After such
    // a failure the next save first keeps the old file as Schedule.dat.bak
    // (the message says so); a folder or a pipe in its place is never
    // replaced.
    bool LoadSchedules(const QString &path = Paths::dataFile(QStringLiteral("Schedule.dat")));
    // Writes the count and every record in list order, replacing the file
    // atomically (in place when the folder takes no new file but the file
    // may be written): when the write fails the old file stays as it was,
    // false is returned and errorString() names the file and the cause.
    bool SaveSchedules(const QString &path = Paths::dataFile(QStringLiteral("Schedule.dat")));
    QString errorString() const { return m_error; }

    // The file's bytes for the list, as SaveSchedules writes them.
    QByteArray encode() const;

    int count() const { return int(m_profiles.size()); }
    // Null for an index out of range.
    ScheduleProfile *profile(int index);
    const ScheduleProfile *profile(int index) const;
    QStringList names() const;

    // Position of the first profile whose name equals the text, letter case
    // ignored; -1 when none does.
    int indexOf(const QString &name) const;
    // The first profile of that name, or null.
    const ScheduleProfile *find(const QString &name) const;

    // Appends a profile of that name (cut to 255 characters) with every cell
    // 0. Refuses, and returns false, when a profile of that name exists
    // (letter case ignored); the editor then shows DuplicateNameMessage.
    // An empty name is accepted like any other.
    bool New(const QString &name);
    // Removes the profile at the index; nothing for an index out of range.
    void Del(int index);

    // Cell operations of the editor over the rectangle between two corner
    // cells, both included, in any order. They touch only the day cells
    // (rows 1-7, columns 1-31); parts of the rectangle outside them are
    // ignored. Nothing happens for an index out of range.
    void CheckSelected(int index, GridCell corner1, GridCell corner2);
    void UncheckSelected(int index, GridCell corner1, GridCell corner2);
    void InvertSelected(int index, GridCell corner1, GridCell corner2);

    // True when the schedule of that name allows the date; true when the
    // name is empty or matches no schedule.
    bool isAllowedOn(const QString &name, const QDate &date) const;

private:
    template <typename Op> void forCells(int index, GridCell a, GridCell b, Op op);

    QList<ScheduleProfile> m_profiles;
    QString m_error;
    QString m_keepOldFile; // the file the last load could not read whole
};

// The engine's gate before each timed test: the object's ScheduleName is
// looked up in the list, and today's cell of that schedule decides. It reads
// the list at every call, so an edit applies from the next tick on.
class ScheduleTestGate : public ScheduleGate
{
public:
    // `today` gives the local date; by default the current one.
    ScheduleTestGate(const ScheduleList &schedules, const MonitorEngine &engine, std::function<QDate()> today = {});

    void setToday(std::function<QDate()> today) { m_today = std::move(today); }

    // True when the object at the position may be tested today: its
    // schedule name is empty or matches nothing, or the schedule's cell for
    // today's weekday and day of the month is set. True for a position
    // that holds no object.
    bool IsTestAllowedNow(int position) const;
    bool isTestAllowedNow(int position) override { return IsTestAllowedNow(position); }

private:
    const ScheduleList &m_schedules;
    const MonitorEngine &m_engine;
    std::function<QDate()> m_today;
};
