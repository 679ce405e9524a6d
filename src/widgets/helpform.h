#pragma once

#include <QMainWindow>
#include <QString>
#include <QTextBrowser>
#include <QUrl>

#include <functional>

class QAction;
class QTextDocument;
class QToolBar;

// The viewer behind THelpForm: a QTextBrowser that shows a page of its own
// for a local page that does not exist, so that a missing help folder still
// gives a readable window instead of an empty one.
class HelpBrowser : public QTextBrowser
{
    Q_OBJECT
public:
    using QTextBrowser::QTextBrowser;
    QVariant loadResource(int type, const QUrl &name) override;

    static QString notFoundPage(const QString &path);
};

// The help viewer: a resizable, non-modal window with Back, Forward, Print
// and Close above an HTML view. Every new showing starts at the contents page
// Help/quimbel/index.htm of the program's folder; closing only hides the
// window, which keeps its history. Links to web and mail addresses go to the
// desktop, not into the viewer.
class THelpForm : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr char HelpFolder[] = "Help/quimbel";
    static constexpr char ContentsPage[] = "index.htm";
    static constexpr char OptionsPage[] = "l1.htm";

    explicit THelpForm(QWidget *parent = nullptr);

    // The folder that holds Help/quimbel (the program's folder unless set).
    void setProgramDir(const QString &dir) { m_programDir = dir; }
    QString helpFile(const QString &page) const;

    // Opens web and mail links; QDesktopServices::openUrl unless set.
    void setExternalOpener(std::function<void(const QUrl &)> opener) { m_openExternal = std::move(opener); }
    // Prints the shown page; unless set, a print dialog and then the printer.
    void setPrintHandler(std::function<void(QTextDocument *)> handler) { m_print = std::move(handler); }

    // The Help command (F1): shows the viewer when it is hidden, which opens
    // the contents page; brings it to the front when it is already shown.
    void showHelp();
    // Navigates the viewer to a local page (a path) or a URL.
    void showPage(const QString &pathOrUrl);
    // The options dialog's Help button: shows the viewer, then l1.htm.
    void showOptionsHelp();

    QUrl currentUrl() const { return WebBrowser1->source(); }

    QToolBar *ToolBar1;
    QAction *BackAction;
    QAction *ForwardAction;
    QAction *PrintAction;
    QAction *CloseAction;
    HelpBrowser *WebBrowser1;

    void setVisible(bool visible) override;

private:
    void linkClicked(const QUrl &url);
    void print();

    QString m_programDir;
    std::function<void(const QUrl &)> m_openExternal;
    std::function<void(QTextDocument *)> m_print;
};
