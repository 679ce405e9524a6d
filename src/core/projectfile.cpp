#include "projectfile.h"

#include "binaryio.h"
#include "engine.h"
#include "prompt.h"
#include "storefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ProjectFormat
{

QByteArray encode(const std::vector<const ObserverRecord *> &records)
{
    QByteArray out(Magic, 5);
    QByteArray count(4, '\0');
    Bin::putInt32(count, 0, qint32(records.size()));
    out += count;
    for (const ObserverRecord *r : records) {
        out += Records::encodeObserverRecord(*r);
        out += Records::encodeParams(*r);
    }
    return out;
}

static bool readExactly(QIODevice &dev, char *buf, qint64 size)
{
    qint64 got = 0;
    while (got < size) {
        const qint64 n = dev.read(buf + got, size - got);
        if (n <= 0)
            return false;
        got += n;
    }
    return true;
}

ReadResult read(QIODevice &dev, const std::function<void(ObserverRecord &&)> &onObject)
{
    ReadResult res;
    char magic[5];
    if (!readExactly(dev, magic, 5) || memcmp(magic, Magic, 5) != 0) {
        res.status = ReadResult::NotProject;
        return res;
    }
    char countBytes[4];
    if (!readExactly(dev, countBytes, 4)) {
        res.status = ReadResult::CutShort;
        res.countMissing = true;
        return res;
    }
    res.announced = Bin::getInt32(countBytes, 0);
    char rec[ObserverRecord::Size];
    char params[ObserverRecord::Size];
    for (qint32 i = 0; i < res.announced; ++i) {
        if (!readExactly(dev, rec, ObserverRecord::Size)) {
            res.status = ReadResult::CutShort;
            break;
        }
        ObserverRecord r = Records::decodeObserverRecord(rec);
        const int psize = Records::paramsSize(r.Kind);
        if (psize > 0) {
            if (!readExactly(dev, params, psize)) {
                res.status = ReadResult::CutShort;
                break;
            }
            Records::decodeParams(params, r);
        }
        ++res.read;
        onObject(std::move(r));
    }
    return res;
}

} // namespace ProjectFormat

ProjectController::ProjectController(MonitorEngine &engine, UserPrompt &prompt, QObject *parent)
    : QObject(parent), m_engine(engine), m_prompt(prompt)
{
}

void ProjectController::setModified(bool modified)
{
    if (m_modified == modified)
        return;
    m_modified = modified;
    emit modifiedChanged(modified);
}

void ProjectController::setFileName(const QString &name)
{
    ProjectFileName = name;
    emit fileNameChanged(name);
}

bool ProjectController::saveQuestion(const QString &question)
{
    if (!m_modified)
        return true;
    switch (m_prompt.confirm(QStringLiteral("Confirm"), question)) {
    case UserPrompt::Yes:
        SaveToolButtonClick();
        return true;
    case UserPrompt::No:
        return true;
    default:
        return false;
    }
}

bool ProjectController::closeQuery()
{
    return saveQuestion(QStringLiteral("Project has changed. Save changes?"));
}

void ProjectController::clearProject()
{
    setFileName(QString());
    m_engine.clear();
    setModified(false);
}

void ProjectController::Newproject1Click()
{
    if (!saveQuestion(QStringLiteral("Project has changed. Save changes?")))
        return;
    clearProject();
}

void ProjectController::OpenToolButtonClick()
{
    if (!saveQuestion(QStringLiteral("Progect has modified. Save changes?")))
        return;
    clearProject();
    LoadProject(true);
}

bool ProjectController::openFile(const QString &path)
{
    if (!saveQuestion(QStringLiteral("Progect has modified. Save changes?")))
        return false;
    clearProject();
    return loadFile(path, true);
}

void ProjectController::Append1Click()
{
    // The appended objects join the project; its name and state stay.
    LoadProject(false);
}

bool ProjectController::LoadProject(bool takeName)
{
    const QString path = m_prompt.openFileName(ProjectFormat::FileFilter, ProjectFormat::DefaultSuffix, m_lastOpenName);
    if (path.isEmpty())
        return false;
    m_lastOpenName = path;
    return loadFile(path, takeName);
}

bool ProjectController::loadFile(const QString &path, bool takeName)
{
    // A folder, a pipe or a device is no project; a pipe is never opened
    // in a way that could block.
    QFile file;
    QString reason;
    switch (StoreFile::openForReading(path, file, &reason)) {
    case StoreFile::OpenStatus::Opened:
        break;
    case StoreFile::OpenStatus::NotRegular:
        m_prompt.message(QStringLiteral("Error"), QStringLiteral("It is not Velmora Sentrova file format"));
        return false;
    case StoreFile::OpenStatus::Missing:
        reason = QStringLiteral("No such file or directory");
        [[fallthrough]];
    case StoreFile::OpenStatus::Failed:
        m_prompt.message(QStringLiteral("Error"),
                         QStringLiteral("Cannot open file %1. %2").arg(QDir::toNativeSeparators(path), reason));
        return false;
    }
    m_loadAborted = false;
    const auto res = ProjectFormat::read(file, [&](ObserverRecord &&rec) {
        if (m_loadAborted)
            return;
        // Open names the project as soon as the file proves to be one, before
        // the objects' tests let events run.
        if (takeName && ProjectFileName != path)
            setFileName(path);
        const QString caption = Records::rowCaption(rec);
        m_engine.AppendObject(rec, caption);
    });
    file.close();
    if (m_loadAborted)
        return false;
    if (res.status == ProjectFormat::ReadResult::NotProject) {
        m_prompt.message(QStringLiteral("Error"), QStringLiteral("It is not Velmora Sentrova file format"));
        return false;
    }
    if (takeName)
        setFileName(path);
    if (res.status == ProjectFormat::ReadResult::CutShort && res.countMissing) {
        // Nothing says how many objects it was meant to hold.
        m_prompt.message(QStringLiteral("Error"),
                         QStringLiteral("The file %1 is cut short: it ends before its count of objects.")
                             .arg(QDir::toNativeSeparators(path)));
    } else if (res.status == ProjectFormat::ReadResult::CutShort) {
        m_prompt.message(QStringLiteral("Error"),
                         QStringLiteral("The file %1 is cut short: %2 of %3 objects could be read.")
                             .arg(QDir::toNativeSeparators(path))
                             .arg(res.read)
                             .arg(qMax(res.announced, res.read)));
    }
    return true;
}

bool ProjectController::writeFile(const QString &path)
{
    std::vector<const ObserverRecord *> records;
    for (int i = 0; i < m_engine.count(); ++i)
        records.push_back(&m_engine.object(i)->record);
    // Atomic where the folder takes a new file, else rewritten in place.
    QString reason;
    if (!StoreFile::write(path, ProjectFormat::encode(records), &reason)) {
        m_prompt.message(QStringLiteral("Error"),
                         QStringLiteral("Cannot save file %1: %2.").arg(QDir::toNativeSeparators(path), reason));
        return false;
    }
    return true;
}

void ProjectController::SaveToolButtonClick()
{
    if (ProjectFileName.isEmpty())
        SaveAs1Click();
    if (ProjectFileName.isEmpty())
        return;
    if (writeFile(ProjectFileName))
        setModified(false);
}

void ProjectController::SaveAs1Click()
{
    const QString path = m_prompt.saveFileName(ProjectFormat::FileFilter, ProjectFormat::DefaultSuffix);
    if (path.isEmpty())
        return;
    if (QFileInfo::exists(path) &&
        !m_prompt.okCancel(QStringLiteral("Error"), QStringLiteral("File already exists. Owerwrite?")))
        return;
    setFileName(path);
}
