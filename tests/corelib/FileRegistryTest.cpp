#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "corelib/Exception.h"
#include "corelib/Failure.h"
#include "corelib/FileRegistry.h"
#include "support/KillWhileWriting.h"
#include "support/ScopeGuard.h"

namespace {

namespace fs = std::filesystem;
namespace FileRegistry = VemoraCorelib::FileRegistry;
using Items = std::vector<std::string>;

using corelib_test::failure;

// Each test has its own registry file in its own folder of drive C.
class FileRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* drive = std::getenv("VEMORA_DRIVE_C");
    ASSERT_NE(drive, nullptr);
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    folder_ = fs::path(drive) / "freg" / test;
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    windowsFolder_ = "C:\\freg\\" + test;
    FileRegistry::setPath(windowsFolder_ + "\\reg.freg");
  }
  fs::path file() const { return folder_ / "reg.freg"; }
  std::string text() const {
    std::ifstream in(file(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void put(const std::string& bytes) const { std::ofstream(file(), std::ios::binary) << bytes; }
  static std::string value(const std::string& path, int type) {
    std::string out = "unset";
    EXPECT_EQ(FileRegistry::get(path, type, out), FileRegistry::kDone) << path;
    return out;
  }

  fs::path folder_;
  std::string windowsFolder_;
};

TEST_F(FileRegistryTest, ASetOnAMissingFileCreatesTheWholeTree) {
  EXPECT_EQ(FileRegistry::set("a\\b", FileRegistry::kInt, "5"), FileRegistry::kDone);
  EXPECT_EQ(text(),
            "root\n{\n\ttype(string)=str\n\tvalue(string)=\n"
            "\ta\n\t{\n\t\ttype(string)=str\n\t\tvalue(string)=\n"
            "\t\tb\n\t\t{\n\t\t\ttype(string)=int\n\t\t\tvalue(string)=5\n\t\t}\n\t}\n}\n");
  EXPECT_FALSE(fs::exists(folder_ / "reg.freg.saving"));
  int64_t number = 0;
  EXPECT_EQ(FileRegistry::getInt("a\\b", number), FileRegistry::kDone);
  EXPECT_EQ(number, 5);
}

TEST_F(FileRegistryTest, LookupResults) {
  std::string out = "unchanged";
  EXPECT_EQ(FileRegistry::get("a", FileRegistry::kString, out), FileRegistry::kNotFound);
  ASSERT_FALSE(fs::exists(file()));
  ASSERT_EQ(FileRegistry::set("a\\b", FileRegistry::kInt, "5"), FileRegistry::kDone);
  EXPECT_EQ(FileRegistry::get("a\\b", FileRegistry::kString, out), FileRegistry::kWrongType);
  EXPECT_EQ(FileRegistry::get("a\\c", FileRegistry::kString, out), FileRegistry::kNotFound);
  EXPECT_EQ(FileRegistry::get("a\\\\b", FileRegistry::kInt, out), FileRegistry::kNotFound);
  EXPECT_EQ(FileRegistry::get("a\\b\\", FileRegistry::kInt, out), FileRegistry::kNotFound);
  EXPECT_EQ(FileRegistry::get("root", FileRegistry::kString, out), FileRegistry::kNotFound);
  EXPECT_EQ(out, "unchanged");
  EXPECT_EQ(value("a", FileRegistry::kString), "");
  // set skips empty components, so this is the same node.
  EXPECT_EQ(FileRegistry::set("a\\\\b", FileRegistry::kInt, "6"), FileRegistry::kDone);
  EXPECT_EQ(value("a\\b", FileRegistry::kInt), "6");
}

TEST_F(FileRegistryTest, BadArgumentsDoNotTouchTheFile) {
  std::string out;
  EXPECT_EQ(FileRegistry::set("a", 7, "x"), FileRegistry::kBadArgument);
  EXPECT_EQ(FileRegistry::set("a", -1, "x"), FileRegistry::kBadArgument);
  EXPECT_EQ(FileRegistry::set("", FileRegistry::kString, "x"), FileRegistry::kBadArgument);
  EXPECT_EQ(FileRegistry::get("a", 5, out), FileRegistry::kBadArgument);
  EXPECT_EQ(FileRegistry::get("", FileRegistry::kString, out), FileRegistry::kBadArgument);
  EXPECT_FALSE(fs::exists(file()));
}

TEST_F(FileRegistryTest, NamesTheFileCannotCarryAreRefused) {
  for (const char* path : {"a\\", "a\\ b", "a\\b ", "a\\b\t", " a\\b", "#c", "a\\#c", "{", "a\\}",
                           "a=b", "a\\b=c", "a\nb", "a\\b\rc"}) {
    EXPECT_EQ(FileRegistry::set(path, FileRegistry::kString, "x"), FileRegistry::kBadArgument)
        << path;
  }
  EXPECT_FALSE(fs::exists(file()));
  // Inner blanks, parentheses and braces are fine.
  EXPECT_EQ(FileRegistry::set("my key\\x(1){y}", FileRegistry::kString, "v"), FileRegistry::kDone);
  EXPECT_EQ(value("my key\\x(1){y}", FileRegistry::kString), "v");
}

TEST_F(FileRegistryTest, PathsAreBoundedByTheNestingAFileMayHold) {
  std::string deepest = "n";
  for (int i = 1; i < 999; ++i) deepest += "\\n";
  EXPECT_EQ(FileRegistry::set(deepest, FileRegistry::kString, "deep"), FileRegistry::kDone);
  EXPECT_EQ(value(deepest, FileRegistry::kString), "deep");
  EXPECT_EQ(FileRegistry::set(deepest + "\\n", FileRegistry::kString, "x"),
            FileRegistry::kBadArgument);
}

TEST_F(FileRegistryTest, SettingANodeDropsTheNodesBelowIt) {
  ASSERT_EQ(FileRegistry::set("a\\b", FileRegistry::kInt, "5"), FileRegistry::kDone);
  ASSERT_EQ(FileRegistry::set("a\\c", FileRegistry::kInt, "6"), FileRegistry::kDone);
  ASSERT_EQ(FileRegistry::set("a", FileRegistry::kUint, "7"), FileRegistry::kDone);
  std::string out;
  EXPECT_EQ(FileRegistry::get("a\\b", FileRegistry::kInt, out), FileRegistry::kNotFound);
  uint64_t number = 0;
  EXPECT_EQ(FileRegistry::getUint("a", number), FileRegistry::kDone);
  EXPECT_EQ(number, 7u);
}

TEST_F(FileRegistryTest, ValuesKeepBackslashesLineBreaksAndLeadingBlanks) {
  ASSERT_EQ(FileRegistry::set("s", FileRegistry::kString, "C:\\x\\n\nnext"), FileRegistry::kDone);
  EXPECT_EQ(value("s", FileRegistry::kString), "C:\\x\\n\nnext");
  ASSERT_EQ(FileRegistry::set("s", FileRegistry::kString, "  both  "), FileRegistry::kDone);
  EXPECT_EQ(value("s", FileRegistry::kString), "  both");  // the line is trimmed
  ASSERT_EQ(FileRegistry::set("d", FileRegistry::kDouble, "2.5"), FileRegistry::kDone);
  double number = 0;
  EXPECT_EQ(FileRegistry::getDouble("d", number), FileRegistry::kDone);
  EXPECT_EQ(number, 2.5);
  int64_t wrong = 0;
  EXPECT_EQ(FileRegistry::getInt("d", wrong), FileRegistry::kWrongType);
}

TEST_F(FileRegistryTest, ValuesWithACarriageReturnAreRefused) {
  ASSERT_EQ(FileRegistry::set("s", FileRegistry::kString, "kept"), FileRegistry::kDone);
  for (const char* text : {"a\rb", "line\r\n", "\r"}) {
    EXPECT_EQ(FileRegistry::set("s", FileRegistry::kString, text), FileRegistry::kBadArgument);
  }
  EXPECT_EQ(FileRegistry::setList("s", {"x", "y\rz"}), FileRegistry::kBadArgument);
  EXPECT_EQ(value("s", FileRegistry::kString), "kept");
}

TEST_F(FileRegistryTest, ListsAreNulTerminatedItems) {
  ASSERT_EQ(FileRegistry::setList("l", {"x", "y"}), FileRegistry::kDone);
  EXPECT_EQ(value("l", FileRegistry::kList), std::string("x\0y\0\0", 5));
  Items items;
  EXPECT_EQ(FileRegistry::getList("l", items), FileRegistry::kDone);
  EXPECT_EQ(items, (Items{"x", "y"}));

  ASSERT_EQ(FileRegistry::setList("l", {}), FileRegistry::kDone);
  EXPECT_EQ(value("l", FileRegistry::kList), std::string("\0", 1));
  EXPECT_EQ(FileRegistry::getList("l", items), FileRegistry::kDone);
  EXPECT_EQ(items, Items{""});

  const struct {
    std::string stored;
    Items items;
  } cases[] = {
      {std::string("\0x\0", 3), {"", "x"}},
      {std::string("x\0\0y\0", 5), {"x"}},
      {std::string("x\0y", 3), {"x"}},
      {std::string("\0\0", 2), {""}},
      {std::string(), {}},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(FileRegistry::set("raw", FileRegistry::kList, c.stored), FileRegistry::kDone);
    items = {"stale"};
    EXPECT_EQ(FileRegistry::getList("raw", items), FileRegistry::kDone);
    EXPECT_EQ(items, c.items);
  }
}

TEST_F(FileRegistryTest, TypeNamesReadInAnyCaseAndUnknownOnesAreKept) {
  put("root\n{\n\ttype(string)=str\n\tvalue(string)=\n"
      "\tn\n\t{\n\t\ttype(string)=INT\n\t\tvalue(string)=3\n\t}\n"
      "\tw\n\t{\n\t\ttype(string)=weird\n\t\tvalue(string)=q\n\t}\n"
      "\tv\n\t{\n\t\ttype(int32)=3\n\t\tvalue(string)=q\n\t}\n}\n"
      "other\n{\n}\n");
  EXPECT_EQ(value("n", FileRegistry::kInt), "3");
  std::string out;
  for (int type = 0; type <= 4; ++type) {
    EXPECT_EQ(FileRegistry::get("w", type, out), FileRegistry::kWrongType);
    EXPECT_EQ(FileRegistry::get("v", type, out), FileRegistry::kWrongType);
  }
  ASSERT_EQ(FileRegistry::set("x", FileRegistry::kString, "1"), FileRegistry::kDone);
  const std::string written = text();
  EXPECT_NE(written.find("\tw\n\t{\n\t\ttype(string)=[undef]\n\t\tvalue(string)=q\n"),
            std::string::npos);
  EXPECT_NE(written.find("\tn\n\t{\n\t\ttype(string)=int\n"), std::string::npos);
  EXPECT_EQ(written.find("other"), std::string::npos);  // gone after the write
}

TEST_F(FileRegistryTest, AnUnreadableFileIsNeverOverwritten) {
  const std::string broken = "root\n{\n\ttype(string)=str\n\tvalue=\n}\n";
  put(broken);
  std::string out;
  EXPECT_EQ(FileRegistry::get("a", FileRegistry::kString, out), FileRegistry::kFileFailed);
  EXPECT_EQ(FileRegistry::set("a", FileRegistry::kString, "x"), FileRegistry::kFileFailed);
  EXPECT_EQ(text(), broken);
}

TEST_F(FileRegistryTest, AFileWithoutTheRootOrItsAttributesThrowsAndReleasesTheLocks) {
  put("other\n{\n}\n");
  std::string out;
  EXPECT_EQ(failure([&] { FileRegistry::get("a", FileRegistry::kString, out); }),
            "Read_ObjectNotFound");
  put("root\n{\n\ttype(string)=str\n}\n");
  EXPECT_EQ(failure([&] { FileRegistry::set("a", FileRegistry::kString, "x"); }),
            "Read_AttributeNotFound");
  // Another thread gets both locks: they were released.
  put("");
  int result = -1;
  std::thread other([&] { result = FileRegistry::set("a", FileRegistry::kString, "x"); });
  other.join();
  EXPECT_EQ(result, FileRegistry::kDone);
}

TEST_F(FileRegistryTest, AFileThatCannotBeWrittenIsReported) {
  std::ofstream(folder_ / "plain") << "a file, not a folder";
  FileRegistry::setPath(windowsFolder_ + "\\plain\\reg.freg");
  EXPECT_EQ(FileRegistry::set("a", FileRegistry::kString, "x"), FileRegistry::kFileFailed);

  // A folder under the file's name is left alone.
  fs::create_directories(folder_ / "dir.freg");
  std::ofstream(folder_ / "dir.freg" / "inside") << "kept";
  FileRegistry::setPath(windowsFolder_ + "\\dir.freg");
  EXPECT_EQ(failure([&] { FileRegistry::set("a", FileRegistry::kString, "x"); }),
            "Close_FailedToFinalize");
  EXPECT_TRUE(fs::exists(folder_ / "dir.freg" / "inside"));
}

TEST_F(FileRegistryTest, AReadOnlyFileIsReplaced) {
  ASSERT_EQ(FileRegistry::set("a", FileRegistry::kString, "old"), FileRegistry::kDone);
  fs::permissions(file(), fs::perms::owner_read, fs::perm_options::replace);
  EXPECT_EQ(FileRegistry::set("a", FileRegistry::kString, "new"), FileRegistry::kDone);
  EXPECT_EQ(value("a", FileRegistry::kString), "new");
}

// A writer killed at any moment leaves the old or the new file in place, so
// the values it did not touch are never lost.
TEST_F(FileRegistryTest, AKilledWriterLosesNoOtherValue) {
  const std::string path = FileRegistry::path();
  ASSERT_EQ(FileRegistry::set("keep", FileRegistry::kString, "kept"), FileRegistry::kDone);
  for (int round = 0; round < 20; ++round) {
    // Killed at a different moment in each round.
    ASSERT_TRUE(vemora_test::killWhileWriting(
        [&](int i) {
          if (i == 0) FileRegistry::setPath(path);
          FileRegistry::set("k", FileRegistry::kInt, std::to_string(i));
        },
        static_cast<unsigned>(round * 300)));
    // The killed writer's cross-process lock dies with it.
    ASSERT_EQ(value("keep", FileRegistry::kString), "kept") << "round " << round;
  }
}

TEST_F(FileRegistryTest, ThePathIsResolved) {
  setenv("VEMORA_FREG_TEST", "freg", 1);
  FileRegistry::setPath("C:\\%VEMORA_FREG_TEST%\\x\\..\\ThePathIsResolved/./reg.freg");
  EXPECT_EQ(FileRegistry::path(), "C:\\freg\\ThePathIsResolved\\reg.freg");
  EXPECT_EQ(FileRegistry::set("a", FileRegistry::kString, "x"), FileRegistry::kDone);
  EXPECT_TRUE(fs::exists(file()));
}

TEST_F(FileRegistryTest, ThreadsOfOneProcessLoseNoWrite) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 15; ++i) {
        FileRegistry::set("t" + std::to_string(t) + "\\k" + std::to_string(i), FileRegistry::kInt,
                          std::to_string(i));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) {
    for (int i = 0; i < 15; ++i) {
      EXPECT_EQ(value("t" + std::to_string(t) + "\\k" + std::to_string(i), FileRegistry::kInt),
                std::to_string(i));
    }
  }
}

TEST_F(FileRegistryTest, ProcessesSharingTheFileLoseNoWrite) {
  const std::string path = FileRegistry::path();
  auto writeAll = [](const std::string& prefix) {
    bool ok = true;
    for (int i = 0; i < 15; ++i) {
      ok = FileRegistry::set(prefix + "\\k" + std::to_string(i), FileRegistry::kInt,
                             std::to_string(i)) == FileRegistry::kDone &&
           ok;
    }
    return ok;
  };
  std::vector<pid_t> children;
  for (int c = 0; c < 2; ++c) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      FileRegistry::setPath(path);  // a lock object of its own
      _exit(writeAll("p" + std::to_string(c)) ? 0 : 1);
    }
    children.push_back(pid);
  }
  EXPECT_TRUE(writeAll("parent"));
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (const char* prefix : {"p0", "p1", "parent"}) {
    for (int i = 0; i < 15; ++i) {
      EXPECT_EQ(value(std::string(prefix) + "\\k" + std::to_string(i), FileRegistry::kInt),
                std::to_string(i));
    }
  }
}

TEST(FileRegistrySwitchTest, OffUntilTurnedOn) {
  EXPECT_FALSE(FileRegistry::useFileRegistry());
  const auto on = testsupport::setForScope(&FileRegistry::useFileRegistry,
                                           &FileRegistry::setUseFileRegistry, true);
  EXPECT_TRUE(FileRegistry::useFileRegistry());
}

}  // namespace
