#pragma once

#include "alerts/alertprofile.h"
#include "widgets/editordialog.h"

#include <QString>

#include <array>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QToolButton;
class QWidget;
class UserPrompt;

// The alert profile editor: the list of profiles with "New" and "Delete", the
// Dead and Alive action lists (check lists of the six actions) and one
// parameter panel at a time below them. Every change goes into the profile
// list at once; "OK" and "Cancel" only close the window.
//
// The window is created once and reused. Its profile list is also the picker
// with which the object parameters dialog chooses an object's profile: that
// dialog selects a line (selectProfile / selectProfileByName) before it opens,
// may open the editor (showEditor), and reads the selection afterwards
// (selectedProfile / selectedProfileName). The selection persists between
// openings.
//
// The profile list is borrowed and must outlive the window. The window reads
// and writes the file only when asked: LoadProfiles at start, SaveProfiles at
// the end. Input boxes, messages and file dialogs go through the UserPrompt
// (borrowed as well).
class TAlertProfileForm : public TEditorDialog
{
    Q_OBJECT
public:
    // File filters of the "..." buttons, in the form the file dialog takes.
    static const QString ProgramFilter;
    static const QString SoundFilter;

    TAlertProfileForm(AlertProfileList &profiles, UserPrompt *prompt, QWidget *parent = nullptr);

    AlertProfileList &profiles() { return m_profiles; }
    void setPrompt(UserPrompt *prompt) { m_prompt = prompt; }

    // Reads the profile file (the list's file name; by default "profile.dat"
    // in the data folder), refills the profile list and leaves no profile
    // selected. A missing file gives an empty list and true; a damaged one
    // keeps the whole records before the damage and returns false with a
    // message naming the file in *problem.
    bool LoadProfiles(QString *problem = nullptr);
    // Writes every profile to the file, atomically. False with a message
    // naming the file in *error.
    bool SaveProfiles(QString *error = nullptr);
    // Refills ProfileListBox from the profile list (for a list that was
    // filled or changed outside the window); no profile stays selected.
    void reloadNames();

    // The picker: the index of the selected profile (line i of the list is
    // profile i), or -1.
    int selectedProfile() const;
    // The selected profile's name, or an empty text when none is selected.
    QString selectedProfileName() const;
    // Selects line index, or nothing for -1 or an index out of range.
    void selectProfile(int index);
    // Selects the first profile of that name (letter case ignored); nothing
    // for an empty name or one that matches no profile.
    void selectProfileByName(const QString &name);
    // showEditor() (from TEditorDialog) opens the editor modally; neither
    // "OK" nor "Cancel" undoes anything.

    // The parameter panels in the order Dead sound, program, e-mail, net,
    // then the same for Alive.
    QWidget *panel(bool alive, int action) const;
    QLineEdit *panelEdit(bool alive, int action) const;

    QLabel *ProfileLabel;
    QListWidget *ProfileListBox;
    QPushButton *NewProfileButton;
    QPushButton *DeleteProfileButton;
    QLabel *DeadLabel;
    QListWidget *DeadListBox;
    QLabel *AliveLabel;
    QListWidget *AliveListBox;

    QWidget *SoundPanel;
    QLineEdit *DeadSoundEdit;
    QToolButton *DeadSoundButton;
    QWidget *ExecutePanel;
    QLineEdit *DeadExecEdit;
    QToolButton *SelectDeadProgramButton;
    QWidget *EMailPanel;
    QLineEdit *EMailEdit;
    QWidget *NetPanel;
    QLineEdit *NetMessageEdit;
    QWidget *AliveSoundPanel;
    QLineEdit *AliveSoundEdit;
    QToolButton *AliveSoundButton;
    QWidget *AliveExecutePanel;
    QLineEdit *AliveExecEdit;
    // Fills AliveExecEdit; the name is the established one.
    QToolButton *DeadSoundProgramButton;
    QWidget *AliveEMailPanel;
    QLineEdit *AliveEMailEdit;
    QWidget *AliveNetPanel;
    QLineEdit *AliveNetMessagEdit;

    QPushButton *OKButton;
    QPushButton *CancelButton;

    // The handlers, callable as the controls call them.
    void FormShow() override;
    void ProfileListBoxClick();
    void DeadListBoxClick();
    void AliveListBoxClick();
    void NewProfileButtonClick();
    void DeleteProfileButtonClick();

private:
    struct Panel {
        QWidget *panel = nullptr;
        QLineEdit *edit = nullptr;
        bool alive = false;
        int action = 0;
    };

    QWidget *makePanel(Panel &slot, bool alive, int action, const QString &heading, const QString &label,
                       const QString &editName, QToolButton **fileButton, const QString &buttonName,
                       const QString &filter);
    Panel &slot(bool alive, int action);
    const Panel *slotOf(bool alive, int action) const;
    QListWidget *makeActionList(const QString &name);
    void actionListClick(bool alive);
    void actionCheckChanged(bool alive, QListWidgetItem *item);
    void syncNames();
    void loadCheckMarks();
    void hidePanels();
    void loadPanelEdit(const Panel &p);
    void parameterEdited(const Panel &p, const QString &text);
    void chooseFile(QLineEdit *edit, const QString &filter);

    AlertProfileList &m_profiles;
    UserPrompt *m_prompt;
    // Panels 0-3 Dead sound, program, mail, net; 4-7 the same for Alive.
    std::array<Panel, 8> m_panels;
    // Set while the window itself changes check marks or edit texts, so that
    // those changes are not stored back as edits.
    bool m_loading = false;
};
