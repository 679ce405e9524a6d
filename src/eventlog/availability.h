#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// How often each observed object was up, built from the event log.
//
// The log holds one line per change of an object's outcome, so an object's
// state between two of its lines is the state of the earlier one. Its
// status field tells the state: a status ending in "OK" (the pass texts of
// every test method: "gw Ping OK", "\"C:\\\" OK", "\"f\" test OK") is OK,
// anything else is failing. "Sentrova Stopped" ends every object's known
// state (the time until the next "Sentrova Started" is no data, since
// nothing was tested on its timer); "Sentrova Started" brings back each
// object's last reported state. Before an object's first line its state is
// unknown. An object is its host field and test method together, so one host
// watched by two methods makes two rows.
//
// Times are the wall-clock times the lines carry, counted in seconds without
// any time zone ("wall seconds"), so that the figures of a log do not depend
// on where they are computed. A line dated earlier than the line before it
// (a clock set back, an hour of summer time given back) counts as happening
// at the time of the line before, so no stretch has a negative length.
//
// Lines are fed one at a time in log order (feed), which is cheap enough for
// a window to feed a log of a million lines in slices; the figures of a
// time window are then computed per object (figures).
namespace Availability
{

enum class State : quint8 { NoData, Ok, Failing };

// The spans the window offers.
enum class Span { Day, Week, Month };
qint64 spanSeconds(Span span);
QString spanText(Span span); // "24 hours", "7 days", "30 days"

// Wall seconds of a local date and time, and back.
qint64 wallSeconds(const QDateTime &when);
qint64 wallSeconds(int year, int month, int day, int hour, int minute, int second);
QDateTime fromWallSeconds(qint64 seconds);
// "dd.mm.yyyy hh:nn:ss", as the log writes times (":" as the separator).
QString wallText(qint64 seconds);
// A duration as "1 d 2:03:04" or "2:03:04".
QString durationText(qint64 seconds);

// Reads the event time at the start of a log line: "dd.mm.yyyy hh:nn:ss",
// any one non-digit character between hours, minutes and seconds (the
// locale's time separator of the run that wrote it), a real date and time.
// False when the line does not start with one.
bool parseEventTime(QByteArrayView line, qint64 *wallSeconds);

// True when a status field is the text of a passed test.
bool isOkStatus(QByteArrayView status);

// One stretch of time in a single state.
struct Stretch {
    qint64 start = 0; // wall seconds, included
    qint64 end = 0;   // wall seconds, excluded
    State state = State::NoData;
    QString status; // the status field of the line that began it; for no data "No data" or "Observer stopped"

    bool operator==(const Stretch &) const = default;
};

// The figures of one object over a time window.
struct Figures {
    QString host;
    QString method;
    qint64 from = 0, to = 0;
    qint64 okSeconds = 0;
    qint64 failingSeconds = 0;
    qint64 noDataSeconds = 0;
    // Time OK out of the time with data, in percent; -1 when the window
    // holds no data at all for the object.
    double percentOk = -1;
    // Changes from a state that was not failing to failing inside the window.
    int failures = 0;
    // The longest unbroken failing time inside the window (clipped to it);
    // a change from one failure text to another does not break it, a stop
    // of the observer does.
    qint64 longestOutage = 0;
    // The window from start to end without gaps, in order; neighbours
    // differ in state or text.
    std::vector<Stretch> stretches;
};

class Log
{
public:
    Log() = default;

    // Takes the next line of the log (bytes as stored, Windows-1252 or
    // UTF-8). Lines without an event time, or with fewer than four fields,
    // are counted and skipped.
    void feed(QByteArrayView line);
    void clear();

    qint64 linesFed() const { return m_lines; }
    qint64 linesSkipped() const { return m_skipped; }
    // The latest time of any line fed (clamped as described above); 0 when
    // no dated line was fed.
    qint64 lastTime() const { return m_lastTime; }

    int objectCount() const { return int(m_objects.size()); }
    QString host(int object) const;
    QString method(int object) const;
    // Object lines fed for the object.
    int eventCount(int object) const { return int(m_objects[size_t(object)].events.size()); }

    // The object's figures over [from, to) in wall seconds; to > from.
    Figures figures(int object, qint64 from, qint64 to) const;
    // Every object's figures, in the order the objects first appear.
    std::vector<Figures> allFigures(qint64 from, qint64 to) const;

private:
    struct Event {
        qint64 time;
        quint32 seq; // the line's position among the dated lines
        quint32 text;
        State state;
    };
    struct Observer {
        qint64 time;
        quint32 seq;
        bool started;
    };
    struct Object {
        QByteArray host, method;
        std::vector<QByteArray> texts;
        std::unordered_map<std::string_view, quint32> textIndex;
        std::vector<Event> events;
    };

    std::vector<Object> m_objects;
    std::unordered_map<std::string, int> m_index; // host + '\n' + method
    std::vector<Observer> m_observer;
    std::string m_key; // scratch for the lookups
    qint64 m_lines = 0;
    qint64 m_skipped = 0;
    qint64 m_lastTime = 0;
    bool m_anyTime = false;
    quint32 m_seq = 0;
};

} // namespace Availability
