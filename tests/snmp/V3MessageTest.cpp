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

// An unauthenticated report from engine `engine` answering msgID `msgId`.
std::string report(int32_t msgId, const std::string& engine, const std::string& oid) {
    std::string binding =
        WrapItem(OidTextToBytes(oid), kTagOid) + WrapItem(EncodeUnsignedInt(1), kTagCounter);
    std::string pdu = WrapItem(EncodeSignedInt(msgId), kTagInteger) +
                      WrapItem(EncodeSignedInt(0), kTagInteger) + WrapItem(EncodeSignedInt(0), kTagInteger) +
                      WrapItem(WrapItem(binding, kTagSequence), kTagSequence);
    v3::TV3Header header;
    header.MsgId = msgId;
    header.MaxSize = 65507;
    header.EngineId = engine;
    header.EngineBoots = 7;
    header.EngineTime = 1000;
    return v3::EncodeMessage(header, v3::EncodeScopedPdu(engine, "", WrapItem(pdu, v3::kTagReport)));
}

} // namespace

// The agent's reports after the discovery, each as the exchange takes it:
// the time window re-synchronised once, then named, as is every other.
TEST(V3Exchange, ReportsAreNamedOrFollowedOnce) {
    const std::string engine("\x80\x00\x1F\x88\x80\x01\x02\x03\x04", 9);
    const std::string kUsm = "1.3.6.1.6.3.15.1.1.";
    using K = v3::TV3Exchange::TStepKind;
    const struct {
        std::vector<std::string> Reports;
        K Last;
        v3::TFailure Failure;
    } rows[] = {
        {{kUsm + "2.0"}, K::Send, v3::TFailure::None},
        {{kUsm + "2.0", kUsm + "2.0"}, K::Failed, v3::TFailure::NotInTimeWindow},
        {{kUsm + "4.0"}, K::Failed, v3::TFailure::UnknownEngineId},
        {{kUsm + "1.0"}, K::Failed, v3::TFailure::UnsupportedSecurityLevel},
        {{kUsm + "3.0"}, K::Failed, v3::TFailure::UnknownUserName},
        {{kUsm + "5.0"}, K::Failed, v3::TFailure::WrongDigest},
        {{kUsm + "6.0"}, K::Failed, v3::TFailure::DecryptionError},
        {{"1.3.6.1.6.3.12.1.5.0"}, K::Failed, v3::TFailure::UnknownContext},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Reports.back());
        v3::TV3Session session;
        v3::TUser user;
        user.Name = "u";
        user.Level = v3::TSecurityLevel::AuthNoPriv;
        user.Auth = usm::TAuthProtocol::SHA256;
        user.LocalizedAuthKey.assign(32, '\x11');
        user.KeysEngineId = engine;
        session.SetUser(user);
        v3::TV3Exchange exchange(session,
                                 std::string("\xA0\x0B\x02\x01\x00\x02\x01\x00\x02\x01\x00\x30\x00", 13));
        ASSERT_EQ(exchange.Start().Kind, K::Send);
        ASSERT_EQ(exchange.OnDatagram(report(exchange.OutstandingMsgId(), engine, kUsm + "4.0")).Kind,
                  K::Send);
        EXPECT_EQ(session.EngineBoots(), 7u);
        v3::TV3Exchange::TStep step;
        for (const std::string& oid : row.Reports) {
            step = exchange.OnDatagram(report(exchange.OutstandingMsgId(), engine, oid));
        }
        EXPECT_EQ(step.Kind, row.Last);
        EXPECT_EQ(step.Failure, row.Failure);
    }
}
