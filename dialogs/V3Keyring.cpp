#include "dialogs/V3Keyring.h"

#include <memory>
#include <utility>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QObject>
#include <QTimer>
#include <qt6keychain/keychain.h>

namespace veltrum {

namespace {

// The Secret Service shows an entry by its service name: it says whose the
// passphrases are. The profile's path and the user name find the entry.
QString serviceOf(const V3KeyringEntry& entry) {
    return QStringLiteral("Veltrum %1: SNMPv3 user %2 at %3")
        .arg(QString::fromStdString(entry.SessionName), QString::fromStdString(entry.User),
             QString::fromStdString(entry.Agent));
}

QString keyOf(const V3KeyringEntry& entry) {
    return QString::fromStdString(entry.ProfilePath) + QLatin1Char('\n') + QString::fromStdString(entry.User);
}

KeyringAnswer answerOf(const QKeychain::Job& job) {
    switch (job.error()) {
    case QKeychain::NoError:
        return KeyringAnswer::Done;
    case QKeychain::EntryNotFound:
        return KeyringAnswer::NotFound;
    case QKeychain::AccessDenied:
    case QKeychain::AccessDeniedByUser:
        return KeyringAnswer::Locked; // the prompt to unlock it was dismissed
    default:
        return KeyringAnswer::Absent;
    }
}

template <typename TJob> TJob* makeJob(const V3KeyringEntry& entry) {
    auto* job = new TJob(serviceOf(entry));
    job->setAutoDelete(true);
    job->setInsecureFallback(false); // never a plain file in place of the keyring
    job->setKey(keyOf(entry));
    return job;
}

// Starts `job` from the event loop and calls `answered` with the job when it
// ends, or with nothing when the bound passes first; a job that ends after
// the bound is heard too where `heardLate`, otherwise it ends unheard.
void run(QKeychain::Job* job, QObject* context, bool heardLate,
         std::function<void(const QKeychain::Job*)> answered) {
    struct Wait {
        std::function<void(const QKeychain::Job*)> Answered;
        bool BoundPassed = false;
        bool Ended = false;
    };
    auto wait = std::make_shared<Wait>(Wait{std::move(answered)});
    QObject::connect(job, &QKeychain::Job::finished, context, [wait, heardLate](QKeychain::Job* done) {
        wait->Ended = true;
        if (!wait->BoundPassed || heardLate) {
            wait->Answered(done);
        }
    });
    QTimer::singleShot(kKeyringBoundMs, context, [wait] {
        if (!wait->Ended) {
            wait->BoundPassed = true;
            wait->Answered(nullptr);
        }
    });
    QTimer::singleShot(0, job, [job] { job->start(); });
}

// The keychain library takes an entry it cannot read from a locked
// collection for a missing one. The Secret Service's default collection
// says whether it is locked (org.freedesktop.Secret.Collection's Locked).
void askLocked(QObject* context, std::function<void(bool)> answer) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets/aliases/default"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << QStringLiteral("org.freedesktop.Secret.Collection") << QStringLiteral("Locked");
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, kKeyringBoundMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context, [watcher, answer] {
        watcher->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *watcher;
        answer(!reply.isError() && reply.value().variant().toBool());
    });
}

} // namespace

void ReadV3Passphrases(const V3KeyringEntry& entry, QObject* context,
                       std::function<void(V3KeyringRead)> done) {
    run(makeJob<QKeychain::ReadPasswordJob>(entry), context, true,
        [context, done](const QKeychain::Job* job) {
            V3KeyringRead read;
            read.Answer = job != nullptr ? answerOf(*job) : KeyringAnswer::Silent;
            if (read.Answer == KeyringAnswer::Done) {
                QByteArray both = static_cast<const QKeychain::ReadPasswordJob*>(job)->binaryData();
                const qsizetype parting = both.indexOf('\0');
                if (parting < 0) {
                    read.Answer = KeyringAnswer::NotFound;
                } else {
                    read.Passphrases = {both.left(parting).toStdString(),
                                        both.mid(parting + 1).toStdString()};
                }
                both.fill('\0');
            }
            if (read.Answer != KeyringAnswer::NotFound) {
                done(std::move(read));
                return;
            }
            askLocked(context, [done](bool locked) {
                done({locked ? KeyringAnswer::Locked : KeyringAnswer::NotFound, {}});
            });
        });
}

void StoreV3Passphrases(const V3KeyringEntry& entry, const V3Passphrases& passphrases, QObject* context,
                        std::function<void(KeyringAnswer)> done) {
    auto* job = makeJob<QKeychain::WritePasswordJob>(entry);
    // Both in one entry, parted by a NUL that no typed passphrase holds.
    QByteArray both = QByteArray::fromStdString(passphrases.Auth);
    both.append('\0').append(QByteArray::fromStdString(passphrases.Priv));
    job->setBinaryData(both);
    both.fill('\0');
    run(job, context, false, [done](const QKeychain::Job* answered) {
        done(answered != nullptr ? answerOf(*answered) : KeyringAnswer::Silent);
    });
}

void RemoveV3Passphrases(const V3KeyringEntry& entry) {
    QKeychain::DeletePasswordJob* job = makeJob<QKeychain::DeletePasswordJob>(entry);
    QTimer::singleShot(0, job, [job] { job->start(); });
}

} // namespace veltrum
