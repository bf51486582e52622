#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/RegistryStore.h"

using platform::RegistryRoot;
using platform::RegistryStore;

namespace {

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeText(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string query(const RegistryStore::Key& key, const std::string& name, uint32_t* type,
                  uint32_t* rc) {
  uint32_t size = 0;
  *rc = RegistryStore::queryValue(key, name, type, nullptr, &size);
  if (*rc != 0) return "";
  std::string out(size, '\0');
  *rc = RegistryStore::queryValue(key, name, type, reinterpret_cast<uint8_t*>(out.data()), &size);
  return out;
}

class RegistryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::remove(RegistryStore::filePath(RegistryRoot::kLocalMachine));
  }
};

struct TypedCase {
  const char* name;
  uint32_t type;
  std::string bytes;
};

const std::vector<TypedCase>& typedCases() {
  static const std::vector<TypedCase> cases = {
      {"Text", platform::kRegSz, std::string("C:\\data\\conf\0", 13)},
      {"NoTerminator", platform::kRegSz, "abc"},
      {"Expand", platform::kRegExpandSz, std::string("%TEMP%\\x\0", 9)},
      {"Number", platform::kRegDword, std::string("\x2a\x00\x00\x80", 4)},
      {"List", platform::kRegMultiSz, std::string("one\0two words\0\0", 15)},
      {"EmptyList", platform::kRegMultiSz, std::string("\0\0", 2)},
      {"Binary", platform::kRegBinary, std::string("\x00\xff\n\r\"\\", 6)},
      {"Quad", platform::kRegQword, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
      {"ShortDword", platform::kRegDword, "\x01"},
      {"Odd type", 0x1234, "odd"},
      {"Empty", platform::kRegSz, ""},
      {"Quotes \"and\" tabs\t", platform::kRegSz, std::string("line1\nline2\t\"q\"\0", 16)},
  };
  return cases;
}

}  // namespace

TEST_F(RegistryStoreTest, ValuesOfEveryTypeWrittenByOneProcessReadByAnother) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    RegistryStore::Key key;
    if (RegistryStore::createKey(RegistryRoot::kLocalMachine, "SOFTWARE\\Vemora\\Resources",
                                 &key) != 0) {
      _exit(1);
    }
    for (const auto& c : typedCases()) {
      if (RegistryStore::setValue(key, c.name, c.type,
                                  reinterpret_cast<const uint8_t*>(c.bytes.data()),
                                  static_cast<uint32_t>(c.bytes.size())) != 0) {
        _exit(2);
      }
    }
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);

  RegistryStore::Key key;
  ASSERT_EQ(
      RegistryStore::openKey(RegistryRoot::kLocalMachine, "software\\VEMORA\\resources", &key), 0u);
  EXPECT_EQ(key.path, "SOFTWARE\\Vemora\\Resources");
  for (const auto& c : typedCases()) {
    uint32_t type = 0;
    uint32_t rc = 99;
    const std::string bytes = query(key, c.name, &type, &rc);
    EXPECT_EQ(rc, 0u) << c.name;
    EXPECT_EQ(type, c.type) << c.name;
    EXPECT_EQ(bytes, c.bytes) << c.name;
  }
}

TEST_F(RegistryStoreTest, QueryAnswersAsTheRegistryDoes) {
  RegistryStore::Key key;
  ASSERT_EQ(RegistryStore::createKey(RegistryRoot::kLocalMachine, "A\\B", &key), 0u);
  const std::string text("hello\0", 6);
  ASSERT_EQ(RegistryStore::setValue(key, "Greeting", platform::kRegSz,
                                    reinterpret_cast<const uint8_t*>(text.data()), 6),
            0u);

  uint8_t small[3];
  uint32_t size = sizeof small;
  uint32_t type = 0;
  EXPECT_EQ(RegistryStore::queryValue(key, "GREETING", &type, small, &size), 234u);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(type, platform::kRegSz);

  size = 0;
  EXPECT_EQ(RegistryStore::queryValue(key, "missing", &type, nullptr, &size), 2u);
  RegistryStore::Key other;
  EXPECT_EQ(RegistryStore::openKey(RegistryRoot::kLocalMachine, "A\\C", &other), 2u);
  // The parent of a created key exists too.
  EXPECT_EQ(RegistryStore::openKey(RegistryRoot::kLocalMachine, "a", &other), 0u);
  EXPECT_EQ(other.path, "A");
  std::vector<std::string> names;
  EXPECT_EQ(RegistryStore::subKeyNames(other, &names), 0u);
  EXPECT_EQ(names, std::vector<std::string>{"B"});
}

TEST_F(RegistryStoreTest, NamesKeepTheirCaseAndReplaceCaseInsensitively) {
  RegistryStore::Key key;
  ASSERT_EQ(RegistryStore::createKey(RegistryRoot::kLocalMachine, "Soft\\App", &key), 0u);
  const uint8_t one[4] = {1, 0, 0, 0};
  const uint8_t two[4] = {2, 0, 0, 0};
  ASSERT_EQ(RegistryStore::setValue(key, "LogCounter", platform::kRegDword, one, 4), 0u);
  ASSERT_EQ(RegistryStore::setValue(key, "logcounter", platform::kRegDword, two, 4), 0u);
  std::vector<std::string> names;
  ASSERT_EQ(RegistryStore::valueNames(key, &names), 0u);
  EXPECT_EQ(names, std::vector<std::string>{"LogCounter"});
  uint8_t got[4] = {};
  uint32_t size = 4;
  EXPECT_EQ(RegistryStore::queryValue(key, "LOGCOUNTER", nullptr, got, &size), 0u);
  EXPECT_EQ(got[0], 2);
  RegistryStore::Key again;
  ASSERT_EQ(RegistryStore::createKey(RegistryRoot::kLocalMachine, "SOFT\\app\\New", &again), 0u);
  EXPECT_EQ(again.path, "Soft\\App\\New");
}

TEST_F(RegistryStoreTest, OperatorWrittenFileIsRead) {
  writeText(RegistryStore::filePath(RegistryRoot::kLocalMachine),
            "; set by hand\r\n"
            "[SOFTWARE\\Vemora\\Resources]\r\n"
            "\"ConfigurationDir\" = sz:\"C:\\\\vemora\\\\conf\"\r\n"
            "\"StartupDebugLevel\"=dword:3\n"
            "# another comment\n"
            "@=sz:\"default\"\n");
  RegistryStore::Key key;
  ASSERT_EQ(
      RegistryStore::openKey(RegistryRoot::kLocalMachine, "SOFTWARE\\Vemora\\Resources", &key), 0u);
  uint32_t type = 0;
  uint32_t rc = 0;
  EXPECT_EQ(query(key, "ConfigurationDir", &type, &rc), std::string("C:\\vemora\\conf\0", 15));
  EXPECT_EQ(type, platform::kRegSz);
  EXPECT_EQ(query(key, "StartupDebugLevel", &type, &rc), std::string("\3\0\0\0", 4));
  EXPECT_EQ(type, platform::kRegDword);
  EXPECT_EQ(query(key, "", &type, &rc), std::string("default\0", 8));
}

TEST_F(RegistryStoreTest, FileIsReadableAndKeyNamesNeverBecomePaths) {
  RegistryStore::Key key;
  ASSERT_EQ(RegistryStore::createKey(RegistryRoot::kLocalMachine, "..\\..\\etc", &key), 0u);
  const std::string text("x\0", 2);
  ASSERT_EQ(RegistryStore::setValue(key, "Name", platform::kRegSz,
                                    reinterpret_cast<const uint8_t*>(text.data()), 2),
            0u);
  const uint8_t n[4] = {0x10, 0, 0, 0};
  ASSERT_EQ(RegistryStore::setValue(key, "Level", platform::kRegDword, n, 4), 0u);
  const std::string file = RegistryStore::filePath(RegistryRoot::kLocalMachine);
  EXPECT_EQ(readText(file),
            "; Vemora registry: HKEY_LOCAL_MACHINE\n"
            "\n[..\\..\\etc]\n"
            "\"Name\"=sz:\"x\"\n"
            "\"Level\"=dword:00000010\n");
  std::vector<std::string> entries;
  for (const auto& e :
       std::filesystem::directory_iterator(std::filesystem::path(file).parent_path()))
    entries.push_back(e.path().filename().string());
  for (const auto& e : entries) EXPECT_EQ(e.find("etc"), std::string::npos) << e;
}

TEST_F(RegistryStoreTest, MalformedFileIsUnreadableAndNeverOverwritten) {
  const std::string file = RegistryStore::filePath(RegistryRoot::kLocalMachine);
  const std::string broken = "[K]\n\"v\"=dword:nothex\n";
  writeText(file, broken);
  RegistryStore::Key key{RegistryRoot::kLocalMachine, "K"};
  EXPECT_EQ(RegistryStore::openKey(RegistryRoot::kLocalMachine, "K", nullptr), 5u);
  EXPECT_EQ(RegistryStore::queryValue(key, "v", nullptr, nullptr, nullptr), 5u);
  const uint8_t n[4] = {};
  EXPECT_EQ(RegistryStore::setValue(key, "w", platform::kRegDword, n, 4), 5u);
  EXPECT_EQ(readText(file), broken);
}

TEST_F(RegistryStoreTest, MalformedLinesAreRejected) {
  const std::vector<std::string> bad = {
      "\"v\"=sz:\"before any key\"\n",
      "[K]\n\"v\"=sz:\"unclosed\n",
      "[K]\n\"v\"=sz:\"bad escape \\q\"\n",
      "[K]\n\"v\"=dword:123456789\n",
      "[K]\n\"v\"=hex(3):0g\n",
      "[K]\n\"v\"=hex(3):01,\n",
      "[K]\nv=sz:\"unquoted name\"\n",
      "[K\n",
      "[K]\n\"v\"=text:\"x\"\n",
  };
  for (const auto& text : bad) {
    writeText(RegistryStore::filePath(RegistryRoot::kLocalMachine), text);
    EXPECT_EQ(RegistryStore::openKey(RegistryRoot::kLocalMachine, "K", nullptr), 5u) << text;
  }
}

TEST_F(RegistryStoreTest, WritersInTwoProcessesLoseNothing) {
  constexpr int kPerProcess = 40;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  const char* who = child == 0 ? "child" : "parent";
  RegistryStore::Key key{RegistryRoot::kLocalMachine, "Race"};
  bool ok = true;
  for (int i = 0; i < kPerProcess; ++i) {
    const uint32_t v = static_cast<uint32_t>(i);
    const std::string name = std::string(who) + std::to_string(i);
    ok = RegistryStore::setValue(key, name, platform::kRegDword,
                                 reinterpret_cast<const uint8_t*>(&v), 4) == 0 &&
         ok;
  }
  if (child == 0) _exit(ok ? 0 : 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(ok);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::vector<std::string> names;
  ASSERT_EQ(RegistryStore::valueNames(key, &names), 0u);
  EXPECT_EQ(names.size(), 2u * kPerProcess);
}

TEST_F(RegistryStoreTest, CurrentUserHasItsOwnFilePerUser) {
  RegistryStore::Key key;
  ASSERT_EQ(RegistryStore::createKey(RegistryRoot::kCurrentUser, "Software\\X", &key), 0u);
  EXPECT_EQ(RegistryStore::openKey(RegistryRoot::kLocalMachine, "Software\\X", nullptr), 2u);
  EXPECT_NE(RegistryStore::filePath(RegistryRoot::kCurrentUser)
                .find("HKEY_CURRENT_USER-" + std::to_string(getuid()) + ".reg"),
            std::string::npos);
  platform::RegistryRoot root;
  EXPECT_TRUE(RegistryStore::rootFromName("HKEY_USERS", &root));
  EXPECT_EQ(root, RegistryRoot::kUsers);
  EXPECT_FALSE(RegistryStore::rootFromName("HKEY_PERFORMANCE_DATA", &root));
}

TEST_F(RegistryStoreTest, EveryTruncationOfAFileIsReadOrRefused) {
  const std::string text =
      "[K]\n\"a\"=sz:\"x\\\\y\"\n\"b\"=multi_sz:\"p\",\"q\"\n\"c\"=hex(3):01,ff\n"
      "\"d\"=dword:0000002a\n";
  const std::string file = RegistryStore::filePath(RegistryRoot::kLocalMachine);
  for (size_t n = 0; n <= text.size(); ++n) {
    writeText(file, text.substr(0, n));
    const uint32_t rc = RegistryStore::openKey(RegistryRoot::kLocalMachine, "K", nullptr);
    EXPECT_TRUE(rc == 0 || rc == 2 || rc == 5) << n;
  }
  RegistryStore::Key key{RegistryRoot::kLocalMachine, "K"};
  uint32_t rc = 0;
  uint32_t type = 0;
  EXPECT_EQ(query(key, "a", &type, &rc), std::string("x\\y\0", 4));
  EXPECT_EQ(query(key, "b", &type, &rc), std::string("p\0q\0\0", 5));
  EXPECT_EQ(query(key, "d", &type, &rc), std::string("\x2a\0\0\0", 4));
}

// An operator's file keeps every line it had: a write changes only the
// value's own line, adds a new value under its key, or a new key at the end.
TEST_F(RegistryStoreTest, WritesKeepTheOperatorsLines) {
  const std::string file = RegistryStore::filePath(RegistryRoot::kLocalMachine);
  const std::string head =
      "; resources of this host\n"
      "[SOFTWARE\\Vemora\\Resources]\n"
      "# where the configuration lives\n"
      "  \"ConfigurationDir\" = sz:\"/etc/vemora\"\n"
      "\n"
      "\"StartupDebugLevel\"=dword:2\n";
  const std::string tail =
      "\n"
      "; other keys follow\n"
      "[Other]\n"
      "\"x\"=sz:\"y\"\n";
  const uint8_t level[4] = {5, 0, 0, 0};
  const std::string job("pid=1;tid=2\0", 12);
  struct Case {
    const char* name;
    std::string before;
    uint32_t (*write)(const uint8_t* level, const std::string& job);
    std::string after;
  };
  const Case cases[] = {
      {"a value's own line, indentation kept", head + tail,
       [](const uint8_t* l, const std::string&) {
         return RegistryStore::setValue(
             {RegistryRoot::kLocalMachine, "SOFTWARE\\Vemora\\Resources"}, "startupdebuglevel",
             platform::kRegDword, l, 4);
       },
       "; resources of this host\n"
       "[SOFTWARE\\Vemora\\Resources]\n"
       "# where the configuration lives\n"
       "  \"ConfigurationDir\" = sz:\"/etc/vemora\"\n"
       "\n"
       "\"StartupDebugLevel\"=dword:00000005\n" +
           tail},
      {"a new value under its key", head + tail,
       [](const uint8_t*, const std::string& j) {
         return RegistryStore::setValue(
             {RegistryRoot::kLocalMachine, "software\\vemora\\resources"}, "JOB_RelayHub",
             platform::kRegSz, reinterpret_cast<const uint8_t*>(j.data()), 12);
       },
       head + "\"JOB_RelayHub\"=sz:\"pid=1;tid=2\"\n" + tail},
      {"a new key at the end", head + tail,
       [](const uint8_t* l, const std::string&) {
         return RegistryStore::setValue({RegistryRoot::kLocalMachine, "New\\Key"}, "n",
                                        platform::kRegDword, l, 4);
       },
       head + tail + "\n[New\\Key]\n\"n\"=dword:00000005\n"},
      {"a last line without line end, and CR LF lines", "[K]\r\n\"a\"=sz:\"b\"",
       [](const uint8_t* l, const std::string&) {
         return RegistryStore::setValue({RegistryRoot::kLocalMachine, "K2"}, "n",
                                        platform::kRegDword, l, 4);
       },
       "[K]\r\n\"a\"=sz:\"b\"\n\r\n[K2]\r\n\"n\"=dword:00000005\r\n"},
      {"a deleted value takes only its line", head + tail,
       [](const uint8_t*, const std::string&) {
         return RegistryStore::deleteValue({RegistryRoot::kLocalMachine, "Other"}, "X");
       },
       head + "\n; other keys follow\n[Other]\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeText(file, c.before);
    EXPECT_EQ(c.write(level, job), 0u);
    EXPECT_EQ(readText(file), c.after);
  }
}

TEST_F(RegistryStoreTest, FileThatDoesNotParseIsReportedWithPathAndLine) {
  const std::string file = RegistryStore::filePath(RegistryRoot::kLocalMachine);
  EXPECT_EQ(RegistryStore::fileProblem(RegistryRoot::kLocalMachine), "");  // missing: no problem
  writeText(file, "; fine\n[K]\n\"a\"=sz:\"b\"\n");
  EXPECT_EQ(RegistryStore::fileProblem(RegistryRoot::kLocalMachine), "");
  struct Case {
    std::string text;
    std::string where;
  };
  const Case cases[] = {
      {"; fine\n[K]\n\"a\"=sz:\"b\"\n\"v\"=dword:nothex\n", ", line 4: "},
      {"\"v\"=sz:\"x\"\n", ", line 1: a value before the first [key] line"},
      {"[K]\r\n\r\n[L\r\n", ", line 3: no closing ']'"},
  };
  for (const Case& c : cases) {
    writeText(file, c.text);
    EXPECT_EQ(RegistryStore::fileProblem(RegistryRoot::kLocalMachine).rfind(file + c.where, 0), 0u)
        << RegistryStore::fileProblem(RegistryRoot::kLocalMachine);
  }
}
