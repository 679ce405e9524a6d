// The port picker, the date picker, the help viewer and the about box, driven
// through their real widgets with mouse clicks and keys.
#include "widgets/aboutform.h"
#include "widgets/helpform.h"
#include "widgets/logo.h"
#include "widgets/selectdateform.h"
#include "widgets/selectportform.h"

#include "../support/runmodal.h"
#include "../support/scriptedprompt.h"
#include "../support/testfiles.h"

#include <QAction>
#include <QCalendarWidget>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolBar>
#include <QToolButton>

#include <functional>

namespace
{

void clickRow(QTableWidget *table, int row)
{
    table->scrollToItem(table->item(row, 0));
    const QRect r = table->visualItemRect(table->item(row, 1));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, r.center());
}

// A prompt that also notes whether a window was on screen when a message
// was shown.
class WatchingPrompt : public ScriptedPrompt
{
public:
    QWidget *watched = nullptr;
    QList<bool> visibleAtMessage;
    void message(const QString &title, const QString &text) override
    {
        visibleAtMessage << (watched && watched->isVisible());
        ScriptedPrompt::message(title, text);
    }
};

void writeLogo(const QString &dir, QColor colour)
{
    QImage image(24, 96, QImage::Format_RGB32);
    image.fill(colour);
    QVERIFY(image.save(Logo::path(dir), "BMP"));
}

} // namespace

class TestPickers : public QObject
{
    Q_OBJECT

private slots:
    void portListHasTheReferenceRows();
    void portPickerReturnsThePortOfTheSelectedRow();
    void logoIsReadOnEveryShowing_data();
    void logoIsReadOnEveryShowing();
    void datePickerGivesTheDateOnlyOnOk();
    void helpViewerStartsAtTheContentsOnEveryShowing();
    void helpViewerShowsTheOptionsPage();
    void helpViewerSendsWebAndMailLinksToTheDesktop();
    void helpViewerWithoutHelpFolderStillOpens();
    void helpViewerPrintsTheShownPage();
    void aboutBoxNamesAMissingLogo();
};

void TestPickers::portListHasTheReferenceRows()
{
    TSelectPortForm form;
    QTableWidget *list = form.PortListView;
    QCOMPARE(form.windowTitle(), QStringLiteral("Select Port"));
    QCOMPARE(list->rowCount(), 36);
    QCOMPARE(list->horizontalHeaderItem(0)->text(), QStringLiteral("Port"));
    QCOMPARE(list->horizontalHeaderItem(1)->text(), QStringLiteral("Name"));
    QCOMPARE(list->horizontalHeaderItem(2)->text(), QStringLiteral("Description"));
    // 40 and 80 pixels, or wider where the font needs it to show every name.
    QVERIFY(list->columnWidth(0) >= 40);
    QVERIFY(list->columnWidth(1) >= 80);
    QVERIFY(list->columnWidth(1) >= list->fontMetrics().horizontalAdvance(QStringLiteral("microsoft-ds")));
    // Spot checks across the list: first, smtp, the bracketed and the last.
    QCOMPARE(list->item(0, 0)->text() + '|' + list->item(0, 1)->text() + '|' + list->item(0, 2)->text(),
             QStringLiteral("1|tcpmux|TCP Port Service Multiplexer"));
    QCOMPARE(list->item(14, 0)->text() + '|' + list->item(14, 1)->text(), QStringLiteral("25|smtp"));
    QCOMPARE(list->item(10, 2)->text(), QStringLiteral("File Transfer [Default Data]"));
    QCOMPARE(list->item(35, 0)->text() + '|' + list->item(35, 2)->text(),
             QStringLiteral("465|smtp protocol over TLS/SSL (was ssmtp)"));
    // The ports climb: the list is in its fixed order.
    for (int row = 1; row < list->rowCount(); ++row)
        QVERIFY2(list->item(row, 0)->text().toInt() > list->item(row - 1, 0)->text().toInt(),
                 qPrintable(QString::number(row)));

    // Clicking a column title does not re-sort; rows cannot be edited.
    form.show();
    QTest::mouseClick(list->horizontalHeader()->viewport(), Qt::LeftButton, {},
                      QPoint(list->columnViewportPosition(1) + 5, 5));
    QCOMPARE(list->item(0, 1)->text(), QStringLiteral("tcpmux"));
    clickRow(list, 3);
    QTest::keyClick(list, Qt::Key_F2);
    QTest::keyClicks(list, "x");
    QCOMPARE(list->item(3, 1)->text(), QStringLiteral("echo"));
    form.hide();
}

void TestPickers::portPickerReturnsThePortOfTheSelectedRow()
{
    QTemporaryDir dir;
    writeLogo(dir.path(), Qt::blue);
    ScriptedPrompt prompt;
    TSelectPortForm form;
    form.setProgramDir(dir.path());
    form.setPrompt(&prompt);

    // OK with nothing selected gives nothing back: the caller's text stays.
    QString port = QStringLiteral("8080");
    QVERIFY(!runModal(
        &form, [&] { QTest::mouseClick(form.OKButton, Qt::LeftButton); }, [&] { return form.selectPort(port); }));
    QCOMPARE(port, QStringLiteral("8080"));
    QCOMPARE(form.result(), int(QDialog::Accepted));

    // The smtp row and OK give "25".
    QVERIFY(runModal(
        &form,
        [&] {
            clickRow(form.PortListView, 14);
            QTest::mouseClick(form.OKButton, Qt::LeftButton);
        },
        [&] { return form.selectPort(port); }));
    QCOMPARE(port, QStringLiteral("25"));

    // The second opening still shows smtp selected; Cancel gives nothing.
    QString seen;
    port = QStringLiteral("1");
    QVERIFY(!runModal(
        &form,
        [&] {
            seen = form.selectedPort();
            QTest::mouseClick(form.CancelButton, Qt::LeftButton);
        },
        [&] { return form.selectPort(port); }));
    QCOMPARE(seen, QStringLiteral("25"));
    QCOMPARE(port, QStringLiteral("1"));

    // Moving with the keyboard and pressing Enter picks the next row (time).
    QVERIFY(runModal(
        &form,
        [&] {
            QTest::keyClick(form.PortListView, Qt::Key_Down);
            QTest::keyClick(&form, Qt::Key_Return);
        },
        [&] { return form.selectPort(port); }));
    QCOMPARE(port, QStringLiteral("37"));

    // A double click on a row picks it at once.
    QVERIFY(runModal(
        &form,
        [&] {
            form.PortListView->scrollToItem(form.PortListView->item(33, 0));
            const QRect r = form.PortListView->visualItemRect(form.PortListView->item(33, 0));
            // A real double click: a click, then the second press as a double click.
            QTest::mouseClick(form.PortListView->viewport(), Qt::LeftButton, {}, r.center());
            QTest::mouseDClick(form.PortListView->viewport(), Qt::LeftButton, {}, r.center());
        },
        [&] { return form.selectPort(port); }));
    QCOMPARE(port, QStringLiteral("443"));
    QVERIFY(prompt.shown.isEmpty());
}

void TestPickers::logoIsReadOnEveryShowing_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QByteArray>("secondFile"); // "" = deleted before the second showing
    QTest::newRow("port picker, deleted") << "port" << QByteArray();
    QTest::newRow("port picker, not a bitmap") << "port" << QByteArray("BM not really a bitmap");
    QTest::newRow("date picker, deleted") << "date" << QByteArray();
    QTest::newRow("date picker, not a bitmap") << "date" << QByteArray("\x00\x01\x02garbage", 10);
}

void TestPickers::logoIsReadOnEveryShowing()
{
    QFETCH(QString, window);
    QFETCH(QByteArray, secondFile);
    QTemporaryDir dir;
    WatchingPrompt prompt;
    TSelectPortForm portForm;
    TSelectDateForm dateForm;
    QDialog *form = window == QLatin1String("port") ? static_cast<QDialog *>(&portForm) : &dateForm;
    QLabel *logo = window == QLatin1String("port") ? portForm.LogoImage : dateForm.LogoImage;
    QPushButton *ok = window == QLatin1String("port") ? portForm.OKButton : dateForm.OKButton;
    portForm.setProgramDir(dir.path());
    dateForm.setProgramDir(dir.path());
    portForm.setPrompt(&prompt);
    dateForm.setPrompt(&prompt);
    prompt.watched = form;

    // No file the first time: the message names it, then the window works
    // without a picture.
    QCOMPARE(runModal(
                 form, [&] { QTest::mouseClick(ok, Qt::LeftButton); }, [&] { return form->exec(); }),
             int(QDialog::Accepted));
    QCOMPARE(prompt.shown.size(), 1);
    QCOMPARE(prompt.shown.at(0).title, QStringLiteral("Error"));
    QVERIFY2(prompt.shown.at(0).text.contains(QDir::toNativeSeparators(Logo::path(dir.path()))),
             qPrintable(prompt.shown.at(0).text));
    QCOMPARE(prompt.visibleAtMessage, QList<bool>{false});
    QVERIFY(logo->pixmap().isNull());

    // A good file: shown, no message.
    writeLogo(dir.path(), Qt::red);
    runModal(
        form, [] {}, [&] { return form->exec(); });
    QCOMPARE(prompt.shown.size(), 1);
    QCOMPARE(logo->pixmap().toImage().pixelColor(0, 0), QColor(Qt::red));

    // Replaced by a new picture: the next showing reads it again.
    writeLogo(dir.path(), Qt::green);
    runModal(
        form, [] {}, [&] { return form->exec(); });
    QCOMPARE(logo->pixmap().toImage().pixelColor(0, 0), QColor(Qt::green));

    // Gone or broken: a message before the window shows, the old picture stays.
    QFile::remove(Logo::path(dir.path()));
    if (!secondFile.isEmpty())
        writeFile(Logo::path(dir.path()), secondFile);
    QCOMPARE(runModal(
                 form, [&] { QTest::mouseClick(ok, Qt::LeftButton); }, [&] { return form->exec(); }),
             int(QDialog::Accepted));
    QCOMPARE(prompt.shown.size(), 2);
    QVERIFY(prompt.shown.at(1).text.contains(QStringLiteral("vlogo.dat")));
    QCOMPARE(prompt.visibleAtMessage.last(), false);
    QCOMPARE(logo->pixmap().toImage().pixelColor(0, 0), QColor(Qt::green));
}

void TestPickers::datePickerGivesTheDateOnlyOnOk()
{
    QTemporaryDir dir;
    writeLogo(dir.path(), Qt::blue);
    ScriptedPrompt prompt;
    TSelectDateForm form;
    form.setProgramDir(dir.path());
    form.setPrompt(&prompt);
    QCOMPARE(form.windowTitle(), QStringLiteral("Select Date"));
    QCOMPARE(form.HeadingLabel->text(), QStringLiteral("Select Date"));

    // The caller's start date is shown; the arrow keys move it; OK returns it.
    QDate date(2024, 2, 28);
    QDate shown;
    QVERIFY(runModal(
        &form,
        [&] {
            shown = form.MonthCalendar1->selectedDate();
            QWidget *view = form.MonthCalendar1->findChild<QAbstractItemView *>();
            QVERIFY(view);
            view->setFocus();
            QTest::keyClick(view, Qt::Key_Right);
            QTest::keyClick(view, Qt::Key_Right);
            QTest::mouseClick(form.OKButton, Qt::LeftButton);
        },
        [&] { return form.selectDate(date); }));
    QCOMPARE(shown, QDate(2024, 2, 28));
    QCOMPARE(date, QDate(2024, 3, 1)); // across the leap day

    // Cancel leaves the caller's date alone, whatever the calendar shows.
    date = QDate(2023, 12, 31);
    QVERIFY(!runModal(
        &form,
        [&] {
            form.MonthCalendar1->setSelectedDate(QDate(2020, 1, 1));
            QTest::mouseClick(form.CancelButton, Qt::LeftButton);
        },
        [&] { return form.selectDate(date); }));
    QCOMPARE(date, QDate(2023, 12, 31));
    QVERIFY(prompt.shown.isEmpty());
}

namespace
{

// A help folder with a contents page that links to the options page, to a
// web page and to a mail address.
struct HelpFixture {
    QTemporaryDir dir;
    HelpFixture()
    {
        const QString help = dir.filePath(QStringLiteral("Help/quimbel"));
        writeFile(help + QStringLiteral("/index.htm"),
                  "<html><head><meta charset=\"utf-8\"><title>Contents</title></head><body>"
                  "<h1>Contents</h1>"
                  "<p><a href=\"l1.htm\">Program options</a></p>"
                  "<p><a href=\"http://www.velmora-labs.example/faq.htm\">FAQ on the web</a></p>"
                  "<p><a href=\"mailto:support@velmora-labs.example\">Write to us</a></p>"
                  "</body></html>");
        writeFile(
            help + QStringLiteral("/l1.htm"),
            "<html><body><h1>Program options</h1><p><a href=\"index.htm\">Back to contents</a></p></body></html>");
    }
    QString page(const char *name) const { return dir.filePath(QStringLiteral("Help/quimbel/")) + QLatin1String(name); }
};

QString pageOf(const THelpForm &form)
{
    return form.currentUrl().toLocalFile();
}

// Clicks the link whose text is linkText, as a user would.
void clickLink(THelpForm &form, const QString &linkText)
{
    QTextBrowser *b = form.WebBrowser1;
    const QTextCursor found = b->document()->find(linkText);
    QVERIFY2(!found.isNull(), qPrintable(linkText));
    QTextCursor middle(b->document());
    middle.setPosition((found.selectionStart() + found.selectionEnd()) / 2);
    const QPoint at = b->cursorRect(middle).center();
    QTest::mouseClick(b->viewport(), Qt::LeftButton, {}, at);
}

} // namespace

void TestPickers::helpViewerStartsAtTheContentsOnEveryShowing()
{
    HelpFixture fx;
    THelpForm form;
    form.setProgramDir(fx.dir.path());
    QCOMPARE(form.windowTitle(), QStringLiteral("Help"));
    QStringList hints;
    for (QAction *a : form.ToolBar1->actions())
        hints << (a->isSeparator() ? QStringLiteral("|") : a->toolTip());
    QCOMPARE(hints, (QStringList{"Back", "Forward", "Print", "|", "Close"}));

    form.showHelp();
    QVERIFY(form.isVisible());
    QVERIFY(form.windowState() & Qt::WindowMaximized);
    QCOMPARE(pageOf(form), fx.page("index.htm"));
    QVERIFY(form.WebBrowser1->toPlainText().contains(QStringLiteral("Contents")));

    // A click on a link goes to the page; F1 again (already shown) stays there.
    clickLink(form, QStringLiteral("Program options"));
    QCOMPARE(pageOf(form), fx.page("l1.htm"));
    form.showHelp();
    QCOMPARE(pageOf(form), fx.page("l1.htm"));

    // Back and Forward move through the history; past its ends nothing happens.
    form.BackAction->trigger();
    QCOMPARE(pageOf(form), fx.page("index.htm"));
    form.BackAction->trigger();
    QCOMPARE(pageOf(form), fx.page("index.htm"));
    form.ForwardAction->trigger();
    QCOMPARE(pageOf(form), fx.page("l1.htm"));
    form.ForwardAction->trigger();
    QCOMPARE(pageOf(form), fx.page("l1.htm"));

    // Close only hides; the next showing opens the contents page again and
    // the history of the earlier showing is still there.
    QToolButton *close = qobject_cast<QToolButton *>(form.ToolBar1->widgetForAction(form.CloseAction));
    QVERIFY(close);
    QTest::mouseClick(close, Qt::LeftButton);
    QVERIFY(!form.isVisible());
    form.showHelp();
    QCOMPARE(pageOf(form), fx.page("index.htm"));
    form.BackAction->trigger();
    QCOMPARE(pageOf(form), fx.page("l1.htm"));
}

void TestPickers::helpViewerShowsTheOptionsPage()
{
    HelpFixture fx;
    THelpForm form;
    form.setProgramDir(fx.dir.path());
    // From hidden: shown (contents first), then the options page.
    form.showOptionsHelp();
    QVERIFY(form.isVisible());
    QCOMPARE(pageOf(form), fx.page("l1.htm"));
    QVERIFY(form.WebBrowser1->toPlainText().contains(QStringLiteral("Program options")));
    form.BackAction->trigger();
    QCOMPARE(pageOf(form), fx.page("index.htm"));
    // From shown, on another page: straight to the options page.
    form.showOptionsHelp();
    QCOMPARE(pageOf(form), fx.page("l1.htm"));
    // After closing: again the options page.
    form.CloseAction->trigger();
    form.showOptionsHelp();
    QCOMPARE(pageOf(form), fx.page("l1.htm"));
}

void TestPickers::helpViewerSendsWebAndMailLinksToTheDesktop()
{
    HelpFixture fx;
    THelpForm form;
    form.setProgramDir(fx.dir.path());
    QList<QUrl> opened;
    form.setExternalOpener([&](const QUrl &url) { opened << url; });
    form.showHelp();

    clickLink(form, QStringLiteral("FAQ on the web"));
    clickLink(form, QStringLiteral("Write to us"));
    QCOMPARE(opened, (QList<QUrl>{QUrl(QStringLiteral("http://www.velmora-labs.example/faq.htm")),
                                  QUrl(QStringLiteral("mailto:support@velmora-labs.example"))}));
    // The viewer stayed on its page and has nothing to go back to.
    QCOMPARE(pageOf(form), fx.page("index.htm"));
    QVERIFY(!form.WebBrowser1->isBackwardAvailable());
    QVERIFY(form.WebBrowser1->toPlainText().contains(QStringLiteral("Contents")));
}

void TestPickers::helpViewerWithoutHelpFolderStillOpens()
{
    QTemporaryDir empty;
    THelpForm form;
    form.setProgramDir(empty.path());
    form.showHelp();
    QVERIFY(form.isVisible());
    const QString text = form.WebBrowser1->toPlainText();
    QVERIFY2(text.contains(QStringLiteral("Page not found")), qPrintable(text));
    QVERIFY2(text.contains(QDir::toNativeSeparators(form.helpFile(QStringLiteral("index.htm")))), qPrintable(text));
    // The options page is missing as well; the viewer says so and goes on.
    form.showOptionsHelp();
    QVERIFY(form.WebBrowser1->toPlainText().contains(QStringLiteral("l1.htm")));
    form.BackAction->trigger();
    QVERIFY(form.WebBrowser1->toPlainText().contains(QStringLiteral("index.htm")));
}

void TestPickers::helpViewerPrintsTheShownPage()
{
    HelpFixture fx;
    THelpForm form;
    form.setProgramDir(fx.dir.path());
    QStringList printed;
    form.setPrintHandler([&](QTextDocument *doc) { printed << doc->toPlainText().section('\n', 0, 0).trimmed(); });
    form.showOptionsHelp();
    QToolButton *print = qobject_cast<QToolButton *>(form.ToolBar1->widgetForAction(form.PrintAction));
    QVERIFY(print);
    QTest::mouseClick(print, Qt::LeftButton);
    QCOMPARE(printed, QStringList{QStringLiteral("Program options")});
}

void TestPickers::aboutBoxNamesAMissingLogo()
{
    QTemporaryDir dir;
    TAboutForm form;
    form.setProgramDir(dir.path());
    QList<QUrl> opened;
    form.setShellOpener([&](const QUrl &url) { opened << url; });
    QCOMPARE(form.windowTitle(), QStringLiteral("About Velmora Sentrova"));
    QCOMPARE(form.TitleLabel->text(), QStringLiteral("Velmora Sentrova (2.0)"));
    QVERIFY(form.InfoMemo->isReadOnly());

    // Without vlogo.dat the box still opens and names the file in the
    // picture's place; its buttons work; OK closes it.
    QCOMPARE(runModal(
                 &form,
                 [&] {
                     QTest::mouseClick(form.HomePageButton, Qt::LeftButton);
                     QTest::mouseClick(form.EMailButton, Qt::LeftButton);
                     QVERIFY(form.isVisible());
                     QTest::mouseClick(form.OKButton, Qt::LeftButton);
                 },
                 [&] { return form.exec(); }),
             int(QDialog::Accepted));
    QVERIFY2(form.logoProblem().contains(QDir::toNativeSeparators(Logo::path(dir.path()))),
             qPrintable(form.logoProblem()));
    QVERIFY(form.LogoImage->text().contains(QStringLiteral("vlogo.dat")));
    QCOMPARE(opened, (QList<QUrl>{QUrl(QString::fromLatin1(TAboutForm::HomePageUrl)),
                                  QUrl(QString::fromLatin1(TAboutForm::ContactUrl))}));
    QCOMPARE(opened.at(1).scheme(), QStringLiteral("mailto"));

    // With the file: the picture shows and the problem is gone; Enter is OK.
    writeLogo(dir.path(), Qt::darkCyan);
    QCOMPARE(runModal(
                 &form, [&] { QTest::keyClick(&form, Qt::Key_Return); }, [&] { return form.exec(); }),
             int(QDialog::Accepted));
    QVERIFY(form.logoProblem().isEmpty());
    QCOMPARE(form.LogoImage->pixmap().toImage().pixelColor(0, 0), QColor(Qt::darkCyan));
}

QTEST_MAIN(TestPickers)
#include "test_pickers.moc"
