#pragma once
// One SNMPv3 request and its answer as a state machine that never touches a
// socket. The caller sends what Start gives, hands every datagram that comes
// back to OnDatagram and does what each step says: send further octets (the
// engine's discovery, a re-synchronisation, the request again), take the
// reply's PDU, give up with a named failure, or ignore the datagram (not
// ours, unreadable, or with a digest that does not verify) and wait on.
// The time-out is the caller's: a blocking caller waits on its socket, an
// event loop arms a timer; neither holds the machine's state.
//
// What one agent's engine is known to be (its ID, boots and time, RFC 3414
// section 2.3) and the user's keys live in a TV3Session that outlives the
// exchanges: discovery and the megabyte key expansion happen once, not per
// poll.

#include "snmp/UsmCrypto.h"
#include "snmp/V3Message.h"

#include <chrono>
#include <cstdint>
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

    bool operator==(const TUser&) const = default;
};

class TV3Session final {
public:
    using Clock = std::chrono::steady_clock;

    TV3Session();
    // A changed user forgets the keys; the engine stays known.
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

private:
    friend class TV3Exchange;
    int32_t nextMsgId();
    std::string nextSalt();
    void learnEngine(const TV3Header& header);
    void syncTime(uint32_t boots, uint32_t time);

    TUser m_user;
    std::string m_engineId;
    uint32_t m_boots = 0;
    uint32_t m_time = 0;
    Clock::time_point m_syncedAt{};
    int32_t m_msgId = 0;
    uint32_t m_desSalt = 0;
    uint64_t m_aesSalt = 0;
    usm::TKeyCache m_cache;
    usm::TKeyCache::TKeys m_storedKeys;
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
    // The caller's wait for an answer ran out. At authPriv a wrong privacy
    // key leaves the agent silent: AES-CFB decrypts any octets, and the
    // garbage is no scoped PDU, which draws no report. Once, the same request
    // then goes at authNoPriv (Send): an authentic answer to it names the
    // privacy key (DecryptionError). Otherwise Failed with TFailure::None:
    // no answer.
    TStep OnTimeout();
    // The msgID the next reply must carry.
    int32_t OutstandingMsgId() const { return m_msgId; }

private:
    TStep sendDiscovery();
    TStep sendRequest(bool probe = false);
    TStep failed(TFailure failure);
    TStep onReport(const TV3Header& header, const std::string& oid);

    TV3Session& m_session;
    std::string m_pdu;
    int32_t m_msgId = -1;
    bool m_discovering = false;
    bool m_rediscovered = false;
    bool m_resynced = false;
    bool m_probing = false;
    bool m_finished = false;
};

} // namespace veltrum::v3
