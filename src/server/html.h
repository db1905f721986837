// Escaping of text inserted into HTML pages.
#pragma once

#include <string>
#include <string_view>

namespace tamsel {

// `text` with &, <, >, " and ' written as character references.
std::string HtmlEscape(std::string_view text);

}  // namespace tamsel
