#pragma once

#include "eventlog/availability.h"

#include <QByteArray>
#include <QDateTime>
#include <QDialog>
#include <QString>

#include <functional>
#include <vector>

class EventLog;
class QComboBox;
class QLabel;
class QPushButton;
class QTableView;
class QTimer;
class UserPrompt;
class AvailabilityModel;

// The availability window: one row per observed object of the event log
// (host and test method as its lines name them) with a timeline bar of the
// last 24 hours, 7 days or 30 days (OK green, failing red, no data grey),
// the percentage of time OK, the number of failures and the longest outage.
// Hovering the bar shows the stretch under the mouse: its start, end and
// status text. The table can be written as CSV and the window as PNG.
//
// The log is read in slices of a few milliseconds between the window's
// events, so a log of a million lines never blocks the window; until the
// figures are ready the rows of the last reading stay and a line under the
// table says how far the reading is. While the window is open it looks for
// new lines every second and reads only those (the whole log again when it
// was cleared meanwhile), and it moves its time window on every minute.
//
// The event log and the prompt (save dialogs, messages) are borrowed and
// must outlive the window.
class TAvailabilityForm : public QDialog
{
    Q_OBJECT
public:
    TAvailabilityForm(const EventLog &log, UserPrompt *prompt, QWidget *parent = nullptr);
    ~TAvailabilityForm() override;

    // The clock that ends the time window (the local time unless set).
    void setClock(std::function<QDateTime()> clock);
    QDateTime now() const;

    Availability::Span span() const;
    void setSpan(Availability::Span span);

    // True once every line of the log has been read and the figures of the
    // present time window are shown; ready() is emitted then.
    bool isReady() const { return m_ready; }
    // The figures shown, one per row.
    const std::vector<Availability::Figures> &rows() const;
    const Availability::Log &log() const { return m_parsed; }

    // Looks for new lines now instead of at the next second.
    void checkForNewLines();

    // The text of the table as CSV: a title row and one row per object.
    QString csvText() const;

    // The tooltip of the timeline of a row at a point in the bar's cell, as
    // the view shows it (empty outside the bar).
    QString timelineToolTip(int row, int x, int width) const;

    QComboBox *SpanBox;
    QTableView *AvailabilityView;
    QLabel *StatusLabel;
    QPushButton *CsvBtn;
    QPushButton *PngBtn;
    QPushButton *CloseBtn;

    // The handlers, callable as the controls call them.
    void SpanBoxChange();
    void CsvBtnClick();
    void PngBtnClick();

    enum Column { HostColumn, MethodColumn, TimelineColumn, PercentColumn, FailuresColumn, OutageColumn, ColumnCount };

signals:
    void ready();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void restart();
    void workSlice();
    void startFigures();
    void updateStatus();

    const EventLog &m_log;
    UserPrompt *m_prompt;
    std::function<QDateTime()> m_clock;
    AvailabilityModel *m_model;
    QTimer *m_work;  // the next slice of reading or computing
    QTimer *m_watch; // new lines, every second
    QTimer *m_slide; // the time window moves on, every minute

    Availability::Log m_parsed;
    int m_fed = 0;           // lines of the log read into m_parsed
    QByteArray m_lastFed;    // the last of them, to notice a cleared log
    std::vector<Availability::Figures> m_next; // figures being computed
    qint64 m_from = 0, m_to = 0;
    bool m_computing = false;
    bool m_ready = false;
};
