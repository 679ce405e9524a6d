#include "selectdateform.h"

#include "dialogbuttons.h"
#include "logo.h"

#include "core/paths.h"

#include <QCalendarWidget>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TSelectDateForm::TSelectDateForm(QWidget *parent) : QDialog(parent), m_programDir(Paths::programDir())
{
    setObjectName(QStringLiteral("SelectDateForm"));
    setWindowTitle(QStringLiteral("Select Date"));

    LogoImage = new QLabel(this);
    LogoImage->setObjectName(QStringLiteral("LogoImage"));
    LogoImage->setFixedWidth(Logo::StripWidth);
    LogoImage->setScaledContents(true);
    LogoImage->setFrameShape(QFrame::StyledPanel);

    HeadingLabel = new QLabel(QStringLiteral("Select Date"), this);
    HeadingLabel->setObjectName(QStringLiteral("HeadingLabel"));
    QFont headingFont = HeadingLabel->font();
    headingFont.setBold(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.5);
    HeadingLabel->setFont(headingFont);
    // The colour of an active window's title bar; Qt's nearest is Highlight.
    QPalette headingPalette = HeadingLabel->palette();
    headingPalette.setColor(QPalette::WindowText, headingPalette.color(QPalette::Active, QPalette::Highlight));
    HeadingLabel->setPalette(headingPalette);

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    MonthCalendar1 = new QCalendarWidget(this);
    MonthCalendar1->setObjectName(QStringLiteral("MonthCalendar1"));
    MonthCalendar1->setGridVisible(true);
    MonthCalendar1->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    // A double click on a day picks it, like OK.
    connect(MonthCalendar1, &QCalendarWidget::activated, this, &QDialog::accept);

    const OkCancelButtons buttons = makeOkCancelButtons(this, ReturnOnCancel::PressesCancel);
    OKButton = buttons.ok;
    CancelButton = buttons.cancel;
    auto *right = new QVBoxLayout;
    right->addWidget(HeadingLabel);
    right->addWidget(line);
    right->addWidget(MonthCalendar1, 1);
    right->addLayout(buttons.row);
    auto *main = new QHBoxLayout(this);
    main->addWidget(LogoImage);
    main->addLayout(right);

    setFixedSize(sizeHint().expandedTo(QSize(440, 320)));
}

void TSelectDateForm::setDate(const QDate &date)
{
    MonthCalendar1->setSelectedDate(date);
}

QDate TSelectDateForm::date() const
{
    return MonthCalendar1->selectedDate();
}

bool TSelectDateForm::selectDate(QDate &date)
{
    setDate(date);
    if (exec() != QDialog::Accepted)
        return false;
    date = this->date();
    return true;
}

void TSelectDateForm::setVisible(bool visible)
{
    if (visible && !isVisible())
        Logo::load(LogoImage, m_programDir, m_prompt, parentWidget());
    QDialog::setVisible(visible);
}
