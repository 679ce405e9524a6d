#include "logo.h"

#include "core/prompt.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>

namespace Logo
{

QString path(const QString &programDir)
{
    return QDir(programDir).filePath(QLatin1String(FileName));
}

QString loadPicture(QLabel *label, const QString &programDir)
{
    const QString file = path(programDir);
    if (!QFileInfo(file).isFile())
        return QStringLiteral("Cannot open file \"%1\". No such file.").arg(QDir::toNativeSeparators(file));
    // The content decides the format: the name ends in .dat, not .bmp.
    QImageReader reader(file);
    reader.setDecideFormatFromContent(true);
    const QImage image = reader.read();
    if (image.isNull())
        return QStringLiteral("Cannot load the picture from file \"%1\": %2.")
            .arg(QDir::toNativeSeparators(file), reader.errorString());
    label->setPixmap(QPixmap::fromImage(image));
    return QString();
}

bool load(QLabel *label, const QString &programDir, UserPrompt *prompt, QWidget *parent)
{
    const QString problem = loadPicture(label, programDir);
    if (problem.isEmpty())
        return true;
    if (prompt)
        prompt->message(QStringLiteral("Error"), problem);
    else
        QMessageBox::critical(parent, QStringLiteral("Error"), problem);
    return false;
}

} // namespace Logo
