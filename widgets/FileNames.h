#pragma once
// What may stand inside a file name the program makes up itself (the chart
// bitmaps, named after the session). The rule is the one Windows file names
// follow, kept on every system: a session name that a file name there could
// not hold fails the save alike here, and a separator can never lead the file
// out of its folder.

#include <QString>

#include <algorithm>

namespace veltrum {

// True when `part` holds none of \ / : * ? " < > | and no control character.
inline bool IsFileNamePart(const QString& part) {
    static const QString forbidden = QStringLiteral("\\/:*?\"<>|");
    return std::none_of(part.begin(), part.end(), [](QChar c) {
        return forbidden.contains(c) || c.category() == QChar::Other_Control;
    });
}

} // namespace veltrum
