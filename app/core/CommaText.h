// Comma-separated text as the folder-archive records and the temporary-file
// list keep it: fields joined by ",", a field quoted with double quotes
// (inner quotes doubled) when it is empty or holds a blank, a control
// character, a comma or a quote. Reading accepts quoted and plain fields;
// blanks around a field outside quotes are dropped, blanks inside a plain
// field belong to it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vz {

std::string QuoteCommaField(std::string_view field);
std::string JoinCommaText(const std::vector<std::string>& fields);
// No fields for empty or blank text.
std::vector<std::string> SplitCommaText(std::string_view text);

// A strict decimal integer (optional sign, digits only, within int);
// EConvertError otherwise.
int StrToInt(std::string_view text);

}  // namespace vz
