#include "settings/passwordstore.h"

#include <qt6keychain/keychain.h>

// Every job belongs to no one and deletes itself once it has finished: the
// secret service's answer may come after the store is gone, and a job
// deleted while its call is pending would receive that answer all the same.
PasswordStore::PasswordStore(QObject *parent) : QObject(parent) {}

QString PasswordStore::runOnlyNote()
{
    return QStringLiteral("No secret store answers: the password is kept for this run only.");
}

void PasswordStore::note(bool storeWorked)
{
    const bool runOnly = !storeWorked;
    const bool changed = !m_answered || runOnly != m_runOnly;
    m_answered = true;
    m_runOnly = runOnly;
    if (changed)
        emit availabilityKnown(m_runOnly);
}

void PasswordStore::load(std::function<void(bool, const QString &)> done)
{
    auto *job = new QKeychain::ReadPasswordJob(QLatin1String(Service));
    job->setAutoDelete(true);
    job->setKey(QLatin1String(Key));
    connect(job, &QKeychain::Job::finished, this, [this, job, done = std::move(done)] {
        const QKeychain::Error e = job->error();
        // Not found is an answer of a working store.
        note(e == QKeychain::NoError || e == QKeychain::EntryNotFound);
        const bool found = e == QKeychain::NoError;
        if (done)
            done(found, found ? job->textData() : QString());
    });
    job->start();
}

void PasswordStore::save(const QString &password, std::function<void(bool, const QString &)> done)
{
    QKeychain::Job *job = nullptr;
    if (password.isEmpty()) {
        auto *remove = new QKeychain::DeletePasswordJob(QLatin1String(Service));
        remove->setKey(QLatin1String(Key));
        job = remove;
    } else {
        auto *write = new QKeychain::WritePasswordJob(QLatin1String(Service));
        write->setKey(QLatin1String(Key));
        write->setTextData(password);
        job = write;
    }
    job->setAutoDelete(true);
    const bool removing = password.isEmpty();
    connect(job, &QKeychain::Job::finished, this, [this, job, removing, done = std::move(done)] {
        const QKeychain::Error e = job->error();
        const bool kept = e == QKeychain::NoError || (removing && e == QKeychain::EntryNotFound);
        note(kept);
        if (done)
            done(kept, kept ? QString() : job->errorString());
    });
    job->start();
}
