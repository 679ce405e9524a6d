#include "alertprofileform.h"

#include "core/prompt.h"
#include "widgets/dialogbuttons.h"
#include "widgets/namelist.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

// The filters the file dialog shows: the named type first, then every file.
// "*" rather than "*.*": on this system most files, programs above all, have
// no extension.
const QString TAlertProfileForm::ProgramFilter = QStringLiteral("Executable Files (EXE) (*.exe);;All files (*)");
const QString TAlertProfileForm::SoundFilter = QStringLiteral("Sound Files (WAV) (*.wav);;All files (*)");

namespace
{

// Position of a parameter panel in the panel array: actions 1 to 4, Dead
// side first.
int panelIndex(bool alive, int action)
{
    return (alive ? 4 : 0) + action - 1;
}

bool hasPanel(int action)
{
    return action >= aaPlaySound && action <= aaSendNetMessage;
}

} // namespace

TAlertProfileForm::TAlertProfileForm(AlertProfileList &profiles, UserPrompt *prompt, QWidget *parent)
    : TEditorDialog(parent), m_profiles(profiles), m_prompt(prompt)
{
    setObjectName(QStringLiteral("AlertProfileForm"));
    setWindowTitle(QStringLiteral("Alert Profile"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    ProfileLabel = new QLabel(QStringLiteral("Alert Profile:"), this);
    ProfileListBox = new QListWidget(this);
    ProfileListBox->setObjectName(QStringLiteral("ProfileListBox"));
    ProfileListBox->setSelectionMode(QAbstractItemView::SingleSelection);
    ProfileListBox->setSortingEnabled(false);
    ProfileListBox->setFixedWidth(150);
    ProfileLabel->setBuddy(ProfileListBox);

    NewProfileButton = new QPushButton(QStringLiteral("New"), this);
    NewProfileButton->setObjectName(QStringLiteral("NewProfileButton"));
    NewProfileButton->setAutoDefault(false);
    DeleteProfileButton = new QPushButton(QStringLiteral("Delete"), this);
    DeleteProfileButton->setObjectName(QStringLiteral("DeleteProfileButton"));
    DeleteProfileButton->setAutoDefault(false);

    DeadLabel = new QLabel(QStringLiteral("Action when status - Dead:"), this);
    DeadListBox = makeActionList(QStringLiteral("DeadListBox"));
    DeadLabel->setBuddy(DeadListBox);
    AliveLabel = new QLabel(QStringLiteral("Action when status - Alive:"), this);
    AliveListBox = makeActionList(QStringLiteral("AliveListBox"));
    AliveLabel->setBuddy(AliveListBox);

    // The eight parameter panels share one place under the action lists;
    // at most one of them is shown.
    auto *panelArea = new QWidget(this);
    panelArea->setObjectName(QStringLiteral("ParamsArea"));
    auto *panelGrid = new QGridLayout(panelArea);
    panelGrid->setContentsMargins(0, 0, 0, 0);

    const QString dead = QStringLiteral("Dead"), alive = QStringLiteral("Alive");
    const QString mailTo = QStringLiteral("Mail Message To"), netTo = QStringLiteral("NET Message To");
    SoundPanel =
        makePanel(slot(false, aaPlaySound), false, aaPlaySound, QStringLiteral("Dead Sound Params:"), dead,
                  QStringLiteral("DeadSoundEdit"), &DeadSoundButton, QStringLiteral("DeadSoundButton"), SoundFilter);
    SoundPanel->setObjectName(QStringLiteral("SoundPanel"));
    ExecutePanel = makePanel(slot(false, aaExecuteProgram), false, aaExecuteProgram,
                             QStringLiteral("Dead Execute Program Params:"), dead, QStringLiteral("DeadExecEdit"),
                             &SelectDeadProgramButton, QStringLiteral("SelectDeadProgramButton"), ProgramFilter);
    ExecutePanel->setObjectName(QStringLiteral("ExecutePanel"));
    EMailPanel = makePanel(slot(false, aaSendEMail), false, aaSendEMail, QStringLiteral("Dead E-Mail Params:"), mailTo,
                           QStringLiteral("EMailEdit"), nullptr, QString(), QString());
    EMailPanel->setObjectName(QStringLiteral("EMailPanel"));
    NetPanel = makePanel(slot(false, aaSendNetMessage), false, aaSendNetMessage, QStringLiteral("Dead NET Params:"),
                         netTo, QStringLiteral("NetMessageEdit"), nullptr, QString(), QString());
    NetPanel->setObjectName(QStringLiteral("NetPanel"));
    AliveSoundPanel =
        makePanel(slot(true, aaPlaySound), true, aaPlaySound, QStringLiteral("Alive Sound Params:"), alive,
                  QStringLiteral("AliveSoundEdit"), &AliveSoundButton, QStringLiteral("AliveSoundButton"), SoundFilter);
    AliveSoundPanel->setObjectName(QStringLiteral("AliveSoundPanel"));
    AliveExecutePanel =
        makePanel(slot(true, aaExecuteProgram), true, aaExecuteProgram, QStringLiteral("Alive Execute Program Params:"),
                  alive, QStringLiteral("AliveExecEdit"), &DeadSoundProgramButton,
                  QStringLiteral("DeadSoundProgramButton"), ProgramFilter);
    AliveExecutePanel->setObjectName(QStringLiteral("AliveExecutePanel"));
    AliveEMailPanel = makePanel(slot(true, aaSendEMail), true, aaSendEMail, QStringLiteral("Alive E-Mail Params:"),
                                mailTo, QStringLiteral("AliveEMailEdit"), nullptr, QString(), QString());
    AliveEMailPanel->setObjectName(QStringLiteral("AliveEMailPanel"));
    AliveNetPanel = makePanel(slot(true, aaSendNetMessage), true, aaSendNetMessage, QStringLiteral("Alive NET Params:"),
                              netTo, QStringLiteral("AliveNetMessagEdit"), nullptr, QString(), QString());
    AliveNetPanel->setObjectName(QStringLiteral("AliveNetPanel"));

    DeadSoundEdit = slot(false, aaPlaySound).edit;
    DeadExecEdit = slot(false, aaExecuteProgram).edit;
    EMailEdit = slot(false, aaSendEMail).edit;
    NetMessageEdit = slot(false, aaSendNetMessage).edit;
    AliveSoundEdit = slot(true, aaPlaySound).edit;
    AliveExecEdit = slot(true, aaExecuteProgram).edit;
    AliveEMailEdit = slot(true, aaSendEMail).edit;
    AliveNetMessagEdit = slot(true, aaSendNetMessage).edit;

    int areaHeight = 0;
    for (const Panel &p : m_panels) {
        panelGrid->addWidget(p.panel, 0, 0);
        areaHeight = qMax(areaHeight, p.panel->sizeHint().height());
    }
    // The area keeps its height with every panel hidden, so the window's
    // size does not change when a panel appears.
    panelArea->setFixedHeight(areaHeight);

    const OkCancelButtons closeButtons = makeOkCancelButtons(this, ReturnOnCancel::PressesOk);
    OKButton = closeButtons.ok;
    CancelButton = closeButtons.cancel;

    auto *profileButtons = new QHBoxLayout;
    profileButtons->addWidget(NewProfileButton);
    profileButtons->addWidget(DeleteProfileButton);

    auto *grid = new QGridLayout(this);
    grid->setHorizontalSpacing(10);
    grid->addWidget(ProfileLabel, 0, 0);
    grid->addWidget(DeadLabel, 0, 1);
    grid->addWidget(AliveLabel, 0, 2);
    grid->addWidget(ProfileListBox, 1, 0, 2, 1);
    grid->addWidget(DeadListBox, 1, 1);
    grid->addWidget(AliveListBox, 1, 2);
    grid->addWidget(panelArea, 2, 1, 1, 2);
    grid->addLayout(profileButtons, 3, 0);
    grid->addLayout(closeButtons.row, 3, 1, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    connect(ProfileListBox, &QListWidget::itemSelectionChanged, this, &TAlertProfileForm::ProfileListBoxClick);
    connect(NewProfileButton, &QPushButton::clicked, this, &TAlertProfileForm::NewProfileButtonClick);
    connect(DeleteProfileButton, &QPushButton::clicked, this, &TAlertProfileForm::DeleteProfileButtonClick);

    for (bool side : {false, true}) {
        QListWidget *list = side ? AliveListBox : DeadListBox;
        // A check mark changed by mouse or keyboard is stored at once.
        connect(list, &QListWidget::itemChanged, this,
                [this, side](QListWidgetItem *item) { actionCheckChanged(side, item); });
        // A click shows the clicked action's panel; so does moving to an
        // action with the keyboard.
        connect(list, &QListWidget::itemClicked, this, [this, side] { actionListClick(side); });
        connect(list, &QListWidget::currentRowChanged, this, [this, side] { actionListClick(side); });
    }

    reloadNames();
}

QListWidget *TAlertProfileForm::makeActionList(const QString &name)
{
    auto *list = new QListWidget(this);
    list->setObjectName(name);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    for (int a = 0; a < AlertActionCount; ++a) {
        auto *item = new QListWidgetItem(AlertProfiles::actionText(a), list);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    // Exactly the six lines, no scrolling.
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const int rows = list->sizeHintForRow(0) * AlertActionCount;
    list->setFixedHeight(rows + 2 * list->frameWidth() + 4);
    list->setFixedWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth() + 24);
    list->setEnabled(false);
    return list;
}

QWidget *TAlertProfileForm::makePanel(Panel &p, bool alive, int action, const QString &heading, const QString &label,
                                      const QString &editName, QToolButton **fileButton, const QString &buttonName,
                                      const QString &filter)
{
    auto *panel = new QFrame(this);
    panel->setFrameShape(QFrame::StyledPanel);
    auto *headingLabel = new QLabel(heading, panel);
    QFont bold = headingLabel->font();
    bold.setBold(true);
    headingLabel->setFont(bold);

    auto *edit = new QLineEdit(panel);
    edit->setObjectName(editName);
    edit->setMaxLength(AlertProfiles::parameterCapacity(action));
    auto *editLabel = new QLabel(label, panel);
    editLabel->setBuddy(edit);

    auto *row = new QHBoxLayout;
    row->addWidget(editLabel);
    row->addWidget(edit, 1);
    if (fileButton) {
        auto *button = new QToolButton(panel);
        button->setObjectName(buttonName);
        button->setText(QStringLiteral("..."));
        row->addWidget(button);
        *fileButton = button;
        connect(button, &QToolButton::clicked, this, [this, edit, filter] { chooseFile(edit, filter); });
    }
    auto *box = new QVBoxLayout(panel);
    box->addWidget(headingLabel);
    box->addLayout(row);
    box->addStretch(1);

    p.panel = panel;
    p.edit = edit;
    p.alive = alive;
    p.action = action;
    connect(edit, &QLineEdit::textChanged, this, [this, &p](const QString &text) { parameterEdited(p, text); });
    panel->hide();
    return panel;
}

TAlertProfileForm::Panel &TAlertProfileForm::slot(bool alive, int action)
{
    return m_panels[size_t(panelIndex(alive, action))];
}

const TAlertProfileForm::Panel *TAlertProfileForm::slotOf(bool alive, int action) const
{
    return hasPanel(action) ? &m_panels[size_t(panelIndex(alive, action))] : nullptr;
}

QWidget *TAlertProfileForm::panel(bool alive, int action) const
{
    const Panel *p = slotOf(alive, action);
    return p ? p->panel : nullptr;
}

QLineEdit *TAlertProfileForm::panelEdit(bool alive, int action) const
{
    const Panel *p = slotOf(alive, action);
    return p ? p->edit : nullptr;
}

bool TAlertProfileForm::LoadProfiles(QString *problem)
{
    const bool ok = m_profiles.load(problem);
    reloadNames();
    return ok;
}

bool TAlertProfileForm::SaveProfiles(QString *error)
{
    return m_profiles.save(error);
}

void TAlertProfileForm::reloadNames()
{
    NameList::fill(ProfileListBox, m_profiles.names());
    ProfileListBoxClick();
}

int TAlertProfileForm::selectedProfile() const
{
    return NameList::selectedRow(ProfileListBox, m_profiles.count());
}

QString TAlertProfileForm::selectedProfileName() const
{
    const AlertProfile *p = m_profiles.profile(selectedProfile());
    return p ? p->Name : QString();
}

void TAlertProfileForm::syncNames()
{
    // The profiles may have been replaced since the lines were filled in.
    if (!NameList::sync(ProfileListBox, m_profiles.names()))
        reloadNames();
}

void TAlertProfileForm::selectProfile(int index)
{
    syncNames();
    NameList::select(ProfileListBox, index);
    // The signal does not fire when the selection stays as it was.
    ProfileListBoxClick();
}

void TAlertProfileForm::selectProfileByName(const QString &name)
{
    selectProfile(name.isEmpty() ? -1 : m_profiles.find(name));
}

void TAlertProfileForm::FormShow()
{
    syncNames();
    hidePanels();
    ProfileListBoxClick();
}

void TAlertProfileForm::ProfileListBoxClick()
{
    const int sel = selectedProfile();
    DeadListBox->setEnabled(sel >= 0);
    AliveListBox->setEnabled(sel >= 0);
    loadCheckMarks();
    if (sel < 0) {
        hidePanels();
        return;
    }
    // A panel left open now shows (and edits) the newly selected profile's
    // value, never the previous profile's.
    for (const Panel &p : m_panels)
        if (!p.panel->isHidden())
            loadPanelEdit(p);
}

void TAlertProfileForm::loadCheckMarks()
{
    const AlertProfile *p = m_profiles.profile(selectedProfile());
    m_loading = true;
    for (int a = 0; a < AlertActionCount; ++a) {
        DeadListBox->item(a)->setCheckState(p && p->action(false, a) ? Qt::Checked : Qt::Unchecked);
        AliveListBox->item(a)->setCheckState(p && p->action(true, a) ? Qt::Checked : Qt::Unchecked);
    }
    m_loading = false;
}

void TAlertProfileForm::hidePanels()
{
    for (const Panel &p : m_panels)
        p.panel->hide();
}

void TAlertProfileForm::loadPanelEdit(const Panel &p)
{
    const AlertProfile *profile = m_profiles.profile(selectedProfile());
    m_loading = true;
    p.edit->setText(profile ? profile->parameter(p.alive, p.action) : QString());
    m_loading = false;
}

void TAlertProfileForm::actionCheckChanged(bool alive, QListWidgetItem *item)
{
    if (m_loading)
        return;
    const int sel = selectedProfile();
    QListWidget *list = alive ? AliveListBox : DeadListBox;
    const int action = list->row(item);
    if (sel >= 0)
        m_profiles.setAction(sel, alive, action, item->checkState() == Qt::Checked);
}

void TAlertProfileForm::DeadListBoxClick()
{
    actionListClick(false);
}

void TAlertProfileForm::AliveListBoxClick()
{
    actionListClick(true);
}

void TAlertProfileForm::actionListClick(bool alive)
{
    const int sel = selectedProfile();
    QListWidget *list = alive ? AliveListBox : DeadListBox;
    const int action = list->currentRow();
    if (sel < 0 || action < 0)
        return;
    m_profiles.setAction(sel, alive, action, list->item(action)->checkState() == Qt::Checked);
    hidePanels();
    // Sound, program, mail and net recipient have a panel; it is shown
    // whether or not the action is switched on.
    if (const Panel *p = slotOf(alive, action)) {
        loadPanelEdit(*p);
        p->panel->show();
    }
}

void TAlertProfileForm::parameterEdited(const Panel &p, const QString &text)
{
    if (m_loading)
        return;
    const int sel = selectedProfile();
    if (sel >= 0)
        m_profiles.setParameter(sel, p.alive, p.action, text);
}

void TAlertProfileForm::chooseFile(QLineEdit *edit, const QString &filter)
{
    if (!m_prompt)
        return;
    const QString path = m_prompt->openFileName(filter, QString(), edit->text());
    if (!path.isEmpty())
        edit->setText(path);
}

void TAlertProfileForm::NewProfileButtonClick()
{
    if (!m_prompt)
        return;
    QString name;
    if (!m_prompt->inputText(QStringLiteral("New profile"), QStringLiteral("Input new profile name"), name))
        return;
    const int index = m_profiles.addProfile(name);
    if (index < 0) {
        m_prompt->message(QStringLiteral("Error"), QString::fromLatin1(AlertProfileList::DuplicateNameMessage));
        return;
    }
    // Appending a line leaves the selection where it was.
    const QSignalBlocker block(ProfileListBox);
    ProfileListBox->addItem(m_profiles.at(index).Name);
}

void TAlertProfileForm::DeleteProfileButtonClick()
{
    const int sel = selectedProfile();
    if (sel < 0)
        return;
    m_profiles.remove(sel);
    NameList::remove(ProfileListBox, sel);
    ProfileListBoxClick();
}
