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
constexpr const char* kDecryptionErrors = "1.3.6.1.6.3.15.1.1.6.0";
constexpr std::array<TReportRow, 8> kReports{{
    {"1.3.6.1.6.3.15.1.1.1.0", TFailure::UnsupportedSecurityLevel},
    {"1.3.6.1.6.3.15.1.1.2.0", TFailure::NotInTimeWindow},
    {"1.3.6.1.6.3.15.1.1.3.0", TFailure::UnknownUserName},
    {"1.3.6.1.6.3.15.1.1.4.0", TFailure::UnknownEngineId},
    {"1.3.6.1.6.3.15.1.1.5.0", TFailure::WrongDigest},
    {kDecryptionErrors, TFailure::DecryptionError},
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

// A GetRequest of `oid` (none when empty) with a NULL value. RFC 3414 4:
// discovery sends one with no bindings; what it asks does not matter, the
// agent answers with a report.
std::string getRequest(int32_t requestId, const std::string& oid = {}) {
    std::string bindings;
    if (!oid.empty()) {
        bindings = WrapItem(WrapItem(OidTextToBytes(oid), kTagOid) + WrapItem({}, kTagNull), kTagSequence);
    }
    std::string contents = WrapItem(EncodeSignedInt(requestId), kTagInteger);
    contents += std::string("\x02\x01\x00\x02\x01\x00", 6);
    contents += WrapItem(bindings, kTagSequence);
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
        return "unknown engine ID: the agent does not take the engine known here; it is discovered again "
               "after three polls without an answer";
    case TFailure::UnknownContext:
        return "the agent does not know this SNMPv3 context";
    case TFailure::OtherReport:
        return "the agent reported an SNMPv3 error";
    case TFailure::PassphraseMissing:
        return "the SNMPv3 passphrase is missing: the agent's engine was found, but no request can be "
               "authenticated";
    case TFailure::EngineChanged:
        return "the agent's engine changed: open the settings and type the passphrases again";
    case TFailure::KeyringLocked:
        return "the desktop's keyring that holds the SNMPv3 passphrases is locked: unlock it; nothing was "
               "sent";
    case TFailure::KeyringAbsent:
        return "no desktop keyring answers to give the SNMPv3 passphrases: open the settings and type them; "
               "nothing was sent";
    case TFailure::KeyringSilent:
        return "the desktop's keyring has not given the SNMPv3 passphrases yet; nothing was sent";
    case TFailure::UnreadableReply:
        return "the reply could not be read (malformed, or an engine ID or user name beyond RFC 3411's "
               "32 octets)";
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
    usm::Wipe(m_user.AuthPassphrase);
    usm::Wipe(m_user.PrivPassphrase);
    m_user = user;
    m_storedKeys = {};
    m_cache.Clear();
    m_typed = {!user.AuthPassphrase.empty(), !user.PrivPassphrase.empty()};
    m_silentPrivPolls = 0;
}

void TV3Session::ForgetEngine() {
    m_engineId.clear();
    m_boots = 0;
    m_time = 0;
    m_timeAuthentic = false;
    m_unansweredPolls = 0;
    m_silentPrivPolls = 0;
}

uint32_t TV3Session::EngineTime() const {
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - m_syncedAt).count();
    return static_cast<uint32_t>(
        std::min<int64_t>(kMaxTime, int64_t{m_time} + std::max<int64_t>(0, elapsed)));
}

const usm::TKeyCache::TKeys& TV3Session::Keys() {
    // Stored keys open the engine they were localised for, and no other.
    const bool storedHere = !m_user.KeysEngineId.empty() && m_user.KeysEngineId == m_engineId;
    if (m_typed.Auth || m_typed.Priv) {
        const usm::TKeyCache::TKeys& derived = m_cache.KeysFor(
            m_user.Auth, m_user.Priv, m_user.AuthPassphrase, m_user.PrivPassphrase, m_engineId);
        if (!m_engineId.empty()) {
            // Localised: the passphrases have served. The cache keeps what
            // they expanded to, for an engine found later.
            usm::Wipe(m_user.AuthPassphrase);
            usm::Wipe(m_user.PrivPassphrase);
            m_cache.ForgetPassphrases();
        }
        if (!storedHere) {
            return derived;
        }
        // One passphrase typed anew: the other key stays as stored.
        m_storedKeys.Auth = m_typed.Auth ? derived.Auth : m_user.LocalizedAuthKey;
        m_storedKeys.Priv = m_typed.Priv ? derived.Priv : m_user.LocalizedPrivKey;
        return m_storedKeys;
    }
    if (storedHere) {
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
    // The same engine found again keeps the time an authenticated message gave.
    if (header.EngineId == m_engineId && m_timeAuthentic) {
        return;
    }
    m_engineId = header.EngineId;
    m_timeAuthentic = false;
    syncTime(header.EngineBoots, header.EngineTime);
}

void TV3Session::syncTime(uint32_t boots, uint32_t time) {
    m_boots = boots;
    m_time = time;
    m_syncedAt = Clock::now();
}

bool TV3Session::acceptTime(uint32_t boots, uint32_t time) {
    // An engine whose boots reached their end is unusable (RFC 3414 2.2.2).
    if (boots >= kMaxTime) {
        return false;
    }
    if (!m_timeAuthentic) {
        m_timeAuthentic = true;
        syncTime(boots, time);
        return true;
    }
    if (boots < m_boots || (boots == m_boots && time + kTimeWindow < EngineTime())) {
        return false;
    }
    if (boots > m_boots || time > EngineTime()) {
        syncTime(boots, time);
    }
    return true;
}

TV3Exchange::TV3Exchange(TV3Session& session, std::string pdu) : m_session(session), m_pdu(std::move(pdu)) {}

TV3Exchange::TStep TV3Exchange::Start() {
    m_finished = false;
    m_discovering = false;
    m_resynced = false;
    m_probing = false;
    m_authenticSeen = false;
    m_sent = false;
    m_pending = TFailure::None;
    m_requestMsgId = -1;
    const TUser& user = m_session.User();
    const bool needsKeys = user.Level != TSecurityLevel::NoAuthNoPriv;
    const bool noPassphrase = needsKeys && !m_session.m_typed.Auth;
    if (noPassphrase && user.KeysEngineId.empty() && user.KeysMissing != TFailure::PassphraseMissing) {
        // The keyring holds them but cannot give them now: nothing to send.
        return failed(user.KeysMissing);
    }
    // Keys kept for another engine than the one last found: each poll asks
    // again, so that the engine they open is taken as soon as it answers.
    const bool keysElsewhere =
        noPassphrase && !user.KeysEngineId.empty() && user.KeysEngineId != m_session.EngineId();
    if (m_session.EngineId().empty() || keysElsewhere ||
        m_session.m_unansweredPolls >= TV3Session::kRediscoverAfter) {
        m_session.m_unansweredPolls = 0;
        return sendDiscovery();
    }
    return sendRequest();
}

TV3Exchange::TStep TV3Exchange::failed(TFailure failure) {
    if (!m_finished && m_sent) {
        ++m_session.m_unansweredPolls;
        const bool silent = failure == TFailure::None && !m_authenticSeen && !m_probing;
        m_session.m_silentPrivPolls = silent ? m_session.m_silentPrivPolls + 1 : 0;
    }
    m_finished = true;
    TStep step;
    step.Kind = TStepKind::Failed;
    step.Failure = failure;
    return step;
}

TV3Exchange::TStep TV3Exchange::ignore(TFailure why) {
    // The first account of what came and was not taken is the one named.
    if (m_pending == TFailure::None) {
        m_pending = why;
    }
    return {};
}

TV3Exchange::TStep TV3Exchange::sendDiscovery() {
    m_discovering = true;
    m_sent = true;
    m_msgId = m_session.nextMsgId();
    TV3Header header;
    header.MsgId = m_msgId;
    header.MaxSize = std::max(kMinMaxSize, m_session.MaxSize);
    header.Flags = kFlagReportable;
    TStep step;
    step.Kind = TStepKind::Send;
    step.Datagram = EncodeMessage(header, EncodeScopedPdu({}, {}, getRequest(m_msgId)));
    return step;
}

bool TV3Exchange::diagnosticDue() const {
    const std::optional<TV3Session::Clock::time_point>& last = m_session.m_lastDiagnostic;
    return !m_probing && !m_discovering && m_msgId >= 0 && m_pending == TFailure::None && !m_authenticSeen &&
           m_session.User().Level == TSecurityLevel::AuthPriv &&
           m_session.m_silentPrivPolls + 1 >= TV3Session::kSilentBeforeDiagnostic &&
           (!last || TV3Session::Clock::now() - *last >= TV3Session::kDiagnosticInterval);
}

TV3Exchange::TStep TV3Exchange::OnTimeout() {
    if (m_finished) {
        return failed(TFailure::None);
    }
    if (!diagnosticDue()) {
        return failed(m_pending);
    }
    m_probing = true;
    m_session.m_lastDiagnostic = TV3Session::Clock::now();
    const int32_t requestId = (m_session.m_msgId + 1) & 0x7FFFFFFF; // the msgID sendAt takes
    return sendAt(kFlagAuth, getRequest(requestId, kDecryptionErrors));
}

TV3Exchange::TStep TV3Exchange::sendRequest() {
    const TStep step = sendAt(levelFlags(m_session.User().Level), m_pdu);
    m_requestMsgId = m_msgId;
    return step;
}

TV3Exchange::TStep TV3Exchange::sendAt(uint8_t level, std::string_view pdu) {
    const TUser& user = m_session.User();
    const usm::TKeyCache::TKeys& keys = m_session.Keys();
    if (((level & kFlagAuth) != 0 && keys.Auth.empty()) || ((level & kFlagPriv) != 0 && keys.Priv.empty())) {
        const bool otherEngine = !m_session.m_typed.Auth && !user.KeysEngineId.empty();
        return failed(otherEngine ? TFailure::EngineChanged : TFailure::PassphraseMissing);
    }
    m_sent = true;
    m_msgId = m_session.nextMsgId();
    TV3Header header;
    header.MsgId = m_msgId;
    header.MaxSize = std::max(kMinMaxSize, m_session.MaxSize);
    header.Flags = static_cast<uint8_t>(kFlagReportable | level);
    header.EngineId = m_session.EngineId();
    header.EngineBoots = m_session.EngineBoots();
    header.EngineTime = m_session.EngineTime();
    header.UserName = user.Name;
    std::string data = EncodeScopedPdu(m_session.EngineId(), user.ContextName, pdu);
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
    const bool authentic = (header.Flags & kFlagAuth) != 0;
    if (m_discovering) {
        // RFC 3414 4: whatever the agent reports to the discovery names its
        // engine; its boots and time hold until an authenticated message.
        m_discovering = false;
        if (header.EngineId.empty()) {
            return failed(TFailure::UnknownEngineId);
        }
        m_session.learnEngine(header);
        return sendRequest();
    }
    if (!authentic) {
        // Anyone could have sent it: counted, its name kept for the time-out.
        ++m_session.m_ignoredReports;
        return ignore(failure);
    }
    // RFC 3414 4: an authenticated notInTimeWindow report carries the
    // engine's boots and time (already taken); the request goes again once.
    if (failure == TFailure::NotInTimeWindow && !m_resynced && !m_probing) {
        m_resynced = true;
        return sendRequest();
    }
    return failed(failure);
}

TV3Exchange::TStep TV3Exchange::onAuthentic(const TV3Message& message, std::string_view datagram,
                                            std::string& plain) {
    const TV3Header& header = message.Header;
    const TUser& user = m_session.User();
    // RFC 3414 3.2 steps 6 and 7: an authenticated message must be for this
    // user and engine and carry the right digest, or it is dropped.
    if (m_discovering || header.EngineId != m_session.EngineId() || header.UserName != user.Name ||
        user.Auth == usm::TAuthProtocol::None) {
        return ignore(TFailure::UnreadableReply);
    }
    const usm::TKeyCache::TKeys& keys = m_session.Keys();
    const std::size_t macLength = usm::MacLength(user.Auth);
    if (keys.Auth.empty() || header.AuthParams.size() != macLength) {
        return ignore(TFailure::WrongDigest);
    }
    std::string zeroed(datagram);
    std::fill_n(zeroed.begin() + static_cast<std::ptrdiff_t>(message.AuthAt), macLength, '\0');
    if (!usm::SameMac(usm::Mac(user.Auth, keys.Auth, zeroed), header.AuthParams)) {
        return ignore(TFailure::WrongDigest);
    }
    if (!m_session.acceptTime(header.EngineBoots, header.EngineTime)) {
        return ignore(TFailure::NotInTimeWindow);
    }
    m_authenticSeen = true;
    m_session.m_unansweredPolls = 0;
    if (m_probing && header.MsgId == m_msgId) {
        // The agent verified this user's digest: only the privacy key or
        // protocol can have kept the request unanswered.
        return failed(TFailure::DecryptionError);
    }
    if ((header.Flags & kFlagPriv) != 0) {
        std::optional<std::string> decrypted =
            keys.Priv.empty() ? std::nullopt
                              : usm::Decrypt(user.Priv, keys.Priv, header.EngineBoots, header.EngineTime,
                                             header.PrivParams, message.Data);
        if (!decrypted) {
            return ignore(TFailure::UnreadableReply);
        }
        plain = std::move(*decrypted);
    }
    TStep step;
    step.Kind = TStepKind::Send; // taken on: the caller reads the scoped PDU
    return step;
}

TV3Exchange::TStep TV3Exchange::OnDatagram(std::string_view datagram) {
    if (m_finished) {
        return {};
    }
    const std::optional<TV3Message> message = DecodeMessage(datagram);
    if (!message) {
        return ignore(TFailure::UnreadableReply);
    }
    // RFC 3412 7.2 step 12: a reply is matched by its msgID; while the
    // diagnostic waits, the request's own answer is still taken.
    const TV3Header& header = message->Header;
    if (header.MsgId != m_msgId && (!m_probing || header.MsgId != m_requestMsgId)) {
        return {};
    }
    std::string plain;
    std::string_view scopedData = message->Data;
    if ((header.Flags & kFlagAuth) != 0) {
        const TStep checked = onAuthentic(*message, datagram, plain);
        if (checked.Kind != TStepKind::Send) {
            return checked;
        }
        if ((header.Flags & kFlagPriv) != 0) {
            scopedData = plain;
        }
    }
    const std::optional<TScopedPdu> scoped = DecodeScopedPdu(scopedData);
    const std::optional<TPduSummary> summary = scoped ? SummarisePdu(scoped->Pdu) : std::nullopt;
    if (!summary) {
        return ignore(TFailure::UnreadableReply);
    }
    if (summary->Tag == kTagReport) {
        return onReport(header, summary->FirstOid);
    }
    // A response comes at the level the request asked for (RFC 3412 7.2
    // step 12 d); anything less is not the agent's answer.
    if (summary->Tag != kGetResponse || m_discovering || header.MsgId != m_requestMsgId ||
        (header.Flags & (kFlagAuth | kFlagPriv)) != levelFlags(m_session.User().Level)) {
        return {};
    }
    m_finished = true;
    m_session.m_silentPrivPolls = 0;
    m_session.m_unansweredPolls = 0;
    TStep step;
    step.Kind = TStepKind::Done;
    step.Pdu.assign(scoped->Pdu);
    return step;
}

} // namespace veltrum::v3
