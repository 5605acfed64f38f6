// ReadItem over hostile bytes: walks the data item by item the way
// ParseMessage does, from every starting octet the walk reaches, and checks
// that the position never passes the end and that each complete read moves.
#include "snmp/Ber.h"
#include "snmp/TextToInt.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);
    std::size_t pos = 0;
    int32_t type = 0;
    std::string text;
    while (pos < data.size()) {
        const std::size_t before = pos;
        const bool complete = veltrum::tryReadItem(data, pos, type, text);
        if (pos > data.size() || (complete && pos <= before)) {
            std::abort();
        }
        // A Counter64 reads as an unsigned 64-bit decimal text that reads
        // back and re-encodes to contents that read the same; an exception
        // carries no text.
        if (complete && type == veltrum::kTagCounter64) {
            uint64_t value = 0;
            std::size_t again = 0;
            int32_t againType = 0;
            if (!veltrum::tryParseUnsigned64(text, value) || text.size() > 20 ||
                veltrum::ReadItem(veltrum::WrapItem(veltrum::EncodeUnsigned64(value), type), again,
                                  againType) != text) {
                std::abort();
            }
        }
        if (veltrum::IsNoValue(type) && !text.empty()) {
            std::abort();
        }
        if (!complete) {
            // Skip the octet that stopped us and go on reading the rest.
            pos = before + 1;
        }
    }
    // The other readers on the same bytes.
    std::size_t at = 0;
    (void)veltrum::DecodeLength(data, at);
    at = 0;
    while (at < data.size()) {
        (void)veltrum::DecodeSubId(data, at);
    }
    (void)veltrum::OidBytesToText(data);
    return 0;
}
