#include "programoptionform.h"

#include "core/prompt.h"
#include "widgets/helpform.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
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
    mail->addLayout(mailForm);
    mail->addStretch();
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
    setFixedSize(sizeHint().expandedTo(QSize(460, 380)));
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
    SMTPEdit->setText(m_options.SmtpServer);
    PortEdit->setText(m_options.SmtpPort);
    MailEdit->setText(m_options.MailFrom);
    MailToEdit->setText(m_options.MailTo);
    MailSubjectEdit->setText(m_options.MailSubject);
    ServeMetricsCB->setChecked(m_options.ServeMetrics);
    MetricsPortEdit->setText(m_options.MetricsPort);
    MessageMemo->setPlainText(m_options.MessageTemplate.join(QLatin1Char('\n')));
    for (QLineEdit *e : {SMTPEdit, PortEdit, MailEdit, MailToEdit, MailSubjectEdit})
        e->setCursorPosition(0);
    m_filling = false;
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
    } else {
        // Throws the edits away; without email.dat the edited template stays.
        if (!CancelProgramOptions(m_options, m_where, &problem) && m_prompt)
            m_prompt->message(QStringLiteral("Error"), problem);
    }
    QDialog::done(result);
    releaseHelpForm();
    emit minimizeToTrayChanged(m_options.MinimizeToTray);
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
