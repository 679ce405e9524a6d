#include "programoptionform.h"

#include "alerts/dispatcher.h"
#include "core/formats.h"
#include "core/prompt.h"
#include "mail/inetmail.h"
#include "settings/autostart.h"
#include "settings/passwordstore.h"
#include "widgets/helpform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QRegularExpression>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QTextCursor>
#include <QVBoxLayout>
#include <QWindow>

namespace
{

// A page's heading: bold, a little larger, with a line under it.
QLabel *addHeading(QVBoxLayout *page, const QString &text, QWidget *parent)
{
    auto *heading = new QLabel(text, parent);
    QFont font = heading->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.2);
    heading->setFont(font);
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    page->addWidget(heading);
    page->addWidget(line);
    page->addSpacing(4);
    return heading;
}

} // namespace

TProgramOptionForm::TProgramOptionForm(ProgramOptions &options, UserPrompt *prompt, QWidget *parent)
    : QDialog(parent), m_options(options), m_prompt(prompt)
{
    setObjectName(QStringLiteral("ProgramOptionForm"));
    setWindowTitle(QStringLiteral("Program Option"));

    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));

    // "Basic"
    BasicSheet = new QWidget;
    BasicSheet->setObjectName(QStringLiteral("BasicSheet"));
    auto *basic = new QVBoxLayout(BasicSheet);
    BasicHeading = addHeading(basic, QStringLiteral("General options"), BasicSheet);
    AutoStartBox = new QCheckBox(QStringLiteral("Start Sentrova when program startup"), BasicSheet);
    AutoStartBox->setObjectName(QStringLiteral("AutoStartBox"));
    MinimizeToTrayCB = new QCheckBox(QStringLiteral("Minimize Sentrova to Tray Icon"), BasicSheet);
    MinimizeToTrayCB->setObjectName(QStringLiteral("MinimizeToTrayCB"));
    basic->addWidget(AutoStartBox);
    basic->addWidget(MinimizeToTrayCB);
    AlertStyleBox = new QComboBox(BasicSheet);
    AlertStyleBox->setObjectName(QStringLiteral("AlertStyleBox"));
    AlertStyleBox->addItems({QStringLiteral("Message boxes"), QStringLiteral("Desktop notifications"),
                             QStringLiteral("Desktop notifications and message boxes")});
    auto *styleForm = new QFormLayout;
    styleForm->addRow(QStringLiteral("Show alert messages as"), AlertStyleBox);
    basic->addSpacing(8);
    basic->addLayout(styleForm);
    auto *more = new QGroupBox(QStringLiteral("Alerts and session"), BasicSheet);
    AlertAfterCB = new QCheckBox(QStringLiteral("Alert only after \"Alert after N bad attempts\" failures in a row"), more);
    AlertAfterCB->setObjectName(QStringLiteral("AlertAfterCB"));
    AlertAfterCB->setToolTip(QStringLiteral("Each object's number is set in its dialog; every failure still shows in the list"));
    StartWithDesktopCB = new QCheckBox(QStringLiteral("Start with my desktop session"), more);
    StartWithDesktopCB->setObjectName(QStringLiteral("StartWithDesktopCB"));
    StartWithDesktopCB->setToolTip(QStringLiteral("Starts Sentrova with the last project when you log in"));
    auto *moreLayout = new QVBoxLayout(more);
    moreLayout->addWidget(AlertAfterCB);
    moreLayout->addWidget(StartWithDesktopCB);
    basic->addSpacing(8);
    basic->addWidget(more);
    // The metrics endpoint for Prometheus.
    ServeMetricsCB = new QCheckBox(QStringLiteral("Serve metrics for Prometheus at /metrics"), BasicSheet);
    ServeMetricsCB->setObjectName(QStringLiteral("ServeMetricsCB"));
    MetricsPortEdit = new QLineEdit(BasicSheet);
    MetricsPortEdit->setObjectName(QStringLiteral("MetricsPortEdit"));
    MetricsPortEdit->setToolTip(QStringLiteral("A port listens on 127.0.0.1 only; write address:port to listen elsewhere"));
    MetricsStatusLabel = new QLabel(BasicSheet);
    MetricsStatusLabel->setObjectName(QStringLiteral("MetricsStatusLabel"));
    MetricsStatusLabel->setWordWrap(true);
    auto *metricsForm = new QFormLayout;
    metricsForm->addRow(QStringLiteral("Metrics port"), MetricsPortEdit);
    basic->addSpacing(8);
    basic->addWidget(ServeMetricsCB);
    basic->addLayout(metricsForm);
    basic->addWidget(MetricsStatusLabel);
    basic->addStretch();
    PageControl->addTab(BasicSheet, QStringLiteral("Basic"));

    // "Mail server"
    MailServerSheet = new QWidget;
    MailServerSheet->setObjectName(QStringLiteral("MailServerSheet"));
    auto *mail = new QVBoxLayout(MailServerSheet);
    MailServerHeading = addHeading(mail, QStringLiteral("SMTP Server options"), MailServerSheet);
    SMTPEdit = new QLineEdit(MailServerSheet);
    SMTPEdit->setObjectName(QStringLiteral("SMTPEdit"));
    PortEdit = new QLineEdit(MailServerSheet);
    PortEdit->setObjectName(QStringLiteral("PortEdit"));
    PortEdit->setMaximumWidth(80);
    MailEdit = new QLineEdit(MailServerSheet);
    MailEdit->setObjectName(QStringLiteral("MailEdit"));
    MailToEdit = new QLineEdit(MailServerSheet);
    MailToEdit->setObjectName(QStringLiteral("MailToEdit"));
    auto *mailForm = new QFormLayout;
    mailForm->addRow(QStringLiteral("SMTP Server"), SMTPEdit);
    mailForm->addRow(QStringLiteral("Port"), PortEdit);
    mailForm->addRow(QStringLiteral("E-mail From"), MailEdit);
    mailForm->addRow(QStringLiteral("E-mail To"), MailToEdit);
    SecurityBox = new QComboBox(MailServerSheet);
    SecurityBox->setObjectName(QStringLiteral("SecurityBox"));
    SecurityBox->addItems({QStringLiteral("None"), QStringLiteral("STARTTLS"), QStringLiteral("TLS")});
    UserEdit = new QLineEdit(MailServerSheet);
    UserEdit->setObjectName(QStringLiteral("UserEdit"));
    PasswordEdit = new QLineEdit(MailServerSheet);
    PasswordEdit->setObjectName(QStringLiteral("PasswordEdit"));
    PasswordEdit->setEchoMode(QLineEdit::Password);
    PasswordNote = new QLabel(PasswordStore::runOnlyNote(), MailServerSheet);
    PasswordNote->setObjectName(QStringLiteral("PasswordNote"));
    PasswordNote->setWordWrap(true);
    PasswordNote->setTextFormat(Qt::PlainText);
    PasswordNote->setVisible(false);
    AcceptCertificateBox =
        new QCheckBox(QStringLiteral("Accept the server's certificate even if it is not trusted"), MailServerSheet);
    AcceptCertificateBox->setObjectName(QStringLiteral("AcceptCertificateBox"));
    mailForm->addRow(QStringLiteral("Security"), SecurityBox);
    mailForm->addRow(QStringLiteral("User name"), UserEdit);
    mailForm->addRow(QStringLiteral("Password"), PasswordEdit);
    mailForm->addRow(QString(), PasswordNote);
    mailForm->addRow(QString(), AcceptCertificateBox);
    mail->addLayout(mailForm);
    TestMailBtn = new QPushButton(QStringLiteral("Send test mail"), MailServerSheet);
    TestMailBtn->setObjectName(QStringLiteral("TestMailBtn"));
    TestMailBtn->setAutoDefault(false);
    TestMailResult = new QLabel(MailServerSheet);
    TestMailResult->setObjectName(QStringLiteral("TestMailResult"));
    TestMailResult->setTextFormat(Qt::PlainText);
    TestMailResult->setWordWrap(true);
    auto *testRow = new QHBoxLayout;
    testRow->addWidget(TestMailBtn);
    testRow->addWidget(TestMailResult, 1);
    mail->addLayout(testRow);
    TestMailLog = new QPlainTextEdit(MailServerSheet);
    TestMailLog->setObjectName(QStringLiteral("TestMailLog"));
    TestMailLog->setReadOnly(true);
    TestMailLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    TestMailLog->setMaximumBlockCount(500);
    mail->addWidget(TestMailLog, 1);
    PageControl->addTab(MailServerSheet, QStringLiteral("Mail server"));

    // "Message Format"
    MessageFormatSheet = new QWidget;
    MessageFormatSheet->setObjectName(QStringLiteral("MessageFormatSheet"));
    auto *message = new QVBoxLayout(MessageFormatSheet);
    MessageFormatHeading = addHeading(message, QStringLiteral("Message format"), MessageFormatSheet);
    MailSubjectEdit = new QLineEdit(MessageFormatSheet);
    MailSubjectEdit->setObjectName(QStringLiteral("MailSubjectEdit"));
    auto *subjectForm = new QFormLayout;
    subjectForm->addRow(QStringLiteral("Subject"), MailSubjectEdit);
    message->addLayout(subjectForm);
    auto *memoLabel = new QLabel(QStringLiteral("Message:"), MessageFormatSheet);
    MessageMemo = new QPlainTextEdit(MessageFormatSheet);
    MessageMemo->setObjectName(QStringLiteral("MessageMemo"));
    memoLabel->setBuddy(MessageMemo);
    MessageMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    MessageMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MessageMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MessageMemo->setTabChangesFocus(true);
    message->addWidget(memoLabel);
    message->addWidget(MessageMemo, 1);
    PageControl->addTab(MessageFormatSheet, QStringLiteral("Message Format"));

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    HelpBtn = new QPushButton(QStringLiteral("Help"), this);
    HelpBtn->setObjectName(QStringLiteral("HelpBtn"));
    HelpBtn->setAutoDefault(false);
    CancelBtn->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    buttons->addWidget(HelpBtn);

    auto *main = new QVBoxLayout(this);
    main->addWidget(PageControl, 1);
    main->addLayout(buttons);

    // Every edit goes into the live options at once.
    connect(AutoStartBox, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_filling)
            m_options.AutoStart = on;
    });
    connect(MinimizeToTrayCB, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_filling)
            m_options.MinimizeToTray = on;
    });
    connect(AlertAfterCB, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_filling)
            m_options.AlertAfterBadAttempts = on;
    });
    const auto follow = [this](QLineEdit *edit, QString ProgramOptions::*field) {
        connect(edit, &QLineEdit::textChanged, this, [this, field](const QString &text) {
            if (!m_filling)
                m_options.*field = text;
        });
    };
    follow(SMTPEdit, &ProgramOptions::SmtpServer);
    follow(PortEdit, &ProgramOptions::SmtpPort);
    follow(MailEdit, &ProgramOptions::MailFrom);
    follow(MailToEdit, &ProgramOptions::MailTo);
    follow(MailSubjectEdit, &ProgramOptions::MailSubject);
    follow(UserEdit, &ProgramOptions::SmtpUser);
    follow(PasswordEdit, &ProgramOptions::SmtpPassword);
    connect(AcceptCertificateBox, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_filling)
            m_options.SmtpAcceptUntrusted = on;
    });
    connect(SecurityBox, &QComboBox::currentIndexChanged, this, &TProgramOptionForm::securityChanged);
    connect(AlertStyleBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!m_filling && index >= 0)
            m_options.AlertStyle = index;
    });
    connect(TestMailBtn, &QPushButton::clicked, this, &TProgramOptionForm::TestMailBtnClick);

    m_testMail = new SendMail(this);
    m_testMail->OnMailInfo = [this](SendMail *, SendMailInfo info, const QString &text) {
        switch (info) {
        case smTraceOut:
            TestMailLog->appendPlainText(QStringLiteral("> ") + text.trimmed());
            break;
        case smTraceIn:
            TestMailLog->appendPlainText(QStringLiteral("< ") + text);
            break;
        case smResolvingAddress:
            TestMailLog->appendPlainText(QStringLiteral("Resolving ") + text);
            break;
        case smServerConnected:
            TestMailLog->appendPlainText(QStringLiteral("Connected to ") + text);
            break;
        case smBadAddress:
            TestMailLog->appendPlainText(QStringLiteral("Recipient refused: ") + text);
            break;
        case smMessageAccepted:
            TestMailResult->setText(QStringLiteral("Message accepted"));
            break;
        default:
            break;
        }
        TestMailLog->moveCursor(QTextCursor::End);
        TestMailLog->ensureCursorVisible();
    };
    m_testMail->OnMailError = [this](SendMail *, SendMailError, const QString &text) {
        TestMailResult->setText(text);
        TestMailLog->appendPlainText(text);
    };
    m_testMail->OnDone = [this](SendMail *) { TestMailBtn->setEnabled(true); };

    // The password comes from the secret store when one answers.
    m_passwords = new PasswordStore(this);
    connect(m_passwords, &PasswordStore::availabilityKnown, this, &TProgramOptionForm::showPasswordNote);
    m_passwords->load([this](bool found, const QString &password) {
        if (found && m_options.SmtpPassword.isEmpty()) {
            m_options.SmtpPassword = password;
            if (isVisible() && PasswordEdit->text().isEmpty()) {
                m_filling = true;
                PasswordEdit->setText(password);
                m_filling = false;
                m_passwordAtShow = password;
            }
        }
    });
    follow(MetricsPortEdit, &ProgramOptions::MetricsPort);
    connect(ServeMetricsCB, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_filling)
            m_options.ServeMetrics = on;
    });
    connect(MessageMemo, &QPlainTextEdit::textChanged, this, [this] {
        if (m_filling)
            return;
        const QString text = MessageMemo->toPlainText();
        m_options.MessageTemplate = text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    });

    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(HelpBtn, &QPushButton::clicked, this, &TProgramOptionForm::HelpBtnClick);

    // A fixed-size window.
    setFixedSize(sizeHint().expandedTo(QSize(500, 520)));
}

int TProgramOptionForm::Execute()
{
    return exec();
}

void TProgramOptionForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TProgramOptionForm::FormShow()
{
    // Each opening starts on "Basic" with the options as they are now.
    PageControl->setCurrentIndex(0);
    showOptions();
}

void TProgramOptionForm::showOptions()
{
    m_filling = true;
    AutoStartBox->setChecked(m_options.AutoStart);
    MinimizeToTrayCB->setChecked(m_options.MinimizeToTray);
    AlertAfterCB->setChecked(m_options.AlertAfterBadAttempts);
    StartWithDesktopCB->setChecked(Autostart::isEnabled(autostartPath()));
    SMTPEdit->setText(m_options.SmtpServer);
    PortEdit->setText(m_options.SmtpPort);
    MailEdit->setText(m_options.MailFrom);
    MailToEdit->setText(m_options.MailTo);
    MailSubjectEdit->setText(m_options.MailSubject);
    ServeMetricsCB->setChecked(m_options.ServeMetrics);
    MetricsPortEdit->setText(m_options.MetricsPort);
    MessageMemo->setPlainText(m_options.MessageTemplate.join(QLatin1Char('\n')));
    SecurityBox->setCurrentIndex(m_options.SmtpSecurity);
    UserEdit->setText(m_options.SmtpUser);
    PasswordEdit->setText(m_options.SmtpPassword);
    AcceptCertificateBox->setChecked(m_options.SmtpAcceptUntrusted);
    AlertStyleBox->setCurrentIndex(m_options.AlertStyle);
    m_passwordAtShow = m_options.SmtpPassword;
    for (QLineEdit *e : {SMTPEdit, PortEdit, MailEdit, MailToEdit, MailSubjectEdit, UserEdit})
        e->setCursorPosition(0);
    m_filling = false;
    showPasswordNote();
}

void TProgramOptionForm::done(int result)
{
    QString problem;
    if (result == QDialog::Accepted) {
        if (!SaveProgramOptions(m_options, m_where, &problem) && m_prompt)
            m_prompt->message(QStringLiteral("Error"), problem);
        if (m_applyMetrics) {
            const QString metricsProblem = m_applyMetrics(m_options);
            setMetricsStatus(metricsProblem);
            if (!metricsProblem.isEmpty()) {
                PageControl->setCurrentWidget(BasicSheet);
                MetricsPortEdit->setFocus();
                return; // stays open: the user picks another port or switches it off
            }
        }
        // The password goes to the secret store only; without one it stays
        // in the options for this run.
        if (m_options.SmtpPassword != m_passwordAtShow)
            m_passwords->save(m_options.SmtpPassword);
        // The autostart entry follows its box; a folder that cannot be
        // written is said, and the entry stays as it was.
        const QString entry = autostartPath();
        const bool want = StartWithDesktopCB->isChecked();
        if (want != Autostart::isEnabled(entry)) {
            QString error;
            const bool done = want ? Autostart::enable(QCoreApplication::applicationFilePath(),
                                                       m_autostartProject ? m_autostartProject() : QString(), &error,
                                                       entry)
                                   : Autostart::disable(&error, entry);
            if (!done && m_prompt)
                m_prompt->message(QStringLiteral("Error"), error);
        }
    } else {
        // Throws the edits away; without email.dat the edited template stays.
        if (!CancelProgramOptions(m_options, m_where, &problem) && m_prompt)
            m_prompt->message(QStringLiteral("Error"), problem);
        m_options.SmtpPassword = m_passwordAtShow;
    }
    QDialog::done(result);
    releaseHelpForm();
    emit minimizeToTrayChanged(m_options.MinimizeToTray);
}

QString TProgramOptionForm::autostartPath() const
{
    return m_autostartPath.isEmpty() ? Autostart::entryPath() : m_autostartPath;
}

void TProgramOptionForm::setMetricsStatus(const QString &text)
{
    MetricsStatusLabel->setText(text);
    MetricsStatusLabel->setStyleSheet(text.isEmpty() ? QString() : QStringLiteral("color: #b00000;"));
}

void TProgramOptionForm::setHelpForm(THelpForm *help)
{
    releaseHelpForm();
    m_help = help;
}

THelpForm *TProgramOptionForm::helpForm()
{
    if (!m_help)
        m_help = new THelpForm(parentWidget() ? parentWidget() : this);
    return m_help;
}

void TProgramOptionForm::HelpBtnClick()
{
    THelpForm *help = helpForm();
    help->showOptionsHelp();
    // The dialog is modal: the viewer becomes its transient child for as
    // long as the dialog is open, so that it can be read, scrolled and used.
    QWindow *viewer = help->windowHandle();
    QWindow *dialog = windowHandle();
    if (isModal() && viewer && dialog && viewer->transientParent() != dialog) {
        if (!m_helpAttached) {
            m_helpTransientParent = viewer->transientParent();
            m_helpAttached = true;
        }
        viewer->setTransientParent(dialog);
        help->raise();
        help->activateWindow();
    }
}

void TProgramOptionForm::releaseHelpForm()
{
    if (!m_helpAttached)
        return;
    m_helpAttached = false;
    if (m_help && m_help->windowHandle())
        m_help->windowHandle()->setTransientParent(m_helpTransientParent);
    m_helpTransientParent = nullptr;
}

void TProgramOptionForm::securityChanged(int index)
{
    if (m_filling || index < 0)
        return;
    m_options.SmtpSecurity = index;
    // A port that one of the settings proposed follows the new setting; a
    // port of the user's own stays.
    const QString port = PortEdit->text().trimmed();
    static const QStringList proposed = {QStringLiteral("25"), QStringLiteral("587"), QStringLiteral("465")};
    if (port.isEmpty() || proposed.contains(port))
        PortEdit->setText(ProgramOptions::proposedPort(index));
}

void TProgramOptionForm::showPasswordNote()
{
    PasswordNote->setVisible(m_passwords && m_passwords->answered() && m_passwords->keptForRunOnly());
}

QStringList TProgramOptionForm::testMailText(const QStringList &templ, const QDateTime &when)
{
    AlertDispatcher::Placeholders v;
    v.hostName = QStringLiteral("test.example.com");
    v.status = QStringLiteral("test.example.com Test mail");
    v.dateTime = Formats::longDateTime(when);
    v.testMethod = QStringLiteral("Test mail");
    v.comment = QStringLiteral("Sent from the Program Option dialog");
    return AlertDispatcher::fillTemplate(templ, v);
}

void TProgramOptionForm::TestMailBtnClick()
{
    if (m_testMail->Busy())
        return;
    TestMailLog->clear();
    TestMailResult->setText(QStringLiteral("Sending..."));
    TestMailBtn->setEnabled(false);
    const QDateTime now = QDateTime::currentDateTime();
    AlertDispatcher::applyServerOptions(*m_testMail, m_options);
    // "E-mail To" may name several recipients, separated by ";" or ",".
    QStringList to = m_options.MailTo.split(QRegularExpression(QStringLiteral("[;,]")), Qt::SkipEmptyParts);
    for (QString &t : to)
        t = t.trimmed();
    to.removeAll(QString());
    m_testMail->setTO_Address(to.value(0));
    m_testMail->setListTo(to.mid(1));
    m_testMail->setSubject(m_options.MailSubject);
    m_testMail->setMailText(testMailText(m_options.MessageTemplate, now));
    m_testMail->setHeaders(AlertDispatcher::mailHeaders(now, m_options.MailFrom));
    m_testMail->setAction(TMailAction::Send_Mail);
}
