#include "widgets/PlainText.h"
#include "widgets/ErrorBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include <string>

namespace veltrum {
namespace {

TEST(VisibleOctets, ControlCharactersWrittenOutMarkupKept) {
    const struct {
        std::string Octets;
        LineBreaks Breaks;
        QString Shown;
    } rows[] = {
        {"<img src=\"/dev/zero\">", LineBreaks::Keep, QStringLiteral("<img src=\"/dev/zero\">")},
        {std::string("bell\x07 esc\x1b[31m del\x7f nul\0", 24), LineBreaks::Keep,
         QStringLiteral("bell\\x07 esc\\x1B[31m del\\x7F nul\\x00")},
        {"a\r\nb\rc\nd\te", LineBreaks::Keep, QStringLiteral("a\nb\nc\nd e")},
        {"a\r\nb\rc\nd", LineBreaks::AsBlank, QStringLiteral("a b c d")},
        {"caf\xc3\xa9", LineBreaks::Keep, QStringLiteral("caf\u00e9")},
        {"f\xfcr \x85", LineBreaks::Keep, QStringLiteral("f\u00fcr \\x85")}, // not UTF-8: one octet each
        {"abc\xe2\x80\xaetxt.exe", LineBreaks::Keep, QStringLiteral("abc\\u202Etxt.exe")},
        {std::string(5000, 'x'), LineBreaks::Keep, QString(kShownTextMax, QLatin1Char('x')) + QChar(0x2026)},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(VisibleOctets(row.Octets, row.Breaks), row.Shown) << row.Octets;
    }
}

TEST(ShowErrorBox, ShowsPlainText) {
    QMessageBox* box = nullptr;
    QTimer::singleShot(0, [&] {
        box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(box->text(), QStringLiteral("Unable to write to /tmp/<img src=x>\\x07.vlq"));
        box->accept();
    });
    ShowErrorBox(nullptr, QStringLiteral("Unable to write to /tmp/<img src=x>\a.vlq"));
    EXPECT_NE(box, nullptr);
}

} // namespace
} // namespace veltrum
