// The log analyser window driven as a user drives it: the list built at
// opening and at each click of "Filter" only, the inclusive date bounds in
// the locale's order, the picker buttons, "Clear", and the HTML report with
// its save dialog, overwrite question, file and opening through the desktop.
#include "eventlog/eventlog.h"
#include "eventlog/loganalyserform.h"
#include "eventlog/logview.h"
#include "widgets/selectdateform.h"

#include "../support/recordingdesktop.h"
#include "../support/runmodal.h"
#include "../support/scriptedprompt.h"
#include "../support/testfiles.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolTip>
#include <QtTest>

#include <functional>
#include <memory>

namespace
{

// The log of the filter cases: one line a day from 3 to 7 March 2005, two on
// 5 March at its first and last second, and a line without a date.
const QStringList MarchLines{
    QStringLiteral("03.03.2005 10:00:00;;h3;;h3 Ping OK;;Ping"),
    QStringLiteral("04.03.2005 23:59:59;;h4;;h4 Ping Error;;Ping"),
    QStringLiteral("05.03.2005 00:00:00;;h5a;;h5a Connect OK;;TCP Connect"),
    QStringLiteral("note typed into data.log by hand"),
    QStringLiteral("05.03.2005 23:59:59;;h5b;;Error 404;;URL Request;;extra;;more"),
    QStringLiteral("06.03.2005 00:00:01;;Sentrova Stopped;;Stop;;Inner"),
    QStringLiteral("07.03.2005 08:00:00;;Sentrova Started;;Start;;Inner"),
};

} // namespace

class TestLogAnalyser : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void everyLineIsOneRowOfFourCells();
    void filterKeepsDatesFromFirstToLastBoundDay_data();
    void filterKeepsDatesFromFirstToLastBoundDay();
    void boundsFollowTheLocalesOrder_data();
    void boundsFollowTheLocalesOrder();
    void viewChangesOnlyAtFilterClickOrOpening();
    void pickerButtonsFillTheEditsOnly();
    void clearEmptiesTheLogButNotDataLog();
    void reportOfTheShownRowsByteForByte();
    void reportOfAnEmptyView();
    void reportDialogAndOverwriteQuestion_data();
    void reportDialogAndOverwriteQuestion();
    void unwritableReportIsNamedAndNotOpened_data();
    void unwritableReportIsNamedAndNotOpened();
    void opensModallyAndClosesWithOk();
    void rowUnderTheMouseAndCutTextTooltips();

private:
    QTemporaryDir m_dir;
    EventLog m_log;
    ScriptedPrompt m_prompt;
    RecordingDesktop m_desktop;
    std::unique_ptr<TLogAnalyserForm> m_form;

    void fill(const QStringList &lines);
    // Replaces an edit's text by typing the digits into its mask.
    void typeDate(QLineEdit *edit, const QString &digits);
    void clickFilter();
    QList<int> shownLines() const;
    QString cell(int row, int column) const;
};

void TestLogAnalyser::init()
{
    QVERIFY(m_dir.isValid());
    m_log.Clear();
    m_prompt = ScriptedPrompt();
    m_desktop = RecordingDesktop();
    m_form = std::make_unique<TLogAnalyserForm>(m_log, &m_prompt, &m_desktop);
    m_form->setDateLocale(QLocale(QStringLiteral("de_DE"))); // day.month.year
}

void TestLogAnalyser::cleanup()
{
    m_form.reset();
}

void TestLogAnalyser::fill(const QStringList &lines)
{
    for (const QString &line : lines)
        m_log.appendLine(line);
}

void TestLogAnalyser::typeDate(QLineEdit *edit, const QString &digits)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClicks(edit, digits);
}

void TestLogAnalyser::clickFilter()
{
    QCheckBox *box = m_form->FilterCheckBox;
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

QList<int> TestLogAnalyser::shownLines() const
{
    QList<int> out;
    const LogViewModel *model = m_form->viewModel();
    for (int row = 0; row < model->rowCount(); ++row)
        out << model->lineIndex(row);
    return out;
}

QString TestLogAnalyser::cell(int row, int column) const
{
    const QAbstractItemModel *model = m_form->LogListView->model();
    return model->index(row, column).data().toString();
}

void TestLogAnalyser::everyLineIsOneRowOfFourCells()
{
    fill(MarchLines);
    m_form->show();
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Log Analyser"));
    const QStringList titles{QStringLiteral("Event time"), QStringLiteral("Host"), QStringLiteral("Status"),
                             QStringLiteral("Test Metod")};
    for (int c = 0; c < 4; ++c)
        QCOMPARE(m_form->LogListView->model()->headerData(c, Qt::Horizontal).toString(), titles[c]);
    QCOMPARE(m_form->LogListView->columnWidth(0), 150);
    QCOMPARE(m_form->LogListView->columnWidth(2), 100);
    QCOMPARE(m_form->LogListView->columnWidth(3), 100);
    QVERIFY(!m_form->FilterCheckBox->isChecked());
    QCOMPARE(TLogAnalyserForm::editText(m_form->StartDateEdit), QStringLiteral("  .  .    "));

    QCOMPARE(shownLines(), (QList<int>{0, 1, 2, 3, 4, 5, 6}));
    // The line without a separator: all in Event time.
    QCOMPARE(cell(3, 0), QStringLiteral("note typed into data.log by hand"));
    QCOMPARE(cell(3, 1), QString());
    QCOMPARE(cell(3, 3), QString());
    // Five separators: everything after the third under Test Metod.
    QCOMPARE(cell(4, 0), QStringLiteral("05.03.2005 23:59:59"));
    QCOMPARE(cell(4, 2), QStringLiteral("Error 404"));
    QCOMPARE(cell(4, 3), QStringLiteral("URL Request;;extra;;more"));
    // The engine's lines.
    QCOMPARE(cell(6, 1), QStringLiteral("Sentrova Started"));
    QCOMPARE(cell(6, 2), QStringLiteral("Start"));
    QCOMPARE(cell(6, 3), QStringLiteral("Inner"));
}

void TestLogAnalyser::filterKeepsDatesFromFirstToLastBoundDay_data()
{
    QTest::addColumn<QString>("from"); // digits typed into the mask
    QTest::addColumn<QString>("to");
    QTest::addColumn<bool>("filter");
    QTest::addColumn<QList<int>>("shown");
    const QList<int> all{0, 1, 2, 3, 4, 5, 6};
    QTest::newRow("4 to 6 March: 4, 5 and 6 March") << "04032005"
                                                    << "06032005" << true << QList<int>{1, 2, 3, 4, 5};
    QTest::newRow("equal bounds: that day") << "05032005"
                                            << "05032005" << true << QList<int>{2, 3, 4};
    QTest::newRow("bounds on the first and last line") << "03032005"
                                                       << "07032005" << true << QList<int>{0, 1, 2, 3, 4, 5, 6};
    QTest::newRow("a day without lines") << "08032005"
                                         << "08032005" << true << QList<int>{3};
    QTest::newRow("reversed bounds: nothing dated") << "06032005"
                                                    << "04032005" << true << QList<int>{3};
    QTest::newRow("whole span") << "01012005"
                                << "31122005" << true << all;
    QTest::newRow("both unfilled") << ""
                                   << "" << true << all;
    QTest::newRow("To unfilled") << "04032005"
                                 << "" << true << all;
    QTest::newRow("year half typed") << "04032005"
                                     << "060320" << true << all;
    QTest::newRow("not a real day") << "31022005"
                                    << "06032005" << true << all;
    QTest::newRow("Filter cleared") << "04032005"
                                    << "06032005" << false << all;
}

void TestLogAnalyser::filterKeepsDatesFromFirstToLastBoundDay()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(bool, filter);
    QFETCH(QList<int>, shown);
    fill(MarchLines);
    m_form->show();
    typeDate(m_form->StartDateEdit, from);
    typeDate(m_form->EndDateEdit, to);
    clickFilter();
    if (!filter)
        clickFilter();
    QCOMPARE(m_form->FilterCheckBox->isChecked(), filter);
    QCOMPARE(shownLines(), shown);
}

void TestLogAnalyser::boundsFollowTheLocalesOrder_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("fromText");
    // The lines are always day first; only the edits follow the locale.
    QTest::newRow("month first, /") << "en_US"
                                    << "03042005"
                                    << "03062005"
                                    << "03/04/2005";
    QTest::newRow("year first, -") << "sv_SE"
                                   << "20050304"
                                   << "20050306"
                                   << "2005-03-04";
    QTest::newRow("day first, -") << "nl_NL"
                                  << "04032005"
                                  << "06032005"
                                  << "04-03-2005";
}

void TestLogAnalyser::boundsFollowTheLocalesOrder()
{
    QFETCH(QString, locale);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, fromText);
    fill(MarchLines);
    m_form->setDateLocale(QLocale(locale));
    m_form->show();
    typeDate(m_form->StartDateEdit, from);
    typeDate(m_form->EndDateEdit, to);
    QCOMPARE(TLogAnalyserForm::editText(m_form->StartDateEdit), fromText);
    clickFilter();
    QCOMPARE(shownLines(), (QList<int>{1, 2, 3, 4, 5}));
}

void TestLogAnalyser::viewChangesOnlyAtFilterClickOrOpening()
{
    fill(MarchLines);
    m_form->show();
    typeDate(m_form->StartDateEdit, QStringLiteral("04032005"));
    typeDate(m_form->EndDateEdit, QStringLiteral("06032005"));
    QCOMPARE(shownLines().size(), 7); // typing builds nothing
    clickFilter();
    QCOMPARE(shownLines(), (QList<int>{1, 2, 3, 4, 5}));

    // A new date and a new line change nothing until "Filter" is clicked.
    typeDate(m_form->EndDateEdit, QStringLiteral("08032005"));
    m_log.appendLine(QStringLiteral("05.03.2005 12:00:00;;late;;late Ping OK;;Ping"));
    QCOMPARE(shownLines(), (QList<int>{1, 2, 3, 4, 5}));
    clickFilter(); // off: every line, the new one too
    QCOMPARE(shownLines(), (QList<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    clickFilter(); // on again: the new bounds
    QCOMPARE(shownLines(), (QList<int>{1, 2, 3, 4, 5, 6, 7}));

    // The next opening rebuilds with the settings kept from this one.
    m_form->hide();
    m_log.appendLine(QStringLiteral("10.03.2005 12:00:00;;later;;later Ping OK;;Ping"));
    m_log.appendLine(QStringLiteral("06.03.2005 12:00:00;;inside;;inside Ping OK;;Ping"));
    m_form->show();
    QVERIFY(m_form->FilterCheckBox->isChecked());
    QCOMPARE(TLogAnalyserForm::editText(m_form->EndDateEdit), QStringLiteral("08.03.2005"));
    QCOMPARE(shownLines(), (QList<int>{1, 2, 3, 4, 5, 6, 7, 9}));
}

void TestLogAnalyser::pickerButtonsFillTheEditsOnly()
{
    fill(MarchLines);
    TSelectDateForm picker;
    picker.setPrompt(&m_prompt);
    picker.setProgramDir(QStringLiteral(SENTROVA_BIN_DIR));
    m_form->setDatePicker(&picker);
    m_form->show();
    typeDate(m_form->EndDateEdit, QStringLiteral("06032005"));
    clickFilter();
    QCOMPARE(shownLines().size(), 7); // From unfilled: every line

    // The picker opens on today; OK writes the chosen date into the edit.
    QDate openedOn;
    auto answer = [&](const QDate &pick, bool ok) {
        QTimer::singleShot(0, &picker, [&picker, &openedOn, pick, ok] {
            openedOn = picker.date();
            picker.MonthCalendar1->setSelectedDate(pick);
            QTest::mouseClick(ok ? picker.OKButton : picker.CancelButton, Qt::LeftButton);
        });
    };
    answer(QDate(2005, 3, 4), true);
    QTest::mouseClick(m_form->SelectFromBtn, Qt::LeftButton);
    QCOMPARE(openedOn, QDate::currentDate());
    QCOMPARE(TLogAnalyserForm::editText(m_form->StartDateEdit), QStringLiteral("04.03.2005"));
    QCOMPARE(shownLines().size(), 7); // picking builds nothing

    // Cancel leaves the edit as it was.
    answer(QDate(2005, 3, 1), false);
    QTest::mouseClick(m_form->SelectToBtn, Qt::LeftButton);
    QCOMPARE(TLogAnalyserForm::editText(m_form->EndDateEdit), QStringLiteral("06.03.2005"));

    clickFilter();
    clickFilter();
    QCOMPARE(shownLines(), (QList<int>{1, 2, 3, 4, 5}));
    QVERIFY2(m_prompt.shown.isEmpty(), qPrintable(m_prompt.texts().join(QLatin1Char('\n')))); // the logo was found
}

void TestLogAnalyser::clearEmptiesTheLogButNotDataLog()
{
    const QString path = m_dir.filePath(QStringLiteral("data.log"));
    const QByteArray before = MarchLines.join(QStringLiteral("\r\n")).toLatin1() + "\r\n";
    writeFile(path, before);
    QVERIFY(m_log.LoadEventLog(path));
    m_form->show();
    QCOMPARE(shownLines().size(), 7);

    QTest::mouseClick(m_form->ClearBtn, Qt::LeftButton);
    QVERIFY(m_prompt.shown.isEmpty()); // no question
    QCOMPARE(m_form->viewModel()->rowCount(), 0);
    QCOMPARE(m_log.count(), 0);
    QCOMPARE(readFile(path), before);

    // Lines appended afterwards are all that the exit writes back.
    m_log.appendLine(QStringLiteral("08.03.2005 09:00:00;;Sentrova Started;;Start;;Inner"));
    QVERIFY(m_log.SaveEventLog());
    QCOMPARE(readFile(path), QByteArray("08.03.2005 09:00:00;;Sentrova Started;;Start;;Inner\r\n"));
}

void TestLogAnalyser::reportOfTheShownRowsByteForByte()
{
    // Two rows shown of three lines; "<", ">", "&" and a quote in the cells.
    fill({QStringLiteral("05.03.2005 14:03:07;;db<1> & co;;Database Connect Error;;Database Connect"),
          QStringLiteral("07.03.2005 08:00:00;;Sentrova Started;;Start;;Inner"), QStringLiteral("say \"hi\";;x")});
    m_form->show();
    typeDate(m_form->StartDateEdit, QStringLiteral("04032005"));
    typeDate(m_form->EndDateEdit, QStringLiteral("06032005"));
    clickFilter();
    QCOMPARE(m_form->viewModel()->rowCount(), 2);

    const QString path = m_dir.filePath(QStringLiteral("two.htm"));
    QFile::remove(path);
    m_prompt.fileNames.enqueue(path);
    QTest::mouseClick(m_form->HTMLBtn, Qt::LeftButton);
    QCOMPARE(m_prompt.shown.size(), 1);
    QCOMPARE(m_prompt.shown[0].kind, QStringLiteral("save"));
    QCOMPARE(m_prompt.shown[0].title, QStringLiteral("HTML Files (*.htm *.html);;All Files (*)"));

    const QByteArray expected =
        "<HTML><HEAD><TITLE>Velmora Software Labs. Image list</TITLE>\r\n"
        "<style type=\"text/css\">\r\n"
        "a:hover {text-decoration: underline; color: red;}\r\n"
        "</style>\r\n"
        "</HEAD>\r\n"
        "<BODY><A NAME=\"LeftTop\">\r\n"
        "<CENTER><FONT COLOR=\"#0000FF\"><H1> Velmora Software Labs </H1></FONT><hr> <h3> LOG Report from "
        "04.03.2005 to 06.03.2005 </CENTER>\r\n"
        "<TABLE BORDER=4 CELLSPAN=10 COLS=8 WIDTH=\"100%\">\r\n"
        "<TR><TD WIDTH=25% BGCOLOR=\"#FFFF00\">Event Time</TD><TD BGCOLOR=\"#FFFF00\">Host</TD><TD WIDTH=20% "
        "BGCOLOR=\"#FFFF00\">Status</TD><TD WIDTH=20% BGCOLOR=\"#FFFF00\">Test Method</TD></TR>\r\n"
        "<TR><TD>05.03.2005 14:03:07</TD><TD>db&lt;1&gt; &amp; co</TD><TD>Database Connect Error</TD>"
        "<TD>Database Connect</TD></TR>\r\n"
        "<TR><TD>say &quot;hi&quot;</TD><TD>x</TD><TD></TD><TD></TD></TR>\r\n"
        "</TABLE>\r\n"
        "<CENTER><FONT SIZE=2>Report created by Velmora Sentrova. &copy; "
        "<A HREF=\"https://www.velmora-labs.example/sentrova/\">Velmora Software Labs</A></FONT></CENTER>\r\n"
        "</BODY></HTML>\r\n";
    QCOMPARE(readFile(path), expected);
    QCOMPARE(m_desktop.calls, QStringList{QStringLiteral("open|") + path});
}

void TestLogAnalyser::reportOfAnEmptyView()
{
    fill(MarchLines);
    m_form->show();
    QTest::mouseClick(m_form->ClearBtn, Qt::LeftButton);
    const QString path = m_dir.filePath(QStringLiteral("empty.htm"));
    QFile::remove(path);
    m_prompt.fileNames.enqueue(path);
    QTest::mouseClick(m_form->HTMLBtn, Qt::LeftButton);

    // The unfilled edits appear as their blanks and separators; the table
    // holds only its title row.
    const QList<QByteArray> lines = readFile(path).split('\n');
    QCOMPARE(lines.size(), 13); // 12 lines and the empty piece after the last
    const QByteArray blank = "  .  .    ";
    QCOMPARE(lines[6], "<CENTER><FONT COLOR=\"#0000FF\"><H1> Velmora Software Labs </H1></FONT><hr> "
                       "<h3> LOG Report from " +
                           blank + " to " + blank + " </CENTER>\r");
    QVERIFY(lines[8].startsWith("<TR><TD WIDTH=25% BGCOLOR=\"#FFFF00\">Event Time</TD>"));
    QCOMPARE(lines[9], QByteArray("</TABLE>\r"));
    QCOMPARE(lines[11], QByteArray("</BODY></HTML>\r"));
    QCOMPARE(m_desktop.calls, QStringList{QStringLiteral("open|") + path});
}

void TestLogAnalyser::reportDialogAndOverwriteQuestion_data()
{
    QTest::addColumn<QString>("name");    // answer of the save dialog, in the scratch folder
    QTest::addColumn<bool>("exists");     // a file of the written name is there already
    QTest::addColumn<int>("answer");      // to the overwrite question
    QTest::addColumn<QString>("written"); // file written and opened, or empty
    QTest::newRow("dialog cancelled") << QString() << false << int(UserPrompt::Cancel) << QString();
    QTest::newRow("new file") << "log.html" << false << int(UserPrompt::Cancel) << "log.html";
    QTest::newRow("no extension: htm added") << "log" << false << int(UserPrompt::Cancel) << "log.htm";
    QTest::newRow("exists, Cancel") << "old.htm" << true << int(UserPrompt::Cancel) << QString();
    QTest::newRow("exists, OK") << "old.htm" << true << int(UserPrompt::Ok) << "old.htm";
    QTest::newRow("exists under the added extension") << "old" << true << int(UserPrompt::Ok) << "old.htm";
}

void TestLogAnalyser::reportDialogAndOverwriteQuestion()
{
    QFETCH(QString, name);
    QFETCH(bool, exists);
    QFETCH(int, answer);
    QFETCH(QString, written);
    QTemporaryDir dir;
    fill(MarchLines);
    m_form->show();
    const QString oldFile = dir.filePath(QStringLiteral("old.htm"));
    if (exists)
        writeFile(oldFile, "old report");
    m_prompt.fileNames.enqueue(name.isEmpty() ? QString() : dir.filePath(name));
    m_prompt.answers.enqueue(UserPrompt::Answer(answer));
    QTest::mouseClick(m_form->HTMLBtn, Qt::LeftButton);

    QStringList questions;
    for (const auto &s : m_prompt.shown)
        if (s.kind == QLatin1String("okCancel"))
            questions << s.title + QLatin1Char('|') + s.text;
    QCOMPARE(questions,
             exists ? QStringList{QStringLiteral("Attention|File already exists. Overwrate?")} : QStringList());
    if (written.isEmpty()) {
        QVERIFY(m_desktop.calls.isEmpty());
        if (exists)
            QCOMPARE(readFile(oldFile), QByteArray("old report"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 exists ? QStringList{QStringLiteral("old.htm")} : QStringList());
        return;
    }
    const QString path = dir.filePath(written);
    QCOMPARE(m_desktop.calls, QStringList{QStringLiteral("open|") + path});
    QVERIFY(readFile(path).startsWith("<HTML>"));
    QCOMPARE(readFile(path).count("<TR><TD>"), 7);
}

void TestLogAnalyser::unwritableReportIsNamedAndNotOpened_data()
{
    QTest::addColumn<QString>("target"); // relative to the scratch folder
    QTest::addColumn<bool>("asked");     // the overwrite question comes first
    QTest::newRow("under a regular file") << "plain.txt/report.htm" << false;
    QTest::newRow("a folder") << "folder.htm" << true;
}

void TestLogAnalyser::unwritableReportIsNamedAndNotOpened()
{
    QFETCH(QString, target);
    QFETCH(bool, asked);
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("plain.txt")), "a file, not a folder");
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.htm")));
    fill(MarchLines);
    m_form->show();
    const QString path = dir.filePath(target);
    m_prompt.fileNames.enqueue(path);
    m_prompt.answers.enqueue(UserPrompt::Ok);
    QTest::mouseClick(m_form->HTMLBtn, Qt::LeftButton);

    QVERIFY(m_desktop.calls.isEmpty());
    QCOMPARE(m_prompt.shown.size(), asked ? 3 : 2);
    const ScriptedPrompt::Shown &message = m_prompt.shown.last();
    QCOMPARE(message.kind, QStringLiteral("message"));
    QCOMPARE(message.title, QStringLiteral("Error"));
    QVERIFY2(message.text.contains(path), qPrintable(message.text));
    QCOMPARE(readFile(dir.filePath(QStringLiteral("plain.txt"))), QByteArray("a file, not a folder"));
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("folder.htm"))).isDir());
}

void TestLogAnalyser::opensModallyAndClosesWithOk()
{
    fill(MarchLines);
    int rowsWhenOpen = -1;
    bool modal = false;
    const int result = runModal(
        m_form.get(),
        [&] {
            rowsWhenOpen = m_form->viewModel()->rowCount();
            modal = QApplication::activeModalWidget() == m_form.get();
            QTest::mouseClick(m_form->OKBtn, Qt::LeftButton);
        },
        [&] { return m_form->Execute(); });
    QCOMPARE(result, int(QDialog::Accepted));
    QVERIFY(modal);
    QCOMPARE(rowsWhenOpen, 7);
}

void TestLogAnalyser::rowUnderTheMouseAndCutTextTooltips()
{
    fill({QStringLiteral("05.03.2005 10:00:00;;") + QString(200, QLatin1Char('h')) + QStringLiteral(";;OK;;Ping")});
    runModal(
        m_form.get(),
        [&] {
            QTableView *view = m_form->LogListView;
            QWidget *viewport = view->viewport();
            auto centre = [&](int column) { return view->visualRect(view->model()->index(0, column)).center(); };
            // The pointer is a hand over a row and an arrow again off it.
            QTest::mouseMove(viewport, centre(0));
            QTRY_COMPARE(viewport->cursor().shape(), Qt::PointingHandCursor);
            QTest::mouseMove(viewport, QPoint(5, viewport->height() - 5));
            QTRY_VERIFY(viewport->cursor().shape() != Qt::PointingHandCursor);
            // A tooltip only for the cell whose text is cut off.
            auto tip = [&](int column) {
                QToolTip::hideText(); // the tip fades out after a moment
                QTest::qWaitFor([] { return !QToolTip::isVisible(); });
                QHelpEvent e(QEvent::ToolTip, centre(column), viewport->mapToGlobal(centre(column)));
                QApplication::sendEvent(viewport, &e);
                return QToolTip::isVisible() ? QToolTip::text() : QString();
            };
            QCOMPARE(tip(1), QString(200, QLatin1Char('h')));
            QCOMPARE(tip(2), QString());
            QTest::mouseClick(m_form->OKBtn, Qt::LeftButton);
        },
        [&] { return m_form->Execute(); });
}

QTEST_MAIN(TestLogAnalyser)
#include "test_loganalyser.moc"
