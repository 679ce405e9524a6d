// The new-object wizard, the parameters dialog, the connection-string editor
// and the Add, Edit and Delete commands, driven through the real widgets with
// mouse clicks and keys against a real engine and project.
#include "ui/connectionstringeditor.h"
#include "ui/newfileform.h"
#include "ui/objectcommands.h"
#include "ui/objectparamsform.h"
#include "widgets/selectportform.h"

#include "../support/enginefakes.h"
#include "../support/scriptedprompt.h"
#include "../support/whenmodal.h"

#include "core/engine.h"
#include "core/projectfile.h"
#include "probes/connectionstring.h"
#include "probes/databaseprobe.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStorageInfo>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <memory>

namespace
{

void type(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

void type(QSpinBox *box, int value)
{
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, QString::number(value));
    QTest::keyClick(box, Qt::Key_Tab);
}

// Clicks a button where a user would: a check box or radio button that a
// layout made wide only reacts near its mark and label, not in its middle.
void click(QAbstractButton *button)
{
    if (qobject_cast<QCheckBox *>(button) || qobject_cast<QRadioButton *>(button))
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
    else
        QTest::mouseClick(button, Qt::LeftButton);
}

// Picks the kind's icon in the wizard by clicking its tab and its icon.
void pickKind(TNewFileForm &wizard, int tab, int position)
{
    QTabBar *bar = wizard.PageControl1->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
    auto *list = qobject_cast<QListWidget *>(wizard.PageControl1->widget(tab));
    QVERIFY(list);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(position)).center());
}

// A name list like the alert profile editor's or the schedule editor's.
// exec() stands for the user working in the editor.
class FakeNamePicker : public ObjectNamePicker
{
public:
    QStringList names;
    int selected = -1;
    int execCount = 0;
    std::function<void(FakeNamePicker &)> whileOpen;

    void select(const QString &name) override
    {
        selected = -1;
        for (int i = 0; i < names.size() && !name.isEmpty(); ++i)
            if (names.at(i).compare(name, Qt::CaseInsensitive) == 0) {
                selected = i;
                break;
            }
    }
    QString selectedName() const override { return selected >= 0 ? names.at(selected) : QString(); }
    void exec() override
    {
        ++execCount;
        if (whileOpen)
            whileOpen(*this);
    }
};

// The dialogs and the commands as the main window holds them.
struct Rig {
    MonitorEngine engine;
    ScriptedPrompt prompt;
    ProjectController project{engine, prompt};
    TNewFileForm wizard;
    TObjectParamsForm params{prompt};
    TSelectPortForm portPicker;
    FakeNamePicker profiles;
    FakeNamePicker schedules;
    ObjectCommands commands{engine, project, prompt, wizard, params};
    std::vector<std::unique_ptr<ScriptedProbe>> probes;
    QStringList folderRequests;
    QString nextFolder;
    int databaseCloses = 0;

    Rig()
    {
        for (qint32 kind = 1; kind <= 8; ++kind) {
            probes.push_back(std::make_unique<ScriptedProbe>(engine));
            engine.setProbe(kind, probes.back().get());
        }
        profiles.names = {QStringLiteral("Alpha"), QStringLiteral("Beta")};
        schedules.names = {QStringLiteral("Workdays"), QStringLiteral("Weekend")};
        params.setProfilePicker(&profiles);
        params.setSchedulePicker(&schedules);
        params.setPortPicker(&portPicker);
        portPicker.setPrompt(&prompt);
        params.setFolderBrowser([this](const QString &title, const QString &start) {
            folderRequests << title + QLatin1Char('|') + start;
            return nextFolder;
        });
        params.setDatabaseCloser([this] { ++databaseCloses; });
    }
    QStringList tested(qint32 kind) const { return probes[size_t(kind - 1)]->tested; }

    // Add through both dialogs: the kind's icon, then fill and OK.
    void add(int tab, int position, const std::function<void()> &fill)
    {
        whenModal(&wizard, [&] {
            pickKind(wizard, tab, position);
            click(wizard.OKButton);
        });
        whenModal(&params, [&] {
            fill();
            click(params.OKButton);
        });
        commands.Add1Click();
    }
    void edit(int row, const std::function<void()> &fill)
    {
        whenModal(&params, [&] {
            fill();
            click(params.OKButton);
        });
        commands.EditItemToolButtonClick(row);
    }
};

using Fill = std::function<void(Rig &)>;

} // namespace

Q_DECLARE_METATYPE(Fill)
Q_DECLARE_METATYPE(ObserverRecord)

class TestObjectDialogs : public QObject
{
    Q_OBJECT

private slots:
    void firstUseValues();
    void wizardShowsHelpAndNeedsASelection();
    void addEachKind_data();
    void addEachKind();
    void cancelCreatesNothing();
    void editStoresRetimesAndRetests();
    void editWithoutSelectionSaysSo();
    void editChoosesProfileAndSchedule_data();
    void editChoosesProfileAndSchedule();
    void enabledIsTheCheckMark();
    void emptyTargetIsRefused_data();
    void emptyTargetIsRefused();
    void zeroIntervalWarning();
    void attachedNamesAreShown();
    void addAfterEditKeepsTheDialogValues();
    void megabyteBoxesAreValidatedFirst_data();
    void megabyteBoxesAreValidatedFirst();
    void deleteRemovesWithoutQuestion();
    void portButtonFillsThePortBox();
    void fileAndFolderButtons();
    void databaseButtonOpensTheConnectionEditor();
    void connectionEditorReadsAndComposes_data();
    void connectionEditorReadsAndComposes();
};

void TestObjectDialogs::firstUseValues()
{
    Rig rig;
    TObjectParamsForm &f = rig.params;
    QCOMPARE(f.PacketSizeEdit->value(), 56);
    QCOMPARE(f.TimeoutEdit->value(), 400);
    QCOMPARE(f.TTLEdit->value(), 64);
    QCOMPARE(f.PortEdit->value(), 56);
    QCOMPARE(f.ProxyPortEdit->value(), 0);
    QCOMPARE(f.MinFreeEdit->text(), QStringLiteral("80"));
    QCOMPARE(f.MaxSizeEdit->text(), QStringLiteral("80"));
    QVERIFY(!f.SubFoldersCheckBox->isChecked());
    QVERIFY(f.NotExistRadioButton->isChecked());
    QCOMPARE(f.AlertWhenComboBox->currentIndex(), 0);
    QCOMPARE(f.AlertWhenComboBox->count(), 5);
    QCOMPARE(f.AlertWhenComboBox->itemText(4), QStringLiteral("1st file greater 2nd file"));
    QCOMPARE(f.IntervalMinEdit->value(), 5);
    QCOMPARE(f.IntervalSecEdit->value(), 0);
    QCOMPARE(f.IntervalMinEdit->maximum(), 59);
    QCOMPARE(f.AlertAfterEdit->value(), 1);
    // Shown as "Alert after [N] bad attempts", bound to the record's field.
    QVERIFY(!f.AlertAfterEdit->isHidden());
    QVERIFY(!f.AlertAfterLabel->isHidden());
    QVERIFY(!f.BadAttemptsLabel->isHidden());
    QCOMPARE(f.AlertAfterLabel->text(), QStringLiteral("Alert after"));
    QCOMPARE(f.BadAttemptsLabel->text(), QStringLiteral("bad attempts"));
    QCOMPARE(f.AlertAfterLabel->buddy(), f.AlertAfterEdit);
    {
        ObserverRecord rec = Records::newRecord(okPing);
        rec.AlertAfter = 7;
        f.loadRecord(rec);
        QCOMPARE(f.AlertAfterEdit->value(), 7);
        f.AlertAfterEdit->selectAll();
        QTest::keyClicks(f.AlertAfterEdit, QStringLiteral("3"));
        f.storeCommon(rec);
        QCOMPARE(rec.AlertAfter, 3);
        rec.AlertAfter = 1;
        f.loadRecord(rec);
    }
    QVERIFY(f.CommentEdit->text().isEmpty());
    QCOMPARE(f.CommentEdit->maxLength(), 255);
    QCOMPARE(f.StatusCheckBox->text(), QStringLiteral("Enabled"));
    QVERIFY(f.StatusCheckBox->isChecked());
    QVERIFY(f.StatusCheckBox->isEnabled());
    // The number boxes of the panels take any integer.
    type(f.PacketSizeEdit, -70000);
    QCOMPARE(f.PacketSizeEdit->value(), -70000);

    // No panel until an operation shows one; exactly one then; none after closing.
    QCOMPARE(f.shownKind(), 0);
    for (qint32 kind = 1; kind <= 8; ++kind) {
        f.showPanel(kind);
        for (qint32 other = 1; other <= 8; ++other)
            QCOMPARE(f.panel(other)->isHidden(), other != kind);
        QCOMPARE(f.panel(kind)->objectName(), TObjectParamsForm::panelName(kind));
    }
    QCOMPARE(TObjectParamsForm::panelName(5), QStringLiteral("DrivePanel2"));
    QCOMPARE(TObjectParamsForm::panelName(8), QStringLiteral("DatabasePanel1"));
    whenModal(&f, [&] { click(f.CancelButton); });
    f.exec();
    QCOMPARE(f.shownKind(), 0);

    // The Enabled box's caption follows its check mark when clicked.
    click(f.StatusCheckBox);
    QCOMPARE(f.StatusCheckBox->text(), QStringLiteral("Disabled"));
    click(f.StatusCheckBox);
    QCOMPARE(f.StatusCheckBox->text(), QStringLiteral("Enabled"));
}

void TestObjectDialogs::wizardShowsHelpAndNeedsASelection()
{
    Rig rig;
    TNewFileForm &w = rig.wizard;
    QCOMPARE(w.windowTitle(), QStringLiteral("New object"));
    QStringList tabs;
    for (int i = 0; i < w.PageControl1->count(); ++i)
        tabs << w.PageControl1->tabText(i);
    QCOMPARE(tabs, (QStringList{"Internet", "Disk/Files", "Databases"}));
    QCOMPARE(w.DiskListView->item(1)->text(), QStringLiteral("Folder/File   size"));
    QCOMPARE(w.InternetListView->iconSize(), QSize(32, 32));
    QVERIFY(!w.InternetListView->item(0)->icon().isNull());

    bool stayedOpen = false;
    QString pingHelp, sizeHelp, afterTabSwitch, afterDeselect;
    int shownTab = -1;
    whenModal(&w, [&] {
        shownTab = w.PageControl1->currentIndex();
        // OK with nothing selected does nothing.
        click(w.OKButton);
        stayedOpen = w.isVisible();
        pickKind(w, 0, 0);
        pingHelp = w.HelpMemo->toPlainText();
        pickKind(w, 1, 1);
        sizeHelp = w.HelpMemo->toPlainText();
        QTabBar *bar = w.PageControl1->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
        afterTabSwitch = w.HelpMemo->toPlainText();
        // A click on empty space deselects: the box stays empty.
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
        pickKind(w, 1, 2);
        QTest::mouseClick(w.DiskListView->viewport(), Qt::LeftButton, {},
                          QPoint(w.DiskListView->viewport()->width() - 5, w.DiskListView->viewport()->height() - 5));
        afterDeselect = w.HelpMemo->toPlainText();
        click(w.CancelButton);
    });
    QCOMPARE(w.exec(), int(QDialog::Rejected));
    QCOMPARE(shownTab, 0);
    QVERIFY(stayedOpen);
    const QStringList ping = pingHelp.split('\n');
    QCOMPARE(ping.size(), 2);
    QVERIFY(ping.at(0).startsWith(QStringLiteral("The ping command verifies connections")));
    QVERIFY(ping.at(1).endsWith(QStringLiteral("You may choose Packet Size, Timeout, TTL.")));
    QCOMPARE(sizeHelp.split('\n').size(), 3);
    QVERIFY(sizeHelp.contains(QStringLiteral("\"Include sub-folders\"")));
    QVERIFY(afterTabSwitch.isEmpty());
    QVERIFY(afterDeselect.isEmpty());

    // Shown again: on "Internet" again, whatever tab was left; a double click
    // on an icon is OK.
    whenModal(&w, [&] {
        shownTab = w.PageControl1->currentIndex();
        QTabBar *bar = w.PageControl1->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(2).center());
        const QPoint at = w.DatabaseListView->visualItemRect(w.DatabaseListView->item(0)).center();
        QTest::mouseClick(w.DatabaseListView->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(w.DatabaseListView->viewport(), Qt::LeftButton, {}, at);
    });
    QCOMPARE(w.exec(), int(QDialog::Accepted));
    QCOMPARE(shownTab, 0);
    QCOMPARE(w.selectedKind(), 8);
    QCOMPARE(w.selectedCaption(), QStringLiteral("Check database"));
    QCOMPARE(w.HelpMemo->toPlainText(), TNewFileForm::helpText(8).join('\n'));

    whenModal(&w, [&] { shownTab = w.PageControl1->currentIndex(); });
    w.exec();
    QCOMPARE(shownTab, 0);
}

void TestObjectDialogs::addEachKind_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<int>("position");
    QTest::addColumn<Fill>("fill");
    QTest::addColumn<QString>("title");
    QTest::addColumn<ObserverRecord>("expected");
    QTest::addColumn<QString>("caption");

    auto record = [](qint32 kind, auto setParams) {
        ObserverRecord r = Records::newRecord(kind);
        setParams(r);
        return r;
    };

    QTest::newRow("Ping") << 0 << 0 << Fill([](Rig &r) {
        type(r.params.PingHostEdit, QStringLiteral("127.0.0.1"));
        type(r.params.PacketSizeEdit, 32);
        type(r.params.TimeoutEdit, 1000);
        type(r.params.TTLEdit, 128);
    }) << "Ping Options" << record(okPing, [](ObserverRecord &r) {
        *r.params<PingParams>() = {QStringLiteral("127.0.0.1"), 32, 1000, 128};
    }) << "127.0.0.1";
    QTest::newRow("TCP Connect") << 0 << 1 << Fill([](Rig &r) {
        type(r.params.TcpHostEdit, QStringLiteral("localhost"));
        type(r.params.PortEdit, 8025);
    }) << "TCP Connect Options" << record(okTcpConnect, [](ObserverRecord &r) {
        *r.params<TcpConnectParams>() = {QStringLiteral("localhost"), 8025};
    }) << "localhost";
    QTest::newRow("URL request") << 0 << 2 << Fill([](Rig &r) {
        type(r.params.UrlEdit, QStringLiteral("http://127.0.0.1:8080/index.html"));
        type(r.params.ProxyServerEdit, QStringLiteral("127.0.0.1"));
        type(r.params.ProxyPortEdit, 8888);
    }) << "URL request Options" << record(okUrl, [](ObserverRecord &r) {
        *r.params<UrlParams>() = {QStringLiteral("http://127.0.0.1:8080/index.html"), QStringLiteral("127.0.0.1"),
                                  8888};
    }) << "http://127.0.0.1:8080/index.html";
    // The volume comes from the drop-down list of mounted volumes: the first
    // in order is the root.
    QTest::newRow("Drive space") << 1 << 0 << Fill([](Rig &r) {
        r.params.DiskEdit->clear();
        r.params.DriveComboBox->setFocus();
        QTest::keyClick(r.params.DriveComboBox, Qt::Key_Home);
        type(r.params.MinFreeEdit, QStringLiteral("1.5"));
    }) << "Drive space Options" << record(okDiskSpace, [](ObserverRecord &r) {
        *r.params<DiskSpaceParams>() = {QStringLiteral("/"), 1.5};
    }) << "/";
    QTest::newRow("Folder/File   size") << 1 << 1 << Fill([](Rig &r) {
        type(r.params.SizeTargetEdit, QStringLiteral("/var/log"));
        type(r.params.MaxSizeEdit, QStringLiteral("2048"));
        click(r.params.SubFoldersCheckBox);
    }) << "Folder/File   size Options" << record(okFolderSize, [](ObserverRecord &r) {
        *r.params<FolderSizeParams>() = {QStringLiteral("/var/log"), 2048, true};
    }) << "/var/log";
    QTest::newRow("Folder/File present") << 1 << 2 << Fill([](Rig &r) {
        type(r.params.PresentTargetEdit, QStringLiteral("/tmp/stop.flag"));
        click(r.params.ExistRadioButton);
    }) << "Folder/File present Options" << record(okFilePresent, [](ObserverRecord &r) {
        *r.params<FilePresentParams>() = {QStringLiteral("/tmp/stop.flag"), true};
    }) << "/tmp/stop.flag";
    QTest::newRow("Compare files") << 1 << 3 << Fill([](Rig &r) {
        type(r.params.FirstFileEdit, QStringLiteral("/etc/hosts"));
        type(r.params.SecondFileEdit, QStringLiteral("/etc/hostname"));
        r.params.AlertWhenComboBox->setFocus();
        QTest::keyClick(r.params.AlertWhenComboBox, Qt::Key_End);
    }) << "Compare files Options" << record(okCompareFiles, [](ObserverRecord &r) {
        *r.params<CompareFilesParams>() = {QStringLiteral("/etc/hosts"), QStringLiteral("/etc/hostname"), 4};
    }) << "/etc/hosts";
    QTest::newRow("Check database") << 2 << 0 << Fill([](Rig &r) {
        type(r.params.ConnectionEdit, QStringLiteral("Provider=SQLite;Data Source=/tmp/x.db;Password=hush"));
    }) << "Check database Options" << record(okDatabase, [](ObserverRecord &r) {
        r.params<DatabaseParams>()->Target = QStringLiteral("Provider=SQLite;Data Source=/tmp/x.db;Password=hush");
    }) << "Provider=SQLite;Data Source=/tmp/x.db;Password=****";
}

void TestObjectDialogs::addEachKind()
{
    QFETCH(int, tab);
    QFETCH(int, position);
    QFETCH(Fill, fill);
    QFETCH(QString, title);
    QFETCH(ObserverRecord, expected);
    QFETCH(QString, caption);
    const qint32 kind = expected.Kind;

    Rig rig;
    // Earlier selections in the editors do not carry over into a new object.
    rig.profiles.selected = 1;
    rig.schedules.selected = 0;
    QString shownTitle, shownPanel;
    int visiblePanels = 0;
    bool profilePreselected = true;
    rig.add(tab, position, [&] {
        shownTitle = rig.params.windowTitle();
        for (qint32 k = 1; k <= 8; ++k)
            if (rig.params.panel(k)->isVisible()) {
                ++visiblePanels;
                shownPanel = rig.params.panel(k)->objectName();
            }
        profilePreselected = rig.profiles.selected >= 0 || rig.schedules.selected >= 0;
        fill(rig);
        type(rig.params.IntervalMinEdit, 0);
        type(rig.params.IntervalSecEdit, 30);
        type(rig.params.CommentEdit, QStringLiteral("watched"));
    });
    QCOMPARE(shownTitle, title);
    QCOMPARE(visiblePanels, 1);
    QCOMPARE(shownPanel, TObjectParamsForm::panelName(kind));
    QVERIFY(!profilePreselected);

    QCOMPARE(rig.engine.count(), 1);
    const ObserverObject *o = rig.engine.object(0);
    QCOMPARE(o->record.Kind, kind);
    QCOMPARE(Records::encodeParams(o->record), Records::encodeParams(expected));
    QCOMPARE(o->record.IntervalMin, 0);
    QCOMPARE(o->record.IntervalSec, 30);
    QCOMPARE(o->record.AlertAfter, 1);
    QCOMPARE(o->record.Comment, QStringLiteral("watched"));
    QVERIFY(o->record.Enabled);
    QVERIFY(o->record.AlertProfileName.isEmpty());
    QVERIFY(o->record.ScheduleName.isEmpty());
    QCOMPARE(o->caption, caption);
    QCOMPARE(o->interval, QStringLiteral("0:30"));
    QCOMPARE(o->method, Records::kindColumnText(kind));
    QCOMPARE(rig.engine.intervalMs(0), 30000);
    // Tested at once, and the first outcome was recorded.
    QCOMPARE(rig.tested(kind), QStringList{expected.target()});
    QCOMPARE(o->status, QStringLiteral("OK"));
    QVERIFY(rig.project.isModified());
    QCOMPARE(rig.params.shownKind(), 0);
}

void TestObjectDialogs::cancelCreatesNothing()
{
    Rig rig;
    // Cancel in the wizard: the parameters dialog never opens.
    bool paramsOpened = false;
    whenModal(&rig.wizard, [&] {
        pickKind(rig.wizard, 0, 0);
        click(rig.wizard.CancelButton);
    });
    QTimer::singleShot(200, [&] { paramsOpened = rig.params.isVisible(); });
    rig.commands.Add1Click();
    QTest::qWait(250);
    QVERIFY(!paramsOpened);
    // Cancel in the parameters dialog.
    whenModal(&rig.wizard, [&] {
        pickKind(rig.wizard, 0, 0);
        click(rig.wizard.OKButton);
    });
    whenModal(&rig.params, [&] {
        type(rig.params.PingHostEdit, QStringLiteral("127.0.0.1"));
        click(rig.params.CancelButton);
    });
    rig.commands.Add1Click();
    QCOMPARE(rig.engine.count(), 0);
    QVERIFY(!rig.project.isModified());
    QCOMPARE(rig.params.shownKind(), 0);

    // Cancel in Edit changes nothing and does not test.
    ObserverRecord rec = Records::newRecord(okPing);
    rec.setTarget(QStringLiteral("127.0.0.1"));
    rig.engine.AppendObject(rec, QStringLiteral("127.0.0.1"));
    whenModal(&rig.params, [&] {
        type(rig.params.PingHostEdit, QStringLiteral("10.1.1.1"));
        click(rig.params.CancelButton);
    });
    rig.commands.EditItemToolButtonClick(0);
    QCOMPARE(rig.engine.object(0)->record.target(), QStringLiteral("127.0.0.1"));
    QCOMPARE(rig.tested(okPing).size(), 1);
    QVERIFY(!rig.project.isModified());
}

void TestObjectDialogs::editStoresRetimesAndRetests()
{
    Rig rig;
    // A Disk Space object on drive C, as a Windows project holds it.
    rig.add(1, 0, [&] { type(rig.params.DiskEdit, QStringLiteral("C")); });
    QCOMPARE(rig.engine.object(0)->record.target(), QStringLiteral("C"));
    QCOMPARE(rig.engine.object(0)->caption, QStringLiteral("C:\\"));
    rig.project.setModified(false);

    QString title;
    QString shownMb;
    rig.edit(0, [&] {
        title = rig.params.windowTitle();
        shownMb = rig.params.MinFreeEdit->text();
        type(rig.params.IntervalMinEdit, 1);
        type(rig.params.IntervalSecEdit, 30);
        type(rig.params.MinFreeEdit, QStringLiteral("512.25"));
    });
    QCOMPARE(title, QStringLiteral("Disk Space Options"));
    QCOMPARE(shownMb, QStringLiteral("80"));
    const ObserverObject *o = rig.engine.object(0);
    // The caption is the box's text as entered: the bare letter.
    QCOMPARE(o->caption, QStringLiteral("C"));
    QCOMPARE(o->record.params<DiskSpaceParams>()->MinFreeMb, 512.25);
    QCOMPARE(o->record.Kind, qint32(okDiskSpace));
    QCOMPARE(o->interval, QStringLiteral("1:30"));
    QCOMPARE(rig.engine.intervalMs(0), 90000);
    QVERIFY(rig.engine.isTimed(0));
    QVERIFY(rig.project.isModified());
    QCOMPARE(rig.tested(okDiskSpace), (QStringList{"C", "C"}));

    // The megabytes show in their shortest form on the next Edit.
    rig.edit(0, [&] { shownMb = rig.params.MinFreeEdit->text(); });
    QCOMPARE(shownMb, QStringLiteral("512.25"));

    // Edit captions by kind: a URL shows what was stored (cut to 255
    // characters), a connection string never shows its password.
    ObserverRecord url = Records::newRecord(okUrl);
    rig.engine.AppendObject(url, QString());
    const QString longUrl = QStringLiteral("http://127.0.0.1/") + QString(300, QLatin1Char('a'));
    rig.edit(1, [&] {
        title = rig.params.windowTitle();
        rig.params.UrlEdit->setText(longUrl);
    });
    QCOMPARE(title, QStringLiteral("URL Options"));
    QCOMPARE(rig.engine.object(1)->record.target(), longUrl.left(255));
    QCOMPARE(rig.engine.object(1)->caption, longUrl.left(255));

    ObserverRecord db = Records::newRecord(okDatabase);
    rig.engine.AppendObject(db, QString());
    rig.edit(2, [&] {
        title = rig.params.windowTitle();
        type(rig.params.ConnectionEdit, QStringLiteral("Driver=SQLite3;Database=/tmp/a.db;PWD=topsecret"));
    });
    QCOMPARE(title, QStringLiteral("Database Options"));
    QCOMPARE(rig.engine.object(2)->record.target(), QStringLiteral("Driver=SQLite3;Database=/tmp/a.db;PWD=topsecret"));
    QVERIFY(!rig.engine.object(2)->caption.contains(QStringLiteral("topsecret")));
    QVERIFY(rig.engine.object(2)->caption.startsWith(QStringLiteral("Driver=SQLite3;Database=/tmp/a.db;")));

    // An AlertWhen the list cannot show (from a file) survives an Edit.
    ObserverRecord cmp = Records::newRecord(okCompareFiles);
    cmp.params<CompareFilesParams>()->AlertWhen = 9;
    rig.engine.AppendObject(cmp, QString());
    rig.edit(3, [&] { type(rig.params.FirstFileEdit, QStringLiteral("/etc/hosts")); });
    QCOMPARE(rig.engine.object(3)->record.params<CompareFilesParams>()->AlertWhen, 9);
}

void TestObjectDialogs::editWithoutSelectionSaysSo()
{
    Rig rig;
    ObserverRecord rec = Records::newRecord(okPing);
    rec.setTarget(QStringLiteral("127.0.0.1"));
    rig.engine.AppendObject(rec, QStringLiteral("127.0.0.1"));
    bool dialogOpened = false;
    QTimer::singleShot(0, [&] { dialogOpened = rig.params.isVisible(); });
    rig.commands.EditItemToolButtonClick(-1);
    QTest::qWait(20);
    QVERIFY(!dialogOpened);
    QCOMPARE(rig.prompt.shown.size(), 1);
    QCOMPARE(rig.prompt.shown.at(0).kind, QStringLiteral("message"));
    QCOMPARE(rig.prompt.shown.at(0).title, QStringLiteral("Error"));
    QCOMPARE(rig.prompt.shown.at(0).text, QStringLiteral("Have not selected line"));
    QCOMPARE(rig.tested(okPing).size(), 1);
    QVERIFY(!rig.project.isModified());
}

void TestObjectDialogs::editChoosesProfileAndSchedule_data()
{
    QTest::addColumn<QString>("profile");  // the object's AlertProfileName
    QTest::addColumn<QString>("schedule"); // its ScheduleName
    QTest::addColumn<QString>(
        "inEditor"); // what the user does in both editors: "" nothing, "-" clears, a name selects it
    QTest::addColumn<QString>("preProfile"); // selection shown when the dialog opened
    QTest::addColumn<QString>("preSchedule");
    QTest::addColumn<QString>("afterProfile");
    QTest::addColumn<QString>("afterSchedule");

    QTest::newRow("kept as is") << "Alpha"
                                << "Weekend"
                                << ""
                                << "Alpha"
                                << "Weekend"
                                << "Alpha"
                                << "Weekend";
    QTest::newRow("matched ignoring case") << "beta"
                                           << "WORKDAYS"
                                           << ""
                                           << "Beta"
                                           << "Workdays"
                                           << "Beta"
                                           << "Workdays";
    QTest::newRow("another one chosen") << "Alpha"
                                        << "Weekend"
                                        << "Beta|Workdays"
                                        << "Alpha"
                                        << "Weekend"
                                        << "Beta"
                                        << "Workdays";
    QTest::newRow("deleted in the editor") << "Alpha"
                                           << "Weekend"
                                           << "-"
                                           << "Alpha"
                                           << "Weekend"
                                           << "Alpha"
                                           << "Weekend";
    QTest::newRow("names that no longer exist") << "Gone"
                                                << "Vanished"
                                                << ""
                                                << ""
                                                << ""
                                                << "Gone"
                                                << "Vanished";
    QTest::newRow("none yet, one chosen") << ""
                                          << ""
                                          << "Alpha|Weekend"
                                          << ""
                                          << ""
                                          << "Alpha"
                                          << "Weekend";
    QTest::newRow("none stays none") << ""
                                     << ""
                                     << ""
                                     << ""
                                     << ""
                                     << ""
                                     << "";
}

void TestObjectDialogs::editChoosesProfileAndSchedule()
{
    QFETCH(QString, profile);
    QFETCH(QString, schedule);
    QFETCH(QString, inEditor);
    QFETCH(QString, preProfile);
    QFETCH(QString, preSchedule);
    QFETCH(QString, afterProfile);
    QFETCH(QString, afterSchedule);

    Rig rig;
    ObserverRecord rec = Records::newRecord(okTcpConnect);
    rec.setTarget(QStringLiteral("localhost"));
    rec.AlertProfileName = profile;
    rec.ScheduleName = schedule;
    rig.engine.AppendObject(rec, QStringLiteral("localhost"));
    // A stale selection from earlier use must not count.
    rig.profiles.selected = 1;
    rig.schedules.selected = 1;

    if (inEditor == QLatin1String("-")) {
        rig.profiles.whileOpen = [](FakeNamePicker &p) { p.select(QString()); };
        rig.schedules.whileOpen = [](FakeNamePicker &p) { p.select(QString()); };
    } else if (!inEditor.isEmpty()) {
        const QStringList names = inEditor.split('|');
        rig.profiles.whileOpen = [n = names.at(0)](FakeNamePicker &p) { p.select(n); };
        rig.schedules.whileOpen = [n = names.at(1)](FakeNamePicker &p) { p.select(n); };
    }
    QString shownProfile, shownSchedule;
    rig.edit(0, [&] {
        shownProfile = rig.profiles.selectedName();
        shownSchedule = rig.schedules.selectedName();
        if (!inEditor.isEmpty()) {
            click(rig.params.AlertProfileButton);
            click(rig.params.ScheduleButton);
        }
    });
    QCOMPARE(shownProfile, preProfile);
    QCOMPARE(shownSchedule, preSchedule);
    QCOMPARE(rig.profiles.execCount, inEditor.isEmpty() ? 0 : 1);
    QCOMPARE(rig.engine.object(0)->record.AlertProfileName, afterProfile);
    QCOMPARE(rig.engine.object(0)->record.ScheduleName, afterSchedule);

    // Add takes the selection (cut to 255 characters) or nothing at all.
    rig.profiles.names << QString(300, QLatin1Char('P'));
    rig.profiles.whileOpen = [](FakeNamePicker &p) { p.selected = 2; };
    rig.schedules.whileOpen = nullptr;
    rig.add(0, 1, [&] {
        type(rig.params.TcpHostEdit, QStringLiteral("127.0.0.1"));
        click(rig.params.AlertProfileButton);
    });
    QCOMPARE(rig.engine.count(), 2);
    QCOMPARE(rig.engine.object(1)->record.AlertProfileName, QString(255, QLatin1Char('P')));
    QVERIFY(rig.engine.object(1)->record.ScheduleName.isEmpty());
}

void TestObjectDialogs::enabledIsTheCheckMark()
{
    Rig rig;
    // A disabled object from a project file: Edit shows it unticked, and
    // the flag stays off; its timer never runs.
    ObserverRecord off = Records::newRecord(okPing);
    off.setTarget(QStringLiteral("127.0.0.2"));
    off.Enabled = false;
    rig.engine.AppendObject(off, QStringLiteral("127.0.0.2"));
    QVERIFY(!rig.engine.isTimed(0));
    bool checked = true;
    QString caption;
    rig.edit(0, [&] {
        checked = rig.params.StatusCheckBox->isChecked();
        caption = rig.params.StatusCheckBox->text();
        QVERIFY(rig.params.StatusCheckBox->isEnabled());
        type(rig.params.CommentEdit, QStringLiteral("still off"));
    });
    QVERIFY(!checked);
    QCOMPARE(caption, QStringLiteral("Disabled"));
    QVERIFY(!rig.engine.object(0)->record.Enabled);
    QVERIFY(!rig.engine.isTimed(0));

    // Nothing leaks into the next Add: a new object starts ticked, and
    // unticking it creates it disabled.
    rig.add(0, 0, [&] {
        checked = rig.params.StatusCheckBox->isChecked();
        type(rig.params.PingHostEdit, QStringLiteral("127.0.0.3"));
    });
    QVERIFY(checked);
    QVERIFY(rig.engine.object(1)->record.Enabled);
    QVERIFY(rig.engine.isTimed(1));
    rig.add(0, 0, [&] {
        type(rig.params.PingHostEdit, QStringLiteral("127.0.0.4"));
        click(rig.params.StatusCheckBox);
    });
    QVERIFY(!rig.engine.object(2)->record.Enabled);
    QVERIFY(!rig.engine.isTimed(2));

    // Unticking in Edit stops the object's timer; ticking starts it again.
    rig.edit(1, [&] { click(rig.params.StatusCheckBox); });
    QVERIFY(!rig.engine.object(1)->record.Enabled);
    QVERIFY(!rig.engine.isTimed(1));
    rig.edit(1, [&] {
        checked = rig.params.StatusCheckBox->isChecked();
        click(rig.params.StatusCheckBox);
    });
    QVERIFY(!checked);
    QVERIFY(rig.engine.object(1)->record.Enabled);
    QVERIFY(rig.engine.isTimed(1));
}

void TestObjectDialogs::emptyTargetIsRefused_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<int>("position");
    QTest::addColumn<Fill>("fill"); // everything but the box left empty
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("box"); // the box that gets the focus
    const Fill nothing = [](Rig &) {};
    QTest::newRow("Ping") << 0 << 0 << nothing << "Enter the host name or IP address to test."
                          << "PingHostEdit";
    QTest::newRow("TCP, blanks only") << 0 << 1 << Fill([](Rig &r) { type(r.params.TcpHostEdit, QStringLiteral("   ")); })
                                      << "Enter the host name or IP address to test."
                                      << "TcpHostEdit";
    QTest::newRow("URL") << 0 << 2 << nothing << "Enter the address of the page to request."
                         << "UrlEdit";
    QTest::newRow("Disk space") << 1 << 0 << Fill([](Rig &r) { type(r.params.DiskEdit, QString()); })
                                << "Enter the mount point or a folder of the volume to test."
                                << "DiskEdit";
    QTest::newRow("File present") << 1 << 2 << nothing << "Enter the file or folder to test."
                                  << "PresentTargetEdit";
    QTest::newRow("Compare, second file empty")
        << 1 << 3 << Fill([](Rig &r) { type(r.params.FirstFileEdit, QStringLiteral("/etc/hosts")); })
        << "Enter the second file to compare."
        << "SecondFileEdit";
    QTest::newRow("Database") << 2 << 0 << nothing << "Enter the connection string of the database."
                              << "ConnectionEdit";
}

void TestObjectDialogs::emptyTargetIsRefused()
{
    QFETCH(int, tab);
    QFETCH(int, position);
    QFETCH(Fill, fill);
    QFETCH(QString, message);
    QFETCH(QString, box);
    Rig rig;
    bool stayedOpen = false;
    QString focused;
    whenModal(&rig.wizard, [&] {
        pickKind(rig.wizard, tab, position);
        click(rig.wizard.OKButton);
    });
    whenModal(&rig.params, [&] {
        fill(rig);
        click(rig.params.OKButton);
        stayedOpen = rig.params.isVisible();
        if (QWidget *w = rig.params.focusWidget())
            focused = w->objectName();
        click(rig.params.CancelButton);
    });
    rig.commands.Add1Click();
    QVERIFY(stayedOpen);
    QCOMPARE(focused, box);
    QCOMPARE(rig.prompt.texts(), QStringList{message});
    QCOMPARE(rig.prompt.shown.constFirst().title, QStringLiteral("Error"));
    QCOMPARE(rig.engine.count(), 0); // nothing was created
}

void TestObjectDialogs::zeroIntervalWarning()
{
    Rig rig;
    TObjectParamsForm &f = rig.params;
    // The warning shows exactly while the interval is 0:0, in Add and Edit.
    bool atFive = true, atZero = false, atSecond = true, editOfZero = false;
    rig.add(0, 0, [&] {
        atFive = f.IntervalWarningLabel->isVisible();
        type(f.PingHostEdit, QStringLiteral("127.0.0.1"));
        type(f.IntervalMinEdit, 0);
        atZero = f.IntervalWarningLabel->isVisible();
        type(f.IntervalSecEdit, 30);
        atSecond = f.IntervalWarningLabel->isVisible();
        type(f.IntervalSecEdit, 0);
    });
    QVERIFY(!atFive);
    QVERIFY(atZero);
    QVERIFY(!atSecond);
    QVERIFY(f.IntervalWarningLabel->text().contains(QLatin1String("never tested by the timer")));
    // A warning, not a refusal: the 0:0 object exists, and its Edit warns.
    QCOMPARE(rig.engine.count(), 1);
    QCOMPARE(rig.engine.object(0)->record.IntervalMin, 0);
    QCOMPARE(rig.engine.object(0)->record.IntervalSec, 0);
    rig.edit(0, [&] { editOfZero = f.IntervalWarningLabel->isVisible(); });
    QVERIFY(editOfZero);
}

void TestObjectDialogs::attachedNamesAreShown()
{
    Rig rig;
    TObjectParamsForm &f = rig.params;
    auto shown = [&] { return f.AlertProfileNameLabel->text() + QLatin1Char('|') + f.ScheduleNameLabel->text(); };
    QString atAdd, afterEditor;
    rig.profiles.whileOpen = [](FakeNamePicker &p) { p.selected = 1; }; // Beta chosen in the editor
    rig.add(0, 0, [&] {
        atAdd = shown();
        type(f.PingHostEdit, QStringLiteral("127.0.0.1"));
        click(f.AlertProfileButton);
        afterEditor = shown();
    });
    QCOMPARE(atAdd, QStringLiteral("Alert profile: none|Schedule: none"));
    QCOMPARE(afterEditor, QStringLiteral("Alert profile: Beta|Schedule: none"));
    QCOMPARE(rig.engine.object(0)->record.AlertProfileName, QStringLiteral("Beta"));

    // Edit shows the object's names: one the list holds, and one it no
    // longer holds (kept by Edit, so shown as well).
    ObserverRecord r = Records::newRecord(okPing);
    r.setTarget(QStringLiteral("127.0.0.2"));
    r.AlertProfileName = QStringLiteral("alpha");
    r.ScheduleName = QStringLiteral("Removed nights");
    rig.engine.AppendObject(r, QStringLiteral("127.0.0.2"));
    QString atEdit;
    rig.edit(1, [&] { atEdit = shown(); });
    QCOMPARE(atEdit, QStringLiteral("Alert profile: Alpha|Schedule: Removed nights"));
    QCOMPARE(rig.engine.object(1)->record.ScheduleName, QStringLiteral("Removed nights"));
}

void TestObjectDialogs::addAfterEditKeepsTheDialogValues()
{
    Rig rig;
    ObserverRecord cmp = Records::newRecord(okCompareFiles);
    cmp.setTarget(QStringLiteral("/etc/hosts"));
    cmp.params<CompareFilesParams>()->SecondFile = QStringLiteral("/etc/hostname");
    cmp.params<CompareFilesParams>()->AlertWhen = 3;
    cmp.IntervalMin = 12;
    cmp.Comment = QStringLiteral("from the edit");
    cmp.AlertProfileName = QStringLiteral("Alpha");
    rig.engine.AppendObject(cmp, QStringLiteral("/etc/hosts"));
    rig.edit(0, [] {});

    QString first, second, comment;
    int alertWhen = -1, minutes = -1;
    QString profile = QStringLiteral("unset");
    rig.add(1, 3, [&] {
        first = rig.params.FirstFileEdit->text();
        second = rig.params.SecondFileEdit->text();
        comment = rig.params.CommentEdit->text();
        minutes = rig.params.IntervalMinEdit->value();
        alertWhen = rig.params.AlertWhenComboBox->currentIndex();
        profile = rig.profiles.selectedName();
    });
    QCOMPARE(first, QStringLiteral("/etc/hosts"));
    QCOMPARE(second, QStringLiteral("/etc/hostname"));
    QCOMPARE(comment, QStringLiteral("from the edit"));
    QCOMPARE(minutes, 12);
    QCOMPARE(alertWhen, 0);
    QCOMPARE(profile, QString());
    QCOMPARE(rig.engine.count(), 2);
    QCOMPARE(rig.engine.object(1)->record.params<CompareFilesParams>()->AlertWhen, 0);
    QVERIFY(rig.engine.object(1)->record.AlertProfileName.isEmpty());
}

void TestObjectDialogs::megabyteBoxesAreValidatedFirst_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("bad");
    QTest::addColumn<QString>("good");
    QTest::addColumn<double>("value");
    QTest::newRow("disk, empty") << int(okDiskSpace) << ""
                                 << "100" << 100.0;
    QTest::newRow("disk, words") << int(okDiskSpace) << "eighty"
                                 << " 0.5 " << 0.5;
    QTest::newRow("disk, unit typed") << int(okDiskSpace) << "80 Mb"
                                      << "1e3" << 1000.0;
    QTest::newRow("size, two points") << int(okFolderSize) << "1.2.3"
                                      << "-1" << -1.0;
    QTest::newRow("size, infinite") << int(okFolderSize) << "inf"
                                    << "65536.125" << 65536.125;
}

void TestObjectDialogs::megabyteBoxesAreValidatedFirst()
{
    QFETCH(int, kind);
    QFETCH(QString, bad);
    QFETCH(QString, good);
    QFETCH(double, value);
    Rig rig;
    QLineEdit *box = kind == okDiskSpace ? rig.params.MinFreeEdit : rig.params.MaxSizeEdit;
    QLineEdit *target = kind == okDiskSpace ? rig.params.DiskEdit : rig.params.SizeTargetEdit;
    auto get = [&](const ObserverObject *o) {
        return kind == okDiskSpace ? o->record.params<DiskSpaceParams>()->MinFreeMb
                                   : o->record.params<FolderSizeParams>()->MaxSizeMb;
    };

    // Add: OK with a bad number says so and keeps the dialog open; nothing
    // exists until the number is fixed.
    bool stayedOpen = false;
    int countWhileOpen = -1;
    rig.add(1, kind - okDiskSpace, [&] {
        type(target, QStringLiteral("/"));
        type(box, bad);
        click(rig.params.OKButton);
        stayedOpen = rig.params.isVisible();
        countWhileOpen = rig.engine.count();
        type(box, good);
    });
    QVERIFY(stayedOpen);
    QCOMPARE(countWhileOpen, 0);
    QCOMPARE(rig.prompt.shown.size(), 1);
    QCOMPARE(rig.prompt.shown.at(0).title, QStringLiteral("Error"));
    QVERIFY2(rig.prompt.shown.at(0).text.contains(QLatin1Char('\'') + bad + QLatin1Char('\'')),
             qPrintable(rig.prompt.shown.at(0).text));
    QCOMPARE(rig.engine.count(), 1);
    QCOMPARE(get(rig.engine.object(0)), value);

    // Edit: a bad number changes nothing when the dialog is then cancelled.
    rig.project.setModified(false);
    whenModal(&rig.params, [&] {
        type(target, QStringLiteral("/tmp"));
        type(box, bad);
        click(rig.params.OKButton);
        click(rig.params.CancelButton);
    });
    rig.commands.EditItemToolButtonClick(0);
    QCOMPARE(get(rig.engine.object(0)), value);
    QCOMPARE(rig.engine.object(0)->record.target(), QStringLiteral("/"));
    QVERIFY(!rig.project.isModified());

    // AddObserver on its own refuses as well.
    type(box, bad);
    QVERIFY(!rig.commands.AddObserver(kind));
    QCOMPARE(rig.engine.count(), 1);
}

void TestObjectDialogs::deleteRemovesWithoutQuestion()
{
    Rig rig;
    for (const char *host : {"127.0.0.1", "127.0.0.2", "127.0.0.3"}) {
        ObserverRecord rec = Records::newRecord(okPing);
        rec.setTarget(QString::fromLatin1(host));
        rig.engine.AppendObject(rec, QString::fromLatin1(host));
    }
    rig.commands.DelItemToolButtonClick(1);
    QCOMPARE(rig.engine.count(), 2);
    QCOMPARE(rig.engine.object(0)->caption, QStringLiteral("127.0.0.1"));
    QCOMPARE(rig.engine.object(1)->caption, QStringLiteral("127.0.0.3"));
    // No row selected: nothing happens, nothing is asked.
    rig.commands.DelItemToolButtonClick(-1);
    QCOMPARE(rig.engine.count(), 2);
    rig.commands.DelItemToolButtonClick(0);
    rig.commands.DelItemToolButtonClick(0);
    QCOMPARE(rig.engine.count(), 0);
    QVERIFY(rig.prompt.shown.isEmpty());
    QVERIFY(!rig.project.isModified());
}

void TestObjectDialogs::portButtonFillsThePortBox()
{
    Rig rig;
    rig.params.showPanel(okTcpConnect);
    int fromEmptyPick = 0, fromSmtp = 0, afterCancel = 0;
    whenModal(&rig.params, [&] {
        type(rig.params.PortEdit, 8080);
        // OK without a row: the box keeps its number.
        whenModal(&rig.portPicker, [&] { click(rig.portPicker.OKButton); });
        click(rig.params.SelectPortButton);
        fromEmptyPick = rig.params.PortEdit->value();
        whenModal(&rig.portPicker, [&] {
            QTableWidget *list = rig.portPicker.PortListView;
            list->scrollToItem(list->item(14, 0));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(14, 1)).center());
            click(rig.portPicker.OKButton);
        });
        click(rig.params.SelectPortButton);
        fromSmtp = rig.params.PortEdit->value();
        type(rig.params.PortEdit, 110);
        whenModal(&rig.portPicker, [&] { click(rig.portPicker.CancelButton); });
        click(rig.params.SelectPortButton);
        afterCancel = rig.params.PortEdit->value();
        click(rig.params.CancelButton);
    });
    rig.params.exec();
    QCOMPARE(fromEmptyPick, 8080);
    QCOMPARE(fromSmtp, 25);
    QCOMPARE(afterCancel, 110);
    QCOMPARE(rig.params.SelectPortButton->toolTip(), QStringLiteral("Select from reference book"));
}

void TestObjectDialogs::fileAndFolderButtons()
{
    Rig rig;
    TObjectParamsForm &f = rig.params;
    rig.prompt.fileNames << QStringLiteral("/var/log/syslog") << QString() << QStringLiteral("/etc/b.conf");
    type(f.SizeTargetEdit, QStringLiteral("/var"));
    f.showPanel(okFolderSize);
    f.show();
    click(f.SizeFileButton);
    QCOMPARE(f.SizeTargetEdit->text(), QStringLiteral("/var/log/syslog"));
    QCOMPARE(rig.prompt.shown.last().kind, QStringLiteral("open"));
    QCOMPARE(rig.prompt.shown.last().title, QStringLiteral("All files (*)"));
    QCOMPARE(rig.prompt.shown.last().text, QStringLiteral("/var")); // starts at the box's path
    click(f.SizeFileButton);                                        // cancelled
    QCOMPARE(f.SizeTargetEdit->text(), QStringLiteral("/var/log/syslog"));

    rig.nextFolder = QStringLiteral("/srv/data");
    click(f.SizeFolderButton);
    QCOMPARE(f.SizeTargetEdit->text(), QStringLiteral("/srv/data"));
    QCOMPARE(rig.folderRequests.last(), QStringLiteral("Select Directory|/var/log/syslog"));
    rig.nextFolder.clear();
    click(f.SizeFolderButton);
    QCOMPARE(f.SizeTargetEdit->text(), QStringLiteral("/srv/data"));
    QCOMPARE(f.SizeFileButton->toolTip(), QStringLiteral("Select file"));
    QCOMPARE(f.SizeFolderButton->toolTip(), QStringLiteral("SelectFolder"));

    // The two "..." buttons of the compare panel fill their own boxes.
    f.showPanel(okCompareFiles);
    click(f.SecondFileButton);
    QCOMPARE(f.SecondFileEdit->text(), QStringLiteral("/etc/b.conf"));
    QVERIFY(f.FirstFileEdit->text().isEmpty());
    f.hide();
}

void TestObjectDialogs::databaseButtonOpensTheConnectionEditor()
{
    QTemporaryDir dir;
    const QString dbFile = dir.filePath(QStringLiteral("watched.db"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fixture"));
        db.setDatabaseName(dbFile);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("CREATE TABLE t (x INTEGER)")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fixture"));

    Rig rig;
    ConnectionStringEditor *ed = rig.params.connectionEditor();
    rig.params.showPanel(okDatabase);
    QString missingResult, goodResult;
    whenModal(&rig.params, [&] {
        type(rig.params.ConnectionEdit, QStringLiteral("old"));
        // Composed from the fields, tested against a real SQLite file.
        whenModal(ed, [&] {
            ed->TypeComboBox->setFocus();
            QTest::keyClick(ed->TypeComboBox, Qt::Key_Home);
            type(ed->FileEdit, dir.filePath(QStringLiteral("missing.db")));
            click(ed->TestButton);
            missingResult = ed->TestResultLabel->text();
            type(ed->FileEdit, dbFile);
            click(ed->TestButton);
            goodResult = ed->TestResultLabel->text();
            click(ed->OKButton);
        });
        click(rig.params.SelectDatabaseButton);
        const QString composed = rig.params.ConnectionEdit->text();
        // Cancel keeps the box's text.
        whenModal(ed, [&] {
            type(ed->FileEdit, QStringLiteral("/elsewhere.db"));
            click(ed->CancelButton);
        });
        click(rig.params.SelectDatabaseButton);
        QCOMPARE(rig.params.ConnectionEdit->text(), composed);
        click(rig.params.OKButton);
    });
    rig.params.exec();
    QCOMPARE(rig.databaseCloses, 2);
    QCOMPARE(rig.params.ConnectionEdit->text(), QStringLiteral("Provider=SQLite;Data Source=") + dbFile);
    QVERIFY2(missingResult.startsWith(QStringLiteral("Test connection failed")), qPrintable(missingResult));
    QCOMPARE(goodResult, QStringLiteral("Test connection succeeded."));
    DatabaseProbe::closeConnection();
}

void TestObjectDialogs::connectionEditorReadsAndComposes_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("connectType");
    QTest::addColumn<QString>("change"); // "field=value"
    QTest::addColumn<QString>("result");

    QTest::newRow("provider with password and an unknown key")
        << "Provider=PostgreSQL;Data Source=127.0.0.1;Port=5433;Initial Catalog=app;User "
           "ID=watch;Password=pw;sslmode=disable"
        << int(ConnectionStringEditor::PostgreSQLServer) << "user=monitor"
        << "Provider=PostgreSQL;Data Source=127.0.0.1;Port=5433;Initial Catalog=app;User "
           "ID=monitor;Password=pw;sslmode=disable";
    QTest::newRow("Qt driver name as provider")
        << "Provider=QSQLITE;Data Source=/tmp/a.db" << int(ConnectionStringEditor::SQLiteFile) << "file=/tmp/b.db"
        << "Provider=SQLite;Data Source=/tmp/b.db";
    QTest::newRow("ODBC driver, value needing braces")
        << "Driver={PostgreSQL Unicode};Server=127.0.0.1;Database=app;UID=u;PWD=p"
        << int(ConnectionStringEditor::OdbcDriver) << "password=a;b"
        << "Driver=PostgreSQL Unicode;Server=127.0.0.1;Database=app;UID=u;PWD={a;b}";
    QTest::newRow("data source name") << "DSN=Accounts;UID=u" << int(ConnectionStringEditor::OdbcDataSource)
                                      << "timeout=5"
                                      << "DSN=Accounts;UID=u;Connect Timeout=5";
    QTest::newRow("MySQL, emptied fields left out")
        << "Provider=MySQL;Server=db1;Database=shop;User ID=x" << int(ConnectionStringEditor::MySQLServer) << "user="
        << "Provider=MySQL;Data Source=db1;Initial Catalog=shop";
    QTest::newRow("not a list: fields start empty")
        << "garbage without pairs" << int(ConnectionStringEditor::SQLiteFile) << "file=/tmp/c.db"
        << "Provider=SQLite;Data Source=/tmp/c.db";
}

void TestObjectDialogs::connectionEditorReadsAndComposes()
{
    QFETCH(QString, start);
    QFETCH(int, connectType);
    QFETCH(QString, change);
    QFETCH(QString, result);
    ConnectionStringEditor ed;
    ed.setConnectionTester([](const QString &, QString *) { return true; });
    QString text = start;
    QString shownAtStart;
    int shownType = -1;
    whenModal(&ed, [&] {
        shownAtStart = ed.ConnectionStringEdit->text();
        shownType = ed.TypeComboBox->currentIndex();
        const QString field = change.section('=', 0, 0);
        const QString value = change.section('=', 1);
        if (field == QLatin1String("user"))
            type(ed.UserEdit, value);
        else if (field == QLatin1String("file"))
            type(ed.FileEdit, value);
        else if (field == QLatin1String("password"))
            type(ed.PasswordEdit, value);
        else if (field == QLatin1String("timeout"))
            type(ed.TimeoutEdit, value.toInt());
        click(ed.OKButton);
    });
    QVERIFY(ed.edit(text));
    QCOMPARE(shownAtStart, start); // shown as given until a field changes
    QCOMPARE(shownType, connectType);
    QCOMPARE(text, result);
    // The composed string opens as the database test reads it.
    QVERIFY2(DatabaseConnectionPlan::fromConnectionString(text).valid,
             qPrintable(DatabaseConnectionPlan::fromConnectionString(text).error));
}

QTEST_MAIN(TestObjectDialogs)
#include "test_objectdialogs.moc"
