// Texts on the command line and in the event log carry bytes that a shell or a log line
// cannot: CR, LF, zero bytes, bytes of 0x80 and above. Both use the same C-like escapes.
#ifndef UNIT_SIM_ESCAPED_TEXT_H
#define UNIT_SIM_ESCAPED_TEXT_H

#include <string>

// Decodes \r, \n, \\ and \xHH (exactly two hex digits). False, with a reason, on any
// other escape or a backslash at the end.
bool decodeEscapes(const std::string& text, std::string& bytes, std::string& error);

// Printable ASCII as it is; \r, \n, \\ and \xHH for everything else.
std::string escapeForLog(const std::string& bytes);

#endif
