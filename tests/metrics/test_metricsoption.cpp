// The metrics option in the real main window and options dialog: off by
// default (nothing listens), switched on in the dialog it serves the main
// list's objects, and a port another program holds gives a clear message in
// the dialog, which stays open, while the program goes on without it.
#include "metrics/metricsserver.h"
#include "settings/programoptionform.h"
#include "ui/mainform.h"

#include "../support/recordingdesktop.h"
#include "../support/scriptedprompt.h"
#include "../support/whenmodal.h"
#include "metricsclient.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestMetricsOption : public QObject
{
    Q_OBJECT
private slots:
    void offByDefaultThenOnThenPortTaken();
    void takenAtStartIsShownInTheDialog();
};

namespace
{

struct Fixture {
    QTemporaryDir dir;
    ScriptedPrompt prompt;
    RecordingDesktop desktop;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<TMainForm> form;

    Fixture()
    {
        settings = std::make_unique<QSettings>(dir.filePath(QStringLiteral("options.conf")), QSettings::IniFormat);
        settings->setValue(QStringLiteral("Option/WinState"), QStringLiteral("0"));
    }
    void start()
    {
        settings->sync();
        form = std::make_unique<TMainForm>(&prompt, &desktop);
        OptionsLocation where;
        where.settings = settings.get();
        where.templateFile = dir.filePath(QStringLiteral("email.dat"));
        form->setOptionsLocation(where);
        form->show();
        form->createWindows();
    }
};

quint16 takenPort(QTcpServer &holder)
{
    return holder.listen(QHostAddress::LocalHost, 0) ? holder.serverPort() : 0;
}

} // namespace

void TestMetricsOption::offByDefaultThenOnThenPortTaken()
{
    Fixture f;
    f.start();
    TMainForm &w = *f.form;
    QVERIFY(w.metricsServer());
    QVERIFY(!w.metricsServer()->isListening());
    TProgramOptionForm *d = w.ProgramOptionForm;
    QVERIFY(!d->ServeMetricsCB->isChecked());

    // Switched on with port 0 (any free one): served after OK.
    whenModal(d, [&] {
        QVERIFY(!d->ServeMetricsCB->isChecked());
        QCOMPARE(d->MetricsPortEdit->text(), QStringLiteral("9464"));
        d->ServeMetricsCB->setChecked(true);
        d->MetricsPortEdit->setText(QStringLiteral("0"));
        QTest::mouseClick(d->OKBtn, Qt::LeftButton);
        QVERIFY(!d->isVisible());
    });
    w.ProgramOptionAction->trigger();
    QVERIFY(w.metricsServer()->isListening());
    QCOMPARE(w.metricsServer()->serverAddress().host, QHostAddress(QHostAddress::LocalHost));
    f.settings->sync();
    QCOMPARE(f.settings->value(QStringLiteral("Option/Serve Metrics")).toString(), QStringLiteral("1"));
    const HttpReply r = scrape(w.metricsServer()->serverAddress().port);
    QCOMPARE(r.statusLine(), QByteArray("HTTP/1.1 200 OK"));
    QVERIFY(r.body().contains("sentrova_observer_started 0\n"));

    // A port another program holds: the dialog says so and stays open; the
    // program goes on without the endpoint; switching it off closes the dialog.
    QTcpServer holder;
    const quint16 port = takenPort(holder);
    QVERIFY(port);
    QString shown;
    bool stayedOpen = false;
    whenModal(d, [&] {
        d->MetricsPortEdit->setText(QString::number(port));
        QTest::mouseClick(d->OKBtn, Qt::LeftButton);
        stayedOpen = d->isVisible();
        shown = d->MetricsStatusLabel->text();
        QVERIFY(d->MetricsStatusLabel->isVisibleTo(d));
        d->ServeMetricsCB->setChecked(false);
        QTest::mouseClick(d->OKBtn, Qt::LeftButton);
        QVERIFY(!d->isVisible());
    });
    w.ProgramOptionAction->trigger();
    QVERIFY(stayedOpen);
    QCOMPARE(shown, QStringLiteral("The metrics port 127.0.0.1:%1 is already in use by another program. Metrics are "
                                   "not served; choose another port.")
                        .arg(port));
    QVERIFY(!w.metricsServer()->isListening());
    QVERIFY(d->MetricsStatusLabel->text().isEmpty());
    QVERIFY(w.isVisible());
}

void TestMetricsOption::takenAtStartIsShownInTheDialog()
{
    QTcpServer holder;
    const quint16 port = takenPort(holder);
    QVERIFY(port);
    Fixture f;
    f.settings->setValue(QStringLiteral("Option/Serve Metrics"), QStringLiteral("1"));
    f.settings->setValue(QStringLiteral("Option/Metrics Port"), QString::number(port));
    f.start();
    TMainForm &w = *f.form;
    QVERIFY(!w.metricsServer()->isListening());
    QVERIFY(w.isVisible());
    QString shown;
    whenModal(w.ProgramOptionForm, [&] { shown = w.ProgramOptionForm->MetricsStatusLabel->text(); });
    w.ProgramOptionAction->trigger();
    QVERIFY2(shown.contains(QStringLiteral("127.0.0.1:%1 is already in use").arg(port)), qPrintable(shown));
}

QTEST_MAIN(TestMetricsOption)
#include "test_metricsoption.moc"
