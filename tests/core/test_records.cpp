#include "core/records.h"
#include <QtTest>
class TestRecords : public QObject { Q_OBJECT private slots: void sizes() { QCOMPARE(Records::encodeObserverRecord(Records::newRecord(okPing)).size(), 1052); } };
QTEST_GUILESS_MAIN(TestRecords)
#include "test_records.moc"
