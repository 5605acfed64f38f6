#pragma once
// The user-based security model's cryptography (RFC 3414, RFC 3826,
// RFC 7860): turning a passphrase into a key localised to one engine, the
// truncated HMAC that authenticates a message, and the ciphers that keep its
// scoped PDU private. Every digest and cipher comes from OpenSSL's libcrypto
// (EVP); nothing here computes one by hand. Octet strings travel in
// std::string, one octet per char.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veltrum::usm {

// The names are those the net-snmp tools take after -a and -x.
enum class TAuthProtocol : uint8_t { None, MD5, SHA, SHA224, SHA256, SHA384, SHA512 };
enum class TPrivProtocol : uint8_t { None, DES, AES128, AES192, AES256 };

std::optional<TAuthProtocol> AuthProtocolNamed(std::string_view name);
std::optional<TPrivProtocol> PrivProtocolNamed(std::string_view name);
const char* AuthProtocolName(TAuthProtocol protocol);
const char* PrivProtocolName(TPrivProtocol protocol);

// The digest's length, which is also the localised key's (RFC 7860 section
// 4.2.1), and the HMAC's truncation carried in msgAuthenticationParameters:
// 12 octets for MD5 and SHA (RFC 3414 6.3.1, 7.3.1), then 16, 24, 32 and 48
// for SHA-224 to SHA-512 (RFC 7860 section 4.2.2).
std::size_t DigestLength(TAuthProtocol protocol);
std::size_t MacLength(TAuthProtocol protocol);
// The cipher's key length: 16 for DES (key and pre-IV), 16, 24, 32 for AES.
std::size_t PrivKeyLength(TPrivProtocol protocol);

// RFC 3414 appendix A.2: the passphrase repeated over one megabyte and hashed
// (Ku). Costly on purpose; callers keep the result (TKeyCache).
std::string PassphraseToKey(TAuthProtocol protocol, std::string_view passphrase);
// RFC 3414 section 2.6: Kul = H(Ku || engineID || Ku).
std::string LocalizeKey(TAuthProtocol protocol, std::string_view ku, std::string_view engineId);
// The privacy key from a localised key: its first octets, extended where the
// cipher needs more than the digest gives. AES-192/256 keys longer than the
// digest are extended as the agents of net-snmp do (each further block the
// hash of all the octets before it).
std::string PrivKeyFromLocalized(TAuthProtocol auth, TPrivProtocol priv, std::string_view kul);

// HMAC of `message` with `key`, truncated to MacLength.
std::string Mac(TAuthProtocol protocol, std::string_view key, std::string_view message);
// Constant-time comparison of two octet strings of equal length.
bool SameMac(std::string_view a, std::string_view b);

// RFC 3414 section 8.1.1 (DES-CBC) and RFC 3826 section 3.1 (AES-CFB128). The
// salt is msgPrivacyParameters; boots and time are the authoritative
// engine's as the message carries them. Decrypt returns nothing when the
// cipher refuses the octets (a DES text that is no multiple of eight).
std::string Encrypt(TPrivProtocol protocol, std::string_view privKey, uint32_t boots, uint32_t time,
                    std::string_view salt, std::string_view plain);
std::optional<std::string> Decrypt(TPrivProtocol protocol, std::string_view privKey, uint32_t boots,
                                   uint32_t time, std::string_view salt, std::string_view cipherText);

// Eight random octets (the AES salt's start), from the library's generator.
uint64_t RandomWord();

// One user's localised keys, kept so that the megabyte expansion runs once
// per passphrase and the localisation once per engine ID, not per poll.
class TKeyCache final {
public:
    // The localised authentication and privacy keys for this engine.
    struct TKeys {
        std::string Auth;
        std::string Priv;
    };
    const TKeys& KeysFor(TAuthProtocol auth, TPrivProtocol priv, const std::string& authPassphrase,
                         const std::string& privPassphrase, const std::string& engineId);
    // How many expansions ran (for the tests of the cache).
    int Expansions() const { return m_expansions; }
    // Forgets every key, passphrases' and engines' alike.
    void Clear();
    // Wipes the passphrases kept to tell a change; the keys expanded from
    // them stay and are localised for another engine when KeysFor is then
    // called with empty passphrases.
    void ForgetPassphrases();
    ~TKeyCache() { Clear(); }

private:
    TAuthProtocol m_auth = TAuthProtocol::None;
    TPrivProtocol m_priv = TPrivProtocol::None;
    std::string m_authPassphrase;
    std::string m_privPassphrase;
    std::string m_authKu;
    std::string m_privKu;
    std::string m_engineId;
    bool m_localized = false;
    TKeys m_keys;
    int m_expansions = 0;
};

// Overwrites a text's octets before it goes (keys and passphrases).
void Wipe(std::string& text);

} // namespace veltrum::usm
