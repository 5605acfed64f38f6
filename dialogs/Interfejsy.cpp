#include "dialogs/Interfejsy.h"

#include "app/core/FailureReason.h"
#include "dialogs/DialogControls.h"
#include "snmp/IdSNMP.h"

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyledItemDelegate>

#include <exception>
#include <utility>

namespace veltrum {

namespace {

// ifDescr and ifOperStatus columns of ifTable (RFC 1213).
constexpr const char* kIfDescrPrefix = "1.3.6.1.2.1.2.2.1.2.";
constexpr const char* kIfOperStatusPrefix = "1.3.6.1.2.1.2.2.1.8.";
constexpr int32_t kGetRequest = 0xA0; // RFC 1157 section 4.1.2

// The list's rows are 13 pixels high whatever the style would choose.
class FixedRowHeight final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), 13};
    }
};

} // namespace

TFormInterfejsy::TFormInterfejsy(QWidget* parent) : QDialog(parent) {
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
    ListBox1->setItemDelegate(new FixedRowHeight(ListBox1));
    // Drawn inside the list's frame, above the list.
    EmptyReason = new QLabel(this);
    EmptyReason->setObjectName(QStringLiteral("EmptyReason"));
    EmptyReason->setGeometry(10, 8, 197, 185);
    EmptyReason->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    EmptyReason->setWordWrap(true);
    EmptyReason->hide();

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

void TFormInterfejsy::SetCaller(std::function<WalkTarget()> target, std::function<void(int32_t)> chosen) {
    m_target = std::move(target);
    m_chosen = std::move(chosen);
}

std::string TFormInterfejsy::StatusWord(const std::string& operStatus) {
    // The names of RFC 2863, capitalised like the first three always were.
    static const char* const kWords[] = {"Up",      "Down",       "Testing",       "Unknown",
                                         "Dormant", "NotPresent", "LowerLayerDown"};
    if (operStatus.size() == 1 && operStatus[0] >= '1' && operStatus[0] <= '7') {
        return kWords[operStatus[0] - '1'];
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
    EmptyReason->hide();
    EmptyReason->clear();
    m_rowInterfaces.fill(0);
    const WalkTarget target = m_target ? m_target() : WalkTarget{};
    if (target.Client == nullptr) {
        return;
    }
    TIdSNMP& snmp = *target.Client;
    const WaitCursor wait;
    int32_t n = 1;
    std::exception_ptr failure;
    try {
        for (; n <= kMaxInterfaces; ++n) {
            const std::string number = std::to_string(n);
            snmp.Host = target.Host;
            snmp.SetCommunity(target.Community);
            snmp.ReceiveTimeout = target.TimeoutMs;
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
        // The first failure ends the walk; the rows so far stay.
        failure = std::current_exception();
    }
    if (m_rowCount == 0) {
        // An empty list would leave the user guessing: say why instead.
        FailureReason reason = ExchangeFailure(snmp, failure, n);
        if (!failure) {
            reason.Kind = FailureKind::NoInterfaces;
        }
        EmptyReason->setText(QString::fromStdString(FailureText(reason)));
        EmptyReason->setVisible(!EmptyReason->text().isEmpty());
    }
}

void TFormInterfejsy::BitBtn1Click() {
    const int row = ListBox1->currentRow();
    if (row >= 0 && row < m_rowCount && ListBox1->item(row)->isSelected() && m_chosen) {
        m_chosen(m_rowInterfaces[static_cast<size_t>(row)]);
    }
    accept();
}

void TFormInterfejsy::BitBtn2Click() {
    reject();
}

} // namespace veltrum
