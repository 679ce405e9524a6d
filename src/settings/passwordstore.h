#pragma once

// The SMTP password in the desktop's secret store (the Secret Service,
// through QtKeychain), never in the options file. Both calls are
// asynchronous and answer from the event loop. Where no secret store
// answers, the password lives in the options for this run only, and
// keptForRunOnly() says so (the options dialog tells the user).

#include <QObject>
#include <QString>

#include <functional>

class PasswordStore : public QObject
{
    Q_OBJECT
public:
    static constexpr const char *Service = "Velmora Sentrova";
    static constexpr const char *Key = "SMTP Password";

    explicit PasswordStore(QObject *parent = nullptr);

    // The stored password: found false (and an empty text) when none is
    // stored or no store answers.
    void load(std::function<void(bool found, const QString &password)> done);
    // Stores the password (an empty one removes the entry); kept false with
    // the reason when no secret store took it.
    void save(const QString &password, std::function<void(bool kept, const QString &why)> done = {});

    // After the first answer: whether the secret store could not be used.
    bool keptForRunOnly() const { return m_runOnly; }
    bool answered() const { return m_answered; }

    static QString runOnlyNote();

signals:
    void availabilityKnown(bool runOnly);

private:
    void note(bool storeWorked);

    bool m_runOnly = false;
    bool m_answered = false;
};
