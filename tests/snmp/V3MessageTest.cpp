// The user-based security model's keys and digests from tests/data vectors,
// and the SNMPv3 envelope's decoder on round trips and malformed shapes.
#include "snmp/V3Message.h"
#include "snmp/Ber.h"
#include "snmp/UsmCrypto.h"
#include "snmp/V3Exchange.h"
#include "snmp/VectorFile.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

using namespace veltrum;
using veltrum::test::FromHex;
using veltrum::test::ToHex;

TEST(UsmKeys, VectorsFromRfc3414AndRfc7860) {
    int count = 0;
    for (const test::Vector& v : test::ReadVectorFile(test::TestDataDir() + "/usm_keys.vec")) {
        SCOPED_TRACE(v.where());
        const usm::TAuthProtocol auth = usm::AuthProtocolNamed(v.get("Auth")).value();
        if (v.section == "LocalizeKey") {
            const std::string ku = usm::PassphraseToKey(auth, v.get("Passphrase"));
            EXPECT_EQ(ToHex(ku), ToHex(FromHex(v.get("Ku"))));
            EXPECT_EQ(ToHex(usm::LocalizeKey(auth, ku, FromHex(v.get("EngineId")))),
                      ToHex(FromHex(v.get("Kul"))));
        } else {
            EXPECT_EQ(ToHex(usm::Mac(auth, FromHex(v.get("Key")), FromHex(v.get("In")))),
                      ToHex(FromHex(v.get("Out"))));
        }
        ++count;
    }
    EXPECT_EQ(count, 12);
}

// Real exchanges' datagrams read as tshark reads them.
TEST(V3Message, DecodesNetSnmpExchanges) {
    int count = 0;
    for (const test::Vector& v : test::ReadVectorFile(test::TestDataDir() + "/v3_messages.vec")) {
        SCOPED_TRACE(v.where());
        const std::string datagram = FromHex(v.get("In"));
        const std::optional<v3::TV3Message> decoded = v3::DecodeMessage(datagram);
        ASSERT_TRUE(decoded.has_value());
        const v3::TV3Header& header = decoded->Header;
        EXPECT_EQ(header.MsgId, std::stoll(v.get("MsgId")));
        EXPECT_EQ(header.Flags, std::stoi(v.get("Flags"), nullptr, 16));
        EXPECT_EQ(header.UserName, v.get("User"));
        EXPECT_EQ(header.EngineBoots, std::stoul(v.get("Boots")));
        EXPECT_EQ(header.EngineTime, std::stoul(v.get("Time")));
        EXPECT_EQ(ToHex(header.EngineId), ToHex(FromHex(v.get("EngineId"))));
        // A plain scoped PDU reads too; an encrypted one is octets here.
        if ((header.Flags & v3::kFlagPriv) == 0) {
            EXPECT_TRUE(v3::DecodeScopedPdu(decoded->Data).has_value());
        }
        ++count;
    }
    EXPECT_EQ(count, 32);
}

TEST(V3Message, RoundTripAndMalformedShapes) {
    v3::TV3Header header;
    header.MsgId = 0x7FFFFFFF;
    header.MaxSize = 65507;
    header.Flags = v3::kFlagAuth | v3::kFlagPriv | v3::kFlagReportable;
    header.EngineId = FromHex("80001F8880AABBCCDD");
    header.EngineBoots = 200;
    header.EngineTime = 0x80000000U - 1;
    header.UserName = "user";
    header.AuthParams.assign(24, '\0');
    header.PrivParams = FromHex("0102030405060708");
    std::size_t authAt = 0;
    const std::string encrypted(300, 'x'); // long lengths on the way
    const std::string good = v3::EncodeMessage(header, encrypted, &authAt);
    const std::optional<v3::TV3Message> decoded = v3::DecodeMessage(good);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->Header.MsgId, header.MsgId);
    EXPECT_EQ(decoded->Header.EngineTime, header.EngineTime);
    EXPECT_EQ(decoded->Header.PrivParams, header.PrivParams);
    EXPECT_EQ(decoded->AuthAt, authAt);
    EXPECT_EQ(decoded->Data, encrypted);

    const auto with = [&](std::size_t at, char octet) {
        std::string changed = good;
        changed[at] = octet;
        return changed;
    };
    const std::size_t flagsAt = good.find(std::string("\x04\x01\x07", 3)) + 2;
    const struct {
        const char* What;
        std::string Datagram;
    } refused[] = {
        {"empty", ""},
        {"cut by one octet", good.substr(0, good.size() - 1)},
        {"one octet more", good + '\0'},
        {"version 1", with(6, '\x01')},
        {"privacy without authentication", with(flagsAt, '\x02')},
        {"indefinite length", with(1, '\x80')},
        {"a SNMPv2c message",
         FromHex("302902010104067075626C6963A21C0201000201000201003011300F06082B0601020101050004037276")},
    };
    for (const auto& c : refused) {
        EXPECT_FALSE(v3::DecodeMessage(c.Datagram).has_value()) << c.What;
    }
}

namespace {

using K = v3::TV3Exchange::TStepKind;
const std::string kEngine("\x80\x00\x1F\x88\x80\x01\x02\x03\x04", 9);
const std::string kOtherEngine("\x80\x00\x1F\x88\x80\x09\x09\x09\x09", 9);
const std::string kKey(32, '\x11');
const std::string kUsm = "1.3.6.1.6.3.15.1.1.";
// A GetRequest for ifInOctets.1, as the poll would ask.
const std::string kPollPdu =
    WrapItem(WrapItem(EncodeSignedInt(0), kTagInteger) + WrapItem(EncodeSignedInt(0), kTagInteger) +
                 WrapItem(EncodeSignedInt(0), kTagInteger) +
                 WrapItem(WrapItem(WrapItem(OidTextToBytes("1.3.6.1.2.1.2.2.1.10.1"), kTagOid) +
                                       WrapItem({}, kTagNull),
                                   kTagSequence),
                          kTagSequence),
             kTagGetRequest);

// What an agent (or someone on the path) sends back: a PDU of `tag` whose
// one binding names `oid`, from `engine` at `boots` and `time`, signed with
// `key` (SHA-256) unless it is empty.
struct Forged {
    int32_t Tag = v3::kTagReport;
    std::string Oid;
    std::string Key;
    std::string Engine = kEngine;
    uint32_t Boots = 7;
    uint32_t Time = 1000;
    std::string User = "u";

    std::string To(int32_t msgId) const {
        const std::string binding =
            WrapItem(OidTextToBytes(Oid), kTagOid) + WrapItem(EncodeUnsignedInt(1), kTagCounter);
        const std::string pdu = WrapItem(EncodeSignedInt(msgId), kTagInteger) +
                                WrapItem(EncodeSignedInt(0), kTagInteger) +
                                WrapItem(EncodeSignedInt(0), kTagInteger) +
                                WrapItem(WrapItem(binding, kTagSequence), kTagSequence);
        v3::TV3Header header;
        header.MsgId = msgId;
        header.MaxSize = 65507;
        header.EngineId = Engine;
        header.EngineBoots = Boots;
        header.EngineTime = Time;
        header.UserName = Key.empty() ? std::string() : User;
        header.Flags = Key.empty() ? 0 : v3::kFlagAuth;
        header.AuthParams.assign(Key.empty() ? 0 : 24, '\0');
        std::size_t authAt = 0;
        std::string datagram =
            v3::EncodeMessage(header, v3::EncodeScopedPdu(Engine, "", WrapItem(pdu, Tag)), &authAt);
        if (!Key.empty()) {
            datagram.replace(authAt, 24, usm::Mac(usm::TAuthProtocol::SHA256, Key, datagram));
        }
        return datagram;
    }
};

Forged report(const std::string& oid, const std::string& key = {}) {
    return {v3::kTagReport, oid, key};
}
Forged answer(const std::string& key = kKey) {
    return {kTagGetResponse, "1.3.6.1.2.1.2.2.1.10.1", key};
}

// An authNoPriv user with keys kept for `engine`, as a profile keeps them.
v3::TUser storedKeysUser(const std::string& engine = kEngine) {
    v3::TUser user;
    user.Name = "u";
    user.Level = v3::TSecurityLevel::AuthNoPriv;
    user.Auth = usm::TAuthProtocol::SHA256;
    user.LocalizedAuthKey = kKey;
    user.KeysEngineId = engine;
    return user;
}

} // namespace

// Every way an exchange ends, from the agent's discovery report on: what
// each message (nullopt: the caller's time-out) makes of it. Only an
// authenticated message is followed; an unauthenticated one is counted and
// named at the time-out unless a true answer comes first.
TEST(V3Exchange, ReportsAreNamedOrFollowedOnce) {
    using Event = std::optional<Forged>;
    const auto noKeys = [](v3::TFailure why) {
        v3::TUser user = storedKeysUser();
        user.LocalizedAuthKey.clear();
        user.KeysEngineId.clear();
        user.KeysMissing = why;
        return user;
    };
    Forged oversizedEngine = answer();
    oversizedEngine.Engine.assign(1201, '\x80');
    Forged longUser = answer();
    longUser.User.assign(2000, 'u');
    Forged highBoots = report(kUsm + "2.0");
    highBoots.Boots = highBoots.Time = 2147483647;
    Forged otherEngine = report(kUsm + "4.0");
    otherEngine.Engine = kOtherEngine;
    const struct {
        const char* What;
        v3::TUser User;
        std::vector<Event> Events;
        K Last;
        v3::TFailure Failure;
        int Ignored;
    } rows[] = {
        {"answered", storedKeysUser(), {answer()}, K::Done, v3::TFailure::None, 0},
        {"no reply", storedKeysUser(), {std::nullopt}, K::Failed, v3::TFailure::None, 0},
        {"time window, followed once",
         storedKeysUser(),
         {report(kUsm + "2.0", kKey)},
         K::Send,
         v3::TFailure::None,
         0},
        {"not in time window",
         storedKeysUser(),
         {report(kUsm + "2.0", kKey), report(kUsm + "2.0", kKey)},
         K::Failed,
         v3::TFailure::NotInTimeWindow,
         0},
        {"forged time window",
         storedKeysUser(),
         {highBoots, std::nullopt},
         K::Failed,
         v3::TFailure::NotInTimeWindow,
         1},
        {"forged time window, then the answer",
         storedKeysUser(),
         {highBoots, answer()},
         K::Done,
         v3::TFailure::None,
         1},
        {"forged engine, then the answer",
         storedKeysUser(),
         {otherEngine, answer()},
         K::Done,
         v3::TFailure::None,
         1},
        {"unknown user",
         storedKeysUser(),
         {report(kUsm + "3.0"), std::nullopt},
         K::Failed,
         v3::TFailure::UnknownUserName,
         1},
        {"unsupported level",
         storedKeysUser(),
         {report(kUsm + "1.0"), std::nullopt},
         K::Failed,
         v3::TFailure::UnsupportedSecurityLevel,
         1},
        {"wrong digest reported",
         storedKeysUser(),
         {report(kUsm + "5.0"), std::nullopt},
         K::Failed,
         v3::TFailure::WrongDigest,
         1},
        {"reply with a wrong digest",
         storedKeysUser(),
         {answer(std::string(32, '\x22')), std::nullopt},
         K::Failed,
         v3::TFailure::WrongDigest,
         0},
        {"unknown context",
         storedKeysUser(),
         {report("1.3.6.1.6.3.12.1.5.0", kKey)},
         K::Failed,
         v3::TFailure::UnknownContext,
         0},
        {"engine ID of 1201 octets",
         storedKeysUser(),
         {oversizedEngine, std::nullopt},
         K::Failed,
         v3::TFailure::UnreadableReply,
         0},
        {"user name of 2000 octets",
         storedKeysUser(),
         {longUser, std::nullopt},
         K::Failed,
         v3::TFailure::UnreadableReply,
         0},
        {"engine changed", storedKeysUser(kOtherEngine), {}, K::Failed, v3::TFailure::EngineChanged, 0},
        {"passphrase missing",
         noKeys(v3::TFailure::PassphraseMissing),
         {},
         K::Failed,
         v3::TFailure::PassphraseMissing,
         0},
        {"keyring locked",
         noKeys(v3::TFailure::KeyringLocked),
         {},
         K::Failed,
         v3::TFailure::KeyringLocked,
         0},
        {"keyring absent",
         noKeys(v3::TFailure::KeyringAbsent),
         {},
         K::Failed,
         v3::TFailure::KeyringAbsent,
         0},
        {"keyring silent",
         noKeys(v3::TFailure::KeyringSilent),
         {},
         K::Failed,
         v3::TFailure::KeyringSilent,
         0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.What);
        v3::TV3Session session;
        session.SetUser(row.User);
        v3::TV3Exchange exchange(session, kPollPdu);
        v3::TV3Exchange::TStep step = exchange.Start();
        if (step.Kind == K::Send) {
            step = exchange.OnDatagram(report(kUsm + "4.0").To(exchange.OutstandingMsgId()));
        }
        for (const Event& event : row.Events) {
            step = event ? exchange.OnDatagram(event->To(exchange.OutstandingMsgId())) : exchange.OnTimeout();
        }
        EXPECT_EQ(step.Kind, row.Last);
        EXPECT_EQ(step.Failure, row.Failure);
        EXPECT_NE(std::string(v3::FailureText(row.Failure)).empty(), row.Failure != v3::TFailure::None);
        EXPECT_EQ(session.IgnoredReports(), row.Ignored);
        // Nothing unauthenticated moved the engine or its clock.
        if (row.Failure != v3::TFailure::EngineChanged && !session.EngineId().empty()) {
            EXPECT_EQ(session.EngineId(), kEngine);
            EXPECT_EQ(session.EngineBoots(), 7u);
        }
    }
}

namespace {

// One poll's exchange against a silent agent: the step its time-out gives.
v3::TV3Exchange::TStep silentPoll(v3::TV3Session& session) {
    v3::TV3Exchange exchange(session, kPollPdu);
    v3::TV3Exchange::TStep step = exchange.Start();
    if (session.EngineId().empty() || v3::DecodeMessage(step.Datagram)->Header.EngineId.empty()) {
        step = exchange.OnDatagram(report(kUsm + "4.0").To(exchange.OutstandingMsgId()));
    }
    const int32_t request = exchange.OutstandingMsgId();
    step = exchange.OnTimeout();
    // The reply comes late: the exchange has ended.
    EXPECT_EQ(exchange.OnDatagram(answer().To(request)).Kind, step.Kind == K::Send ? K::Done : K::Ignore);
    return step;
}

} // namespace

// A silent authPriv agent: never a request below authPriv, and only after
// three silent polls one authNoPriv request for usmStatsDecryptionErrors
// alone, at most once a minute; its authenticated answer names the privacy
// passphrase.
TEST(V3Exchange, SilenceAtAuthPrivIsDiagnosedOnce) {
    v3::TV3Session session;
    v3::TUser user = storedKeysUser();
    user.Level = v3::TSecurityLevel::AuthPriv;
    user.Priv = usm::TPrivProtocol::AES128;
    user.LocalizedPrivKey.assign(16, '\x33');
    session.SetUser(user);
    EXPECT_EQ(silentPoll(session).Failure, v3::TFailure::None);
    EXPECT_EQ(silentPoll(session).Failure, v3::TFailure::None);
    v3::TV3Exchange exchange(session, kPollPdu);
    ASSERT_EQ(exchange.Start().Kind, K::Send);
    const v3::TV3Exchange::TStep diagnostic = exchange.OnTimeout();
    ASSERT_EQ(diagnostic.Kind, K::Send);
    const std::optional<v3::TV3Message> sent = v3::DecodeMessage(diagnostic.Datagram);
    ASSERT_TRUE(sent.has_value());
    EXPECT_EQ(sent->Header.Flags, v3::kFlagAuth | v3::kFlagReportable);
    const std::optional<v3::TPduSummary> asked = v3::SummarisePdu(v3::DecodeScopedPdu(sent->Data)->Pdu);
    EXPECT_EQ(asked->FirstOid, kUsm + "6.0");
    EXPECT_EQ(diagnostic.Datagram.find(OidTextToBytes("1.3.6.1.2.1.2.2.1.10.1")), std::string::npos);
    EXPECT_EQ(exchange.OnDatagram(answer().To(exchange.OutstandingMsgId())).Failure,
              v3::TFailure::DecryptionError);
    for (int poll = 0; poll < 4; ++poll) {
        EXPECT_EQ(silentPoll(session).Kind, K::Failed);
    }
}

// A restarted agent with a new engine ID answers with unauthenticated
// reports: they are not followed, and after kRediscoverAfter polls without
// an answer the next poll discovers the engine again.
TEST(V3Exchange, AnotherEngineIsTakenOnlyByRediscovery) {
    v3::TV3Session session;
    v3::TUser user = storedKeysUser();
    user.LocalizedAuthKey.clear();
    user.KeysEngineId.clear();
    user.AuthPassphrase = "auth-passphrase";
    session.SetUser(user);
    Forged newEngine = report(kUsm + "4.0");
    newEngine.Engine = kOtherEngine;
    for (int poll = 0; poll <= v3::TV3Session::kRediscoverAfter; ++poll) {
        SCOPED_TRACE(poll);
        v3::TV3Exchange exchange(session, kPollPdu);
        v3::TV3Exchange::TStep step = exchange.Start();
        const bool discovery = v3::DecodeMessage(step.Datagram)->Header.EngineId.empty();
        EXPECT_EQ(discovery, poll == 0 || poll == v3::TV3Session::kRediscoverAfter);
        step = exchange.OnDatagram(
            (poll == 0 ? report(kUsm + "4.0") : newEngine).To(exchange.OutstandingMsgId()));
        if (step.Kind == K::Ignore) {
            step = exchange.OnTimeout();
        }
        EXPECT_EQ(step.Kind, poll == 0 || poll == v3::TV3Session::kRediscoverAfter ? K::Send : K::Failed);
        EXPECT_EQ(session.EngineId(), poll < v3::TV3Session::kRediscoverAfter ? kEngine : kOtherEngine);
        if (poll == 0) {
            (void)exchange.OnTimeout();
        }
    }
}
