// The alert profile editor driven through its real widgets: mouse clicks on
// the lists and buttons, typed keys in the edits, a scripted prompt for the
// input box, the messages and the file dialog, and the profile file read back
// byte by byte.
#include "alerts/alertprofileform.h"

#include "../support/runmodal.h"
#include "../support/scriptedprompt.h"

#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <functional>

namespace
{

// Opens the editor and runs interact inside its modal loop.
int runModal(TAlertProfileForm &form, const std::function<void()> &interact)
{
    return ::runModal(&form, interact, [&form] { return form.showEditor(); });
}

QRect itemRect(QListWidget *list, int row)
{
    return list->visualItemRect(list->item(row));
}

// A click on a line's text: selects the line, leaves its check mark alone.
void clickText(QListWidget *list, int row)
{
    const QRect r = itemRect(list, row);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(r.right() - 10, r.center().y()));
}

// A click on a line's check box, where the style draws it.
void clickCheck(QListWidget *list, int row)
{
    QStyleOptionViewItem opt;
    opt.initFrom(list->viewport());
    opt.rect = itemRect(list, row);
    opt.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    opt.text = list->item(row)->text();
    opt.checkState = list->item(row)->checkState();
    const QRect box = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, list);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
}

bool checked(QListWidget *list, int row)
{
    return list->item(row)->checkState() == Qt::Checked;
}

// The one parameter panel on screen, or nullptr.
QWidget *shownPanel(const TAlertProfileForm &form)
{
    QWidget *shown = nullptr;
    for (bool alive : {false, true})
        for (int a = aaPlaySound; a <= aaSendNetMessage; ++a)
            if (form.panel(alive, a)->isVisible()) {
                if (shown)
                    return nullptr; // two panels at once is a fault too
                shown = form.panel(alive, a);
            }
    return shown;
}

} // namespace

class TestAlertProfileForm : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString file(const QString &name) const { return m_dir.filePath(name); }

    // Alpha with a few flags and every parameter filled, Beta empty.
    void fillAlphaBeta(AlertProfileList &list)
    {
        list.addProfile(QStringLiteral("Alpha"));
        list.addProfile(QStringLiteral("Beta"));
        list.setAction(0, false, aaPlaySound, true);
        list.setAction(0, true, aaSendEMail, true);
        list.setParameter(0, false, aaPlaySound, QStringLiteral("/snd/dead.wav"));
        list.setParameter(0, false, aaExecuteProgram, QStringLiteral("/bin/dead-prog"));
        list.setParameter(0, false, aaSendEMail, QStringLiteral("dead@example.org"));
        list.setParameter(0, false, aaSendNetMessage, QStringLiteral("DEADHOST"));
        list.setParameter(0, true, aaPlaySound, QStringLiteral("/snd/alive.wav"));
        list.setParameter(0, true, aaExecuteProgram, QStringLiteral("/bin/alive-prog"));
        list.setParameter(0, true, aaSendEMail, QStringLiteral("alive@example.org"));
        list.setParameter(0, true, aaSendNetMessage, QStringLiteral("ALIVEHOST"));
    }

private slots:
    void newProfile_data();
    void newProfile();
    void deleteProfile();
    void checkMarkReachesFileByte_data();
    void checkMarkReachesFileByte();
    void panelForClickedAction_data();
    void panelForClickedAction();
    void editsStoreAtOnceWithCut_data();
    void editsStoreAtOnceWithCut();
    void openedWithAndWithoutPreselection();
    void openPanelFollowsNewlySelectedProfile();
    void loadFillsListAndPickerFindsNames();
};

void TestAlertProfileForm::newProfile_data()
{
    QTest::addColumn<QStringList>("inputs"); // empty: the input box is cancelled
    QTest::addColumn<QStringList>("names");  // the list afterwards
    QTest::addColumn<bool>("refused");

    QTest::newRow("other case of a name") << QStringList{"alpha"} << QStringList{"Alpha", "Beta"} << true;
    QTest::newRow("same name") << QStringList{"Beta"} << QStringList{"Alpha", "Beta"} << true;
    QTest::newRow("new name") << QStringList{"Alpha2"} << QStringList{"Alpha", "Beta", "Alpha2"} << false;
    QTest::newRow("cancelled") << QStringList{} << QStringList{"Alpha", "Beta"} << false;
}

void TestAlertProfileForm::newProfile()
{
    QFETCH(QStringList, inputs);
    QFETCH(QStringList, names);
    QFETCH(bool, refused);

    ScriptedPrompt prompt;
    prompt.inputs.append(inputs);
    AlertProfileList list(file(QStringLiteral("new.dat")));
    fillAlphaBeta(list);
    TAlertProfileForm form(list, &prompt);
    form.selectProfile(1);

    runModal(form, [&] { QTest::mouseClick(form.NewProfileButton, Qt::LeftButton); });

    QCOMPARE(prompt.shown.first().kind, QStringLiteral("input"));
    QCOMPARE(prompt.shown.first().title, QStringLiteral("New profile"));
    QCOMPARE(prompt.shown.first().text, QStringLiteral("Input new profile name"));
    QCOMPARE(list.names(), names);
    QStringList lines;
    for (int i = 0; i < form.ProfileListBox->count(); ++i)
        lines << form.ProfileListBox->item(i)->text();
    QCOMPARE(lines, names);
    if (refused) {
        QCOMPARE(prompt.shown.size(), 2);
        QCOMPARE(prompt.shown.at(1).kind, QStringLiteral("message"));
        QCOMPARE(prompt.shown.at(1).title, QStringLiteral("Error"));
        QCOMPARE(prompt.shown.at(1).text, QStringLiteral("Alert with this name already exists"));
    } else {
        QCOMPARE(prompt.shown.size(), 1);
    }
    // The selection stays on Beta; a new profile starts with nothing on.
    QCOMPARE(form.selectedProfileName(), QStringLiteral("Beta"));
    if (list.count() == 3) {
        const AlertProfile &p = list.at(2);
        QVERIFY(std::none_of(p.DeadActions.begin(), p.DeadActions.end(), [](bool b) { return b; }));
        QVERIFY(std::none_of(p.AliveActions.begin(), p.AliveActions.end(), [](bool b) { return b; }));
        QVERIFY(p.DeadSound.isEmpty() && p.AliveMailRecipient.isEmpty());
    }
}

void TestAlertProfileForm::deleteProfile()
{
    ScriptedPrompt prompt;
    AlertProfileList list(file(QStringLiteral("delete.dat")));
    fillAlphaBeta(list);
    list.addProfile(QStringLiteral("Gamma"));
    TAlertProfileForm form(list, &prompt);

    runModal(form, [&] {
        // Nothing selected: Delete does nothing.
        QTest::mouseClick(form.DeleteProfileButton, Qt::LeftButton);
        QCOMPARE(list.count(), 3);

        clickText(form.ProfileListBox, 1);
        QCOMPARE(form.selectedProfile(), 1);
        QVERIFY(form.DeadListBox->isEnabled());
        clickText(form.DeadListBox, aaPlaySound);
        QVERIFY(form.SoundPanel->isVisible());

        QTest::mouseClick(form.DeleteProfileButton, Qt::LeftButton);
        QCOMPARE(list.names(), (QStringList{"Alpha", "Gamma"}));
        QCOMPARE(form.ProfileListBox->count(), 2);
        QCOMPARE(form.ProfileListBox->item(1)->text(), QStringLiteral("Gamma"));
        // No line is selected afterwards: the action lists and the panels
        // are out of reach.
        QCOMPARE(form.selectedProfile(), -1);
        QVERIFY(!form.DeadListBox->isEnabled());
        QVERIFY(!form.AliveListBox->isEnabled());
        QCOMPARE(shownPanel(form), nullptr);
        QTest::mouseClick(form.OKButton, Qt::LeftButton);
    });
    QVERIFY(prompt.shown.isEmpty()); // deleted without a question
}

void TestAlertProfileForm::checkMarkReachesFileByte_data()
{
    QTest::addColumn<bool>("alive");
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<int>("recordByte");
    QTest::addColumn<char>("value");

    QTest::newRow("Dead Play Sound on") << false << int(aaPlaySound) << 1 << 257 << char(1);
    QTest::newRow("Alive Reboot Computer on") << true << int(aaRebootComputer) << 1 << 282 << char(1);
    QTest::newRow("Dead Show Message on") << false << int(aaShowMessage) << 1 << 256 << char(1);
    QTest::newRow("Alive Send net message on, off") << true << int(aaSendNetMessage) << 2 << 281 << char(0);
}

void TestAlertProfileForm::checkMarkReachesFileByte()
{
    QFETCH(bool, alive);
    QFETCH(int, action);
    QFETCH(int, clicks);
    QFETCH(int, recordByte);
    QFETCH(char, value);

    const QString path = file(QStringLiteral("flags.dat"));
    ScriptedPrompt prompt;
    AlertProfileList list(path);
    list.addProfile(QStringLiteral("First"));
    list.addProfile(QStringLiteral("Second"));
    TAlertProfileForm form(list, &prompt);

    runModal(form, [&] {
        clickText(form.ProfileListBox, 1);
        QListWidget *actions = alive ? form.AliveListBox : form.DeadListBox;
        for (int i = 0; i < clicks; ++i)
            clickCheck(actions, action);
        QCOMPARE(checked(actions, action), value != 0);
        QTest::mouseClick(form.CancelButton, Qt::LeftButton);
    });
    // Cancel undoes nothing; the flag reaches the file when the list is saved.
    QVERIFY(form.SaveProfiles());
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QCOMPARE(bytes.size(), 4 + 2 * AlertProfile::Size);
    const QByteArray second = bytes.mid(4 + AlertProfile::Size, AlertProfile::Size);
    QCOMPARE(second.at(recordByte), value);
    // No other flag byte of either profile was touched.
    for (int rec = 0; rec < 2; ++rec)
        for (int b = AlertProfiles::DeadActionsOffset; b < AlertProfiles::AliveNetRecipientOffset; ++b)
            if (!(rec == 1 && b == recordByte))
                QVERIFY2(bytes.at(4 + rec * AlertProfile::Size + b) == 0, qPrintable(QString::number(b)));
}

void TestAlertProfileForm::panelForClickedAction_data()
{
    QTest::addColumn<bool>("alive");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("panel"); // empty: no panel
    QTest::addColumn<QString>("value");

    QTest::newRow("Dead Show Message") << false << int(aaShowMessage) << QString() << QString();
    QTest::newRow("Dead Play Sound") << false << int(aaPlaySound) << "SoundPanel"
                                     << "/snd/dead.wav";
    QTest::newRow("Dead Execute") << false << int(aaExecuteProgram) << "ExecutePanel"
                                  << "/bin/dead-prog";
    QTest::newRow("Dead e-mail") << false << int(aaSendEMail) << "EMailPanel"
                                 << "dead@example.org";
    QTest::newRow("Dead net") << false << int(aaSendNetMessage) << "NetPanel"
                              << "DEADHOST";
    QTest::newRow("Dead Reboot") << false << int(aaRebootComputer) << QString() << QString();
    QTest::newRow("Alive Show Message") << true << int(aaShowMessage) << QString() << QString();
    QTest::newRow("Alive Play Sound") << true << int(aaPlaySound) << "AliveSoundPanel"
                                      << "/snd/alive.wav";
    QTest::newRow("Alive Execute") << true << int(aaExecuteProgram) << "AliveExecutePanel"
                                   << "/bin/alive-prog";
    QTest::newRow("Alive e-mail") << true << int(aaSendEMail) << "AliveEMailPanel"
                                  << "alive@example.org";
    QTest::newRow("Alive net") << true << int(aaSendNetMessage) << "AliveNetPanel"
                               << "ALIVEHOST";
    QTest::newRow("Alive Reboot") << true << int(aaRebootComputer) << QString() << QString();
}

// The clicked action's panel appears with the profile's value whether or
// not the action is switched on; a click on the check box stores the flag
// and shows the panel as well.
void TestAlertProfileForm::panelForClickedAction()
{
    QFETCH(bool, alive);
    QFETCH(int, action);
    QFETCH(QString, panel);
    QFETCH(QString, value);

    ScriptedPrompt prompt;
    AlertProfileList list(file(QStringLiteral("panels.dat")));
    fillAlphaBeta(list);
    TAlertProfileForm form(list, &prompt);
    QListWidget *actions = alive ? form.AliveListBox : form.DeadListBox;
    QListWidget *other = alive ? form.DeadListBox : form.AliveListBox;

    runModal(form, [&] {
        QCOMPARE(shownPanel(form), nullptr);
        clickText(form.ProfileListBox, 0);
        for (bool on : {false, true}) {
            list.setAction(0, alive, action, on);
            form.ProfileListBoxClick(); // reload the check marks
            // Another panel is open first: the click replaces it.
            clickText(other, aaSendEMail);
            QVERIFY(shownPanel(form) != nullptr);

            clickText(actions, action);
            QCOMPARE(list.at(0).action(alive, action), on); // a text click keeps the flag
            QWidget *shown = shownPanel(form);
            if (panel.isEmpty()) {
                QCOMPARE(shown, nullptr);
            } else {
                QVERIFY2(shown, "no panel shown");
                QCOMPARE(shown->objectName(), panel);
                QCOMPARE(form.panelEdit(alive, action)->text(), value);
            }

            clickText(other, aaShowMessage);
            QCOMPARE(shownPanel(form), nullptr);
            clickCheck(actions, action);
            QCOMPARE(list.at(0).action(alive, action), !on);
            QCOMPARE(shownPanel(form) ? shownPanel(form)->objectName() : QString(), panel);
        }
    });
    // The values were only shown, not changed.
    QCOMPARE(list.at(0).parameter(alive, action), value);
}

void TestAlertProfileForm::editsStoreAtOnceWithCut_data()
{
    QTest::addColumn<bool>("alive");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("button"); // empty: typed in; else chosen with "..."
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("stored");

    const QString sound = TAlertProfileForm::SoundFilter, program = TAlertProfileForm::ProgramFilter;
    QTest::newRow("Dead mail typed 120") << false << int(aaSendEMail) << QString() << QString() << 120 << 100;
    QTest::newRow("Alive net typed 120") << true << int(aaSendNetMessage) << QString() << QString() << 120 << 100;
    QTest::newRow("Dead net typed 100") << false << int(aaSendNetMessage) << QString() << QString() << 100 << 100;
    QTest::newRow("Dead sound chosen 300") << false << int(aaPlaySound) << "DeadSoundButton" << sound << 300 << 255;
    QTest::newRow("Alive sound chosen 40") << true << int(aaPlaySound) << "AliveSoundButton" << sound << 40 << 40;
    QTest::newRow("Dead program chosen 300")
        << false << int(aaExecuteProgram) << "SelectDeadProgramButton" << program << 300 << 255;
    QTest::newRow("Alive program chosen 300")
        << true << int(aaExecuteProgram) << "DeadSoundProgramButton" << program << 300 << 255;
    QTest::newRow("Alive program typed 260") << true << int(aaExecuteProgram) << QString() << QString() << 260 << 255;
}

void TestAlertProfileForm::editsStoreAtOnceWithCut()
{
    QFETCH(bool, alive);
    QFETCH(int, action);
    QFETCH(QString, button);
    QFETCH(QString, filter);
    QFETCH(int, length);
    QFETCH(int, stored);

    QString text;
    for (int i = 0; text.size() < length; ++i)
        text += QChar(u'a' + i % 26);
    if (!button.isEmpty())
        text[0] = u'/';

    ScriptedPrompt prompt;
    AlertProfileList list(file(QStringLiteral("edits.dat")));
    fillAlphaBeta(list);
    TAlertProfileForm form(list, &prompt);
    const QString before = list.at(0).parameter(alive, action);

    runModal(form, [&] {
        clickText(form.ProfileListBox, 1);
        clickText(alive ? form.AliveListBox : form.DeadListBox, action);
        QLineEdit *edit = form.panelEdit(alive, action);
        QVERIFY(edit->isVisible());
        if (button.isEmpty()) {
            edit->setFocus();
            QTest::keyClicks(edit, text);
        } else {
            prompt.fileNames.enqueue(text);
            auto *b = form.findChild<QToolButton *>(button);
            QVERIFY(b && b->isVisible());
            QTest::mouseClick(b, Qt::LeftButton);
            QCOMPARE(prompt.shown.last().kind, QStringLiteral("open"));
            QCOMPARE(prompt.shown.last().title, filter);
        }
        // Stored at once, before the window closes.
        QCOMPARE(list.at(1).parameter(alive, action), text.left(stored));
        QCOMPARE(edit->text(), text.left(stored));

        // A cancelled file dialog changes nothing.
        if (!button.isEmpty()) {
            QTest::mouseClick(form.findChild<QToolButton *>(button), Qt::LeftButton);
            QCOMPARE(list.at(1).parameter(alive, action), text.left(stored));
        }
    });
    QCOMPARE(list.at(1).parameter(alive, action), text.left(stored));
    QCOMPARE(list.at(0).parameter(alive, action), before);
    // The flag of the edited action was not switched on by the edit.
    QVERIFY(!list.at(1).action(alive, action));
}

void TestAlertProfileForm::openedWithAndWithoutPreselection()
{
    ScriptedPrompt prompt;
    AlertProfileList list(file(QStringLiteral("preselect.dat")));
    fillAlphaBeta(list);
    TAlertProfileForm form(list, &prompt);

    // Nothing preselected: both lists disabled, no check marks, no panel.
    form.selectProfileByName(QString());
    int result = runModal(form, [&] {
        QCOMPARE(form.windowTitle(), QStringLiteral("Alert Profile"));
        QVERIFY(!form.DeadListBox->isEnabled());
        QVERIFY(!form.AliveListBox->isEnabled());
        for (int a = 0; a < AlertActionCount; ++a)
            QVERIFY(!checked(form.DeadListBox, a) && !checked(form.AliveListBox, a));
        QCOMPARE(shownPanel(form), nullptr);
        // A panel opened now ...
        clickText(form.ProfileListBox, 1);
        clickText(form.DeadListBox, aaSendEMail);
        QVERIFY(form.EMailPanel->isVisible());
        QTest::mouseClick(form.OKButton, Qt::LeftButton);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    // ... is hidden at the next opening; the selection carried over.
    QCOMPARE(form.selectedProfileName(), QStringLiteral("Beta"));

    // Preselected as the object dialog does, by name in any letter case: the
    // profile's check marks show at once.
    form.selectProfileByName(QStringLiteral("ALPHA"));
    QCOMPARE(form.selectedProfile(), 0);
    result = runModal(form, [&] {
        QVERIFY(form.DeadListBox->isEnabled());
        QVERIFY(form.AliveListBox->isEnabled());
        QCOMPARE(shownPanel(form), nullptr);
        for (int a = 0; a < AlertActionCount; ++a) {
            QCOMPARE(checked(form.DeadListBox, a), a == aaPlaySound);
            QCOMPARE(checked(form.AliveListBox, a), a == aaSendEMail);
        }
        QTest::mouseClick(form.CancelButton, Qt::LeftButton);
    });
    QCOMPARE(result, int(QDialog::Rejected));

    // A name that matches nothing leaves nothing selected.
    form.selectProfileByName(QStringLiteral("Gone"));
    QCOMPARE(form.selectedProfile(), -1);
    QCOMPARE(form.selectedProfileName(), QString());
    QVERIFY(!form.DeadListBox->isEnabled());
}

// A panel left open when another profile is selected shows that profile's
// value, and typing goes to it alone.
void TestAlertProfileForm::openPanelFollowsNewlySelectedProfile()
{
    ScriptedPrompt prompt;
    AlertProfileList list(file(QStringLiteral("switch.dat")));
    fillAlphaBeta(list);
    TAlertProfileForm form(list, &prompt);

    runModal(form, [&] {
        clickText(form.ProfileListBox, 0);
        clickText(form.AliveListBox, aaSendEMail);
        QCOMPARE(form.AliveEMailEdit->text(), QStringLiteral("alive@example.org"));

        clickText(form.ProfileListBox, 1);
        QVERIFY(form.AliveEMailPanel->isVisible());
        QCOMPARE(form.AliveEMailEdit->text(), QString());
        form.AliveEMailEdit->setFocus();
        QTest::keyClicks(form.AliveEMailEdit, QStringLiteral("beta@example.org"));
    });
    QCOMPARE(list.at(1).AliveMailRecipient, QStringLiteral("beta@example.org"));
    QCOMPARE(list.at(0).AliveMailRecipient, QStringLiteral("alive@example.org"));
}

void TestAlertProfileForm::loadFillsListAndPickerFindsNames()
{
    const QString path = file(QStringLiteral("profile.dat"));
    {
        AlertProfileList source(path);
        fillAlphaBeta(source);
        source.addProfile(QStringLiteral("Gamma"));
        QVERIFY(source.save());
    }
    ScriptedPrompt prompt;
    AlertProfileList list(path);
    TAlertProfileForm form(list, &prompt);
    QCOMPARE(form.ProfileListBox->count(), 0);

    QVERIFY(form.LoadProfiles());
    QCOMPARE(list.count(), 3);
    QCOMPARE(form.ProfileListBox->count(), 3);
    QCOMPARE(form.ProfileListBox->item(2)->text(), QStringLiteral("Gamma"));
    QCOMPARE(form.selectedProfile(), -1);

    form.selectProfileByName(QStringLiteral("gamma"));
    QCOMPARE(form.selectedProfileName(), QStringLiteral("Gamma"));
    // Loading again leaves nothing selected.
    QVERIFY(form.LoadProfiles());
    QCOMPARE(form.selectedProfile(), -1);

    // A missing file gives an empty list without complaint.
    list.setFileName(file(QStringLiteral("missing.dat")));
    QString problem;
    QVERIFY(form.LoadProfiles(&problem));
    QCOMPARE(form.ProfileListBox->count(), 0);
    QVERIFY(problem.isEmpty());
}

QTEST_MAIN(TestAlertProfileForm)
#include "test_alertprofileform.moc"
