#pragma once

#include <QDialog>
#include <QList>
#include <QString>

class QLabel;
class QPushButton;
class QTableWidget;
class UserPrompt;

// The port reference picker: a fixed list of well-known TCP ports from which
// the object parameters dialog takes a port number. The window is created
// once and reused; the row selected last time stays selected.
class TSelectPortForm : public QDialog
{
    Q_OBJECT
public:
    struct Port {
        const char *port;
        const char *name;
        const char *description;
    };
    // The 36 rows of the list, in their fixed order.
    static const QList<Port> &referenceList();

    explicit TSelectPortForm(QWidget *parent = nullptr);

    // The folder holding vlogo.dat (the program's folder unless set).
    void setProgramDir(const QString &dir) { m_programDir = dir; }
    // Where the missing-logo message goes; a message box when unset.
    void setPrompt(UserPrompt *prompt) { m_prompt = prompt; }

    // The port text of the selected row; empty when no row is selected.
    QString selectedPort() const;
    // Shows the picker modally. True, with the selected row's port in port,
    // when it was closed with OK and a row was selected; otherwise port is
    // left alone.
    bool selectPort(QString &port);

    QLabel *LogoImage;
    QTableWidget *PortListView;
    QPushButton *OKButton;
    QPushButton *CancelButton;

    void setVisible(bool visible) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void hotTrack(int row);

    QString m_programDir;
    UserPrompt *m_prompt = nullptr;
    int m_hotRow = -1;
};
