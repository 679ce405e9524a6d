#pragma once

#include <QDate>
#include <QDialog>
#include <QString>

class QCalendarWidget;
class QLabel;
class QPushButton;
class UserPrompt;

// The date picker: a month calendar the log analyser takes its date bounds
// from. The caller sets the calendar's date before showing it and reads it
// after OK.
class TSelectDateForm : public QDialog
{
    Q_OBJECT
public:
    explicit TSelectDateForm(QWidget *parent = nullptr);

    void setProgramDir(const QString &dir) { m_programDir = dir; }
    void setPrompt(UserPrompt *prompt) { m_prompt = prompt; }

    void setDate(const QDate &date);
    QDate date() const;
    // Shows the picker on the given date. True, with the chosen date in
    // date, when closed with OK; on Cancel date is left alone.
    bool selectDate(QDate &date);

    QLabel *LogoImage;
    QLabel *HeadingLabel;
    QCalendarWidget *MonthCalendar1;
    QPushButton *OKButton;
    QPushButton *CancelButton;

    void setVisible(bool visible) override;

private:
    QString m_programDir;
    UserPrompt *m_prompt = nullptr;
};
