#pragma once
// Texts from outside the program (an agent's replies, a profile's values, a
// file's name) shown as they are. Qt takes any text that looks like markup
// for rich text, in a label, a hint or a message box, and rich text loads
// what its <img> tags name: an agent's description could make the program
// read /dev/zero or a file of the user's. So such texts are shown only as
// plain text, control characters written out where one can see them, and
// bounded, a hint more tightly than the place it explains.

#include <QString>

#include <string_view>

class QLabel;

namespace veltrum {

// Most characters a label or a list row shows of one outside text, and most
// a hint shows; a longer text ends in an ellipsis.
inline constexpr qsizetype kShownTextMax = 1024;
inline constexpr qsizetype kHintTextMax = 400;

// What a line break (CR, LF or CR LF) becomes: a line break, or a blank for
// a place that shows one line.
enum class LineBreaks { Keep, AsBlank };

// `text` as one can read it: a tab is a blank; any other control character,
// a bidirectional override and a line or paragraph separator are written out
// as "\x07" or "\u202E"; cut to `maxChars` characters and an ellipsis.
QString VisibleText(const QString& text, LineBreaks breaks = LineBreaks::Keep,
                    qsizetype maxChars = kShownTextMax);

// The same for octets as an agent or a file system gives them: UTF-8 where
// they decode as such, otherwise one character per octet (ISO 8859-1).
QString VisibleOctets(std::string_view octets, LineBreaks breaks = LineBreaks::Keep,
                      qsizetype maxChars = kShownTextMax);

// Makes `label` a plain-text label and shows VisibleText(text) in it.
void SetPlainText(QLabel& label, const QString& text);

// A hint (tool tip) that shows `text` literally: VisibleText cut to
// `maxChars`; where Qt would take that for markup, escaped and wrapped as
// rich text of our own, so that Qt never reads markup of the text's. Empty
// for an empty text (no hint).
QString PlainHint(const QString& text, qsizetype maxChars = kHintTextMax);

} // namespace veltrum
