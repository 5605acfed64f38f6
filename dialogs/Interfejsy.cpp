#include "dialogs/Interfejsy.h"

#include "core/AgentQuery.h"
#include "core/FailureReason.h"
#include "core/InterfaceWalk.h"
#include "dialogs/DialogControls.h"
#include "widgets/PlainText.h"

#include <QAbstractItemView>
#include <QFont>
#include <QHelpEvent>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <utility>

namespace veltrum {

namespace {

constexpr int kListHeight = 193;
constexpr int kNoteHeight = 14;

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
    ListBox1->setGeometry(4, 4, 209, kListHeight);
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
    WalkNote = new QLabel(this);
    WalkNote->setObjectName(QStringLiteral("WalkNote"));
    WalkNote->setGeometry(6, 4 + kListHeight - kNoteHeight, 205, kNoteHeight);
    WalkNote->setTextFormat(Qt::PlainText);
    WalkNote->hide();
    m_walkTimer = new QTimer(this);
    m_walkTimer->setInterval(0);
    connect(m_walkTimer, &QTimer::timeout, this, [this] { stepWalk(); });

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

void TFormInterfejsy::SetCaller(
    std::function<std::unique_ptr<InterfaceWalkSession>(std::function<void()>)> startWalk,
    std::function<void(int32_t)> chosen) {
    m_startWalk = std::move(startWalk);
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
    stopWalk();
    m_rowInterfaces.clear();
    ListBox1->clear();
    EmptyReason->hide();
    EmptyReason->clear();
    // A step that finds the client busy (a reply awaited, a probe) waits
    // for this call instead of turning the loop.
    m_walk = m_startWalk ? m_startWalk([this] {
        if (m_walk) {
            m_walkTimer->start();
        }
    })
                         : nullptr;
    if (!m_walk) {
        return;
    }
    setNote(QStringLiteral("Reading the agent's interfaces..."));
    m_walkTimer->start();
}

bool TFormInterfejsy::Walking() const {
    return m_walk != nullptr;
}

void TFormInterfejsy::stepWalk() {
    if (!m_walk) {
        m_walkTimer->stop();
        return;
    }
    const bool done = m_walk->Step();
    if (!done && m_walk->Busy()) {
        m_walkTimer->stop();
    }
    for (const InterfaceRow& row : m_walk->TakeSettledRows()) {
        // An interface without a description is not listed.
        if (row.Descr.empty()) {
            continue;
        }
        ListBox1->addItem(QString::fromStdString(RowText(row)));
        m_rowInterfaces.push_back(row.Index);
    }
    if (done) {
        finishWalk();
    }
}

void TFormInterfejsy::finishWalk() {
    m_walkTimer->stop();
    const std::unique_ptr<const InterfaceWalkSession> walk = std::move(m_walk);
    if (m_rowInterfaces.empty() && walk->End() != WalkEnd::RowLimit) {
        // An empty list would leave the user guessing: say why instead.
        setNote({});
        SetPlainText(*EmptyReason, VisibleOctets(FailureText(walk->EmptyReason())));
        EmptyReason->setVisible(!EmptyReason->text().isEmpty());
        return;
    }
    switch (walk->End()) {
    case WalkEnd::RowLimit:
        setNote(QStringLiteral("The agent has more than %1 interfaces; the list stops there.")
                    .arg(walk->RowCount()));
        break;
    case WalkEnd::Cut:
        setNote(QStringLiteral("The agent stopped answering; more interfaces may follow."));
        break;
    default:
        setNote({});
    }
}

void TFormInterfejsy::stopWalk() {
    m_walkTimer->stop();
    m_walk.reset();
    setNote({});
}

void TFormInterfejsy::setNote(const QString& text) {
    WalkNote->setText(text);
    WalkNote->setToolTip(text);
    WalkNote->setVisible(!text.isEmpty());
    // The list makes room for the note while there is one.
    ListBox1->setGeometry(4, 4, 209, text.isEmpty() ? kListHeight : kListHeight - kNoteHeight - 2);
}

void TFormInterfejsy::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous()) {
        stopWalk(); // a list closed needs no more rows
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
