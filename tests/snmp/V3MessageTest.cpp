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
using F = v3::TFailure;
const std::string kEngine("\x80\x00\x1F\x88\x80\x01\x02\x03\x04", 9);
const std::string kKey(32, '\x11');
const std::string kUsm = "1.3.6.1.6.3.15.1.1.";
const std::string kIfInOctets = "1.3.6.1.2.1.2.2.1.10.1";

std::string pduOf(int32_t tag, int32_t requestId, const std::string& oid) {
    const std::string binding = WrapItem(OidTextToBytes(oid), kTagOid) + WrapItem({}, kTagNull);
    return WrapItem(WrapItem(EncodeSignedInt(requestId), kTagInteger) +
                        std::string("\x02\x01\x00\x02\x01\x00", 6) +
                        WrapItem(WrapItem(binding, kTagSequence), kTagSequence),
                    tag);
}

// What comes back from the agent, or from someone on the path: a PDU of
// `Tag` naming `Oid`, signed with `Key` (SHA-256) unless that is empty.
struct Forged {
    int32_t Tag = v3::kTagReport;
    std::string Oid;
    std::string Key;
    std::string Engine = kEngine;
    uint32_t Boots = 7;
    std::string User = "u";

    std::string To(int32_t msgId) const {
        v3::TV3Header header;
        header.MsgId = msgId;
        header.MaxSize = 65507;
        header.EngineId = Engine;
        header.EngineBoots = Boots;
        header.EngineTime = Boots == 7 ? 1000 : Boots;
        header.UserName = User;
        header.Flags = Key.empty() ? 0 : v3::kFlagAuth;
        header.AuthParams.assign(Key.empty() ? 0 : 24, '\0');
        std::size_t authAt = 0;
        std::string datagram =
            v3::EncodeMessage(header, v3::EncodeScopedPdu(Engine, "", pduOf(Tag, msgId, Oid)), &authAt);
        return Key.empty()
                   ? datagram
                   : datagram.replace(authAt, 24, usm::Mac(usm::TAuthProtocol::SHA256, Key, datagram));
    }
};
const Forged kAnswer{kTagGetResponse, kIfInOctets, kKey};

// An authNoPriv user with keys kept for `engine`, as a profile keeps them,
// or with none for the reason `missing`.
v3::TUser userOf(const std::string& engine = kEngine, F missing = F::PassphraseMissing) {
    v3::TUser user;
    user.Name = "u";
    user.Level = v3::TSecurityLevel::AuthNoPriv;
    user.Auth = usm::TAuthProtocol::SHA256;
    user.LocalizedAuthKey = engine.empty() ? std::string() : kKey;
    user.KeysEngineId = engine;
    user.KeysMissing = missing;
    return user;
}

// A new exchange after the agent's discovery report.
v3::TV3Exchange::TStep startPoll(v3::TV3Exchange& exchange) {
    const v3::TV3Exchange::TStep step = exchange.Start();
    const bool discovery = step.Kind == K::Send && v3::DecodeMessage(step.Datagram)->Header.EngineId.empty();
    return discovery
               ? exchange.OnDatagram(Forged{v3::kTagReport, kUsm + "4.0", {}}.To(exchange.OutstandingMsgId()))
               : step;
}

} // namespace

// Every way an exchange ends, from the agent's discovery report on: what
// each message (nullopt: the caller's time-out) makes of it. Only an
// authenticated message is followed; an unauthenticated one is counted and
// named at the time-out unless a true answer comes first.
TEST(V3Exchange, ReportsAreNamedOrFollowedOnce) {
    const auto report = [](const std::string& oid, const std::string& key = {}) {
        return Forged{v3::kTagReport, kUsm + oid, key};
    };
    const Forged timeWindow = report("2.0", kKey);
    const Forged forgedTime{v3::kTagReport, kUsm + "2.0", {}, kEngine, 2147483647};
    const Forged forgedEngine{v3::kTagReport, kUsm + "4.0", {}, std::string(9, '\x81')};
    const Forged longEngine{kTagGetResponse, kIfInOctets, kKey, std::string(1201, '\x80')};
    const Forged longUser{kTagGetResponse, kIfInOctets, kKey, kEngine, 7, std::string(2000, 'u')};
    const std::nullopt_t silence = std::nullopt;
    const struct {
        const char* What;
        v3::TUser User;
        std::vector<std::optional<Forged>> Events;
        K Last;
        F Failure;
        int Ignored;
    } rows[] = {
        {"answered", userOf(), {kAnswer}, K::Done, F::None, 0},
        {"no reply", userOf(), {silence}, K::Failed, F::None, 0},
        {"time window, followed once", userOf(), {timeWindow}, K::Send, F::None, 0},
        {"not in time window", userOf(), {timeWindow, timeWindow}, K::Failed, F::NotInTimeWindow, 0},
        {"forged time window", userOf(), {forgedTime, silence}, K::Failed, F::NotInTimeWindow, 1},
        {"forged time window, then the answer", userOf(), {forgedTime, kAnswer}, K::Done, F::None, 1},
        {"forged engine, then the answer", userOf(), {forgedEngine, kAnswer}, K::Done, F::None, 1},
        {"unknown user", userOf(), {report("3.0"), silence}, K::Failed, F::UnknownUserName, 1},
        {"unsupported level", userOf(), {report("1.0"), silence}, K::Failed, F::UnsupportedSecurityLevel, 1},
        {"wrong digest reported", userOf(), {report("5.0"), silence}, K::Failed, F::WrongDigest, 1},
        {"reply with a wrong digest",
         userOf(),
         {Forged{kTagGetResponse, kIfInOctets, std::string(32, '\x22')}, silence},
         K::Failed,
         F::WrongDigest,
         0},
        {"unknown context",
         userOf(),
         {Forged{v3::kTagReport, "1.3.6.1.6.3.12.1.5.0", kKey}},
         K::Failed,
         F::UnknownContext,
         0},
        {"engine ID of 1201 octets", userOf(), {longEngine, silence}, K::Failed, F::UnreadableReply, 0},
        {"user name of 2000 octets", userOf(), {longUser, silence}, K::Failed, F::UnreadableReply, 0},
        {"engine changed", userOf(std::string(9, '\x81')), {}, K::Failed, F::EngineChanged, 0},
        {"passphrase missing", userOf({}), {}, K::Failed, F::PassphraseMissing, 0},
        {"keyring locked", userOf({}, F::KeyringLocked), {}, K::Failed, F::KeyringLocked, 0},
        {"keyring absent", userOf({}, F::KeyringAbsent), {}, K::Failed, F::KeyringAbsent, 0},
        {"keyring silent", userOf({}, F::KeyringSilent), {}, K::Failed, F::KeyringSilent, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.What);
        v3::TV3Session session;
        session.SetUser(row.User);
        v3::TV3Exchange exchange(session, pduOf(kTagGetRequest, 0, kIfInOctets));
        v3::TV3Exchange::TStep step = startPoll(exchange);
        for (const std::optional<Forged>& event : row.Events) {
            step = event ? exchange.OnDatagram(event->To(exchange.OutstandingMsgId())) : exchange.OnTimeout();
        }
        EXPECT_EQ(step.Kind, row.Last);
        EXPECT_EQ(step.Failure, row.Failure);
        EXPECT_NE(std::string(v3::FailureText(row.Failure)).empty(), row.Failure != F::None);
        EXPECT_EQ(session.IgnoredReports(), row.Ignored);
        // Nothing unauthenticated moved the engine or its clock.
        if (row.Failure != F::EngineChanged && !session.EngineId().empty()) {
            EXPECT_EQ(session.EngineId(), kEngine);
            EXPECT_EQ(session.EngineBoots(), 7u);
        }
    }
}

// A silent authPriv agent whose answers come late: never a request below
// authPriv with the poll's objects; after three silent polls one authNoPriv
// request for usmStatsDecryptionErrors alone, at most once a minute, whose
// authenticated answer names the privacy passphrase.
TEST(V3Exchange, SilenceAtAuthPrivIsDiagnosedOnce) {
    v3::TV3Session session;
    v3::TUser user = userOf();
    user.Level = v3::TSecurityLevel::AuthPriv;
    user.Priv = usm::TPrivProtocol::AES128;
    user.LocalizedPrivKey.assign(16, '\x33');
    session.SetUser(user);
    for (int poll = 1; poll <= 7; ++poll) {
        SCOPED_TRACE(poll);
        v3::TV3Exchange exchange(session, pduOf(kTagGetRequest, 0, kIfInOctets));
        startPoll(exchange);
        const int32_t request = exchange.OutstandingMsgId();
        const v3::TV3Exchange::TStep step = exchange.OnTimeout();
        ASSERT_EQ(step.Kind, poll == 3 ? K::Send : K::Failed);
        if (step.Kind == K::Send) {
            const std::optional<v3::TV3Message> sent = v3::DecodeMessage(step.Datagram);
            EXPECT_EQ(sent->Header.Flags, v3::kFlagAuth | v3::kFlagReportable);
            EXPECT_EQ(v3::SummarisePdu(v3::DecodeScopedPdu(sent->Data)->Pdu)->FirstOid, kUsm + "6.0");
            EXPECT_EQ(step.Datagram.find(OidTextToBytes(kIfInOctets)), std::string::npos);
            EXPECT_EQ(exchange.OnDatagram(kAnswer.To(exchange.OutstandingMsgId())).Failure,
                      F::DecryptionError);
        } else {
            EXPECT_EQ(step.Failure, F::None);
            EXPECT_EQ(exchange.OnDatagram(kAnswer.To(request)).Kind, K::Ignore); // too late
        }
    }
}
