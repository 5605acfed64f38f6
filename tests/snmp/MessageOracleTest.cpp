// BuildMessage and ParseMessage against a literal reading of the message
// rules (tests/support/LiteralMessage.h), made with the public BER primitives
// one step at a time. The message class takes quicker routes for the usual shapes
// (short lengths, the poll's types) and remembers OID encodings between
// messages; whatever the route, its octets and fields must be these.
#include "snmp/FakeMessageOwner.h"
#include "snmp/IntegerReads.h"
#include "snmp/SnmpInfo.h"
#include "snmp/VectorFile.h"
#include "support/LiteralMessage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

using namespace veltrum;
using veltrum::test::Binding;
using veltrum::test::FakeMessageOwner;
using veltrum::test::literalBuild;
using veltrum::test::literalParse;
using veltrum::test::Message;
using veltrum::test::sameIntegerReads;
using veltrum::test::ToHex;

namespace {

void expectSameMessage(const TSNMPInfo& got, const TSNMPInfo& want, const std::string& data) {
    SCOPED_TRACE(ToHex(data));
    EXPECT_TRUE(sameIntegerReads(got, want)); // before got's texts are made
    EXPECT_EQ(got.Version, want.Version);
    EXPECT_EQ(got.Community, want.Community);
    EXPECT_EQ(got.PeerHost, want.PeerHost);
    EXPECT_EQ(got.PeerPort, want.PeerPort);
    EXPECT_EQ(got.PduTag, want.PduTag);
    EXPECT_EQ(got.RequestId, want.RequestId);
    EXPECT_EQ(got.ErrorStatus, want.ErrorStatus);
    EXPECT_EQ(got.ErrorIndex, want.ErrorIndex);
    EXPECT_EQ(got.OidTexts, want.OidTexts);
    EXPECT_EQ(got.ValueTexts, want.ValueTexts);
}

// A fresh message of `owner` parsing `data`, against the literal reading.
void expectParsedLiterally(const FakeMessageOwner& owner, const std::string& data) {
    TSNMPInfo got(owner);
    TSNMPInfo want(owner);
    got.ResetMessage();
    want.ResetMessage();
    got.ParseMessage(data);
    literalParse(want, data);
    expectSameMessage(got, want, data);
}

// Random messages: mostly the usual shapes, with long texts, odd types and
// many bindings often enough to reach every route.
class MessageMaker {
public:
    Message make() {
        Message m;
        m.Version = pick({0, 0, 0, 1, -1, 300});
        m.Community =
            pick({std::string("public"), std::string("qorvex"), std::string(), std::string(130, 'c')});
        m.PduTag = pick({0xA0, 0xA2, 0xA2, 0xA1, 0xA5, 0x30, 0x02});
        m.RequestId = pick({0, 0, 7, -1, 256, 1750441429});
        m.ErrorStatus = pick({0, 0, 0, 2, 200});
        m.ErrorIndex = pick({0, 0, 1, 10000});
        const int count = below(10) == 0 ? static_cast<int>(below(30)) : static_cast<int>(below(6));
        for (int i = 0; i < count; ++i) {
            m.Bindings.push_back(binding());
        }
        return m;
    }

    uint32_t below(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(m_random); }

private:
    template <class T> T pick(std::initializer_list<T> choices) {
        return *(choices.begin() + below(static_cast<uint32_t>(choices.size())));
    }

    Binding binding() {
        static const std::array<const char*, 8> kOids = {"1.3.6.1.2.1.2.2.1.10.1",
                                                         "1.3.6.1.2.1.2.2.1.16.1",
                                                         "1.3.6.1.2.1.2.2.1.11.1",
                                                         "1.3.6.1.2.1.2.2.1.17.1",
                                                         "1.3.6.1.2.1.1.5.0",
                                                         "1.3.6.1.2.1.2.2.1.2.4294967295",
                                                         "1.3",
                                                         "1.3.6.99999999999"};
        Binding b;
        b.Oid = below(12) == 0 ? "1.3.6.1.4.1." + std::to_string(m_random()) : kOids[below(kOids.size())];
        b.Type =
            pick({0, 4, 4, 0x41, 0x42, 0x43, 2, 5, 6, 0x40, 0x44, 0x46, 0x46, 0x80, 0x81, 0x82, 0x102, -1});
        switch (below(5)) {
        case 0:
            b.Text = std::to_string(static_cast<int32_t>(m_random()));
            break;
        case 1:
            b.Text = std::string(below(200), 'v');
            break;
        case 2:
            b.Text = "1.3.6.1." + std::to_string(below(1000));
            break;
        case 3: // 64-bit numbers of every magnitude, for Counter64
            b.Text = std::to_string(((uint64_t{m_random()} << 32) | m_random()) >> below(64));
            break;
        default:
            break;
        }
        return b;
    }

    std::mt19937 m_random{20261207};
};

void fill(TSNMPInfo& m, const Message& fields) {
    m.ResetMessage();
    m.AssignCommunity(fields.Community); // a different one resets the fields
    m.Version = fields.Version;
    m.PduTag = fields.PduTag;
    m.RequestId = fields.RequestId;
    m.ErrorStatus = fields.ErrorStatus;
    m.ErrorIndex = fields.ErrorIndex;
    for (const Binding& b : fields.Bindings) {
        m.AddBinding(b.Oid, b.Text, b.Type);
    }
}

} // namespace

TEST(BuildMessage, GivesTheLiteralOctetsOnEveryRoute) {
    FakeMessageOwner owner;
    TSNMPInfo m(owner); // one message throughout: its remembered forms carry over
    MessageMaker maker;
    for (int round = 0; round < 3000; ++round) {
        const Message fields = maker.make();
        fill(m, fields);
        const std::string want = literalBuild(fields);
        ASSERT_EQ(ToHex(m.BuildMessage()), ToHex(want)) << "round " << round;
    }
}

TEST(ParseMessage, GivesTheLiteralFieldsOnEveryRoute) {
    FakeMessageOwner owner;
    owner.Community = "qorvex";
    TSNMPInfo got(owner);
    TSNMPInfo want(owner);
    MessageMaker maker;
    for (int round = 0; round < 3000; ++round) {
        std::string data = literalBuild(maker.make());
        // Most datagrams as built, the rest cut short or with one octet
        // changed, which sends them off the usual route at any point.
        switch (maker.below(4)) {
        case 0:
            data.resize(maker.below(static_cast<uint32_t>(data.size()) + 1));
            break;
        case 1:
            data[maker.below(static_cast<uint32_t>(data.size()))] = static_cast<char>(maker.below(256));
            break;
        default:
            break;
        }
        // Earlier bindings stay in place for some rounds, as a caller may
        // parse into a message it has not reset.
        if (maker.below(3) != 0) {
            got.ResetMessage();
            want.ResetMessage();
        }
        got.ParseMessage(data);
        literalParse(want, data);
        expectSameMessage(got, want, data);
        if (HasFailure()) {
            FAIL() << "round " << round;
        }
    }
}

// Every cut of usual replies: a reply that ends inside a binding must stop
// where the literal reading stops, whatever the octets after the cut were.
// The outer, PDU and list lengths are cut down with it, so that the header
// still looks whole and only the bindings tell.
TEST(ParseMessage, CutRepliesStopWhereTheLiteralReadingStops) {
    FakeMessageOwner owner;
    owner.Community = "qorvex";
    MessageMaker maker;
    for (int reply = 0; reply < 40; ++reply) {
        Message fields = maker.make();
        fields.Community = "qorvex";
        fields.PduTag = 0xA2;
        const std::string whole = literalBuild(fields);
        for (std::size_t length = 0; length <= whole.size(); ++length) {
            std::string cut = whole.substr(0, length);
            const std::size_t pduAt = 7 + fields.Community.size();
            auto shorten = [&cut](std::size_t at) {
                if (at + 1 < cut.size() && static_cast<uint8_t>(cut[at + 1]) < 0x80) {
                    const std::size_t room = cut.size() - at - 2;
                    cut[at + 1] =
                        static_cast<char>(std::min<std::size_t>(static_cast<uint8_t>(cut[at + 1]), room));
                }
            };
            shorten(0);
            shorten(pduAt);
            shorten(pduAt + 11);
            expectParsedLiterally(owner, cut);
            if (HasFailure()) {
                FAIL() << "reply " << reply << " cut at " << length;
            }
        }
    }
}

// Every header octet of a usual reply changed to a few telling values: the
// quick route must take the reply only when its reading agrees.
TEST(ParseMessage, ChangedHeaderOctetsReadAsTheLiteralReadingDoes) {
    FakeMessageOwner owner;
    owner.Community = "qorvex";
    Message fields;
    fields.Version = 1;
    fields.Community = "qorvex";
    fields.PduTag = 0xA2;
    fields.RequestId = 7;
    fields.ErrorStatus = 2;
    fields.ErrorIndex = 1;
    fields.Bindings = {{"1.3.6.1.2.1.2.2.1.10.1", "166681654", 0x41}, {"1.3.6.1.2.1.1.5.0", "router", 4}};
    const std::string whole = literalBuild(fields);
    const std::size_t headerEnd = 7 + fields.Community.size() + 13;
    for (std::size_t at = 0; at < headerEnd; ++at) {
        for (const int octet : {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x30, 0x7F, 0x80, 0x81, 0xA2, 0xFF}) {
            std::string changed = whole;
            changed[at] = static_cast<char>(octet);
            expectParsedLiterally(owner, changed);
            if (HasFailure()) {
                FAIL() << "octet " << at << " set to " << octet;
            }
        }
    }
}
