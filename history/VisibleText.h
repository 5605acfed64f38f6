#pragma once
// Outside text (an agent's description, a profile's agent) written to a
// terminal or a file as one can read it, by the rules the windows follow:
// octets that are not UTF-8 are read one character per octet (ISO 8859-1);
// a tab or a line break is a blank; any other control character is written
// out as "\x1B", and a bidirectional mark or override, a line or paragraph
// separator and a zero-width character as "\u202E". A terminal then never
// takes an escape sequence of the agent's, and no character hides or
// reorders what follows it.

#include <string>
#include <string_view>

namespace veltrum {

std::string VisibleOneLine(std::string_view octets);

} // namespace veltrum
