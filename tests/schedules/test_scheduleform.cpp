// The schedule editor driven through its real widgets: clicks on the name
// list and the buttons, mouse drags and keys on the grid, a scripted prompt
// for the input box and the message, and the grid's paint read back from a
// grab of the widget.
#include "schedules/scheduleform.h"

#include "../support/runmodal.h"
#include "../support/scriptedprompt.h"
#include "schedulecells.h"

#include <QFile>
#include <QImage>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace
{

// Opens the editor and runs interact inside its modal loop.
int runModal(TScheduleForm &form, const std::function<void()> &interact)
{
    return ::runModal(&form, interact, [&form] { return form.showEditor(); });
}

void clickLine(QListWidget *list, int row)
{
    const QRect r = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
}

QPoint centre(int row, int column)
{
    return TScheduleGrid::cellRect(row, column).center();
}

// A pixel of a cell that no text covers: titles are drawn from the top-left
// corner, so the bottom-right corner shows the fill.
QPoint fillPoint(int row, int column)
{
    return TScheduleGrid::cellRect(row, column).bottomRight();
}

// Press on one cell, drag to the other, release.
void dragCells(QWidget *grid, GridCell from, GridCell to)
{
    QTest::mousePress(grid, Qt::LeftButton, {}, centre(from.row, from.column));
    QTest::mouseMove(grid, centre((from.row + to.row) / 2, (from.column + to.column) / 2));
    QTest::mouseMove(grid, centre(to.row, to.column));
    QTest::mouseRelease(grid, Qt::LeftButton, {}, centre(to.row, to.column));
}

QStringList lines(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

} // namespace

class TestScheduleForm : public QObject
{
    Q_OBJECT

private slots:
    void newSchedule_data();
    void newSchedule();
    void delSchedule();
    void cellButtonsOverSelection_data();
    void cellButtonsOverSelection();
    void cellButtonsNeedSelectedSchedule();
    void paintedColours();
    void windowAndTitles();
    void loadSaveAndPicker();
    void namesFollowAListChangedOutside();
    void opensCentredOverItsOwner();
};

void TestScheduleForm::newSchedule_data()
{
    QTest::addColumn<QStringList>("inputs"); // one per click on New; none left = cancelled
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("refusals");

    QTest::newRow("Night then NIGHT") << QStringList{"Night", "NIGHT"} << 2 << QStringList{"Day", "Night"} << 1;
    QTest::newRow("cancelled") << QStringList{} << 1 << QStringList{"Day"} << 0;
    QTest::newRow("empty name accepted") << QStringList{""} << 1 << QStringList{"Day", ""} << 0;
    QTest::newRow("name cut to 255") << QStringList{QString(300, u'n')} << 1 << QStringList{"Day", QString(255, u'n')}
                                     << 0;
    QTest::newRow("existing name in other case") << QStringList{"dAY"} << 1 << QStringList{"Day"} << 1;
}

void TestScheduleForm::newSchedule()
{
    QFETCH(QStringList, inputs);
    QFETCH(int, clicks);
    QFETCH(QStringList, names);
    QFETCH(int, refusals);

    ScriptedPrompt prompt;
    prompt.inputs.append(inputs);
    ScheduleList list;
    list.New(QStringLiteral("Day"));
    TScheduleForm form(list, &prompt);
    form.selectSchedule(0);

    runModal(form, [&] {
        for (int i = 0; i < clicks; ++i)
            QTest::mouseClick(form.NewScheduleButton, Qt::LeftButton);
        QTest::mouseClick(form.CancelButton, Qt::LeftButton);
    });

    // Cancel keeps what New created.
    QCOMPARE(list.names(), names);
    QCOMPARE(lines(form.ScheduleListBox), names);
    int asked = 0, refused = 0;
    for (const ScriptedPrompt::Shown &s : prompt.shown) {
        if (s.kind == QLatin1String("input")) {
            ++asked;
            QCOMPARE(s.title, QStringLiteral("New Schedule"));
            QCOMPARE(s.text, QStringLiteral("Input new Schedule name"));
        } else {
            ++refused;
            QCOMPARE(s.kind, QStringLiteral("message"));
            QCOMPARE(s.title, QStringLiteral("Error"));
            QCOMPARE(s.text, QStringLiteral("Schedule with this name already exists"));
        }
    }
    QCOMPARE(asked, clicks);
    QCOMPARE(refused, refusals);
    // The selection does not move to a new schedule, which starts empty.
    QCOMPARE(form.selectedSchedule(), 0);
    for (int i = 1; i < list.count(); ++i)
        QCOMPARE(setCells(*list.profile(i)), 0);
}

void TestScheduleForm::delSchedule()
{
    ScriptedPrompt prompt;
    ScheduleList list;
    for (const char *n : {"A", "B", "C"})
        list.New(QString::fromLatin1(n));
    list.CheckSelected(2, {1, 1}, {1, 1});
    TScheduleForm form(list, &prompt);

    runModal(form, [&] {
        // Nothing selected: Del does nothing.
        QTest::mouseClick(form.DelScheduleButton, Qt::LeftButton);
        QCOMPARE(list.count(), 3);

        clickLine(form.ScheduleListBox, 1);
        QVERIFY(form.CheckBitBtn->isEnabled());
        QTest::mouseClick(form.DelScheduleButton, Qt::LeftButton);
        QCOMPARE(list.names(), (QStringList{"A", "C"}));
        QCOMPARE(lines(form.ScheduleListBox), (QStringList{"A", "C"}));
        QCOMPARE(form.selectedSchedule(), -1);
        QVERIFY(!form.CheckBitBtn->isEnabled());
        QVERIFY(!form.UncheckBitBtn->isEnabled());
        QVERIFY(!form.InvertBtn->isEnabled());
        QTest::mouseClick(form.OKButton, Qt::LeftButton);
    });
    QVERIFY(prompt.shown.isEmpty()); // removed without a question
    // The schedule that moved up kept its cells.
    QCOMPARE(list.profile(1)->Grid[1][1], quint8(1));
}

void TestScheduleForm::cellButtonsOverSelection_data()
{
    QTest::addColumn<bool>("keyboard");
    QTest::newRow("mouse drag") << false;
    QTest::newRow("keyboard") << true;
}

// "Check selected" over Monday 1 to Friday 31 sets 155 cells, "Invert
// selected" clears them again; "Uncheck selected" clears only its rectangle.
void TestScheduleForm::cellButtonsOverSelection()
{
    QFETCH(bool, keyboard);

    ScriptedPrompt prompt;
    ScheduleList list;
    list.New(QStringLiteral("Other"));
    list.New(QStringLiteral("Week"));
    TScheduleForm form(list, &prompt);
    const ScheduleProfile &week = *list.profile(1);

    runModal(form, [&] {
        clickLine(form.ScheduleListBox, 1);
        if (keyboard) {
            QTest::mouseClick(form.ScheduleGrid, Qt::LeftButton, {}, centre(3, 7));
            QTest::keyClick(form.ScheduleGrid, Qt::Key_Home, Qt::ControlModifier);
            QTest::keyClick(form.ScheduleGrid, Qt::Key_End, Qt::ShiftModifier);
            // Down past Sunday stays on Sunday; two steps up is Friday.
            for (int i = 0; i < 8; ++i)
                QTest::keyClick(form.ScheduleGrid, Qt::Key_Down, Qt::ShiftModifier);
            QTest::keyClick(form.ScheduleGrid, Qt::Key_Up, Qt::ShiftModifier);
            QTest::keyClick(form.ScheduleGrid, Qt::Key_Up, Qt::ShiftModifier);
        } else {
            // The drag ends past the grid's right edge: the selection stops
            // at column 31.
            QTest::mousePress(form.ScheduleGrid, Qt::LeftButton, {}, centre(1, 1));
            QTest::mouseMove(form.ScheduleGrid, centre(3, 12));
            QTest::mouseMove(form.ScheduleGrid, centre(5, 31) + QPoint(40, 0));
            QTest::mouseRelease(form.ScheduleGrid, Qt::LeftButton, {}, centre(5, 31) + QPoint(40, 0));
        }
        QCOMPARE(form.ScheduleGrid->anchor().row, 1);
        QCOMPARE(form.ScheduleGrid->anchor().column, 1);
        QCOMPARE(form.ScheduleGrid->current().row, 5);
        QCOMPARE(form.ScheduleGrid->current().column, 31);

        QTest::mouseClick(form.CheckBitBtn, Qt::LeftButton);
        QCOMPARE(setCells(week), 155);
        for (int r = 0; r < ScheduleProfile::Rows; ++r)
            for (int c = 0; c < ScheduleProfile::Columns; ++c)
                QCOMPARE(week.Grid[r][c], quint8(r >= 1 && r <= 5 && c >= 1 && c <= 31));
        QCOMPARE(setCells(*list.profile(0)), 0);

        QTest::mouseClick(form.InvertBtn, Qt::LeftButton);
        QCOMPARE(setCells(week), 0);

        // Invert a larger rectangle, then uncheck a smaller one inside it.
        dragCells(form.ScheduleGrid, {7, 31}, {4, 20});
        QTest::mouseClick(form.InvertBtn, Qt::LeftButton);
        QCOMPARE(setCells(week), 4 * 12);
        dragCells(form.ScheduleGrid, {5, 21}, {6, 22});
        QTest::mouseClick(form.UncheckBitBtn, Qt::LeftButton);
        QCOMPARE(setCells(week), 4 * 12 - 4);
        QCOMPARE(week.Grid[5][21], quint8(0));
        QCOMPARE(week.Grid[4][21], quint8(1));
    });
}

void TestScheduleForm::cellButtonsNeedSelectedSchedule()
{
    ScriptedPrompt prompt;
    ScheduleList list;
    list.New(QStringLiteral("Only"));
    TScheduleForm form(list, &prompt);

    runModal(form, [&] {
        QVERIFY(!form.CheckBitBtn->isEnabled());
        QVERIFY(!form.UncheckBitBtn->isEnabled());
        QVERIFY(!form.InvertBtn->isEnabled());
        dragCells(form.ScheduleGrid, {1, 1}, {7, 31});
        QTest::mouseClick(form.CheckBitBtn, Qt::LeftButton);
        QCOMPARE(setCells(*list.profile(0)), 0);

        clickLine(form.ScheduleListBox, 0);
        QVERIFY(form.CheckBitBtn->isEnabled());
        QVERIFY(form.UncheckBitBtn->isEnabled());
        QVERIFY(form.InvertBtn->isEnabled());
        QTest::mouseClick(form.CancelButton, Qt::LeftButton);
    });

    // The selection and the buttons' state carry over to the next opening;
    // so does the grid's selection.
    runModal(form, [&] {
        QCOMPARE(form.selectedSchedule(), 0);
        QVERIFY(form.CheckBitBtn->isEnabled());
        QTest::mouseClick(form.CheckBitBtn, Qt::LeftButton);
        QCOMPARE(setCells(*list.profile(0)), 7 * 31);
    });

    // The object dialog clears the selection before it opens the editor.
    form.selectSchedule(-1);
    runModal(form, [&] { QVERIFY(!form.CheckBitBtn->isEnabled()); });
}

// The grid's paint by precedence, read back from a grab of the widget: a
// title cell in the button face, a selected cell blue (even when set), a
// set cell green, any other red; with no schedule selected, plain cells.
void TestScheduleForm::paintedColours()
{
    ScriptedPrompt prompt;
    ScheduleList list;
    list.New(QStringLiteral("Painted"));
    list.CheckSelected(0, {1, 1}, {1, 3}); // Monday 1-3
    list.CheckSelected(0, {2, 6}, {2, 6}); // Tuesday 6, also selected below
    TScheduleForm form(list, &prompt);

    runModal(form, [&] {
        clickLine(form.ScheduleListBox, 0);
        dragCells(form.ScheduleGrid, {2, 5}, {3, 6});

        const QColor face = form.ScheduleGrid->palette().color(QPalette::Button);
        const QImage img = form.ScheduleGrid->grab().toImage();
        struct Probe {
            int row, column;
            QColor colour;
        };
        const Probe painted[] = {
            {0, 0, face},
            {0, 17, face},
            {4, 0, face},
            {1, 1, TScheduleGrid::SetColor},
            {1, 3, TScheduleGrid::SetColor},
            {1, 4, TScheduleGrid::UnsetColor},
            {7, 31, TScheduleGrid::UnsetColor},
            {2, 5, TScheduleGrid::SelectedColor},
            {2, 6, TScheduleGrid::SelectedColor}, // set, but selected wins
            {3, 6, TScheduleGrid::SelectedColor},
            {3, 7, TScheduleGrid::UnsetColor},
        };
        for (const Probe &p : painted) {
            const QPoint at = p.row == 0 || p.column == 0 ? fillPoint(p.row, p.column) : centre(p.row, p.column);
            QVERIFY2(img.pixelColor(at) == p.colour, qPrintable(QStringLiteral("cell %1,%2 is %3, expected %4")
                                                                    .arg(p.row)
                                                                    .arg(p.column)
                                                                    .arg(img.pixelColor(at).name(), p.colour.name())));
        }

        // The cell buttons repaint at once.
        QTest::mouseClick(form.CheckBitBtn, Qt::LeftButton);
        dragCells(form.ScheduleGrid, {7, 1}, {7, 1});
        const QImage after = form.ScheduleGrid->grab().toImage();
        QCOMPARE(after.pixelColor(centre(3, 5)), TScheduleGrid::SetColor);
        QCOMPARE(after.pixelColor(centre(7, 1)), TScheduleGrid::SelectedColor);

        // No schedule selected: no day cell is red or green.
        form.ScheduleListBox->clearSelection();
        const QImage plain = form.ScheduleGrid->grab().toImage();
        QCOMPARE(plain.pixelColor(fillPoint(0, 0)), face);
        const QColor base = form.ScheduleGrid->palette().color(QPalette::Base);
        for (const GridCell c : {GridCell{1, 1}, GridCell{1, 4}, GridCell{3, 5}, GridCell{6, 20}})
            QCOMPARE(plain.pixelColor(centre(c.row, c.column)), base);
    });
}

void TestScheduleForm::windowAndTitles()
{
    ScriptedPrompt prompt;
    ScheduleList list;
    TScheduleForm form(list, &prompt);
    QCOMPARE(form.windowTitle(), QStringLiteral("Schedule"));
    QCOMPARE(TScheduleGrid::title(0, 0), QStringLiteral("Days\\Hours"));
    QCOMPARE(TScheduleGrid::title(0, 1), QStringLiteral("1"));
    QCOMPARE(TScheduleGrid::title(0, 31), QStringLiteral("31"));
    QCOMPARE(TScheduleGrid::title(3, 0), QStringLiteral("Wednsday"));
    QCOMPARE(TScheduleGrid::title(7, 0), QStringLiteral("Sunday"));
    QCOMPARE(TScheduleGrid::title(2, 2), QString());

    // Cell sizes: the first column 60 pixels, the others 15, rows 16.
    QCOMPARE(TScheduleGrid::cellRect(3, 0).width(), 60);
    QCOMPARE(TScheduleGrid::cellRect(3, 9).width(), 15);
    QCOMPARE(TScheduleGrid::cellRect(5, 31).height(), 16);

    // Clicking a title cell selects nothing.
    runModal(form, [&] {
        QVERIFY(form.ScheduleGrid->rect().contains(TScheduleGrid::cellRect(7, 31)));
        const QSize before = form.size();
        QTest::mouseClick(form.ScheduleGrid, Qt::LeftButton, {}, centre(0, 9));
        QTest::mouseClick(form.ScheduleGrid, Qt::LeftButton, {}, centre(4, 0));
        QCOMPARE(form.ScheduleGrid->current().row, 1);
        QCOMPARE(form.ScheduleGrid->current().column, 1);
        // A fixed-size window.
        QCOMPARE(form.minimumSize(), before);
        QCOMPARE(form.maximumSize(), before);
    });
}

void TestScheduleForm::loadSaveAndPicker()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Schedule.dat"));
    {
        ScheduleList source;
        source.New(QStringLiteral("Night"));
        source.New(QStringLiteral("Weekend"));
        source.CheckSelected(1, {6, 1}, {7, 31});
        QVERIFY(source.SaveSchedules(path));
    }
    ScriptedPrompt prompt;
    prompt.inputs.enqueue(QStringLiteral("Added"));
    ScheduleList list;
    TScheduleForm form(list, &prompt);
    QVERIFY(form.LoadSchedules(path));
    QCOMPARE(lines(form.ScheduleListBox), (QStringList{"Night", "Weekend"}));
    QCOMPARE(form.selectedSchedule(), -1);

    form.selectScheduleByName(QStringLiteral("WEEKEND"));
    QCOMPARE(form.selectedScheduleName(), QStringLiteral("Weekend"));
    runModal(form, [&] {
        QVERIFY(form.InvertBtn->isEnabled());
        QTest::mouseClick(form.NewScheduleButton, Qt::LeftButton);
        QTest::mouseClick(form.CancelButton, Qt::LeftButton);
    });
    QCOMPARE(form.selectedScheduleName(), QStringLiteral("Weekend"));
    form.selectScheduleByName(QStringLiteral("nothing like it"));
    QCOMPARE(form.selectedSchedule(), -1);
    QCOMPARE(form.selectedScheduleName(), QString());

    // The schedule created in the editor reaches the file when it is saved.
    QVERIFY(form.SaveSchedules(path));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QCOMPARE(bytes.size(), 4 + 3 * ScheduleList::RecordSize);
    QCOMPARE(bytes.mid(4 + 2 * ScheduleList::RecordSize + 1, 5), QByteArray("Added"));
}

void TestScheduleForm::namesFollowAListChangedOutside()
{
    ScriptedPrompt prompt;
    ScheduleList list;
    list.New(QStringLiteral("Night"));
    list.New(QStringLiteral("Weekend"));
    TScheduleForm form(list, &prompt);
    QCOMPARE(lines(form.ScheduleListBox), (QStringList{"Night", "Weekend"}));

    // The same number of schedules under other names: the lines are renamed
    // in place and the picker selects by the new names.
    list.Del(0);
    list.Del(0);
    QVERIFY(list.New(QStringLiteral("Early")) && list.New(QStringLiteral("Late")));
    form.selectSchedule(1);
    QCOMPARE(lines(form.ScheduleListBox), (QStringList{"Early", "Late"}));
    QCOMPARE(form.selectedScheduleName(), QStringLiteral("Late"));

    // One more schedule: the lines are refilled when the editor opens, and
    // nothing stays selected.
    list.New(QStringLiteral("Added"));
    runModal(form, [&] {
        QCOMPARE(lines(form.ScheduleListBox), (QStringList{"Early", "Late", "Added"}));
        QCOMPARE(form.selectedSchedule(), -1);
        QVERIFY(!form.InvertBtn->isEnabled());
    });
}

void TestScheduleForm::opensCentredOverItsOwner()
{
    // Centred to within the width of the window frame, which the placement
    // goes by the inner size.
    const auto centredOver = [](const QWidget &w, const QRect &area) {
        const QPoint off = w.frameGeometry().center() - area.center();
        const QSize frame = w.frameGeometry().size() - w.size();
        return qAbs(off.x()) <= frame.width() && qAbs(off.y()) <= frame.height();
    };
    ScriptedPrompt prompt;
    ScheduleList list;
    QWidget owner;
    owner.setGeometry(40, 60, 900, 700);
    owner.show();
    // A widget inside the owner as the parent: the editor centres over the
    // whole window, not over that widget.
    auto *inner = new QWidget(&owner);
    inner->setGeometry(0, 0, 100, 100);
    TScheduleForm form(list, &prompt, inner);
    runModal(form, [&] { QVERIFY(centredOver(form, owner.frameGeometry())); });

    // Every opening centres it again.
    owner.move(300, 200);
    runModal(form, [&] { QVERIFY(centredOver(form, owner.frameGeometry())); });

    // Without a visible owner: the middle of the screen's free area.
    owner.hide();
    runModal(form, [&] { QVERIFY(centredOver(form, form.screen()->availableGeometry())); });
}

QTEST_MAIN(TestScheduleForm)
#include "test_scheduleform.moc"
