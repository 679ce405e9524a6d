#pragma once

#include <QtGlobal>

class MonitorEngine;
class ProjectController;
class TNewFileForm;
class TObjectParamsForm;
class UserPrompt;

// The main window's Add, Edit and Delete commands on observer objects: the
// new-object wizard and the parameters dialog turn into new objects, changed
// objects and removed ones. The alert profile and the schedule an object
// gets come from the parameters dialog's two name pickers.
class ObjectCommands
{
public:
    ObjectCommands(MonitorEngine &engine, ProjectController &project, UserPrompt &prompt, TNewFileForm &wizard,
                   TObjectParamsForm &params);

    // "Add observer object": the wizard, then the parameters dialog of the
    // chosen kind; OK in both creates the object, tests it and marks the
    // project modified.
    void Add1Click();
    // "Edit selected object" on the row (-1: none selected, which is told
    // with "Have not selected line"): OK stores the dialog into the object,
    // re-times it, tests it again and marks the project modified.
    void EditItemToolButtonClick(int selectedRow);
    // "Delete selected": removes the row's object without a question; the
    // project is not marked modified. Nothing happens without a row.
    void DelItemToolButtonClick(int selectedRow);

    // Makes a new object of the kind from the dialog's contents and appends
    // it (which tests it once). False, creating nothing, when the dialog's
    // megabyte box holds no number or the kind is unknown.
    bool AddObserver(qint32 kind);

private:
    MonitorEngine &m_engine;
    ProjectController &m_project;
    UserPrompt &m_prompt;
    TNewFileForm &m_wizard;
    TObjectParamsForm &m_params;
};
