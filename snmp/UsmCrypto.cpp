#include "snmp/UsmCrypto.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/provider.h>
#include <openssl/rand.h>

#include <array>
#include <memory>
#include <stdexcept>

namespace veltrum::usm {

namespace {

struct TAuthRow {
    TAuthProtocol Protocol;
    const char* Name;      // as -a takes it
    const char* Digest;    // OpenSSL's name
    std::size_t MacLength; // RFC 3414, RFC 7860
};
constexpr std::array<TAuthRow, 6> kAuthRows{{
    {TAuthProtocol::MD5, "MD5", "MD5", 12},
    {TAuthProtocol::SHA, "SHA", "SHA1", 12},
    {TAuthProtocol::SHA224, "SHA-224", "SHA224", 16},
    {TAuthProtocol::SHA256, "SHA-256", "SHA256", 24},
    {TAuthProtocol::SHA384, "SHA-384", "SHA384", 32},
    {TAuthProtocol::SHA512, "SHA-512", "SHA512", 48},
}};

struct TPrivRow {
    TPrivProtocol Protocol;
    const char* Name; // as -x takes it
    std::size_t KeyLength;
};
constexpr std::array<TPrivRow, 4> kPrivRows{{
    {TPrivProtocol::DES, "DES", 16},
    {TPrivProtocol::AES128, "AES", 16},
    {TPrivProtocol::AES192, "AES-192", 24},
    {TPrivProtocol::AES256, "AES-256", 32},
}};

const TAuthRow& authRow(TAuthProtocol protocol) {
    for (const TAuthRow& row : kAuthRows) {
        if (row.Protocol == protocol) {
            return row;
        }
    }
    throw std::invalid_argument("no authentication protocol");
}

// The digests, fetched once: fetching by name costs more than a poll's HMAC.
const EVP_MD* digestOf(TAuthProtocol protocol) {
    static const std::array<EVP_MD*, kAuthRows.size()> digests = [] {
        std::array<EVP_MD*, kAuthRows.size()> fetched{};
        for (std::size_t i = 0; i < kAuthRows.size(); ++i) {
            fetched[i] = EVP_MD_fetch(nullptr, kAuthRows[i].Digest, nullptr);
        }
        return fetched;
    }();
    const auto index = static_cast<std::size_t>(protocol) - 1;
    if (index >= digests.size() || digests[index] == nullptr) {
        throw std::runtime_error("digest not available");
    }
    return digests[index];
}

const unsigned char* bytes(std::string_view text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

std::string hash(TAuthProtocol protocol, std::string_view data) {
    std::string out(DigestLength(protocol), '\0');
    unsigned int length = 0;
    if (EVP_Digest(data.data(), data.size(), reinterpret_cast<unsigned char*>(out.data()), &length,
                   digestOf(protocol), nullptr) != 1) {
        throw std::runtime_error("digest failed");
    }
    out.resize(length);
    return out;
}

// DES lives in OpenSSL 3's legacy provider, which the default library
// context does not load; it gets a context of its own so that loading it
// changes nothing for the rest of the process.
EVP_CIPHER* desCipher() {
    static EVP_CIPHER* const cipher = [] {
        OSSL_LIB_CTX* const context = OSSL_LIB_CTX_new();
        if (context == nullptr || OSSL_PROVIDER_load(context, "default") == nullptr ||
            OSSL_PROVIDER_load(context, "legacy") == nullptr) {
            return static_cast<EVP_CIPHER*>(nullptr);
        }
        return EVP_CIPHER_fetch(context, "DES-CBC", nullptr);
    }();
    return cipher;
}

const EVP_CIPHER* aesCipher(TPrivProtocol protocol) {
    switch (protocol) {
    case TPrivProtocol::AES128:
        return EVP_aes_128_cfb128();
    case TPrivProtocol::AES192:
        return EVP_aes_192_cfb128();
    case TPrivProtocol::AES256:
        return EVP_aes_256_cfb128();
    default:
        return nullptr;
    }
}

void putWord(unsigned char* at, uint32_t value) {
    at[0] = static_cast<unsigned char>(value >> 24);
    at[1] = static_cast<unsigned char>(value >> 16);
    at[2] = static_cast<unsigned char>(value >> 8);
    at[3] = static_cast<unsigned char>(value);
}

struct TCipherContextFree {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

std::optional<std::string> runCipher(TPrivProtocol protocol, std::string_view privKey, uint32_t boots,
                                     uint32_t time, std::string_view salt, std::string_view input,
                                     bool encrypt) {
    if (privKey.size() < PrivKeyLength(protocol)) {
        return std::nullopt;
    }
    std::array<unsigned char, 16> iv{};
    const EVP_CIPHER* cipher = nullptr;
    if (protocol == TPrivProtocol::DES) {
        // RFC 3414 8.1.1.1: the key's first eight octets are the DES key, the
        // last eight the pre-IV, XORed with the eight-octet salt.
        if (salt.size() != 8 || (!encrypt && input.size() % 8 != 0)) {
            return std::nullopt;
        }
        for (std::size_t i = 0; i < 8; ++i) {
            iv[i] = static_cast<unsigned char>(privKey[8 + i] ^ salt[i]);
        }
        cipher = desCipher();
    } else {
        // RFC 3826 3.1.2.1: the IV is boots, time and the 64-bit salt.
        if (salt.size() != 8) {
            return std::nullopt;
        }
        putWord(iv.data(), boots);
        putWord(iv.data() + 4, time);
        std::copy(salt.begin(), salt.end(), iv.begin() + 8);
        cipher = aesCipher(protocol);
    }
    if (cipher == nullptr) {
        return std::nullopt;
    }
    const std::unique_ptr<EVP_CIPHER_CTX, TCipherContextFree> context(EVP_CIPHER_CTX_new());
    std::string text(input);
    // RFC 3414 8.1.1.2: DES pads the plain text to a multiple of eight; the
    // padding's value does not matter, the scoped PDU's length says where it
    // ends.
    if (encrypt && protocol == TPrivProtocol::DES && text.size() % 8 != 0) {
        text.resize(text.size() + 8 - text.size() % 8, '\0');
    }
    std::string out(text.size() + 16, '\0');
    int written = 0;
    int last = 0;
    if (!context ||
        EVP_CipherInit_ex(context.get(), cipher, nullptr, bytes(privKey), iv.data(), encrypt) != 1 ||
        EVP_CIPHER_CTX_set_padding(context.get(), 0) != 1 ||
        EVP_CipherUpdate(context.get(), reinterpret_cast<unsigned char*>(out.data()), &written, bytes(text),
                         static_cast<int>(text.size())) != 1 ||
        EVP_CipherFinal_ex(context.get(), reinterpret_cast<unsigned char*>(out.data()) + written, &last) !=
            1) {
        return std::nullopt;
    }
    out.resize(static_cast<std::size_t>(written + last));
    return out;
}

} // namespace

std::optional<TAuthProtocol> AuthProtocolNamed(std::string_view name) {
    for (const TAuthRow& row : kAuthRows) {
        if (name == row.Name) {
            return row.Protocol;
        }
    }
    return std::nullopt;
}

std::optional<TPrivProtocol> PrivProtocolNamed(std::string_view name) {
    for (const TPrivRow& row : kPrivRows) {
        if (name == row.Name) {
            return row.Protocol;
        }
    }
    // -x takes AES-128 for AES as well.
    if (name == "AES-128") {
        return TPrivProtocol::AES128;
    }
    return std::nullopt;
}

const char* AuthProtocolName(TAuthProtocol protocol) {
    return protocol == TAuthProtocol::None ? "" : authRow(protocol).Name;
}

const char* PrivProtocolName(TPrivProtocol protocol) {
    for (const TPrivRow& row : kPrivRows) {
        if (row.Protocol == protocol) {
            return row.Name;
        }
    }
    return "";
}

std::size_t DigestLength(TAuthProtocol protocol) {
    return static_cast<std::size_t>(EVP_MD_get_size(digestOf(protocol)));
}

std::size_t MacLength(TAuthProtocol protocol) {
    return protocol == TAuthProtocol::None ? 0 : authRow(protocol).MacLength;
}

std::size_t PrivKeyLength(TPrivProtocol protocol) {
    for (const TPrivRow& row : kPrivRows) {
        if (row.Protocol == protocol) {
            return row.KeyLength;
        }
    }
    return 0;
}

std::string PassphraseToKey(TAuthProtocol protocol, std::string_view passphrase) {
    if (passphrase.empty()) {
        throw std::invalid_argument("empty passphrase");
    }
    constexpr std::size_t kExpansion = 1048576; // RFC 3414 A.2.1: one megabyte
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), digestOf(protocol), nullptr) != 1) {
        throw std::runtime_error("digest failed");
    }
    // The passphrase repeated: a block of a whole number of passphrases,
    // hashed until the megabyte is reached.
    std::string block;
    while (block.size() < 4096) {
        block += passphrase;
    }
    std::size_t left = kExpansion;
    while (left > 0) {
        const std::size_t take = std::min(left, block.size());
        EVP_DigestUpdate(context.get(), block.data(), take);
        left -= take;
    }
    Wipe(block);
    std::string ku(DigestLength(protocol), '\0');
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), reinterpret_cast<unsigned char*>(ku.data()), &length) != 1) {
        throw std::runtime_error("digest failed");
    }
    return ku;
}

std::string LocalizeKey(TAuthProtocol protocol, std::string_view ku, std::string_view engineId) {
    std::string joined;
    joined.reserve(2 * ku.size() + engineId.size());
    joined.append(ku).append(engineId).append(ku);
    std::string kul = hash(protocol, joined);
    Wipe(joined);
    return kul;
}

std::string PrivKeyFromLocalized(TAuthProtocol auth, TPrivProtocol priv, std::string_view kul) {
    const std::size_t needed = PrivKeyLength(priv);
    std::string key(kul);
    while (key.size() < needed) {
        key += hash(auth, key);
    }
    key.resize(needed);
    return key;
}

std::string Mac(TAuthProtocol protocol, std::string_view key, std::string_view message) {
    static EVP_MAC* const hmac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    const std::unique_ptr<EVP_MAC_CTX, decltype(&EVP_MAC_CTX_free)> context(
        hmac == nullptr ? nullptr : EVP_MAC_CTX_new(hmac), EVP_MAC_CTX_free);
    const char* const digest = authRow(protocol).Digest;
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, const_cast<char*>(digest), 0),
        OSSL_PARAM_construct_end()};
    std::array<unsigned char, EVP_MAX_MD_SIZE> full{};
    std::size_t length = 0;
    if (!context || EVP_MAC_init(context.get(), bytes(key), key.size(), params) != 1 ||
        EVP_MAC_update(context.get(), bytes(message), message.size()) != 1 ||
        EVP_MAC_final(context.get(), full.data(), &length, full.size()) != 1) {
        throw std::runtime_error("HMAC failed");
    }
    return std::string(reinterpret_cast<const char*>(full.data()), std::min(length, MacLength(protocol)));
}

bool SameMac(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string Encrypt(TPrivProtocol protocol, std::string_view privKey, uint32_t boots, uint32_t time,
                    std::string_view salt, std::string_view plain) {
    std::optional<std::string> out = runCipher(protocol, privKey, boots, time, salt, plain, true);
    if (!out) {
        throw std::runtime_error("encryption failed");
    }
    return std::move(*out);
}

std::optional<std::string> Decrypt(TPrivProtocol protocol, std::string_view privKey, uint32_t boots,
                                   uint32_t time, std::string_view salt, std::string_view cipherText) {
    return runCipher(protocol, privKey, boots, time, salt, cipherText, false);
}

uint64_t RandomWord() {
    uint64_t word = 0;
    if (RAND_bytes(reinterpret_cast<unsigned char*>(&word), sizeof word) != 1) {
        throw std::runtime_error("no random octets");
    }
    return word;
}

void Wipe(std::string& text) {
    OPENSSL_cleanse(text.data(), text.size());
    text.clear();
}

const TKeyCache::TKeys& TKeyCache::KeysFor(TAuthProtocol auth, TPrivProtocol priv,
                                           const std::string& authPassphrase,
                                           const std::string& privPassphrase, const std::string& engineId) {
    if (auth != m_auth || authPassphrase != m_authPassphrase) {
        Wipe(m_authKu);
        m_authKu = auth == TAuthProtocol::None || authPassphrase.empty()
                       ? std::string()
                       : PassphraseToKey(auth, authPassphrase);
        m_authPassphrase = authPassphrase;
        m_localized = false;
        m_expansions += m_authKu.empty() ? 0 : 1;
    }
    if (auth != m_auth || priv != m_priv || privPassphrase != m_privPassphrase) {
        Wipe(m_privKu);
        m_privKu = priv == TPrivProtocol::None || privPassphrase.empty() || auth == TAuthProtocol::None
                       ? std::string()
                       : PassphraseToKey(auth, privPassphrase);
        m_privPassphrase = privPassphrase;
        m_localized = false;
        m_expansions += m_privKu.empty() ? 0 : 1;
    }
    m_auth = auth;
    m_priv = priv;
    if (!m_localized || engineId != m_engineId) {
        Wipe(m_keys.Auth);
        Wipe(m_keys.Priv);
        if (!m_authKu.empty()) {
            m_keys.Auth = LocalizeKey(auth, m_authKu, engineId);
        }
        if (!m_privKu.empty()) {
            std::string kul = LocalizeKey(auth, m_privKu, engineId);
            m_keys.Priv = PrivKeyFromLocalized(auth, priv, kul);
            Wipe(kul);
        }
        m_engineId = engineId;
        m_localized = true;
    }
    return m_keys;
}

void TKeyCache::ForgetPassphrases() {
    Wipe(m_authPassphrase);
    Wipe(m_privPassphrase);
}

void TKeyCache::Clear() {
    for (std::string* text :
         {&m_authPassphrase, &m_privPassphrase, &m_authKu, &m_privKu, &m_keys.Auth, &m_keys.Priv}) {
        Wipe(*text);
    }
    m_engineId.clear();
    m_localized = false;
    m_auth = TAuthProtocol::None;
    m_priv = TPrivProtocol::None;
}

} // namespace veltrum::usm
