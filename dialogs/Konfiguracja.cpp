#include "dialogs/Konfiguracja.h"

#include "app/ErrorBox.h"
#include "app/Glowny.h"
#include "app/core/PollCycle.h"
#include "app/core/SettingsTable.h"
#include "dialogs/DialogControls.h"
#include "dialogs/Interfejsy.h"
#include "graphs/Wykres.h"
#include "graphs/WykresPkt.h"
#include "settings/IniFile.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFocusEvent>
#include <QFont>
#include <QGroupBox>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QTimer>

#include <filesystem>
#include <stdexcept>

namespace veltrum {

namespace {

// ifDescr of an interface, sysDescr and sysName (RFC 1213).
constexpr const char* kIfDescrPrefix = "1.3.6.1.2.1.2.2.1.2.";
constexpr const char* kSysDescr = "1.3.6.1.2.1.1.1.0";
constexpr const char* kSysName = "1.3.6.1.2.1.1.5.0";
// RFC 1157 section 4.1.2: GetRequest-PDU.
constexpr int32_t kGetRequest = 0xA0;
// ifHCInOctets (RFC 2863): whether the agent keeps the interface's 64-bit
// counters, which the SNMPv2c poll reads.
constexpr const char* kIfHcInOctetsPrefix = "1.3.6.1.2.1.31.1.1.1.6.";

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
    return bar;
}

QString fromOctets(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

TFormKonfiguracja::TFormKonfiguracja(TFormGlowny& main) : m_main(main) {
    setObjectName(QStringLiteral("FormKonfiguracja"));
    setWindowTitle(QStringLiteral("Settings"));
    // A tool-window border: a caption with a close box only, fixed size.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(373, 447);

    // Widgets are created in tab order.
    auto* connection = new QGroupBox(QStringLiteral("Connection (SNMP)"), this);
    connection->setGeometry(8, 4, 357, 196);
    makeCaption(connection, "Hostname or IP", 20);
    Edit1 = makeEdit(connection, "Edit1", 20);
    makeCaption(connection, "Description", 44);
    makeCaption(connection, "Community string", 64);
    Edit2 = makeEdit(connection, "Edit2", 64);
    makeCaption(connection, "Interface", 96);
    // Switches number their ports in the thousands and beyond: any ifIndex
    // (RFC 2863: 1 to 2147483647).
    SpinEdit1 = makeSpin(connection, "SpinEdit1", 1, 2147483647, 96, 84);
    BitBtn3 = makeSmallButton(connection, "BitBtn3", kFieldLeft + 88, 96);
    makeCaption(connection, "Session", 128);
    Edit3 = makeEdit(connection, "Edit3", 128);
    makeCaption(connection, "Read timeout (ms)", 160);
    SpinEdit4 = makeSpin(connection, "SpinEdit4", 100, 750, 160, 80);
    ComboBox1 = new QComboBox(connection);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->addItems({QStringLiteral("SNMPv1"), QStringLiteral("SNMPv2c")});
    ComboBox1->setGeometry(kFieldLeft + 88, 160, 90, 21);

    Label9 = new QLabel(connection);
    Label9->setObjectName(QStringLiteral("Label9"));
    QFont small(QStringLiteral("Arial"));
    small.setPixelSize(9);
    Label9->setFont(small);
    Label9->setWordWrap(true);
    Label9->setGeometry(kFieldLeft - 20, 47, 233, 12);
    Label7 = new QLabel(connection);
    Label7->setObjectName(QStringLiteral("Label7"));
    Label7->setGeometry(kFieldLeft + 114, 99, 99, 16);

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

    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(196, 415, 80, 25);
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QStringLiteral("Cancel"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(284, 415, 80, 25);
    BitBtn2->setAutoDefault(false);

    // The design's field texts; the first opening replaces them.
    Edit1->setText(QStringLiteral("192.168.1.1"));
    Edit2->setText(QStringLiteral("qorvex"));
    Edit3->setText(QStringLiteral("Veltrum"));
    SpinEdit2->setValue(1024);
    SpinEdit3->setValue(1024);
    SpinEdit4->setValue(250);
    Shape1->SetBrushColor(0x0000FFFF);
    Shape2->SetBrushColor(0x000000FF);
    CheckBox1->setChecked(true);
    CheckBox2->setChecked(true);

    ColorDialog1 = new QColorDialog(this);
    ColorDialog1->setObjectName(QStringLiteral("ColorDialog1"));

    Edit1->installEventFilter(this);
    Edit2->installEventFilter(this);
    connect(SpinEdit1, &QSpinBox::valueChanged, this, [this] { SpinEdit1Change(); });
    connect(SpinEdit4, &QSpinBox::valueChanged, this, [this] { SpinEdit1Change(); });
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this] { SpinEdit1Change(); });
    connect(ScrollBar1, &QScrollBar::valueChanged, this, [this] { ScrollBar1Change(); });
    connect(ScrollBar2, &QScrollBar::valueChanged, this, [this] { ScrollBar2Change(); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { BitBtn3Click(); });
    connect(BitBtn4, &QPushButton::clicked, this, [this] { BitBtn4Click(); });
    connect(BitBtn5, &QPushButton::clicked, this, [this] { BitBtn5Click(); });
}

TFormKonfiguracja::~TFormKonfiguracja() = default;

void TFormKonfiguracja::FormShow() {
    MonitorState& state = m_main.State();
    m_main.TimerStayOnTop->stop();
    setWindowTitle(QStringLiteral("Settings:  ") +
                   QString::fromStdString(std::filesystem::path(state.ProfilePath).filename().string()));
    m_savedMainOpacity = state.MainOpacity;
    m_savedGraphOpacity = state.GraphOpacity;

    // OK reloads the profile and places the main window from these two keys,
    // so the window stays where it is.
    const bool positionWritten = RunGuarded(this, [&] {
        TIniFile ini(state.ProfilePath);
        WriteSettingInteger(ini, "PozTop", m_main.y());
        WriteSettingInteger(ini, "PozLeft", m_main.x());
    });
    if (!positionWritten) {
        return; // the fields keep what they held, and no probe runs
    }

    fillFromProfile();
    Label14->setText(QString::number(ScrollBar1->value()));
    Label15->setText(QString::number(ScrollBar2->value()));
    SpinEdit1Change();
}

void TFormKonfiguracja::FormHide() {
    m_main.TimerStayOnTop->start();
}

void TFormKonfiguracja::SpinEdit1Change() {
    if (m_filling) {
        return;
    }
    const WaitCursor wait;
    try {
        const std::string ifDescr = kIfDescrPrefix + std::to_string(SpinEdit1->value());
        SNMPConf.Host = Edit1->text().toStdString();
        SNMPConf.SetCommunity(Edit2->text().toStdString());
        // The time-out in force, not the edited one: a new time-out applies
        // to probes only after OK.
        SNMPConf.ReceiveTimeout = ReplyTimeoutMs(m_main.State());

        // The chosen version, as the poll will ask; SNMPv1 requests stay
        // as they always were.
        const bool v2c = ComboBox1->currentIndex() == 1;
        const auto ask = [&](std::initializer_list<std::string> oids) {
            ResetRequest(SNMPConf.QueryMessage, kGetRequest, v2c ? kSnmpVersion2c : 0 /* SNMPv1 */,
                         std::span(oids.begin(), oids.size()));
            SNMPConf.RunQuery();
        };
        ask({ifDescr});
        Label7->setText(fromOctets(SNMPConf.ReplyMessage.ValueAt(0)));

        // What the poll will read, as the hint of the interface's description.
        MonitorState reads;
        reads.SnmpVersion = v2c ? kSnmpVersion2c : 0;
        if (v2c) {
            ask({kIfHcInOctetsPrefix + std::to_string(SpinEdit1->value())});
            reads.Counters32Only = SNMPConf.ReplyMessage.IsNoValueAt(0);
        }
        Label7->setToolTip(QString::fromStdString(CounterWidthText(reads)));

        ask({kSysDescr, kSysName});
        Label9->setText(fromOctets(SNMPConf.ReplyMessage.ValueAt(0)) + QStringLiteral(" (") +
                        fromOctets(SNMPConf.ReplyMessage.ValueAt(1)) + QStringLiteral(")"));
    } catch (...) {
        // Silence, no reply, a missing value, an unknown host or a socket
        // error: the probe shows nothing rather than a stale answer.
        Label7->clear();
        Label7->setToolTip(QString());
        Label9->clear();
    }
}

void TFormKonfiguracja::ScrollBar1Change() {
    Label14->setText(QString::number(ScrollBar1->value()));
    m_main.State().MainOpacity = static_cast<uint16_t>(ScrollBar1->value());
    m_main.Button1Click();
}

void TFormKonfiguracja::ScrollBar2Change() {
    Label15->setText(QString::number(ScrollBar2->value()));
    m_main.State().GraphOpacity = static_cast<uint16_t>(ScrollBar2->value());
    applyGraphOpacity();
}

void TFormKonfiguracja::BitBtn1Click() {
    m_main.Timer1->stop();
    // A failed write leaves the dialog open and the poll stopped until an OK
    // succeeds or a profile is loaded or saved.
    if (!RunGuarded(this, [this] { writeFieldsToProfile(); })) {
        return;
    }
    RunGuarded(this, [this] {
        m_main.FormCreate();
        m_main.FormShow();
    });
    m_main.Timer1->start();
    accept();
}

void TFormKonfiguracja::BitBtn2Click() {
    MonitorState& state = m_main.State();
    state.MainOpacity = m_savedMainOpacity;
    state.GraphOpacity = m_savedGraphOpacity;
    m_main.Button1Click();
    applyGraphOpacity();
    reject();
}

void TFormKonfiguracja::BitBtn3Click() {
    if (m_main.Interfejsy() != nullptr) {
        m_main.Interfejsy()->exec();
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

TFormKonfiguracja::FieldValue TFormKonfiguracja::fieldValue(std::string_view key) const {
    if (key == "Host") {
        return Edit1->text().toStdString();
    }
    if (key == "Haslo") {
        return Edit2->text().toStdString();
    }
    if (key == "NumerInterfaceu") {
        return int32_t{SpinEdit1->value()};
    }
    if (key == "Download") {
        return int32_t{SpinEdit2->value()};
    }
    if (key == "Upload") {
        return int32_t{SpinEdit3->value()};
    }
    if (key == "KolorDownload") {
        return static_cast<int32_t>(Shape1->BrushColor());
    }
    if (key == "KolorUpload") {
        return static_cast<int32_t>(Shape2->BrushColor());
    }
    if (key == "PokazSrednie") {
        return CheckBox1->isChecked();
    }
    if (key == "Autoscala") {
        return CheckBox2->isChecked();
    }
    if (key == "Sesja") {
        return Edit3->text().toStdString();
    }
    if (key == "Timeout") {
        return int32_t{SpinEdit4->value()};
    }
    if (key == "TStopien") {
        return int32_t{ScrollBar1->value()};
    }
    if (key == "TStopienGraph") {
        return int32_t{ScrollBar2->value()};
    }
    if (key == "LinieMax") {
        return CheckBox3->isChecked();
    }
    if (key == "WersjaSNMP") {
        return int32_t{ComboBox1->currentIndex() == 1 ? kSnmpVersion2c : 0};
    }
    throw std::out_of_range("no settings field for " + std::string(key));
}

void TFormKonfiguracja::setFieldValue(std::string_view key, const FieldValue& value) {
    const auto text = [&] { return QString::fromStdString(std::get<std::string>(value)); };
    const auto number = [&] { return std::get<int32_t>(value); };
    const auto flag = [&] { return std::get<bool>(value); };
    if (key == "Host") {
        Edit1->setText(text());
    } else if (key == "Haslo") {
        Edit2->setText(text());
    } else if (key == "NumerInterfaceu") {
        SpinEdit1->setValue(number());
    } else if (key == "Download") {
        SpinEdit2->setValue(number());
    } else if (key == "Upload") {
        SpinEdit3->setValue(number());
    } else if (key == "KolorDownload") {
        Shape1->SetBrushColor(static_cast<uint32_t>(number()));
    } else if (key == "KolorUpload") {
        Shape2->SetBrushColor(static_cast<uint32_t>(number()));
    } else if (key == "PokazSrednie") {
        CheckBox1->setChecked(flag());
    } else if (key == "Autoscala") {
        CheckBox2->setChecked(flag());
    } else if (key == "Sesja") {
        Edit3->setText(text());
    } else if (key == "Timeout") {
        SpinEdit4->setValue(number());
    } else if (key == "TStopien") {
        ScrollBar1->setValue(number()); // a new position previews at once
    } else if (key == "TStopienGraph") {
        ScrollBar2->setValue(number());
    } else if (key == "LinieMax") {
        CheckBox3->setChecked(flag());
    } else if (key == "WersjaSNMP") {
        // Any other number in a hand-edited profile is SNMPv1, as the poll reads it.
        ComboBox1->setCurrentIndex(number() == kSnmpVersion2c ? 1 : 0);
    } else {
        throw std::out_of_range("no settings field for " + std::string(key));
    }
}

void TFormKonfiguracja::fillFromProfile() {
    const TIniFile ini(m_main.State().ProfilePath);
    m_filling = true;
    // Values outside a field's range land on the nearest bound (the spin
    // fields and scroll bars clamp whatever they are given).
    for (const std::string_view key : kSettingsDialogKeys) {
        switch (FindSetting(key).Kind) {
        case SettingKind::Text:
            setFieldValue(key, ReadSettingText(ini, key));
            break;
        case SettingKind::Integer:
            setFieldValue(key, ReadSettingInteger(ini, key));
            break;
        case SettingKind::Flag:
            setFieldValue(key, ReadSettingFlag(ini, key));
            break;
        }
    }
    setFieldValue("WersjaSNMP", ReadSettingInteger(ini, "WersjaSNMP"));
    m_filling = false;
}

void TFormKonfiguracja::writeFieldsToProfile() const {
    TIniFile ini(m_main.State().ProfilePath);
    for (const std::string_view key : kSettingsDialogKeys) {
        const FieldValue value = fieldValue(key);
        switch (FindSetting(key).Kind) {
        case SettingKind::Text:
            WriteSettingText(ini, key, std::get<std::string>(value));
            break;
        case SettingKind::Integer:
            WriteSettingInteger(ini, key, std::get<int32_t>(value));
            break;
        case SettingKind::Flag:
            WriteSettingFlag(ini, key, std::get<bool>(value));
            break;
        }
    }
    WriteAddedSettingInteger(ini, "WersjaSNMP", std::get<int32_t>(fieldValue("WersjaSNMP")));
}

void TFormKonfiguracja::pickColor(TShape& shape) {
    ColorDialog1->setCurrentColor(ColorFromBgr(shape.BrushColor()));
    if (ColorDialog1->exec() == QDialog::Accepted) {
        shape.SetBrushColor(BgrFromColor(ColorDialog1->selectedColor()));
    }
}

void TFormKonfiguracja::applyGraphOpacity() {
    if (m_main.Wykres() != nullptr) {
        m_main.Wykres()->Button1Click();
    }
    if (m_main.WykresPkt() != nullptr) {
        m_main.WykresPkt()->Button1Click();
    }
}

} // namespace veltrum
