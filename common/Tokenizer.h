// Cuts a text into tokens with a StringSearcher. The text must outlive the
// tokenizer.
#pragma once
#include <cstddef>
#include <string>

#include "common/StringSearcher.h"
#include "common/Token.h"

namespace Vemora {

class Tokenizer {
 public:
  // Does not take ownership of the searcher unless `owns` is set.
  Tokenizer(const std::string* text, StringSearcher* searcher, bool owns = false);
  ~Tokenizer();
  Tokenizer(const Tokenizer&) = delete;
  Tokenizer& operator=(const Tokenizer&) = delete;

  // The next token; false when there is no text or searcher, the end is
  // reached or the searcher finds no further token.
  bool next(Token& token);

  // Where the current token began and where the next one begins.
  size_t previousPosition() const { return previous_; }
  size_t position() const { return position_; }

 private:
  const std::string* text_;
  size_t position_ = 0;
  size_t previous_ = 0;
  StringSearcher* searcher_;
  bool owns_;
};

}  // namespace Vemora
