// TSNMPInfo behaviour beyond the byte vectors: the owner link, the
// community rule, padding, the index error and the reuse of binding texts.
#include "snmp/SnmpInfo.h"
#include "snmp/Ber.h"
#include "snmp/FakeMessageOwner.h"
#include "snmp/VectorFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using namespace veltrum;
using namespace std::string_literals;
using veltrum::test::FakeMessageOwner;
using veltrum::test::FromHex;

TEST(TSNMPInfo, ConstructorCopiesOwnerCommunityAndPort) {
    FakeMessageOwner owner;
    owner.Community = "qorvex";
    owner.Port = 1161;
    TSNMPInfo m(owner);
    EXPECT_EQ(m.Community, "qorvex");
    EXPECT_EQ(m.PeerPort, 1161);
}

TEST(ResetMessage, TakesOwnerValuesAndKeepsPacket) {
    FakeMessageOwner owner;
    TSNMPInfo query(owner);
    TSNMPInfo trap(owner);
    owner.Trap = &trap;
    owner.Host = "10.0.0.1";
    owner.Community = "new";
    query.Packet = "xyz";
    query.Version = 1;
    query.PduTag = 160;
    query.RequestId = 7;
    query.ErrorStatus = 2;
    query.ErrorIndex = 1;
    query.AddBinding("1.3", "", 4);
    query.ResetMessage();
    trap.ResetMessage();
    EXPECT_EQ(query.Community, "new");
    EXPECT_EQ(query.PeerHost, "10.0.0.1");
    EXPECT_EQ(query.PeerPort, 161);
    EXPECT_EQ(trap.PeerPort, 162);
    EXPECT_EQ(query.Packet, "xyz");
    EXPECT_EQ(query.Version + query.PduTag + query.RequestId + query.ErrorStatus + query.ErrorIndex, 0);
    EXPECT_EQ(query.CountValues(), 0);
    EXPECT_TRUE(query.OidTexts.empty());
}

TEST(AssignCommunity, EqualTextKeepsBindings) {
    FakeMessageOwner owner;
    TSNMPInfo m(owner);
    m.ResetMessage();
    m.PduTag = 160;
    m.AddBinding("1.3", "", 4);
    m.AssignCommunity("public");
    EXPECT_EQ(m.CountValues(), 1);
    EXPECT_EQ(m.PduTag, 160);
    m.AssignCommunity("Public"); // case-sensitive: different
    EXPECT_EQ(m.CountValues(), 0);
    EXPECT_EQ(m.PduTag, 0);
    EXPECT_EQ(m.Community, "Public");
}

TEST(PadValueList, AddBindingAfterBareOids) {
    FakeMessageOwner owner;
    TSNMPInfo m(owner);
    m.ResetMessage();
    m.OidTexts = {"1.3.1", "1.3.2"};
    m.AddBinding("1.3.3", "v", 2);
    ASSERT_EQ(m.CountValues(), 3);
    EXPECT_EQ(m.ValueTexts[0].Type, 0);
    EXPECT_EQ(m.ValueTexts[1].Text, "");
    EXPECT_EQ(m.ValueAt(2), "v");
    // A bare OID is padded by BuildMessage too, and goes out as 04 00.
    m.OidTexts.push_back("1.3");
    const std::string built = m.BuildMessage();
    EXPECT_EQ(m.CountValues(), 4);
    EXPECT_EQ(built.substr(built.size() - 7), "\x30\x05\x06\x01\x2B\x04\x00"s);
}

TEST(BuildMessage, RequestIdKeepsLowOctet) {
    FakeMessageOwner owner;
    TSNMPInfo m(owner);
    m.ResetMessage();
    m.PduTag = 160;
    m.RequestId = 256;
    const std::string built = m.BuildMessage();
    EXPECT_EQ(built.substr(15, 3), "\x02\x01\x00"s);
}

TEST(BuildMessage, LongCommunityUsesLongFormLengths) {
    FakeMessageOwner owner;
    TSNMPInfo m(owner);
    m.ResetMessage();
    m.Community = std::string(200, 'c');
    m.PduTag = 160;
    m.AddBinding("1.3.6.1.2.1.1.5.0", "", 4);
    const std::string built = m.BuildMessage();
    ASSERT_EQ(built.size(), 3u + 3 + 3 + 200 + 2 + 25);
    EXPECT_EQ(built.substr(0, 3), "\x30\x81\xE9"s);
    EXPECT_EQ(built.substr(6, 3), "\x04\x81\xC8"s);
    TSNMPInfo back(owner);
    back.ResetMessage();
    back.ParseMessage(built);
    EXPECT_EQ(back.Community, m.Community);
    EXPECT_EQ(back.OidTexts, m.OidTexts);
}

TEST(ParseMessage, DifferentCommunityResetsFirst) {
    FakeMessageOwner owner;
    owner.Host = "agent";
    TSNMPInfo reply(owner);
    reply.ResetMessage();
    reply.Version = 3;
    reply.PeerHost = "elsewhere";
    reply.AddBinding("1.3.9", "old", 4);
    // version 1 in the datagram, community "other"
    const std::string datagram =
        "\x30\x1A\x02\x01\x01\x04\x05other\xA2\x0E\x02\x01\x09\x02\x01\x00\x02\x01\x00"
        "\x30\x03\x30\x01\x00"s;
    reply.ParseMessage(datagram);
    // The version was read before the community reset it to 0.
    EXPECT_EQ(reply.Version, 0);
    EXPECT_EQ(reply.Community, "other");
    EXPECT_EQ(reply.PeerHost, "agent");
    EXPECT_EQ(reply.RequestId, 9);
    EXPECT_EQ(reply.PduTag, 162);
}

TEST(ParseMessage, SameCommunityAppendsToExistingBindings) {
    FakeMessageOwner owner;
    TSNMPInfo m(owner);
    m.ResetMessage();
    m.AddBinding("1.3.9", "old", 4);
    const std::string datagram =
        "\x30\x1F\x02\x01\x00\x04\x06public\xA2\x12\x02\x01\x00\x02\x01\x02\x02\x01\x01"
        "\x30\x07\x30\x05\x06\x01\x2B\x05\x00"s;
    m.ParseMessage(datagram);
    EXPECT_EQ(m.ErrorStatus, 2);
    EXPECT_EQ(m.ErrorIndex, 1);
    ASSERT_EQ(m.CountValues(), 2);
    EXPECT_EQ(m.OidTexts[1], "1.3");
    EXPECT_EQ(m.ValueTexts[1].Type, 5);
}

TEST(ValueAt, OutOfRangeThrowsListError) {
    FakeMessageOwner owner;
    TSNMPInfo m(owner);
    m.ResetMessage();
    try {
        m.ValueAt(0);
        FAIL() << "no exception";
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (0)");
    }
    m.AddBinding("1.3", "x", 4);
    EXPECT_EQ(m.ValueAt(0), "x");
    EXPECT_THROW(m.ValueAt(1), EListError);
    try {
        m.ValueAt(-1);
        FAIL() << "no exception";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (-1)");
    }
}

// What the poll reads: a reply's value as an integer, before its text is
// made (the number the reply carried) and after, agrees with its text
// through the strict conversions; the text is the reply's either way.
TEST(Int32AtUnsigned64At, AgreeWithTheTextOfEveryType) {
    struct Row {
        const char* Item;
        std::string Text;
        std::optional<int32_t> Int32;
        std::optional<uint64_t> Unsigned64;
    };
    const Row rows[] = {
        {"02 01 FF", "-1", -1, {}},
        {"41 04 FF FF FF FF", "-1", -1, {}}, // a counter of 2^31 and more reads negative
        {"42 02 01 00", "256", 256, 256},
        {"43 00", "0", 0, 0},
        {"46 01 2A", "42", 42, 42},
        {"46 05 01 00 00 00 00", "4294967296", {}, 4294967296},
        {"46 09 00 FF FF FF FF FF FF FF FF", "18446744073709551615", {}, UINT64_MAX},
        {"04 02 31 32", "12", 12, 12}, // digits in an octet string read as their text does
        {"04 03 31 32 78", "12x", {}, {}},
        {"04 00", "", {}, {}},
        {"40 01 07", "7", 7, 7},
        {"40 04 C0 A8 01 01", "192.168.1.1", {}, {}},
        {"06 01 2B", "1.3", {}, {}},
        {"05 00", "", {}, {}},
        {"81 00", "", {}, {}},
    };
    FakeMessageOwner owner;
    TSNMPInfo m(owner);
    for (const Row& row : rows) {
        const std::string binding =
            WrapItem(WrapItem(OidTextToBytes("1.3.6.1"), kTagOid) + FromHex(row.Item), 0x30);
        const std::string pdu = "\x02\x01\x00\x02\x01\x00\x02\x01\x00"s + WrapItem(binding, 0x30);
        const std::string reply =
            WrapItem("\x02\x01\x01"s + WrapItem("public", 4) + WrapItem(pdu, 0xA2), 0x30);
        for (const bool textFirst : {false, true}) {
            m.ResetMessage();
            m.ParseMessage(reply);
            ASSERT_EQ(m.CountValues(), 1) << row.Item;
            if (textFirst) {
                EXPECT_EQ(m.ValueAt(0), row.Text) << row.Item;
            }
            int32_t int32 = 0;
            uint64_t unsigned64 = 0;
            EXPECT_EQ(m.Int32At(0, int32) ? std::optional(int32) : std::nullopt, row.Int32) << row.Item;
            EXPECT_EQ(m.Unsigned64At(0, unsigned64) ? std::optional(unsigned64) : std::nullopt,
                      row.Unsigned64)
                << row.Item;
            EXPECT_EQ(m.ValueAt(0), row.Text) << row.Item;
        }
    }
    int32_t outside = 0;
    EXPECT_THROW(m.Int32At(1, outside), EListError);
}

// One message that both builds and parses: what it learned in one direction
// must not answer the other.
TEST(ParseMessage, TextThatDoesNotRoundTripIsNotGivenBack) {
    FakeMessageOwner owner;
    TSNMPInfo m(owner);
    // An arc beyond 32 bits converts as 0, so the text encodes as 1.3.6.0.
    m.PduTag = 0xA2;
    m.AddBinding("1.3.6.99999999999", "", 4);
    const std::string request = m.BuildMessage();
    ASSERT_NE(request.find("\x06\x03\x2B\x06\x00"s), std::string::npos);
    m.ResetMessage();
    m.ParseMessage(request);
    ASSERT_EQ(m.OidTexts.size(), 1u);
    EXPECT_EQ(m.OidTexts[0], "1.3.6.0");
}

TEST(BuildMessage, ReplysLongerEncodingIsNotSentBack) {
    FakeMessageOwner owner;
    TSNMPInfo m(owner);
    // A GetResponse naming 1.3.6.5 with the 5 written in two octets (80 05).
    const std::string reply = "\x30\x22\x02\x01\x00\x04\x06qorvex\xA2\x15\x02\x01\x00\x02\x01\x00\x02\x01\x00"
                              "\x30\x0A\x30\x08\x06\x04\x2B\x06\x80\x05\x05\x00"s;
    ASSERT_EQ(static_cast<unsigned char>(reply[1]), reply.size() - 2);
    m.ParseMessage(reply);
    ASSERT_EQ(m.OidTexts.size(), 1u);
    EXPECT_EQ(m.OidTexts[0], "1.3.6.5");
    m.ResetMessage();
    m.AddBinding("1.3.6.5", "", 4);
    const std::string request = m.BuildMessage();
    EXPECT_NE(request.find("\x06\x03\x2B\x06\x05"s), std::string::npos);
    EXPECT_EQ(request.find("\x80\x05"s), std::string::npos);
}

// Numbers are written by a word-at-a-time formatter: every digit count, both
// signs and the 32-bit ends must come out as the usual decimal text, also
// when a reused text was longer or shorter before.
TEST(ParseMessage, NumberTextsAtEveryDigitCount) {
    FakeMessageOwner owner;
    TSNMPInfo query(owner);
    TSNMPInfo reply(owner);
    std::vector<int64_t> values = {0, 1, -1, INT32_MAX, INT32_MIN, -99999999, -100000000, 4294967295LL};
    for (int64_t power = 1; power <= 1000000000; power *= 10) {
        for (const int64_t near : {power - 1, power, power + 1, -power, -(power - 1)}) {
            values.push_back(near);
        }
    }
    // The length is taken from the bit length first: every bit length's ends.
    for (int bits = 1; bits <= 32; ++bits) {
        values.insert(values.end(), {(int64_t{1} << (bits - 1)), (int64_t{1} << bits) - 1});
    }
    uint32_t random = 12345;
    for (int i = 0; i < 2000; ++i) {
        random = random * 1664525u + 1013904223u;
        values.push_back(static_cast<int32_t>(random >> (random % 32)));
    }
    // Alternately long and short, so each text is rewritten both ways.
    std::sort(values.begin(), values.end(), [](int64_t a, int64_t b) { return (a & 1) < (b & 1); });
    for (const int64_t value : values) {
        const auto wire = static_cast<int32_t>(static_cast<uint32_t>(value));
        query.ResetMessage();
        query.PduTag = 0xA2;
        query.AddBinding("1.3.6.1", std::to_string(wire), 2);
        query.AddBinding("1.3.6.2", std::to_string(wire), 0x41);
        reply.ResetMessage();
        reply.ParseMessage(query.BuildMessage());
        ASSERT_EQ(reply.CountValues(), 2);
        // Counters are unsigned on the wire and read back as signed text.
        EXPECT_EQ(reply.ValueAt(0), std::to_string(wire)) << value;
        EXPECT_EQ(reply.ValueAt(1), std::to_string(wire)) << value;
    }
    // Counter64 texts are written in up to three pieces: every digit count
    // up to twenty, around each piece's edges, short and long in turn.
    std::vector<uint64_t> counters = {UINT64_MAX, UINT64_MAX - 1};
    for (int bits = 1; bits <= 64; ++bits) {
        counters.insert(counters.end(), {uint64_t{1} << (bits - 1), (uint64_t{1} << (bits - 1)) * 2 - 1});
    }
    for (uint64_t power = 1; power <= 10000000000000000000ULL; power *= 10) {
        counters.insert(counters.end(), {power - 1, power, power + 1, power * 9 + power / 3});
        if (power > UINT64_MAX / 10) {
            break;
        }
    }
    std::sort(counters.begin(), counters.end(), [](uint64_t a, uint64_t b) { return (a & 1) < (b & 1); });
    for (const uint64_t value : counters) {
        query.ResetMessage();
        query.Version = kVersion2c;
        query.PduTag = 0xA2;
        query.AddBinding("1.3.6.1", std::to_string(value), kTagCounter64);
        reply.ResetMessage();
        reply.ParseMessage(query.BuildMessage());
        ASSERT_EQ(reply.CountValues(), 1);
        EXPECT_EQ(reply.ValueAt(0), std::to_string(value)) << value;
    }
}

// The texts of a reset message are reused: nothing of an earlier binding may
// show through a later, shorter one, and a large reply's storage goes.
TEST(ResetMessage, ReusedTextsHoldOnlyTheNewBindings) {
    FakeMessageOwner owner;
    TSNMPInfo m(owner);
    m.AddBinding("1.3.6.1.2.1.1.1.0", std::string(5000, 'x'), 4);
    m.AddBinding("1.3.6.1.2.1.1.5.0", "router", 4);
    m.ResetMessage();
    EXPECT_TRUE(m.OidTexts.empty());
    EXPECT_EQ(m.ValueTexts.begin(), m.ValueTexts.end());
    m.AddBinding("1.3", "ab", 0x42);
    m.AddBinding("1.3.6.1.2.1.1.5.0.1", "", 0);
    m.AddBinding("1.4", "c", 4);
    ASSERT_EQ(m.CountValues(), 3);
    EXPECT_EQ(m.OidTexts[0], "1.3");
    EXPECT_EQ(m.ValueAt(0), "ab");
    EXPECT_EQ(m.ValueTexts[0].Type, 0x42);
    EXPECT_LE(m.ValueTexts[0].Text.capacity(), 256u);
    EXPECT_EQ(m.OidTexts[1], "1.3.6.1.2.1.1.5.0.1");
    EXPECT_EQ(m.ValueAt(1), "");
    EXPECT_EQ(m.ValueTexts[1].Type, 0);
    EXPECT_EQ(m.OidTexts[2], "1.4");
    // Padding after a reset gives empty untyped values, not old ones.
    m.ResetMessage();
    m.OidTexts.push_back("1.3.1");
    m.OidTexts.push_back("1.3.2");
    m.PadValueList();
    EXPECT_EQ(m.ValueAt(0), "");
    EXPECT_EQ(m.ValueTexts[1].Type, 0);
}

// A binding may be added from a view into the message's own bindings, also
// when the lists have to grow for it and every short text moves.
TEST(AddBinding, FromItsOwnBindingsWhileTheListsGrow) {
    FakeMessageOwner owner;
    TSNMPInfo m(owner);
    m.AddBinding("1.3.1", "short", 4);
    for (int i = 0; i < 40; ++i) {
        m.AddBinding(m.OidTexts[0], m.ValueAt(static_cast<int>(m.OidTexts.size()) - 1), 4);
    }
    ASSERT_EQ(m.CountValues(), 41);
    for (int i = 0; i < m.CountValues(); ++i) {
        EXPECT_EQ(m.OidTexts[static_cast<std::size_t>(i)], "1.3.1");
        EXPECT_EQ(m.ValueAt(i), "short");
    }
}

// The octets stay what was built until the next build.
TEST(BuildMessage, OctetsStayUntilTheNextBuild) {
    FakeMessageOwner owner;
    TSNMPInfo m(owner);
    m.PduTag = 0xA0;
    m.AddBinding("1.3.6.1.2.1.1.5.0", "", 4);
    const std::string& built = m.BuildMessage();
    const std::string first = built;
    m.ResetMessage();
    EXPECT_EQ(built, first);
    m.AddBinding("1.3.6.1.2.1.1.1.0", "", 4);
    m.BuildMessage();
    EXPECT_NE(built, first);
    EXPECT_EQ(built.size(), first.size());
}
