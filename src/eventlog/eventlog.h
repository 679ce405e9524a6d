#pragma once

#include "core/engine.h"
#include "core/paths.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class QFile;

#include <vector>

// The event log: one line of 8-bit text (Windows-1252) per event, in the
// order the events were appended. It is read whole from data.log at start,
// appended to during the run and written whole back at a normal exit.
//
// The lines are kept as the bytes of the file, in one buffer, each followed
// by its line end, with the offset of each line's start, so that loading
// and saving a log of a million lines takes a few large copies and no
// per-line allocation, and bytes that Unicode text would not carry back
// survive unchanged. A log whose every line ends in CR LF (as every file
// this program writes) is saved with one write of that buffer.
class EventLog : public EventSink
{
public:
    EventLog() = default;

    // Empties the log and fills it from the file at the path, which the log
    // remembers for SaveEventLog(). No file: an empty log and true. A file
    // that exists but cannot be read (no permission, a folder, an I/O error,
    // too large for memory): an empty, usable log, false, and errorString()
    // says what went wrong, naming the file.
    // The text is split at CR LF, lone CR and lone LF; empty lines are kept;
    // a line end at the very end of the file adds no empty line.
    bool LoadEventLog(const QString &path = Paths::dataFile(QStringLiteral("data.log")));

    // Writes every line followed by CR LF to the file of the last load (the
    // data folder's data.log when nothing was loaded), replacing it
    // atomically: a write that fails leaves the old file as it was. On
    // success the lines are released (the log is empty); on failure the
    // lines are kept, false is returned and errorString() names the file.
    bool SaveEventLog();
    bool SaveEventLog(const QString &path);

    // Text of the last failed load or save; empty after a success.
    QString errorString() const { return m_error; }
    // The file LoadEventLog() read (or tried to read).
    QString path() const { return m_path; }

    // Appends one line. The engine and the probes build the whole line.
    // A CR or LF inside the text would split the line in two when the file
    // is read back, so each is stored as a blank.
    void appendLine(const QString &line) override;
    // The same for a line already in Windows-1252 bytes.
    void appendRawLine(QByteArrayView bytes);

    int count() const { return m_starts.empty() ? 0 : int(m_starts.size() - 1); }
    // The line at the 0-based index as text; empty for an index out of range.
    QString line(int index) const;
    // The line's bytes as stored, valid until the log next changes; empty
    // for an index out of range.
    QByteArrayView rawLine(int index) const;

    // Removes every line. The file is not touched.
    void Clear();

private:
    void readWhole(QFile &file);
    void splitLines();

    // Line i is m_data[m_starts[i], m_starts[i + 1]), its line end (CR LF,
    // CR or LF) included; every line has one. Empty log: both empty.
    QByteArray m_data;
    std::vector<qsizetype> m_starts;
    bool m_allCrLf = true; // every line end in m_data is CR LF
    QString m_path;
    QString m_error;
};
