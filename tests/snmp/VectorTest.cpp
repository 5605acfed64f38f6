// Runs the data-file vectors of tests/data against the codec.
#include "snmp/Ber.h"
#include "snmp/FakeMessageOwner.h"
#include "snmp/SnmpInfo.h"
#include "snmp/VectorFile.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>

using namespace veltrum;
using veltrum::test::FromHex;
using veltrum::test::ToHex;
using veltrum::test::Vector;

namespace {

std::vector<Vector> load(const std::string& name) {
    return test::ReadVectorFile(test::TestDataDir() + "/" + name);
}

// Checks every field of a [ParseMessage] vector against a parsed message.
void expectParsed(const Vector& v, const TSNMPInfo& m) {
    EXPECT_EQ(m.Version, std::stoi(v.get("Version")));
    EXPECT_EQ(m.Community, v.get("Community"));
    EXPECT_EQ(m.PduTag, std::stoi(v.get("PduTag")));
    EXPECT_EQ(m.RequestId, std::stoll(v.get("RequestId")));
    EXPECT_EQ(m.ErrorStatus, std::stoi(v.get("ErrorStatus")));
    EXPECT_EQ(m.ErrorIndex, std::stoi(v.get("ErrorIndex")));
    std::vector<test::BindingField> want;
    for (const auto& [key, value] : v.fields) {
        if (key == "Binding" || key == "BindingHex") {
            want.push_back(test::ParseBindingField(value, key == "BindingHex"));
        }
    }
    ASSERT_EQ(m.OidTexts.size(), want.size());
    ASSERT_EQ(m.ValueTexts.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE("binding " + std::to_string(i));
        EXPECT_EQ(m.OidTexts[i], want[i].oid);
        EXPECT_EQ(m.ValueTexts[i].Type, want[i].type);
        EXPECT_EQ(m.ValueTexts[i].Text, want[i].text);
    }
}

void runParseVectors(const std::vector<Vector>& vectors, int& count) {
    for (const Vector& v : vectors) {
        if (v.section != "ParseMessage") {
            continue;
        }
        SCOPED_TRACE(v.where());
        test::FakeMessageOwner owner;
        owner.Community = "owner-community";
        TSNMPInfo m(owner);
        m.ResetMessage();
        m.ParseMessage(FromHex(v.get("In")));
        expectParsed(v, m);
        ++count;
    }
}

TSNMPInfo& buildFrom(const Vector& v, TSNMPInfo& m) {
    m.ResetMessage();
    m.Community = v.get("Community");
    m.PduTag = std::stoi(v.get("PduTag"));
    m.RequestId = std::stoi(v.find("RequestId").value_or("0"));
    m.ErrorStatus = std::stoi(v.find("ErrorStatus").value_or("0"));
    m.ErrorIndex = std::stoi(v.find("ErrorIndex").value_or("0"));
    for (const std::string& field : v.all("Binding")) {
        const auto b = test::ParseBindingField(field, false);
        m.AddBinding(b.oid, b.text, b.type);
    }
    return m;
}

} // namespace

TEST(BerPrimitives, Vectors) {
    using Encoder = std::function<std::string(const std::string&)>;
    const std::map<std::string, Encoder> encoders = {
        {"EncodeLength", [](const std::string& in) { return ToHex(EncodeLength(std::stoull(in))); }},
        {"EncodeSignedInt",
         [](const std::string& in) { return ToHex(EncodeSignedInt(static_cast<int32_t>(std::stoll(in)))); }},
        {"EncodeUnsignedInt",
         [](const std::string& in) {
             return ToHex(EncodeUnsignedInt(static_cast<uint32_t>(std::stoull(in))));
         }},
        {"EncodeUnsigned64", [](const std::string& in) { return ToHex(EncodeUnsigned64(std::stoull(in))); }},
        {"EncodeSubId",
         [](const std::string& in) { return ToHex(EncodeSubId(static_cast<uint32_t>(std::stoull(in)))); }},
        {"OidTextToBytes", [](const std::string& in) { return ToHex(OidTextToBytes(in)); }},
        {"IpTextToBytes", [](const std::string& in) { return ToHex(IpTextToBytes(in)); }},
        {"OidBytesToText", [](const std::string& in) { return OidBytesToText(FromHex(in)); }},
    };
    int count = 0;
    for (const Vector& v : load("ber_primitives.vec")) {
        SCOPED_TRACE(v.where());
        const auto encoder = encoders.find(v.section);
        ASSERT_NE(encoder, encoders.end()) << "unknown section " << v.section;
        const std::string want = v.section == "OidBytesToText" ? v.get("Out") : ToHex(FromHex(v.get("Out")));
        EXPECT_EQ(encoder->second(v.get("In")), want);
        ++count;
    }
    EXPECT_GE(count, 40);
}

TEST(ReadItem, Vectors) {
    int count = 0;
    for (const Vector& v : load("ber_read_item.vec")) {
        SCOPED_TRACE(v.where());
        const std::string data = FromHex(v.get("In"));
        std::size_t pos = 0;
        int32_t type = -1;
        std::string text = "stale";
        const bool complete = tryReadItem(data, pos, type, text);
        const std::string want = v.find("TextHex") ? FromHex(*v.find("TextHex")) : v.get("Text");
        EXPECT_EQ(type, std::stoi(v.get("Type")));
        EXPECT_EQ(text, want);
        EXPECT_EQ(pos, std::stoul(v.get("Next")));
        EXPECT_EQ(complete, v.get("Complete") == "yes");

        // ReadItem itself gives the same text, type and position.
        std::size_t pos2 = 0;
        int32_t type2 = -1;
        EXPECT_EQ(ReadItem(data, pos2, type2), want);
        EXPECT_EQ(pos2, pos);
        EXPECT_EQ(type2, type);
        ++count;
    }
    EXPECT_GE(count, 25);
}

TEST(ParseMessage, OwnVectors) {
    int count = 0;
    runParseVectors(load("snmp_messages.vec"), count);
    EXPECT_GE(count, 8);
}

TEST(ParseMessage, IndependentEncoderVectors) {
    int count = 0;
    runParseVectors(load("netsnmp_messages.vec"), count);
    EXPECT_GE(count, 12);
}

TEST(BuildMessage, OwnVectors) {
    int count = 0;
    for (const Vector& v : load("snmp_messages.vec")) {
        if (v.section != "BuildMessage") {
            continue;
        }
        SCOPED_TRACE(v.where());
        test::FakeMessageOwner owner;
        TSNMPInfo m(owner);
        EXPECT_EQ(ToHex(buildFrom(v, m).BuildMessage()), ToHex(FromHex(v.get("Out"))));
        ++count;
    }
    EXPECT_GE(count, 5);
}

// net-snmp's requests carry a random four-octet request-id, so only the
// binding list (the end of the message) can match ours byte for byte.
TEST(BuildMessage, IndependentEncoderBindingLists) {
    int count = 0;
    for (const Vector& v : load("netsnmp_messages.vec")) {
        if (v.section != "BuildMessage") {
            continue;
        }
        SCOPED_TRACE(v.where());
        test::FakeMessageOwner owner;
        TSNMPInfo m(owner);
        const std::string built = buildFrom(v, m).BuildMessage();
        const std::string tail = FromHex(v.get("OutTail"));
        ASSERT_GE(built.size(), tail.size());
        EXPECT_EQ(ToHex(built.substr(built.size() - tail.size())), ToHex(tail));
        ++count;
    }
    EXPECT_GE(count, 10);
}

// Every net-snmp message, re-encoded by us from the fields we parsed, parses
// back to the same fields: the two sides agree on every type we handle.
TEST(BuildMessage, RoundTripsIndependentVectors) {
    for (const Vector& v : load("netsnmp_messages.vec")) {
        if (v.section != "ParseMessage") {
            continue;
        }
        SCOPED_TRACE(v.where());
        test::FakeMessageOwner owner;
        TSNMPInfo parsed(owner);
        parsed.ResetMessage();
        parsed.ParseMessage(FromHex(v.get("In")));
        if (parsed.RequestId < 0 || parsed.RequestId > 255) {
            parsed.RequestId &= 0xFF; // header integers go out in one octet
        }
        if (parsed.RequestId > 127) {
            parsed.RequestId = 1; // one octet with the top bit set reads negative
        }
        TSNMPInfo again(owner);
        again.ResetMessage();
        again.ParseMessage(parsed.BuildMessage());
        EXPECT_EQ(again.Community, parsed.Community);
        EXPECT_EQ(again.PduTag, parsed.PduTag);
        EXPECT_EQ(again.RequestId, parsed.RequestId);
        EXPECT_EQ(again.OidTexts, parsed.OidTexts);
        ASSERT_EQ(again.ValueTexts.size(), parsed.ValueTexts.size());
        for (std::size_t i = 0; i < again.ValueTexts.size(); ++i) {
            EXPECT_EQ(again.ValueTexts[i].Type, parsed.ValueTexts[i].Type);
            EXPECT_EQ(again.ValueTexts[i].Text, parsed.ValueTexts[i].Text);
        }
    }
}

// net-snmp's SNMPv2c requests and replies parse to tshark's fields, and each
// request (Get, GetNext, GetBulk), built again from those fields, is the
// same datagram byte for byte: its whole header integers included, which a
// GetBulk's max-repetitions above 127 needs. Counter64 replies rebuild the
// same way, X.690's 00 octet before 2^63 included, and the exceptions read
// as no value where an empty OCTET STRING is a value.
TEST(SnmpV2c, IndependentEncoderVectors) {
    int count = 0;
    int rebuilt = 0;
    for (const Vector& v : load("netsnmp_v2c_messages.vec")) {
        SCOPED_TRACE(v.where());
        // The reply message's own community, as in a query: a different one
        // would reset the version read before it.
        test::FakeMessageOwner owner;
        owner.Community = "public";
        TSNMPInfo m(owner);
        m.ResetMessage();
        const std::string datagram = FromHex(v.get("In"));
        m.ParseMessage(datagram);
        expectParsed(v, m);
        ++count;
        bool sameTypes = true;
        for (int i = 0; i < m.CountValues(); ++i) {
            const int32_t type = m.ValueTexts[static_cast<std::size_t>(i)].Type;
            EXPECT_EQ(m.IsNoValueAt(i), type >= kTagNoSuchObject && type <= kTagEndOfMibView);
            // Only the types whose text gives back their octets rebuild.
            sameTypes = sameTypes && (type == kTagNull || type == kTagOctetString || type == kTagCounter64 ||
                                      IsNoValue(type));
        }
        if (sameTypes) {
            TSNMPInfo again(owner);
            again.ResetMessage();
            again.Version = m.Version;
            again.PduTag = m.PduTag;
            again.RequestId = m.RequestId;
            again.ErrorStatus = m.ErrorStatus;
            again.ErrorIndex = m.ErrorIndex;
            for (std::size_t i = 0; i < m.OidTexts.size(); ++i) {
                again.AddBinding(m.OidTexts[i], m.ValueTexts[i].Text, m.ValueTexts[i].Type);
            }
            EXPECT_EQ(ToHex(again.BuildMessage()), ToHex(datagram));
            ++rebuilt;
        }
    }
    EXPECT_GE(count, 18);
    EXPECT_GE(rebuilt, 15);
    EXPECT_THROW(static_cast<void>(TSNMPInfo(test::FakeMessageOwner()).IsNoValueAt(0)), EListError);
}

// Header integers by version: SNMPv1 keeps the one octet its agents have
// always been sent (200 goes out as C8), SNMPv2c writes them whole, so that
// a GetBulkRequest's max-repetitions of 200 reads back as 200, not -56.
TEST(SnmpV2c, HeaderIntegersByVersion) {
    test::FakeMessageOwner owner;
    owner.Community = "public";
    TSNMPInfo m(owner);
    for (const int32_t version : {kVersion1, kVersion2c}) {
        m.ResetMessage();
        m.Version = version;
        m.PduTag = kTagGetBulkRequest;
        m.ErrorStatus = 1;
        m.ErrorIndex = 200;
        m.AddBinding("1.3.6.1.2.1.2.2.1.2", "", kTagNull);
        const std::string built = ToHex(m.BuildMessage());
        TSNMPInfo back(owner);
        back.ResetMessage();
        back.ParseMessage(m.BuildMessage());
        if (version == kVersion1) {
            EXPECT_NE(built.find("A5 1A 02 01 00 02 01 01 02 01 C8 30"), std::string::npos) << built;
            EXPECT_EQ(back.ErrorIndex, -56);
        } else {
            EXPECT_NE(built.find("A5 1B 02 01 00 02 01 01 02 02 00 C8 30"), std::string::npos) << built;
            EXPECT_EQ(back.ErrorIndex, 200);
        }
    }
}
