// The main window, driven through its menus, toolbar, shortcuts and tray
// icon, with a scripted prompt and a recording desktop in place of the boxes
// that wait for a click and the calls that leave the program.
#include "ui/customizetoolbardialog.h"
#include "ui/mainform.h"
#include "ui/newfileform.h"
#include "ui/qtprompt.h"
#include "ui/objectparamsform.h"
#include "widgets/helpform.h"

#include "alerts/alertprofile.h"
#include "alerts/alertprofileform.h"
#include "eventlog/availabilityform.h"
#include "eventlog/loganalyserform.h"
#include "schedules/scheduleform.h"
#include "schedules/schedulestore.h"
#include "settings/programoptionform.h"

#include "core/paths.h"
#include "core/projectfile.h"

#include "../support/recordingdesktop.h"
#include "../support/scriptedprompt.h"
#include "../support/testfiles.h"
#include "../support/whenmodal.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusTipEvent>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QWindow>

#include <memory>

namespace
{

QString dataLog()
{
    return Paths::dataFile(QStringLiteral("data.log"));
}

ObserverRecord presentObject(const QString &path)
{
    ObserverRecord r = Records::newRecord(okFilePresent);
    r.setTarget(path);
    r.IntervalMin = 0; // tested on load and refresh only
    r.IntervalSec = 0;
    return r;
}

QByteArray projectBytes(const QList<ObserverRecord> &records)
{
    std::vector<const ObserverRecord *> ptrs;
    for (const ObserverRecord &r : records)
        ptrs.push_back(&r);
    return ProjectFormat::encode(ptrs);
}

// The targets of a project file's objects, in order.
QStringList projectTargets(const QString &path)
{
    QStringList out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("<cannot open>")};
    ProjectFormat::read(file, [&](ObserverRecord &&r) { out << r.target(); });
    return out;
}

QStringList menuLayout(QMenu *menu)
{
    QStringList out;
    for (QAction *a : menu->actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

// The main window with its seams and its own options file.
struct Fixture {
    QTemporaryDir dir;
    ScriptedPrompt prompt;
    RecordingDesktop desktop;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<TMainForm> form;

    Fixture()
    {
        settings = std::make_unique<QSettings>(dir.filePath(QStringLiteral("options.conf")), QSettings::IniFormat);
        form = std::make_unique<TMainForm>(&prompt, &desktop);
        OptionsLocation where;
        where.settings = settings.get();
        where.templateFile = dir.filePath(QStringLiteral("email.dat"));
        form->setOptionsLocation(where);
        form->setTrayAvailable(true);
    }
    void option(const char *name, const QString &value)
    {
        settings->setValue(QStringLiteral("Option/") + QLatin1String(name), value);
        settings->sync();
    }
    QString option(const char *name)
    {
        settings->sync();
        return settings->value(QStringLiteral("Option/") + QLatin1String(name)).toString();
    }
    void show()
    {
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()) || form->isVisible());
    }
    QAction *menuAction(const QString &menuTitle, const QString &caption)
    {
        for (QAction *m : form->menuBar()->actions())
            if (m->text() == menuTitle && m->menu())
                for (QAction *a : m->menu()->actions())
                    if (a->text() == caption)
                        return a;
        return nullptr;
    }
    QString path(const QString &name) { return dir.filePath(name); }
    QStringList statuses()
    {
        QStringList out;
        for (int i = 0; i < form->engine().count(); ++i)
            out << form->engine().object(i)->status;
        return out;
    }
    QStringList captions()
    {
        QStringList out;
        for (int i = 0; i < form->engine().count(); ++i)
            out << form->engine().object(i)->caption;
        return out;
    }
};

} // namespace

class TestMainForm : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QFile::remove(dataLog());
        QFile::remove(Paths::dataFile(QStringLiteral("profile.dat")));
        QFile::remove(Paths::dataFile(QStringLiteral("Schedule.dat")));
    }

    void actions_data();
    void actions();
    void menusAndToolbar();
    void hintPanel();
    void listView();
    void listRepaintedAfterABurstOfChanges();
    void statusImages();

    void saveAsSaveOpenAppend();
    void saveQuestions_data();
    void saveQuestions();
    void openRefusesOtherFiles();
    void commandLineProject_data();
    void commandLineProject();

    void startStopLogsTwoLines();
    void shortcutsReachTheWindowFromTheList();
    void deleteAndEditNeedASelection();

    void firstShowingWithoutPlacement();
    void firstShowingWithPlacementAndAutoStart();
    void closingUnmodified();
    void closingModified_data();
    void closingModified();
    void closingMaximizedKeepsNormalGeometry();
    void quitWithoutQuestionsClosesModalBoxes();
    void quitWhileAProjectLoads();
    void fileCommandsDuringALoad_data();
    void fileCommandsDuringALoad();
    void saveAsWritesAndTheTitleFollows();
    void noBoxAfterASignal_data();
    void noBoxAfterASignal();
    void overwriteQuestionsBoxes();

    void minimizeToTray_data();
    void minimizeToTray();
    void trayTellsTheState();
    void cutCellsTooltipDoubleClickAndDisabledRows();

    void printPositions();
    void printContinuesOnNewPages();
    void printWithoutPrinter();
    void printKeepsEveryCellWhole();

    void customizeToolbar();
    void helpHomePageContact();

    void addAndEditWithTheEditorsAsPickers();
    void editorsAndAnalyserFromTheirActions();
    void programOptionsFromTheMainWindow();
};

void TestMainForm::actions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<QKeySequence>("shortcut");
    const QKeySequence none;
    QTest::newRow("New") << "NewProjectAction"
                         << "&New project"
                         << "Create new project file" << QKeySequence("Ctrl+N");
    QTest::newRow("Open") << "OpenProjectAction"
                          << "&Open existing"
                          << "Opens an existing project file" << QKeySequence("Ctrl+O");
    QTest::newRow("Save") << "SaveToolButton"
                          << "&Save project"
                          << "Save current project file" << QKeySequence("Ctrl+S");
    QTest::newRow("SaveAs") << "SaveProjectAsAction"
                            << "S&ave as..."
                            << "Save project with new name" << none;
    QTest::newRow("Append") << "AppendAction"
                            << "A&ppend"
                            << "Append from existing project file" << none;
    QTest::newRow("PrinterSetup") << "PrinterSetupAction"
                                  << "P&rinter setup"
                                  << "Printer setup" << none;
    QTest::newRow("Print") << "PrintAction"
                           << "Pr&int"
                           << "Print current project" << QKeySequence("Ctrl+P");
    QTest::newRow("Exit") << "ExitAction"
                          << "&Exit"
                          << "Exit from Velmora Sentrova" << QKeySequence("Alt+F4");
    QTest::newRow("Add") << "AddObjectAction"
                         << "&Add observer object"
                         << "Add Observer object to Sentrova list" << QKeySequence("Ctrl+A");
    QTest::newRow("Edit") << "EditObjectAction"
                          << "&Edit selected object"
                          << "Edit properties of selected observer object" << QKeySequence("Ctrl+E");
    QTest::newRow("Delete") << "DeleteObjectAction"
                            << "&Delete selected"
                            << "Delete selected observer object" << QKeySequence("Ctrl+D");
    QTest::newRow("Start") << "StartButton"
                           << "&Start observer"
                           << "Start observer" << QKeySequence("Ctrl+R");
    QTest::newRow("RefreshSel") << "RefreshSelectedAction"
                                << "&Refresh Selected"
                                << "Refresh Selected" << QKeySequence("Ctrl+U");
    QTest::newRow("RefreshAll") << "RefreshAllAction"
                                << "Re&fresh all"
                                << "Refresh all objects" << none;
    QTest::newRow("Schedule") << "VewSheduleAction"
                              << "&Vew Shedule"
                              << "Vew Shedule" << none;
    QTest::newRow("Alert") << "AlertProfileAction"
                           << "&Alert Profile"
                           << "View Alert Profile" << none;
    QTest::newRow("Log") << "LogAnalyserAction"
                         << "&Log Analyser"
                         << "View Log Analyser" << none;
    QTest::newRow("Availability") << "AvailabilityAction"
                                  << "Availa&bility"
                                  << "View the availability of every object" << none;
    QTest::newRow("Options") << "ProgramOptionAction"
                             << "&Program options"
                             << "Program options" << none;
    QTest::newRow("Customize") << "CustomizeActionBars1"
                               << "&Customize toolbar"
                               << "Customize toolbar buttons" << none;
    QTest::newRow("Help") << "HelpAction"
                          << "&Help"
                          << "" << QKeySequence("F1");
    QTest::newRow("Home") << "HomePageAction"
                          << "H&ome Page"
                          << "Velmora Software Labs Home Page" << none;
    QTest::newRow("Contact") << "ContactAsAction"
                             << "&Contact As"
                             << "Contact As" << none;
    QTest::newRow("About") << "AboutAction"
                           << "About"
                           << "About Velmora Sentrova" << none;
}

void TestMainForm::actions()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QString, hint);
    QFETCH(QKeySequence, shortcut);
    Fixture f;
    QAction *action = nullptr;
    const QMap<QString, QAction *> byName = {{"NewProjectAction", f.form->NewProjectAction},
                                             {"OpenProjectAction", f.form->OpenProjectAction},
                                             {"SaveToolButton", f.form->SaveToolButton},
                                             {"SaveProjectAsAction", f.form->SaveProjectAsAction},
                                             {"AppendAction", f.form->AppendAction},
                                             {"PrinterSetupAction", f.form->PrinterSetupAction},
                                             {"PrintAction", f.form->PrintAction},
                                             {"ExitAction", f.form->ExitAction},
                                             {"AddObjectAction", f.form->AddObjectAction},
                                             {"EditObjectAction", f.form->EditObjectAction},
                                             {"DeleteObjectAction", f.form->DeleteObjectAction},
                                             {"StartButton", f.form->StartButton},
                                             {"RefreshSelectedAction", f.form->RefreshSelectedAction},
                                             {"RefreshAllAction", f.form->RefreshAllAction},
                                             {"VewSheduleAction", f.form->VewSheduleAction},
                                             {"AlertProfileAction", f.form->AlertProfileAction},
                                             {"LogAnalyserAction", f.form->LogAnalyserAction},
                                             {"AvailabilityAction", f.form->AvailabilityAction},
                                             {"ProgramOptionAction", f.form->ProgramOptionAction},
                                             {"CustomizeActionBars1", f.form->CustomizeActionBars1},
                                             {"HelpAction", f.form->HelpAction},
                                             {"HomePageAction", f.form->HomePageAction},
                                             {"ContactAsAction", f.form->ContactAsAction},
                                             {"AboutAction", f.form->AboutAction}};
    action = byName.value(name);
    QVERIFY(action);
    QCOMPARE(action->text(), caption);
    QCOMPARE(action->statusTip(), hint);
    QCOMPARE(action->shortcut(), shortcut);
    QVERIFY(!action->icon().isNull());
    QCOMPARE(action->isCheckable(), name == QLatin1String("StartButton"));
    // Only Save follows the project's state; it starts disabled.
    QCOMPARE(action->isEnabled(), name != QLatin1String("SaveToolButton"));
    QCOMPARE(f.form->allActions().count(action), 1);
}

void TestMainForm::menusAndToolbar()
{
    Fixture f;
    QStringList titles;
    QList<QStringList> menus;
    for (QAction *m : f.form->menuBar()->actions()) {
        titles << m->text();
        menus << menuLayout(m->menu());
    }
    QCOMPARE(titles, QStringList({"&File", "&Project", "&View", "&Tools", "&Help"}));
    QCOMPARE(menus.at(0), QStringList({"&New project", "&Open existing", "&Save project", "S&ave as...", "-", "A&ppend",
                                       "-", "P&rinter setup", "Pr&int", "-", "&Exit"}));
    QCOMPARE(menus.at(1), QStringList({"&Add observer object", "&Edit selected object", "&Delete selected", "-",
                                       "&Start observer", "-", "&Refresh Selected", "Re&fresh all"}));
    QCOMPARE(menus.at(2), QStringList({"&Vew Shedule", "&Alert Profile", "&Log Analyser", "Availa&bility"}));
    QCOMPARE(menus.at(3), QStringList({"&Program options", "&Customize toolbar"}));
    QCOMPARE(menus.at(4), QStringList({"&Help", "-", "H&ome Page", "&Contact As", "-", "About"}));

    TMainForm &w = *f.form;
    const QList<QAction *> expected = {w.NewProjectAction,
                                       w.OpenProjectAction,
                                       w.SaveToolButton,
                                       nullptr,
                                       w.PrintAction,
                                       nullptr,
                                       w.AddObjectAction,
                                       w.EditObjectAction,
                                       w.DeleteObjectAction,
                                       nullptr,
                                       w.StartButton,
                                       w.RefreshSelectedAction,
                                       nullptr,
                                       w.VewSheduleAction,
                                       w.AlertProfileAction,
                                       w.LogAnalyserAction};
    QCOMPARE(w.toolbarLayout(), expected);
    QCOMPARE(w.ToolBar->toolButtonStyle(), Qt::ToolButtonIconOnly);

    // The menus work with their access keys: Alt+P, then S starts the observer.
    f.show();
    QTest::keyClick(f.form.get(), Qt::Key_P, Qt::AltModifier);
    QTRY_VERIFY(QApplication::activePopupWidget());
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_S);
    QTRY_VERIFY(w.StartButton->isChecked());
    QVERIFY(w.engine().isStarted());
}

void TestMainForm::hintPanel()
{
    Fixture f;
    f.show();
    QCOMPARE(f.form->HintPanel->text(), QStringLiteral("Status"));
    QCOMPARE(f.form->HintPanel->width(), 300);
    QCOMPARE(f.form->EmptyPanel->width(), 50);
    QVERIFY(f.form->EmptyPanel->text().isEmpty());

    // The mouse over a toolbar button shows its action's hint.
    QWidget *printButton = f.form->ToolBar->widgetForAction(f.form->PrintAction);
    QVERIFY(printButton);
    QTest::mouseMove(printButton);
    QTRY_COMPARE(f.form->HintPanel->text(), QStringLiteral("Print current project"));
    // A menu item's hint reaches the panel as well; nothing under the mouse clears it.
    f.form->OpenProjectAction->showStatusText(f.form->menuBar());
    QCOMPARE(f.form->HintPanel->text(), QStringLiteral("Opens an existing project file"));
    QStatusTipEvent empty{QString()};
    QApplication::sendEvent(f.form.get(), &empty);
    QCOMPARE(f.form->HintPanel->text(), QString());
    QVERIFY(f.form->EmptyPanel->text().isEmpty());
}

void TestMainForm::listRepaintedAfterABurstOfChanges()
{
    // Rows that change in quick succession (each test lets events run) are
    // painted together; once the changes stop the list must paint again and
    // not stay frozen.
    Fixture f;
    f.show();
    QTableView *view = f.form->ItemsListView;
    for (int i = 0; i < 40; ++i)
        f.form->engine().AppendObject(presentObject(f.path(QStringLiteral("b%1").arg(i))),
                                      QStringLiteral("b%1").arg(i));
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::Paint)
                ++paints;
            return false;
        }
    } counter;
    view->viewport()->installEventFilter(&counter);
    QTRY_VERIFY(view->updatesEnabled() && view->viewport()->updatesEnabled());
    QTRY_VERIFY(counter.paints > 0);
    view->viewport()->removeEventFilter(&counter);
}

void TestMainForm::listView()
{
    Fixture f;
    f.show();
    QTableView *view = f.form->ItemsListView;
    QCOMPARE(view->model(), f.form->engine().model());
    QStringList headers;
    for (int c = 0; c < view->model()->columnCount(); ++c)
        headers << view->model()->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headers, QStringList({"Host", "Status", "Last Test", "Interval", "Test metod"}));
    QCOMPARE(view->columnWidth(1), 80);
    QCOMPARE(view->columnWidth(3), 80);
    QVERIFY(view->font().bold());
    QVERIFY(view->showGrid());
    QCOMPARE(view->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(view->editTriggers(), QAbstractItemView::NoEditTriggers);

    // Rows keep the list's order: a click on a header sorts nothing.
    const QString a = f.path("b-first"), b = f.path("a-second");
    f.form->engine().AppendObject(presentObject(a), a);
    f.form->engine().AppendObject(presentObject(b), b);
    QTest::mouseClick(view->horizontalHeader()->viewport(), Qt::LeftButton, {},
                      QPoint(view->horizontalHeader()->sectionViewportPosition(0) + 5, 5));
    QCOMPARE(f.captions(), QStringList({a, b}));
    QCOMPARE(view->model()->index(0, 0).data().toString(), a);

    // "Sized to fit": a long caption widens the Host column.
    const QString longName = f.path(QString(120, QLatin1Char('n')));
    f.form->engine().AppendObject(presentObject(longName), longName);
    QTRY_VERIFY(view->columnWidth(0) >= view->fontMetrics().horizontalAdvance(longName));

    // A click selects the whole row; the mouse over a row shows a hand.
    const QRect cell = view->visualRect(view->model()->index(1, 2));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(f.form->selectedRow(), 1);
    QCOMPARE(view->selectionModel()->selectedIndexes().size(), 5);
    auto moveTo = [view](const QPoint &pos) {
        QMouseEvent move(QEvent::MouseMove, pos, view->viewport()->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &move);
    };
    moveTo(cell.center());
    QCOMPARE(view->viewport()->cursor().shape(), Qt::PointingHandCursor);
    // Below the last row there is no row: the pointer is the usual one.
    moveTo(QPoint(5, view->viewport()->height() - 3));
    QCOMPARE(view->viewport()->cursor().shape(), Qt::ArrowCursor);
}

void TestMainForm::statusImages()
{
    // Each row is drawn with the image of its Status cell: 1 for "OK",
    // 2 for "TEST", 0 for anything else. The images differ in colour: a
    // yellow face, a grey sign, a green face.
    Fixture f;
    f.form->resize(700, 300);
    f.show();
    MonitorEngine &e = f.form->engine();
    for (int i = 0; i < 4; ++i)
        e.AppendObject(presentObject(f.path(QStringLiteral("x%1").arg(i))), QStringLiteral("row %1").arg(i));
    e.setStatus(0, QStringLiteral("OK"));
    e.setStatus(1, QStringLiteral("TEST"));
    e.setStatus(2, QStringLiteral("File not found"));
    e.setStatus(3, QString());
    QTableView *view = f.form->ItemsListView;
    view->clearSelection();
    const QImage shot = view->viewport()->grab().toImage();
    auto dominant = [&](int row) {
        const QRect r = view->visualRect(view->model()->index(row, 0)).adjusted(0, 0, -(view->columnWidth(0) - 24), 0);
        int yellow = 0, green = 0, grey = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                if (c.red() > 200 && c.green() > 160 && c.blue() < 100)
                    ++yellow;
                else if (c.green() > 130 && c.red() < 120 && c.blue() < 120)
                    ++green;
                else if (qAbs(c.red() - c.green()) < 12 && qAbs(c.green() - c.blue()) < 12 && c.red() > 120 &&
                         c.red() < 200)
                    ++grey;
            }
        if (yellow > 30)
            return QStringLiteral("yellow");
        if (green > 30)
            return QStringLiteral("green");
        if (grey > 15)
            return QStringLiteral("grey");
        return QStringLiteral("none");
    };
    QCOMPARE(dominant(0), QStringLiteral("yellow"));
    QCOMPARE(dominant(1), QStringLiteral("grey"));
    QCOMPARE(dominant(2), QStringLiteral("green"));
    QCOMPARE(dominant(3), QStringLiteral("green"));
}

void TestMainForm::saveAsSaveOpenAppend()
{
    Fixture f;
    f.show();
    const QString present = f.path("here.txt");
    writeFile(present, "x");
    const QString missing = f.path("gone.txt");
    MonitorEngine &e = f.form->engine();
    e.AppendObject(presentObject(present), present);
    e.AppendObject(presentObject(missing), missing);
    f.form->project().setModified(true);
    QVERIFY(f.form->SaveToolButton->isEnabled());

    // Save of an unnamed project asks for a name first (Ctrl+S).
    const QString file = f.path("watch.snv");
    f.prompt.fileNames.enqueue(file);
    QTest::keyClick(f.form.get(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(f.prompt.shown.size(), 1);
    QCOMPARE(f.prompt.shown.at(0).kind, QStringLiteral("save"));
    QVERIFY(QFile::exists(file));
    QCOMPARE(QFileInfo(file).size(), 9 + 2 * (1052 + 257));
    QVERIFY(!f.form->SaveToolButton->isEnabled());

    // Save as onto the existing file: "File already exists. Owerwrite?"; Cancel keeps the name.
    const QString other = f.path("other.snv");
    writeFile(other, "old");
    f.prompt.fileNames.enqueue(other);
    f.prompt.answers.enqueue(UserPrompt::Cancel);
    f.menuAction("&File", "S&ave as...")->trigger();
    QCOMPARE(f.prompt.shown.last().text, QStringLiteral("File already exists. Owerwrite?"));
    QCOMPARE(f.form->project().ProjectFileName, file);
    QCOMPARE(readFile(other), QByteArray("old"));

    // Open through the menu reads the file back; each object is tested at once.
    f.form->project().setModified(false);
    f.prompt.fileNames.enqueue(file);
    f.menuAction("&File", "&Open existing")->trigger();
    QCOMPARE(f.captions(), QStringList({present, missing}));
    QTRY_COMPARE(f.statuses().at(0), QStringLiteral("OK")); // from the file-system workers
    QVERIFY(f.statuses().at(1) != QLatin1String("OK") && !f.statuses().at(1).isEmpty());
    QCOMPARE(f.form->project().ProjectFileName, file);

    // Append adds the file's objects after the others; the project stays unmodified.
    f.prompt.fileNames.enqueue(file);
    f.menuAction("&File", "A&ppend")->trigger();
    QCOMPARE(f.captions(), QStringList({present, missing, present, missing}));
    QVERIFY(!f.form->SaveToolButton->isEnabled());
    for (int i = 0; i < 4; ++i)
        QCOMPARE(e.object(i)->position, i);

    // New (Ctrl+N) of an unmodified project asks nothing and empties the list.
    const int asked = f.prompt.shown.size();
    QTest::keyClick(f.form.get(), Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(e.count(), 0);
    QCOMPARE(f.prompt.shown.size(), asked);
    QVERIFY(f.form->project().ProjectFileName.isEmpty());
}

void TestMainForm::saveQuestions_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("question");
    QTest::addColumn<int>("rowsAfter");
    QTest::addColumn<bool>("saved");
    const QString changed = QStringLiteral("Project has changed. Save changes?");
    const QString progect = QStringLiteral("Progect has modified. Save changes?");
    QTest::newRow("New, Cancel keeps the project") << "new" << int(UserPrompt::Cancel) << changed << 1 << false;
    QTest::newRow("New, No drops the changes") << "new" << int(UserPrompt::No) << changed << 0 << false;
    QTest::newRow("New, Yes saves first") << "new" << int(UserPrompt::Yes) << changed << 0 << true;
    QTest::newRow("Open, Cancel keeps the project") << "open" << int(UserPrompt::Cancel) << progect << 1 << false;
    QTest::newRow("Open, No reads the file") << "open" << int(UserPrompt::No) << progect << 2 << false;
}

void TestMainForm::saveQuestions()
{
    QFETCH(QString, command);
    QFETCH(int, answer);
    QFETCH(QString, question);
    QFETCH(int, rowsAfter);
    QFETCH(bool, saved);
    Fixture f;
    f.show();
    const QString named = f.path("named.snv");
    const QString other = f.path("two.snv");
    writeFile(other, projectBytes({presentObject(f.path("a")), presentObject(f.path("b"))}));
    f.form->engine().AppendObject(presentObject(f.path("mine")), f.path("mine"));
    f.form->project().ProjectFileName = named;
    f.form->project().setModified(true);

    f.prompt.answers.enqueue(UserPrompt::Answer(answer));
    f.prompt.fileNames.enqueue(other); // the open dialog, when it is reached
    if (command == QLatin1String("new"))
        f.form->NewProjectAction->trigger();
    else
        f.form->OpenProjectAction->trigger();
    QCOMPARE(f.prompt.shown.at(0).kind, QStringLiteral("confirm"));
    QCOMPARE(f.prompt.shown.at(0).title, QStringLiteral("Confirm"));
    QCOMPARE(f.prompt.shown.at(0).text, question);
    QCOMPARE(f.form->engine().count(), rowsAfter);
    QCOMPARE(QFile::exists(named), saved);
    // One question only, whatever the answer.
    QCOMPARE(f.prompt.shown.count(), command == QLatin1String("open") && answer == UserPrompt::No ? 2 : 1);
}

void TestMainForm::openRefusesOtherFiles()
{
    Fixture f;
    f.show();
    const QString bad = f.path("bad.snv");
    QByteArray bytes = projectBytes({presentObject(f.path("a"))});
    bytes[4] = '1'; // "snv11"
    writeFile(bad, bytes);
    f.form->engine().AppendObject(presentObject(f.path("kept")), f.path("kept"));
    f.prompt.fileNames.enqueue(bad);
    f.form->AppendAction->trigger();
    QCOMPARE(f.prompt.shown.last().kind, QStringLiteral("message"));
    QCOMPARE(f.prompt.shown.last().title, QStringLiteral("Error"));
    QCOMPARE(f.prompt.shown.last().text, QStringLiteral("It is not Velmora Sentrova file format"));
    QCOMPARE(f.form->engine().count(), 1);
}

void TestMainForm::commandLineProject_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("project") << "project"
                             << "";
    QTest::newRow("not a project") << "text"
                                   << "It is not Velmora Sentrova file format";
    QTest::newRow("missing") << "missing"
                             << "Cannot open file";
}

void TestMainForm::commandLineProject()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    Fixture f;
    f.show();
    const QString file = f.path("cmd.snv");
    if (kind == QLatin1String("project"))
        writeFile(file, projectBytes({presentObject(f.path("a"))}));
    else if (kind == QLatin1String("text"))
        writeFile(file, "hello, world\n");
    const bool ok = f.form->openProjectFile(file);
    QCOMPARE(ok, message.isEmpty());
    if (message.isEmpty()) {
        QVERIFY(f.prompt.shown.isEmpty());
        QCOMPARE(f.form->engine().count(), 1);
        QCOMPARE(f.form->project().ProjectFileName, file);
    } else {
        QCOMPARE(f.prompt.shown.size(), 1);
        QVERIFY2(f.prompt.shown.at(0).text.startsWith(message), qPrintable(f.prompt.shown.at(0).text));
        QCOMPARE(f.form->engine().count(), 0);
        QVERIFY(f.form->project().ProjectFileName.isEmpty());
        QVERIFY(f.form->isVisible());
    }
}

void TestMainForm::quitWhileAProjectLoads()
{
    Fixture f;
    f.show();
    f.form->createWindows();
    QList<ObserverRecord> records;
    for (int i = 0; i < 50; ++i)
        records << presentObject(f.path(QStringLiteral("missing%1").arg(i)));
    const QString file = f.path("big.snv");
    writeFile(file, projectBytes(records));
    // The signal arrives while the first object's test lets events run.
    QTimer::singleShot(0, f.form.get(), [&] { f.form->quitWithoutQuestions(); });
    QVERIFY(!f.form->openProjectFile(file));
    // Loading stopped with the window: no object was added after the stores
    // were written, so the log on disk holds every line the run made.
    QCOMPARE(f.form->engine().count(), 0);
    QVERIFY(f.prompt.shown.isEmpty());
    const QList<QByteArray> onDisk = readFile(dataLog()).split('\n');
    QCOMPARE(onDisk.size() - 1, f.form->eventLog().count());
    QVERIFY(f.form->eventLog().count() <= 1);
}

void TestMainForm::fileCommandsDuringALoad_data()
{
    // The command is chosen while the first of A's five objects is tested;
    // each waits for the load to end and then runs on the whole project.
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("held");   // "a1".."a5", "b1", "b2": the project afterwards
    QTest::addColumn<QString>("name");       // the project's file afterwards ("" unnamed)
    QTest::addColumn<QString>("checkFile");  // a file that must hold ...
    QTest::addColumn<QStringList>("inFile"); // ... these objects afterwards
    const QStringList a{"a1", "a2", "a3", "a4", "a5"};
    const QStringList b{"b1", "b2"};
    QTest::newRow("New") << "new" << QStringList() << "" << "A.snv" << a;
    QTest::newRow("Open B") << "open" << b << "B.snv" << "A.snv" << a;
    QTest::newRow("Append B") << "append" << (a + b) << "A.snv" << "B.snv" << b;
    QTest::newRow("Save") << "save" << a << "A.snv" << "A.snv" << a;
    QTest::newRow("Save as C") << "saveas" << a << "C.snv" << "C.snv" << a;
    QTest::newRow("two commands: Open B, then New") << "open+new" << QStringList() << "" << "B.snv" << b;
}

void TestMainForm::fileCommandsDuringALoad()
{
    QFETCH(QString, command);
    QFETCH(QStringList, held);
    QFETCH(QString, name);
    QFETCH(QString, checkFile);
    QFETCH(QStringList, inFile);
    Fixture f;
    f.show();
    f.form->createWindows();
    auto target = [&](const QString &n) { return f.path(n); };
    auto makeProject = [&](const QString &file, const QStringList &names) {
        QList<ObserverRecord> records;
        for (const QString &n : names)
            records << presentObject(target(n));
        writeFile(f.path(file), projectBytes(records));
    };
    makeProject(QStringLiteral("A.snv"), {"a1", "a2", "a3", "a4", "a5"});
    makeProject(QStringLiteral("B.snv"), {"b1", "b2"});

    f.prompt.fileNames.enqueue(f.path("A.snv"));
    if (command.startsWith(QLatin1String("open")) || command == QLatin1String("append"))
        f.prompt.fileNames.enqueue(f.path("B.snv"));
    if (command == QLatin1String("saveas"))
        f.prompt.fileNames.enqueue(f.path("C.snv"));
    bool fired = false;
    QStringList whenFired;
    connect(f.form->engine().model(), &QAbstractItemModel::rowsInserted, f.form.get(), [&] {
        if (fired || f.form->engine().count() != 1)
            return;
        fired = true;
        whenFired = f.captions();
        // As the menu or a shortcut would while the load lets events run.
        if (command.startsWith(QLatin1String("open")))
            f.form->OpenProjectAction->trigger();
        if (command.endsWith(QLatin1String("new")))
            f.form->NewProjectAction->trigger();
        if (command == QLatin1String("append"))
            f.form->AppendAction->trigger();
        if (command == QLatin1String("save"))
            f.form->SaveToolButtonClick(); // the action is off while unmodified; the handler is not
        if (command == QLatin1String("saveas"))
            f.form->SaveProjectAsAction->trigger();
    });
    f.form->OpenProjectAction->trigger();
    QVERIFY(fired);
    QCOMPARE(whenFired, QStringList{target("a1")});
    QVERIFY(!f.form->fileCommandRunning());

    QStringList expected;
    for (const QString &n : held)
        expected << target(n);
    QCOMPARE(f.captions(), expected);
    QCOMPARE(f.form->project().ProjectFileName, name.isEmpty() ? QString() : f.path(name));
    QVERIFY(!f.form->project().isModified());
    // The named file holds what the window shows, and no file lost objects.
    if (!name.isEmpty() && command != QLatin1String("append"))
        QCOMPARE(projectTargets(f.path(name)), expected);
    QStringList inFileTargets;
    for (const QString &n : inFile)
        inFileTargets << target(n);
    QCOMPARE(projectTargets(f.path(checkFile)), inFileTargets);
    QCOMPARE(projectTargets(f.path("A.snv")).size(), 5);
    QVERIFY2(!f.prompt.texts().join(QLatin1Char(' ')).contains(QLatin1String("Cannot")),
             qPrintable(f.prompt.texts().join(QLatin1Char('\n'))));

    // Closing during a load waits for it as well, then closes.
    f.prompt.fileNames.enqueue(f.path("A.snv"));
    bool closedDuring = true;
    fired = false;
    command = QStringLiteral("close");
    disconnect(f.form->engine().model(), &QAbstractItemModel::rowsInserted, f.form.get(), nullptr);
    connect(f.form->engine().model(), &QAbstractItemModel::rowsInserted, f.form.get(), [&] {
        if (fired)
            return;
        fired = true;
        f.form->close();
        closedDuring = f.form->isClosed();
    });
    if (!f.form->project().ProjectFileName.isEmpty() || f.form->engine().count() > 0)
        f.form->NewProjectAction->trigger();
    f.form->OpenProjectAction->trigger();
    QVERIFY(fired);
    QVERIFY(!closedDuring);
    QVERIFY(f.form->isClosed());
}

void TestMainForm::saveAsWritesAndTheTitleFollows()
{
    Fixture f;
    f.show();
    QWindow *window = f.form->windowHandle();
    QVERIFY(window);
    // With no project the title is the program's name alone, also when
    // objects were added.
    QCOMPARE(window->title(), QStringLiteral("Velmora Sentrova"));
    f.form->engine().AppendObject(presentObject(f.path("x")), f.path("x"));
    f.form->project().setModified(true);
    QCOMPARE(window->title(), QStringLiteral("Velmora Sentrova"));

    // Save as writes the project and clears Modified.
    const QString first = f.path("first.snv");
    f.prompt.fileNames.enqueue(first);
    f.form->SaveProjectAsAction->trigger();
    QCOMPARE(projectTargets(first), QStringList{f.path("x")});
    QVERIFY(!f.form->project().isModified());
    QVERIFY(!f.form->SaveToolButton->isEnabled());
    QCOMPARE(window->title(), QStringLiteral("first.snv - Velmora Sentrova"));

    // A change marks the title; Save as onto an existing file, answered OK,
    // replaces it.
    f.form->engine().AppendObject(presentObject(f.path("y")), f.path("y"));
    f.form->project().setModified(true);
    QCOMPARE(window->title(), QStringLiteral("first.snv* - Velmora Sentrova"));
    const QString second = f.path("second.snv");
    writeFile(second, "old");
    f.prompt.fileNames.enqueue(second);
    f.prompt.answers.enqueue(UserPrompt::Ok);
    f.form->SaveProjectAsAction->trigger();
    QCOMPARE(f.prompt.shown.last().text, QStringLiteral("File already exists. Owerwrite?"));
    QCOMPARE(projectTargets(second), (QStringList{f.path("x"), f.path("y")}));
    QCOMPARE(projectTargets(first), QStringList{f.path("x")});
    QCOMPARE(window->title(), QStringLiteral("second.snv - Velmora Sentrova"));

    // A file that cannot be written keeps the old name, and the changes.
    f.form->project().setModified(true);
    QDir().mkpath(f.path("folder.snv"));
    f.prompt.fileNames.enqueue(f.path("folder.snv"));
    f.prompt.answers.enqueue(UserPrompt::Ok);
    f.form->SaveProjectAsAction->trigger();
    QVERIFY(f.prompt.shown.last().text.startsWith(QLatin1String("Cannot save file")));
    QCOMPARE(f.form->project().ProjectFileName, second);
    QVERIFY(f.form->project().isModified());
    QCOMPARE(window->title(), QStringLiteral("second.snv* - Velmora Sentrova"));

    // New: back to the program's name alone.
    f.prompt.answers.enqueue(UserPrompt::No);
    f.form->NewProjectAction->trigger();
    QCOMPARE(window->title(), QStringLiteral("Velmora Sentrova"));
}

void TestMainForm::noBoxAfterASignal_data()
{
    QTest::addColumn<QString>("window");
    QTest::newRow("options dialog, email.dat unreadable") << "options";
    QTest::newRow("object dialog") << "object";
    QTest::newRow("main window, a store that cannot be written") << "store";
}

void TestMainForm::noBoxAfterASignal()
{
    QFETCH(QString, window);
    Fixture f;
    // email.dat as a folder: no one, root included, can read it as a file.
    if (window == QLatin1String("options"))
        QVERIFY(QDir().mkpath(f.path("email.dat")));
    f.show();
    f.form->createWindows();
    f.form->engine().AppendObject(presentObject(f.path("a")), f.path("a"));
    f.form->StartButton->trigger();
    if (window == QLatin1String("store")) {
        // Schedule.dat as a folder: the store cannot be written at the end.
        QFile::remove(Paths::dataFile(QStringLiteral("Schedule.dat")));
        QVERIFY(QDir().mkpath(Paths::dataFile(QStringLiteral("Schedule.dat"))));
    }
    const int shownBefore = f.prompt.shown.size();
    QSignalSpy closed(f.form.get(), &TMainForm::closed);
    auto visibleBoxes = [] {
        QStringList out;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox *>(w) && w->isVisible())
                out << w->windowTitle();
        return out;
    };
    QDialog *dialog = nullptr;
    if (window == QLatin1String("options"))
        dialog = f.form->ProgramOptionForm;
    else if (window == QLatin1String("object"))
        dialog = f.form->ObjectParamsForm;
    if (dialog) {
        QStringList boxesAfter;
        whenModal(dialog, [&] {
            f.form->quitWithoutQuestions();
            boxesAfter = visibleBoxes();
        });
        if (window == QLatin1String("options"))
            f.form->ProgramOptionAction->trigger();
        else {
            f.form->selectRow(0);
            f.form->EditObjectAction->trigger();
        }
        QVERIFY2(boxesAfter.isEmpty(), qPrintable(boxesAfter.join(QLatin1Char(','))));
    } else {
        f.form->quitWithoutQuestions();
    }
    QCOMPARE(closed.count(), 1);
    QTest::qWait(20); // a box shown later would be up by now
    QVERIFY2(visibleBoxes().isEmpty(), qPrintable(visibleBoxes().join(QLatin1Char(','))));
    QCOMPARE(f.prompt.shown.size(), shownBefore);
    // The stores were written.
    QVERIFY(readFile(dataLog()).contains(";;Sentrova Started;;Start;;Inner\r\n"));
    QVERIFY(QFile::exists(Paths::dataFile(QStringLiteral("profile.dat"))));
    if (window == QLatin1String("store"))
        QDir(Paths::dataFile(QStringLiteral("Schedule.dat"))).removeRecursively();
    else
        QVERIFY(QFileInfo(Paths::dataFile(QStringLiteral("Schedule.dat"))).isFile());
}

void TestMainForm::overwriteQuestionsBoxes()
{
    // The boxes the desktop shows for the two overwrite questions: the
    // report's with the information icon, the project's with the warning
    // icon; both with OK and Cancel.
    QtPrompt prompt;
    struct Seen {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QString title;
    };
    auto ask = [&](const QString &title, const QString &text) {
        Seen seen;
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                seen = {box->icon(), box->standardButtons(), box->windowTitle()};
                box->reject();
            }
        });
        poll.start();
        QTimer::singleShot(10000, [] {
            if (auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                d->reject();
        });
        const bool ok = prompt.okCancel(title, text);
        poll.stop();
        return std::make_pair(ok, seen);
    };
    auto [reportOk, report] = ask(QStringLiteral("Attention"), QStringLiteral("File already exists. Overwrate?"));
    QVERIFY(!reportOk);
    QCOMPARE(report.icon, QMessageBox::Information);
    QCOMPARE(report.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(report.title, QStringLiteral("Attention"));
    auto [projectOk, project] = ask(QStringLiteral("Error"), QStringLiteral("File already exists. Owerwrite?"));
    QVERIFY(!projectOk);
    QCOMPARE(project.icon, QMessageBox::Warning);
    QCOMPARE(project.buttons, QMessageBox::Ok | QMessageBox::Cancel);
}

void TestMainForm::startStopLogsTwoLines()
{
    Fixture f;
    f.show();
    const int before = f.form->eventLog().count();
    QToolButton *button = qobject_cast<QToolButton *>(f.form->ToolBar->widgetForAction(f.form->StartButton));
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(f.form->StartButton->isChecked());
    QVERIFY(button->isChecked()); // shown pressed
    QVERIFY(f.form->engine().isStarted());
    f.menuAction("&Project", "&Start observer")->trigger();
    QVERIFY(!f.form->engine().isStarted());
    QVERIFY(!button->isChecked());
    QCOMPARE(f.form->eventLog().count(), before + 2);
    const QRegularExpression started(
        QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d;;Sentrova Started;;Start;;Inner$"));
    const QRegularExpression stopped(
        QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d;;Sentrova Stopped;;Stop;;Inner$"));
    QVERIFY2(started.match(f.form->eventLog().line(before)).hasMatch(), qPrintable(f.form->eventLog().line(before)));
    QVERIFY2(stopped.match(f.form->eventLog().line(before + 1)).hasMatch(),
             qPrintable(f.form->eventLog().line(before + 1)));
}

void TestMainForm::shortcutsReachTheWindowFromTheList()
{
    Fixture f;
    f.show();
    f.form->createWindows();
    MonitorEngine &e = f.form->engine();
    for (const char *n : {"one", "two", "three"})
        e.AppendObject(presentObject(f.path(n)), QString::fromLatin1(n));
    QTRY_COMPARE(e.testsInFlight(), 0); // file-system tests end on their workers
    f.form->ItemsListView->setFocus();
    f.form->selectRow(1);
    // Ctrl+D deletes the selected row, without a question and without
    // marking the project modified.
    QTest::keyClick(f.form->ItemsListView, Qt::Key_D, Qt::ControlModifier);
    QCOMPARE(f.captions(), QStringList({"one", "three"}));
    QVERIFY(!f.form->SaveToolButton->isEnabled());
    QCOMPARE(e.object(1)->position, 1);
    // Ctrl+U tests the selected row again; Ctrl+R starts the observer.
    f.form->selectRow(0);
    e.setStatus(0, QStringLiteral("stale"));
    QTest::keyClick(f.form->ItemsListView, Qt::Key_U, Qt::ControlModifier);
    QVERIFY(e.object(0)->status != QLatin1String("stale"));
    QCOMPARE(e.object(1)->status == QLatin1String("stale"), false);
    QTest::keyClick(f.form->ItemsListView, Qt::Key_R, Qt::ControlModifier);
    QVERIFY(e.isStarted());
    QVERIFY(f.prompt.shown.isEmpty());
}

void TestMainForm::deleteAndEditNeedASelection()
{
    Fixture f;
    f.show();
    f.form->createWindows();
    f.form->engine().AppendObject(presentObject(f.path("a")), QStringLiteral("a"));
    f.form->selectRow(-1);
    f.form->DeleteObjectAction->trigger();
    QCOMPARE(f.form->engine().count(), 1);
    QVERIFY(f.prompt.shown.isEmpty());
    f.form->EditObjectAction->trigger();
    QCOMPARE(f.prompt.shown.size(), 1);
    QCOMPARE(f.prompt.shown.at(0).title, QStringLiteral("Error"));
    QCOMPARE(f.prompt.shown.at(0).text, QStringLiteral("Have not selected line"));
}

void TestMainForm::firstShowingWithoutPlacement()
{
    Fixture f;
    f.show();
    QVERIFY(f.form->firstShowDone());
    QTRY_VERIFY(f.form->isMaximized());
    QCOMPARE(f.form->normalGeometry().size(), QSize(600, 400));
    QVERIFY(!f.form->StartButton->isChecked());
    QVERIFY(!f.form->SaveToolButton->isEnabled());
    QCOMPARE(f.form->eventLog().count(), 0);
    QVERIFY(f.prompt.shown.isEmpty());
    // Nothing is written by the first showing.
    QVERIFY(f.option("WinState").isEmpty());
    QVERIFY(!QFile::exists(dataLog()));
}

void TestMainForm::firstShowingWithPlacementAndAutoStart()
{
    Fixture f;
    writeFile(dataLog(), "01.02.2024 10:00:00;;old;;line;;Ping\nno separators here\r\n");
    f.option("Width", "640");
    f.option("Heigth", "300");
    f.option("Left", "30");
    f.option("Top", "40");
    f.option("WinState", "0");
    f.option("Auto Start", "1");
    f.show();
    QCOMPARE(f.form->size(), QSize(640, 300));
    QCOMPARE(f.form->pos(), QPoint(30, 40));
    QVERIFY(!f.form->isMaximized());
    // The log of earlier runs comes first, then this run's "Started" line.
    QCOMPARE(f.form->eventLog().count(), 3);
    QCOMPARE(f.form->eventLog().line(1), QStringLiteral("no separators here"));
    QVERIFY(f.form->eventLog().line(2).endsWith(QStringLiteral(";;Sentrova Started;;Start;;Inner")));
    QVERIFY(f.form->StartButton->isChecked());
    QVERIFY(f.form->engine().isStarted());

    // Showing the window again repeats nothing.
    f.form->hide();
    f.form->show();
    QCOMPARE(f.form->eventLog().count(), 3);
}

void TestMainForm::closingUnmodified()
{
    Fixture f;
    f.option("WinState", "0");
    f.show();
    f.form->createWindows();
    f.form->StartButton->trigger();
    f.form->engine().AppendObject(presentObject(f.path("a")), QStringLiteral("a"));
    QTRY_COMPARE(f.form->engine().testsInFlight(), 0);
    QSignalSpy closed(f.form.get(), &TMainForm::closed);
    f.form->resize(500, 260);
    f.form->move(20, 25);
    f.menuAction("&File", "&Exit")->trigger();
    QCOMPARE(closed.count(), 1);
    QVERIFY(f.prompt.shown.isEmpty());
    QVERIFY(!f.form->isVisible());
    QCOMPARE(f.form->engine().count(), 0);
    // data.log: the observer's start and the object's first outcome, CR LF
    // after each line; no "Stopped" line for a started observer.
    const QList<QByteArray> lines = readFile(dataLog()).split('\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines.at(0).endsWith(";;Sentrova Started;;Start;;Inner\r"));
    QVERIFY(lines.at(1).endsWith(";;File/Folder Present\r"));
    QVERIFY(lines.at(2).isEmpty());
    QCOMPARE(readFile(Paths::dataFile(QStringLiteral("profile.dat"))), QByteArray(4, '\0'));
    QCOMPARE(readFile(Paths::dataFile(QStringLiteral("Schedule.dat"))), QByteArray(4, '\0'));
    QCOMPARE(f.option("WinState"), QStringLiteral("0"));
    QCOMPARE(f.option("Width"), QStringLiteral("500"));
    QCOMPARE(f.option("Heigth"), QStringLiteral("260"));
}

void TestMainForm::closingModified_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("projectWritten");
    QTest::newRow("Cancel keeps the window") << int(UserPrompt::Cancel) << false << false;
    QTest::newRow("No closes without saving") << int(UserPrompt::No) << true << false;
    QTest::newRow("Yes saves and closes") << int(UserPrompt::Yes) << true << true;
}

void TestMainForm::closingModified()
{
    QFETCH(int, answer);
    QFETCH(bool, closes);
    QFETCH(bool, projectWritten);
    Fixture f;
    f.show();
    const QString file = f.path("p.snv");
    f.form->engine().AppendObject(presentObject(f.path("a")), QStringLiteral("a"));
    QTRY_COMPARE(f.form->engine().testsInFlight(), 0);
    f.form->project().ProjectFileName = file;
    f.form->project().setModified(true);
    QSignalSpy closed(f.form.get(), &TMainForm::closed);
    f.prompt.answers.enqueue(UserPrompt::Answer(answer));
    QVERIFY(f.form->close() == closes);
    QCOMPARE(f.prompt.shown.size(), 1);
    QCOMPARE(f.prompt.shown.at(0).text, QStringLiteral("Project has changed. Save changes?"));
    QCOMPARE(closed.count(), closes ? 1 : 0);
    QCOMPARE(f.form->isVisible(), !closes);
    QCOMPARE(QFile::exists(file), projectWritten);
    QCOMPARE(QFile::exists(dataLog()), closes);
    if (!closes) {
        // Nothing lost: the rows, the changes and the log are all still there.
        QCOMPARE(f.form->engine().count(), 1);
        QVERIFY(f.form->SaveToolButton->isEnabled());
        QVERIFY(f.form->eventLog().count() > 0);
    }
}

void TestMainForm::closingMaximizedKeepsNormalGeometry()
{
    Fixture f;
    f.option("Width", "610");
    f.option("Heigth", "333");
    f.option("Left", "15");
    f.option("Top", "16");
    f.option("WinState", "2");
    f.show();
    QTRY_VERIFY(f.form->isMaximized());
    f.form->close();
    QCOMPARE(f.option("WinState"), QStringLiteral("2"));
    QCOMPARE(f.option("Width"), QStringLiteral("610"));
    QCOMPARE(f.option("Heigth"), QStringLiteral("333"));
    QCOMPARE(f.option("Left"), QStringLiteral("15"));
    QCOMPARE(f.option("Top"), QStringLiteral("16"));
}

void TestMainForm::quitWithoutQuestionsClosesModalBoxes()
{
    Fixture f;
    f.show();
    f.form->createWindows();
    const QString file = f.path("unsaved.snv");
    f.form->engine().AppendObject(presentObject(f.path("a")), QStringLiteral("a"));
    QTRY_COMPARE(f.form->engine().testsInFlight(), 0);
    f.form->project().ProjectFileName = file;
    f.form->project().setModified(true);
    f.form->StartButton->trigger();
    QSignalSpy closed(f.form.get(), &TMainForm::closed);
    // A signal arrives while a modal box (an alert's message, say) waits.
    QTimer::singleShot(50, f.form.get(), [&] { f.form->quitWithoutQuestions(); });
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Dead"), QStringLiteral("a File not found"), QMessageBox::Ok,
                    f.form.get());
    QTimer::singleShot(5000, &box, &QMessageBox::accept); // never hang the test
    box.exec();
    QCOMPARE(closed.count(), 1);
    QVERIFY(f.prompt.shown.isEmpty());
    QVERIFY(!QFile::exists(file)); // the unsaved project stays unsaved
    QVERIFY(readFile(dataLog()).contains(";;Sentrova Started;;Start;;Inner\r\n"));
    QVERIFY(QFile::exists(Paths::dataFile(QStringLiteral("profile.dat"))));
    QVERIFY(QFile::exists(Paths::dataFile(QStringLiteral("Schedule.dat"))));
    // The window is done: a later close asks nothing either.
    QVERIFY(f.form->close());
    QVERIFY(f.prompt.shown.isEmpty());
}

void TestMainForm::minimizeToTray_data()
{
    QTest::addColumn<bool>("option");
    QTest::addColumn<bool>("trayAvailable");
    QTest::addColumn<bool>("hidden");
    QTest::newRow("option set") << true << true << true;
    QTest::newRow("option off") << false << true << false;
    QTest::newRow("no tray on the desktop") << true << false << false;
}

void TestMainForm::minimizeToTray()
{
    QFETCH(bool, option);
    QFETCH(bool, trayAvailable);
    QFETCH(bool, hidden);
    Fixture f;
    f.option("Minimize To Tray", option ? "1" : "0");
    f.option("WinState", "2");
    f.form->setTrayAvailable(trayAvailable);
    f.show();
    QVERIFY(!f.form->TrayIcon->isVisible()); // hidden at start
    QTRY_VERIFY(f.form->isMaximized());
    f.form->showMinimized();
    QTest::qWait(50);
    QCOMPARE(f.form->isInTray(), hidden);
    QCOMPARE(f.form->isVisible(), !hidden);
    QCOMPARE(f.form->TrayIcon->isVisible(), hidden);
    if (!hidden)
        return;
    // A click on the icon brings the window back as it was, without a
    // second first showing.
    const int lines = f.form->eventLog().count();
    emit f.form->TrayIcon->activated(QSystemTrayIcon::Trigger);
    QVERIFY(f.form->isVisible());
    QVERIFY(!f.form->TrayIcon->isVisible());
    QTRY_VERIFY(f.form->isMaximized());
    QCOMPARE(f.form->eventLog().count(), lines);

    // The tray menu's Show does the same.
    f.form->showMinimized();
    QTRY_VERIFY(f.form->isInTray());
    f.form->TrayShowAction->trigger();
    QVERIFY(f.form->isVisible());
    QVERIFY(!f.form->isInTray());
    QVERIFY(!f.form->TrayIcon->isVisible());
}

void TestMainForm::trayTellsTheState()
{
    Fixture f;
    f.show();
    f.form->createWindows();
    const QString here = f.path("here.txt");
    writeFile(here, "x");
    MonitorEngine &e = f.form->engine();
    e.AppendObject(presentObject(here), QStringLiteral("here"));
    e.AppendObject(presentObject(here), QStringLiteral("here too"));
    e.AppendObject(presentObject(f.path("gone")), QStringLiteral("gone"));
    QTRY_COMPARE(f.statuses().at(2).isEmpty(), false);
    // The badge colour in the icon's lower right corner.
    auto badge = [&] {
        const QImage img = f.form->TrayIcon->icon().pixmap(32, 32).toImage();
        return img.pixelColor(25, 25);
    };
    auto isGrey = [](const QColor &c) { return qAbs(c.red() - c.green()) < 16 && qAbs(c.green() - c.blue()) < 16; };

    QTRY_COMPARE(f.form->TrayIcon->toolTip(), QStringLiteral("Observer stopped\n2 OK, 1 failing"));
    QCOMPARE(f.form->trayState(), TMainForm::TrayObserverStopped);
    QVERIFY(isGrey(badge()));

    QMenu *menu = f.form->TrayIcon->contextMenu();
    QVERIFY(menu);
    QCOMPARE(menuLayout(menu), (QStringList{"&Show", "&Start observer", "-", "&Exit"}));
    // Start from the tray menu: the same command as the toolbar's.
    f.form->TrayStartAction->trigger();
    QVERIFY(e.isStarted());
    QVERIFY(f.form->StartButton->isChecked());
    QCOMPARE(f.form->TrayStartAction->text(), QStringLiteral("&Stop observer"));
    QCOMPARE(f.form->trayState(), TMainForm::TraySomeFailing);
    QCOMPARE(f.form->TrayIcon->toolTip(), QStringLiteral("2 OK, 1 failing"));
    QVERIFY(badge().red() > 150 && badge().green() < 100);

    // The failing object goes: every tested object is OK.
    e.RemoveObject(2);
    QTRY_COMPARE(f.form->trayState(), TMainForm::TrayAllOk);
    QCOMPARE(f.form->TrayIcon->toolTip(), QStringLiteral("2 OK, 0 failing"));
    QVERIFY(badge().green() > 120 && badge().red() < 100);

    // A file that appears makes its object fail (alert if it exists).
    ObserverRecord alarm = presentObject(f.path("alarm"));
    alarm.params<FilePresentParams>()->AlertIfExists = true;
    writeFile(f.path("alarm"), "x");
    e.AppendObject(alarm, QStringLiteral("alarm"));
    QTRY_COMPARE(f.form->TrayIcon->toolTip(), QStringLiteral("2 OK, 1 failing"));
    QCOMPARE(f.form->trayState(), TMainForm::TraySomeFailing);

    // Stop from the tray menu.
    f.form->TrayStartAction->trigger();
    QVERIFY(!e.isStarted());
    QCOMPARE(f.form->trayState(), TMainForm::TrayObserverStopped);
    QCOMPARE(f.form->TrayStartAction->text(), QStringLiteral("&Start observer"));

}

void TestMainForm::cutCellsTooltipDoubleClickAndDisabledRows()
{
    Fixture f;
    f.form->resize(600, 300);
    f.show();
    f.form->createWindows();
    MonitorEngine &e = f.form->engine();
    const QString longTarget = f.path(QString(120, QLatin1Char('d')));
    e.AppendObject(presentObject(longTarget), longTarget);
    e.AppendObject(presentObject(f.path("b")), QStringLiteral("b"));
    ObserverRecord off = presentObject(f.path("b"));
    off.Enabled = false;
    e.AppendObject(off, QStringLiteral("b"));
    QTableView *view = f.form->ItemsListView;
    view->setColumnWidth(ObserverRowModel::HostColumn, 150);
    view->setColumnWidth(ObserverRowModel::StatusColumn, 25);
    // Every row has its outcome (the tests end on worker threads; "TEST"
    // is not one).
    QTRY_VERIFY(!f.statuses().contains(QString()) && !f.statuses().contains(QStringLiteral("TEST")));
    QApplication::processEvents();
    QWidget *viewport = view->viewport();
    auto centre = [&](int row, int column) { return view->visualRect(e.model()->index(row, column)).center(); };
    auto tip = [&](int row, int column) {
        QToolTip::hideText();
        (void)QTest::qWaitFor([] { return !QToolTip::isVisible(); });
        QHelpEvent ev(QEvent::ToolTip, centre(row, column), viewport->mapToGlobal(centre(row, column)));
        QApplication::sendEvent(viewport, &ev);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    // The long Host cell and the long Status cell are cut: whole texts.
    QCOMPARE(tip(0, ObserverRowModel::HostColumn), longTarget);
    // The Status cell's tooltip adds the test's cause below the whole text.
    const QString cause = e.model()->index(0, ObserverRowModel::StatusColumn).data(Qt::ToolTipRole).toString();
    QVERIFY(!cause.isEmpty());
    QCOMPARE(tip(0, ObserverRowModel::StatusColumn), e.object(0)->status + QLatin1Char('\n') + cause);
    // A cell that shows all of its text has none.
    QCOMPARE(tip(1, ObserverRowModel::HostColumn), QString());

    // The disabled object's row is drawn greyed: its darkest text is lighter.
    auto darkest = [&](int row) {
        const QImage img = viewport->grab(view->visualRect(e.model()->index(row, ObserverRowModel::IntervalColumn)))
                               .toImage();
        int least = 255;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 2; x < img.width() - 2; ++x)
                least = qMin(least, qGray(img.pixel(x, y)));
        return least;
    };
    view->clearSelection();
    view->scrollTo(e.model()->index(2, ObserverRowModel::IntervalColumn));
    QTest::qWait(100); // past the list's repaint pause
    QVERIFY2(darkest(2) > darkest(1) + 40, qPrintable(QStringLiteral("%1 %2").arg(darkest(1)).arg(darkest(2))));

    // A double click on a row opens Edit on that row's object.
    QString title, target;
    whenModal(f.form->ObjectParamsForm, [&] {
        title = f.form->ObjectParamsForm->windowTitle();
        target = f.form->ObjectParamsForm->PresentTargetEdit->text();
    });
    QTest::mouseClick(viewport, Qt::LeftButton, {}, centre(1, ObserverRowModel::IntervalColumn));
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, centre(1, ObserverRowModel::IntervalColumn));
    QCOMPARE(title, TObjectParamsForm::editCaption(okFilePresent));
    QCOMPARE(target, f.path("b"));
    QCOMPARE(f.form->selectedRow(), 1);
    QVERIFY(f.prompt.shown.isEmpty());
}

namespace
{

struct Word {
    QString text;
    double x;
    double y;
    int page;
};

// Words of a PDF with their positions in points, by pdftotext -bbox.
QList<Word> pdfWords(const QString &pdf, bool *ok)
{
    QList<Word> out;
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    *ok = p.waitForFinished(30000) && p.exitCode() == 0;
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    const QRegularExpression page(QStringLiteral("<page "));
    const QRegularExpression word(
        QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"[\\d.]+\" yMax=\"[\\d.]+\">([^<]*)</word>"));
    int pageNo = 0;
    qsizetype pos = 0;
    const QStringList pages = html.split(page);
    for (const QString &chunk : pages) {
        ++pageNo;
        auto it = word.globalMatch(chunk);
        while (it.hasNext()) {
            const auto m = it.next();
            out << Word{m.captured(3), m.captured(1).toDouble(), m.captured(2).toDouble(), pageNo - 1};
        }
    }
    Q_UNUSED(pos);
    return out;
}

bool havePdfToText()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty();
}

// Prints into a PDF at 300 dpi with the page's corner as the origin.
void printToPdf(TMainForm &form, const QString &pdf)
{
    form.printDialog = [pdf](QPrinter &printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setResolution(300);
        printer.setFullPage(true);
        printer.setPageSize(QPageSize(QPageSize::A4));
        return true;
    };
    form.PrintAction->trigger();
}

} // namespace

void TestMainForm::printPositions()
{
    if (!havePdfToText()) {
        if (qEnvironmentVariable("CI") == QLatin1String("true"))
            QFAIL("pdftotext (poppler-utils) is needed");
        QSKIP("pdftotext (poppler-utils) is not installed");
    }
    Fixture f;
    f.show();
    for (const char *n : {"alpha", "beta", "gamma"})
        f.form->engine().AppendObject(presentObject(f.path(n)), QString::fromLatin1(n));
    const QString pdf = f.path("list.pdf");
    printToPdf(*f.form, pdf);
    QVERIFY(f.prompt.shown.isEmpty());
    bool ok = false;
    const QList<Word> words = pdfWords(pdf, &ok);
    QVERIFY(ok);
    auto find = [&](const QString &text) {
        for (const Word &w : words)
            if (w.text == text)
                return w;
        return Word{QString(), -1, -1, -1};
    };
    // 300-dpi dots to PDF points: x 72 / 300.
    const double dot = 72.0 / 300.0;
    const struct {
        const char *text;
        int x;
    } headings[] = {{"Host", 100}, {"Status", 600}, {"Last", 1100}, {"Interval", 1600}};
    for (const auto &h : headings) {
        const Word w = find(QString::fromLatin1(h.text));
        QVERIFY2(w.x >= 0, h.text);
        QVERIFY2(qAbs(w.x - h.x * dot) < 1.5, qPrintable(QStringLiteral("%1 at %2").arg(h.text).arg(w.x)));
        QVERIFY2(qAbs(w.y - 100 * dot) < 4, qPrintable(QString::number(w.y)));
    }
    // "Test Metod" at x = 1800 ("Test" also ends "Last Test").
    bool testMetod = false;
    for (const Word &w : words)
        testMetod |= w.text == QLatin1String("Test") && qAbs(w.x - 1800 * dot) < 1.5 && qAbs(w.y - 100 * dot) < 4;
    QVERIFY(testMetod);
    QVERIFY(find(QStringLiteral("Metod")).x > 1800 * dot);
    const Word a = find(QStringLiteral("alpha")), b = find(QStringLiteral("beta")), c = find(QStringLiteral("gamma"));
    for (const Word &w : {a, b, c})
        QVERIFY(qAbs(w.x - 100 * dot) < 1.5);
    const double step = b.y - a.y;
    QVERIFY(step > 20 * dot);
    QVERIFY(qAbs((c.y - b.y) - step) < 0.5);
    QVERIFY(qAbs((a.y - find(QStringLiteral("Host")).y) - step) < 0.5);
    // The "Test metod" cell is printed at x = 1800.
    int methods = 0;
    for (const Word &w : words)
        if (w.text == QLatin1String("File/Folder") && qAbs(w.x - 1800 * dot) < 1.5)
            ++methods;
    QCOMPARE(methods, 3);
}

void TestMainForm::printContinuesOnNewPages()
{
    if (!havePdfToText()) {
        if (qEnvironmentVariable("CI") == QLatin1String("true"))
            QFAIL("pdftotext (poppler-utils) is needed");
        QSKIP("pdftotext (poppler-utils) is not installed");
    }
    Fixture f;
    f.show();
    const int rows = 150;
    for (int i = 0; i < rows; ++i) {
        ObserverRecord r = presentObject(f.path("x"));
        f.form->engine().AppendObject(r, QStringLiteral("row%1").arg(i, 3, 10, QLatin1Char('0')));
    }
    const QString pdf = f.path("long.pdf");
    printToPdf(*f.form, pdf);
    bool ok = false;
    const QList<Word> words = pdfWords(pdf, &ok);
    QVERIFY(ok);
    QList<int> rowPages;
    int headingPages = 0;
    double pageBottom = 297 / 25.4 * 72;
    for (const Word &w : words) {
        if (w.text == QLatin1String("Host")) {
            ++headingPages;
            QVERIFY(qAbs(w.y - 100 * 72.0 / 300) < 4);
        }
        if (w.text.startsWith(QLatin1String("row"))) {
            QCOMPARE(w.text, QStringLiteral("row%1").arg(rowPages.size(), 3, 10, QLatin1Char('0')));
            QVERIFY(w.y < pageBottom);
            rowPages << w.page;
        }
    }
    // Every row is printed once, in order; each page starts with the headings.
    QCOMPARE(rowPages.size(), rows);
    QVERIFY(rowPages.last() > rowPages.first());
    QCOMPARE(headingPages, rowPages.last() - rowPages.first() + 1);
}

void TestMainForm::printKeepsEveryCellWhole()
{
    if (!havePdfToText()) {
        if (qEnvironmentVariable("CI") == QLatin1String("true"))
            QFAIL("pdftotext (poppler-utils) is needed");
        QSKIP("pdftotext (poppler-utils) is not installed");
    }
    Fixture f;
    f.show();
    MonitorEngine &e = f.form->engine();
    // Long Host and Status texts, and the Last Test cell with its time.
    const QString host = QStringLiteral("host-") + QString(60, QLatin1Char('h')) + QStringLiteral("-end");
    e.AppendObject(presentObject(f.path(QString(70, QLatin1Char('s')))), host);
    e.AppendObject(presentObject(f.path("short")), QStringLiteral("short"));
    QTRY_VERIFY(!e.object(0)->lastTest.isEmpty());
    const QString pdf = f.path("whole.pdf");
    printToPdf(*f.form, pdf);
    QVERIFY(f.prompt.shown.isEmpty());
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    QVERIFY(p.waitForFinished(30000) && p.exitCode() == 0);
    // Every cell's whole text is in the file, in its column's place.
    const QString text = QString::fromUtf8(p.readAllStandardOutput()).remove(QRegularExpression(QStringLiteral("\\s")));
    for (int row = 0; row < e.count(); ++row) {
        const ObserverObject *o = e.object(row);
        for (const QString &cell : {o->caption, o->status, o->lastTest, o->interval, o->method})
            QVERIFY2(text.contains(QString(cell).remove(QRegularExpression(QStringLiteral("\\s")))),
                     qPrintable(cell));
    }
    QVERIFY(!text.contains(QChar(0x2026))); // no ellipsis anywhere
    // The long Host text starts at x = 100 and ends before the Status column.
    bool ok = false;
    const QList<Word> words = pdfWords(pdf, &ok);
    QVERIFY(ok);
    const double dot = 72.0 / 300.0;
    bool hostSeen = false;
    for (const Word &w : words) {
        if (w.text == host) {
            hostSeen = true;
            QVERIFY(qAbs(w.x - 100 * dot) < 1.5);
        }
    }
    QVERIFY(hostSeen);
    QProcess box;
    box.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    QVERIFY(box.waitForFinished(30000));
    const QString html = QString::fromUtf8(box.readAllStandardOutput());
    const QRegularExpression hostBox(QStringLiteral("xMax=\"([\\d.]+)\"[^>]*>%1<").arg(host));
    const auto m = hostBox.match(html);
    QVERIFY(m.hasMatch());
    QVERIFY2(m.captured(1).toDouble() < 600 * dot, qPrintable(m.captured(1)));
}

void TestMainForm::printWithoutPrinter()
{
    Fixture f;
    f.show();
    f.form->engine().AppendObject(presentObject(f.path("a")), QStringLiteral("a"));
    f.form->project().setModified(true);
    // The dialog is confirmed, but there is no printer behind it.
    f.form->printDialog = [](QPrinter &printer) {
        printer.setOutputFormat(QPrinter::NativeFormat);
        printer.setPrinterName(QString());
        return true;
    };
    QTest::keyClick(f.form.get(), Qt::Key_P, Qt::ControlModifier);
    QCOMPARE(f.prompt.shown.size(), 1);
    QCOMPARE(f.prompt.shown.at(0).title, QStringLiteral("Error"));
    QVERIFY2(f.prompt.shown.at(0).text.contains(QStringLiteral("No printer")),
             qPrintable(f.prompt.shown.at(0).kind + f.prompt.shown.at(0).text));
    QCOMPARE(f.form->engine().count(), 1);
    QVERIFY(f.form->SaveToolButton->isEnabled());

    // A cancelled print dialog prints nothing and says nothing.
    f.form->printDialog = [](QPrinter &) { return false; };
    f.form->PrintAction->trigger();
    QCOMPARE(f.prompt.shown.size(), 1);
}

void TestMainForm::customizeToolbar()
{
    Fixture f;
    f.show();
    TMainForm &w = *f.form;
    const QList<QAction *> original = w.toolbarLayout();
    // Remove "New project" (the first button), add "Exit" after "Open
    // existing" and move it up to the front.
    w.customizeDialogExec = [&](CustomizeToolbarDialog &d) {
        d.toolbarList()->setCurrentRow(0);
        QTest::mouseClick(d.removeButton(), Qt::LeftButton);
        for (int i = 0; i < d.availableList()->count(); ++i)
            if (d.availableList()->item(i)->text() == QLatin1String("Exit"))
                d.availableList()->setCurrentRow(i);
        d.toolbarList()->setCurrentRow(0);
        QTest::mouseClick(d.addButton(), Qt::LeftButton);
        QTest::mouseClick(d.upButton(), Qt::LeftButton);
        return int(QDialog::Accepted);
    };
    w.CustomizeActionBars1->trigger();
    QList<QAction *> expected = original.mid(1);
    expected.prepend(w.ExitAction);
    QCOMPARE(w.toolbarLayout(), expected);
    QVERIFY(w.ToolBar->widgetForAction(w.ExitAction));
    QVERIFY(!w.ToolBar->widgetForAction(w.NewProjectAction));

    // Cancel changes nothing; Reset brings back the first layout.
    w.customizeDialogExec = [&](CustomizeToolbarDialog &d) {
        d.toolbarList()->setCurrentRow(0);
        QTest::mouseClick(d.removeButton(), Qt::LeftButton);
        return int(QDialog::Rejected);
    };
    w.CustomizeActionBars1->trigger();
    QCOMPARE(w.toolbarLayout(), expected);
    w.customizeDialogExec = [&](CustomizeToolbarDialog &d) {
        QTest::mouseClick(d.resetButton(), Qt::LeftButton);
        return int(QDialog::Accepted);
    };
    w.CustomizeActionBars1->trigger();
    QCOMPARE(w.toolbarLayout(), original);
    // The buttons stay usable: the first is New again and works.
    w.engine().AppendObject(presentObject(f.path("a")), QStringLiteral("a"));
    QTest::mouseClick(w.ToolBar->widgetForAction(w.NewProjectAction), Qt::LeftButton);
    QCOMPARE(w.engine().count(), 0);
}

void TestMainForm::helpHomePageContact()
{
    Fixture f;
    f.show();
    f.form->createWindows();
    QVERIFY(f.form->HelpForm);
    QVERIFY(!f.form->HelpForm->isVisible());
    QTest::keyClick(f.form.get(), Qt::Key_F1);
    QTRY_VERIFY(f.form->HelpForm->isVisible());
    QVERIFY2(f.form->HelpForm->currentUrl().toLocalFile().endsWith(QStringLiteral("Help/quimbel/index.htm")),
             qPrintable(f.form->HelpForm->currentUrl().toString()));
    // The page is this program's own help, not a page-not-found view.
    QVERIFY(
        f.form->HelpForm->WebBrowser1->toPlainText().contains(QStringLiteral("Adding, editing and deleting objects")));
    f.form->HelpForm->close();

    f.menuAction("&Help", "H&ome Page")->trigger();
    f.menuAction("&Help", "&Contact As")->trigger();
    QCOMPARE(f.desktop.calls, QStringList({QStringLiteral("open|") + TMainForm::HomePageUrl,
                                           QStringLiteral("open|") + TMainForm::ContactUrl}));
    QVERIFY(TMainForm::HomePageUrl.startsWith(QStringLiteral("http")));
    QVERIFY(TMainForm::ContactUrl.startsWith(QStringLiteral("mailto:"), Qt::CaseInsensitive));
}

namespace
{

void clickItem(QListWidget *list, int row)
{
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}

void typeText(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

// A stored alert profile and schedule for the editors to offer.
void storeProfileAndSchedule(const QString &profile, const QString &schedule)
{
    AlertProfileList profiles(Paths::dataFile(QStringLiteral("profile.dat")));
    QCOMPARE(profiles.addProfile(profile), 0);
    QVERIFY(profiles.save());
    ScheduleList schedules;
    QVERIFY(schedules.New(schedule));
    QVERIFY(schedules.SaveSchedules());
}

} // namespace

void TestMainForm::addAndEditWithTheEditorsAsPickers()
{
    Fixture f;
    storeProfileAndSchedule(QStringLiteral("Servers"), QStringLiteral("Nights"));
    f.show();
    f.form->createWindows();
    TMainForm &w = *f.form;
    const QString target = f.path("flag");
    writeFile(target, "x");

    // Add: the wizard's "Folder/File present" icon, then the parameters, with
    // the profile and the schedule chosen in the real editors.
    whenModal(w.NewFileForm, [&] {
        QTabBar *bar = w.NewFileForm->PageControl1->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
        clickItem(w.NewFileForm->DiskListView, 2);
        QTest::mouseClick(w.NewFileForm->OKButton, Qt::LeftButton);
    });
    whenModal(w.ObjectParamsForm, [&] {
        QCOMPARE(w.ObjectParamsForm->windowTitle(), QStringLiteral("Folder/File present Options"));
        typeText(w.ObjectParamsForm->PresentTargetEdit, target);
        whenModal(w.AlertProfileForm, [&] {
            QCOMPARE(w.AlertProfileForm->ProfileListBox->count(), 1);
            clickItem(w.AlertProfileForm->ProfileListBox, 0);
            QTest::mouseClick(w.AlertProfileForm->OKButton, Qt::LeftButton);
        });
        QTest::mouseClick(w.ObjectParamsForm->AlertProfileButton, Qt::LeftButton);
        whenModal(w.ScheduleForm, [&] {
            clickItem(w.ScheduleForm->ScheduleListBox, 0);
            QTest::mouseClick(w.ScheduleForm->OKButton, Qt::LeftButton);
        });
        QTest::mouseClick(w.ObjectParamsForm->ScheduleButton, Qt::LeftButton);
        QTest::mouseClick(w.ObjectParamsForm->OKButton, Qt::LeftButton);
    });
    w.AddObjectAction->trigger();
    QCOMPARE(w.engine().count(), 1);
    const ObserverObject *o = w.engine().object(0);
    QCOMPARE(o->caption, target);
    QCOMPARE(o->record.AlertProfileName, QStringLiteral("Servers"));
    QCOMPARE(o->record.ScheduleName, QStringLiteral("Nights"));
    QTRY_COMPARE(o->status, QStringLiteral("OK")); // tested once on creation
    QVERIFY(w.SaveToolButton->isEnabled());

    // Edit: the editors open on the object's profile and schedule; leaving
    // the profile editor with nothing selected keeps the object's profile.
    w.ItemsListView->selectRow(0);
    QString profileShown, scheduleShown;
    whenModal(w.ObjectParamsForm, [&] {
        whenModal(w.AlertProfileForm, [&] {
            profileShown = w.AlertProfileForm->selectedProfileName();
            w.AlertProfileForm->selectProfile(-1);
            QTest::mouseClick(w.AlertProfileForm->OKButton, Qt::LeftButton);
        });
        QTest::mouseClick(w.ObjectParamsForm->AlertProfileButton, Qt::LeftButton);
        whenModal(w.ScheduleForm, [&] {
            scheduleShown = w.ScheduleForm->selectedScheduleName();
            QTest::mouseClick(w.ScheduleForm->OKButton, Qt::LeftButton);
        });
        QTest::mouseClick(w.ObjectParamsForm->ScheduleButton, Qt::LeftButton);
        QTest::mouseClick(w.ObjectParamsForm->OKButton, Qt::LeftButton);
    });
    w.EditObjectAction->trigger();
    QCOMPARE(profileShown, QStringLiteral("Servers"));
    QCOMPARE(scheduleShown, QStringLiteral("Nights"));
    QCOMPARE(w.engine().object(0)->record.AlertProfileName, QStringLiteral("Servers"));
    QCOMPARE(w.engine().object(0)->record.ScheduleName, QStringLiteral("Nights"));

    // Delete through the toolbar button.
    w.ItemsListView->selectRow(0);
    QTest::mouseClick(w.ToolBar->widgetForAction(w.DeleteObjectAction), Qt::LeftButton);
    QCOMPARE(w.engine().count(), 0);
}

void TestMainForm::editorsAndAnalyserFromTheirActions()
{
    Fixture f;
    f.show();
    f.form->createWindows();
    TMainForm &w = *f.form;
    struct Case {
        QAction *action;
        QDialog *window;
    };
    const QList<Case> cases = {{w.VewSheduleAction, w.ScheduleForm},
                               {w.AlertProfileAction, w.AlertProfileForm},
                               {w.LogAnalyserAction, w.LogAnalyserForm},
                               {w.ProgramOptionAction, w.ProgramOptionForm}};
    for (const Case &c : cases) {
        QVERIFY(c.window);
        bool opened = false;
        whenModal(c.window, [&] { opened = true; });
        c.action->trigger();
        QVERIFY2(opened, qPrintable(c.action->text()));
        QVERIFY(!c.window->isVisible());
    }

    // The analyser shows the log as it is when it opens, the main window's
    // own start line included.
    w.StartButton->trigger();
    int rows = -1;
    whenModal(w.LogAnalyserForm, [&] { rows = w.LogAnalyserForm->findChild<QTableView *>()->model()->rowCount(); });
    w.LogAnalyserAction->trigger();
    QCOMPARE(rows, w.eventLog().count());
    QVERIFY(rows > 0);

    // The availability window is not modal: it opens beside the main window
    // on the main window's own log, and a second use brings the same one.
    w.eventLog().appendLine(QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")) +
                            QStringLiteral(";;gw;;gw Ping OK;;Ping"));
    QVERIFY(!w.AvailabilityForm);
    w.AvailabilityAction->trigger();
    TAvailabilityForm *availability = w.AvailabilityForm;
    QVERIFY(availability);
    QVERIFY(availability->isVisible());
    QVERIFY(!availability->isModal());
    QVERIFY(QTest::qWaitFor([&] { return availability->isReady(); }, 10000));
    QCOMPARE(availability->AvailabilityView->model()->rowCount(), 1);
    QCOMPARE(availability->rows().front().host, QStringLiteral("gw"));
    availability->hide();
    w.AvailabilityAction->trigger();
    QCOMPARE(w.AvailabilityForm, availability);
    QVERIFY(availability->isVisible());
}

void TestMainForm::programOptionsFromTheMainWindow()
{
    Fixture f;
    f.option("WinState", "0");
    f.show();
    f.form->createWindows();
    TMainForm &w = *f.form;
    TProgramOptionForm *d = w.ProgramOptionForm;
    QVERIFY(d);

    // Cancel after changing the subject and the tray box: nothing changes.
    whenModal(d, [&] {
        QCOMPARE(d->PageControl->currentIndex(), 0);
        d->PageControl->setCurrentIndex(2);
        typeText(d->MailSubjectEdit, QStringLiteral("Changed"));
        d->PageControl->setCurrentIndex(0);
        QTest::mouseClick(d->MinimizeToTrayCB, Qt::LeftButton, {}, QPoint(8, d->MinimizeToTrayCB->height() / 2));
        QVERIFY(d->MinimizeToTrayCB->isChecked());
        QTest::mouseClick(d->CancelBtn, Qt::LeftButton);
    });
    w.ProgramOptionAction->trigger();
    QCOMPARE(w.options().MailSubject, QStringLiteral("Velmora Sentrova"));
    w.showMinimized();
    QTest::qWait(50);
    QVERIFY(!w.isInTray());
    w.showNormal();

    // OK: saved, and minimising now goes to the tray.
    whenModal(d, [&] {
        QVERIFY(!d->MinimizeToTrayCB->isChecked());
        QTest::mouseClick(d->MinimizeToTrayCB, Qt::LeftButton, {}, QPoint(8, d->MinimizeToTrayCB->height() / 2));
        QTest::mouseClick(d->OKBtn, Qt::LeftButton);
    });
    w.ProgramOptionAction->trigger();
    QCOMPARE(f.option("Minimize To Tray"), QStringLiteral("1"));
    w.showMinimized();
    QTest::qWait(50);
    QVERIFY(w.isInTray());
    QVERIFY(w.TrayIcon->isVisible());
}

QTEST_MAIN(TestMainForm)
#include "test_mainform.moc"
