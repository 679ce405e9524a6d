// The program options dialog driven as a user drives it: its pages, OK
// saving, Cancel and the close box throwing the edits away, Help showing the
// options page of the help viewer, and the tray option reported afterwards.
#include "settings/autostart.h"
#include "settings/programoptionform.h"
#include "settings/programoptions.h"
#include "mail/inetmail.h"
#include "settings/passwordstore.h"
#include "widgets/helpform.h"

#include "alerts/smtppeer.h"

#include "../support/runmodal.h"
#include "../support/scriptedprompt.h"
#include "../support/testfiles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <QtTest>

#include <functional>
#include <memory>

namespace
{

// Replaces an edit's text by typing, as a user does.
void retype(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

// Clicks a check box on its indicator, as a user does.
void tick(QCheckBox *box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

// Records whether the window was last told it is blocked by a modal window.
class BlockWatch : public QObject
{
public:
    bool blocked = false;

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::WindowBlocked)
            blocked = true;
        else if (e->type() == QEvent::WindowUnblocked)
            blocked = false;
        return false;
    }
};

} // namespace

class TestProgramOptionForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void opensOnBasicWithThePagesAndTheLiveValues();
    void okSavesWhatWasTypedUnvalidated();
    void editsReachTheLiveOptionsWhileOpen();
    void cancelRestoresStoredValues_data();
    void cancelRestoresStoredValues();
    void trayOptionIsReportedAfterEveryClose_data();
    void trayOptionIsReportedAfterEveryClose();
    void failedSaveNamesTheFile();
    void alertsAndSessionOptions();
    void helpShowsTheOptionsPageAlsoAfterTheViewerWasClosed();
    void securityLoginAndAlertStyleAreStored();
    void securityProposesItsPort_data();
    void securityProposesItsPort();
    void passwordKeptForThisRunWithoutASecretStore();
    void testMailShowsItsDialogueAndEnd_data();
    void testMailShowsItsDialogueAndEnd();
    void helpViewerStaysUsableWhileTheModalDialogIsOpen();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QSettings> m_settings;
    OptionsLocation m_where;
    ProgramOptions m_options;
    ScriptedPrompt m_prompt;
    std::unique_ptr<TProgramOptionForm> m_form;

    QString templatePath() const { return m_dir.filePath(QStringLiteral("email.dat")); }
    // Runs the dialog modally; `act` runs inside it and must close it.
    int runModal(const std::function<void()> &act);
};

void TestProgramOptionForm::init()
{
    QVERIFY(m_dir.isValid());
    QFile::remove(templatePath());
    QFile::remove(m_dir.filePath(QStringLiteral("options.ini")));
    m_settings = std::make_unique<QSettings>(m_dir.filePath(QStringLiteral("options.ini")), QSettings::IniFormat);
    m_where = OptionsLocation{m_settings.get(), templatePath()};
    m_options = ProgramOptions();
    QVERIFY(LoadProgramOptions(m_options, m_where));
    m_prompt = ScriptedPrompt();
    m_form = std::make_unique<TProgramOptionForm>(m_options, &m_prompt);
    m_form->setOptionsLocation(m_where);
}

void TestProgramOptionForm::cleanup()
{
    m_form.reset();
    m_settings.reset();
}

int TestProgramOptionForm::runModal(const std::function<void()> &act)
{
    return ::runModal(m_form.get(), act, [this] { return m_form->Execute(); });
}

void TestProgramOptionForm::securityLoginAndAlertStyleAreStored()
{
    runModal([this] {
        // The defaults: today's plain mail and boxes.
        QCOMPARE(m_form->SecurityBox->currentText(), QStringLiteral("None"));
        QVERIFY(m_form->UserEdit->text().isEmpty());
        QVERIFY(m_form->PasswordEdit->text().isEmpty());
        QCOMPARE(m_form->PasswordEdit->echoMode(), QLineEdit::Password);
        QCOMPARE(m_form->AcceptCertificateBox->text(),
                 QStringLiteral("Accept the server's certificate even if it is not trusted"));
        QVERIFY(!m_form->AcceptCertificateBox->isChecked());
        QCOMPARE(m_form->AlertStyleBox->currentIndex(), int(ProgramOptions::AlertBoxes));
        m_form->PageControl->setCurrentIndex(1);
        m_form->SecurityBox->setCurrentIndex(2);
        retype(m_form->UserEdit, QStringLiteral("alice@example.net"));
        retype(m_form->PasswordEdit, QStringLiteral("s3cret"));
        tick(m_form->AcceptCertificateBox);
        m_form->PageControl->setCurrentIndex(0);
        m_form->AlertStyleBox->setCurrentIndex(2);
        QCOMPARE(m_options.SmtpSecurity, int(ProgramOptions::SecurityTls));
        QCOMPARE(m_options.SmtpPassword, QStringLiteral("s3cret"));
        QTest::mouseClick(m_form->OKBtn, Qt::LeftButton);
    });
    m_settings->sync();
    ProgramOptions back;
    QVERIFY(LoadProgramOptions(back, m_where));
    QCOMPARE(back.SmtpSecurity, int(ProgramOptions::SecurityTls));
    QCOMPARE(back.SmtpPort, QStringLiteral("465"));
    QCOMPARE(back.SmtpUser, QStringLiteral("alice@example.net"));
    QVERIFY(back.SmtpAcceptUntrusted);
    QCOMPARE(back.AlertStyle, int(ProgramOptions::AlertBoth));
    QVERIFY(back.SmtpPassword.isEmpty()); // never in the options
    QFile ini(m_dir.filePath(QStringLiteral("options.ini")));
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QVERIFY(!ini.readAll().contains("s3cret"));
    QCOMPARE(m_options.SmtpPassword, QStringLiteral("s3cret")); // in force for this run
}

void TestProgramOptionForm::securityProposesItsPort_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("security");
    QTest::addColumn<QString>("expected");
    QTest::newRow("25 to STARTTLS") << "25" << 1 << "587";
    QTest::newRow("25 to TLS") << "25" << 2 << "465";
    QTest::newRow("465 back to none") << "465" << 0 << "25";
    QTest::newRow("587 to TLS") << "587" << 2 << "465";
    QTest::newRow("a port of one's own stays") << "2525" << 2 << "2525";
}

void TestProgramOptionForm::securityProposesItsPort()
{
    QFETCH(QString, port);
    QFETCH(int, security);
    QFETCH(QString, expected);
    m_options.SmtpPort = port;
    m_options.SmtpSecurity = security == 0 ? 2 : 0;
    runModal([&] {
        m_form->SecurityBox->setCurrentIndex(security);
        QCOMPARE(m_form->PortEdit->text(), expected);
        QCOMPARE(m_options.SmtpPort, expected);
        m_form->reject();
    });
}

void TestProgramOptionForm::passwordKeptForThisRunWithoutASecretStore()
{
    // The tests run without a session bus: no secret store answers.
    runModal([this] {
        m_form->PageControl->setCurrentIndex(1);
        QTRY_VERIFY_WITH_TIMEOUT(m_form->passwordStore()->answered(), 20000);
        QVERIFY(m_form->PasswordNote->isVisible());
        QCOMPARE(m_form->PasswordNote->text(), PasswordStore::runOnlyNote());
        m_form->reject();
    });
}

void TestProgramOptionForm::testMailShowsItsDialogueAndEnd_data()
{
    QTest::addColumn<bool>("serverUp");
    QTest::addColumn<QString>("result");
    QTest::newRow("accepted") << true << "Message accepted";
    QTest::newRow("refused connection") << false << "Connection Refused";
}

void TestProgramOptionForm::testMailShowsItsDialogueAndEnd()
{
    QFETCH(bool, serverUp);
    QFETCH(QString, result);
    SmtpPeer peer;
    quint16 port = 0;
    if (serverUp) {
        START_SMTP_PEER(peer);
        port = peer.port();
    } else {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        port = closed.serverPort(); // nothing listens there once it goes
    }
    m_options.SmtpServer = QStringLiteral("127.0.0.1");
    m_options.SmtpPort = QString::number(port);
    m_options.MailTo = QStringLiteral("ops@example.com; night@example.com");
    runModal([&] {
        m_form->PageControl->setCurrentIndex(1);
        QTest::mouseClick(m_form->TestMailBtn, Qt::LeftButton);
        QVERIFY(!m_form->TestMailBtn->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(m_form->TestMailResult->text(), result, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(m_form->TestMailBtn->isEnabled(), 5000);
        if (serverUp) {
            const QString log = m_form->TestMailLog->toPlainText();
            QVERIFY2(log.contains(QLatin1String("> HELO ")), qPrintable(log));
            QVERIFY(log.contains(QLatin1String("> RCPT TO:<night@example.com>")));
            QVERIFY(log.contains(QLatin1String("< 250 Message accepted for delivery")));
        }
        m_form->reject();
    });
    if (!serverUp)
        return;
    QTRY_COMPARE_WITH_TIMEOUT(peer.messages().size(), 1, 5000);
    const QByteArray mail = peer.messages().first();
    QVERIFY(mail.contains("RCPT TO:<ops@example.com>\r\nRCPT TO:<night@example.com>\r\n"));
    QVERIFY(mail.contains("\r\nTo: ops@example.com;\r\nTo: night@example.com;\r\n"));
    QVERIFY(mail.contains("\r\nHost name or IP address : test.example.com\r\n"));
    QVERIFY(mail.contains("\r\nTest         : Test mail\r\n"));
    QVERIFY(mail.contains("\r\nDate: "));
    QVERIFY(mail.contains("\r\nMessage-ID: <"));
}

void TestProgramOptionForm::opensOnBasicWithThePagesAndTheLiveValues()
{
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Program Option"));
    QCOMPARE(m_form->PageControl->count(), 3);
    const QStringList pages{QStringLiteral("Basic"), QStringLiteral("Mail server"), QStringLiteral("Message Format")};
    const QList<QLabel *> headings{m_form->BasicHeading, m_form->MailServerHeading, m_form->MessageFormatHeading};
    const QStringList headingTexts{QStringLiteral("General options"), QStringLiteral("SMTP Server options"),
                                   QStringLiteral("Message format")};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(m_form->PageControl->tabText(i), pages[i]);
        QCOMPARE(headings[i]->text(), headingTexts[i]);
    }
    QCOMPARE(m_form->AutoStartBox->text(), QStringLiteral("Start Sentrova when program startup"));
    QCOMPARE(m_form->MinimizeToTrayCB->text(), QStringLiteral("Minimize Sentrova to Tray Icon"));

    // The values changed since the last opening show, on the first page,
    // even when the dialog was left on another page.
    m_options.SmtpServer = QStringLiteral("mail.example.org");
    m_options.MinimizeToTray = true;
    runModal([&] {
        QCOMPARE(m_form->PageControl->currentIndex(), 0);
        QCOMPARE(m_form->SMTPEdit->text(), QStringLiteral("mail.example.org"));
        QCOMPARE(m_form->PortEdit->text(), QStringLiteral("25"));
        QCOMPARE(m_form->MailSubjectEdit->text(), QStringLiteral("Velmora Sentrova"));
        QVERIFY(m_form->MinimizeToTrayCB->isChecked());
        QVERIFY(!m_form->AutoStartBox->isChecked());
        QCOMPARE(m_form->MessageMemo->toPlainText().split(QLatin1Char('\n')),
                 ProgramOptions::defaultMessageTemplate());
        m_form->PageControl->setCurrentIndex(2);
        QTest::mouseClick(m_form->OKBtn, Qt::LeftButton);
    });
    runModal([&] {
        QCOMPARE(m_form->PageControl->currentIndex(), 0);
        m_form->reject();
    });
}

void TestProgramOptionForm::okSavesWhatWasTypedUnvalidated()
{
    const int result = runModal([&] {
        tick(m_form->AutoStartBox);
        m_form->PageControl->setCurrentIndex(1);
        retype(m_form->SMTPEdit, QStringLiteral("smtp.example.net"));
        retype(m_form->PortEdit, QStringLiteral("abc"));
        retype(m_form->MailEdit, QStringLiteral("me@example.net"));
        retype(m_form->MailToEdit, QStringLiteral("ops@example.net"));
        m_form->PageControl->setCurrentIndex(2);
        retype(m_form->MailSubjectEdit, QStringLiteral("Alert"));
        m_form->MessageMemo->setFocus();
        m_form->MessageMemo->selectAll();
        QTest::keyClicks(m_form->MessageMemo, QStringLiteral("Host %HostName%"));
        QTest::keyClick(m_form->MessageMemo, Qt::Key_Return);
        QTest::keyClicks(m_form->MessageMemo, QStringLiteral("is %STATUS%"));
        QTest::mouseClick(m_form->OKBtn, Qt::LeftButton);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QVERIFY(m_prompt.shown.isEmpty());

    // Stored as typed: the port "abc" too; the e-mail action makes it 25.
    m_settings->sync();
    m_settings->beginGroup(QStringLiteral("Option"));
    QCOMPARE(m_settings->value(QStringLiteral("SMTP Server")).toString(), QStringLiteral("smtp.example.net"));
    QCOMPARE(m_settings->value(QStringLiteral("SMTP Port")).toString(), QStringLiteral("abc"));
    QCOMPARE(m_settings->value(QStringLiteral("Mail From")).toString(), QStringLiteral("me@example.net"));
    QCOMPARE(m_settings->value(QStringLiteral("Mail To")).toString(), QStringLiteral("ops@example.net"));
    QCOMPARE(m_settings->value(QStringLiteral("Mail Subject")).toString(), QStringLiteral("Alert"));
    QCOMPARE(m_settings->value(QStringLiteral("Auto Start")).toString(), QStringLiteral("1"));
    QCOMPARE(m_settings->value(QStringLiteral("Minimize To Tray")).toString(), QStringLiteral("0"));
    m_settings->endGroup();
    QCOMPARE(readFile(templatePath()), QByteArray("Host %HostName%\r\nis %STATUS%\r\n"));
    QCOMPARE(m_options.mailPort(), quint16(25));
}

void TestProgramOptionForm::editsReachTheLiveOptionsWhileOpen()
{
    // An e-mail sent while the dialog is open reads the values as they stand.
    runModal([&] {
        m_form->PageControl->setCurrentIndex(2);
        retype(m_form->MailSubjectEdit, QStringLiteral("Half-typed"));
        QCOMPARE(m_options.MailSubject, QStringLiteral("Half-typed"));
        m_form->MessageMemo->setFocus();
        m_form->MessageMemo->selectAll();
        QTest::keyClick(m_form->MessageMemo, Qt::Key_Delete);
        QCOMPARE(m_options.MessageTemplate, QStringList());
        QTest::keyClicks(m_form->MessageMemo, QStringLiteral("x"));
        QCOMPARE(m_options.MessageTemplate, QStringList{QStringLiteral("x")});
        m_form->PageControl->setCurrentIndex(0);
        tick(m_form->MinimizeToTrayCB);
        QVERIFY(m_options.MinimizeToTray);
        m_form->reject();
    });
}

void TestProgramOptionForm::cancelRestoresStoredValues_data()
{
    QTest::addColumn<bool>("templateFile");
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("Cancel, email.dat exists") << true << false;
    QTest::newRow("Cancel, no email.dat") << false << false;
    QTest::newRow("close box, email.dat exists") << true << true;
    QTest::newRow("close box, no email.dat") << false << true;
}

void TestProgramOptionForm::cancelRestoresStoredValues()
{
    QFETCH(bool, templateFile);
    QFETCH(bool, closeBox);
    m_settings->setValue(QStringLiteral("Option/Mail Subject"), QStringLiteral("Stored subject"));
    m_settings->sync();
    if (templateFile)
        writeFile(templatePath(), "Stored\r\ntemplate\r\n");
    QVERIFY(LoadProgramOptions(m_options, m_where));
    const QStringList before = m_options.MessageTemplate;

    const int result = runModal([&] {
        m_form->PageControl->setCurrentIndex(2);
        retype(m_form->MailSubjectEdit, QStringLiteral("Edited subject"));
        m_form->MessageMemo->setFocus();
        QTest::keyClicks(m_form->MessageMemo, QStringLiteral("edited "));
        QVERIFY(m_options.MessageTemplate != before);
        if (closeBox)
            m_form->close();
        else
            QTest::mouseClick(m_form->CancelBtn, Qt::LeftButton);
    });
    QCOMPARE(result, int(QDialog::Rejected));
    QCOMPARE(m_options.MailSubject, QStringLiteral("Stored subject"));
    if (templateFile) {
        QCOMPARE(m_options.MessageTemplate, before);
    } else {
        // Without email.dat the edited template stays in force, unsaved.
        QCOMPARE(m_options.MessageTemplate.first(), QStringLiteral("edited ") + before.first());
        QVERIFY(!QFile::exists(templatePath()));
    }
    m_settings->sync();
    QCOMPARE(m_settings->value(QStringLiteral("Option/Mail Subject")).toString(), QStringLiteral("Stored subject"));

    // The next opening shows the values now in force.
    runModal([&] {
        QCOMPARE(m_form->MailSubjectEdit->text(), QStringLiteral("Stored subject"));
        QCOMPARE(m_form->MessageMemo->toPlainText().split(QLatin1Char('\n')), m_options.MessageTemplate);
        m_form->reject();
    });
}

void TestProgramOptionForm::trayOptionIsReportedAfterEveryClose_data()
{
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("reported");
    QTest::newRow("ticked, OK") << true << true;
    QTest::newRow("ticked, Cancel") << false << false;
}

void TestProgramOptionForm::trayOptionIsReportedAfterEveryClose()
{
    QFETCH(bool, ok);
    QFETCH(bool, reported);
    QSignalSpy spy(m_form.get(), &TProgramOptionForm::minimizeToTrayChanged);
    runModal([&] {
        tick(m_form->MinimizeToTrayCB);
        QVERIFY(spy.isEmpty()); // not before the dialog closes
        QTest::mouseClick(ok ? m_form->OKBtn : m_form->CancelBtn, Qt::LeftButton);
    });
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), reported);
    QCOMPARE(m_options.MinimizeToTray, reported);
}

void TestProgramOptionForm::failedSaveNamesTheFile()
{
    // The template's path is a folder: email.dat cannot be written.
    const QString folder = m_dir.filePath(QStringLiteral("email-folder"));
    QVERIFY(QDir().mkpath(folder));
    m_where.templateFile = folder;
    m_form->setOptionsLocation(m_where);
    const int result = runModal([&] {
        m_form->PageControl->setCurrentIndex(2);
        retype(m_form->MailSubjectEdit, QStringLiteral("Kept"));
        QTest::mouseClick(m_form->OKBtn, Qt::LeftButton);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(m_prompt.shown.size(), 1);
    QCOMPARE(m_prompt.shown[0].title, QStringLiteral("Error"));
    QVERIFY2(m_prompt.shown[0].text.contains(folder), qPrintable(m_prompt.shown[0].text));
    // The edits stay in force for the rest of the run.
    QCOMPARE(m_options.MailSubject, QStringLiteral("Kept"));
}

void TestProgramOptionForm::helpShowsTheOptionsPageAlsoAfterTheViewerWasClosed()
{
    QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("prog/Help/quimbel"))));
    writeFile(m_dir.filePath(QStringLiteral("prog/Help/quimbel/index.htm")), "<html><body>Contents</body></html>");
    writeFile(m_dir.filePath(QStringLiteral("prog/Help/quimbel/l1.htm")), "<html><body>Options page</body></html>");
    THelpForm help;
    help.setProgramDir(m_dir.filePath(QStringLiteral("prog")));
    help.setPrintHandler([](QTextDocument *) {});
    m_form->setHelpForm(&help);
    const QUrl optionsPage = QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("prog/Help/quimbel/l1.htm")));

    runModal([&] {
        QTest::mouseClick(m_form->HelpBtn, Qt::LeftButton);
        QVERIFY(help.isVisible());
        QCOMPARE(help.currentUrl(), optionsPage);
        QVERIFY(help.WebBrowser1->toPlainText().contains(QStringLiteral("Options page")));
        // The viewer's Close only hides it; Help shows it again on l1.htm.
        help.CloseAction->trigger();
        QVERIFY(!help.isVisible());
        QTest::mouseClick(m_form->HelpBtn, Qt::LeftButton);
        QVERIFY(help.isVisible());
        QCOMPARE(help.currentUrl(), optionsPage);
        m_form->reject();
    });
    // Help after the dialog was closed and opened again.
    help.hide();
    runModal([&] {
        QTest::mouseClick(m_form->HelpBtn, Qt::LeftButton);
        QVERIFY(help.isVisible());
        QCOMPARE(help.currentUrl(), optionsPage);
        m_form->reject();
    });
    QVERIFY(help.isVisible()); // the viewer is not modal; it stays open
}

void TestProgramOptionForm::helpViewerStaysUsableWhileTheModalDialogIsOpen()
{
    QWidget mainWindow;
    mainWindow.show();
    THelpForm help(&mainWindow);
    help.setProgramDir(m_dir.path());
    BlockWatch watch;
    help.installEventFilter(&watch);
    TProgramOptionForm form(m_options, &m_prompt, &mainWindow);
    form.setOptionsLocation(m_where);
    form.setHelpForm(&help);
    help.show(); // open before the dialog, so the dialog blocks it at first

    ::runModal(
        &form,
        [&] {
            QTRY_VERIFY(watch.blocked);
            QTest::mouseClick(form.HelpBtn, Qt::LeftButton);
            QTRY_VERIFY(!watch.blocked);
        },
        [&] { return form.Execute(); });
    // Afterwards the viewer belongs to the main window again.
    QVERIFY(!watch.blocked);
    QCOMPARE(help.windowHandle()->transientParent(), mainWindow.windowHandle());
}

// The two options grouped on "Basic": the alert-after option goes into the
// live options and is saved by OK; the desktop session box writes the
// autostart entry with the project open now on OK, removes it on OK when
// cleared, does nothing on Cancel, and says so when the entry cannot be
// written.
void TestProgramOptionForm::alertsAndSessionOptions()
{
    const QString entry = m_dir.filePath(QStringLiteral("config/autostart/sentrova.desktop"));
    m_form->setAutostartPath(entry);
    m_form->setAutostartProject([this] { return m_dir.filePath(QStringLiteral("servers.snv")); });
    auto *group = qobject_cast<QGroupBox *>(m_form->StartWithDesktopCB->parentWidget());
    QVERIFY(group);
    QCOMPARE(group->title(), QStringLiteral("Alerts and session"));
    QCOMPARE(m_form->AlertAfterCB->parentWidget(), group);
    QVERIFY(m_form->BasicSheet->isAncestorOf(group));
    QCOMPARE(m_form->StartWithDesktopCB->text(), QStringLiteral("Start with my desktop session"));

    // Cancel: nothing written.
    runModal([&] {
        QVERIFY(!m_form->AlertAfterCB->isChecked());
        QVERIFY(!m_form->StartWithDesktopCB->isChecked());
        tick(m_form->AlertAfterCB);
        QVERIFY(m_options.AlertAfterBadAttempts);
        tick(m_form->StartWithDesktopCB);
        QTest::mouseClick(m_form->CancelBtn, Qt::LeftButton);
    });
    QVERIFY(!m_options.AlertAfterBadAttempts);
    QVERIFY(!QFileInfo::exists(entry));

    // OK: both on.
    runModal([&] {
        tick(m_form->AlertAfterCB);
        tick(m_form->StartWithDesktopCB);
        QTest::mouseClick(m_form->OKBtn, Qt::LeftButton);
    });
    QVERIFY(m_options.AlertAfterBadAttempts);
    QCOMPARE(m_settings->value(QStringLiteral("Option/Alert After Bad Attempts")).toString(), QStringLiteral("1"));
    QCOMPARE(readFile(entry), Autostart::entryText(QCoreApplication::applicationFilePath(),
                                                   m_dir.filePath(QStringLiteral("servers.snv"))));

    // The next opening shows both ticked; clearing the session box and OK
    // removes the entry.
    runModal([&] {
        QVERIFY(m_form->AlertAfterCB->isChecked());
        QVERIFY(m_form->StartWithDesktopCB->isChecked());
        tick(m_form->StartWithDesktopCB);
        QTest::mouseClick(m_form->OKBtn, Qt::LeftButton);
    });
    QVERIFY(!QFileInfo::exists(entry));
    QVERIFY(m_prompt.shown.isEmpty());

    // Where the autostart folder should be there is a file: a message that
    // names the entry, the file untouched, and the box cleared next time.
    writeFile(m_dir.filePath(QStringLiteral("blocked")), "not a folder");
    const QString blocked = m_dir.filePath(QStringLiteral("blocked/sentrova.desktop"));
    m_form->setAutostartPath(blocked);
    runModal([&] {
        tick(m_form->StartWithDesktopCB);
        QTest::mouseClick(m_form->OKBtn, Qt::LeftButton);
    });
    QCOMPARE(m_prompt.shown.size(), 1);
    QCOMPARE(m_prompt.shown.last().title, QStringLiteral("Error"));
    QVERIFY2(m_prompt.shown.last().text.startsWith(QStringLiteral("Cannot write the autostart entry \"") + blocked),
             qPrintable(m_prompt.shown.last().text));
    QCOMPARE(readFile(m_dir.filePath(QStringLiteral("blocked"))), QByteArray("not a folder"));
    runModal([&] {
        QVERIFY(!m_form->StartWithDesktopCB->isChecked());
        m_form->reject();
    });
}

QTEST_MAIN(TestProgramOptionForm)
#include "test_programoptionform.moc"
