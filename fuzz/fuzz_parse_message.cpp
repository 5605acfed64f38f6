// ParseMessage over hostile datagrams, then BuildMessage of whatever was read
// and a parse of that: none may read past its input, loop without end or
// unpair the lists. Both must also give what the literal reading of the
// message rules gives, whichever route the message takes for the input: its
// texts, made when asked for, and the integers the poll reads instead.
#include "snmp/FakeMessageOwner.h"
#include "snmp/IntegerReads.h"
#include "snmp/SnmpInfo.h"
#include "support/LiteralMessage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static const veltrum::test::FakeMessageOwner owner;
    veltrum::TSNMPInfo message(owner);
    message.ResetMessage();
    const std::string datagram(reinterpret_cast<const char*>(bytes), size);
    message.ParseMessage(datagram);
    if (message.OidTexts.size() != message.ValueTexts.size()) {
        std::abort();
    }
    veltrum::TSNMPInfo literal(owner);
    literal.ResetMessage();
    veltrum::test::literalParse(literal, datagram);
    // The integers the poll reads agree with the literal texts, read before
    // the message makes any text of its own.
    if (!veltrum::test::sameIntegerReads(message, literal)) {
        std::abort();
    }
    // An SNMPv2c exception is no value, and says so whatever route read it.
    for (int i = 0; i < message.CountValues(); ++i) {
        if (message.IsNoValueAt(i) && !message.ValueAt(i).empty()) {
            std::abort();
        }
    }
    if (!veltrum::test::sameMessage(message, literal)) {
        std::abort();
    }
    const std::string built = message.BuildMessage();
    veltrum::test::Message fields;
    fields.Version = message.Version;
    fields.Community = message.Community;
    fields.PduTag = message.PduTag;
    fields.RequestId = message.RequestId;
    fields.ErrorStatus = message.ErrorStatus;
    fields.ErrorIndex = message.ErrorIndex;
    for (std::size_t i = 0; i < message.OidTexts.size(); ++i) {
        fields.Bindings.push_back(
            {message.OidTexts[i], message.ValueTexts[i].Text, message.ValueTexts[i].Type});
    }
    if (built != veltrum::test::literalBuild(fields)) {
        std::abort();
    }
    veltrum::TSNMPInfo again(owner);
    again.ResetMessage();
    // Not a round trip: a binding whose value carries a constructed tag reads
    // back differently. Only the safety of the second parse is checked.
    again.ParseMessage(built);
    return 0;
}
