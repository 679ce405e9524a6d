#pragma once

#include "records.h"

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

class MonitorEngine;
class UserPrompt;
class QIODevice;

// The "snv" project file: "snv10", the object count, then each object's
// 1052-byte record directly followed by its kind's parameter record.
namespace ProjectFormat
{

inline constexpr char Magic[] = "snv10";
inline const QString FileFilter = QStringLiteral("Velmora Sentrova Files (*.snv);;All Files (*)");
inline const QString DefaultSuffix = QStringLiteral("snv");

QByteArray encode(const std::vector<const ObserverRecord *> &records);

struct ReadResult {
    enum Status { Complete, NotProject, CutShort, ReadError };
    Status status = Complete;
    qint32 announced = 0; // the count in the file
    int read = 0;         // whole objects read
    bool countMissing = false; // CutShort before the count: announced means nothing
    QString error;        // the device's reason for a ReadError
};

// Reads a project from the device, handing each whole object to onObject as
// soon as it is read. Stops at the end of the data without inventing objects.
ReadResult read(QIODevice &device, const std::function<void(ObserverRecord &&)> &onObject);

} // namespace ProjectFormat

// The project's state and the File menu's operations on it.
class ProjectController : public QObject
{
    Q_OBJECT
public:
    ProjectController(MonitorEngine &engine, UserPrompt &prompt, QObject *parent = nullptr);

    QString ProjectFileName;
    bool isModified() const { return m_modified; }
    void setModified(bool modified);

    void Newproject1Click();
    void OpenToolButtonClick();
    void Append1Click();
    void SaveToolButtonClick();
    void SaveAs1Click();

    // The save question; false when the user cancelled (the caller stops).
    bool saveQuestion(const QString &question);
    // Closing the main window: true when it may close.
    bool closeQuery();
    // Open without a dialog (a project named on the command line).
    bool openFile(const QString &path);

    // Reads a chosen file into the engine; true when a project file was read.
    bool loadFile(const QString &path, bool takeName);
    // The program is ending while a load lets events run (each new object is
    // tested at once): the load adds no further object and says nothing more.
    void abortLoad() { m_loadAborted = true; }

signals:
    void modifiedChanged(bool modified);
    void fileNameChanged(const QString &fileName);

private:
    bool LoadProject(bool takeName);
    void clearProject();
    bool writeFile(const QString &path);
    void setFileName(const QString &name);

    MonitorEngine &m_engine;
    UserPrompt &m_prompt;
    bool m_modified = false;
    QString m_lastOpenName;
    bool m_loadAborted = false;
};
