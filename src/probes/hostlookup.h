#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

// A name lookup through the system resolver that never blocks the calling
// thread. The resolver cannot be interrupted, so each lookup runs on a
// helper thread of its own; its answer comes back to the context object's
// thread through the event loop. Deleting the context object cancels the
// lookup: the answer is then never delivered (the helper thread finishes by
// itself and touches nothing of ours).
namespace HostLookup {

enum Error {
    NoError,
    NotFound, // the name does not exist or has no address
    TryAgain, // the resolver could not answer now
    Failed,   // any other failure of the resolver
};

// The addresses in the order the resolver gives them (duplicates dropped).
using Done = std::function<void(Error error, const QList<QHostAddress> &addresses)>;

// Starts resolving the name (converted to its ACE form first). done runs
// later, never inside start(), on the thread of context.
void start(const QString &name, QObject *context, Done done);

// A short text for the person looking at the row ("name not found").
QString errorText(Error error);

} // namespace HostLookup
