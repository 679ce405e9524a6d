// A real Prometheus server (Debian's prometheus package) started on loopback
// with a scrape interval of one second scrapes the metrics endpoint; the
// values it stored, read back through its HTTP API, match the objects'
// states, also after they change.
#include "core/engine.h"
#include "core/records.h"
#include "metrics/metricsserver.h"

#include "metricsclient.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <unistd.h>

namespace
{

// A free port of this test's range (27000-27999) for Prometheus itself.
quint16 freePortInRange()
{
    for (int i = 0; i < 1000; ++i) {
        const quint16 port = quint16(27000 + (getpid() + i * 7) % 1000);
        QTcpServer probe;
        if (probe.listen(QHostAddress::LocalHost, port))
            return port;
    }
    return 0;
}

Outcome outcome(bool pass, qint64 responseMs)
{
    Outcome o;
    o.pass = pass;
    o.failMarker = QStringLiteral("TCP Connect Error");
    o.failStatus = QStringLiteral("TCP Connect Error");
    o.responseMs = responseMs;
    return o;
}

// "host|method" -> value of every series of the metric, as Prometheus holds them now.
QMap<QString, double> query(quint16 port, const QString &metric)
{
    const QByteArray request = "GET /api/v1/query?query=" + QUrl::toPercentEncoding(metric) +
                               " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    const QJsonObject answer = QJsonDocument::fromJson(fetch(port, request).body()).object();
    QMap<QString, double> values;
    for (const QJsonValue &v : answer.value(QStringLiteral("data")).toObject().value(QStringLiteral("result")).toArray()) {
        const QJsonObject labels = v.toObject().value(QStringLiteral("metric")).toObject();
        const QString key = labels.value(QStringLiteral("host")).toString() + QLatin1Char('|') +
                            labels.value(QStringLiteral("method")).toString();
        values[key] = v.toObject().value(QStringLiteral("value")).toArray().at(1).toString().toDouble();
    }
    return values;
}

QString key(const ObserverObject *o)
{
    return Records::maskPassword(o->caption) + QLatin1Char('|') + o->method;
}

} // namespace

class TestPrometheus : public QObject
{
    Q_OBJECT
private slots:
    void scrapedValuesMatchTheObjects();
};

void TestPrometheus::scrapedValuesMatchTheObjects()
{
    const QString prometheus = QStandardPaths::findExecutable(QStringLiteral("prometheus"));
    if (prometheus.isEmpty()) {
        if (qEnvironmentVariable("CI") == QLatin1String("true"))
            QFAIL("prometheus is missing: install the Debian package prometheus");
        QSKIP("prometheus is missing: install the Debian package prometheus");
    }

    MonitorEngine engine;
    const QStringList hosts = {QStringLiteral("db.test"), QStringLiteral("web \"front\""), QStringLiteral("c:\\share"),
                               QStringLiteral("Provider=QPSQL;Host=db;Password=hunter2")};
    for (int i = 0; i < hosts.size(); ++i) {
        ObserverRecord r = Records::newRecord(i == 3 ? okDatabase : okTcpConnect);
        r.setTarget(hosts.at(i));
        r.IntervalMin = 0;
        r.IntervalSec = 0;
        engine.AppendObject(r, Records::rowCaption(r));
    }
    engine.ReportOutcome(0, outcome(true, 250));
    engine.ReportOutcome(1, outcome(false, -1));
    engine.StartButtonClick(true);

    MetricsServer server(&engine);
    QString error;
    QVERIFY2(server.listen(MetricsAddress{QHostAddress(QHostAddress::LocalHost), 0}, &error), qPrintable(error));

    QTemporaryDir dir;
    const quint16 webPort = freePortInRange();
    QVERIFY(webPort);
    QFile config(dir.filePath(QStringLiteral("prometheus.yml")));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                 "scrape_configs:\n  - job_name: sentrova\n    static_configs:\n      - targets: ['127.0.0.1:" +
                 QByteArray::number(server.serverAddress().port) + "']\n");
    config.close();
    QProcess proc;
    proc.setProcessChannelMode(QProcess::MergedChannels);
    proc.start(prometheus, {QStringLiteral("--config.file=") + config.fileName(),
                            QStringLiteral("--storage.tsdb.path=") + dir.filePath(QStringLiteral("data")),
                            QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(webPort),
                            QStringLiteral("--log.level=warn")});
    QVERIFY(proc.waitForStarted());
    const auto stop = qScopeGuard([&] {
        proc.terminate();
        if (!proc.waitForFinished(10000))
            proc.kill();
        proc.waitForFinished(5000);
    });

    // Every object's state, as Prometheus must end up holding it.
    const auto matches = [&] {
        const QMap<QString, double> up = query(webPort, QStringLiteral("sentrova_up"));
        const QMap<QString, double> seen = query(webPort, QStringLiteral("sentrova_last_test_timestamp_seconds"));
        const QMap<QString, double> response = query(webPort, QStringLiteral("sentrova_response_seconds"));
        const QMap<QString, double> started = query(webPort, QStringLiteral("sentrova_observer_started"));
        if (up.size() != engine.count() || started.value(QStringLiteral("|")) != (engine.isStarted() ? 1 : 0))
            return false;
        int tested = 0, timed = 0;
        for (int i = 0; i < engine.count(); ++i) {
            const ObserverObject *o = engine.object(i);
            if (!up.contains(key(o)) || up.value(key(o)) != (o->record.LastResult == QLatin1String("OK") ? 1 : 0))
                return false;
            if (o->lastTestTime.isValid()) {
                ++tested;
                if (qAbs(seen.value(key(o)) - o->lastTestTime.toMSecsSinceEpoch() / 1000.0) > 0.001)
                    return false;
            }
            if (o->responseMs >= 0) {
                ++timed;
                if (qAbs(response.value(key(o)) - o->responseMs / 1000.0) > 1e-9)
                    return false;
            }
        }
        return seen.size() == tested && response.size() == timed;
    };
    QVERIFY2(spinUntil(matches, 30000), proc.readAll().constData());
    QVERIFY(!query(webPort, QStringLiteral("{__name__=~\"sentrova_.*\"}")).keys().join(QLatin1Char(' ')).contains(QLatin1String("hunter2")));

    // Changes reach Prometheus within a few scrapes.
    engine.ReportOutcome(0, outcome(false, -1));
    engine.ReportOutcome(1, outcome(true, 40));
    engine.ReportOutcome(3, outcome(true, 7));
    engine.StartButtonClick(false);
    QVERIFY2(spinUntil(matches, 15000), proc.readAll().constData());
}

QTEST_GUILESS_MAIN(TestPrometheus)
#include "test_prometheus.moc"
