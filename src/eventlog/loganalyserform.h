#pragma once

#include "eventlog/logview.h"

#include <QDialog>
#include <QLocale>
#include <QPointer>
#include <QString>

class DesktopServices;
class EventLog;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QWidget;
class TSelectDateForm;
class UserPrompt;

// The log analyser: the event log as a list of four columns, restricted on
// request to the dates from one bound to the other, both included, written as an HTML
// report that is then opened through the desktop, and cleared.
//
// The list is a snapshot: it is built when the window is shown and each time
// "Filter" is clicked, and at no other moment; typing a date or picking one
// changes nothing until then. The filter's state and the two date texts stay
// from one opening to the next.
//
// The event log, the prompt (save dialog, overwrite question, messages) and
// the desktop (opening the report) are borrowed and must outlive the window.
class TLogAnalyserForm : public QDialog
{
    Q_OBJECT
public:
    TLogAnalyserForm(EventLog &log, UserPrompt *prompt, DesktopServices *desktop, QWidget *parent = nullptr);

    // The date picker behind the two picker buttons (the program's single
    // one). Without it the window makes its own when first needed.
    void setDatePicker(TSelectDateForm *picker);
    // The locale whose short-date order and separator the date edits follow
    // (the default locale unless set). Setting it empties both edits.
    void setDateLocale(const QLocale &locale);
    LocaleDateFormat dateFormat() const { return m_format; }

    // Opens the window modally; returns when "OK" or the close box closes it.
    int Execute();

    // The view's rows, as shown now.
    LogViewModel *viewModel() const { return m_model; }

    // An edit's text as the filter and the report read it: unfilled
    // positions are blanks, the separators are always there.
    static QString editText(const QLineEdit *edit);

    QWidget *TopPanel;
    QCheckBox *FilterCheckBox;
    QLabel *StartDateLabel;
    QLineEdit *StartDateEdit;
    QPushButton *SelectFromBtn;
    QLabel *EndDateLabel;
    QLineEdit *EndDateEdit;
    QPushButton *SelectToBtn;
    QTableView *LogListView;
    QPushButton *ClearBtn;
    QPushButton *HTMLBtn;
    QPushButton *OKBtn;

    // The handlers, callable as the controls call them.
    void FormShow();
    void BuildLogView();
    void FilterCheckBoxClick();
    void SelectFromBtnClick();
    void SelectToBtnClick();
    void ClearBtnClick();
    void HTMLBtnClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void pickDate(QLineEdit *edit);
    TSelectDateForm *datePicker();

    EventLog &m_log;
    UserPrompt *m_prompt;
    DesktopServices *m_desktop;
    LogViewModel *m_model;
    LocaleDateFormat m_format;
    QPointer<TSelectDateForm> m_picker;
};
