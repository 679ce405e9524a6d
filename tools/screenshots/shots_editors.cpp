// Shots of the alert profile editor and the schedule editor with sample data.
#include "shots.h"

#include "alerts/alertprofileform.h"
#include "schedules/scheduleform.h"

#include <QLineEdit>
#include <QListWidget>

#include <functional>

namespace
{

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

// The alert profile editor over the sample profiles, set up by arrange.
void alertShot(const Shots::Context &ctx, const QString &name, const std::function<void(TAlertProfileForm &)> &arrange)
{
    AlertProfileList list(ctx.dataDir + QStringLiteral("/profile-shot.dat"));
    sampleProfiles(list);
    TAlertProfileForm form(list, &Shots::quietPrompt());
    arrange(form);
    Shots::save(ctx, &form, name);
}

const Shots::Register alertEditor(QStringLiteral("alertprofileform"), [](const Shots::Context &ctx) {
    alertShot(ctx, QStringLiteral("alertprofileform"), [](TAlertProfileForm &form) {
        form.selectProfile(0);
        form.show();
        // The Dead "Play Sound" action clicked: its panel shows the sound file.
        form.DeadListBox->setCurrentRow(aaPlaySound);
        form.DeadListBoxClick();
    });
});

const Shots::Register alertEditorAlive(QStringLiteral("alertprofileform-alive-mail"), [](const Shots::Context &ctx) {
    alertShot(ctx, QStringLiteral("alertprofileform-alive-mail"), [](TAlertProfileForm &form) {
        form.selectProfile(0);
        form.show();
        form.AliveListBox->setCurrentRow(aaSendEMail);
        form.AliveListBoxClick();
    });
});

const Shots::Register alertEditorNone(QStringLiteral("alertprofileform-none"), [](const Shots::Context &ctx) {
    alertShot(ctx, QStringLiteral("alertprofileform-none"), [](TAlertProfileForm &form) { form.selectProfile(-1); });
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

// The schedule editor over the sample schedules, with one of them (or none)
// selected and a block of cells selected in the grid.
void scheduleShot(const Shots::Context &ctx, const QString &name, int schedule, GridCell anchor, GridCell current)
{
    ScheduleList list;
    sampleSchedules(list);
    TScheduleForm form(list, &Shots::quietPrompt());
    form.selectSchedule(schedule);
    form.ScheduleGrid->setSelection(anchor, current);
    Shots::save(ctx, &form, name);
}

const Shots::Register scheduleEditor(QStringLiteral("scheduleform"), [](const Shots::Context &ctx) {
    scheduleShot(ctx, QStringLiteral("scheduleform"), 0, {6, 10}, {7, 15});
});

const Shots::Register scheduleEditorNone(QStringLiteral("scheduleform-none"), [](const Shots::Context &ctx) {
    scheduleShot(ctx, QStringLiteral("scheduleform-none"), -1, {2, 3}, {3, 8});
});

} // namespace
