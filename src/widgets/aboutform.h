#pragma once

#include <QDialog>
#include <QString>
#include <QUrl>

#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// The about box: the logo, the program's name and version, the maker, an
// information text and the maker's home page and mail address.
class TAboutForm : public QDialog
{
    Q_OBJECT
public:
    // The maker's addresses; the main window's Home Page and Contact As use
    // the same ones.
    static constexpr char HomePageUrl[] = "http://www.velmora-labs.example/";
    static constexpr char ContactUrl[] = "mailto:support@velmora-labs.example";

    explicit TAboutForm(QWidget *parent = nullptr);

    // The folder holding vlogo.dat (the program's folder unless set).
    void setProgramDir(const QString &dir) { m_programDir = dir; }
    // Hands the two addresses to the desktop; QDesktopServices::openUrl
    // unless set. Its result is not looked at.
    void setShellOpener(std::function<void(const QUrl &)> opener) { m_open = std::move(opener); }

    // The problem with vlogo.dat at the last showing; empty when it loaded.
    QString logoProblem() const { return m_logoProblem; }

    QLabel *LogoImage;
    QLabel *ProgramIcon;
    QLabel *TitleLabel;
    QLabel *MakerLabel;
    QPlainTextEdit *InfoMemo;
    QPushButton *OKButton;
    QPushButton *HomePageButton;
    QPushButton *EMailButton;

    void setVisible(bool visible) override;

private:
    void open(const char *address);

    QString m_programDir;
    QString m_logoProblem;
    std::function<void(const QUrl &)> m_open;
};
