#include "dialogs/Konfiguracja.h"

#include "core/FailureReason.h"
#include "core/MonitorControl.h"
#include "core/MonitorState.h"
#include "core/PollCycle.h"
#include "core/Quota.h"
#include "core/SettingsTable.h"
#include "dialogs/DialogControls.h"
#include "dialogs/Interfejsy.h"
#include "dialogs/V3Keyring.h"
#include "widgets/ErrorBox.h"
#include "widgets/PlainText.h"
#include "widgets/TrayIcon.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFocusEvent>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <variant>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrum {

namespace {

constexpr int kFieldLeft = 132;
constexpr int kRowHeight = 21;

QLabel* makeCaption(QWidget* parent, const char* text, int top) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setGeometry(10, top + 3, kFieldLeft - 12, 16);
    return label;
}

QLineEdit* makeEdit(QWidget* parent, const char* name, int top) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(kFieldLeft, top, 213, kRowHeight);
    edit->setValidator(new TLineBreakCut(edit));
    return edit;
}

TSpinEdit* makeSpin(QWidget* parent, const char* name, int minimum, int maximum, int top, int width) {
    auto* spin = new TSpinEdit(minimum, maximum, parent);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setGeometry(kFieldLeft, top, width, kRowHeight);
    return spin;
}

QPushButton* makeSmallButton(QWidget* parent, const char* name, int left, int top) {
    auto* button = new QPushButton(QStringLiteral("<"), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(left, top, 22, kRowHeight);
    button->setAutoDefault(false);
    QFont font = button->font();
    font.setBold(true);
    button->setFont(font);
    return button;
}

QScrollBar* makeOpacityBar(QWidget* parent, const char* name, int top) {
    auto* bar = new QScrollBar(Qt::Horizontal, parent);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setGeometry(kFieldLeft, top, 180, 17);
    bar->setRange(50, 255);
    bar->setPageStep(0);
    bar->setValue(255);
    // Out of the tab order: the keyboard moves between the fields, and the
    // arrow keys never change a window's opacity by surprise.
    bar->setFocusPolicy(Qt::NoFocus);
    return bar;
}

// Whether two targets ask the same agent, as the same community and in the
// same version, about the same interface: the description read for one is
// the other's.
bool sameInterface(const AgentTarget& a, const AgentTarget& b) {
    return a.Host == b.Host && a.Community == b.Community && a.Version == b.Version &&
           a.Interface == b.Interface && a.V3 == b.V3;
}

// Whether the fields can show what the profile holds. No file holds the
// defaults; a file that is there but cannot be read (no permission, or a
// folder or a FIFO in its place) holds settings the dialog cannot show.
bool profileReadable(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT || errno == ENOTDIR;
    }
    struct stat info {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    return regular;
}

template <class... Ts> struct Overloaded : Ts... { using Ts::operator()...; };
template <class... Ts> Overloaded(Ts...) -> Overloaded<Ts...>;

using T = TFormKonfiguracja;
// A field of the dialog that shows one setting.
using FieldWidget = std::variant<QLineEdit * T::*, TSpinEdit * T::*, TShape * T::*, QScrollBar * T::*,
                                 QCheckBox * T::*, QComboBox * T::*>;

struct FieldBinding {
    SettingKey Key;
    FieldWidget Widget;
};

// Which field shows which setting: the one place the dialog names its keys.
constexpr FieldBinding kFields[] = {
    {SettingKey::Host, &T::Edit1},
    {SettingKey::Haslo, &T::Edit2},
    {SettingKey::NumerInterfaceu, &T::SpinEdit1},
    {SettingKey::Download, &T::SpinEdit2},
    {SettingKey::Upload, &T::SpinEdit3},
    {SettingKey::KolorDownload, &T::Shape1},
    {SettingKey::KolorUpload, &T::Shape2},
    {SettingKey::PokazSrednie, &T::CheckBox1},
    {SettingKey::Autoscala, &T::CheckBox2},
    {SettingKey::Sesja, &T::Edit3},
    {SettingKey::Timeout, &T::SpinEdit4},
    {SettingKey::TStopien, &T::ScrollBar1},
    {SettingKey::TStopienGraph, &T::ScrollBar2},
    {SettingKey::LinieMax, &T::CheckBox3},
    {SettingKey::LimitGB, &T::Edit5},
    {SettingKey::LimitKierunek, &T::ComboBox2},
    {SettingKey::DzienRozliczenia, &T::SpinEdit6},
    {SettingKey::ZuzyteWczesniejGB, &T::Edit6},
    {SettingKey::PokazIkone, &T::CheckBox4},
    {SettingKey::UkryjOkno, &T::CheckBox5},
};

// The quota's sizes and their fields' captions, for the message that refuses one.
constexpr const char* kQuotaCaption = "Quota (GB, 0: none)";
constexpr const char* kUsedBeforeCaption = "Used this period (GB)";
constexpr std::pair<SettingKey, QLineEdit * T::*> kSizeFields[] = {
    {SettingKey::LimitGB, &T::Edit5},
    {SettingKey::ZuzyteWczesniejGB, &T::Edit6},
};

constexpr const FieldBinding* findField(SettingKey key) {
    for (const FieldBinding& binding : kFields) {
        if (binding.Key == key) {
            return &binding;
        }
    }
    return nullptr;
}

// Text fields hold texts, check boxes flags, the rest integers.
constexpr SettingKind fieldKind(const FieldWidget& field) {
    if (std::holds_alternative<QLineEdit * T::*>(field)) {
        return SettingKind::Text;
    }
    return std::holds_alternative<QCheckBox * T::*>(field) ? SettingKind::Flag : SettingKind::Integer;
}

template <size_t N> constexpr bool bindsEvery(const std::array<SettingKey, N>& keys) {
    for (const SettingKey key : keys) {
        const FieldBinding* binding = findField(key);
        if (binding == nullptr || fieldKind(binding->Widget) != Setting(key).Kind) {
            return false;
        }
    }
    return true;
}

static_assert(bindsEvery(kSettingsDialogFillKeys) && bindsEvery(kSettingsDialogOkKeys),
              "every setting the dialog fills or writes needs a field of its kind");

const FieldWidget& fieldOf(SettingKey key) {
    return findField(key)->Widget;
}

SettingValue fieldValue(const T& dialog, const FieldWidget& field) {
    return std::visit(
        Overloaded{
            [&](QLineEdit* T::*edit) -> SettingValue { return (dialog.*edit)->text().toStdString(); },
            [&](TSpinEdit* T::*spin) -> SettingValue { return int32_t{(dialog.*spin)->value()}; },
            [&](TShape* T::*shape) -> SettingValue {
                return static_cast<int32_t>((dialog.*shape)->BrushColor());
            },
            [&](QScrollBar* T::*bar) -> SettingValue { return int32_t{(dialog.*bar)->value()}; },
            [&](QCheckBox* T::*box) -> SettingValue { return (dialog.*box)->isChecked(); },
            // A choice is the integer its row stands for.
            [&](QComboBox* T::*combo) -> SettingValue { return int32_t{(dialog.*combo)->currentIndex()}; },
        },
        field);
}

void setField(T& dialog, const FieldWidget& field, const SettingValue& value) {
    std::visit(Overloaded{
                   [&](QLineEdit* T::*edit) {
                       (dialog.*edit)->setText(QString::fromStdString(std::get<std::string>(value)));
                   },
                   [&](TSpinEdit* T::*spin) { (dialog.*spin)->setValue(std::get<int32_t>(value)); },
                   [&](TShape* T::*shape) {
                       (dialog.*shape)->SetBrushColor(static_cast<uint32_t>(std::get<int32_t>(value)));
                   },
                   // A new position previews at once.
                   [&](QScrollBar* T::*bar) { (dialog.*bar)->setValue(std::get<int32_t>(value)); },
                   [&](QCheckBox* T::*box) { (dialog.*box)->setChecked(std::get<bool>(value)); },
                   [&](QComboBox* T::*combo) {
                       QComboBox* box = dialog.*combo;
                       box->setCurrentIndex(std::clamp(std::get<int32_t>(value), 0, box->count() - 1));
                   },
               },
               field);
}

} // namespace

TFormKonfiguracja::TFormKonfiguracja(MonitorControl& monitor) : m_main(monitor) {
    setObjectName(QStringLiteral("FormKonfiguracja"));
    setWindowTitle(QStringLiteral("Settings"));
    // A tool-window border: a caption with a close box only, fixed size.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(373, 603 + kTrayGroupHeight);

    // Widgets are created in tab order.
    auto* connection = new QGroupBox(QStringLiteral("Connection (SNMP)"), this);
    connection->setGeometry(8, 4, 357, 196);
    makeCaption(connection, "Hostname or IP", 20);
    Edit1 = makeEdit(connection, "Edit1", 20);
    makeCaption(connection, "Description", 43);
    makeCaption(connection, "Community string", 72);
    Edit2 = makeEdit(connection, "Edit2", 72);
    makeCaption(connection, "Interface", 100);
    // Switches number their ports in the thousands and beyond: any ifIndex
    // (RFC 2863: 1 to 2147483647).
    SpinEdit1 = makeSpin(connection, "SpinEdit1", 1, 2147483647, 100, 84);
    BitBtn3 = makeSmallButton(connection, "BitBtn3", kFieldLeft + 88, 100);
    makeCaption(connection, "Session", 130);
    Edit3 = makeEdit(connection, "Edit3", 130);
    makeCaption(connection, "Read timeout (ms)", 160);
    SpinEdit4 = makeSpin(connection, "SpinEdit4", 100, 750, 160, 80);
    ComboBox1 = new QComboBox(connection);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->addItems({QStringLiteral("SNMPv1"), QStringLiteral("SNMPv2c"), QStringLiteral("SNMPv3")});
    ComboBox1->setGeometry(kFieldLeft + 88, 160, 90, 21);

    // The agent's description is often long: two whole lines between the
    // host and community rows, the rest elided and kept for the hint.
    Label9 = new TElidedLabel(connection);
    Label9->setObjectName(QStringLiteral("Label9"));
    QFont small(QStringLiteral("Arial"));
    small.setPixelSize(11);
    Label9->setFont(small);
    Label9->setToolTipDuration(1000);
    Label9->setGeometry(kFieldLeft - 20, 43, 233, std::min(2 * QFontMetrics(small).lineSpacing(), 28));
    Label7 = new TElidedLabel(connection);
    Label7->setObjectName(QStringLiteral("Label7"));
    Label7->setToolTipDuration(1000);
    Label7->setGeometry(kFieldLeft + 114, 103, 99, 16);

    auto* options = new QGroupBox(QStringLiteral("Options"), this);
    options->setGeometry(8, 204, 357, 200);
    makeCaption(options, "Download (kbps)", 20);
    SpinEdit2 = makeSpin(options, "SpinEdit2", 128, 100000000, 20, 100);
    Shape1 = new TShape(options);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(kFieldLeft + 108, 20, 20, 20);
    BitBtn4 = makeSmallButton(options, "BitBtn4", kFieldLeft + 132, 20);
    makeCaption(options, "Upload (kbps)", 48);
    SpinEdit3 = makeSpin(options, "SpinEdit3", 128, 100000000, 48, 100);
    Shape2 = new TShape(options);
    Shape2->setObjectName(QStringLiteral("Shape2"));
    Shape2->setGeometry(kFieldLeft + 108, 48, 20, 20);
    BitBtn5 = makeSmallButton(options, "BitBtn5", kFieldLeft + 132, 48);
    CheckBox1 = new QCheckBox(QStringLiteral("Show average lines on graph"), options);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(12, 76, 330, 18);
    CheckBox3 = new QCheckBox(QStringLiteral("Show maximum lines on graph"), options);
    CheckBox3->setObjectName(QStringLiteral("CheckBox3"));
    CheckBox3->setGeometry(12, 96, 330, 18);
    CheckBox2 = new QCheckBox(QStringLiteral("Bandwidth graph autoscaling"), options);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    CheckBox2->setGeometry(12, 116, 330, 18);
    auto* transparent = new QLabel(QStringLiteral("Transparent"), options);
    transparent->setGeometry(12, 138, 200, 16);
    makeCaption(options, "Main window", 156);
    ScrollBar1 = makeOpacityBar(options, "ScrollBar1", 158);
    Label14 = new QLabel(options);
    Label14->setObjectName(QStringLiteral("Label14"));
    Label14->setGeometry(kFieldLeft + 186, 158, 30, 17);
    makeCaption(options, "Graphs", 176);
    ScrollBar2 = makeOpacityBar(options, "ScrollBar2", 178);
    Label15 = new QLabel(options);
    Label15->setObjectName(QStringLiteral("Label15"));
    Label15->setGeometry(kFieldLeft + 186, 178, 30, 17);

    // The monthly quota; its ranges are the settings table's.
    auto* quota = new QGroupBox(QStringLiteral("Monthly quota"), this);
    quota->setGeometry(8, 408, 357, 100);
    makeCaption(quota, kQuotaCaption, 20);
    Edit5 = makeEdit(quota, "Edit5", 20);
    Edit5->setGeometry(kFieldLeft, 20, 100, kRowHeight);
    Edit5->setToolTip(
        QStringLiteral("GB as the provider counts them (10^9 octets): 150, 1.5 or 1,5; or 2 TB"));
    makeCaption(quota, "Counted", 46);
    ComboBox2 = new QComboBox(quota);
    ComboBox2->setObjectName(QStringLiteral("ComboBox2"));
    // In the order of LimitKierunek's values.
    ComboBox2->addItems({QStringLiteral("Download and upload"), QStringLiteral("Download only"),
                         QStringLiteral("Upload only")});
    ComboBox2->setGeometry(kFieldLeft, 46, 160, kRowHeight);
    makeCaption(quota, "Period starts on day", 72);
    const SettingRange day = Setting(SettingKey::DzienRozliczenia).Range;
    SpinEdit6 = makeSpin(quota, "SpinEdit6", day.Min, day.Max, 72, 60);

    // What the provider's meter showed when recording began: it counts
    // toward the quota in that first period only.
    auto* before = new QGroupBox(QStringLiteral("Before recording"), this);
    before->setGeometry(8, 512, 357, 48);
    makeCaption(before, kUsedBeforeCaption, 20);
    Edit6 = makeEdit(before, "Edit6", 20);
    Edit6->setGeometry(kFieldLeft, 20, 100, kRowHeight);
    Edit6->setToolTip(QStringLiteral("Used this period before recording: what the provider's meter showed "
                                     "when the program began to record, in GB. It counts toward the quota "
                                     "in that first period only."));

    makeTrayGroup(560);

    GroupBoxV3 = new QGroupBox(QStringLiteral("SNMPv3"), this);
    GroupBoxV3->setObjectName(QStringLiteral("GroupBoxV3"));
    GroupBoxV3->setGeometry(8, 564 + kTrayGroupHeight, 357, 172);
    makeCaption(GroupBoxV3, "User name", 20);
    EditV3User = makeEdit(GroupBoxV3, "EditV3User", 20);
    makeCaption(GroupBoxV3, "Security level", 46);
    ComboBoxV3Level = new QComboBox(GroupBoxV3);
    ComboBoxV3Level->setObjectName(QStringLiteral("ComboBoxV3Level"));
    // In the order of PoziomV3's values.
    ComboBoxV3Level->addItems(
        {QStringLiteral("noAuthNoPriv"), QStringLiteral("authNoPriv"), QStringLiteral("authPriv")});
    ComboBoxV3Level->setGeometry(kFieldLeft, 46, 120, kRowHeight);
    makeCaption(GroupBoxV3, "Authentication", 72);
    ComboBoxV3Auth = new QComboBox(GroupBoxV3);
    ComboBoxV3Auth->setObjectName(QStringLiteral("ComboBoxV3Auth"));
    ComboBoxV3Auth->addItems({QStringLiteral("MD5"), QStringLiteral("SHA"), QStringLiteral("SHA-224"),
                              QStringLiteral("SHA-256"), QStringLiteral("SHA-384"),
                              QStringLiteral("SHA-512")});
    ComboBoxV3Auth->setGeometry(kFieldLeft, 72, 80, kRowHeight);
    EditV3AuthPass = new QLineEdit(GroupBoxV3);
    EditV3AuthPass->setObjectName(QStringLiteral("EditV3AuthPass"));
    EditV3AuthPass->setEchoMode(QLineEdit::Password);
    EditV3AuthPass->setPlaceholderText(QStringLiteral("passphrase"));
    EditV3AuthPass->setGeometry(kFieldLeft + 86, 72, 128, kRowHeight);
    makeCaption(GroupBoxV3, "Privacy", 98);
    ComboBoxV3Priv = new QComboBox(GroupBoxV3);
    ComboBoxV3Priv->setObjectName(QStringLiteral("ComboBoxV3Priv"));
    ComboBoxV3Priv->addItems(
        {QStringLiteral("DES"), QStringLiteral("AES"), QStringLiteral("AES-192"), QStringLiteral("AES-256")});
    ComboBoxV3Priv->setGeometry(kFieldLeft, 98, 80, kRowHeight);
    EditV3PrivPass = new QLineEdit(GroupBoxV3);
    EditV3PrivPass->setObjectName(QStringLiteral("EditV3PrivPass"));
    EditV3PrivPass->setEchoMode(QLineEdit::Password);
    EditV3PrivPass->setPlaceholderText(QStringLiteral("passphrase"));
    EditV3PrivPass->setGeometry(kFieldLeft + 86, 98, 128, kRowHeight);
    makeCaption(GroupBoxV3, "Context", 124);
    EditV3Context = makeEdit(GroupBoxV3, "EditV3Context", 124);
    LabelV3Secret = new QLabel(GroupBoxV3);
    LabelV3Secret->setObjectName(QStringLiteral("LabelV3Secret"));
    LabelV3Secret->setWordWrap(true);
    LabelV3Secret->setFont(small);
    LabelV3Secret->setGeometry(12, 146, 333, 24);
    GroupBoxV3->hide();

    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(196, 571 + kTrayGroupHeight, 80, 25);
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QStringLiteral("Cancel"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(284, 571 + kTrayGroupHeight, 80, 25);
    BitBtn2->setAutoDefault(false);

    // The fields start from the settings' defaults; every opening replaces
    // them from the profile. No handler is connected yet.
    for (const FieldBinding& binding : kFields) {
        setField(*this, binding.Widget, DefaultSettingValue(binding.Key));
    }

    Edit1->installEventFilter(this);
    Edit2->installEventFilter(this);
    connect(SpinEdit1, &QSpinBox::valueChanged, this, [this] { SpinEdit1Change(); });
    connect(SpinEdit4, &QSpinBox::valueChanged, this, [this] { SpinEdit1Change(); });
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this] {
        showV3Fields();
        SpinEdit1Change();
    });
    for (QComboBox* box : {ComboBoxV3Level, ComboBoxV3Auth, ComboBoxV3Priv}) {
        connect(box, &QComboBox::currentIndexChanged, this, [this] { SpinEdit1Change(); });
    }
    // The probe waits for its answer in the event loop: started inside the
    // mouse press that moved the focus (a click on OK), it would take the
    // release from the button and the click would be lost. It runs after it.
    for (QLineEdit* edit : {EditV3User, EditV3AuthPass, EditV3PrivPass, EditV3Context}) {
        connect(
            edit, &QLineEdit::editingFinished, this, [this] { SpinEdit1Change(); }, Qt::QueuedConnection);
    }
    connect(EditV3User, &QLineEdit::textChanged, this, [this] { showV3Stored(); });
    connect(ScrollBar1, &QScrollBar::valueChanged, this, [this] { ScrollBar1Change(); });
    connect(ScrollBar2, &QScrollBar::valueChanged, this, [this] { ScrollBar2Change(); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { BitBtn3Click(); });
    connect(BitBtn4, &QPushButton::clicked, this, [this] { BitBtn4Click(); });
    connect(BitBtn5, &QPushButton::clicked, this, [this] { BitBtn5Click(); });
}

TFormKonfiguracja::~TFormKonfiguracja() = default;

void TFormKonfiguracja::SetInterfaceList(TFormInterfejsy* interfejsy) {
    m_interfejsy = interfejsy;
    if (m_interfejsy == nullptr) {
        return;
    }
    m_interfejsy->SetCaller(
        // Host, community and version as chosen, even if not yet saved; the
        // time-out in force.
        [this](std::function<void()> ready) {
            return m_main.StartInterfaceWalk(fieldTarget(), std::move(ready));
        },
        // The change runs the probe for the new interface.
        [this](int32_t number) { SpinEdit1->setValue(number); });
}

QColorDialog* TFormKonfiguracja::ColorDialog1() {
    if (m_colorDialog1 == nullptr) {
        m_colorDialog1 = new QColorDialog(this);
        m_colorDialog1->setObjectName(QStringLiteral("ColorDialog1"));
    }
    return m_colorDialog1;
}

void TFormKonfiguracja::FormShow() {
    const ViewSettings settings = m_main.Settings();
    m_main.PauseStayOnTop();
    setWindowTitle(
        QStringLiteral("Settings:  ") +
        VisibleOctets(std::filesystem::path(settings.ProfilePath).filename().string(), LineBreaks::AsBlank));
    m_savedMainOpacity = settings.MainOpacity;
    m_savedGraphOpacity = settings.GraphOpacity;

    // OK reloads the profile and places the main window from these two keys,
    // so the window stays where it is. A write that fails (a full disk) is
    // shown, and the fields are filled all the same: reading still works,
    // and OK must never find the first opening's defaults where the user's
    // settings belong.
    RunGuarded(this, [&] { m_main.WriteMainPosition(); });

    fillFromProfile();
    Label14->setText(QString::number(ScrollBar1->value()));
    Label15->setText(QString::number(ScrollBar2->value()));
    SpinEdit1Change();
}

void TFormKonfiguracja::FormHide() {
    // No passphrase stays in the fields, nor in this window's memory.
    EditV3AuthPass->clear();
    EditV3PrivPass->clear();
    usm::Wipe(m_keyringV3.AuthPassphrase);
    usm::Wipe(m_keyringV3.PrivPassphrase);
    ++m_keyringQuestions;
    ++m_probeQuestions;
    m_waitCursor.reset();
    resumePolling();
    m_main.ResumeStayOnTop();
}

int32_t TFormKonfiguracja::fieldVersion() const {
    switch (ComboBox1->currentIndex()) {
    case 1:
        return kSnmpVersion2c;
    case 2:
        return kSnmpVersion3;
    default:
        return 0; // SNMPv1
    }
}

V3Settings TFormKonfiguracja::fieldV3() const {
    return {.User = EditV3User->text().toStdString(),
            .Level = ComboBoxV3Level->currentIndex(),
            .Auth = ComboBoxV3Auth->currentText().toStdString(),
            .Priv = ComboBoxV3Priv->currentText().toStdString(),
            .Context = EditV3Context->text().toStdString(),
            .Keys = m_storedV3Keys};
}

// The SNMPv3 group takes room below the others only while SNMPv3 is chosen.
void TFormKonfiguracja::showV3Fields() {
    const bool v3 = ComboBox1->currentIndex() == 2;
    const int extra = v3 ? 176 : 0;
    GroupBoxV3->setVisible(v3);
    setFixedSize(373, 603 + kTrayGroupHeight + extra);
    BitBtn1->move(196, 571 + kTrayGroupHeight + extra);
    BitBtn2->move(284, 571 + kTrayGroupHeight + extra);
}

AgentTarget TFormKonfiguracja::fieldTarget() const {
    // The chosen version, as the poll will ask; SNMPv1 requests stay as they
    // always were. The time-out in force, not the edited one: a new time-out
    // applies to probes only after OK.
    return {.Host = Edit1->text().toStdString(),
            .Community = Edit2->text().toStdString(),
            .Version = fieldVersion(),
            .TimeoutMs = m_main.Settings().ReplyTimeoutMs,
            .Interface = SpinEdit1->value(),
            // Typed passphrases, else the keyring's or the keys the profile keeps.
            .V3 = V3UserOf(fieldVersion(), fieldV3(), fieldV3Secrets())};
}

V3Secrets TFormKonfiguracja::fieldV3Secrets() const {
    // A passphrase typed replaces its own stored one only.
    V3Secrets secrets = V3SecretsOfKeys(m_storedV3Keys);
    // The keyring's entry belongs to the user it was read for.
    if (EditV3User->text().toStdString() == m_keyringEntry.User) {
        secrets.AuthPassphrase = m_keyringV3.AuthPassphrase;
        secrets.PrivPassphrase = m_keyringV3.PrivPassphrase;
    }
    if (!EditV3AuthPass->text().isEmpty()) {
        secrets.AuthPassphrase = EditV3AuthPass->text().toStdString();
    }
    if (!EditV3PrivPass->text().isEmpty()) {
        secrets.PrivPassphrase = EditV3PrivPass->text().toStdString();
    }
    return secrets;
}

V3KeyringEntry TFormKonfiguracja::fieldKeyringEntry() const {
    return {m_main.Settings().ProfilePath, Edit3->text().toStdString(), EditV3User->text().toStdString(),
            Edit1->text().toStdString()};
}

void TFormKonfiguracja::rememberDescription(const AgentTarget& target, const ProbeResult& probe) {
    m_probed = target;
    m_descriptionRead = probe.DescriptionRead;
    m_probedDescription = probe.Description;
    m_probedEngineId = probe.V3EngineId;
}

void TFormKonfiguracja::askAgent(const AgentTarget& target, ProbeScope scope,
                                 std::function<void(const ProbeResult&)> answered) {
    const uint64_t asked = ++m_probeQuestions;
    if (!m_waitCursor) {
        m_waitCursor.emplace();
    }
    m_main.AskProbe(target, scope, [this, asked, answered = std::move(answered)](const ProbeResult& probe) {
        if (asked == m_probeQuestions) {
            m_waitCursor.reset();
            answered(probe);
        }
    });
}

void TFormKonfiguracja::SpinEdit1Change() {
    if (m_filling) {
        return;
    }
    const AgentTarget target = fieldTarget();
    askAgent(target, ProbeScope::Everything,
             [this, target](const ProbeResult& probe) { showProbe(target, probe); });
}

void TFormKonfiguracja::showProbe(const AgentTarget& target, const ProbeResult& probe) {
    rememberDescription(target, probe);
    if (!probe.Answered) {
        // Silence, no reply, a missing value, an unknown host or a socket
        // error: no stale answer stays, and the agent's line says why, as the
        // main window's hint says it for the poll.
        Label7->clear();
        Label7->setToolTip(QString());
        SetPlainText(*Label9, VisibleOctets(FailureText(probe.Failure)));
        return;
    }
    const std::string missing = FailureText(probe.DescriptionMissing);
    SetPlainText(*Label7, VisibleOctets(missing.empty() ? probe.Description : missing));
    // What the poll will read, as the hint of the interface's description.
    MonitorState reads;
    reads.SnmpVersion = target.Version;
    reads.Counters32Only = !probe.Counters64;
    Label7->setToolTip(QString::fromStdString(CounterWidthText(reads)));
    // 32-bit counters may wrap while the program is closed, so that time is
    // missed; 64-bit ones let the history count it.
    const QString suggestion =
        target.Version == 0 && probe.Counters64
            ? QStringLiteral(
                  "This agent has 64-bit counters: SNMPv2c also counts the time Veltrum is closed\n")
            : QString();
    SetPlainText(*Label9, suggestion + VisibleOctets(probe.SysDescr) + QStringLiteral(" (") +
                              VisibleOctets(probe.SysName) + QStringLiteral(")"));
}

void TFormKonfiguracja::ScrollBar1Change() {
    Label14->setText(QString::number(ScrollBar1->value()));
    m_main.ApplyMainOpacity(static_cast<uint16_t>(ScrollBar1->value()));
}

void TFormKonfiguracja::ScrollBar2Change() {
    Label15->setText(QString::number(ScrollBar2->value()));
    m_main.ApplyGraphOpacity(static_cast<uint16_t>(ScrollBar2->value()));
}

void TFormKonfiguracja::BitBtn1Click() {
    if (!m_profileRead) {
        ShowErrorBox(this, QString::fromStdString("Unable to read " + m_main.Settings().ProfilePath +
                                                  "\nIts settings could not be shown here, so none are "
                                                  "written over them."));
        return;
    }
    // A size that cannot be read is said, never stored as none.
    for (const auto& [key, edit] : kSizeFields) {
        const std::string text = (this->*edit)->text().toStdString();
        if (!ParseQuotaSize(text)) {
            const char* caption = key == SettingKey::LimitGB ? kQuotaCaption : kUsedBeforeCaption;
            ShowErrorBox(this, QString::fromStdString(QuotaSizeRefusal(caption, text)));
            (this->*edit)->setFocus();
            (this->*edit)->selectAll();
            return;
        }
    }
    m_main.PausePolling();
    m_pollingPaused = true;
    // The description OK keeps belongs to the agent, community, version and
    // interface it writes: fields changed since the last probe (a host typed
    // and Enter pressed at once) are asked once more.
    const AgentTarget target = fieldTarget();
    if (!sameInterface(target, m_probed)) {
        // Unanswered, OK keeps no description for the new interface. Cancel
        // meanwhile writes nothing: its answer is then never taken.
        askAgent(target, ProbeScope::Description, [this, target](const ProbeResult& probe) {
            rememberDescription(target, probe);
            storeAndFinishOk();
        });
        return;
    }
    storeAndFinishOk();
}

void TFormKonfiguracja::storeAndFinishOk() {
    // Passphrases go to the keyring, typed or carried to a changed entry
    // (another session name or agent); OK ends when it has answered, and
    // meanwhile waits visibly.
    V3Secrets secrets = fieldV3Secrets();
    V3Passphrases passphrases{std::move(secrets.AuthPassphrase), std::move(secrets.PrivPassphrase)};
    const V3KeyringEntry entry = fieldKeyringEntry();
    const bool typed = !EditV3AuthPass->text().isEmpty() || !EditV3PrivPass->text().isEmpty();
    const bool moved = entry != m_keyringEntry && !m_keyringV3.AuthPassphrase.empty();
    if (fieldVersion() == kSnmpVersion3 && !passphrases.Auth.empty() && (typed || moved)) {
        BitBtn1->setEnabled(false);
        LabelV3Secret->setText(QStringLiteral("Waiting for the desktop's keyring..."));
        const uint64_t asked = ++m_keyringQuestions;
        StoreV3Passphrases(entry, passphrases, this, [this, asked](KeyringAnswer answer) {
            BitBtn1->setEnabled(true);
            if (asked == m_keyringQuestions) {
                finishOk(answer == KeyringAnswer::Done);
            }
        });
    } else {
        finishOk(false);
    }
    usm::Wipe(passphrases.Auth);
    usm::Wipe(passphrases.Priv);
}

void TFormKonfiguracja::finishOk(bool inKeyring) {
    // A failed write leaves the dialog open and the poll stopped until an OK
    // succeeds or the dialog is left.
    if (!RunGuarded(this, [&] { writeFieldsToProfile(inKeyring); })) {
        return;
    }
    // No entry is left behind for a user name no longer in use, nor under
    // an old label once the passphrases are under the new one.
    const V3KeyringEntry entry = fieldKeyringEntry();
    if (!m_keyringEntry.User.empty() && m_keyringEntry != entry &&
        (inKeyring || m_keyringEntry.User != entry.User)) {
        RemoveV3Passphrases(m_keyringEntry);
    }
    RunGuarded(this, [this] { m_main.ReloadAndRestart(); });
    resumePolling();
    accept();
}

void TFormKonfiguracja::resumePolling() {
    // Only a poll this dialog stopped: starting a running timer again would
    // move its next tick.
    if (m_pollingPaused) {
        m_pollingPaused = false;
        m_main.ResumePolling();
    }
}

void TFormKonfiguracja::BitBtn2Click() {
    m_main.ApplyMainOpacity(m_savedMainOpacity);
    m_main.ApplyGraphOpacity(m_savedGraphOpacity);
    reject();
}

void TFormKonfiguracja::BitBtn3Click() {
    if (m_interfejsy != nullptr) {
        m_interfejsy->exec();
    }
}

void TFormKonfiguracja::BitBtn4Click() {
    pickColor(*Shape1);
}

void TFormKonfiguracja::BitBtn5Click() {
    pickColor(*Shape2);
}

void TFormKonfiguracja::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
}

void TFormKonfiguracja::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous()) {
        FormHide();
    }
}

void TFormKonfiguracja::keyPressEvent(QKeyEvent* event) {
    // Escape presses Cancel, which restores the opacity; only the title-bar
    // close box (QDialog::reject alone) leaves the preview in place.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        BitBtn2Click();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TFormKonfiguracja::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && (watched == Edit1 || watched == Edit2)) {
        // Leaving the field for another control probes; the window merely
        // losing activation (or a pop-up opening) does not.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            SpinEdit1Change();
        }
    }
    return QDialog::eventFilter(watched, event);
}

namespace {

// Where the SNMPv3 passphrases went, in the group's last line.
const QString kV3SecretNotInProfile =
    QStringLiteral("This profile keeps no passphrase: the desktop's keyring holds any typed here.");
const QString kV3SecretInKeyring =
    QStringLiteral("The passphrases are in the desktop's keyring; this profile keeps no secret.");
const QString kV3SecretAsKeys =
    QStringLiteral("No keyring answered: this profile keeps keys localised to this "
                   "agent alone, readable by you only.");

} // namespace

void TFormKonfiguracja::fillFromProfile() {
    const TIniFile ini(m_main.Settings().ProfilePath);
    m_profileRead = profileReadable(ini.FileName());
    m_filling = true;
    // Values outside a field's range land on the nearest bound (the spin
    // fields and scroll bars clamp whatever they are given).
    for (const SettingKey key : kSettingsDialogFillKeys) {
        setField(*this, fieldOf(key), ReadSetting(ini, key));
    }
    // Any other number in a hand-edited profile is SNMPv1, as the poll reads it.
    const int32_t version = ReadSettingInteger(ini, SettingKey::WersjaSNMP);
    ComboBox1->setCurrentIndex(version == kSnmpVersion2c ? 1 : version == kSnmpVersion3 ? 2 : 0);
    const V3Settings v3 = ReadV3Settings(ini);
    EditV3User->setText(QString::fromStdString(v3.User));
    ComboBoxV3Level->setCurrentIndex(std::clamp(v3.Level, 0, 2));
    ComboBoxV3Auth->setCurrentText(QString::fromStdString(v3.Auth));
    ComboBoxV3Priv->setCurrentText(QString::fromStdString(v3.Priv));
    EditV3Context->setText(QString::fromStdString(v3.Context));
    EditV3AuthPass->clear();
    EditV3PrivPass->clear();
    m_storedV3Keys = v3.Keys;
    // A profile without keys may have its passphrases in the keyring: the
    // probe asks with them, as the poll does, once the keyring answers.
    m_keyringV3 = {};
    m_keyringEntry = {m_main.Settings().ProfilePath, ReadSettingText(ini, SettingKey::Sesja), v3.User,
                      ReadSettingText(ini, SettingKey::Host)};
    const uint64_t asked = ++m_keyringQuestions;
    if (m_storedV3Keys.empty() && version == kSnmpVersion3 && v3.Level > 0) {
        ReadV3Passphrases(m_keyringEntry, this, [this, asked](V3KeyringRead read) {
            if (asked != m_keyringQuestions) {
                return;
            }
            m_keyringV3.AuthPassphrase = std::move(read.Passphrases.Auth);
            m_keyringV3.PrivPassphrase = std::move(read.Passphrases.Priv);
            showV3Stored();
            if (!m_keyringV3.AuthPassphrase.empty()) {
                SpinEdit1Change();
            }
        });
    }
    showV3Stored();
    showV3Fields();
    showTrayAvailability();
    m_filling = false;
}

void TFormKonfiguracja::showV3Stored() {
    const V3Secrets stored = V3SecretsOfKeys(m_storedV3Keys);
    const bool sameUser = EditV3User->text().toStdString() == m_keyringEntry.User;
    const bool inKeyring = sameUser && !m_keyringV3.AuthPassphrase.empty();
    const QString where = inKeyring ? QStringLiteral("stored in the keyring")
                                    : QStringLiteral("stored as keys localised to this agent");
    const bool auth = inKeyring || (sameUser && !stored.AuthKey.empty());
    const bool priv = inKeyring ? !m_keyringV3.PrivPassphrase.empty() : sameUser && !stored.PrivKey.empty();
    EditV3AuthPass->setPlaceholderText(auth ? where : QStringLiteral("passphrase"));
    EditV3PrivPass->setPlaceholderText(priv ? where : QStringLiteral("passphrase"));
    LabelV3Secret->setText(inKeyring                ? kV3SecretInKeyring
                           : m_storedV3Keys.empty() ? kV3SecretNotInProfile
                                                    : kV3SecretAsKeys);
}

void TFormKonfiguracja::writeFieldsToProfile(bool inKeyring) const {
    // All values are checked before the first is written: a field the store
    // would refuse leaves the profile exactly as it was.
    std::vector<SettingWrite> writes;
    for (const SettingKey key : kSettingsDialogOkKeys) {
        writes.push_back({key, fieldValue(*this, fieldOf(key))});
        // A size as the profile keeps it: whole GB as always, a fraction
        // with a point ("1,5" and "1500 MB" alike read back as 1.5).
        if (key == SettingKey::LimitGB || key == SettingKey::ZuzyteWczesniejGB) {
            const std::optional<uint64_t> octets = ParseQuotaSize(std::get<std::string>(writes.back().Value));
            writes.back().Value = QuotaSizeSetting(octets.value_or(0));
        }
    }
    const TIniFile ini(m_main.Settings().ProfilePath);
    // The interface's description, as read from the very agent, community,
    // version and interface that OK writes: by it the monitor finds the
    // interface again after a renumbering. Without an answer the stored one
    // stays while all four stay as stored; another agent or interface must
    // not keep the old interface's description.
    const AgentTarget target = fieldTarget();
    const int32_t storedVersion = ReadSettingInteger(ini, SettingKey::WersjaSNMP);
    const AgentTarget stored{
        .Host = ReadSettingText(ini, SettingKey::Host),
        .Community = ReadSettingText(ini, SettingKey::Haslo),
        .Version = storedVersion == kSnmpVersion2c || storedVersion == kSnmpVersion3 ? storedVersion : 0,
        .Interface = ReadSettingInteger(ini, SettingKey::NumerInterfaceu),
        .V3 = target.V3};
    std::optional<std::string> description;
    if (m_descriptionRead && sameInterface(m_probed, target)) {
        description = m_probedDescription;
    } else if (!sameInterface(target, stored)) {
        description.emplace();
    }
    if (description && !IsWritableValue(*description)) {
        description->clear(); // a line break from the agent: no description rather than no profile
    }
    // Passphrases in the keyring leave the profile no secret at all. Where
    // no keyring took them, the profile keeps only their keys, localised to
    // the engine the probe found (a passphrase left empty keeps its stored
    // key); the passphrases themselves are written to no file.
    V3Settings v3 = fieldV3();
    if (inKeyring) {
        v3.Keys.clear();
    } else if (!EditV3AuthPass->text().isEmpty() || !EditV3PrivPass->text().isEmpty()) {
        V3Secrets secrets = fieldV3Secrets();
        v3.Keys =
            V3KeysText(v3, secrets.AuthPassphrase, secrets.PrivPassphrase, m_probedEngineId, m_storedV3Keys);
        usm::Wipe(secrets.AuthPassphrase);
        usm::Wipe(secrets.PrivPassphrase);
    }
    m_main.WriteSettings({writes, description, fieldVersion(), v3});
}

void TFormKonfiguracja::makeTrayGroup(int top) {
    auto* tray = new QGroupBox(QStringLiteral("Tray icon"), this);
    tray->setGeometry(8, top, 357, kTrayGroupHeight - 4);
    CheckBox4 = new QCheckBox(QStringLiteral("Show the rates in the tray"), tray);
    CheckBox4->setObjectName(QStringLiteral("CheckBox4"));
    CheckBox4->setGeometry(12, 18, 330, 18);
    CheckBox5 = new QCheckBox(QStringLiteral("Hide the main window while the icon shows"), tray);
    CheckBox5->setObjectName(QStringLiteral("CheckBox5"));
    CheckBox5->setGeometry(12, 38, 330, 18);
    Label16 = new QLabel(tray);
    Label16->setObjectName(QStringLiteral("Label16"));
    Label16->setGeometry(12, 56, 340, 14);
    connect(CheckBox4, &QCheckBox::toggled, this, [this] { showTrayAvailability(); });
}

void TFormKonfiguracja::showTrayAvailability() {
    // Without a tray the settings keep what they hold but cannot be changed
    // here: a main window hidden for an icon that cannot show would be lost.
    const bool available = TTrayIcon::Available();
    CheckBox4->setEnabled(available);
    CheckBox5->setEnabled(available && CheckBox4->isChecked());
    Label16->setText(available ? QString() : TTrayIcon::UnavailableReason());
}

void TFormKonfiguracja::pickColor(TShape& shape) {
    QColorDialog* dialog = ColorDialog1();
    dialog->setCurrentColor(ColorFromBgr(shape.BrushColor()));
    if (dialog->exec() == QDialog::Accepted) {
        shape.SetBrushColor(BgrFromColor(dialog->selectedColor()));
    }
}

} // namespace veltrum
