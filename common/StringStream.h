// An ordered list of typed items with a read cursor, and its text form: a
// header line ("method=none", "method=checksum,data=<hash>" or
// "method=encrypt"), "\n", then per item its code byte, its value text and
// a zero byte. Relayed messages travel in this form.
//
// Puts append and return the stream; after a put onto a stream whose cursor
// stood at the end the cursor moves to the first item. Gets read the item at
// the cursor when it has the getter's code and move on; an item of another
// code is skipped without touching the output; at the end nothing happens.
//
// A stream belongs to the thread that uses it; it cannot be copied.
#pragma once

#include <cstdint>
#include <list>
#include <string>

namespace Vemora {

class StringStream {
 public:
  enum ItemType : int32_t {
    kString = 1,
    kWideString = 2,
    kCharArray = 3,
    kChar = 4,
    kBool = 5,
    kShort = 6,
    kUShort = 7,
    kInt = 8,
    kUInt = 9,
    kLong = 10,
    kULong = 11,
    kInt64 = 12,
    kUInt64 = 13,
    kFloat = 14,
    kDouble = 15,
    kInt2 = 16
  };
  enum Method : int { kMethodNone = 1, kMethodChecksum = 2, kMethodEncrypt = 3 };

  struct Item {
    int32_t type = 0;
    union {
      char c;
      bool b;
      int16_t s;
      uint16_t us;
      int32_t i;
      uint32_t u;
      int64_t i64;
      uint64_t u64;
      float f;
      double d;
    } value{};
    // Codes 1, 2 and 3: the bytes (code 2: 16-bit characters, low byte
    // first); length() is their count.
    std::string bytes;
    uint32_t length() const { return static_cast<uint32_t>(bytes.size()); }
  };

  StringStream();
  virtual ~StringStream();
  StringStream(const StringStream&) = delete;
  StringStream& operator=(const StringStream&) = delete;

  StringStream& putString(const std::string& value);
  StringStream& putBool(bool value);
  StringStream& putInt(int32_t value);
  StringStream& putUInt(uint32_t value);
  StringStream& putLong(int32_t value);
  StringStream& putUInt64(uint64_t value);

  StringStream& getString(std::string& value);
  StringStream& getBool(bool& value);
  StringStream& getInt(int32_t& value);
  StringStream& getUInt(uint32_t& value);
  StringStream& getLong(int32_t& value);
  StringStream& getUInt64(uint64_t& value);

  // True when the cursor stands at the end (no item left to get). Changes
  // nothing.
  bool atEnd() const;

  // The text form with `method` (1 none, 2 checksum, 3 encrypt, which
  // writes the body unchanged). An empty stream gives "\n".
  void toString(std::string& out, int method) const;
  // Appends the items of a text form; false for no line end, no or an
  // unknown "method", a missing or wrong checksum or an unknown item code
  // (items of earlier pieces then stay). On success the cursor moves to the
  // first item of the stream.
  bool fromString(const std::string& text);

  // "none" 1, "checksum" 2, "encrypt" 3 (any case), else 0.
  static int parseMethod(std::string word);

 private:
  StringStream& put(Item item);
  // The item at the cursor when it has `type`; the cursor moves past any
  // item. Null at the end or for another type.
  const Item* take(int32_t type);
  static void appendValue(const Item& item, std::string& out);
  static bool readItem(const std::string& piece, Item& item);

  std::list<Item> items_;
  std::list<Item>::iterator cursor_;
};

}  // namespace Vemora
