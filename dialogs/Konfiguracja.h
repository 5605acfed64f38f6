#pragma once
// The settings dialog: every setting of the current profile, edited in place.
// Each opening refills the fields from the profile file (not from the monitor
// state) and has the monitor probe the agent as typed here (MonitorControl::Probe);
// OK writes the fields back and has the monitor reload the profile. The
// opacity scroll bars give the monitor a level at a time, a live preview
// that Cancel (or Escape) undoes and the title-bar close box keeps.
// What the agent sends is shown as plain text, and a failed probe says why
// in the agent's description line, in the words of the main window's hint.

#include "core/AgentQuery.h"
#include "dialogs/DialogControls.h"
#include "dialogs/V3Keyring.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QColorDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace veltrum {

class MonitorControl;
class TFormInterfejsy;
class TElidedLabel;
class TShape;
class TSpinEdit;

class TFormKonfiguracja final : public QDialog {
    Q_OBJECT

public:
    explicit TFormKonfiguracja(MonitorControl& monitor);
    ~TFormKonfiguracja() override;

    // The interface list that "<" opens on the agent as typed here, walked
    // through the monitor; its choice goes into SpinEdit1.
    void SetInterfaceList(TFormInterfejsy* interfejsy);

    // Handlers.
    void FormShow();
    void FormHide();
    void SpinEdit1Change(); // the agent probe
    // An answer of the agent is awaited (the wait cursor shows).
    bool Asking() const { return m_waitCursor.has_value(); }
    void ScrollBar1Change();
    void ScrollBar2Change();
    void BitBtn1Click(); // OK
    void BitBtn2Click(); // Cancel
    void BitBtn3Click(); // interface list
    void BitBtn4Click(); // download colour
    void BitBtn5Click(); // upload colour

    // The opacity levels taken when the dialog opened, put back by Cancel.
    uint16_t SavedMainOpacity() const { return m_savedMainOpacity; }
    uint16_t SavedGraphOpacity() const { return m_savedGraphOpacity; }

    // Group "Connection (SNMP)".
    QLineEdit* Edit1 = nullptr;     // host
    QLineEdit* Edit2 = nullptr;     // community
    TSpinEdit* SpinEdit1 = nullptr; // interface, 1..2147483647 (any ifIndex)
    QPushButton* BitBtn3 = nullptr;
    QLineEdit* Edit3 = nullptr;     // session
    TSpinEdit* SpinEdit4 = nullptr; // read time-out, 100..750 ms
    QComboBox* ComboBox1 = nullptr; // protocol version: "SNMPv1", "SNMPv2c", "SNMPv3"
    TElidedLabel* Label9 = nullptr; // agent description and name, or why the probe failed
    TElidedLabel* Label7 = nullptr; // interface description, or why it is missing
    // Group "Options".
    TSpinEdit* SpinEdit2 = nullptr; // download scale
    TShape* Shape1 = nullptr;
    QPushButton* BitBtn4 = nullptr;
    TSpinEdit* SpinEdit3 = nullptr; // upload scale
    TShape* Shape2 = nullptr;
    QPushButton* BitBtn5 = nullptr;
    QCheckBox* CheckBox1 = nullptr;   // average lines
    QCheckBox* CheckBox3 = nullptr;   // maximum lines
    QCheckBox* CheckBox2 = nullptr;   // autoscaling
    QScrollBar* ScrollBar1 = nullptr; // main window opacity
    QScrollBar* ScrollBar2 = nullptr; // graph windows' opacity
    QLabel* Label14 = nullptr;
    QLabel* Label15 = nullptr;
    // Group "Monthly quota".
    QLineEdit* Edit5 = nullptr;     // quota in GB (decimals, or a TB unit), 0 for none
    QComboBox* ComboBox2 = nullptr; // which directions count: both, download, upload
    TSpinEdit* SpinEdit6 = nullptr; // the billing period's first day, 1..28
    // Group "Before recording".
    QLineEdit* Edit6 = nullptr; // GB the provider counted in the first period before recording
    // Group "SNMPv3", shown only while SNMPv3 is chosen. The passphrases
    // are never filled from the profile, which keeps only localised keys.
    QGroupBox* GroupBoxV3 = nullptr;
    QLineEdit* EditV3User = nullptr;
    QComboBox* ComboBoxV3Level = nullptr; // noAuthNoPriv, authNoPriv, authPriv
    QComboBox* ComboBoxV3Auth = nullptr;  // MD5, SHA, SHA-224 .. SHA-512
    QLineEdit* EditV3AuthPass = nullptr;
    QComboBox* ComboBoxV3Priv = nullptr; // DES, AES, AES-192, AES-256
    QLineEdit* EditV3PrivPass = nullptr;
    QLineEdit* EditV3Context = nullptr;
    QLabel* LabelV3Secret = nullptr; // where the secret went
    // Group "Tray icon": greyed out, with the reason, where there is no tray.
    QCheckBox* CheckBox4 = nullptr; // show the icon
    QCheckBox* CheckBox5 = nullptr; // hide the main window while it shows
    QLabel* Label16 = nullptr;      // why there is no tray icon
    // Bottom bar.
    QPushButton* BitBtn1 = nullptr; // OK
    QPushButton* BitBtn2 = nullptr; // Cancel

    // Made at its first use: building a colour dialog looks up the icon
    // theme, which costs memory the program may never need.
    QColorDialog* ColorDialog1();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The agent, community, protocol version and interface as typed, with
    // the time-out in force.
    AgentTarget fieldTarget() const;
    // The interface's description a probe read, remembered with what it asked.
    void rememberDescription(const AgentTarget& target, const ProbeResult& probe);
    // Asks the agent; `answered` runs with the answer if no later question
    // or the dialog's closing has overtaken it.
    void askAgent(const AgentTarget& target, ProbeScope scope,
                  std::function<void(const ProbeResult&)> answered);
    void showProbe(const AgentTarget& target, const ProbeResult& probe);
    void resumePolling();
    // The version field's value as the profile stores it (0, 1 or 3).
    int32_t fieldVersion() const;
    V3Settings fieldV3() const;
    V3Secrets fieldV3Secrets() const;
    void showV3Fields();
    // Says, in each empty passphrase field, where its stored passphrase is.
    void showV3Stored();
    // The keyring's entry the fields name.
    V3KeyringEntry fieldKeyringEntry() const;
    // OK's end, once any passphrases are in the keyring (`inKeyring`) or not.
    // OK's steps after the description is known: the keyring, then the profile.
    void storeAndFinishOk();
    void finishOk(bool inKeyring);

    static constexpr int kTrayGroupHeight = 78;
    void makeTrayGroup(int top);
    void showTrayAvailability();

    QColorDialog* m_colorDialog1 = nullptr;
    void fillFromProfile();
    void writeFieldsToProfile(bool inKeyring) const;
    void pickColor(TShape& shape);

    MonitorControl& m_main;
    TFormInterfejsy* m_interfejsy = nullptr;
    uint16_t m_savedMainOpacity = 255;
    uint16_t m_savedGraphOpacity = 255;
    // Filling the fields changes the interface and time-out fields; the one
    // probe that matters runs at the end of the opening.
    bool m_filling = false;
    // What the last probe of the interface's description asked, whether it
    // was answered and what it read: OK keeps that description in the
    // profile beside the number only for the very agent, community, version
    // and interface it writes.
    AgentTarget m_probed;
    bool m_descriptionRead = false;
    std::string m_probedDescription;
    std::string m_probedEngineId;
    // The localised keys the profile holds, kept unless passphrases are typed.
    std::string m_storedV3Keys;
    // The passphrases the desktop's keyring keeps for the profile and the
    // user it names (m_keyringEntry); memory only, wiped when the dialog
    // closes.
    V3Secrets m_keyringV3;
    V3KeyringEntry m_keyringEntry;
    uint64_t m_keyringQuestions = 0; // only the last read's answer counts
    // The agent's answers come later, from the event loop: only the last
    // question's counts, and none once the dialog has closed. The wait
    // cursor shows while one is awaited.
    uint64_t m_probeQuestions = 0;
    std::optional<WaitCursor> m_waitCursor;
    // Whether the last opening could read the profile: fields it could not
    // fill hold defaults, which OK must not write over the user's settings.
    bool m_profileRead = true;
    // OK stopped the poll and the poll has not run again since: every way
    // out of the dialog starts it again.
    bool m_pollingPaused = false;
};

} // namespace veltrum
