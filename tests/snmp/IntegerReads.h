#pragma once
// The integer reads of a parsed message against the texts of another
// (the literal reading's): Int32At and Unsigned64At must give what the
// strict conversions make of ValueAt, tryParseInt and tryParseUnsigned64.
// Called before the parsed message's texts are read, so that the numbers
// it kept are read as numbers. Used by the message oracle test and the
// message fuzzer.

#include "snmp/SnmpInfo.h"
#include "snmp/TextToInt.h"

#include <cstdint>

namespace veltrum::test {

inline bool sameIntegerReads(const TSNMPInfo& parsed, const TSNMPInfo& texts) {
    if (parsed.CountValues() != texts.CountValues()) {
        return false;
    }
    for (int i = 0; i < parsed.CountValues(); ++i) {
        int32_t got32 = 0;
        int32_t want32 = 0;
        uint64_t got64 = 0;
        uint64_t want64 = 0;
        const bool is32 = parsed.Int32At(i, got32);
        const bool is64 = parsed.Unsigned64At(i, got64);
        if (is32 != tryParseInt(texts.ValueAt(i), want32) || got32 != want32 ||
            is64 != tryParseUnsigned64(texts.ValueAt(i), want64) || got64 != want64) {
            return false;
        }
    }
    return true;
}

} // namespace veltrum::test
