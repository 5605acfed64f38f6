#pragma once
// An SNMPv3 user's passphrases as the desktop's Secret Service keeps them:
// one entry per profile and user name, labelled with the session's name, the
// user and the agent, so that the keyring's own window says whose they are.
//
// Every question returns at once and is answered later through the event
// loop: a keyring that asks the user to unlock it never holds a window, a
// timer or a click (no nested event loop).

#include <cstdint>
#include <functional>
#include <string>

class QObject;

namespace veltrum {

struct V3Passphrases {
    std::string Auth;
    std::string Priv;
};

// Whose entry: the profile and user find it, all four label it.
struct V3KeyringEntry {
    std::string ProfilePath;
    std::string SessionName;
    std::string User;
    std::string Agent;

    bool operator==(const V3KeyringEntry&) const = default;
};

// How the keyring answered.
enum class KeyringAnswer : uint8_t {
    Done,     // read (Passphrases hold the entry) or stored
    NotFound, // no entry for this profile and user
    Locked,   // the keyring is locked and was not opened
    Absent,   // no Secret Service on the session bus
    Silent,   // no answer within kKeyringBoundMs (the question goes on unheard)
};

// How long an answer is waited for before it counts as Silent.
inline constexpr int kKeyringBoundMs = 2000;

struct V3KeyringRead {
    KeyringAnswer Answer = KeyringAnswer::Silent;
    V3Passphrases Passphrases;
};

// Each calls `done` from the event loop, never from inside the call, and not
// once `context` is destroyed: once, except that a read the keyring answers
// after kKeyringBoundMs (a prompt to unlock it) is answered Silent first and
// then with what the keyring said.
void ReadV3Passphrases(const V3KeyringEntry& entry, QObject* context,
                       std::function<void(V3KeyringRead)> done);
void StoreV3Passphrases(const V3KeyringEntry& entry, const V3Passphrases& passphrases, QObject* context,
                        std::function<void(KeyringAnswer)> done);
// Removes the entry; nobody waits for the answer.
void RemoveV3Passphrases(const V3KeyringEntry& entry);

} // namespace veltrum
