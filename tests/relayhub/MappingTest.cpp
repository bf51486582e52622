// Target-name mapping: the lines of the user mappings file, its reloading,
// and messages for a mapped name going to the learned local names.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "relayhub/RelayHub.h"
#include "relayhub/TargetMapping.h"
#include "support/FreePort.h"

namespace Vemora {
namespace {

struct MappingCase {
  const char* left;
  const char* right;
  const char* name;
  const char* standard;
};

TEST(TargetMapping, LinesMapNamesByCapturesAndLiterals) {
  const MappingCase cases[] = {
      {"host$", "std$1", "HostAB", "stdab"},  // captures come from the lower-cased name
      {"*_$", "$1", "x_y", "y"},
      {"*_$", "$x", "a_b", "bx"},  // "$" before a letter is the first capture
      {"$.$", "$2-$1", "a.b", "b-a"},
      {"a?$", "[$1]", "abc", "[bc]"},  // "?" and "$" side by side share one capture
      {"a$", "$2", "ab", ""},          // out of range: nothing
      {"a$", "$0", "ab", ""},
      {"a$", "$99999999999", "ab", ""},
      {"a$", "z$$1", "ab", "zb"},
      {"lit", "std", "LIT", "std"},
      {"lit", "std", "other", ""},
  };
  for (const MappingCase& c : cases) {
    TargetMapping mapping;
    ASSERT_TRUE(mapping.set(c.left, c.right)) << c.left;
    EXPECT_EQ(mapping.apply(c.name), c.standard) << c.left << "=" << c.right << " on " << c.name;
  }
  TargetMapping bare;
  EXPECT_FALSE(bare.set("a$", "$"));
  EXPECT_TRUE(bare.parts.empty());
}

using testsupport::freePort;

class MappingHubTest : public ::testing::Test {
 protected:
  MappingHubTest() : drive(std::getenv("VEMORA_DRIVE_C")) {
    std::filesystem::remove_all(drive + "/mhub");
    std::filesystem::create_directories(drive + "/mhub/maps");
  }

  std::string mapFile() const { return drive + "/mhub/maps/targetnames.mmap"; }
  // Writes the mappings file with a modification time that differs from
  // the last one, as a later edit would.
  void writeMappings(const std::string& text) {
    std::ofstream(mapFile(), std::ios::binary) << text;
    stamp += std::chrono::seconds(10);
    std::filesystem::last_write_time(mapFile(), stamp);
  }
  bool configure() {
    std::ofstream(drive + "/mhub/hub.conf")
        << "relayhub()=\"\"{ port(Integer)=" << freePort()
        << "{}\n max-connections(Integer)=2{}\n mappings(DirName)=\"C:/mhub/maps\"{}\n}\n"
           "Vemora()=\"\"{ directories()=\"\"{ temp(DirName)=\"C:/mhub/tmp\"{}\n"
           " bin(DirName)=\"C:/mhub/bin\"{}\n log(DirName)=\"C:/mhub/log\"{}\n}}\n";
    const char* argv[] = {"relayhub", "-c", "C:/mhub/hub.conf"};
    hub = std::make_unique<RelayHub>(&stop, 3, const_cast<char**>(argv));
    return hub->configure();
  }
  static Message to(const std::string& name, uint32_t id) {
    Message m(id);
    m.setSource("sender", "h");
    m.setTarget(Address(name, "h"));
    return m;
  }

  std::string drive;
  std::filesystem::file_time_type stamp = std::filesystem::file_time_type::clock::now();
  std::atomic<bool> stop{false};
  std::unique_ptr<RelayHub> hub;
};

TEST_F(MappingHubTest, TheFirstLineWithAResultWinsAndBadLinesAreSkipped) {
  writeMappings(
      "# comment\n"
      "\n"
      "no equals sign\n"
      "=nothing on the left\n"
      "  ag$ = $2  \n"  // matches, but its reference is out of range
      "ag$=std$1\n"
      "agent=never reached\n");
  ASSERT_TRUE(configure());
  EXPECT_EQ(hub->copyMappings().size(), 3u);
  EXPECT_EQ(hub->localToStandardName("Agent"), "stdent");
  EXPECT_EQ(hub->localToStandardName("other"), "");
}

TEST_F(MappingHubTest, AnUnreadableFileFailsConfiguration) {
  std::filesystem::create_directories(mapFile());  // a folder where the file should be
  EXPECT_FALSE(configure());
}

TEST_F(MappingHubTest, DeletingTheFileForgetsMappingsAndLearnedNamesAndANewFileIsRead) {
  writeMappings("*_$=$1\n");
  ASSERT_TRUE(configure());
  ASSERT_TRUE(hub->backup().learnName("h1_agent", "agent"));
  EXPECT_EQ(hub->getLocalNames("agent").size(), 1u);

  std::filesystem::remove(mapFile());
  EXPECT_TRUE(hub->updateTargetAddrNamesMapFile());
  EXPECT_TRUE(hub->copyMappings().empty());
  EXPECT_TRUE(hub->getLocalNames("agent").empty());
  EXPECT_FALSE(std::filesystem::exists(drive + "/mhub/tmp/RelayHub/actual_to_standard_name.txt"));
  EXPECT_TRUE(hub->updateTargetAddrNamesMapFile());  // still missing: nothing to do

  writeMappings("x$=y$1\n");
  EXPECT_TRUE(hub->updateTargetAddrNamesMapFile());
  EXPECT_EQ(hub->localToStandardName("xa"), "ya");
  EXPECT_EQ(hub->localToStandardName("p_q"), "");
}

TEST_F(MappingHubTest, AMappedMessageGoesToEveryLearnedLocalNameInstead) {
  writeMappings("*_$=$1\n");
  ASSERT_TRUE(configure());
  ASSERT_TRUE(hub->backup().learnName("h1_agent", "agent"));
  ASSERT_TRUE(hub->backup().learnName("h2_agent", "agent"));

  EXPECT_TRUE(hub->place(to("H3_Agent", 7), true));
  auto& boxes = hub->messageBoxes();
  EXPECT_EQ(boxes.count(Address("h3_agent", "h")), 0u);
  ASSERT_EQ(boxes.count(Address("h1_agent", "h")), 1u);
  ASSERT_EQ(boxes.count(Address("h2_agent", "h")), 1u);
  EXPECT_EQ(boxes.at(Address("h1_agent", "h")).pending().front().getId(), 7u);
  EXPECT_EQ(boxes.at(Address("h2_agent", "h")).pending().front().getTarget().name, "h2_agent");

  // Nothing learned for the standard name, or no mapping: its own target.
  EXPECT_TRUE(hub->place(to("h1_other", 8), true));
  EXPECT_EQ(boxes.count(Address("h1_other", "h")), 1u);
  EXPECT_TRUE(hub->place(to("plain", 9), true));
  EXPECT_EQ(boxes.count(Address("plain", "h")), 1u);
}

TEST_F(MappingHubTest, ACopyThatCannotBeStoredIsReported) {
  writeMappings("*_$=$1\n");
  ASSERT_TRUE(configure());
  ASSERT_TRUE(hub->backup().learnName("h1_agent", "agent"));
  // A file where the box's folder of pending messages should be.
  const std::string box = drive + "/mhub/tmp/RelayHub/msgboxes/h1_agent__h";
  std::filesystem::create_directories(box);
  std::ofstream(box + "/unsent") << "in the way";
  EXPECT_FALSE(hub->place(to("h2_agent", 11), true));
}

}  // namespace
}  // namespace Vemora
