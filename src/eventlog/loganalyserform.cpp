#include "loganalyserform.h"

#include "alerts/desktopservices.h"
#include "core/prompt.h"
#include "eventlog/eventlog.h"
#include "eventlog/logreport.h"
#include "widgets/hottrack.h"
#include "widgets/selectdateform.h"

#include <QCheckBox>
#include <QDate>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolTip>
#include <QVBoxLayout>

namespace
{

// A small calendar leaf for the two picker buttons.
QIcon calendarIcon()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QColor(70, 70, 80));
    p.setBrush(Qt::white);
    p.drawRect(1, 2, 13, 12);
    p.fillRect(2, 3, 12, 3, QColor(200, 50, 50));
    p.setPen(QColor(90, 90, 100));
    for (int y : {8, 11})
        for (int x : {4, 7, 10})
            p.drawPoint(x, y), p.drawPoint(x + 1, y);
    p.setPen(QColor(70, 70, 80));
    p.drawLine(4, 1, 4, 3);
    p.drawLine(11, 1, 11, 3);
    return QIcon(pm);
}

} // namespace

TLogAnalyserForm::TLogAnalyserForm(EventLog &log, UserPrompt *prompt, DesktopServices *desktop, QWidget *parent)
    : QDialog(parent), m_log(log), m_prompt(prompt), m_desktop(desktop), m_model(new LogViewModel(log, this))
{
    setObjectName(QStringLiteral("LogAnalyserForm"));
    setWindowTitle(QStringLiteral("Log Analyser"));
    setSizeGripEnabled(true);

    // The panel at the top: the filter row above the list. It keeps its
    // height when the window is resized and follows its width.
    TopPanel = new QWidget(this);
    TopPanel->setObjectName(QStringLiteral("TopPanel"));

    FilterCheckBox = new QCheckBox(QStringLiteral("Filter"), TopPanel);
    FilterCheckBox->setObjectName(QStringLiteral("FilterCheckBox"));
    StartDateLabel = new QLabel(QStringLiteral("Show from"), TopPanel);
    StartDateEdit = new QLineEdit(TopPanel);
    StartDateEdit->setObjectName(QStringLiteral("StartDateEdit"));
    SelectFromBtn = new QPushButton(TopPanel);
    SelectFromBtn->setObjectName(QStringLiteral("SelectFromBtn"));
    EndDateLabel = new QLabel(QStringLiteral("To"), TopPanel);
    EndDateEdit = new QLineEdit(TopPanel);
    EndDateEdit->setObjectName(QStringLiteral("EndDateEdit"));
    SelectToBtn = new QPushButton(TopPanel);
    SelectToBtn->setObjectName(QStringLiteral("SelectToBtn"));
    StartDateLabel->setBuddy(StartDateEdit);
    EndDateLabel->setBuddy(EndDateEdit);
    const QIcon calendar = calendarIcon();
    for (QPushButton *b : {SelectFromBtn, SelectToBtn}) {
        b->setIcon(calendar);
        b->setToolTip(QStringLiteral("Select Date"));
        b->setAutoDefault(false);
        b->setFixedWidth(28);
    }
    const int editWidth = StartDateEdit->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00")) + 24;
    for (QLineEdit *e : {StartDateEdit, EndDateEdit})
        e->setFixedWidth(editWidth);
    setDateLocale(QLocale());

    auto *filterRow = new QHBoxLayout;
    filterRow->addWidget(FilterCheckBox);
    filterRow->addSpacing(16);
    filterRow->addWidget(StartDateLabel);
    filterRow->addWidget(StartDateEdit);
    filterRow->addWidget(SelectFromBtn);
    filterRow->addSpacing(12);
    filterRow->addWidget(EndDateLabel);
    filterRow->addWidget(EndDateEdit);
    filterRow->addWidget(SelectToBtn);
    filterRow->addStretch();

    LogListView = new QTableView(TopPanel);
    LogListView->setObjectName(QStringLiteral("LogListView"));
    LogListView->setModel(m_model);
    LogListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    LogListView->setSelectionMode(QAbstractItemView::SingleSelection);
    LogListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LogListView->setShowGrid(true);
    LogListView->setSortingEnabled(false);
    LogListView->setWordWrap(false);
    LogListView->setTextElideMode(Qt::ElideRight);
    LogListView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Every row is one text line high and never measured, so that a list of
    // a million rows builds and scrolls without looking at its cells.
    QHeaderView *rows = LogListView->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(LogListView->fontMetrics().height() + 6);
    QHeaderView *columns = LogListView->horizontalHeader();
    columns->setSectionsClickable(false);
    columns->setHighlightSections(false);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setSectionResizeMode(LogViewModel::HostColumn, QHeaderView::Stretch);
    columns->setStretchLastSection(false);
    LogListView->setColumnWidth(LogViewModel::EventTimeColumn, 150);
    LogListView->setColumnWidth(LogViewModel::StatusColumn, 100);
    LogListView->setColumnWidth(LogViewModel::TestMethodColumn, 100);
    auto *delegate = new HotTrackDelegate(LogListView);
    LogListView->setItemDelegate(delegate);
    LogListView->setMouseTracking(true);
    // A cell whose text does not fit its column also shows the whole text as
    // a tooltip, a cell that shows all of it none.
    auto *hotTrack = new HotTrackFilter(LogListView, delegate);
    hotTrack->setCellToolTips(true);
    LogListView->viewport()->installEventFilter(hotTrack);

    auto *panel = new QVBoxLayout(TopPanel);
    panel->setContentsMargins(0, 0, 0, 0);
    panel->addLayout(filterRow);
    panel->addWidget(LogListView);
    TopPanel->setFixedHeight(380);

    ClearBtn = new QPushButton(QStringLiteral("Clear"), this);
    ClearBtn->setObjectName(QStringLiteral("ClearBtn"));
    HTMLBtn = new QPushButton(QStringLiteral("HTML"), this);
    HTMLBtn->setObjectName(QStringLiteral("HTMLBtn"));
    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    for (QPushButton *b : {ClearBtn, HTMLBtn})
        b->setAutoDefault(false);
    for (QPushButton *b : {ClearBtn, HTMLBtn, OKBtn})
        b->setMinimumWidth(75);

    // "Clear" and "HTML" at the bottom left, "OK" at the bottom right, its
    // left edge some 104 pixels in from the window's right edge.
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(ClearBtn);
    buttons->addWidget(HTMLBtn);
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addSpacing(17);

    auto *main = new QVBoxLayout(this);
    main->addWidget(TopPanel);
    main->addStretch();
    main->addLayout(buttons);

    connect(FilterCheckBox, &QCheckBox::clicked, this, &TLogAnalyserForm::FilterCheckBoxClick);
    connect(SelectFromBtn, &QPushButton::clicked, this, &TLogAnalyserForm::SelectFromBtnClick);
    connect(SelectToBtn, &QPushButton::clicked, this, &TLogAnalyserForm::SelectToBtnClick);
    connect(ClearBtn, &QPushButton::clicked, this, &TLogAnalyserForm::ClearBtnClick);
    connect(HTMLBtn, &QPushButton::clicked, this, &TLogAnalyserForm::HTMLBtnClick);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);

    // Just tall enough for the panel and the buttons.
    const int height = sizeHint().height();
    resize(640, height);
    setMinimumSize(480, height);
}

void TLogAnalyserForm::setDateLocale(const QLocale &locale)
{
    m_format = LocaleDateFormat(locale);
    for (QLineEdit *e : {StartDateEdit, EndDateEdit}) {
        e->setInputMask(m_format.inputMask());
        e->clear();
        e->setPlaceholderText(QString());
    }
}

QString TLogAnalyserForm::editText(const QLineEdit *edit)
{
    // The mask shows "_" where nothing was typed; those read back as blanks.
    QString text = edit->displayText();
    text.replace(QLatin1Char('_'), QLatin1Char(' '));
    return text;
}

int TLogAnalyserForm::Execute()
{
    return exec();
}

void TLogAnalyserForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TLogAnalyserForm::FormShow()
{
    BuildLogView();
}

void TLogAnalyserForm::BuildLogView()
{
    const QString from = editText(StartDateEdit), to = editText(EndDateEdit);
    // With the mask the texts are never empty; without a complete date in
    // both, the filter lets every line through.
    if (FilterCheckBox->isChecked() && !from.isEmpty() && !to.isEmpty())
        m_model->rebuild(LogDateFilter(from, to, m_format));
    else
        m_model->rebuild();
}

void TLogAnalyserForm::FilterCheckBoxClick()
{
    BuildLogView();
}

void TLogAnalyserForm::setDatePicker(TSelectDateForm *picker)
{
    m_picker = picker;
}

TSelectDateForm *TLogAnalyserForm::datePicker()
{
    if (!m_picker) {
        auto *picker = new TSelectDateForm(this);
        picker->setPrompt(m_prompt);
        m_picker = picker;
    }
    return m_picker;
}

void TLogAnalyserForm::pickDate(QLineEdit *edit)
{
    QDate date = QDate::currentDate();
    if (datePicker()->selectDate(date))
        edit->setText(m_format.format(date));
}

void TLogAnalyserForm::SelectFromBtnClick()
{
    pickDate(StartDateEdit);
}

void TLogAnalyserForm::SelectToBtnClick()
{
    pickDate(EndDateEdit);
}

void TLogAnalyserForm::ClearBtnClick()
{
    // At once and without a question; data.log keeps the old lines until
    // the next normal exit writes the log back.
    m_log.Clear();
    m_model->clear();
}

void TLogAnalyserForm::HTMLBtnClick()
{
    if (!m_prompt)
        return;
    QString path =
        m_prompt->saveFileName(QStringLiteral("HTML Files (*.htm *.html);;All Files (*)"), QStringLiteral("htm"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty() && !path.endsWith(QLatin1Char('.')))
        path += QStringLiteral(".htm");
    if (QFileInfo::exists(path) &&
        !m_prompt->okCancel(QStringLiteral("Attention"), QStringLiteral("File already exists. Overwrate?")))
        return;

    const QByteArray bytes =
        LogReport::encode(LogReport::lines(editText(StartDateEdit), editText(EndDateEdit), *m_model));
    QString error;
    if (!LogReport::write(path, bytes, &error)) {
        m_prompt->message(QStringLiteral("Error"), error);
        return;
    }
    if (m_desktop)
        m_desktop->shellOpen(path);
}
