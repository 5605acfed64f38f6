#pragma once

#include <optional>
#include <string>

namespace veltrum {

// An SNMPv3 user's passphrases as the desktop's Secret Service keeps them:
// one entry per profile and user name.
struct V3Passphrases {
    std::string Auth;
    std::string Priv;
};

// How long a question to the Secret Service may hold the caller. Its jobs
// answer through the event loop; a keyring that asks the user to unlock it
// must not freeze a window for longer than this.
inline constexpr int kKeyringBoundMs = 2000;

// Stores them under the profile and user; false when no Secret Service
// answered (or it refused) within the bound.
bool StoreV3Passphrases(const std::string& profilePath, const std::string& user,
                        const V3Passphrases& passphrases);
// The passphrases stored for the profile and user; nothing when no Secret
// Service answered within the bound or it holds none.
std::optional<V3Passphrases> ReadV3Passphrases(const std::string& profilePath, const std::string& user);

} // namespace veltrum
