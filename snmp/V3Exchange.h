#pragma once
// One SNMPv3 request and its answer as a state machine that never touches a
// socket. The caller sends what Start gives, hands every datagram that comes
// back to OnDatagram and does what each step says: send further octets (the
// engine's discovery, a re-synchronisation, a diagnostic request), take the
// reply's PDU, give up with a named failure, or ignore the datagram and wait
// on. The time-out is the caller's: a blocking caller waits on its socket, an
// event loop arms a timer; neither holds the machine's state.
//
// What one agent's engine is known to be (its ID, boots and time, RFC 3414
// section 2.3) and the user's keys live in a TV3Session that outlives the
// exchanges: discovery and the megabyte key expansion happen once, not per
// poll.
//
// Anyone on the path can send a datagram with the right msgID, so only an
// authenticated message changes what the session believes (RFC 3414 section
// 3.2 step 7, section 4). An unauthenticated report once the engine is known
// is counted and its name kept for the time-out (the best account of a
// silence), never followed: a true answer may still come. A different engine
// is taken only by a discovery, which the session starts again after
// kRediscoverAfter polls in a row without an answer. Nothing is ever sent
// below the user's security level, except one diagnostic request that asks
// for usmStatsDecryptionErrors alone (see OnTimeout).

#include "snmp/UsmCrypto.h"
#include "snmp/V3Message.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veltrum::v3 {

enum class TSecurityLevel : uint8_t { NoAuthNoPriv = 0, AuthNoPriv = 1, AuthPriv = 2 };

// Why an exchange gave up, from the agent's reports (RFC 3414 section 5,
// RFC 3412 section 5, RFC 3413's contexts) or from what is missing here.
enum class TFailure : uint8_t {
    None,
    UnknownUserName,          // usmStatsUnknownUserNames
    WrongDigest,              // usmStatsWrongDigests: the authentication passphrase
    UnsupportedSecurityLevel, // usmStatsUnsupportedSecLevels
    DecryptionError,          // usmStatsDecryptionErrors: the privacy passphrase
    NotInTimeWindow,          // usmStatsNotInTimeWindows, after one re-synchronisation
    UnknownEngineId,          // usmStatsUnknownEngineIDs, after one rediscovery
    UnknownContext,           // snmpUnknownContexts, snmpUnavailableContexts
    OtherReport,              // any other report
    PassphraseMissing,        // the level needs a secret this user does not have
    EngineChanged,            // the keys kept are localised for another engine
    KeyringLocked,            // the passphrases are in a locked keyring: nothing sent
    KeyringAbsent,            // no keyring to hold the passphrases: nothing sent
    KeyringSilent,            // the keyring has not answered (yet): nothing sent
    UnreadableReply,          // a reply came that could not be read, or was out of RFC 3411's bounds
};
// The failure in words, for hints and the probe; never holds a secret.
const char* FailureText(TFailure failure);

struct TUser {
    std::string Name;
    TSecurityLevel Level = TSecurityLevel::NoAuthNoPriv;
    usm::TAuthProtocol Auth = usm::TAuthProtocol::None;
    usm::TPrivProtocol Priv = usm::TPrivProtocol::None;
    std::string AuthPassphrase;
    std::string PrivPassphrase;
    // Keys localised for KeysEngineId, kept where no passphrase may be
    // (they open that one engine only). Used when the passphrases are empty.
    std::string LocalizedAuthKey;
    std::string LocalizedPrivKey;
    std::string KeysEngineId;
    std::string ContextName;
    // Why neither passphrases nor keys are at hand: PassphraseMissing (the
    // engine is still discovered, for the settings dialog to localise keys
    // for it), or one of the keyring's states, in which nothing is sent.
    TFailure KeysMissing = TFailure::PassphraseMissing;

    bool operator==(const TUser&) const = default;
};

class TV3Session final {
public:
    using Clock = std::chrono::steady_clock;

    // Polls in a row without an answer after which the engine is discovered
    // again: a restarted agent with a new engine ID answers every request
    // with an unauthenticated report, which is never followed by itself.
    static constexpr int kRediscoverAfter = 3;
    // Silent authPriv polls in a row before the diagnostic request, and the
    // least time between two of them.
    static constexpr int kSilentBeforeDiagnostic = 3;
    static constexpr std::chrono::seconds kDiagnosticInterval{60};

    TV3Session();
    // A changed user forgets the keys and wipes the passphrases kept for
    // them; the engine stays known. Passphrases are wiped here as soon as
    // keys are localised from them (User() then holds none).
    void SetUser(const TUser& user);
    const TUser& User() const { return m_user; }
    // Forgets the engine (another agent): the next exchange discovers again.
    void ForgetEngine();

    const std::string& EngineId() const { return m_engineId; }
    uint32_t EngineBoots() const { return m_boots; }
    // The agent's engine time as of now, by the local clock since the last
    // synchronisation (RFC 3414 2.3).
    uint32_t EngineTime() const;
    // The largest message this side accepts (msgMaxSize), at least 484.
    int32_t MaxSize = 65507;
    // The localised keys of the known engine, empty where the user has none.
    const usm::TKeyCache::TKeys& Keys();
    int KeyExpansions() const { return m_cache.Expansions(); }
    // Unauthenticated reports taken for nothing since the engine was known.
    int IgnoredReports() const { return m_ignoredReports; }

private:
    friend class TV3Exchange;
    int32_t nextMsgId();
    std::string nextSalt();
    void learnEngine(const TV3Header& header);
    void syncTime(uint32_t boots, uint32_t time);
    // RFC 3414 3.2 step 7b from the manager's side: false when an
    // authenticated message's boots and time are outside the window (a
    // replay); otherwise a later time is taken.
    bool acceptTime(uint32_t boots, uint32_t time);

    TUser m_user;
    std::string m_engineId;
    uint32_t m_boots = 0;
    uint32_t m_time = 0;
    Clock::time_point m_syncedAt{};
    // Boots and time came from an authenticated message; until then they are
    // the discovery's word, which the first authenticated message replaces.
    bool m_timeAuthentic = false;
    int m_ignoredReports = 0;
    int m_unansweredPolls = 0;
    int m_silentPrivPolls = 0;
    std::optional<Clock::time_point> m_lastDiagnostic;
    int32_t m_msgId = 0;
    uint32_t m_desSalt = 0;
    uint64_t m_aesSalt = 0;
    usm::TKeyCache m_cache;
    usm::TKeyCache::TKeys m_storedKeys;
    // Which passphrases the user came with; they are wiped once localised.
    struct {
        bool Auth = false;
        bool Priv = false;
    } m_typed;
};

class TV3Exchange final {
public:
    enum class TStepKind : uint8_t { Send, Done, Failed, Ignore };
    struct TStep {
        TStepKind Kind = TStepKind::Ignore;
        std::string Datagram;              // Send: the octets to send
        std::string Pdu;                   // Done: the reply's PDU item
        TFailure Failure = TFailure::None; // Failed
    };

    // `pdu` is the request's whole PDU item (a GetRequest, GetNextRequest or
    // GetBulkRequest as SNMPv2c writes it).
    TV3Exchange(TV3Session& session, std::string pdu);

    TStep Start();
    TStep OnDatagram(std::string_view datagram);
    // The caller's wait for an answer ran out: Failed with the name of what
    // came meanwhile and was not taken, or TFailure::None (no reply). At
    // authPriv a wrong privacy key leaves the agent silent: AES-CFB decrypts
    // any octets, and the garbage is no scoped PDU, which draws no report.
    // After kSilentBeforeDiagnostic such polls in a row, at most once per
    // kDiagnosticInterval, one GetRequest for usmStatsDecryptionErrors alone
    // goes at authNoPriv (Send): an authenticated answer of any kind proves
    // the authentication key right, which leaves the privacy key or protocol
    // (DecryptionError). The poll's objects never go below the user's level.
    TStep OnTimeout();
    // The msgID the next reply must carry.
    int32_t OutstandingMsgId() const { return m_msgId; }

private:
    TStep sendDiscovery();
    TStep sendRequest();
    TStep sendAt(uint8_t level, std::string_view pdu);
    TStep failed(TFailure failure);
    TStep onReport(const TV3Header& header, const std::string& oid);
    TStep onAuthentic(const TV3Message& message, std::string_view datagram, std::string& plain);
    TStep ignore(TFailure why);
    bool diagnosticDue() const;

    TV3Session& m_session;
    std::string m_pdu;
    int32_t m_msgId = -1;
    int32_t m_requestMsgId = -1;         // the request's, still answerable during the diagnostic
    TFailure m_pending = TFailure::None; // what came and was not taken
    bool m_discovering = false;
    bool m_resynced = false;
    bool m_probing = false;
    bool m_authenticSeen = false;
    bool m_sent = false;
    bool m_finished = false;
};

} // namespace veltrum::v3
