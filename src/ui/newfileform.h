#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

// The new-object wizard: three tabs of large icons, one per kind of test,
// with a help text for the selected one. OK (or a double click on an icon)
// closes it when an icon is selected; the kind follows from the tab and the
// icon's position.
class TNewFileForm : public QDialog
{
    Q_OBJECT
public:
    explicit TNewFileForm(QWidget *parent = nullptr);

    // The help paragraphs of a kind 1 to 8, one per line of the help box.
    static QStringList helpText(qint32 kind);

    // The kind of the icon selected on the current tab; 0 when none is.
    qint32 selectedKind() const;
    // Its caption ("Drive space", "Folder/File   size", ...); empty when none.
    QString selectedCaption() const;
    // Selects the kind's icon on its tab (and shows that tab).
    void selectKind(qint32 kind);

    QTabWidget *PageControl1;
    QListWidget *InternetListView;
    QListWidget *DiskListView;
    QListWidget *DatabaseListView;
    QPlainTextEdit *HelpMemo;
    QPushButton *OKButton;
    QPushButton *CancelButton;

    void setVisible(bool visible) override;
    void accept() override;

private:
    QListWidget *currentList() const;
    QListWidget *makeList(const QStringList &captions, qint32 firstKind);
    void selectionChanged(QListWidget *list);
};
