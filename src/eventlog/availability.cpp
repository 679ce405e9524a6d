#include "availability.h"

#include "core/ansitext.h"

#include <QDate>
#include <QTime>

#include <algorithm>
#include <limits>

namespace Availability
{

namespace
{

// Days from 1 January 1970 to the given civil date (proleptic Gregorian).
qint64 daysFromCivil(qint64 y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + qint64(doe) - 719468;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int twoDigits(const char *p)
{
    return (p[0] - '0') * 10 + (p[1] - '0');
}

std::string_view view(QByteArrayView bytes)
{
    return std::string_view(bytes.data(), size_t(bytes.size()));
}

const QString &noDataText()
{
    static const QString text = QStringLiteral("No data");
    return text;
}

const QString &stoppedText()
{
    static const QString text = QStringLiteral("Observer stopped");
    return text;
}

} // namespace

qint64 spanSeconds(Span span)
{
    switch (span) {
    case Span::Day:
        return 86400;
    case Span::Week:
        return 7 * 86400;
    case Span::Month:
        break;
    }
    return 30 * 86400;
}

QString spanText(Span span)
{
    switch (span) {
    case Span::Day:
        return QStringLiteral("24 hours");
    case Span::Week:
        return QStringLiteral("7 days");
    case Span::Month:
        break;
    }
    return QStringLiteral("30 days");
}

qint64 wallSeconds(int year, int month, int day, int hour, int minute, int second)
{
    return daysFromCivil(year, unsigned(month), unsigned(day)) * 86400 + hour * 3600 + minute * 60 + second;
}

qint64 wallSeconds(const QDateTime &when)
{
    const QDate d = when.date();
    const QTime t = when.time();
    return wallSeconds(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
}

QDateTime fromWallSeconds(qint64 seconds)
{
    qint64 days = seconds / 86400;
    qint64 rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    const QDate date = QDate(1970, 1, 1).addDays(days);
    return QDateTime(date, QTime(int(rest / 3600), int(rest / 60 % 60), int(rest % 60)));
}

QString wallText(qint64 seconds)
{
    return fromWallSeconds(seconds).toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
}

QString durationText(qint64 seconds)
{
    if (seconds < 0)
        seconds = 0;
    const qint64 days = seconds / 86400;
    const qint64 rest = seconds % 86400;
    const QString clock = QStringLiteral("%1:%2:%3")
                              .arg(rest / 3600)
                              .arg(rest / 60 % 60, 2, 10, QLatin1Char('0'))
                              .arg(rest % 60, 2, 10, QLatin1Char('0'));
    return days ? QStringLiteral("%1 d %2").arg(days).arg(clock) : clock;
}

bool parseEventTime(QByteArrayView line, qint64 *seconds)
{
    if (line.size() < 19)
        return false;
    const char *p = line.data();
    static constexpr int digits[] = {0, 1, 3, 4, 6, 7, 8, 9, 11, 12, 14, 15, 17, 18};
    for (int i : digits)
        if (!isDigit(p[i]))
            return false;
    if (p[2] != '.' || p[5] != '.' || p[10] != ' ' || isDigit(p[13]) || isDigit(p[16]))
        return false;
    const int day = twoDigits(p), month = twoDigits(p + 3);
    const int year = twoDigits(p + 6) * 100 + twoDigits(p + 8);
    const int hour = twoDigits(p + 11), minute = twoDigits(p + 14), second = twoDigits(p + 17);
    if (!QDate::isValid(year, month, day) || hour > 23 || minute > 59 || second > 59)
        return false;
    *seconds = wallSeconds(year, month, day, hour, minute, second);
    return true;
}

bool isOkStatus(QByteArrayView status)
{
    qsizetype n = status.size();
    while (n > 0 && (status[n - 1] == ' ' || status[n - 1] == '\t'))
        --n;
    if (n < 2)
        return false;
    const char o = status[n - 2], k = status[n - 1];
    if ((o != 'O' && o != 'o') || (k != 'K' && k != 'k'))
        return false;
    // "OK" alone, or "OK" after a blank or a closing quote, not "LOOK".
    return n == 2 || status[n - 3] == ' ' || status[n - 3] == '"';
}

void Log::clear()
{
    *this = Log();
}

QString Log::host(int object) const
{
    const QByteArray &b = m_objects[size_t(object)].host;
    return Ansi::toUnicode(b.constData(), b.size());
}

QString Log::method(int object) const
{
    const QByteArray &b = m_objects[size_t(object)].method;
    return Ansi::toUnicode(b.constData(), b.size());
}

void Log::feed(QByteArrayView line)
{
    ++m_lines;
    qint64 time = 0;
    const std::string_view text = view(line);
    const size_t s1 = text.find(";;");
    // The event time is the whole first field.
    if (s1 != 19 || !parseEventTime(line, &time)) {
        ++m_skipped;
        return;
    }
    const size_t s2 = text.find(";;", s1 + 2);
    const size_t s3 = s2 == std::string_view::npos ? s2 : text.find(";;", s2 + 2);
    if (s3 == std::string_view::npos) {
        ++m_skipped;
        return;
    }
    const std::string_view host = text.substr(s1 + 2, s2 - s1 - 2);
    const std::string_view status = text.substr(s2 + 2, s3 - s2 - 2);
    const std::string_view method = text.substr(s3 + 2);

    if (m_anyTime && time < m_lastTime)
        time = m_lastTime; // never back in time
    m_lastTime = time;
    m_anyTime = true;
    const quint32 seq = m_seq++;

    if (method == "Inner" && (host == "Sentrova Started" || host == "Sentrova Stopped")) {
        m_observer.push_back({time, seq, host == "Sentrova Started"});
        return;
    }

    m_key.assign(host);
    m_key.push_back('\n');
    m_key.append(method);
    auto found = m_index.find(m_key);
    if (found == m_index.end()) {
        found = m_index.emplace(m_key, int(m_objects.size())).first;
        Object o;
        o.host = QByteArray(host.data(), qsizetype(host.size()));
        o.method = QByteArray(method.data(), qsizetype(method.size()));
        m_objects.push_back(std::move(o));
    }
    Object &o = m_objects[size_t(found->second)];

    quint32 textId;
    const auto known = o.textIndex.find(status);
    if (known != o.textIndex.end()) {
        textId = known->second;
    } else {
        textId = quint32(o.texts.size());
        o.texts.emplace_back(status.data(), qsizetype(status.size()));
        // The view points into the stored bytes, which never move.
        o.textIndex.emplace(view(o.texts.back()), textId);
    }
    o.events.push_back({time, seq, textId, isOkStatus(QByteArrayView(status.data(), qsizetype(status.size())))
                                               ? State::Ok
                                               : State::Failing});
}

Figures Log::figures(int object, qint64 from, qint64 to) const
{
    const Object &o = m_objects[size_t(object)];
    Figures f;
    f.host = host(object);
    f.method = method(object);
    f.from = from;
    f.to = to;
    if (to <= from)
        return f;

    // The state at the window's start: the last line before it.
    const auto firstEvent = std::partition_point(o.events.begin(), o.events.end(),
                                                 [from](const Event &e) { return e.time < from; });
    const auto firstObserver = std::partition_point(m_observer.begin(), m_observer.end(),
                                                    [from](const Observer &e) { return e.time < from; });
    State reported = State::NoData;
    qint64 reportedText = -1;
    if (firstEvent != o.events.begin()) {
        reported = std::prev(firstEvent)->state;
        reportedText = std::prev(firstEvent)->text;
    }
    bool running = firstObserver == m_observer.begin() || std::prev(firstObserver)->started;

    // The effective state: nothing is known while the observer is stopped.
    // Text ids: the line's text, or -1 no data, -2 observer stopped.
    struct Key {
        State state;
        qint64 text;
        bool operator==(const Key &) const = default;
    };
    auto effective = [&]() -> Key {
        if (!running)
            return {State::NoData, -2};
        if (reported == State::NoData)
            return {State::NoData, -1};
        return {reported, reportedText};
    };
    auto textOf = [&](const Key &k) -> QString {
        if (k.text == -1)
            return noDataText();
        if (k.text == -2)
            return stoppedText();
        const QByteArray &b = o.texts[size_t(k.text)];
        return Ansi::toUnicode(b.constData(), b.size());
    };

    std::vector<Key> keys; // beside f.stretches
    Key current = effective();
    qint64 currentStart = from;
    auto close = [&](qint64 at) {
        if (at <= currentStart)
            return;
        if (!keys.empty() && keys.back() == current) {
            f.stretches.back().end = at;
        } else {
            keys.push_back(current);
            f.stretches.push_back({currentStart, at, current.state, textOf(current)});
        }
        currentStart = at;
    };

    auto ev = firstEvent;
    auto ob = firstObserver;
    while (true) {
        const bool evIn = ev != o.events.end() && ev->time < to;
        const bool obIn = ob != m_observer.end() && ob->time < to;
        if (!evIn && !obIn)
            break;
        qint64 at;
        if (evIn && (!obIn || ev->seq < ob->seq)) {
            at = ev->time;
            if (ev->state == State::Failing && reported != State::Failing)
                ++f.failures;
            reported = ev->state;
            reportedText = ev->text;
            ++ev;
        } else {
            at = ob->time;
            running = ob->started;
            ++ob;
        }
        const Key next = effective();
        if (next == current)
            continue;
        close(at);
        current = next;
        currentStart = at;
    }
    close(to);

    qint64 run = 0;
    for (size_t i = 0; i < f.stretches.size(); ++i) {
        const Stretch &s = f.stretches[i];
        const qint64 length = s.end - s.start;
        switch (s.state) {
        case State::Ok:
            f.okSeconds += length;
            break;
        case State::Failing:
            f.failingSeconds += length;
            break;
        case State::NoData:
            f.noDataSeconds += length;
            break;
        }
        run = s.state == State::Failing ? run + length : 0;
        f.longestOutage = std::max(f.longestOutage, run);
    }
    const qint64 known = f.okSeconds + f.failingSeconds;
    f.percentOk = known > 0 ? 100.0 * double(f.okSeconds) / double(known) : -1;
    return f;
}

std::vector<Figures> Log::allFigures(qint64 from, qint64 to) const
{
    std::vector<Figures> out;
    out.reserve(m_objects.size());
    for (int i = 0; i < objectCount(); ++i)
        out.push_back(figures(i, from, to));
    return out;
}

} // namespace Availability
