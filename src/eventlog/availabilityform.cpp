#include "availabilityform.h"

#include "core/prompt.h"
#include "eventlog/eventlog.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>

using namespace Availability;

namespace
{

// A slice of reading or computing, then the window's events run again.
constexpr qint64 kSliceNs = 12'000'000;

QColor stateColor(State state)
{
    switch (state) {
    case State::Ok:
        return QColor(0x2e, 0xa0, 0x43);
    case State::Failing:
        return QColor(0xd7, 0x30, 0x27);
    case State::NoData:
        break;
    }
    return QColor(0xb4, 0xb4, 0xb4);
}

QString percentText(double percent)
{
    return percent < 0 ? QStringLiteral("-") : QString::number(percent, 'f', 2) + QLatin1Char('%');
}

// One state per pixel column of a bar of the given width: failing when any
// failure falls into the column (a short outage stays visible), else OK
// when any OK time does, else no data.
std::vector<State> pixelStates(const Figures &f, int width)
{
    std::vector<quint8> bits(size_t(std::max(width, 0)), 0);
    const qint64 length = f.to - f.from;
    if (width <= 0 || length <= 0)
        return {};
    for (const Stretch &s : f.stretches) {
        const qint64 x0 = (s.start - f.from) * width / length;
        const qint64 x1 = ((s.end - f.from) * width + length - 1) / length; // excluded
        const quint8 bit = s.state == State::Failing ? 4 : s.state == State::Ok ? 2 : 1;
        for (qint64 x = std::max<qint64>(x0, 0); x < std::min<qint64>(x1, width); ++x)
            bits[size_t(x)] |= bit;
    }
    std::vector<State> out(bits.size());
    for (size_t i = 0; i < bits.size(); ++i)
        out[i] = bits[i] & 4 ? State::Failing : bits[i] & 2 ? State::Ok : State::NoData;
    return out;
}

// The stretch that the pixel column x of a bar shows (a failure first, as
// the bar colours it); -1 when there is none.
int stretchAt(const Figures &f, int x, int width)
{
    const qint64 length = f.to - f.from;
    if (width <= 0 || length <= 0 || x < 0 || x >= width || f.stretches.empty())
        return -1;
    const qint64 t0 = f.from + qint64(x) * length / width;
    const qint64 t1 = std::max(t0 + 1, f.from + (qint64(x) + 1) * length / width);
    const auto first = std::partition_point(f.stretches.begin(), f.stretches.end(),
                                            [t0](const Stretch &s) { return s.end <= t0; });
    int best = -1;
    for (auto it = first; it != f.stretches.end() && it->start < t1; ++it) {
        const int i = int(it - f.stretches.begin());
        if (it->state == State::Failing)
            return i;
        if (best < 0 || it->state == State::Ok)
            best = i;
    }
    return best;
}

// CSV field: quoted when it holds a comma, a quote or a line end.
QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')) &&
        !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

// The rows of the window: the figures of one object each.
class AvailabilityModel : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;

    std::vector<Figures> rows;

    void setRows(std::vector<Figures> &&next)
    {
        if (next.size() == rows.size()) {
            rows = std::move(next);
            if (!rows.empty())
                emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
            return;
        }
        beginResetModel();
        rows = std::move(next);
        endResetModel();
    }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(rows.size());
    }
    int columnCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : TAvailabilityForm::ColumnCount;
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= rowCount())
            return {};
        const Figures &f = rows[size_t(index.row())];
        if (role == Qt::TextAlignmentRole && index.column() >= TAvailabilityForm::PercentColumn)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        if (role == Qt::ToolTipRole && index.column() == TAvailabilityForm::PercentColumn)
            return QStringLiteral("OK %1, failing %2, no data %3")
                .arg(durationText(f.okSeconds), durationText(f.failingSeconds), durationText(f.noDataSeconds));
        if (role != Qt::DisplayRole)
            return {};
        switch (index.column()) {
        case TAvailabilityForm::HostColumn:
            return f.host;
        case TAvailabilityForm::MethodColumn:
            return f.method;
        case TAvailabilityForm::PercentColumn:
            return percentText(f.percentOk);
        case TAvailabilityForm::FailuresColumn:
            return f.failures;
        case TAvailabilityForm::OutageColumn:
            return durationText(f.longestOutage);
        default:
            return {};
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        static const char *const titles[] = {"Host", "Test method", "Timeline", "OK", "Failures", "Longest outage"};
        return section >= 0 && section < TAvailabilityForm::ColumnCount ? QString::fromLatin1(titles[section])
                                                                           : QVariant();
    }
};

namespace
{

// Paints the timeline cell and answers the tooltip of the stretch under the
// mouse.
class TimelineDelegate : public QStyledItemDelegate
{
public:
    TimelineDelegate(TAvailabilityForm *form, AvailabilityModel *model)
        : QStyledItemDelegate(form), m_form(form), m_model(model)
    {
    }

    static QRect barRect(const QRect &cell) { return cell.adjusted(2, 3, -2, -3); }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        if (index.column() != TAvailabilityForm::TimelineColumn) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        const Figures &f = m_model->rows[size_t(index.row())];
        const QRect bar = barRect(option.rect);
        const std::vector<State> px = pixelStates(f, bar.width());
        painter->save();
        int x = 0;
        while (x < int(px.size())) {
            int end = x + 1;
            while (end < int(px.size()) && px[size_t(end)] == px[size_t(x)])
                ++end;
            painter->fillRect(QRect(bar.left() + x, bar.top(), end - x, bar.height()), stateColor(px[size_t(x)]));
            x = end;
        }
        painter->setPen(option.palette.color(QPalette::Mid));
        painter->drawRect(bar.adjusted(0, 0, -1, -1));
        painter->restore();
    }

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override
    {
        if (event->type() != QEvent::ToolTip || index.column() != TAvailabilityForm::TimelineColumn)
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        const QRect bar = barRect(option.rect);
        const QString tip = m_form->timelineToolTip(index.row(), event->pos().x() - bar.left(), bar.width());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(event->globalPos(), tip, view->viewport(), option.rect);
        return true;
    }

private:
    TAvailabilityForm *m_form;
    AvailabilityModel *m_model;
};

} // namespace

TAvailabilityForm::TAvailabilityForm(const EventLog &log, UserPrompt *prompt, QWidget *parent)
    : QDialog(parent), m_log(log), m_prompt(prompt)
{
    setObjectName(QStringLiteral("AvailabilityForm"));
    setWindowTitle(QStringLiteral("Availability"));
    setSizeGripEnabled(true);

    SpanBox = new QComboBox(this);
    SpanBox->setObjectName(QStringLiteral("SpanBox"));
    for (Span s : {Span::Day, Span::Week, Span::Month})
        SpanBox->addItem(QStringLiteral("Last ") + spanText(s), int(s));
    auto *spanLabel = new QLabel(QStringLiteral("Show"), this);
    spanLabel->setBuddy(SpanBox);
    auto *top = new QHBoxLayout;
    top->addWidget(spanLabel);
    top->addWidget(SpanBox);
    top->addStretch();
    // The colours' legend.
    for (State s : {State::Ok, State::Failing, State::NoData}) {
        auto *swatch = new QLabel(this);
        QPixmap pm(12, 12);
        pm.fill(stateColor(s));
        swatch->setPixmap(pm);
        top->addWidget(swatch);
        top->addWidget(new QLabel(s == State::Ok ? QStringLiteral("OK")
                                  : s == State::Failing ? QStringLiteral("failing")
                                                        : QStringLiteral("no data"),
                                  this));
        top->addSpacing(8);
    }

    m_model = new AvailabilityModel(this);
    AvailabilityView = new QTableView(this);
    AvailabilityView->setObjectName(QStringLiteral("AvailabilityView"));
    AvailabilityView->setModel(m_model);
    AvailabilityView->setItemDelegate(new TimelineDelegate(this, m_model));
    AvailabilityView->setSelectionBehavior(QAbstractItemView::SelectRows);
    AvailabilityView->setSelectionMode(QAbstractItemView::SingleSelection);
    AvailabilityView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    AvailabilityView->setWordWrap(false);
    AvailabilityView->setMouseTracking(true);
    AvailabilityView->verticalHeader()->hide();
    AvailabilityView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    AvailabilityView->verticalHeader()->setDefaultSectionSize(AvailabilityView->fontMetrics().height() + 8);
    QHeaderView *header = AvailabilityView->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionResizeMode(TimelineColumn, QHeaderView::Stretch);
    AvailabilityView->setColumnWidth(HostColumn, 180);
    AvailabilityView->setColumnWidth(MethodColumn, 110);
    AvailabilityView->setColumnWidth(PercentColumn, 70);
    AvailabilityView->setColumnWidth(FailuresColumn, 70);
    AvailabilityView->setColumnWidth(OutageColumn, 110);

    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName(QStringLiteral("StatusLabel"));
    CsvBtn = new QPushButton(QStringLiteral("Export CSV"), this);
    CsvBtn->setObjectName(QStringLiteral("CsvBtn"));
    CsvBtn->setAutoDefault(false);
    PngBtn = new QPushButton(QStringLiteral("Export PNG"), this);
    PngBtn->setObjectName(QStringLiteral("PngBtn"));
    PngBtn->setAutoDefault(false);
    CloseBtn = new QPushButton(QStringLiteral("Close"), this);
    CloseBtn->setObjectName(QStringLiteral("CloseBtn"));
    CloseBtn->setDefault(true);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(StatusLabel, 1);
    bottom->addWidget(CsvBtn);
    bottom->addWidget(PngBtn);
    bottom->addWidget(CloseBtn);

    auto *main = new QVBoxLayout(this);
    main->addLayout(top);
    main->addWidget(AvailabilityView, 1);
    main->addLayout(bottom);
    resize(900, 420);

    m_work = new QTimer(this);
    m_work->setSingleShot(true);
    m_work->setInterval(0);
    connect(m_work, &QTimer::timeout, this, &TAvailabilityForm::workSlice);
    m_watch = new QTimer(this);
    m_watch->setInterval(1000);
    connect(m_watch, &QTimer::timeout, this, &TAvailabilityForm::checkForNewLines);
    m_slide = new QTimer(this);
    m_slide->setInterval(60000);
    connect(m_slide, &QTimer::timeout, this, &TAvailabilityForm::startFigures);

    connect(SpanBox, &QComboBox::currentIndexChanged, this, &TAvailabilityForm::SpanBoxChange);
    connect(CsvBtn, &QPushButton::clicked, this, &TAvailabilityForm::CsvBtnClick);
    connect(PngBtn, &QPushButton::clicked, this, &TAvailabilityForm::PngBtnClick);
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::accept);
    updateStatus();
}

TAvailabilityForm::~TAvailabilityForm() = default;

void TAvailabilityForm::setClock(std::function<QDateTime()> clock)
{
    m_clock = std::move(clock);
}

QDateTime TAvailabilityForm::now() const
{
    return m_clock ? m_clock() : QDateTime::currentDateTime();
}

Span TAvailabilityForm::span() const
{
    return Span(SpanBox->currentData().toInt());
}

void TAvailabilityForm::setSpan(Span span)
{
    SpanBox->setCurrentIndex(SpanBox->findData(int(span)));
}

const std::vector<Figures> &TAvailabilityForm::rows() const
{
    return m_model->rows;
}

void TAvailabilityForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    m_watch->start();
    m_slide->start();
    checkForNewLines();
}

void TAvailabilityForm::hideEvent(QHideEvent *event)
{
    // A hidden window reads nothing; the next showing goes on from here.
    m_watch->stop();
    m_slide->stop();
    QDialog::hideEvent(event);
}

void TAvailabilityForm::restart()
{
    m_parsed.clear();
    m_fed = 0;
    m_lastFed.clear();
    m_ready = false;
    m_computing = false;
}

void TAvailabilityForm::checkForNewLines()
{
    const int count = m_log.count();
    // A log that is shorter, or whose line at the last position read is not
    // the one read there, was cleared (and perhaps written anew): read it
    // all again.
    if (count < m_fed || (m_fed > 0 && m_log.rawLine(m_fed - 1) != QByteArrayView(m_lastFed)))
        restart();
    if (count == m_fed && (m_ready || m_computing))
        return;
    m_ready = false;
    m_computing = false;
    m_work->start();
    updateStatus();
}

void TAvailabilityForm::SpanBoxChange()
{
    startFigures();
}

void TAvailabilityForm::startFigures()
{
    m_to = wallSeconds(now());
    m_from = m_to - spanSeconds(span());
    m_next.clear();
    m_next.reserve(size_t(m_parsed.objectCount()));
    m_computing = true;
    m_ready = false;
    m_work->start();
}

void TAvailabilityForm::workSlice()
{
    QElapsedTimer clock;
    clock.start();
    if (!m_computing) {
        // Reading the lines not read yet.
        const int count = m_log.count();
        while (m_fed < count) {
            const int end = std::min(count, m_fed + 4096);
            for (; m_fed < end; ++m_fed)
                m_parsed.feed(m_log.rawLine(m_fed));
            if (clock.nsecsElapsed() > kSliceNs)
                break;
        }
        if (m_fed > 0)
            m_lastFed = m_log.rawLine(m_fed - 1).toByteArray();
        if (m_fed < count) {
            updateStatus();
            m_work->start();
            return;
        }
        startFigures();
        return;
    }
    // Computing the figures, object by object.
    while (int(m_next.size()) < m_parsed.objectCount()) {
        m_next.push_back(m_parsed.figures(int(m_next.size()), m_from, m_to));
        if (clock.nsecsElapsed() > kSliceNs) {
            m_work->start();
            return;
        }
    }
    m_computing = false;
    m_model->setRows(std::move(m_next));
    m_next = {};
    m_ready = true;
    updateStatus();
    emit ready();
}

void TAvailabilityForm::updateStatus()
{
    if (!m_ready && m_fed < m_log.count()) {
        StatusLabel->setText(QStringLiteral("Reading the event log: %1 of %2 lines").arg(m_fed).arg(m_log.count()));
        return;
    }
    if (!m_ready) {
        StatusLabel->setText(QStringLiteral("Computing..."));
        return;
    }
    QString text = QStringLiteral("%1 objects from %2 lines, %3 to %4")
                       .arg(m_parsed.objectCount())
                       .arg(m_parsed.linesFed())
                       .arg(wallText(m_from), wallText(m_to));
    if (m_parsed.linesSkipped() > 0)
        text += QStringLiteral("; %1 lines without a date or fields skipped").arg(m_parsed.linesSkipped());
    StatusLabel->setText(text);
}

QString TAvailabilityForm::timelineToolTip(int row, int x, int width) const
{
    if (row < 0 || row >= int(m_model->rows.size()))
        return {};
    const Figures &f = m_model->rows[size_t(row)];
    const int i = stretchAt(f, x, width);
    if (i < 0)
        return {};
    const Stretch &s = f.stretches[size_t(i)];
    return QStringLiteral("From: %1\nTo: %2 (%3)\nStatus: %4")
        .arg(wallText(s.start), wallText(s.end), durationText(s.end - s.start), s.status);
}

QString TAvailabilityForm::csvText() const
{
    QString out = QStringLiteral("Host,Test method,From,To,OK %,Failures,Longest outage (s),OK (s),Failing (s),No data (s)\r\n");
    for (const Figures &f : m_model->rows) {
        const QStringList fields = {
            csvField(f.host),
            csvField(f.method),
            wallText(f.from),
            wallText(f.to),
            f.percentOk < 0 ? QString() : QString::number(f.percentOk, 'f', 2),
            QString::number(f.failures),
            QString::number(f.longestOutage),
            QString::number(f.okSeconds),
            QString::number(f.failingSeconds),
            QString::number(f.noDataSeconds),
        };
        out += fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    }
    return out;
}

void TAvailabilityForm::CsvBtnClick()
{
    if (!m_prompt)
        return;
    const QString path =
        m_prompt->saveFileName(QStringLiteral("CSV Files (*.csv);;All Files (*)"), QStringLiteral("csv"));
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    const QByteArray bytes = csvText().toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        m_prompt->message(QStringLiteral("Error"),
                          QStringLiteral("Cannot write the file \"%1\": %2").arg(path, file.errorString()));
}

void TAvailabilityForm::PngBtnClick()
{
    if (!m_prompt)
        return;
    const QString path =
        m_prompt->saveFileName(QStringLiteral("PNG Images (*.png);;All Files (*)"), QStringLiteral("png"));
    if (path.isEmpty())
        return;
    const QImage picture = grab().toImage();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !picture.save(&file, "PNG") || !file.commit())
        m_prompt->message(QStringLiteral("Error"),
                          QStringLiteral("Cannot write the file \"%1\": %2").arg(path, file.errorString()));
}
