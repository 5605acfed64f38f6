#include "dialogs/Oprogramie.h"

#include "core/MonitorControl.h"

#include <QEvent>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

// The resource lives in the static GUI library; register it before first use.
static void initOprogramieResource() {
    Q_INIT_RESOURCE(Oprogramie);
}

namespace veltrum {

const char* const TFormOprogramie::kPictureResource = ":/dialogs/Oprogramie.bmp";

TFormOprogramie::TFormOprogramie(MonitorControl& monitor) : m_main(monitor) {
    initOprogramieResource();
    setObjectName(QStringLiteral("FormOprogramie"));
    setWindowTitle(QStringLiteral("About"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(293, 200);

    Panel2 = new QFrame(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setGeometry(40, 12, 213, 61);
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel2->setLineWidth(1);
    auto* title = new QLabel(QStringLiteral("     Veltrum"), Panel2);
    title->setObjectName(QStringLiteral("Panel2Caption"));
    title->setGeometry(Panel2->contentsRect());
    title->setAlignment(Qt::AlignCenter);
    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setPixelSize(32);
    title->setFont(titleFont);

    Image1 = new QLabel(Panel2);
    Image1->setObjectName(QStringLiteral("Image1"));
    const QPixmap picture(QString::fromLatin1(kPictureResource));
    Image1->setPixmap(picture);
    Image1->setGeometry(16, 8, picture.width(), picture.height());

    Label1 = new QLabel(QStringLiteral("v1.11m"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(2, 84, 290, 16);
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    Label3 = new QLabel(QString::fromLatin1(MonitorControl::kProductUrl), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setGeometry(2, 132, 290, 16);
    Label3->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QPalette navy = Label3->palette();
    navy.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0x80));
    Label3->setPalette(navy);
    Label3->setCursor(Qt::PointingHandCursor);
    Label3->installEventFilter(this);
    Label3->hide(); // in the window's layout the link is hidden

    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(109, 200 - 36 + 6, 75, 25);
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
}

TFormOprogramie::~TFormOprogramie() = default;

void TFormOprogramie::BitBtn1Click() {
    accept();
}

void TFormOprogramie::Label3Click() {
    // The main window opens the page on its timer's next tick, after this
    // window has closed.
    m_main.OpenWebPageSoon();
    accept();
}

bool TFormOprogramie::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label3 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
        Label3->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
        Label3Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace veltrum
