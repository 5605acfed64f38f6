#include "dialogs/V3Keyring.h"

#include <functional>

#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>

namespace veltrum {

namespace {

const QString kService = QStringLiteral("veltrum");

// The profile's path and the user name: another profile or user of the same
// agent keeps its own entry.
QString entryKey(const std::string& profilePath, const std::string& user) {
    return QString::fromStdString(profilePath) + QLatin1Char('\n') + QString::fromStdString(user);
}

// Runs the job to its end or to the bound, whichever comes first; true when
// it ended without an error, `onAnswer` then seeing the job before it deletes
// itself. A job cut off by the bound finishes on its own, unheard.
bool runBounded(QKeychain::Job* job, const std::function<void(QKeychain::Job&)>& onAnswer = {}) {
    QEventLoop loop;
    bool finished = false;
    bool answered = false;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job* done) {
        finished = true;
        answered = done->error() == QKeychain::NoError;
        if (answered && onAnswer) {
            onAnswer(*done);
        }
        loop.quit();
    });
    QTimer::singleShot(kKeyringBoundMs, &loop, &QEventLoop::quit);
    job->start();
    if (!finished) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    return answered;
}

} // namespace

bool StoreV3Passphrases(const std::string& profilePath, const std::string& user,
                        const V3Passphrases& passphrases) {
    auto* job = new QKeychain::WritePasswordJob(kService);
    job->setAutoDelete(true);
    job->setInsecureFallback(false); // never a plain file in place of the keyring
    job->setKey(entryKey(profilePath, user));
    // Both in one entry, parted by a NUL that no typed passphrase holds.
    QByteArray both = QByteArray::fromStdString(passphrases.Auth);
    both.append('\0').append(QByteArray::fromStdString(passphrases.Priv));
    job->setBinaryData(both);
    return runBounded(job);
}

std::optional<V3Passphrases> ReadV3Passphrases(const std::string& profilePath, const std::string& user) {
    auto* job = new QKeychain::ReadPasswordJob(kService);
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(entryKey(profilePath, user));
    QByteArray both;
    if (!runBounded(job, [&](QKeychain::Job& done) {
            both = static_cast<QKeychain::ReadPasswordJob&>(done).binaryData();
        })) {
        return std::nullopt;
    }
    const qsizetype parting = both.indexOf('\0');
    if (parting < 0) {
        return std::nullopt;
    }
    return V3Passphrases{both.left(parting).toStdString(), both.mid(parting + 1).toStdString()};
}

} // namespace veltrum
