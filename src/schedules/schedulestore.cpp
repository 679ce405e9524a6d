#include "schedulestore.h"

#include "core/ansitext.h"
#include "core/binaryio.h"
#include "core/storefile.h"

#include <QFile>

#include <algorithm>
#include <cstring>

const QString ScheduleList::DuplicateNameMessage = QStringLiteral("Schedule with this name already exists");

namespace
{

QString describe(const QString &what, const QString &path, const QString &reason)
{
    return QStringLiteral("%1 \"%2\": %3").arg(what, path, reason);
}

ScheduleProfile decodeRecord(const char *rec)
{
    ScheduleProfile p;
    p.Name = Bin::getShortString(rec, 0, ScheduleList::NameBytes);
    for (int r = 0; r < ScheduleProfile::Rows; ++r)
        for (int c = 0; c < ScheduleProfile::Columns; ++c)
            p.Grid[r][c] = quint8(rec[ScheduleList::GridOffset + ScheduleProfile::Columns * r + c]);
    return p;
}

} // namespace

// ---- profile ---------------------------------------------------------------

bool ScheduleProfile::allows(const QDate &date) const
{
    if (!date.isValid())
        return true; // no date to judge by: do not block the test
    return Grid[size_t(date.dayOfWeek())][size_t(date.day())] != 0;
}

// ---- file ------------------------------------------------------------------

QByteArray ScheduleList::encode() const
{
    QByteArray out(4 + qsizetype(RecordSize) * m_profiles.size(), '\0');
    Bin::putInt32(out, 0, qint32(m_profiles.size()));
    int offset = 4;
    for (const ScheduleProfile &p : m_profiles) {
        QByteArray rec(RecordSize, '\0');
        Bin::putShortString(rec, 0, p.Name, NameBytes);
        for (int r = 0; r < ScheduleProfile::Rows; ++r)
            for (int c = 0; c < ScheduleProfile::Columns; ++c)
                rec[GridOffset + ScheduleProfile::Columns * r + c] = char(p.Grid[r][c]);
        std::memcpy(out.data() + offset, rec.constData(), RecordSize);
        offset += RecordSize;
    }
    return out;
}

bool ScheduleList::LoadSchedules(const QString &path)
{
    m_profiles.clear();
    m_error.clear();
    m_keepOldFile.clear();
    // Whatever could not be read is kept as Schedule.dat.bak at the next
    // save rather than replaced by the list read so far; the message says
    // so once, at start.
    auto fail = [&](const QString &what, const QString &reason) {
        m_error = describe(what, path, reason) + QLatin1Char('\n') + StoreFile::backupNotice(path);
        m_keepOldFile = path;
        return false;
    };

    // A folder, a pipe or a device holds no schedules; a pipe would block.
    QFile file;
    QString reason;
    switch (StoreFile::openForReading(path, file, &reason)) {
    case StoreFile::OpenStatus::Missing:
        return true; // first start: no schedules, nothing to say
    case StoreFile::OpenStatus::NotRegular:
        m_error = describe(QStringLiteral("Cannot read the schedules"), path, reason);
        m_keepOldFile = path; // nothing is kept, but nothing replaces it either
        return false;
    case StoreFile::OpenStatus::Failed:
        return fail(QStringLiteral("Cannot read the schedules"), reason);
    case StoreFile::OpenStatus::Opened:
        break;
    }

    // The count first, then record by record up to the count or the end of
    // the file, whichever comes first: a damaged count can neither make us
    // allocate for records that are not there nor read past the file.
    char head[4];
    const qint64 got = file.read(head, 4);
    if (got == 0 && file.error() == QFileDevice::NoError)
        return true; // an empty file holds no schedules
    if (got != 4)
        return fail(QStringLiteral("The schedule file is damaged"),
                    QStringLiteral("it is too short to hold its count of schedules"));
    const qint32 announced = Bin::getInt32(head, 0);
    if (announced < 0)
        return fail(QStringLiteral("The schedule file is damaged"),
                    QStringLiteral("its count of schedules is negative (%1)").arg(announced));
    char rec[RecordSize];
    for (qint32 i = 0; i < announced; ++i) {
        if (file.read(rec, RecordSize) != RecordSize) {
            const QString why = file.error() != QFileDevice::NoError
                                    ? file.errorString()
                                    : QStringLiteral("it announces %1 schedules but holds only %2")
                                          .arg(announced)
                                          .arg(m_profiles.size());
            return fail(QStringLiteral("The schedule file is damaged"), why);
        }
        m_profiles.append(decodeRecord(rec));
    }
    return true;
}

bool ScheduleList::SaveSchedules(const QString &path)
{
    m_error.clear();
    QString reason;
    // The file that could not be read at start is kept aside once.
    if (m_keepOldFile == path && !StoreFile::keepBackup(path, &reason)) {
        m_error = describe(QStringLiteral("Cannot keep the old schedules"), path,
                           reason + QStringLiteral("; the file was not replaced"));
        return false;
    }
    if (m_keepOldFile == path)
        m_keepOldFile.clear();
    if (!StoreFile::write(path, encode(), &reason)) {
        m_error = describe(QStringLiteral("Cannot write the schedules"), path, reason);
        return false;
    }
    return true;
}

// ---- list ------------------------------------------------------------------

ScheduleProfile *ScheduleList::profile(int index)
{
    if (index < 0 || index >= count())
        return nullptr;
    return &m_profiles[index];
}

const ScheduleProfile *ScheduleList::profile(int index) const
{
    if (index < 0 || index >= count())
        return nullptr;
    return &m_profiles[index];
}

QStringList ScheduleList::names() const
{
    QStringList out;
    out.reserve(m_profiles.size());
    for (const ScheduleProfile &p : m_profiles)
        out.append(p.Name);
    return out;
}

int ScheduleList::indexOf(const QString &name) const
{
    for (int i = 0; i < count(); ++i)
        if (m_profiles[i].Name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

const ScheduleProfile *ScheduleList::find(const QString &name) const
{
    return profile(indexOf(name));
}

bool ScheduleList::New(const QString &name)
{
    // Compared as it will be stored, so that two names that differ only
    // past the 255th character cannot both get in.
    const QString stored = Ansi::cut(name, NameBytes);
    if (indexOf(stored) >= 0)
        return false;
    ScheduleProfile p;
    p.Name = stored;
    m_profiles.append(p);
    return true;
}

void ScheduleList::Del(int index)
{
    if (index >= 0 && index < count())
        m_profiles.removeAt(index);
}

template <typename Op> void ScheduleList::forCells(int index, GridCell a, GridCell b, Op op)
{
    ScheduleProfile *p = profile(index);
    if (!p)
        return;
    const int top = std::max(std::min(a.row, b.row), int(ScheduleProfile::FirstDayRow));
    const int bottom = std::min(std::max(a.row, b.row), int(ScheduleProfile::LastDayRow));
    const int left = std::max(std::min(a.column, b.column), int(ScheduleProfile::FirstDayColumn));
    const int right = std::min(std::max(a.column, b.column), int(ScheduleProfile::LastDayColumn));
    for (int r = top; r <= bottom; ++r)
        for (int c = left; c <= right; ++c)
            op(p->Grid[size_t(r)][size_t(c)]);
}

void ScheduleList::CheckSelected(int index, GridCell corner1, GridCell corner2)
{
    forCells(index, corner1, corner2, [](quint8 &cell) { cell = 1; });
}

void ScheduleList::UncheckSelected(int index, GridCell corner1, GridCell corner2)
{
    forCells(index, corner1, corner2, [](quint8 &cell) { cell = 0; });
}

void ScheduleList::InvertSelected(int index, GridCell corner1, GridCell corner2)
{
    forCells(index, corner1, corner2, [](quint8 &cell) { cell = cell ? 0 : 1; });
}

bool ScheduleList::isAllowedOn(const QString &name, const QDate &date) const
{
    if (name.isEmpty())
        return true;
    const ScheduleProfile *p = find(name);
    return !p || p->allows(date);
}

// ---- gate ------------------------------------------------------------------

ScheduleTestGate::ScheduleTestGate(const ScheduleList &schedules, const MonitorEngine &engine,
                                   std::function<QDate()> today)
    : m_schedules(schedules), m_engine(engine), m_today(std::move(today))
{
}

bool ScheduleTestGate::IsTestAllowedNow(int position) const
{
    const ObserverObject *o = m_engine.object(position);
    if (!o || o->record.ScheduleName.isEmpty())
        return true;
    const QDate today = m_today ? m_today() : QDate::currentDate();
    return m_schedules.isAllowedOn(o->record.ScheduleName, today);
}
