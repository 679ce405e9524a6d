#include "objectcommands.h"

#include "newfileform.h"
#include "objectparamsform.h"

#include "core/ansitext.h"
#include "core/engine.h"
#include "core/projectfile.h"
#include "core/prompt.h"

#include <QComboBox>

namespace
{

QString selectedName(ObjectNamePicker *picker)
{
    return picker ? Ansi::cut(picker->selectedName(), 255) : QString();
}

// Clears the picker's selection, then selects the name (when not empty).
void preselect(ObjectNamePicker *picker, const QString &name)
{
    if (!picker)
        return;
    picker->select(QString());
    if (!name.isEmpty())
        picker->select(name);
}

} // namespace

ObjectCommands::ObjectCommands(MonitorEngine &engine, ProjectController &project, UserPrompt &prompt,
                               TNewFileForm &wizard, TObjectParamsForm &params)
    : m_engine(engine), m_project(project), m_prompt(prompt), m_wizard(wizard), m_params(params)
{
}

void ObjectCommands::Add1Click()
{
    if (m_wizard.exec() != QDialog::Accepted)
        return;
    const qint32 kind = m_wizard.selectedKind();
    if (!Records::isKnownKind(kind))
        return;
    m_params.showPanel(kind);
    m_params.setWindowTitle(m_wizard.selectedCaption() + QStringLiteral(" Options"));
    m_params.AlertWhenComboBox->setCurrentIndex(0);
    m_params.setEnabledFlag(true); // a new object is enabled
    preselect(m_params.schedulePicker(), QString());
    preselect(m_params.profilePicker(), QString());
    m_params.setAttachedNames(QString(), QString());
    if (m_params.exec() != QDialog::Accepted)
        return;
    if (AddObserver(kind))
        m_project.setModified(true);
}

bool ObjectCommands::AddObserver(qint32 kind)
{
    if (!Records::isKnownKind(kind))
        return false;
    ObserverRecord rec = Records::newRecord(kind);
    // Checked before anything exists, so that an object, its row and its
    // timer are created together or not at all.
    if (!m_params.validateNumbers(kind) || !m_params.storeParams(rec))
        return false;
    m_params.storeCommon(rec);
    rec.Spare = 0;
    rec.AlertProfileName = selectedName(m_params.profilePicker());
    rec.ScheduleName = selectedName(m_params.schedulePicker());
    rec.LastResult.clear();
    m_engine.AppendObject(rec, Records::rowCaption(rec));
    return true;
}

void ObjectCommands::EditItemToolButtonClick(int selectedRow)
{
    const ObserverObject *object = m_engine.object(selectedRow);
    if (!object) {
        m_prompt.message(QStringLiteral("Error"), QStringLiteral("Have not selected line"));
        return;
    }
    const qint32 kind = object->record.Kind;
    if (!Records::isKnownKind(kind)) {
        // Only a project file can hold such an object; it has no panel.
        m_prompt.message(
            QStringLiteral("Error"),
            QStringLiteral("The test method of this object is unknown (%1); it cannot be edited.").arg(kind));
        return;
    }
    // The object is found again by its identity after the dialog: tests and
    // other commands run while it is open.
    const quint64 id = object->id;
    m_params.showPanel(kind);
    m_params.setWindowTitle(TObjectParamsForm::editCaption(kind));
    m_params.loadRecord(object->record);
    preselect(m_params.profilePicker(), object->record.AlertProfileName);
    preselect(m_params.schedulePicker(), object->record.ScheduleName);
    m_params.setAttachedNames(object->record.AlertProfileName, object->record.ScheduleName);
    if (m_params.exec() != QDialog::Accepted)
        return;

    const int position = m_engine.positionOf(id);
    ObserverObject *target = m_engine.object(position);
    if (!target)
        return;
    ObserverRecord rec = target->record;
    if (!m_params.validateNumbers(kind) || !m_params.storeParams(rec))
        return;
    m_params.storeCommon(rec);
    const QString profile = selectedName(m_params.profilePicker());
    if (!profile.isEmpty())
        rec.AlertProfileName = profile;
    const QString schedule = selectedName(m_params.schedulePicker());
    if (!schedule.isEmpty())
        rec.ScheduleName = schedule;

    // The caption is the target as entered (no ":\" for a drive); a URL
    // shows what was stored, a connection string hides its password.
    QString caption = m_params.targetText(kind);
    if (kind == okUrl)
        caption = rec.target();
    else if (kind == okDatabase)
        caption = Records::maskPassword(caption);
    target->record = rec;
    m_engine.applyEdit(position, caption);
    m_project.setModified(true);
    m_engine.RunTest(position);
}

void ObjectCommands::DelItemToolButtonClick(int selectedRow)
{
    if (!m_engine.object(selectedRow))
        return;
    m_engine.RemoveObject(selectedRow);
}
