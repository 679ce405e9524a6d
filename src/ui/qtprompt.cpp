#include "qtprompt.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>

UserPrompt::Answer QtPrompt::confirm(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                    m_parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Yes;
    case QMessageBox::No:
        return No;
    default:
        return Cancel;
    }
}

bool QtPrompt::okCancel(const QString &title, const QString &text)
{
    // The report's overwrite question ("Attention") has the information icon.
    const auto icon = title == QLatin1String("Attention") ? QMessageBox::Information : QMessageBox::Warning;
    QMessageBox box(icon, title, text, QMessageBox::Ok | QMessageBox::Cancel, m_parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

void QtPrompt::message(const QString &title, const QString &text)
{
    const auto icon = title == QLatin1String("Error") ? QMessageBox::Critical : QMessageBox::Information;
    QMessageBox box(icon, title, text, QMessageBox::Ok, m_parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool QtPrompt::inputText(const QString &caption, const QString &prompt, QString &value)
{
    bool ok = false;
    const QString text = QInputDialog::getText(m_parent, caption, prompt, QLineEdit::Normal, value, &ok);
    if (ok)
        value = text;
    return ok;
}

QString QtPrompt::openFileName(const QString &filter, const QString &defaultSuffix, const QString &initialName)
{
    QFileDialog dialog(m_parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(defaultSuffix);
    if (!initialName.isEmpty()) {
        const QFileInfo last(initialName);
        dialog.setDirectory(last.absolutePath());
        dialog.selectFile(last.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

QString QtPrompt::saveFileName(const QString &filter, const QString &defaultSuffix)
{
    QFileDialog dialog(m_parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(defaultSuffix);
    // The program asks its own "File already exists. Owerwrite?" question.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}
