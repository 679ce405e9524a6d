// The real desktop calls of the alert actions: boxes that never wait, one
// per key, their text plain; a notification that falls back to the box;
// programs named without a slash found in PATH and started in their folder.

#include "ui/desktop.h"
#include "ui/qtprompt.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QAbstractButton>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <QtTest>

class TestDesktop : public QObject
{
    Q_OBJECT

private slots:
    void boxesNeverWaitAndReplaceByKey();
    void notificationWithoutAServiceShowsTheBox();
    void programsByNameFromPath();
    void promptBoxesShowPlainText();
};

void TestDesktop::promptBoxesShowPlainText()
{
    // Every message box and question shows its text as given.
    QtPrompt prompt;
    const QString rich = QStringLiteral("Cannot open <b>x</b>.snv");
    const std::function<void()> asks[] = {
        [&] { prompt.message(QStringLiteral("Error"), rich); },
        [&] { prompt.confirm(QStringLiteral("Confirm"), rich); },
        [&] { prompt.okCancel(QStringLiteral("Confirm"), rich); },
    };
    for (const auto &ask : asks) {
        Qt::TextFormat format = Qt::RichText;
        QString text;
        QTimer::singleShot(0, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                format = box->textFormat();
                text = box->text();
                box->reject();
                box->done(QMessageBox::Cancel);
            }
        });
        ask();
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(text, rich);
    }
}

void TestDesktop::boxesNeverWaitAndReplaceByKey()
{
    QWidget owner;
    owner.show();
    SystemDesktop desktop;
    desktop.setParentWidget(&owner);
    const QString rich = QStringLiteral("http://h/?q=<b>x</b>");
    QElapsedTimer t;
    t.start();
    desktop.showMessage(QStringLiteral("Dead"), rich, QStringLiteral("1/Dead"));
    desktop.showMessage(QStringLiteral("Dead"), QStringLiteral("b down"), QStringLiteral("2/Dead"));
    desktop.showMessage(QStringLiteral("Dead"), QStringLiteral("a still down <i>"), QStringLiteral("1/Dead"));
    desktop.showMessage(QStringLiteral("Alive"), QStringLiteral("a up"), QStringLiteral("1/Alive"));
    QVERIFY(t.elapsed() < 5000); // returned without anyone clicking
    QVERIFY(!QApplication::activeModalWidget());

    QList<QMessageBox *> boxes = desktop.openBoxes();
    QCOMPARE(boxes.size(), 3);
    QStringList seen;
    for (QMessageBox *b : boxes) {
        QVERIFY(b->isVisible());
        QCOMPARE(b->windowModality(), Qt::NonModal);
        QCOMPARE(b->textFormat(), Qt::PlainText);
        QCOMPARE(b->buttons().size(), 1);
        QCOMPARE(b->standardButtons(), QMessageBox::Ok);
        seen << b->windowTitle() + "|" + b->text();
    }
    seen.sort();
    QCOMPARE(seen, QStringList({"Alive|a up", "Dead|a still down <i>", "Dead|b down"}));
    // The label shows the characters as typed, markup included.
    bool shownAsTyped = false;
    for (QMessageBox *b : boxes)
        for (QLabel *l : b->findChildren<QLabel *>())
            if (l->text() == QLatin1String("a still down <i>") && l->textFormat() == Qt::PlainText)
                shownAsTyped = true;
    QVERIFY(shownAsTyped);

    // OK closes one box; the same key then opens a new one.
    QMessageBox *first = boxes.first();
    const QString title = first->windowTitle();
    QTest::mouseClick(first->button(QMessageBox::Ok), Qt::LeftButton);
    QTRY_COMPARE(desktop.openBoxes().size(), 2);
    desktop.showMessage(QStringLiteral("Dead"), rich);
    desktop.showMessage(QStringLiteral("Dead"), rich);
    QCOMPARE(desktop.openBoxes().size(), 4); // no key: a box each
    desktop.closeBoxes();
    QTRY_COMPARE(desktop.openBoxes().size(), 0);
    Q_UNUSED(title)
}

void TestDesktop::notificationWithoutAServiceShowsTheBox()
{
    // The tests have no session bus: the notification cannot be shown.
    SystemDesktop desktop;
    desktop.showMessage(QStringLiteral("Dead"), QStringLiteral("db down"), QStringLiteral("3/Dead"),
                        AlertStyle::Notification);
    QTRY_COMPARE_WITH_TIMEOUT(desktop.openBoxes().size(), 1, 10000);
    QCOMPARE(desktop.openBoxes().first()->text(), QStringLiteral("db down"));
    // Both: the box at once, and no second box when the notification fails.
    desktop.showMessage(QStringLiteral("Alive"), QStringLiteral("db up"), QStringLiteral("3/Alive"), AlertStyle::Both);
    QCOMPARE(desktop.openBoxes().size(), 2);
    QTest::qWait(500);
    QCOMPARE(desktop.openBoxes().size(), 2);
    desktop.closeBoxes();
}

void TestDesktop::programsByNameFromPath()
{
    QTemporaryDir bin;
    QTemporaryDir elsewhere;
    const QString marker = elsewhere.filePath(QStringLiteral("ran"));
    const QString script = bin.filePath(QStringLiteral("sentrova-alert-probe"));
    {
        QFile f(script);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\npwd > '" + QFile::encodeName(marker) + "'\necho \"$#\" >> '" + QFile::encodeName(marker) +
                "'\n");
    }
    QFile::setPermissions(script, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile plain(bin.filePath(QStringLiteral("not-a-program")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();

    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ":" + oldPath);
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(elsewhere.path());

    struct Case {
        QString item;
        QString program;
    };
    const Case cases[] = {
        {QStringLiteral("sentrova-alert-probe"), script},        // a bare name: looked up in PATH
        {script, script},                                        // a path as it stands
        {QStringLiteral("./sentrova-alert-probe"), QString()},   // a path with a slash is not searched for
        {QStringLiteral("not-a-program"), QString()},            // not executable
        {QStringLiteral("no-such-program-anywhere"), QString()}, // nowhere
    };
    for (const Case &c : cases)
        QCOMPARE(SystemDesktop::programPath(c.item), c.program);

    SystemDesktop desktop;
    desktop.shellOpen(QStringLiteral("sentrova-alert-probe"));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 10000);
    QTest::qWait(200);
    QFile ran(marker);
    QVERIFY(ran.open(QIODevice::ReadOnly));
    // Started in the program's own folder, with no arguments.
    QCOMPARE(ran.readAll(), QFile::encodeName(QDir(bin.path()).canonicalPath()) + "\n0\n");

    QDir::setCurrent(cwd);
    qputenv("PATH", oldPath);
}

QTEST_MAIN(TestDesktop)
#include "test_desktop.moc"
