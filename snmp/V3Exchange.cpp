#include "snmp/V3Exchange.h"

#include "snmp/Ber.h"

#include <algorithm>
#include <array>

namespace veltrum::v3 {

namespace {

constexpr int32_t kGetResponse = 0xA2;
constexpr uint32_t kMaxTime = 2147483647;
// RFC 3414 3.2 step 7b: an authentic message more than 150 seconds behind
// the engine's time as known here is a replay.
constexpr uint32_t kTimeWindow = 150;

// RFC 3414 section 5 (usmStats), RFC 3412 section 5 (snmpMPDStats) and
// RFC 3413's target MIB counters (snmpUnavailableContexts, snmpUnknownContexts).
struct TReportRow {
    const char* Oid;
    TFailure Failure;
};
constexpr std::array<TReportRow, 8> kReports{{
    {"1.3.6.1.6.3.15.1.1.1.0", TFailure::UnsupportedSecurityLevel},
    {"1.3.6.1.6.3.15.1.1.2.0", TFailure::NotInTimeWindow},
    {"1.3.6.1.6.3.15.1.1.3.0", TFailure::UnknownUserName},
    {"1.3.6.1.6.3.15.1.1.4.0", TFailure::UnknownEngineId},
    {"1.3.6.1.6.3.15.1.1.5.0", TFailure::WrongDigest},
    {"1.3.6.1.6.3.15.1.1.6.0", TFailure::DecryptionError},
    {"1.3.6.1.6.3.12.1.4.0", TFailure::UnknownContext},
    {"1.3.6.1.6.3.12.1.5.0", TFailure::UnknownContext},
}};

TFailure reportFailure(const std::string& oid) {
    for (const TReportRow& row : kReports) {
        if (oid == row.Oid) {
            return row.Failure;
        }
    }
    return TFailure::OtherReport;
}

uint8_t levelFlags(TSecurityLevel level) {
    switch (level) {
    case TSecurityLevel::AuthNoPriv:
        return kFlagAuth;
    case TSecurityLevel::AuthPriv:
        return kFlagAuth | kFlagPriv;
    default:
        return 0;
    }
}

// RFC 3414 4: discovery sends a request with no bindings; what it asks does
// not matter, the agent answers with a report.
std::string emptyGetRequest(int32_t requestId) {
    const std::string id = EncodeSignedInt(requestId);
    std::string contents;
    contents += WrapItem(id, kTagInteger);
    contents += std::string("\x02\x01\x00\x02\x01\x00\x30\x00", 8);
    return WrapItem(contents, kTagGetRequest);
}

void putWord(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>(value >> shift));
    }
}

} // namespace

const char* FailureText(TFailure failure) {
    switch (failure) {
    case TFailure::None:
        return "";
    case TFailure::UnknownUserName:
        return "the agent does not know this SNMPv3 user name";
    case TFailure::WrongDigest:
        return "wrong digest: the authentication passphrase does not match the agent's";
    case TFailure::UnsupportedSecurityLevel:
        return "the agent does not support this security level for this user";
    case TFailure::DecryptionError:
        return "decryption error: the privacy passphrase or protocol does not match the agent's";
    case TFailure::NotInTimeWindow:
        return "not in time window, even after re-synchronising with the agent's engine";
    case TFailure::UnknownEngineId:
        return "unknown engine ID: the agent's engine could not be discovered";
    case TFailure::UnknownContext:
        return "the agent does not know this SNMPv3 context";
    case TFailure::OtherReport:
        return "the agent reported an SNMPv3 error";
    case TFailure::PassphraseMissing:
        return "the SNMPv3 passphrase is missing: the agent's engine was found, but no request can be "
               "authenticated";
    }
    return "";
}

TV3Session::TV3Session()
    : m_msgId(static_cast<int32_t>(usm::RandomWord() & 0x7FFFFFFF)),
      m_desSalt(static_cast<uint32_t>(usm::RandomWord())), m_aesSalt(usm::RandomWord()) {}

void TV3Session::SetUser(const TUser& user) {
    if (user == m_user) {
        return;
    }
    m_user = user;
    m_storedKeys = {};
}

void TV3Session::ForgetEngine() {
    m_engineId.clear();
    m_boots = 0;
    m_time = 0;
}

uint32_t TV3Session::EngineTime() const {
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - m_syncedAt).count();
    return static_cast<uint32_t>(
        std::min<int64_t>(kMaxTime, int64_t{m_time} + std::max<int64_t>(0, elapsed)));
}

const usm::TKeyCache::TKeys& TV3Session::Keys() {
    if (!m_user.AuthPassphrase.empty()) {
        return m_cache.KeysFor(m_user.Auth, m_user.Priv, m_user.AuthPassphrase, m_user.PrivPassphrase,
                               m_engineId);
    }
    // Stored keys open the engine they were localised for, and no other.
    if (!m_user.KeysEngineId.empty() && m_user.KeysEngineId == m_engineId) {
        m_storedKeys.Auth = m_user.LocalizedAuthKey;
        m_storedKeys.Priv = m_user.LocalizedPrivKey;
    } else {
        m_storedKeys = {};
    }
    return m_storedKeys;
}

int32_t TV3Session::nextMsgId() {
    m_msgId = (m_msgId + 1) & 0x7FFFFFFF;
    return m_msgId;
}

// RFC 3414 8.1.1.1: DES's salt is the engine's boots and a local counter;
// RFC 3826 3.1.2.1: AES's is a 64-bit counter. Neither repeats under one key.
std::string TV3Session::nextSalt() {
    std::string salt;
    if (m_user.Priv == usm::TPrivProtocol::DES) {
        putWord(salt, m_boots);
        putWord(salt, ++m_desSalt);
    } else {
        ++m_aesSalt;
        putWord(salt, static_cast<uint32_t>(m_aesSalt >> 32));
        putWord(salt, static_cast<uint32_t>(m_aesSalt));
    }
    return salt;
}

void TV3Session::learnEngine(const TV3Header& header) {
    m_engineId = header.EngineId;
    syncTime(header.EngineBoots, header.EngineTime);
}

void TV3Session::syncTime(uint32_t boots, uint32_t time) {
    m_boots = boots;
    m_time = time;
    m_syncedAt = Clock::now();
}

TV3Exchange::TV3Exchange(TV3Session& session, std::string pdu) : m_session(session), m_pdu(std::move(pdu)) {}

TV3Exchange::TStep TV3Exchange::Start() {
    m_finished = false;
    m_discovering = false;
    m_rediscovered = false;
    m_resynced = false;
    m_probing = false;
    return m_session.EngineId().empty() ? sendDiscovery() : sendRequest();
}

TV3Exchange::TStep TV3Exchange::failed(TFailure failure) {
    m_finished = true;
    TStep step;
    step.Kind = TStepKind::Failed;
    step.Failure = failure;
    return step;
}

TV3Exchange::TStep TV3Exchange::sendDiscovery() {
    m_discovering = true;
    m_msgId = m_session.nextMsgId();
    TV3Header header;
    header.MsgId = m_msgId;
    header.MaxSize = std::max(kMinMaxSize, m_session.MaxSize);
    header.Flags = kFlagReportable;
    TStep step;
    step.Kind = TStepKind::Send;
    step.Datagram = EncodeMessage(header, EncodeScopedPdu({}, {}, emptyGetRequest(m_msgId)));
    return step;
}

TV3Exchange::TStep TV3Exchange::OnTimeout() {
    if (m_finished || m_discovering || m_probing || m_msgId < 0 ||
        m_session.User().Level != TSecurityLevel::AuthPriv) {
        return failed(TFailure::None);
    }
    m_probing = true;
    return sendRequest(true);
}

TV3Exchange::TStep TV3Exchange::sendRequest(bool probe) {
    const TUser& user = m_session.User();
    const uint8_t level = probe ? kFlagAuth : levelFlags(user.Level);
    const usm::TKeyCache::TKeys& keys = m_session.Keys();
    if (((level & kFlagAuth) != 0 && keys.Auth.empty()) || ((level & kFlagPriv) != 0 && keys.Priv.empty())) {
        return failed(TFailure::PassphraseMissing);
    }
    m_msgId = m_session.nextMsgId();
    TV3Header header;
    header.MsgId = m_msgId;
    header.MaxSize = std::max(kMinMaxSize, m_session.MaxSize);
    header.Flags = static_cast<uint8_t>(kFlagReportable | level);
    header.EngineId = m_session.EngineId();
    header.EngineBoots = m_session.EngineBoots();
    header.EngineTime = m_session.EngineTime();
    header.UserName = user.Name;
    std::string data = EncodeScopedPdu(m_session.EngineId(), user.ContextName, m_pdu);
    if ((level & kFlagPriv) != 0) {
        header.PrivParams = m_session.nextSalt();
        data = usm::Encrypt(user.Priv, keys.Priv, header.EngineBoots, header.EngineTime, header.PrivParams,
                            data);
    }
    const std::size_t macLength = (level & kFlagAuth) != 0 ? usm::MacLength(user.Auth) : 0;
    header.AuthParams.assign(macLength, '\0');
    std::size_t authAt = 0;
    TStep step;
    step.Kind = TStepKind::Send;
    step.Datagram = EncodeMessage(header, data, &authAt);
    if (macLength != 0) {
        const std::string mac = usm::Mac(user.Auth, keys.Auth, step.Datagram);
        std::copy(mac.begin(), mac.end(), step.Datagram.begin() + static_cast<std::ptrdiff_t>(authAt));
    }
    return step;
}

TV3Exchange::TStep TV3Exchange::onReport(const TV3Header& header, const std::string& oid) {
    const TFailure failure = reportFailure(oid);
    if (m_discovering) {
        // Whatever the agent reports to the discovery names its engine.
        m_discovering = false;
        if (header.EngineId.empty()) {
            return failed(TFailure::UnknownEngineId);
        }
        m_session.learnEngine(header);
        return sendRequest();
    }
    switch (failure) {
    case TFailure::UnknownEngineId:
        // The agent's engine changed (a new engine ID): discovered once more.
        if (m_rediscovered || header.EngineId.empty() || header.EngineId == m_session.EngineId()) {
            return failed(failure);
        }
        m_rediscovered = true;
        m_session.learnEngine(header);
        return sendRequest(m_probing);
    case TFailure::NotInTimeWindow:
        // RFC 3414 4: the report carries the engine's boots and time; the
        // request goes again once with them.
        if (m_resynced || header.EngineId != m_session.EngineId()) {
            return failed(failure);
        }
        m_resynced = true;
        m_session.syncTime(header.EngineBoots, header.EngineTime);
        return sendRequest(m_probing);
    default:
        return failed(failure);
    }
}

TV3Exchange::TStep TV3Exchange::OnDatagram(std::string_view datagram) {
    const TStep ignore;
    const std::optional<TV3Message> message = m_finished ? std::nullopt : DecodeMessage(datagram);
    // RFC 3412 7.2 step 12: a reply is matched by its msgID.
    if (!message || message->Header.MsgId != m_msgId) {
        return ignore;
    }
    const TV3Header& header = message->Header;
    const TUser& user = m_session.User();
    const bool authentic = (header.Flags & kFlagAuth) != 0;
    std::string plain;
    std::string_view scopedData = message->Data;
    if (authentic) {
        // RFC 3414 3.2 steps 6 and 7: an authenticated message must be for
        // this user and engine and carry the right digest, or it is dropped.
        if (m_discovering || header.EngineId != m_session.EngineId() || header.UserName != user.Name ||
            user.Auth == usm::TAuthProtocol::None) {
            return ignore;
        }
        const usm::TKeyCache::TKeys& keys = m_session.Keys();
        const std::size_t macLength = usm::MacLength(user.Auth);
        if (keys.Auth.empty() || header.AuthParams.size() != macLength) {
            return ignore;
        }
        std::string zeroed(datagram);
        std::fill_n(zeroed.begin() + static_cast<std::ptrdiff_t>(message->AuthAt), macLength, '\0');
        if (!usm::SameMac(usm::Mac(user.Auth, keys.Auth, zeroed), header.AuthParams)) {
            return ignore;
        }
        // Step 7b: a newer authentic time is taken; one far behind is a replay.
        if (header.EngineBoots < m_session.EngineBoots()) {
            return ignore;
        }
        if (header.EngineBoots > m_session.EngineBoots() || header.EngineTime > m_session.EngineTime()) {
            m_session.syncTime(header.EngineBoots, header.EngineTime);
        } else if (header.EngineTime + kTimeWindow < m_session.EngineTime()) {
            return ignore;
        }
        if (m_probing) {
            // The agent verified this user's digest: only the privacy key
            // can have kept the request unanswered.
            return failed(TFailure::DecryptionError);
        }
        if ((header.Flags & kFlagPriv) != 0) {
            std::optional<std::string> decrypted =
                keys.Priv.empty() ? std::nullopt
                                  : usm::Decrypt(user.Priv, keys.Priv, header.EngineBoots, header.EngineTime,
                                                 header.PrivParams, message->Data);
            if (!decrypted) {
                return ignore;
            }
            plain = std::move(*decrypted);
            scopedData = plain;
        }
    }
    const std::optional<TScopedPdu> scoped = DecodeScopedPdu(scopedData);
    const std::optional<TPduSummary> summary = scoped ? SummarisePdu(scoped->Pdu) : std::nullopt;
    if (!summary) {
        return ignore;
    }
    if (summary->Tag == kTagReport) {
        return onReport(header, summary->FirstOid);
    }
    // A response comes at the level the request asked for (RFC 3412 7.2
    // step 12 d); anything less is not the agent's answer.
    if (summary->Tag != kGetResponse || m_discovering ||
        (header.Flags & (kFlagAuth | kFlagPriv)) != levelFlags(user.Level)) {
        return ignore;
    }
    m_finished = true;
    TStep step;
    step.Kind = TStepKind::Done;
    step.Pdu.assign(scoped->Pdu);
    return step;
}

} // namespace veltrum::v3
