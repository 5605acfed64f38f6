#pragma once
// One SNMPv1 (RFC 1157) or SNMPv2c (RFC 1901, PDUs of RFC 3416) message:
// header fields, variable bindings and the encoded octets. BuildMessage and
// ParseMessage use the BER primitives of Ber.h. Octet strings travel in
// std::string, one octet per char.

#include "snmp/Octets.h"
#include "snmp/ReusedList.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace veltrum {

class TSNMPInfo;

// What a message takes from the component that owns it (TIdSNMP). The two
// texts are the owner's own, which a message reads through the references it
// is given once, when it is made.
class TSnmpMessageOwner {
public:
    virtual ~TSnmpMessageOwner() = default;
    virtual const std::string& OwnerCommunity() const = 0;
    virtual const std::string& OwnerHost() const = 0;
    virtual int32_t OwnerPort() const = 0;
    virtual int32_t OwnerTrapPort() const = 0;
    virtual bool IsTrapMessage(const TSNMPInfo& message) const = 0;
};

// ValueAt outside the list: "List index out of bounds (%d)".
class EListError final : public std::out_of_range {
public:
    explicit EListError(int index);
};

// One binding's value: its type code and its text. A reply's numbers, and
// the OIDs and addresses it carries as values, stay as the reply had them
// until their text is first asked for: the poll reads its counters as
// integers (TSNMPInfo::Int32At, Unsigned64At) and never needs their text.
struct TSnmpValue {
    std::string Text;
    int32_t Type = 0; // 0: none given, written as 4 (OCTET STRING)

    void clear() {
        Text.clear();
        Type = 0;
        m_form = TForm::Text;
        m_textPending = false;
    }
    // Type and text; how the value is kept does not count.
    bool operator==(const TSnmpValue& other) const { return Type == other.Type && Text == other.Text; }

private:
    friend class TSNMPInfo;
    friend class TValueList;
    enum class TForm : uint8_t {
        Text,       // Text is the value
        Signed32,   // m_number: the 32-bit pattern of an INTEGER, Counter, Gauge or TimeTicks
        Unsigned64, // m_number: a Counter64
        Contents,   // Text: an OID's or IpAddress's contents octets, not yet converted
    };
    TForm m_form = TForm::Text;
    bool m_textPending = false; // Text does not hold the text yet
    uint64_t m_number = 0;
};

// The values of a message's bindings. Reading an entry (indexing, iterating,
// comparing) first makes its text, so every reader sees the texts as the
// reply gave them; only the message itself sees a value as it was kept.
class TValueList final {
public:
    using value_type = TSnmpValue;
    using size_type = std::size_t;
    using reference = TSnmpValue&;
    using const_reference = const TSnmpValue&;
    using iterator = TSnmpValue*;
    using const_iterator = const TSnmpValue*;

    std::size_t size() const { return m_items.size(); }
    bool empty() const { return m_items.empty(); }
    const TSnmpValue& operator[](std::size_t index) const { return made(index); }
    TSnmpValue& operator[](std::size_t index) { return made(index); }
    const TSnmpValue* data() const {
        makeAll();
        return m_items.data();
    }
    TSnmpValue* data() {
        makeAll();
        return m_items.data();
    }
    const TSnmpValue* begin() const { return data(); }
    const TSnmpValue* end() const { return data() + size(); }
    TSnmpValue* begin() { return data(); }
    TSnmpValue* end() { return data() + size(); }

    friend bool operator==(const TValueList& a, const TValueList& b) {
        a.makeAll();
        b.makeAll();
        return a.m_items == b.m_items;
    }

private:
    friend class TSNMPInfo;
    using TForm = TSnmpValue::TForm;

    TSnmpValue& made(std::size_t index) const {
        TSnmpValue& value = m_items[index];
        if (value.m_textPending) {
            makeText(value);
        }
        return value;
    }
    void makeAll() const {
        if (m_pending) {
            makeAllTexts();
        }
    }
    [[gnu::noinline]] static void makeText(TSnmpValue& value);
    [[gnu::noinline]] void makeAllTexts() const;

    // The entry as it is kept, text or not.
    const TSnmpValue& kept(std::size_t index) const { return m_items[index]; }
    // The entries, for a caller that has made every text (makeAll).
    const TSnmpValue* madeData() const { return m_items.data(); }

    // A number whose text waits until it is asked for.
    [[gnu::always_inline]] void appendNumber(int32_t type, TForm form, uint64_t number) {
        TSnmpValue& entry = m_items.appendSpare();
        entry.Type = type;
        entry.m_number = number;
        entry.m_form = form;
        entry.m_textPending = true;
        m_pending = true;
    }
    // An entry whose text the caller writes.
    [[gnu::always_inline]] TSnmpValue& appendText(int32_t type) {
        TSnmpValue& entry = m_items.appendSpare();
        entry.Type = type;
        entry.m_form = TForm::Text;
        entry.m_textPending = false;
        return entry;
    }

    // The reused list's own operations, for the message.
    std::size_t madeCount() const { return m_items.madeCount(); }
    bool appendMoves() const { return m_items.appendMoves(); }
    TSnmpValue* nextSpare() { return m_items.nextSpare(); }
    void takeSpare() { m_items.takeSpare(); }
    void resize(std::size_t count) { m_items.resize(count); }
    void clear() {
        m_items.clear();
        m_pending = false;
    }
    template <class TooBig> void clearKeeping(std::size_t keep, TooBig tooBig) {
        m_items.clearKeeping(keep, tooBig);
        m_pending = false;
    }

    mutable TReusedList<TSnmpValue> m_items;
    mutable bool m_pending = false; // whether an entry may wait for its text
};

// An OID in both its forms: its dotted text and its encoding.
struct TNameForms {
    std::string Text;
    std::string Bytes;
};

// The OID texts of a message's bindings. The names a reply carries in its
// first bindings stay encoded until their text is first asked for; reading
// an entry (indexing, iterating, comparing) first makes its text. Entries
// written as text (AddBinding, push_back) are text from the start.
class TNameList final {
public:
    using value_type = std::string;
    using size_type = std::size_t;
    using reference = std::string&;
    using const_reference = const std::string&;
    using iterator = std::string*;
    using const_iterator = const std::string*;

    TNameList() = default;
    TNameList& operator=(std::initializer_list<std::string> items) {
        clear();
        m_items = items;
        return *this;
    }

    std::size_t size() const { return m_items.size(); }
    bool empty() const { return m_items.empty(); }
    const std::string& operator[](std::size_t index) const { return made(index); }
    std::string& operator[](std::size_t index) { return made(index); }
    const std::string* data() const {
        makeAll();
        return m_items.data();
    }
    std::string* data() {
        makeAll();
        return m_items.data();
    }
    const std::string* begin() const { return data(); }
    const std::string* end() const { return data() + size(); }
    std::string* begin() { return data(); }
    std::string* end() { return data() + size(); }
    // A new entry is past every encoded one, which stay where they are.
    void push_back(const std::string& text) { m_items.push_back(text); }
    void push_back(std::string&& text) { m_items.push_back(std::move(text)); }

    friend bool operator==(const TNameList& a, const TNameList& b) {
        a.makeAll();
        b.makeAll();
        return a.m_items == b.m_items;
    }

    // The reply's names are remembered in both forms for this many of the
    // first bindings, up to this encoded size; the rest are converted at once.
    static constexpr std::size_t kRememberedNames = 16;
    static constexpr std::size_t kRememberedNameSize = 128;

private:
    friend class TSNMPInfo;

    std::string& made(std::size_t index) const {
        if (index < kRememberedNames && ((m_encoded >> index) & 1U) != 0) {
            makeText(index);
        }
        return m_items[index];
    }
    void makeAll() const {
        for (uint32_t encoded = m_encoded; encoded != 0; encoded &= encoded - 1) {
            makeText(static_cast<std::size_t>(std::countr_zero(encoded)));
        }
    }
    [[gnu::noinline]] void makeText(std::size_t index) const;
    // The entries, for a caller that has made every text (makeAll).
    const std::string* madeData() const { return m_items.data(); }

    // Appends the name whose encoding is `bytes`; true when its text may be
    // too large to keep as a spare.
    bool appendReplyName(std::string_view bytes, std::size_t spareCapacity);

    // The reused list's own operations, for the message.
    std::size_t madeCount() const { return m_items.madeCount(); }
    bool appendMoves() const { return m_items.appendMoves(); }
    std::string* nextSpare() { return m_items.nextSpare(); }
    void takeSpare() { m_items.takeSpare(); }
    std::string& appendSpare() { return m_items.appendSpare(); }
    void clear() {
        m_items.clear();
        m_encoded = 0;
    }
    template <class TooBig> void clearKeeping(std::size_t keep, TooBig tooBig) {
        m_items.clearKeeping(keep, tooBig);
        m_encoded = 0;
    }

    mutable TReusedList<std::string> m_items;
    // Bit i: entry i holds the encoding of its name, not yet its text.
    mutable uint32_t m_encoded = 0;
    static_assert(kRememberedNames <= 32);
    // For each of the first entries, the last name whose text was made
    // there, so that the same reply every poll converts none.
    mutable std::array<TNameForms, kRememberedNames> m_remembered;
};

class TSNMPInfo final {
public:
    using Value = TSnmpValue;

    // Copies the owner's community and port; the owner calls ResetMessage next.
    explicit TSNMPInfo(const TSnmpMessageOwner& owner);
    TSNMPInfo(const TSNMPInfo&) = delete;
    TSNMPInfo& operator=(const TSNMPInfo&) = delete;

    std::string Community;
    std::string Packet;
    std::string PeerHost;
    int32_t PeerPort = 0;
    int32_t Version = 0; // 0 SNMPv1; 1 SNMPv2c, whose header integers go out whole
    int32_t PduTag = 0;
    int32_t RequestId = 0;
    // A GetBulkRequest carries non-repeaters and max-repetitions in these two
    // places (RFC 3416 section 3).
    int32_t ErrorStatus = 0;
    int32_t ErrorIndex = 0;
    TNameList OidTexts;
    TValueList ValueTexts;

    void ResetMessage() {
        Version = 0;
        // The owner's texts rarely change between resets: copied only when
        // they differ.
        if (!octets::sameOctets(Community, m_ownerCommunity)) {
            copyOwnerText(Community, m_ownerCommunity);
        }
        PeerPort = m_owner.IsTrapMessage(*this) ? m_owner.OwnerTrapPort() : m_owner.OwnerPort();
        if (!octets::sameOctets(PeerHost, m_ownerHost)) {
            copyOwnerText(PeerHost, m_ownerHost);
        }
        PduTag = 0;
        RequestId = 0;
        ErrorStatus = 0;
        ErrorIndex = 0;
        // The emptied entries stay for the next bindings. Only a few small
        // texts are kept: a hostile reply with thousands of bindings or huge
        // values must not leave its storage behind. The bindings this message
        // wrote itself tell whether any text needs looking at.
        if (!m_largeTexts && OidTexts.madeCount() <= kSpareTexts && ValueTexts.madeCount() <= kSpareTexts) {
            OidTexts.clear();
            ValueTexts.clear();
            return;
        }
        trimBindings();
    }
    void AssignCommunity(const std::string& community);
    // Views, so that a literal or a part of a text needs no temporary string.
    void AddBinding(std::string_view oid, std::string_view value, int32_t type) {
        // The usual case, inline: the lists are paired and each has a spare
        // entry from the last reset, so nothing moves and nothing is
        // allocated. A view into one of the message's bindings is untouched:
        // the spare entries are past them.
        std::string* const oidEntry = OidTexts.nextSpare();
        Value* const valueEntry = ValueTexts.nextSpare();
        if (oidEntry != nullptr && valueEntry != nullptr && OidTexts.size() == ValueTexts.size() &&
            oid.size() <= kSpareCapacity && value.size() <= kSpareCapacity) {
            octets::setText(*oidEntry, oid);
            valueEntry->Type = type;
            valueEntry->m_form = TForm::Text;
            valueEntry->m_textPending = false;
            octets::setText(valueEntry->Text, value);
            OidTexts.takeSpare();
            ValueTexts.takeSpare();
            return;
        }
        addOtherBinding(oid, value, type);
    }
    void PadValueList() {
        if (ValueTexts.size() < OidTexts.size()) {
            ValueTexts.resize(OidTexts.size());
        }
    }
    // The octets stay valid until the next BuildMessage.
    const std::string& BuildMessage() {
        PadValueList();
        OidTexts.makeAll();
        ValueTexts.makeAll();
        if (!buildUsualMessage()) {
            buildAnyMessage();
        }
        return m_built;
    }
    void ParseMessage(const std::string& datagram) {
        if (!parseUsualMessage(datagram)) {
            parseAnyMessage(datagram);
        }
    }
    int CountValues() const { return static_cast<int>(ValueTexts.size()); }
    // Throws EListError for an index outside the values.
    const std::string& ValueAt(int index) const {
        if (index < 0 || static_cast<std::size_t>(index) >= ValueTexts.size()) {
            throwListError(index);
        }
        return ValueTexts[static_cast<std::size_t>(index)].Text;
    }
    // The value at `index` read as an integer, as the strict conversions read
    // its text (tryParseInt, tryParseUnsigned64 of TextToInt.h): true and
    // `value` set when the text is such an integer, false when it is not. A
    // number the reply carried is read without making its text. Throws as
    // ValueAt.
    bool Int32At(int index, int32_t& value) const {
        const Value* const kept = keptNumber(index, TForm::Signed32);
        if (kept == nullptr) {
            return otherInt32At(index, value);
        }
        value = static_cast<int32_t>(static_cast<uint32_t>(kept->m_number));
        return true;
    }
    bool Unsigned64At(int index, uint64_t& value) const {
        const Value* const kept = keptNumber(index, TForm::Unsigned64);
        if (kept == nullptr) {
            return otherUnsigned64At(index, value);
        }
        value = kept->m_number;
        return true;
    }
    // Whether the value at `index` is an SNMPv2c exception (noSuchObject,
    // noSuchInstance, endOfMibView): no value at all, where ValueAt gives an
    // empty text just as for an empty OCTET STRING. Throws as ValueAt.
    bool IsNoValueAt(int index) const;

    // What a reset keeps of the bindings' storage for the next ones: this
    // many entries of each list, with texts of at most this capacity.
    static constexpr std::size_t kSpareTexts = 16;
    static constexpr std::size_t kSpareCapacity = 256;

private:
    using TForm = Value::TForm;

    bool parseUsualMessage(std::string_view data);
    bool buildUsualMessage();
    void buildAnyMessage();
    void parseAnyMessage(std::string_view data);
    void parseBindings(std::string_view data, std::size_t at, std::size_t outerLength);
    void appendContentsValue(int32_t type, std::string_view contents);
    // The value at `index` as it is kept; throws EListError outside the values.
    const Value& keptValue(int index) const;
    // The value at `index` when it is a number kept in `form`, else null.
    const Value* keptNumber(int index, TForm form) const {
        if (index < 0 || static_cast<std::size_t>(index) >= ValueTexts.size()) {
            return nullptr;
        }
        const Value& kept = ValueTexts.kept(static_cast<std::size_t>(index));
        return kept.m_form == form ? &kept : nullptr;
    }
    [[noreturn, gnu::noinline]] static void throwListError(int index);
    [[gnu::noinline]] bool otherInt32At(int index, int32_t& value) const;
    [[gnu::noinline]] bool otherUnsigned64At(int index, uint64_t& value) const;
    void addBinding(std::string_view oid, std::string_view value, int32_t type);
    [[gnu::noinline]] void addOtherBinding(std::string_view oid, std::string_view value, int32_t type);
    [[gnu::noinline]] void addMovingBinding(std::string_view oid, std::string_view value, int32_t type);
    void assignCommunity(std::string_view community);
    [[gnu::noinline]] void replaceCommunity(std::string_view community);
    [[gnu::noinline]] void trimBindings();
    [[gnu::noinline]] static void copyOwnerText(std::string& text, const std::string& owner);

    // The same few OIDs go out and come back every poll, in the same
    // places: each direction remembers, for each of the first bindings, the
    // last name it converted there in both forms, so a poll converts none.
    // The two directions keep apart: a text that does not round-trip, or a
    // reply's longer-than-needed encoding, must not come back the other way.
    // The reply's names are remembered by OidTexts.
    static constexpr std::size_t kRememberedNames = TNameList::kRememberedNames;
    static constexpr std::size_t kRememberedNameSize = TNameList::kRememberedNameSize;
    const std::string* requestName(std::size_t index, std::string_view text);

    const TSnmpMessageOwner& m_owner;
    const std::string& m_ownerCommunity;
    const std::string& m_ownerHost;
    std::array<TNameForms, kRememberedNames> m_requestNames; // text to encoding
    // Whether a binding written since the last reset holds a text too large
    // to keep as a spare.
    bool m_largeTexts = false;
    // Scratch the encoder writes into before the message is copied out; its
    // size only grows (so it is never cleared again) up to a small bound.
    std::string m_build;
    // The last built message, whose storage the next one reuses.
    std::string m_built;
};

// Makes `message` a request of PDU type `pduTag` in `version` (kVersion1,
// kVersion2c) for `oids`, in their order, after resetting it. The values ask
// for nothing: empty OCTET STRINGs in SNMPv1, as this program has always sent
// them, NULL in SNMPv2c (RFC 3416 section 4.2.1 leaves a request's values
// unspecified). Further header fields (a GetBulkRequest's two) are set after.
void ResetRequest(TSNMPInfo& message, int32_t pduTag, int32_t version, std::span<const std::string> oids);

} // namespace veltrum
