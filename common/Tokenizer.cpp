#include "common/Tokenizer.h"

namespace Vemora {

Tokenizer::Tokenizer(const std::string* text, StringSearcher* searcher, bool owns)
    : text_(text), searcher_(searcher), owns_(owns) {}

Tokenizer::~Tokenizer() {
  if (owns_) delete searcher_;
}

bool Tokenizer::next(Token& token) {
  if (text_ == nullptr || searcher_ == nullptr || position_ >= text_->size()) return false;
  uint8_t kind = 1;
  const size_t end = searcher_->search(*text_, kind, position_, std::string::npos);
  if (end == std::string::npos || end <= position_) return false;
  token.text = text_->substr(position_, end - position_);
  token.kind = kind;
  previous_ = position_;
  position_ = end;
  return true;
}

}  // namespace Vemora
