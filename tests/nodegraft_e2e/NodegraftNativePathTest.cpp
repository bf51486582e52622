// nodegraft with VEMORA_DRIVE_C set: a path on its command line is a native
// path and names the file it names, inside the drive folder or not, absolute
// or relative to the folder nodegraft was started in.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "nodegraft_e2e/CliSupport.h"

namespace {

namespace fs = std::filesystem;

using nodegraft_e2e::nodegraftBinary;
using nodegraft_e2e::readAll;
using nodegraft_e2e::shellQuoted;

const char kSource[] = "<DCML><Object><Name>N</Name></Object></DCML>\n";
const char kDestination[] =
    "<DCML><Object><Name>A</Name><SubObjects><Object><Name>B</Name></Object></SubObjects>"
    "</Object></DCML>\n";
const char kAppended[] =
    "<DCML>\n"
    "\t<Object>\n"
    "\t\t<Name>A</Name>\n"
    "\t\t<SubObjects>\n"
    "\t\t\t<Object>\n"
    "\t\t\t\t<Name>B</Name>\n"
    "\t\t\t</Object>\n"
    "\t\t\t<Object>\n"
    "\t\t\t\t<Name>N</Name>\n"
    "\t\t\t</Object>\n"
    "\t\t</SubObjects>\n"
    "\t</Object>\n"
    "</DCML>\n";

// Documents in a folder beside the drive folder ("outside/docs") and in the
// drive folder ("drive/docs"); nodegraft runs in "outside/work".
class NodegraftNativePathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* root = std::getenv("VEMORA_TEST_ROOT");
    ASSERT_NE(root, nullptr);
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    base_ = fs::weakly_canonical(fs::path(root) / ("native-" + name));
    fs::remove_all(base_);
    for (const char* sub : {"drive/docs", "outside/docs", "outside/work", "out"}) {
      fs::create_directories(base_ / sub);
    }
    for (const char* folder : {"drive/docs", "outside/docs"}) {
      std::ofstream(base_ / folder / "src.xml") << kSource;
      std::ofstream(base_ / folder / "dest.xml") << kDestination;
    }
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(base_, ignored);
  }

  // Runs nodegraft in outside/work with VEMORA_DRIVE_C = drive; the exit
  // code, and standard output and error in `out` and `err`.
  int run(const std::vector<std::string>& args, std::string& out, std::string& err) {
    std::string command = "cd " + shellQuoted((base_ / "outside/work").string()) +
                          " && VEMORA_DRIVE_C=" + shellQuoted((base_ / "drive").string()) + " " +
                          shellQuoted(nodegraftBinary());
    for (const std::string& a : args) command += " " + shellQuoted(a);
    command += " >" + shellQuoted((base_ / "out/stdout").string()) + " 2>" +
               shellQuoted((base_ / "out/stderr").string());
    const int status = std::system(command.c_str());
    out = readAll(base_ / "out/stdout");
    err = readAll(base_ / "out/stderr");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  fs::path base_;
};

TEST_F(NodegraftNativePathTest, AppendsFromFilesNamedAnyWay) {
  const std::string outside = (base_ / "outside/docs").string();
  const std::string drive = (base_ / "drive/docs").string();
  const struct {
    std::string source;
    std::string destination;
  } cases[] = {
      {outside + "/src.xml", outside + "/dest.xml"},  // absolute, outside the drive
      {drive + "/src.xml", drive + "/dest.xml"},      // absolute, inside it
      {"../docs/src.xml", "./../docs//dest.xml"},     // relative to the start folder
      {outside + "/../docs/src.xml", drive + "/../../outside/docs/dest.xml"},  // ".."
      {"C:\\docs\\src.xml", "C:/docs/dest.xml"},  // Windows form: drive C
  };
  for (const auto& c : cases) {
    std::string out, err;
    EXPECT_EQ(run({"-i", c.source, "-o", c.destination, "-a", "append", "-y", "A"}, out, err), 0)
        << c.destination << ": " << err;
    EXPECT_EQ(out, kAppended) << c.destination;
    EXPECT_EQ(err, "") << c.destination;
  }
}

TEST_F(NodegraftNativePathTest, ExistsAndMissingFilesOutsideTheDrive) {
  std::string out, err;
  const std::string destination = (base_ / "outside/docs/dest.xml").string();
  EXPECT_EQ(run({"-o", destination, "-a", "exists", "-y", "A.B"}, out, err), 0) << err;
  EXPECT_EQ(out, "EXISTS\n");
  // Not looked for below the drive folder: a missing file stays missing.
  fs::create_directories(base_ / "drive" / base_.relative_path() / "outside/docs");
  fs::copy_file(destination, base_ / "drive" / base_.relative_path() / "outside/docs/gone.xml");
  EXPECT_EQ(
      run({"-o", (base_ / "outside/docs/gone.xml").string(), "-a", "exists", "-y", "A"}, out, err),
      2);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "Destination file should be DCML.\n");
}

}  // namespace
