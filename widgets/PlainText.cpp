#include "widgets/PlainText.h"

#include <QLabel>
#include <QStringDecoder>
#include <QTextDocument>

#include <algorithm>

namespace veltrum {

namespace {

constexpr QChar kEllipsis(0x2026);

// Characters that would be invisible or would rearrange the text around
// them: C0 and C1 controls, the bidirectional marks, embeddings, overrides
// and isolates, and the line and paragraph separators.
bool isHidden(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

QString writtenOut(char16_t c) {
    if (c <= 0xFF) {
        return QStringLiteral("\\x") + QString::number(c, 16).toUpper().rightJustified(2, QLatin1Char('0'));
    }
    return QStringLiteral("\\u") + QString::number(c, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

} // namespace

QString VisibleText(const QString& text, LineBreaks breaks, qsizetype maxChars) {
    const QChar lineBreak = breaks == LineBreaks::Keep ? QLatin1Char('\n') : QLatin1Char(' ');
    QString shown;
    shown.reserve(std::min(text.size(), maxChars) + 1);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        QString piece;
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) {
                ++i; // CR LF is one line break
            }
            piece = lineBreak;
        } else if (c == u'\t') {
            piece = QStringLiteral(" ");
        } else if (isHidden(c)) {
            piece = writtenOut(c);
        } else {
            piece = text[i];
        }
        if (shown.size() + piece.size() > maxChars) {
            // Never half of a surrogate pair at the cut.
            if (!shown.isEmpty() && shown.back().isHighSurrogate()) {
                shown.chop(1);
            }
            shown += kEllipsis;
            break;
        }
        shown += piece;
    }
    return shown;
}

QString VisibleOctets(std::string_view octets, LineBreaks breaks, qsizetype maxChars) {
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(octets.data(), static_cast<qsizetype>(octets.size())));
    if (utf8.hasError()) {
        text = QString::fromLatin1(octets.data(), static_cast<qsizetype>(octets.size()));
    }
    return VisibleText(text, breaks, maxChars);
}

void SetPlainText(QLabel& label, const QString& text) {
    label.setTextFormat(Qt::PlainText);
    label.setText(VisibleText(text));
}

QString PlainHint(const QString& text, qsizetype maxChars) {
    if (text.isEmpty()) {
        return {};
    }
    // A hint that Qt would not take for markup is shown as it is; any other
    // becomes "<p>" with every '<', '>' and '&' escaped: Qt sees rich text,
    // and the only markup in it is ours.
    const QString visible = VisibleText(text, LineBreaks::Keep, maxChars);
    return Qt::mightBeRichText(visible) ? Qt::convertFromPlainText(visible, Qt::WhiteSpaceNormal) : visible;
}

} // namespace veltrum
