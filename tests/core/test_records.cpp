// Byte layouts of the observer records and the 8-bit text and number formats.
#include "core/ansitext.h"
#include "core/binaryio.h"
#include "core/formats.h"
#include "core/records.h"

#include <QtTest>

#include <limits>

class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    void kindTable_data();
    void kindTable();
    void observerRecordLayout();
    void parameterLayouts();
    void shortStringCutAndCodePage();
    void textRoundTrip_data();
    void textRoundTrip();
    void textReading_data();
    void textReading();
    void textCutCountsBytes_data();
    void textCutCountsBytes();
    void decodeHandWrittenRecord();
    void damagedLengthByteStaysInsideField();
    void rowCaptions_data();
    void rowCaptions();
    void generalNumber_data();
    void generalNumber();
    void dateFormats();
};

void TestRecords::kindTable_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("size");
    QTest::newRow("ping") << 1 << "Ping" << 268;
    QTest::newRow("tcp") << 2 << "TCP Connect" << 260;
    QTest::newRow("url") << 3 << "URL Request" << 516;
    QTest::newRow("disk") << 4 << "Disk Space" << 264;
    QTest::newRow("size") << 5 << "File/Folder Size" << 272;
    QTest::newRow("present") << 6 << "File/Folder Present" << 257;
    QTest::newRow("compare") << 7 << "Compare Files" << 516;
    QTest::newRow("database") << 8 << "Database Connect" << 256;
    QTest::newRow("zero") << 0 << "" << 0;
    QTest::newRow("nine") << 9 << "" << 0;
    QTest::newRow("negative") << -3 << "" << 0;
}

void TestRecords::kindTable()
{
    QFETCH(int, kind);
    QFETCH(QString, text);
    QFETCH(int, size);
    QCOMPARE(Records::kindColumnText(kind), text);
    QCOMPARE(Records::paramsSize(kind), size);
    ObserverRecord rec = Records::newRecord(kind);
    QCOMPARE(Records::encodeParams(rec).size(), size);
    QCOMPARE(Records::encodeObserverRecord(rec).size(), 1052);
}

void TestRecords::observerRecordLayout()
{
    ObserverRecord rec = Records::newRecord(okPing);
    rec.IntervalMin = 2;
    rec.IntervalSec = 30;
    rec.AlertAfter = 3;
    rec.Spare = -1;
    rec.Comment = QStringLiteral("note");
    rec.AlertProfileName = QStringLiteral("Mail me");
    rec.ScheduleName = QStringLiteral("Night");
    rec.Enabled = true;
    rec.LastResult = QStringLiteral("OK");
    const QByteArray b = Records::encodeObserverRecord(rec);
    QCOMPARE(b.size(), 1052);
    QCOMPARE(Bin::getInt32(b.constData(), 0), 1);
    QCOMPARE(Bin::getInt32(b.constData(), 4), 0);
    QCOMPARE(Bin::getInt32(b.constData(), 8), 2);
    QCOMPARE(Bin::getInt32(b.constData(), 12), 30);
    QCOMPARE(Bin::getInt32(b.constData(), 16), 3);
    QCOMPARE(b.mid(20, 4), QByteArray("\xff\xff\xff\xff", 4));
    QCOMPARE(b.mid(24, 5), QByteArray("\x04note", 5));
    QCOMPARE(b.mid(280, 8), QByteArray("\x07Mail me", 8));
    QCOMPARE(b.mid(536, 6), QByteArray("\x05Night", 6));
    QCOMPARE(b.at(792), '\x01');
    QCOMPARE(b.mid(793, 3), QByteArray("\x02OK", 3));
    QCOMPARE(b.mid(1049, 3), QByteArray(3, '\0'));
    // Little-endian: 258 is 02 01 00 00.
    rec.IntervalMin = 258;
    QCOMPARE(Records::encodeObserverRecord(rec).mid(8, 4), QByteArray("\x02\x01\x00\x00", 4));
}

void TestRecords::parameterLayouts()
{
    ObserverRecord ping = Records::newRecord(okPing);
    ping.params<PingParams>()->Target = QStringLiteral("host");
    QByteArray b = Records::encodeParams(ping);
    QCOMPARE(b.left(5), QByteArray("\x04host", 5));
    QCOMPARE(Bin::getInt32(b.constData(), 256), 56);
    QCOMPARE(Bin::getInt32(b.constData(), 260), 400);
    QCOMPARE(Bin::getInt32(b.constData(), 264), 64);

    ObserverRecord disk = Records::newRecord(okDiskSpace);
    disk.params<DiskSpaceParams>()->MinFreeMb = 1.5;
    b = Records::encodeParams(disk);
    QCOMPARE(b.mid(256, 8), QByteArray("\x00\x00\x00\x00\x00\x00\xf8\x3f", 8));

    ObserverRecord size = Records::newRecord(okFolderSize);
    size.params<FolderSizeParams>()->IncludeSubfolders = true;
    b = Records::encodeParams(size);
    QCOMPARE(Bin::getDouble(b.constData(), 256), 80.0);
    QCOMPARE(b.at(264), '\x01');
    QCOMPARE(b.mid(265, 7), QByteArray(7, '\0'));

    ObserverRecord present = Records::newRecord(okFilePresent);
    present.params<FilePresentParams>()->AlertIfExists = true;
    QCOMPARE(Records::encodeParams(present).at(256), '\x01');

    ObserverRecord cmp = Records::newRecord(okCompareFiles);
    cmp.params<CompareFilesParams>()->SecondFile = QStringLiteral("b");
    cmp.params<CompareFilesParams>()->AlertWhen = 4;
    b = Records::encodeParams(cmp);
    QCOMPARE(b.mid(256, 2), QByteArray("\x01" "b", 2));
    QCOMPARE(Bin::getInt32(b.constData(), 512), 4);

    ObserverRecord url = Records::newRecord(okUrl);
    url.params<UrlParams>()->ProxyServer = QStringLiteral("proxy");
    url.params<UrlParams>()->ProxyPort = 3128;
    b = Records::encodeParams(url);
    QCOMPARE(b.mid(256, 6), QByteArray("\x05proxy", 6));
    QCOMPARE(Bin::getInt32(b.constData(), 512), 3128);

    ObserverRecord tcp = Records::newRecord(okTcpConnect);
    QCOMPARE(Bin::getInt32(Records::encodeParams(tcp).constData(), 256), 56);

    // Each kind reads back what it wrote.
    for (ObserverRecord *r : {&ping, &disk, &size, &present, &cmp, &url, &tcp}) {
        ObserverRecord back = Records::decodeObserverRecord(Records::encodeObserverRecord(*r).constData());
        Records::decodeParams(Records::encodeParams(*r).constData(), back);
        QCOMPARE(Records::encodeParams(back), Records::encodeParams(*r));
    }
}

void TestRecords::shortStringCutAndCodePage()
{
    ObserverRecord rec = Records::newRecord(okDatabase);
    rec.Comment = QString(300, QLatin1Char('x'));
    const QByteArray b = Records::encodeObserverRecord(rec);
    QCOMPARE(quint8(b.at(24)), quint8(255));
    QCOMPARE(Records::decodeObserverRecord(b.constData()).Comment, QString(255, QLatin1Char('x')));

    // Windows-1252 where it holds the text: the euro sign is 0x80, umlauts
    // are Latin-1.
    QCOMPARE(Ansi::fromUnicode(QStringLiteral("\u20ac\u00fc\u00df")), QByteArray("\x80\xfc\xdf"));
    QCOMPARE(Ansi::toUnicode(QByteArray("\x80\x9f\xfc")), QStringLiteral("\u20ac\u0178\u00fc"));
}

void TestRecords::textRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("stored"); // bytes in the file
    QTest::newRow("ascii") << QStringLiteral("host.example") << QByteArray("host.example");
    QTest::newRow("latin-1 only") << QStringLiteral("M\u00fcnchen \u20ac") << QByteArray("M\xfcnchen \x80");
    QTest::newRow("cyrillic") << QStringLiteral("\u0414\u043e\u043a") << QByteArray("\xd0\x94\xd0\xbe\xd0\xba");
    QTest::newRow("cjk") << QStringLiteral("\u4e2d\u6587") << QByteArray("\xe4\xb8\xad\xe6\x96\x87");
    QTest::newRow("emoji") << QStringLiteral("a\U0001F600b") << QByteArray("a\xf0\x9f\x98\x80" "b");
    // One character outside the code page makes the whole text UTF-8.
    QTest::newRow("mix") << QStringLiteral("\u00e9\u03a9") << QByteArray("\xc3\xa9\xce\xa9");
    QTest::newRow("greek names differ") << QStringLiteral("\u03a3mega") << QByteArray("\xce\xa3mega");
}

void TestRecords::textRoundTrip()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, stored);
    QCOMPARE(Ansi::fromUnicode(text), stored);
    QCOMPARE(Ansi::toUnicode(stored), text);
    // Through a short string of a record as well.
    ObserverRecord rec = Records::newRecord(okFilePresent);
    rec.Comment = text;
    QCOMPARE(Records::decodeObserverRecord(Records::encodeObserverRecord(rec).constData()).Comment, text);
}

void TestRecords::textReading_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    // Valid UTF-8 whose characters all exist in Windows-1252 stays
    // Windows-1252: an old file that happens to hold "\xc3\xa9" reads as it
    // always did.
    QTest::newRow("utf-8 inside code page") << QByteArray("\xc3\xa9") << QStringLiteral("\u00c3\u00a9");
    QTest::newRow("invalid utf-8") << QByteArray("\xd0") << QStringLiteral("\u00d0");
    QTest::newRow("overlong") << QByteArray("\xc0\xaf") << QStringLiteral("\u00c0\u00af");
    QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << QStringLiteral("\u00ed\u00a0\u20ac");
    QTest::newRow("cut sequence") << QByteArray("\xce\xa9\xce") << QStringLiteral("\u00ce\u00a9\u00ce");
    QTest::newRow("empty") << QByteArray() << QString();
}

void TestRecords::textReading()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(Ansi::toUnicode(bytes), text);
}

void TestRecords::textCutCountsBytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("maxBytes");
    QTest::addColumn<QString>("kept");
    QTest::newRow("code page: one byte each") << QStringLiteral("\u00fc\u00fc\u00fc") << 2 << QStringLiteral("\u00fc\u00fc");
    QTest::newRow("inside a cyrillic letter") << QStringLiteral("\u0414\u0414\u0414") << 5 << QStringLiteral("\u0414\u0414");
    QTest::newRow("inside cjk") << QStringLiteral("ab\u4e2d") << 4 << QStringLiteral("ab");
    QTest::newRow("inside an emoji") << QStringLiteral("\U0001F600bc") << 3 << QString();
    QTest::newRow("emoji fits") << QStringLiteral("\U0001F600bc") << 5 << QStringLiteral("\U0001F600b");
    QTest::newRow("whole") << QStringLiteral("\u0414") << 255 << QStringLiteral("\u0414");
}

void TestRecords::textCutCountsBytes()
{
    QFETCH(QString, text);
    QFETCH(int, maxBytes);
    QFETCH(QString, kept);
    QCOMPARE(Ansi::cut(text, maxBytes), kept);
    QVERIFY(Ansi::fromUnicodeCut(text, maxBytes).size() <= maxBytes);
    // A short string of 255 bytes cut inside a multi-byte character keeps
    // whole characters only and reads back as written.
    ObserverRecord rec = Records::newRecord(okFilePresent);
    rec.Comment = QString(254, QLatin1Char('x')) + text;
    const QString back = Records::decodeObserverRecord(Records::encodeObserverRecord(rec).constData()).Comment;
    QCOMPARE(back, Ansi::cut(rec.Comment, 255));
}

void TestRecords::decodeHandWrittenRecord()
{
    // A TCP Connect object written from the layout table by hand.
    QByteArray rec(1052, '\0');
    rec[0] = 2;
    rec[8] = 1;
    rec[12] = 15;
    rec[16] = 3;
    rec.replace(24, 4, QByteArray("\x03" "abc", 4));
    rec.replace(280, 5, QByteArray("\x04" "Prof", 5));
    rec[792] = 7; // any non-zero byte is true
    rec.replace(793, 18, QByteArray("\x11TCP Connect Error", 18));
    QByteArray params(260, '\0');
    params.replace(0, 10, QByteArray("\x09" "127.0.0.1", 10));
    params[256] = char(0x50);
    params[258] = 1; // 65536 + 80

    ObserverRecord r = Records::decodeObserverRecord(rec.constData());
    Records::decodeParams(params.constData(), r);
    QCOMPARE(r.Kind, 2);
    QCOMPARE(r.IntervalMin, 1);
    QCOMPARE(r.IntervalSec, 15);
    QCOMPARE(r.AlertAfter, 3);
    QCOMPARE(r.Comment, QStringLiteral("abc"));
    QCOMPARE(r.AlertProfileName, QStringLiteral("Prof"));
    QVERIFY(r.Enabled);
    QCOMPARE(r.LastResult, QStringLiteral("TCP Connect Error"));
    QCOMPARE(r.params<TcpConnectParams>()->Target, QStringLiteral("127.0.0.1"));
    QCOMPARE(r.params<TcpConnectParams>()->Port, 65536 + 80);
    QCOMPARE(r.intervalMs(), 75000);
    QCOMPARE(Records::intervalText(r), QStringLiteral("1:15"));
    // Written back, the flag is a plain 1 and AlertAfter is carried.
    const QByteArray again = Records::encodeObserverRecord(r);
    QCOMPARE(again.at(792), '\x01');
    QCOMPARE(Bin::getInt32(again.constData(), 16), 3);
}

void TestRecords::damagedLengthByteStaysInsideField()
{
    // The 100-character fields of other stores use the same reader: a length
    // byte larger than the field must not read the neighbouring bytes.
    QByteArray field(101 + 4, 'y');
    field[0] = char(200);
    QCOMPARE(Bin::getShortString(field.constData(), 0, 100).size(), 100);
}

void TestRecords::rowCaptions_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("caption");
    QTest::newRow("disk letter") << 4 << "C" << "C:\\";
    QTest::newRow("disk mount point") << 4 << "/home" << "/home";
    QTest::newRow("disk empty") << 4 << "" << "";
    QTest::newRow("ping") << 1 << "example.test" << "example.test";
    QTest::newRow("folder") << 5 << "/var/log" << "/var/log";
}

void TestRecords::rowCaptions()
{
    QFETCH(int, kind);
    QFETCH(QString, target);
    QFETCH(QString, caption);
    ObserverRecord rec = Records::newRecord(kind);
    rec.setTarget(target);
    QCOMPARE(Records::rowCaption(rec), caption);
    ObserverRecord unknown;
    unknown.Kind = 12;
    QCOMPARE(Records::rowCaption(unknown), QString());
}

void TestRecords::generalNumber_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole") << 80.0 << "80";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("fraction") << 0.5 << "0.5";
    QTest::newRow("third") << 1.0 / 3 << "0.333333333333333";
    QTest::newRow("large whole") << 123456789012.0 << "123456789012";
    QTest::newRow("negative") << -2.25 << "-2.25";
    // Beyond a 64-bit integer: the exponent form stays, and no conversion
    // to an integer takes place (the sanitizer build catches one).
    QTest::newRow("1e21") << 1e21 << "1e+21";
    QTest::newRow("-1e21") << -1e21 << "-1e+21";
    QTest::newRow("1e300") << 1e300 << "1e+300";
    QTest::newRow("whole 1e14") << 1e14 << "100000000000000";
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << "inf";
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << "nan";
}

void TestRecords::generalNumber()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(Formats::generalNumber(value, QLocale::c()), text);
    // The locale's decimal separator is used.
    if (text.contains(QLatin1Char('.')))
        QCOMPARE(Formats::generalNumber(value, QLocale(QLocale::German)), QString(text).replace('.', ','));
}

void TestRecords::dateFormats()
{
    const QDateTime when(QDate(2005, 3, 5), QTime(14, 3, 7));
    QCOMPARE(Formats::eventTime(when, QLocale::c()), QStringLiteral("05.03.2005 14:03:07"));
    // The dots are fixed whatever the locale; the time separator is the locale's.
    QCOMPARE(Formats::eventTime(when, QLocale(QLocale::English, QLocale::UnitedStates)).left(11),
             QStringLiteral("05.03.2005 "));
    QCOMPARE(Formats::timeSeparator(QLocale::c()), QStringLiteral(":"));
    const QLocale de(QLocale::German);
    QCOMPARE(Formats::longDateTime(when, de), de.toString(when.date(), QLocale::LongFormat) + " 14:03:07");
    QCOMPARE(Formats::eventTime(QDateTime(QDate(2005, 12, 31), QTime(0, 0, 0)), QLocale::c()),
             QStringLiteral("31.12.2005 00:00:00"));
}

QTEST_GUILESS_MAIN(TestRecords)
#include "test_records.moc"
