#include "widgets/PlainText.h"
#include "widgets/ErrorBox.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include <string>

namespace veltrum {
namespace {

TEST(VisibleOctets, ControlCharactersWrittenOutTextKept) {
    const struct {
        std::string Octets;
        LineBreaks Breaks;
        QString Shown;
    } rows[] = {
        {"<img src=\"/dev/zero\">", LineBreaks::Keep, QStringLiteral("<img src=\"/dev/zero\">")},
        {"bell\x07 esc\x1b[31m del\x7f", LineBreaks::Keep, QStringLiteral("bell\\x07 esc\\x1B[31m del\\x7F")},
        {std::string("nul\0", 4), LineBreaks::Keep, QStringLiteral("nul\\x00")},
        {"a\r\nb\rc\nd\te", LineBreaks::Keep, QStringLiteral("a\nb\nc\nd e")},
        {"a\r\nb\rc\nd", LineBreaks::AsBlank, QStringLiteral("a b c d")},
        {"caf\xc3\xa9", LineBreaks::Keep, QStringLiteral("caf\u00e9")},
        {"f\xfcr \x85", LineBreaks::Keep, QStringLiteral("f\u00fcr \\x85")}, // not UTF-8: one octet each
        {"abc\xe2\x80\xaetxt.exe", LineBreaks::Keep, QStringLiteral("abc\\u202Etxt.exe")},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(VisibleOctets(row.Octets, row.Breaks), row.Shown) << row.Octets;
    }
}

TEST(VisibleText, LongTextsAreCutWithAnEllipsis) {
    const QString cut = VisibleOctets(std::string(5000, 'x'));
    EXPECT_EQ(cut.size(), kShownTextMax + 1);
    EXPECT_TRUE(cut.endsWith(QChar(0x2026)));
    // Never half a character at the cut.
    const QString emoji =
        VisibleText(QString(3, QChar(0x263A)) + QStringLiteral("\U0001F600x"), LineBreaks::Keep, 4);
    EXPECT_EQ(emoji, QString(3, QChar(0x263A)) + QChar(0x2026));
}

TEST(PlainHint, EscapedBoundedAndTakenLiterally) {
    const QString hint = PlainHint(QStringLiteral("<img src=\"/etc/hostname\"> & more\nline"));
    EXPECT_EQ(hint, QStringLiteral("<p>&lt;img src=\"/etc/hostname\"&gt; &amp; more<br>\nline</p>"));
    EXPECT_TRUE(PlainHint(QString()).isEmpty());
    EXPECT_LT(PlainHint(QString(5000, QLatin1Char('x'))).size(), kHintTextMax + 16);
}

TEST(PlainText, LabelAndErrorBoxShowMarkupAsText) {
    QLabel label;
    SetPlainText(label, QStringLiteral("<b>bold</b>\a"));
    EXPECT_EQ(label.textFormat(), Qt::PlainText);
    EXPECT_EQ(label.text(), QStringLiteral("<b>bold</b>\\x07"));

    Qt::TextFormat format = Qt::AutoText;
    QString shown;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            format = box->textFormat();
            shown = box->text();
            box->accept();
        }
    });
    ShowErrorBox(nullptr, QStringLiteral("Unable to write to /tmp/<img src=x>\a.vlq"));
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(shown, QStringLiteral("Unable to write to /tmp/<img src=x>\\x07.vlq"));
}

} // namespace
} // namespace veltrum
