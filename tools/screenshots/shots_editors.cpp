// Shots of the alert profile editor and the schedule editor with sample data.
#include "shots.h"

#include "alerts/alertprofileform.h"
#include "core/prompt.h"
#include "schedules/scheduleform.h"

#include <QLineEdit>
#include <QListWidget>

namespace
{

// Answers nothing and shows nothing: the shots must never wait for a click.
class QuietPrompt : public UserPrompt
{
public:
    Answer confirm(const QString &, const QString &) override { return Cancel; }
    bool okCancel(const QString &, const QString &) override { return false; }
    void message(const QString &, const QString &) override {}
    bool inputText(const QString &, const QString &, QString &) override { return false; }
    QString openFileName(const QString &, const QString &, const QString &) override { return QString(); }
    QString saveFileName(const QString &, const QString &) override { return QString(); }
};

void sampleProfiles(AlertProfileList &list)
{
    list.addProfile(QStringLiteral("Servers"));
    list.addProfile(QStringLiteral("Web sites - office hours"));
    list.addProfile(QStringLiteral("Backup disk"));
    list.setAction(0, false, aaShowMessage, true);
    list.setAction(0, false, aaPlaySound, true);
    list.setAction(0, false, aaSendEMail, true);
    list.setAction(0, true, aaShowMessage, true);
    list.setAction(0, true, aaSendEMail, true);
    list.setParameter(0, false, aaPlaySound,
                      QStringLiteral("/usr/share/sounds/freedesktop/stereo/alarm-clock-elapsed.oga"));
    list.setParameter(0, false, aaSendEMail, QStringLiteral("admin@example.org"));
    list.setParameter(0, true, aaSendEMail, QStringLiteral("admin@example.org"));
}

const Shots::Register alertEditor(QStringLiteral("alertprofileform"), [](const Shots::Context &ctx) {
    QuietPrompt prompt;
    AlertProfileList list(ctx.dataDir + QStringLiteral("/profile-shot.dat"));
    sampleProfiles(list);
    TAlertProfileForm form(list, &prompt);
    form.selectProfile(0);
    form.show();
    // The Dead "Play Sound" action clicked: its panel shows the sound file.
    form.DeadListBox->setCurrentRow(aaPlaySound);
    form.DeadListBoxClick();
    Shots::save(ctx, &form, QStringLiteral("alertprofileform"));
});

const Shots::Register alertEditorAlive(QStringLiteral("alertprofileform-alive-mail"), [](const Shots::Context &ctx) {
    QuietPrompt prompt;
    AlertProfileList list(ctx.dataDir + QStringLiteral("/profile-shot.dat"));
    sampleProfiles(list);
    TAlertProfileForm form(list, &prompt);
    form.selectProfile(0);
    form.show();
    form.AliveListBox->setCurrentRow(aaSendEMail);
    form.AliveListBoxClick();
    Shots::save(ctx, &form, QStringLiteral("alertprofileform-alive-mail"));
});

const Shots::Register alertEditorNone(QStringLiteral("alertprofileform-none"), [](const Shots::Context &ctx) {
    QuietPrompt prompt;
    AlertProfileList list(ctx.dataDir + QStringLiteral("/profile-shot.dat"));
    sampleProfiles(list);
    TAlertProfileForm form(list, &prompt);
    form.selectProfile(-1);
    Shots::save(ctx, &form, QStringLiteral("alertprofileform-none"));
});

void sampleSchedules(ScheduleList &list)
{
    list.New(QStringLiteral("Working days"));
    list.New(QStringLiteral("Weekends"));
    list.New(QStringLiteral("First of the month"));
    // Working days: Monday to Friday, every day of the month.
    list.CheckSelected(0, {1, 1}, {5, 31});
    // Then a few days off at the month's end.
    list.UncheckSelected(0, {1, 24}, {5, 26});
}

const Shots::Register scheduleEditor(QStringLiteral("scheduleform"), [](const Shots::Context &ctx) {
    QuietPrompt prompt;
    ScheduleList list;
    sampleSchedules(list);
    TScheduleForm form(list, &prompt);
    form.selectSchedule(0);
    form.ScheduleGrid->setSelection({6, 10}, {7, 15});
    Shots::save(ctx, &form, QStringLiteral("scheduleform"));
});

const Shots::Register scheduleEditorNone(QStringLiteral("scheduleform-none"), [](const Shots::Context &ctx) {
    QuietPrompt prompt;
    ScheduleList list;
    sampleSchedules(list);
    TScheduleForm form(list, &prompt);
    form.selectSchedule(-1);
    form.ScheduleGrid->setSelection({2, 3}, {3, 8});
    Shots::save(ctx, &form, QStringLiteral("scheduleform-none"));
});

} // namespace
