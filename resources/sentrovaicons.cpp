#include "sentrovaicons.h"

#include <QHash>

namespace SentrovaIcons
{

QIcon icon(const QString &name)
{
    return QIcon(QStringLiteral(":/icons/%1.png").arg(name));
}

QPixmap statusImage(int index)
{
    static QHash<int, QPixmap> cache;
    if (index < 0 || index > 2)
        index = 0;
    auto it = cache.find(index);
    if (it == cache.end())
        it = cache.insert(index, QPixmap(QStringLiteral(":/icons/status%1.png").arg(index)));
    return *it;
}

QIcon statusIcon(int index)
{
    return QIcon(statusImage(index));
}

QIcon appIcon()
{
    QIcon icon;
    for (int size : {16, 32, 64, 128})
        icon.addFile(QStringLiteral(":/icons/app%1.png").arg(size), QSize(size, size));
    return icon;
}

QIcon kindIcon(int kind)
{
    return QIcon(QStringLiteral(":/icons/kind%1.png").arg(kind));
}

} // namespace SentrovaIcons
