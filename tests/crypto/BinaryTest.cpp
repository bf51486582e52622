#include <gtest/gtest.h>

#include <string>

#include "common/FileScratch.h"
#include "corelib/Exception.h"
#include "crypto/Binary.h"

using VemoraOpenSSL::Binary;

namespace {

std::string bytesOf(const Binary& b) {
  return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

// The message of the exception that building a Binary from `name` throws.
std::string fileError(const std::string& name) {
  try {
    Binary b(name);
  } catch (const VemoraCorelib::Exception& e) {
    return e.message();
  }
  return "(no exception)";
}

}  // namespace

TEST(BinaryTest, CopyOwnsItsBytesAndCount) {
  unsigned char source[] = {'a', 0, 'b'};
  std::size_t count = sizeof source;
  Binary copy(source, &count, Binary::kCopy);
  source[0] = 'x';
  count = 1;
  EXPECT_EQ(bytesOf(copy), std::string("a\0b", 3));
  EXPECT_EQ(copy.mode(), Binary::kCopy | Binary::kOwned);
}

TEST(BinaryTest, ReferenceFollowsTheCallersBytesAndCount) {
  unsigned char source[] = {'a', 'b', 'c'};
  std::size_t count = 3;
  Binary ref(source, &count, Binary::kRefer);
  EXPECT_EQ(ref.data(), source);
  count = 2;
  EXPECT_EQ(bytesOf(ref), "ab");
  EXPECT_EQ(ref.mode(), Binary::kRefer);
}

TEST(BinaryTest, OtherModesAndMissingBytesGiveAnEmptyObject) {
  unsigned char source[] = {'a'};
  std::size_t count = 1;
  for (int mode : {0, 3, 4, 8, -1}) {
    Binary b(source, &count, mode);
    EXPECT_EQ(b.data(), nullptr) << mode;
    EXPECT_EQ(b.size(), 0u) << mode;
  }
  Binary noData(nullptr, &count, Binary::kCopy);
  EXPECT_EQ(noData.size(), 0u);
  Binary noCount(source, nullptr, Binary::kRefer);
  EXPECT_EQ(noCount.size(), 0u);
}

class BinaryFileTest : public Vemora::FileScratch {};

TEST_F(BinaryFileTest, ReadsEveryByteOfTheFile) {
  const std::string content("line\r\n\0\xff end", 12);
  put("data.bin", content);
  Binary b(win("data.bin"));
  EXPECT_EQ(bytesOf(b), content);
  EXPECT_EQ(b.mode(), Binary::kOwned);
  Binary slashes("C:/scratch/" + name_ + "/data.bin");
  EXPECT_EQ(bytesOf(slashes), content);
}

TEST_F(BinaryFileTest, EmptyMissingAndUnreachableFilesFail) {
  put("empty.txt", "");
  for (const std::string& name :
       {win("empty.txt"), win("missing.txt"), win(""), std::string("D:\\other\\f.txt")}) {
    EXPECT_EQ(fileError(name), "Failed to allocate memory of size 0 for file " + name);
  }
}
