// Folding of header values so that no line passes the 998 bytes of
// RFC 5322 section 2.1.1, and continuation lines begin with white space.
//
// The value fold (From and Subject) breaks a line when it reaches column
// 997, counting "Subject: " before the value, and continues with a TAB; a
// CR LF already in the value starts a new line. The list fold (To and CC)
// puts each item of a comma-separated list on its own line: only a comma
// that separates two items becomes ",", CR, LF, TAB (a single space after
// it is dropped); a comma inside a quoted string, an angle-bracket address
// or an encoded word is copied as it is. An item too long for its line is
// also broken before its last blank that keeps the line within the column
// (outside addresses and encoded words), the blank starting the next line;
// a single word longer than a line stays whole.
#ifndef MAILVANE_MIME_HEADER_FOLD_H
#define MAILVANE_MIME_HEADER_FOLD_H

#include <cstddef>
#include <string>

// The column at which the value fold breaks a line, and the width it
// assumes for the field name before the value.
inline constexpr int kValueFoldColumn = 997;
inline constexpr int kValueFieldWidth = 9;

// True when the text holds a CR or LF that is not part of a fold (CR LF
// followed by a space or TAB): such a line break would start a header line
// of the text's own.
bool HasBareLineBreak(const std::string &text);

// Append the folded value or list to block. Throw std::bad_alloc.
void AppendValueFolded(std::string &block, const std::string &value);
void AppendListFolded(std::string &block, const std::string &list);

#endif
