#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <vector>

#include "relayhub/RHBackup.h"
#include "relayhub/TestState.h"
#include "support/FaultFile.h"

using relayhub_test::TestState;
using Vemora::Address;
using Vemora::RHBackup;

namespace {

class RHBackupTest : public ::testing::Test {
 protected:
  RHBackupTest() { store.setDirectory(state.windows); }
  TestState state;
  RHBackup store;
};

TEST_F(RHBackupTest, FilesLandWhereTheLayoutSays) {
  const Address a("agent", "pc7");
  EXPECT_FALSE(store.isWritten());
  ASSERT_TRUE(store.writeBox(a, "box"));
  EXPECT_TRUE(store.isWritten());
  ASSERT_TRUE(store.writeUnsent(a, 42, "pending"));
  ASSERT_TRUE(store.writeUnconfirmed(a, 42, "held"));
  ASSERT_TRUE(store.writeBroadcast(7, "wide"));
  EXPECT_EQ(state.read("msgboxes/agent__pc7/msgbox.txt"), "box");
  EXPECT_EQ(state.read("msgboxes/agent__pc7/unsent/42.txt"), "pending");
  EXPECT_EQ(state.read("msgboxes/agent__pc7/unconfirmed/42.txt"), "held");
  EXPECT_EQ(state.read("broadcast/7.txt"), "wide");

  EXPECT_EQ(store.listBoxes(), std::set<std::string>{"agent__pc7"});
  EXPECT_EQ(store.listUnsent(a), std::set<std::string>{"42.txt"});
  EXPECT_EQ(store.listUnconfirmed(a), std::set<std::string>{"42.txt"});
  EXPECT_EQ(store.listBroadcasts(), std::set<std::string>{"7.txt"});
  std::string text;
  EXPECT_TRUE(store.readBox("agent__pc7", text));
  EXPECT_EQ(text, "box");
  EXPECT_TRUE(store.readUnsent(a, "42.txt", text));
  EXPECT_EQ(text, "pending");

  EXPECT_TRUE(store.removeMessage(a, 42));
  EXPECT_FALSE(state.exists("msgboxes/agent__pc7/unsent/42.txt"));
  EXPECT_FALSE(state.exists("msgboxes/agent__pc7/unconfirmed/42.txt"));
  // Removing what is not there counts as done.
  EXPECT_TRUE(store.removeMessage(a, 42));
  EXPECT_TRUE(store.removeBroadcast(7));
  EXPECT_FALSE(state.exists("broadcast/7.txt"));
  EXPECT_TRUE(store.removeBox(a));
  EXPECT_FALSE(state.exists("msgboxes/agent__pc7"));
  EXPECT_FALSE(store.readBox("agent__pc7", text));
}

TEST_F(RHBackupTest, RemoveMessageWithOnlyAnUnsentCopy) {
  const Address a("x", "y");
  ASSERT_TRUE(store.writeUnsent(a, 5, "m"));
  EXPECT_TRUE(store.removeMessage(a, 5));
  EXPECT_FALSE(state.exists("msgboxes/x__y/unsent/5.txt"));
}

TEST_F(RHBackupTest, AFailedWriteIsReported) {
  // A directory where the box file should go cannot be replaced.
  state.write("msgboxes/a__b/msgbox.txt/blocker", "x");
  EXPECT_FALSE(store.writeBox(Address("a", "b"), "text"));
  EXPECT_FALSE(store.isWritten());
}

// Every temporary file below the state directory (prepared writes).
std::vector<std::string> temporaries(const TestState& state) {
  std::vector<std::string> found;
  for (const auto& e : std::filesystem::recursive_directory_iterator(state.native)) {
    if (e.path().filename().string().rfind("~", 0) == 0) found.push_back(e.path().string());
  }
  return found;
}

TEST_F(RHBackupTest, GroupCommitLandsEverythingAtTheSync) {
  const Address a("agent", "pc7");
  ASSERT_TRUE(store.writeUnsent(a, 1, "old"));
  ASSERT_TRUE(store.writeUnsent(a, 2, "going"));
  store.setGroupCommit(true);
  EXPECT_FALSE(store.hasPending());

  ASSERT_TRUE(store.writeUnsent(a, 1, "new"));
  ASSERT_TRUE(store.writeUnconfirmed(a, 3, "held"));
  ASSERT_TRUE(store.writeBroadcast(9, "wide"));
  EXPECT_TRUE(store.removeMessage(a, 2));
  EXPECT_TRUE(store.hasPendingWrites());
  // Until the sync the disk holds the state of the last sync, whole.
  EXPECT_EQ(state.read("msgboxes/agent__pc7/unsent/1.txt"), "old");
  EXPECT_TRUE(state.exists("msgboxes/agent__pc7/unsent/2.txt"));
  EXPECT_FALSE(state.exists("msgboxes/agent__pc7/unconfirmed/3.txt"));
  EXPECT_FALSE(state.exists("broadcast/9.txt"));

  ASSERT_TRUE(store.sync());
  EXPECT_FALSE(store.hasPending());
  EXPECT_EQ(state.read("msgboxes/agent__pc7/unsent/1.txt"), "new");
  EXPECT_FALSE(state.exists("msgboxes/agent__pc7/unsent/2.txt"));
  EXPECT_EQ(state.read("msgboxes/agent__pc7/unconfirmed/3.txt"), "held");
  EXPECT_EQ(state.read("broadcast/9.txt"), "wide");
  EXPECT_TRUE(temporaries(state).empty());
}

TEST_F(RHBackupTest, GroupCommitKeepsTheLastOperationOnAPath) {
  const Address a("x", "y");
  store.setGroupCommit(true);
  // Removed, then written again (a message placed anew under its id).
  ASSERT_TRUE(store.writeUnsent(a, 5, "first"));
  EXPECT_TRUE(store.removeMessage(a, 5));
  ASSERT_TRUE(store.writeUnsent(a, 5, "second"));
  // Written, then removed before any sync: nothing is left of it.
  ASSERT_TRUE(store.writeUnconfirmed(a, 6, "brief"));
  EXPECT_TRUE(store.removeMessage(a, 6));
  ASSERT_TRUE(store.sync());
  EXPECT_EQ(state.read("msgboxes/x__y/unsent/5.txt"), "second");
  EXPECT_FALSE(state.exists("msgboxes/x__y/unconfirmed/6.txt"));
  EXPECT_TRUE(temporaries(state).empty());

  // A box removed with prepared writes inside is gone with them.
  ASSERT_TRUE(store.writeUnsent(a, 7, "late"));
  EXPECT_TRUE(store.removeBox(a));
  ASSERT_TRUE(store.sync());
  EXPECT_FALSE(state.exists("msgboxes/x__y"));
}

TEST_F(RHBackupTest, AFailedRenameStaysPreparedUntilItLands) {
  const Address a("a", "b");
  store.setGroupCommit(true);
  ASSERT_TRUE(store.writeBox(a, "text"));
  EXPECT_FALSE(store.isWritten());
  // The file's place is taken by a folder before the sync: the rename fails.
  state.write("msgboxes/a__b/msgbox.txt/blocker", "x");
  EXPECT_FALSE(store.sync());
  EXPECT_FALSE(store.isWritten());
  EXPECT_TRUE(store.hasPendingWrites());
  EXPECT_TRUE(temporaries(state).empty());
  // Once the way is free the next sync carries the write out.
  std::filesystem::remove_all(state.file("msgboxes/a__b/msgbox.txt"));
  ASSERT_TRUE(store.writeUnsent(a, 1, "m"));
  ASSERT_TRUE(store.sync());
  EXPECT_TRUE(store.isWritten());
  EXPECT_EQ(state.read("msgboxes/a__b/msgbox.txt"), "text");
  EXPECT_EQ(state.read("msgboxes/a__b/unsent/1.txt"), "m");
  EXPECT_FALSE(store.hasPending());
}

// One prepared batch: message 1 moves from unsent to unconfirmed, 2 is new,
// 3 goes, and broadcast 9 is stored. Whichever step of the sync fails, the
// disk keeps a state the batch allows (the moving message is never in
// neither folder), the whole batch stays prepared, and the next sync lands
// it as if nothing had failed.
TEST_F(RHBackupTest, AFailedSyncStepLeavesTheBatchForTheNext) {
  struct Case {
    const char* op;
    const char* path;
    bool unsentGone;  // the removals of the batch were done before the failure
  };
  const Case cases[] = {
      {"sync", "unconfirmed/~1", false},       // a temporary's data
      {"sync", "broadcast/~9", false},         // another one's
      {"rename", "unsent/2.txt", false},       // a rename
      {"unlink", "unsent/3.txt", false},       // a removal (the other may be done)
      {"sync", "msgboxes/x__y/unsent", true},  // a folder's entries
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.op) + " " + c.path);
    TestState fresh("state-fault");
    RHBackup box;
    box.setDirectory(fresh.windows);
    const Address a("x", "y");
    ASSERT_TRUE(box.writeUnsent(a, 1, "one"));
    ASSERT_TRUE(box.writeUnsent(a, 3, "three"));
    box.setGroupCommit(true);
    ASSERT_TRUE(box.writeUnconfirmed(a, 1, "one held"));
    ASSERT_TRUE(box.writeUnsent(a, 2, "two"));
    ASSERT_TRUE(box.removeMessage(a, 3));
    ASSERT_TRUE(box.writeBroadcast(9, "wide"));
    const test_support::FaultFile faults(fresh.native + ".faults", true);
    faults.failNext(c.op, c.path);
    EXPECT_FALSE(box.sync());
    EXPECT_EQ(faults.left(), "");
    EXPECT_TRUE(fresh.exists("msgboxes/x__y/unsent/1.txt"));
    if (!c.unsentGone) {
      EXPECT_NE(fresh.read("msgboxes/x__y/unsent/3.txt"), "");
    }
    EXPECT_TRUE(box.hasPending());
    ASSERT_TRUE(box.sync());
    EXPECT_FALSE(box.hasPending());
    EXPECT_EQ(fresh.read("msgboxes/x__y/unconfirmed/1.txt"), "one held");
    EXPECT_EQ(fresh.read("msgboxes/x__y/unsent/2.txt"), "two");
    EXPECT_FALSE(fresh.exists("msgboxes/x__y/unsent/3.txt"));
    EXPECT_EQ(fresh.read("broadcast/9.txt"), "wide");
    EXPECT_TRUE(temporaries(fresh).empty());
    box.setGroupCommit(false);
  }
}

TEST_F(RHBackupTest, ABoxTreeThatCannotBeRemovedGoesAtALaterSync) {
  const Address a("x", "y");
  ASSERT_TRUE(store.writeUnsent(a, 1, "one"));
  store.setGroupCommit(true);
  ASSERT_TRUE(store.writeUnsent(a, 2, "prepared"));
  const test_support::FaultFile faults(state.native + ".faults", true);
  faults.failNext("unlink", "unsent/1.txt");
  EXPECT_FALSE(store.removeBox(a));
  EXPECT_TRUE(store.hasPending());
  ASSERT_TRUE(store.sync());
  EXPECT_FALSE(state.exists("msgboxes/x__y"));
  EXPECT_TRUE(temporaries(state).empty());
}

TEST(RHBackupNames, PlainNamesWhereTheyAreUnique) {
  EXPECT_EQ(RHBackup::boxDirName(Address("a/b", "h|1")), "a%b__h+1");
  EXPECT_EQ(RHBackup::boxDirName(Address("agent", "pc7.example.com")), "agent__pc7.example.com");
  EXPECT_EQ(RHBackup::boxDirName(Address("Mixed", "Case")), "Mixed__Case");
  EXPECT_EQ(RHBackup::boxDirName(Address("", "")), "__");
  // A host may hold "__": the name's end is still the first "__".
  EXPECT_EQ(RHBackup::boxDirName(Address("a", "b__c")), "a__b__c");
}

TEST(RHBackupNames, DistinctAddressesGetDistinctSafeDirectories) {
  const std::vector<Address> tricky = {
      {"a__b", "c"},  {"a", "b__c"},  {"a/b", "h"},
      {"a\\b", "h"},  {"a%b", "h"},   {"a|b", "h"},
      {"a+b", "h"},   {"a_", "_b"},   {"a", "__b"},
      {"a_", "b"},    {"a", "_b"},    {"a~5Cb", "h"},
      {"~a", "h"},    {"..", ""},     {"", ".."},
      {"a\nb", "h"},  {"a\x01", "h"}, {std::string("a\0b", 3), "h"},
      {"a", "h\x7f"}, {"a", "h\r"},   {"~a~5Cb", "h"},
      {"a", "b"},     {"A", "b"}};
  std::set<std::string> names;
  for (const Address& a : tricky) {
    const std::string dir = RHBackup::boxDirName(a);
    EXPECT_TRUE(names.insert(dir).second) << "collision for " << a.toText() << ": " << dir;
    for (unsigned char c : dir) {
      EXPECT_FALSE(c < 32 || c == 127 || c == '/' || c == '\\') << dir;
    }
    EXPECT_NE(dir.find("__"), std::string::npos) << dir;
    EXPECT_NE(dir, ".");
    EXPECT_NE(dir, "..");
  }
}

TEST_F(RHBackupTest, OldDirectoryIsAdoptedUnderTheNewName) {
  // "a\b" shared the directory "a%b__h" with "a/b" in older versions.
  const Address a("a\\b", "h");
  state.write("msgboxes/a%b__h/msgbox.txt", "old");
  state.write("msgboxes/a%b__h/unsent/3.txt", "m");
  ASSERT_TRUE(store.adoptBoxDir("a%b__h", a));
  const std::string dir = RHBackup::boxDirName(a);
  EXPECT_EQ(state.read("msgboxes/" + dir + "/msgbox.txt"), "old");
  EXPECT_EQ(store.listUnsent(a), std::set<std::string>{"3.txt"});
  EXPECT_FALSE(state.exists("msgboxes/a%b__h"));
  // A name that is already right stays.
  EXPECT_TRUE(store.adoptBoxDir(dir, a));
}

TEST_F(RHBackupTest, LearnedNamesAppendCompactAndRefuseLineBreakers) {
  EXPECT_TRUE(store.learnName("host1_agent", "agent"));
  EXPECT_TRUE(store.learnName("host1_agent", "agent"));
  EXPECT_EQ(state.read("actual_to_standard_name.txt"), "host1_agent=agent\n");
  EXPECT_TRUE(store.learnName("host2_agent", "agent"));
  EXPECT_TRUE(store.learnName("host1_agent", "other"));
  EXPECT_EQ(state.read("actual_to_standard_name.txt"),
            "host1_agent=agent\nhost2_agent=agent\nhost1_agent=other\n");
  EXPECT_EQ(store.getLocalNames("agent"), std::set<std::string>{"host2_agent"});
  EXPECT_EQ(store.getLocalNames("*"), (std::set<std::string>{"host1_agent", "host2_agent"}));
  EXPECT_TRUE(store.getLocalNames("nothing").empty());

  EXPECT_FALSE(store.learnName("evil\nx", "agent"));
  EXPECT_FALSE(store.learnName("x=y", "agent"));
  EXPECT_FALSE(store.learnName("x", "agent\r"));

  RHBackup restarted;
  restarted.setDirectory(state.windows);
  EXPECT_TRUE(restarted.loadNameMap());
  EXPECT_EQ(state.read("actual_to_standard_name.txt"), "host1_agent=other\nhost2_agent=agent\n");
  EXPECT_EQ(restarted.getLocalNames("other"), std::set<std::string>{"host1_agent"});
  // The compaction is no store of this run's: the handshake still says "no".
  EXPECT_FALSE(restarted.isWritten());

  EXPECT_TRUE(restarted.clearNameMap());
  EXPECT_FALSE(state.exists("actual_to_standard_name.txt"));
  EXPECT_TRUE(restarted.getLocalNames("*").empty());
}

TEST(RHBackupNames, FolderNamesGiveTheirAddressBack) {
  const std::vector<Address> addresses = {
      {"agent", "pc7"}, {"a/b", "h|1"}, {"a\\b", "h"}, {"a__b", "c"},
      {"~a", "h"},      {"", ""},       {"a", "b__c"}, {std::string("a\0b", 3), "h"}};
  for (const Address& a : addresses) {
    Address back;
    ASSERT_TRUE(RHBackup::addressFromDirName(RHBackup::boxDirName(a), back)) << a.toText();
    EXPECT_EQ(back, a);
  }
  Address ignored;
  // Names no address is stored under give nothing.
  for (const char* dir : {"nothing", "~a~ZZ__h", "~a__b_c", "~_0123456789abcdef__x"}) {
    EXPECT_FALSE(RHBackup::addressFromDirName(dir, ignored)) << dir;
  }
}

TEST(RHBackupNames, LongAddressesGetShortUniqueFolderNames) {
  const std::string longName(300, 'n');
  const std::vector<Address> addresses = {
      {longName, "h"}, {longName + "x", "h"}, {longName, "h2"}, {"n", longName}};
  std::set<std::string> names;
  for (const Address& a : addresses) {
    const std::string dir = RHBackup::boxDirName(a);
    EXPECT_LE(dir.size(), 255u);
    EXPECT_NE(dir.find("__"), std::string::npos);
    EXPECT_TRUE(names.insert(dir).second) << dir;
    Address back;
    EXPECT_FALSE(RHBackup::addressFromDirName(dir, back));  // the box file names it
  }
}

TEST(RHBackupNames, OnlyIdNamesAreMessageFiles) {
  const struct {
    const char* name;
    bool message;
    uint32_t id;
  } cases[] = {
      {"42.txt", true, 42},         {"0.txt", true, 0},       {"4294967295.txt", true, 4294967295u},
      {"4294967296.txt", false, 0}, {"042.txt", false, 0},    {"notes.txt", false, 0},
      {".txt", false, 0},           {"42.txt.tmp", false, 0}, {"-1.txt", false, 0}};
  for (const auto& c : cases) {
    uint32_t id = 7;
    EXPECT_EQ(RHBackup::messageFileId(c.name, id), c.message) << c.name;
    if (c.message) {
      EXPECT_EQ(id, c.id) << c.name;
    }
  }
}

TEST_F(RHBackupTest, LongAddressIsStored) {
  const Address a(std::string(300, 'n'), "h");
  ASSERT_TRUE(store.writeBox(a, "box"));
  ASSERT_TRUE(store.writeUnsent(a, 1, "m"));
  EXPECT_EQ(store.listUnsent(a), std::set<std::string>{"1.txt"});
}

TEST_F(RHBackupTest, OneStateDirectoryHasOneHolder) {
  ASSERT_TRUE(store.lockDirectory());
  EXPECT_TRUE(store.lockDirectory());  // taken already by this store
  RHBackup second;
  second.setDirectory(state.windows);
  EXPECT_FALSE(second.lockDirectory());
  {
    RHBackup gone;
    gone.setDirectory(state.windows + "/other");
    EXPECT_TRUE(gone.lockDirectory());
  }
  RHBackup after;
  after.setDirectory(state.windows + "/other");
  EXPECT_TRUE(after.lockDirectory());  // freed with its holder
}

}  // namespace
