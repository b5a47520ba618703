// Texts quoted the way the host writes them inside a list: 'RW09', "O'HARE",
// with backslashes, line breaks and characters that do not print escaped.
#pragma once

#include <string>
#include <string_view>

namespace core_calc {

// `utf8` as a quoted literal: single quotes unless the text holds a single quote
// and no double quote. Non-ASCII characters stay as they are except separators,
// format characters and private-use or surrogate code points, which are escaped.
std::string quoted_text(std::string_view utf8);

}  // namespace core_calc
