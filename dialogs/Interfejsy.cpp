#include "dialogs/Interfejsy.h"

#include "app/Glowny.h"
#include "dialogs/DialogControls.h"
#include "dialogs/Konfiguracja.h"

#include <QFont>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace veltrum {

namespace {

// ifDescr and ifOperStatus columns of ifTable (RFC 1213).
constexpr const char* kIfDescrPrefix = "1.3.6.1.2.1.2.2.1.2.";
constexpr const char* kIfOperStatusPrefix = "1.3.6.1.2.1.2.2.1.8.";
constexpr int32_t kGetRequest = 0xA0; // RFC 1157 section 4.1.2

} // namespace

TFormInterfejsy::TFormInterfejsy(TFormGlowny& main) : m_main(main) {
    setObjectName(QStringLiteral("FormInterfejsy"));
    setWindowTitle(QStringLiteral("Interfaces list"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(217, 246);

    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(4, 4, 209, 193);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setSortingEnabled(false);
    ListBox1->setUniformItemSizes(true);

    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(32, 210, 75, 25);
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QStringLiteral("Cancel"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(112, 210, 75, 25);
    BitBtn2->setAutoDefault(false);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    connect(ListBox1, &QListWidget::itemDoubleClicked, this, [this] { BitBtn1Click(); });
}

TFormInterfejsy::~TFormInterfejsy() = default;

std::string TFormInterfejsy::StatusWord(const std::string& operStatus) {
    if (operStatus == "1") {
        return "Up";
    }
    if (operStatus == "2") {
        return "Down";
    }
    if (operStatus == "3") {
        return "Testing";
    }
    return "Unknown";
}

void TFormInterfejsy::setVisible(bool visible) {
    if (visible && !isVisible()) {
        FormShow();
    }
    QDialog::setVisible(visible);
}

void TFormInterfejsy::FormShow() {
    m_rowCount = 0;
    ListBox1->clear();
    m_rowInterfaces.fill(0);
    TFormKonfiguracja* konfiguracja = m_main.Konfiguracja();
    if (konfiguracja == nullptr) {
        return;
    }
    TIdSNMP& snmp = konfiguracja->SNMPConf;
    const WaitCursor wait;
    try {
        for (int32_t n = 1; n <= kMaxInterfaces; ++n) {
            const std::string number = std::to_string(n);
            // Host and community as typed, even if not yet saved.
            snmp.Host = konfiguracja->Edit1->text().toStdString();
            snmp.SetCommunity(konfiguracja->Edit2->text().toStdString());
            snmp.ReceiveTimeout = ReplyTimeoutMs(m_main.State());
            const std::string oids[] = {kIfDescrPrefix + number, kIfOperStatusPrefix + number};
            ResetRequest(snmp.QueryMessage, kGetRequest, 0, oids); // SNMPv1, as the dialog always asked
            snmp.RunQuery();
            // An agent without interface n rejects the request (noSuchName)
            // but hands back the empty values: skip it and go on. No reply at
            // all leaves no values, and reading one ends the walk.
            const std::string description = snmp.ReplyMessage.ValueAt(0);
            if (description.empty()) {
                continue;
            }
            const std::string status = StatusWord(snmp.ReplyMessage.ValueAt(1));
            ListBox1->addItem(
                QString::fromStdString(" " + number + ": " + description + " (" + status + ")"));
            m_rowInterfaces[static_cast<size_t>(m_rowCount)] = n;
            ++m_rowCount;
        }
    } catch (...) {
        // The first failure ends the walk silently; the rows so far stay.
    }
}

void TFormInterfejsy::BitBtn1Click() {
    const int row = ListBox1->currentRow();
    if (row >= 0 && row < m_rowCount && ListBox1->item(row)->isSelected() &&
        m_main.Konfiguracja() != nullptr) {
        // The change runs the settings dialog's probe for the new interface.
        m_main.Konfiguracja()->SpinEdit1->setValue(m_rowInterfaces[static_cast<size_t>(row)]);
    }
    accept();
}

void TFormInterfejsy::BitBtn2Click() {
    reject();
}

} // namespace veltrum
