#include "common/StringStream.h"

#include <cstdlib>
#include <map>
#include <vector>

#include "common/StringOps.h"
#include "platform/Numbers.h"

namespace Vemora {

StringStream::StringStream() : cursor_(items_.end()) {}

StringStream::~StringStream() = default;

StringStream& StringStream::put(Item item) {
  items_.push_back(std::move(item));
  if (cursor_ == items_.end()) cursor_ = items_.begin();
  return *this;
}

StringStream& StringStream::putString(const std::string& value) {
  Item item;
  item.type = kString;
  item.bytes = value;
  return put(std::move(item));
}

StringStream& StringStream::putBool(bool value) {
  Item item;
  item.type = kBool;
  item.value.b = value;
  return put(std::move(item));
}

StringStream& StringStream::putInt(int32_t value) {
  Item item;
  item.type = kInt;
  item.value.i = value;
  return put(std::move(item));
}

StringStream& StringStream::putUInt(uint32_t value) {
  Item item;
  item.type = kUInt;
  item.value.u = value;
  return put(std::move(item));
}

StringStream& StringStream::putLong(int32_t value) {
  Item item;
  item.type = kLong;
  item.value.i = value;
  return put(std::move(item));
}

StringStream& StringStream::putUInt64(uint64_t value) {
  Item item;
  item.type = kUInt64;
  item.value.u64 = value;
  return put(std::move(item));
}

const StringStream::Item* StringStream::take(int32_t type) {
  if (cursor_ == items_.end()) return nullptr;
  const Item& item = *cursor_;
  ++cursor_;  // an item of another type is skipped
  return item.type == type ? &item : nullptr;
}

StringStream& StringStream::getString(std::string& value) {
  if (const Item* item = take(kString)) value = item->bytes;
  return *this;
}

StringStream& StringStream::getBool(bool& value) {
  if (const Item* item = take(kBool)) value = item->value.b;
  return *this;
}

StringStream& StringStream::getInt(int32_t& value) {
  if (const Item* item = take(kInt)) value = item->value.i;
  return *this;
}

StringStream& StringStream::getUInt(uint32_t& value) {
  if (const Item* item = take(kUInt)) value = item->value.u;
  return *this;
}

StringStream& StringStream::getLong(int32_t& value) {
  if (const Item* item = take(kLong)) value = item->value.i;
  return *this;
}

StringStream& StringStream::getUInt64(uint64_t& value) {
  if (const Item* item = take(kUInt64)) value = item->value.u64;
  return *this;
}

bool StringStream::atEnd() const {
  return cursor_ == items_.end();
}

void StringStream::appendValue(const Item& item, std::string& out) {
  switch (item.type) {
    case kString:
    case kWideString:
    case kCharArray:
      out += item.bytes;
      break;
    case kChar:
      out += item.value.c;
      break;
    case kBool:
      out += item.value.b ? '1' : '0';
      break;
    case kShort:
      out += StringOps::fromInt(item.value.s);
      break;
    case kInt:
    case kLong:
    case kInt2:
      out += StringOps::fromInt(item.value.i);
      break;
    case kUShort:
      out += StringOps::fromUInt(item.value.us);
      break;
    case kUInt:
    case kULong:
      out += StringOps::fromUInt(item.value.u);
      break;
    case kInt64:
      out += StringOps::fromInt64(item.value.i64);
      break;
    case kUInt64:
      out += StringOps::fromUInt64(item.value.u64);
      break;
    case kFloat:
      out += StringOps::fromDouble(static_cast<double>(item.value.f));
      break;
    case kDouble:
      out += StringOps::fromDouble(item.value.d);
      break;
    default:
      break;
  }
}

void StringStream::toString(std::string& out, int method) const {
  std::string body;
  for (const Item& item : items_) {
    body += static_cast<char>(item.type & 0xFF);
    appendValue(item, body);
    body += '\0';
  }
  std::string header;
  if (!body.empty()) {
    switch (method) {
      case kMethodNone:
        header = "method=none";
        break;
      case kMethodChecksum:
        header = "method=checksum,data=" + StringOps::fromUInt64(StringOps::hash64(body));
        break;
      case kMethodEncrypt:
        header = "method=encrypt";
        break;
      default:
        break;
    }
  }
  out = header;
  out += '\n';
  out += body;
}

bool StringStream::readItem(const std::string& piece, Item& item) {
  item.type = static_cast<signed char>(piece[0]);
  const std::string text = piece.substr(1);
  switch (item.type) {
    case kString:
    case kWideString:  // 16-bit characters, low byte first, as written
    case kCharArray:
      item.bytes = text;
      break;
    case kChar:
      item.value.c = text.empty() ? '\0' : text[0];
      break;
    case kBool:
      item.value.b = text != "0";
      break;
    case kShort:
      item.value.s = static_cast<int16_t>(platform::atol32(text.c_str()));
      break;
    case kInt:
    case kLong:
    case kInt2:
      item.value.i = platform::atol32(text.c_str());
      break;
    case kUShort:
      item.value.us = static_cast<uint16_t>(StringOps::toUInt(text));
      break;
    case kUInt:
    case kULong:
      item.value.u = StringOps::toUInt(text);
      break;
    case kInt64:
      item.value.i64 = StringOps::toInt64(text);
      break;
    case kUInt64:
      item.value.u64 = StringOps::toUInt64(text);
      break;
    case kFloat:
      item.value.f = static_cast<float>(std::strtod(text.c_str(), nullptr));
      break;
    case kDouble:
      item.value.d = std::strtod(text.c_str(), nullptr);
      break;
    default:
      return false;
  }
  return true;
}

bool StringStream::fromString(const std::string& text) {
  const size_t lineEnd = text.find('\n');
  if (lineEnd == std::string::npos) return false;
  std::map<std::string, std::string> header;
  StringOps::parseKeyValues(text.substr(0, lineEnd), ',', '=', header);
  const std::string body = text.substr(lineEnd + 1);
  const auto method = header.find("method");
  if (method == header.end()) return false;
  const int code = parseMethod(method->second);
  if (code == 0) return false;
  if (code == kMethodChecksum) {
    const auto data = header.find("data");
    if (data == header.end()) return false;
    if (StringOps::toUInt64(data->second) != StringOps::hash64(body)) return false;
  }
  std::vector<std::string> pieces;
  StringOps::split(body, '\0', pieces, 2147483647, false);
  for (const std::string& piece : pieces) {
    if (piece.empty()) continue;
    Item item;
    if (!readItem(piece, item)) return false;
    items_.push_back(std::move(item));
  }
  cursor_ = items_.begin();
  return true;
}

int StringStream::parseMethod(std::string word) {
  StringOps::toLower(word);
  if (word == "none") return kMethodNone;
  if (word == "checksum") return kMethodChecksum;
  if (word == "encrypt") return kMethodEncrypt;
  return 0;
}

}  // namespace Vemora
