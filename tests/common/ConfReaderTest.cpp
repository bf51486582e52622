#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <list>
#include <string>
#include <vector>

#include "common/ConfReader.h"
#include "common/ConfSearcher.h"
#include "common/Tokenizer.h"
// The test key pair of the crypto suite (tests/crypto/SigningKey.h).
#include "crypto/PemKeyFile.h"
#include "crypto/SigningKey.h"
#include "crypto/VaultCatalogue.h"
#include "logger/LogCommons.h"
#include "logger/LogMessenger.h"
#include "logger/LogRecord.h"
#include "logger/LoggerCentre.h"
#include "logger/LoggerUnit.h"
#include "support/ScopeGuard.h"

using Vemora::ConfReader;
using Vemora::SmartPointer;

namespace {

// Keeps every record the reader logs instead of writing it.
class CapturingMessenger : public Vemora::LogMessenger {
 public:
  bool send(const std::string& wire) override {
    Vemora::LogRecord record;
    if (Vemora::LogCommons::parseRecord(wire, record)) records.push_back(record);
    return true;
  }
  std::vector<Vemora::LogRecord> records;
};

class ConfReaderTest : public ::testing::Test {
 protected:
  testsupport::ScopeGuard level = testsupport::setForScope(&Vemora::LoggerUnit::debugLevel,
                                                           &Vemora::LoggerUnit::setDebugLevel, 5);
  void SetUp() override {
    messenger_ = new CapturingMessenger;
    reader_ = std::make_unique<ConfReader>(
        SmartPointer<Vemora::LoggerCentre>(new Vemora::LoggerCentre(41, messenger_)));
  }

  ConfReader& reader() { return *reader_; }

  void loadText(const std::string& text) {
    messenger_->records.clear();
    reader_->loadText(text, "test.conf");
  }

  // Writes a file on drive C and returns its Windows path.
  static std::string writeFile(const std::string& name, const std::string& text) {
    std::ofstream(std::string(std::getenv("VEMORA_DRIVE_C")) + "/" + name, std::ios::binary)
        << text;
    return "C:\\" + name;
  }

  // The catalogue errors logged since the last load, as message numbers.
  std::vector<int> catalogueErrors() const {
    std::vector<int> ids;
    for (const auto& r : messenger_->records) {
      if (r.kind == Vemora::LogRecord::kCatalogue && r.unitModule == 1) ids.push_back(r.messageId);
    }
    return ids;
  }

  bool traced(const std::string& text) const {
    for (const auto& r : messenger_->records) {
      if (r.kind == Vemora::LogRecord::kDebug && r.text.find(text) != std::string::npos)
        return true;
    }
    return false;
  }

  void clearRecords() { messenger_->records.clear(); }

  // The text of the first catalogue record with that number.
  std::string catalogueText(int id) const {
    for (const auto& r : messenger_->records) {
      if (r.kind == Vemora::LogRecord::kCatalogue && r.messageId == id) return r.text;
    }
    return "";
  }

 private:
  CapturingMessenger* messenger_ = nullptr;
  std::unique_ptr<ConfReader> reader_;
};

const char* const kExample =
    "# relay settings\n"
    "relayhub()=\"\"{\n"
    "    port(Integer)=4000{}\n"
    "    notify-agents(Bool)=true{}   // trailing comment\n"
    "    mappings(DirName)=\"${paths.conf}mappings\"{}\n"
    "    /* a comment\n"
    "       over lines */\n"
    "    timeout(TimeSpan)=P1D2H3M4S{}\n"
    "    name(String)=\"  Relay One  \"{}\n"
    "    map(FileName)=\"D:/data//names.map\"{}\n"
    "}\n"
    "paths()=\"\"{\n"
    "    conf(DirName)=\"D:/data/conf\"{}\n"
    "}\n";

}  // namespace

TEST_F(ConfReaderTest, ReadsEveryTypeFromAFile) {
  reader().load(writeFile("example.conf", kExample));
  int32_t port = 0;
  EXPECT_EQ(reader().getInteger("relayhub.port", port), 0);
  EXPECT_EQ(port, 4000);
  bool notify = false;
  EXPECT_EQ(reader().getBool("relayhub.notify-agents", notify), 0);
  EXPECT_TRUE(notify);
  std::string dir;
  EXPECT_EQ(reader().getDirName("relayhub.mappings", dir), 0);
  EXPECT_EQ(dir, "D:\\data\\conf\\mappings\\");
  Vemora::TimeSpan::Parts span;
  EXPECT_EQ(reader().getTimeSpan("relayhub.timeout", span), 0);
  EXPECT_EQ(Vemora::TimeSpan(span).seconds(), 93784);
  std::string name;
  EXPECT_EQ(reader().getString("relayhub.name", name, false, false), 0);
  EXPECT_EQ(name, "  Relay One  ");
  EXPECT_EQ(reader().getString("relayhub.name", name, true, true), 0);
  EXPECT_EQ(name, "relay one");
  std::string file;
  EXPECT_EQ(reader().getFileName("relayhub.map", file, false), 0);
  EXPECT_EQ(file, "D:\\data\\names.map");
  std::list<std::string> children{"kept"};
  EXPECT_EQ(reader().getSubObjects("relayhub", children), 0);
  EXPECT_EQ(children, (std::list<std::string>{"kept", "port", "notify-agents", "mappings",
                                              "timeout", "name", "map"}));
  EXPECT_EQ(reader().getSubObjects("relayhub.port", children), 0);
  EXPECT_EQ(reader().getSubObjects("nothing", children), 2);
  EXPECT_EQ(reader().errorLine(), 0);
}

TEST_F(ConfReaderTest, ResultCodesAndUntouchedOutputs) {
  loadText(kExample);
  std::string text = "unchanged";
  int32_t number = -7;
  bool flag = false;
  EXPECT_EQ(reader().getString("relayhub.port", text, false, false), 3);
  EXPECT_EQ(reader().getInteger("relayhub", number), 1);
  EXPECT_EQ(reader().getInteger("relayhub.nothing", number), 2);
  EXPECT_EQ(reader().getInteger("", number), 2);
  EXPECT_EQ(reader().getBool("relayhub.port", flag), 3);
  EXPECT_EQ(text, "unchanged");
  EXPECT_EQ(number, -7);
  EXPECT_TRUE(traced("ConfReader: Found, but type is \"Integer\", not \"String\"."));

  const ConfReader* none = nullptr;
  EXPECT_EQ(ConfReader::getString(none, "a", text, false, false), 7);
  EXPECT_EQ(ConfReader::getInteger(none, "a", number), 7);
  EXPECT_EQ(ConfReader::getBool(none, "a", flag), 7);
  EXPECT_EQ(ConfReader::getInteger(&reader(), "relayhub.port", number), 0);
  EXPECT_EQ(number, 4000);
}

TEST_F(ConfReaderTest, TypedValues) {
  loadText(
      "t(Bool)=TRUE{} f(Bool)=\"False\"{} y(Bool)=yes{}\n"
      "big(Integer)=99999999999{} neg(Integer)=-99999999999{} word(Integer)=abc{}\n"
      "lead(Integer)=\"  42x\"{}\n"
      "span(TimeSpan)=1D{} empty(TimeSpan)=\"\"{}\n"
      "wild(FileName)=\"a*.txt\"{} slash(FileName)=\"dir/\"{} ok(FileName)=\" x.txt \"{}\n"
      "d(DirName)=\"D:/a//b\"{} e(DirName)=\"\"{}\n");
  bool b = false;
  EXPECT_EQ(reader().getBool("t", b), 0);
  EXPECT_TRUE(b);
  EXPECT_EQ(reader().getBool("f", b), 0);
  EXPECT_FALSE(b);
  EXPECT_EQ(reader().getBool("y", b), 4);
  EXPECT_FALSE(b);
  const struct {
    const char* path;
    int32_t value;
  } ints[] = {{"big", 2147483647}, {"neg", -2147483647 - 1}, {"word", 0}, {"lead", 42}};
  for (const auto& c : ints) {
    int32_t v = 1;
    EXPECT_EQ(reader().getInteger(c.path, v), 0) << c.path;
    EXPECT_EQ(v, c.value) << c.path;
  }
  Vemora::TimeSpan::Parts span;
  span.days = 9;
  EXPECT_EQ(reader().getTimeSpan("span", span), 5);
  EXPECT_EQ(span.days, 9);
  EXPECT_EQ(reader().getTimeSpan("empty", span), 0);
  EXPECT_EQ(span.days, 0);
  std::string s = "x";
  EXPECT_EQ(reader().getFileName("wild", s, false), 5);
  EXPECT_EQ(reader().getFileName("slash", s, false), 5);
  EXPECT_EQ(reader().getFileName("ok", s, false), 0);
  EXPECT_EQ(s, "x.txt");
  EXPECT_EQ(reader().getFileName("ok", s, true), 2);
  EXPECT_EQ(reader().getDirName("d", s), 0);
  EXPECT_EQ(s, "D:\\a\\b\\");
  EXPECT_EQ(reader().getDirName("e", s), 0);
  EXPECT_EQ(s, "");
}

TEST_F(ConfReaderTest, QuotesBackslashesAndComments) {
  loadText(
      "s(String)=\"a = (b) {c}\"{}\n"
      "path(String)=\"C:\\data\\new\"{}\n"
      "esc(String)=\"back\\\\slash \\\"quoted\\\"\"{}\n"
      "single(String)='it\\'s'{}\n"
      "hash(String)=a#b{}\n"
      "# a comment line\n"
      "// another\n"
      "/* spanning\n lines */ after(String)=x{ /* inside */ inner(String)=y{} }\n"
      "dup(String)=first{} dup(String)=second{}\n");
  const struct {
    const char* path;
    const char* value;
  } cases[] = {
      {"s", "a = (b) {c}"}, {"path", "C:\\data\\new"}, {"esc", "back\\slash \"quoted\""},
      {"single", "it\\'s"}, {"hash", "a#b"},           {"after", "x"},
      {"after.inner", "y"}, {"dup", "first"},
  };
  for (const auto& c : cases) {
    std::string v;
    EXPECT_EQ(reader().getString(c.path, v, false, false), 0) << c.path;
    EXPECT_EQ(v, c.value) << c.path;
  }
}

TEST_F(ConfReaderTest, References) {
  loadText(
      "base(DirName)=\"D:/x\"{}\n"
      "f(String)=\"${base}file\"{}\n"
      "two(String)=\"${a}${b}\"{} a(String)=x{} b(String)=y{}\n"
      "chain(String)=\"[${two}]\"{}\n"
      "missing(String)=\"${nope}\"{}\n"
      "section()=\"\"{ inner(String)=i{} }\n"
      "tosection(String)=\"${section}\"{}\n"
      "deep(String)=\"${section.inner}\"{}\n"
      "open(String)=\"${a\"{}\n"
      "self(String)=\"x${self}\"{}\n"
      "ping(String)=\"${pong}\"{} pong(String)=\"${ping}\"{}\n");
  const struct {
    const char* path;
    int result;
    const char* value;
  } cases[] = {
      {"f", 0, "D:/x\\file"}, {"two", 0, "xy"},     {"chain", 0, "[xy]"},
      {"missing", 2, ""},     {"tosection", 1, ""}, {"deep", 0, "i"},
      {"open", 6, ""},        {"self", 6, ""},      {"ping", 6, ""},
  };
  for (const auto& c : cases) {
    clearRecords();
    std::string v = "unchanged";
    EXPECT_EQ(reader().getString(c.path, v, false, false), c.result) << c.path;
    EXPECT_EQ(v, c.result == 0 ? c.value : "unchanged") << c.path;
    if (c.result == 6) {
      EXPECT_EQ(catalogueErrors(), std::vector<int>{3}) << c.path;
    }
  }
}

// The bound on references is their nesting: any number of them side by side
// is fine, a chain deeper than the bound (as a cycle is) gives 6.
TEST_F(ConfReaderTest, ReferencesAreBoundedByTheirNestingNotTheirNumber) {
  std::string text = "a(String)=x{}\n";
  std::string many;
  for (int i = 0; i <= ConfReader::kMaxReferenceDepth; ++i) many += "${a}";
  text += "many(String)=\"" + many + "\"{}\n";
  // c0 refers to c1 and so on: c<n> is a chain of n nested references.
  const int longest = ConfReader::kMaxReferenceDepth + 1;
  for (int i = 0; i < longest; ++i) {
    text += "c" + std::to_string(i) + "(String)=\"${c" + std::to_string(i + 1) + "}\"{}\n";
  }
  text += "c" + std::to_string(longest) + "(String)=end{}\n";
  // Each level doubles the text: far beyond any sensible value.
  for (int i = 0; i < 40; ++i) {
    text += "d" + std::to_string(i) + "(String)=\"${d" + std::to_string(i + 1) + "}${d" +
            std::to_string(i + 1) + "}\"{}\n";
  }
  text += "d40(String)=x{}\n";
  text += "dollar(String)=\"$${brace}\"{} brace(String)=\"{a}\"{}\n";
  loadText(text);
  std::string v;
  ASSERT_EQ(reader().getString("many", v, false, false), 0);
  EXPECT_EQ(v, std::string(ConfReader::kMaxReferenceDepth + 1, 'x'));
  const std::string deepest = "c" + std::to_string(longest - ConfReader::kMaxReferenceDepth);
  ASSERT_EQ(reader().getString(deepest, v, false, false), 0);
  EXPECT_EQ(v, "end");
  clearRecords();
  EXPECT_EQ(reader().getString("c0", v, false, false), 6);
  EXPECT_EQ(catalogueErrors(), std::vector<int>{3});
  EXPECT_EQ(reader().getString("d0", v, false, false), 6);
  ASSERT_EQ(reader().getString("dollar", v, false, false), 0);
  EXPECT_EQ(v, "x");  // "$" and the inserted "{a}" make a new reference
}

TEST_F(ConfReaderTest, SyntaxErrorsKeepCompletedEntriesAndReportTheLine) {
  const struct {
    const char* text;
    int line;
    const char* trace;
    std::vector<const char*> kept;
  } cases[] = {
      {"a(String)=1{}\nb(String)=2{}\nc(String) 3{}\n", 3, "ConfReader: Missing '='.", {"a", "b"}},
      {"x(String)={}\n", 1, "ConfReader: Missing '{'.", {}},
      {"d(DirName)=D:/a//b{}\nnext(String)=1{}\n", 2, "ConfReader: Missing '{'.", {}},
      {"a(String)=1{}\ns()=\"\"{ in(String)=2{} bad String) }\n",
       2,
       "ConfReader: Missing '('.",
       {"a"}},
      {"a(String x{}", 1, "ConfReader: Missing ')'.", {}},
  };
  for (const auto& c : cases) {
    loadText(c.text);
    EXPECT_EQ(reader().errorLine(), c.line) << c.text;
    EXPECT_TRUE(traced(c.trace)) << c.text;
    EXPECT_EQ(catalogueErrors(), std::vector<int>{2}) << c.text;
    std::list<std::string> names;
    reader().getSubObjects("a", names);
    for (const char* k : c.kept) EXPECT_NE(reader().findNode(k), nullptr) << c.text << " " << k;
    EXPECT_EQ(reader().findNode("s"), nullptr);
    EXPECT_EQ(reader().findNode("c"), nullptr);
  }
}

TEST_F(ConfReaderTest, EndOfTextAndClosingBraces) {
  loadText("a(String)=1{ b(String)=2{");
  EXPECT_EQ(reader().errorLine(), 0);
  EXPECT_NE(reader().findNode("a.b"), nullptr);
  loadText("a(String)=1{} } c(String)=3{}");
  EXPECT_NE(reader().findNode("a"), nullptr);
  EXPECT_EQ(reader().findNode("c"), nullptr);
  loadText("a(String)=1");
  EXPECT_EQ(reader().findNode("a"), nullptr);
  loadText("");
  EXPECT_EQ(reader().findNode("a"), nullptr);
}

TEST_F(ConfReaderTest, NestingIsCapped) {
  std::string ok, deep;
  for (int i = 0; i < ConfReader::kMaxDepth; ++i) ok += "n()=\"\"{";
  loadText(ok);
  EXPECT_EQ(reader().errorLine(), 0);
  for (int i = 0; i < 100000; ++i) deep += "n()=\"\"{";
  loadText(deep);
  EXPECT_EQ(reader().errorLine(), 1);
  EXPECT_TRUE(traced("ConfReader: Entries nested too deep."));
  EXPECT_EQ(reader().findNode("n"), nullptr);
}

TEST_F(ConfReaderTest, ManyEntriesAtOneLevel) {
  std::string text;
  for (int i = 0; i < 100000; ++i)
    text += "e" + std::to_string(i) + "(Integer)=" + std::to_string(i) + "{}\n";
  loadText(text);
  int32_t v = 0;
  EXPECT_EQ(reader().getInteger("e99999", v), 0);
  EXPECT_EQ(v, 99999);
}

TEST_F(ConfReaderTest, EveryTruncationOfAFileLoadsSafely) {
  const std::string text = kExample;
  for (size_t n = 0; n <= text.size(); ++n) {
    loadText(text.substr(0, n));
    std::string v;
    reader().getDirName("relayhub.mappings", v);
    reader().getString("relayhub.name", v, true, true);
  }
  loadText(text);
  int32_t port = 0;
  EXPECT_EQ(reader().getInteger("relayhub.port", port), 0);
}

TEST_F(ConfReaderTest, UnreadableFileKeepsTheOldTree) {
  reader().load(writeFile("first.conf", "port(Integer)=1{}"));
  clearRecords();
  reader().load("C:\\missing.conf");
  EXPECT_EQ(catalogueErrors(), std::vector<int>{1});
  EXPECT_TRUE(catalogueText(1).find("C:\\missing.conf") != std::string::npos);
  // The second parameter is the file error's own text.
  EXPECT_TRUE(catalogueText(1).find("File: File does not exist. (Code: 60.2)") != std::string::npos)
      << catalogueText(1);
  int32_t port = 0;
  EXPECT_EQ(reader().getInteger("port", port), 0);
  EXPECT_EQ(port, 1);
}

#if !defined(__SANITIZE_ADDRESS__)
// Memory that runs out while the file is read is reported as an unknown
// error; the old tree stays. (A limit on the address space cannot be set
// under the address sanitizer.)
TEST_F(ConfReaderTest, AFileTooLargeForMemoryKeepsTheOldTree) {
  reader().load(writeFile("small.conf", "port(Integer)=1{}"));
  const std::string huge = std::string(std::getenv("VEMORA_DRIVE_C")) + "/huge.conf";
  writeFile("huge.conf", "");
  std::filesystem::resize_file(huge, 1ull << 31);  // sparse: no disk space taken
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Room for 64 MiB more than the process holds now, far below 2 GiB.
    unsigned long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    struct rlimit limit {};
    ::getrlimit(RLIMIT_AS, &limit);
    limit.rlim_cur = pages * static_cast<unsigned long>(::sysconf(_SC_PAGESIZE)) + (64ul << 20);
    ::setrlimit(RLIMIT_AS, &limit);
    clearRecords();
    reader().load("C:\\huge.conf");
    int32_t port = 0;
    const bool kept = reader().getInteger("port", port) == 0 && port == 1;
    const bool reported = catalogueErrors() == std::vector<int>{1} &&
                          catalogueText(1).find("Unknown") != std::string::npos &&
                          traced(
                              "ConfReader: Unknown error while building DOM tree from file "
                              "\"C:\\huge.conf\".");
    ::_exit(kept && reported ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  std::filesystem::remove(huge);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
#endif

TEST_F(ConfReaderTest, VerifiedFileNamesNeedAMatchingSignature) {
  VemoraTest::SigningKey key;
  const std::string content = "port(Integer)=1{}\n";
  writeFile("signed.conf", content);
  writeFile("empty-signed.conf", "");
  writeFile("vault-key.pem", key.publicPem());
  auto catalogue = std::make_unique<Vemora::Vault::Catalogue>(
      "C:\\", std::make_unique<Vemora::PemKeyFile>("C:\\vault-key.pem"));
  catalogue->add("signed.conf", key.sign(content + "signed.conf"));
  catalogue->add("empty-signed.conf", key.sign("empty-signed.conf"));
  reader().vault().setCatalogue(std::move(catalogue));
  loadText(
      "good(FileName)=\"C:/signed.conf\"{}\n"
      "empty(FileName)=\"C:/empty-signed.conf\"{}\n"
      "unlisted(FileName)=\"C:/other.conf\"{}\n");
  std::string value = "unchanged";
  EXPECT_EQ(reader().getFileName("good", value, true), 0);
  EXPECT_EQ(value, "C:\\signed.conf");
  value = "unchanged";
  EXPECT_EQ(reader().getFileName("unlisted", value, true), 2);
  // A listed file that cannot be checked is refused, not thrown through.
  EXPECT_EQ(reader().getFileName("empty", value, true), 8);
  EXPECT_TRUE(traced("ConfReader: Signature check of"));
  writeFile("signed.conf", "port(Integer)=2{}\n");
  EXPECT_EQ(reader().getFileName("good", value, true), 8);
  EXPECT_EQ(value, "unchanged");
  EXPECT_EQ(reader().getFileName("good", value, false), 0);
}

TEST(ConfSearcherTest, Tokens) {
  const std::string text = "ab  \t\"q \\\" x\"=(//c\r\n#h\n/*m*/w{}";
  Vemora::ConfSearcher searcher;
  Vemora::Tokenizer tokens(&text, &searcher);
  std::vector<std::string> got;
  std::vector<int> kinds;
  Vemora::Token t;
  while (tokens.next(t)) {
    got.push_back(t.text);
    kinds.push_back(t.kind);
  }
  EXPECT_EQ(got, (std::vector<std::string>{"ab", "  ", "\t", "\"q \\\" x\"", "=", "(", "//c", "\r",
                                           "\n", "#h", "\n", "/*m*/", "w", "{", "}"}));
  EXPECT_EQ(kinds, (std::vector<int>{1, 0, 0, 1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1}));
  size_t count = 0;
  EXPECT_EQ(searcher.skipBlanks(text, count, 2, std::string::npos), 5u);
  EXPECT_EQ(count, 3u);
  Vemora::Tokenizer empty(nullptr, &searcher);
  EXPECT_FALSE(empty.next(t));
}
