#include "dialogbuttons.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

OkCancelButtons makeOkCancelButtons(QDialog *dialog, ReturnOnCancel onCancel)
{
    auto *ok = new QPushButton(QStringLiteral("OK"), dialog);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), dialog);
    cancel->setObjectName(QStringLiteral("CancelButton"));
    if (onCancel == ReturnOnCancel::PressesOk)
        cancel->setAutoDefault(false);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);

    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return {ok, cancel, row};
}
