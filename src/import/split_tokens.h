// The tokenizer of the parenthesised DAT syntax: a comma- and blank-separated
// list in which a double-quoted token may hold blanks and commas ("" inside
// quotes is one quote). Parentheses are ordinary characters.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// Replaces `tokens` with the tokens of `line`. Bytes 0 to 32 separate tokens;
// bytes of 0x80 and above are always part of a token. A missing closing quote
// runs the token to the end of the line; a comma that ends the line adds one
// empty token.
void splitTokens(std::string_view line, std::vector<std::string>& tokens);

}  // namespace quorvane
