// The browse filter of the OPC standard: '*' any run, '?' any one character, '#' one digit,
// "[abc]" / "[a-z]" one of a set and "[!abc]" none of it. Letter case is ignored; an empty
// filter matches everything.
#pragma once

#include <string>

namespace opcsim {

bool MatchFilter(const std::wstring& text, const std::wstring& filter);

} // namespace opcsim
