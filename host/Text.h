// Small text helpers shared by the actions and the script code.
#ifndef QUORHOST_TEXT_H
#define QUORHOST_TEXT_H

#include <string>

namespace quorhost {

// Escapes backslash, tab, newline and carriage return as \\, \t, \n and \r,
// so that any text prints on one line of a tab-separated listing.
std::string escapeField(const std::string& text);

// `text` in double quotes, for messages.
std::string inQuotes(const std::string& text);

}  // namespace quorhost

#endif
