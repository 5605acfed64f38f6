#include "dialogs/Interfejsy.h"

#include "app/core/FailureReason.h"
#include "app/core/InterfaceWalk.h"
#include "app/core/MonitorState.h"
#include "dialogs/DialogControls.h"
#include "snmp/IdSNMP.h"
#include "widgets/PlainText.h"

#include <QAbstractItemView>
#include <QFont>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>
#include <exception>
#include <utility>

namespace veltrum {

namespace {

constexpr int32_t kNoSuchName = 2; // RFC 1157 section 4.1.1: an SNMPv1 walk's end

// Why a walk that found nothing found nothing: the failure that ended it, or
// else what its last exchange heard.
FailureReason emptyWalkReason(const TIdSNMP& snmp, const std::exception_ptr& failure) {
    FailureReason reason = ExchangeFailure(snmp, failure, 0);
    if (failure) {
        return reason;
    }
    const TSNMPInfo& reply = snmp.ReplyMessage;
    if (snmp.ReplyRefused()) {
        reason.Kind = FailureKind::Refused;
    } else if (reply.Packet.empty()) {
        reason.Kind = FailureKind::NoReply;
    } else if (reply.ErrorStatus != 0 && reply.ErrorStatus != kNoSuchName) {
        reason.Kind = FailureKind::AgentError;
        reason.Code = reply.ErrorStatus;
    } else {
        reason.Kind = FailureKind::NoInterfaces;
    }
    return reason;
}

// The list's rows are 13 pixels high whatever the style would choose; a row
// too long for the list shows its whole text as its hint.
class FixedRowHeight final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), 13};
    }
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        if (event->type() != QEvent::ToolTip) {
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        }
        // What the row shows of its text: up to the end of its own box or of
        // the list, less the item's margins.
        const QString text = index.data(Qt::DisplayRole).toString();
        const int room = std::min(option.rect.right(), view->viewport()->width()) - option.rect.left() - 6;
        if (option.fontMetrics.horizontalAdvance(text) <= room) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(event->globalPos(), PlainHint(text), view->viewport());
        }
        return true;
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
    // It names the host as typed, which may hold markup.
    EmptyReason->setTextFormat(Qt::PlainText);
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

std::string TFormInterfejsy::RowText(const InterfaceRow& row) {
    // The agent's texts as one line one can read (a row is shown as it is,
    // never as rich text), in UTF-8.
    const auto shown = [](const std::string& octets) {
        return VisibleOctets(octets, LineBreaks::AsBlank).toStdString();
    };
    std::string text = " " + std::to_string(row.Index) + ": " + shown(row.Descr);
    // Many agents name an interface the same in ifDescr and ifName: once is enough.
    if (!row.Name.empty() && row.Name != row.Descr) {
        text += " [" + shown(row.Name) + "]";
    }
    if (!row.Alias.empty() && row.Alias != row.Descr) {
        text += " \"" + shown(row.Alias) + "\"";
    }
    return text + " (" + StatusWord(row.OperStatus) + ")";
}

void TFormInterfejsy::FormShow() {
    m_rowInterfaces.clear();
    ListBox1->clear();
    EmptyReason->hide();
    EmptyReason->clear();
    const WalkTarget target = m_target ? m_target() : WalkTarget{};
    if (target.Client == nullptr) {
        return;
    }
    TIdSNMP& snmp = *target.Client;
    const WaitCursor wait;
    std::exception_ptr failure;
    std::vector<InterfaceRow> rows;
    try {
        snmp.Host = target.Host;
        snmp.SetCommunity(target.Community);
        snmp.ReceiveTimeout = target.TimeoutMs;
        // The walk ends at its first failure, keeping the rows read until then.
        rows = WalkInterfaces(snmp, target.SnmpVersion == kSnmpVersion2c, {}, nullptr, &failure);
    } catch (...) {
        failure = std::current_exception();
    }
    for (const InterfaceRow& row : rows) {
        // An interface without a description is not listed.
        if (row.Descr.empty()) {
            continue;
        }
        ListBox1->addItem(QString::fromStdString(RowText(row)));
        m_rowInterfaces.push_back(row.Index);
    }
    if (m_rowInterfaces.empty()) {
        // An empty list would leave the user guessing: say why instead.
        SetPlainText(*EmptyReason, VisibleOctets(FailureText(emptyWalkReason(snmp, failure))));
        EmptyReason->setVisible(!EmptyReason->text().isEmpty());
    }
}

void TFormInterfejsy::BitBtn1Click() {
    const int row = ListBox1->currentRow();
    if (row >= 0 && row < RowCount() && ListBox1->item(row)->isSelected() && m_chosen) {
        m_chosen(m_rowInterfaces[static_cast<size_t>(row)]);
    }
    accept();
}

void TFormInterfejsy::BitBtn2Click() {
    reject();
}

} // namespace veltrum
