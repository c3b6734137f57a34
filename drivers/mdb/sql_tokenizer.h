// Splits one SQL statement into tokens. Identifiers may stand bare, between double
// quotes or between brackets; a doubled closing character inside stands for itself.
#pragma once

#include <cstddef>
#include <list>
#include <string>
#include <string_view>
#include <vector>

namespace mdb {

enum class TokenKind {
  Word,        // bare identifier or keyword: letters, digits, '_', '$', '#', '@', non-ASCII
  QuotedName,  // "name" or [name]; text holds the name without its delimiters
  Number,      // 12, 1.5, .5, 1e-3, 0x1F (text as written, without sign)
  String,      // 'text'; text holds the value with doubled quotes undone
  Symbol,      // ( ) , ; * + - . = < > & /  (those four inside CHECK rules) ? (a parameter marker)
  End,
};

struct Token {
  TokenKind kind = TokenKind::End;
  std::string_view text;
  std::size_t offset = 0;  // byte offset of the token's first character
};

// The tokens of one statement. Texts view the statement itself, or `unescaped` for
// the names and strings whose doubled delimiters were undone: the statement text
// must outlive the list. Nothing is copied for the common case, which keeps a
// row's INSERT cheap.
struct TokenList {
  std::vector<Token> tokens;  // ends with an End token
  std::list<std::string> unescaped;  // a list: its strings stay where they are
};

// Throws SqlError (42000) for an unterminated string or name or a stray character.
void Tokenize(std::string_view sql, TokenList& out);

// 1-based character position of a byte offset, counting UTF-8 sequences as one.
std::size_t CharacterPosition(std::string_view sql, std::size_t byteOffset);

// ASCII case-insensitive comparison, as keywords and type words are matched.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace mdb
