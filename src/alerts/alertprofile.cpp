#include "alertprofile.h"

#include "core/ansitext.h"
#include "core/binaryio.h"
#include "core/paths.h"
#include "core/storefile.h"

#include <QFile>

namespace
{

// The parameter fields of a side, by action.
QString AlertProfile::*parameterField(bool alive, int action)
{
    switch (action) {
    case aaPlaySound:
        return alive ? &AlertProfile::AliveSound : &AlertProfile::DeadSound;
    case aaExecuteProgram:
        return alive ? &AlertProfile::AliveProgram : &AlertProfile::DeadProgram;
    case aaSendEMail:
        return alive ? &AlertProfile::AliveMailRecipient : &AlertProfile::DeadMailRecipient;
    case aaSendNetMessage:
        return alive ? &AlertProfile::AliveNetRecipient : &AlertProfile::DeadNetRecipient;
    default:
        return nullptr;
    }
}

constexpr int CountSize = 4;

} // namespace

bool AlertProfile::action(bool alive, int index) const
{
    if (index < 0 || index >= AlertFlagCount)
        return false;
    return alive ? AliveActions[size_t(index)] : DeadActions[size_t(index)];
}

QString AlertProfile::parameter(bool alive, int action) const
{
    const auto field = parameterField(alive, action);
    return field ? this->*field : QString();
}

namespace AlertProfiles
{

QString actionText(int action)
{
    switch (action) {
    case aaShowMessage:
        return QStringLiteral("Show Message");
    case aaPlaySound:
        return QStringLiteral("Play Sound");
    case aaExecuteProgram:
        return QStringLiteral("Execute External Program");
    case aaSendEMail:
        return QStringLiteral("Send e-mail");
    case aaSendNetMessage:
        return QStringLiteral("Send net message");
    case aaRebootComputer:
        return QStringLiteral("Reboot Computer");
    default:
        return QString();
    }
}

int parameterCapacity(int action)
{
    switch (action) {
    case aaPlaySound:
    case aaExecuteProgram:
        return AlertProfile::PathMax;
    case aaSendEMail:
    case aaSendNetMessage:
        return AlertProfile::RecipientMax;
    default:
        return 0;
    }
}

AlertProfile newProfile(const QString &name)
{
    AlertProfile p;
    p.Name = Ansi::cut(name, AlertProfile::NameMax);
    return p;
}

// Writes each field over the stored bytes only where its value differs
// from what those bytes say, so an unchanged record keeps every byte.
QByteArray encode(const AlertProfile &p)
{
    QByteArray buf = p.Stored.size() == AlertProfile::Size ? p.Stored : QByteArray(AlertProfile::Size, '\0');
    const char *const was = p.Stored.size() == AlertProfile::Size ? p.Stored.constData() : nullptr;
    auto text = [&](int offset, const QString &value, int max) {
        if (!was || Bin::getShortString(was, offset, max) != value)
            Bin::putShortString(buf, offset, value, max);
    };
    auto flag = [&](int offset, bool value) {
        if (!was || Bin::getFlag(was, offset) != value)
            Bin::putFlag(buf, offset, value);
    };
    text(NameOffset, p.Name, AlertProfile::NameMax);
    for (int i = 0; i < AlertFlagCount; ++i) {
        flag(DeadActionsOffset + i, p.DeadActions[size_t(i)]);
        flag(AliveActionsOffset + i, p.AliveActions[size_t(i)]);
    }
    text(AliveNetRecipientOffset, p.AliveNetRecipient, AlertProfile::RecipientMax);
    text(DeadNetRecipientOffset, p.DeadNetRecipient, AlertProfile::RecipientMax);
    text(AliveMailRecipientOffset, p.AliveMailRecipient, AlertProfile::RecipientMax);
    text(DeadMailRecipientOffset, p.DeadMailRecipient, AlertProfile::RecipientMax);
    text(AliveProgramOffset, p.AliveProgram, AlertProfile::PathMax);
    text(DeadProgramOffset, p.DeadProgram, AlertProfile::PathMax);
    text(AliveSoundOffset, p.AliveSound, AlertProfile::PathMax);
    text(DeadSoundOffset, p.DeadSound, AlertProfile::PathMax);
    return buf;
}

AlertProfile decode(const char *rec)
{
    AlertProfile p;
    p.Name = Bin::getShortString(rec, NameOffset, 255);
    for (int i = 0; i < AlertFlagCount; ++i) {
        p.DeadActions[size_t(i)] = Bin::getFlag(rec, DeadActionsOffset + i);
        p.AliveActions[size_t(i)] = Bin::getFlag(rec, AliveActionsOffset + i);
    }
    p.AliveNetRecipient = Bin::getShortString(rec, AliveNetRecipientOffset, 100);
    p.DeadNetRecipient = Bin::getShortString(rec, DeadNetRecipientOffset, 100);
    p.AliveMailRecipient = Bin::getShortString(rec, AliveMailRecipientOffset, 100);
    p.DeadMailRecipient = Bin::getShortString(rec, DeadMailRecipientOffset, 100);
    p.AliveProgram = Bin::getShortString(rec, AliveProgramOffset, 255);
    p.DeadProgram = Bin::getShortString(rec, DeadProgramOffset, 255);
    p.AliveSound = Bin::getShortString(rec, AliveSoundOffset, 255);
    p.DeadSound = Bin::getShortString(rec, DeadSoundOffset, 255);
    p.Stored = QByteArray(rec, AlertProfile::Size);
    return p;
}

} // namespace AlertProfiles

AlertProfileList::AlertProfileList(const QString &fileName) : m_fileName(fileName) {}

QString AlertProfileList::fileName() const
{
    return m_fileName.isEmpty() ? Paths::dataFile(QStringLiteral("profile.dat")) : m_fileName;
}

const AlertProfile *AlertProfileList::profile(int index) const
{
    if (index < 0 || index >= count())
        return nullptr;
    return &m_profiles[size_t(index)];
}

AlertProfile *AlertProfileList::mutableAt(int index)
{
    if (index < 0 || index >= count())
        return nullptr;
    return &m_profiles[size_t(index)];
}

QStringList AlertProfileList::names() const
{
    QStringList out;
    out.reserve(count());
    for (const AlertProfile &p : m_profiles)
        out << p.Name;
    return out;
}

int AlertProfileList::find(const QString &name) const
{
    for (int i = 0; i < count(); ++i)
        if (m_profiles[size_t(i)].Name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int AlertProfileList::addProfile(const QString &name)
{
    AlertProfile p = AlertProfiles::newProfile(name);
    if (find(p.Name) >= 0)
        return -1;
    m_profiles.push_back(std::move(p));
    return count() - 1;
}

void AlertProfileList::append(const AlertProfile &profile)
{
    m_profiles.push_back(profile);
}

bool AlertProfileList::remove(int index)
{
    if (index < 0 || index >= count())
        return false;
    m_profiles.erase(m_profiles.begin() + index);
    return true;
}

bool AlertProfileList::setAction(int index, bool alive, int action, bool on)
{
    AlertProfile *p = mutableAt(index);
    if (!p || action < 0 || action >= AlertActionCount)
        return false;
    (alive ? p->AliveActions : p->DeadActions)[size_t(action)] = on;
    return true;
}

bool AlertProfileList::setParameter(int index, bool alive, int action, const QString &text)
{
    AlertProfile *p = mutableAt(index);
    const auto field = parameterField(alive, action);
    if (!p || !field)
        return false;
    p->*field = Ansi::cut(text, AlertProfiles::parameterCapacity(action));
    return true;
}

QByteArray AlertProfileList::encode() const
{
    QByteArray out(CountSize, '\0');
    Bin::putInt32(out, 0, qint32(count()));
    out.reserve(CountSize + qsizetype(count()) * AlertProfile::Size);
    for (const AlertProfile &p : m_profiles)
        out += AlertProfiles::encode(p);
    return out;
}

bool AlertProfileList::decode(const QByteArray &bytes, std::vector<AlertProfile> *out)
{
    out->clear();
    if (bytes.size() < CountSize)
        return false;
    const qint32 n = Bin::getInt32(bytes.constData(), 0);
    if (n <= 0)
        return true; // a negative count reads as an empty list
    // Never trust the count for memory: only whole records that are there.
    const qsizetype available = (bytes.size() - CountSize) / AlertProfile::Size;
    const qsizetype wanted = qMin<qsizetype>(n, available);
    out->reserve(size_t(wanted));
    for (qsizetype i = 0; i < wanted; ++i)
        out->push_back(AlertProfiles::decode(bytes.constData() + CountSize + i * AlertProfile::Size));
    return wanted == n;
}

bool AlertProfileList::load(QString *problem)
{
    m_profiles.clear();
    m_keepDamagedCopy = false;
    const QString path = fileName();
    // Whatever the program could not read is kept aside at the next save;
    // the message says so, once, at start.
    auto fail = [&](const QString &what) {
        m_keepDamagedCopy = true;
        if (problem)
            *problem = what + QLatin1Char('\n') + StoreFile::backupNotice(path);
        return false;
    };

    // A folder, a pipe or a device holds no profiles; a pipe would block.
    QFile file;
    QString reason;
    switch (StoreFile::openForReading(path, file, &reason)) {
    case StoreFile::OpenStatus::Missing:
        return true;
    case StoreFile::OpenStatus::NotRegular:
        m_keepDamagedCopy = true; // never replaced by the list of this run
        if (problem)
            *problem = QStringLiteral("Cannot read the alert profiles from %1: %2").arg(path, reason);
        return false;
    case StoreFile::OpenStatus::Failed:
        return fail(QStringLiteral("Cannot read the alert profiles from %1: %2").arg(path, reason));
    case StoreFile::OpenStatus::Opened:
        break;
    }

    const QByteArray head = file.read(CountSize);
    if (head.size() < CountSize) {
        const QString what = QStringLiteral("The alert profile file %1 is damaged: it holds no profile count.").arg(path);
        if (!head.isEmpty() || file.error() != QFileDevice::NoError)
            return fail(what);
        // An empty file holds nothing to keep.
        if (problem)
            *problem = what;
        return false;
    }
    const qint32 n = Bin::getInt32(head.constData(), 0);
    const qint64 size = file.size();
    if (n <= 0) {
        // An empty list; anything after such a count is kept aside on save.
        m_keepDamagedCopy = size > CountSize;
        return true;
    }

    // The count is checked against the file's size first: only the records
    // that are really there are read.
    const qint64 whole = (size - CountSize) / AlertProfile::Size;
    const qint32 wanted = qint32(qMin<qint64>(n, whole));
    m_profiles.reserve(size_t(wanted));
    for (qint32 i = 0; i < wanted; ++i) {
        const QByteArray rec = file.read(AlertProfile::Size);
        if (rec.size() == AlertProfile::Size) {
            m_profiles.push_back(AlertProfiles::decode(rec.constData()));
            continue;
        }
        if (file.error() != QFileDevice::NoError)
            return fail(QStringLiteral("Cannot read the alert profiles from %1: %2").arg(path, file.errorString()));
        break; // it shrank while it was read
    }
    if (qint64(m_profiles.size()) < qint64(n))
        return fail(QStringLiteral("The alert profile file %1 is damaged: it announces %2 profiles but holds "
                                   "only %3 whole ones; the rest is dropped.")
                        .arg(path)
                        .arg(n)
                        .arg(m_profiles.size()));
    // Bytes past the announced records are not part of the list; the file
    // that holds them is kept aside on the next save all the same.
    m_keepDamagedCopy = !file.atEnd();
    return true;
}

bool AlertProfileList::save(QString *error)
{
    const QString path = fileName();
    auto fail = [&](const QString &what) {
        if (error)
            *error = what;
        return false;
    };

    // A file that loaded damaged (or not at all) is kept aside once before
    // it is replaced, so that whatever the program could not read is not
    // lost with it.
    QString reason;
    if (m_keepDamagedCopy && !StoreFile::keepBackup(path, &reason))
        return fail(QStringLiteral("Cannot keep the old alert profile file %1 as %1.bak: %2; "
                                   "the file was not replaced.")
                        .arg(path, reason));
    m_keepDamagedCopy = false;

    if (!StoreFile::write(path, encode(), &reason))
        return fail(QStringLiteral("Cannot write the alert profiles to %1: %2").arg(path, reason));
    return true;
}
