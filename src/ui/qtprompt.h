#pragma once

#include "core/prompt.h"

#include <QPointer>
#include <QWidget>

// The real questions and dialogs: message boxes, the input box and the file
// dialogs, each modal over the owner window. Every text shows as plain
// text, exactly as given: nothing in it is taken for markup.
class QtPrompt : public UserPrompt
{
public:
    explicit QtPrompt(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParentWidget(QWidget *parent) { m_parent = parent; }

    Answer confirm(const QString &title, const QString &text) override;
    bool okCancel(const QString &title, const QString &text) override;
    void message(const QString &title, const QString &text) override;
    bool inputText(const QString &caption, const QString &prompt, QString &value) override;
    QString openFileName(const QString &filter, const QString &defaultSuffix, const QString &initialName) override;
    QString saveFileName(const QString &filter, const QString &defaultSuffix) override;

private:
    QPointer<QWidget> m_parent;
};
