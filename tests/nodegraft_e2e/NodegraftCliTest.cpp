// Runs the built nodegraft on real files in a scratch folder and compares its
// standard output, standard error and exit code; every printed document is
// also checked by an independent XML parser (xmllint).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "nodegraft_e2e/CliSupport.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  std::string out;
  std::string err;
  int code = -1;
};

// The pretty form nodegraft prints for an outline: "A[B[K]],D" is the
// top-level objects A and D, A holding B, B holding K; "A[]" has an empty
// SubObjects.
void prettyObjects(const std::string& text, size_t& pos, int depth, std::string& out) {
  const std::string tabs(depth, '\t');
  while (pos < text.size() && text[pos] != ']') {
    if (text[pos] == ',') {
      ++pos;
      continue;
    }
    std::string name;
    while (pos < text.size() && text[pos] != '[' && text[pos] != ',' && text[pos] != ']') {
      name += text[pos++];
    }
    out += tabs + "<Object>\n" + tabs + "\t<Name>" + name + "</Name>\n";
    if (pos < text.size() && text[pos] == '[') {
      ++pos;
      if (text[pos] == ']') {
        out += tabs + "\t<SubObjects />\n";
      } else {
        out += tabs + "\t<SubObjects>\n";
        prettyObjects(text, pos, depth + 2, out);
        out += tabs + "\t</SubObjects>\n";
      }
      ++pos;
    }
    out += tabs + "</Object>\n";
  }
}

std::string pretty(const std::string& outline) {
  if (outline.empty()) return "<DCML />";
  std::string out = "<DCML>\n";
  size_t pos = 0;
  prettyObjects(outline, pos, 1, out);
  return out + "</DCML>";
}

using nodegraft_e2e::nodegraftBinary;
using nodegraft_e2e::readAll;
using nodegraft_e2e::shellQuoted;

// VEMORA_TEST_SOURCE, else the source folder this test was compiled from.
fs::path sourceFolder() {
  const char* source = std::getenv("VEMORA_TEST_SOURCE");
  if (source != nullptr && *source != 0) return source;
  return fs::path(__FILE__).parent_path().parent_path().parent_path();
}

class NodegraftCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bin_ = nodegraftBinary();
    ASSERT_TRUE(fs::exists(bin_)) << "no nodegraft at " << bin_ << " (set NODEGRAFT_BIN)";
    const char* root = std::getenv("VEMORA_TEST_ROOT");
    const fs::path base = root != nullptr ? fs::path(root) : fs::temp_directory_path();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = base / (std::string("nodegraft-") + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }

  void write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }

  // Runs nodegraft in the scratch folder (file names are relative to it).
  Outcome run(const std::vector<std::string>& args, const std::string& redirect = "") {
    std::string command = "cd " + shellQuoted(dir_.string()) + " && " + shellQuoted(bin_);
    for (const std::string& a : args) command += " " + shellQuoted(a);
    command += " >" + (redirect.empty() ? std::string("out.txt") : redirect) + " 2>err.txt";
    const int status = std::system(command.c_str());
    Outcome o;
    o.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    o.out = readAll(dir_ / "out.txt");
    o.err = readAll(dir_ / "err.txt");
    return o;
  }

  // Starts nodegraft in the scratch folder with standard output and error
  // going to out.txt and err.txt; its process id.
  pid_t start(const std::vector<std::string>& args) {
    std::vector<std::string> all = {bin_};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string folder = dir_.string();
    const pid_t pid = ::fork();
    if (pid == 0) {  // only async-signal-safe calls until exec
      if (::chdir(folder.c_str()) != 0) ::_exit(127);
      const int out = ::open("out.txt", O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int err = ::open("err.txt", O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (out < 0 || err < 0) ::_exit(127);
      ::dup2(out, 1);
      ::dup2(err, 2);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    return pid;
  }

  // Waits until the started program (not the forked test) catches `signal`.
  bool waitForHandler(pid_t pid, int signal, std::chrono::steady_clock::time_point deadline) {
    const fs::path proc = "/proc/" + std::to_string(pid);
    std::error_code error;
    const fs::path program = fs::canonical(bin_, error);
    while (std::chrono::steady_clock::now() < deadline) {
      if (fs::read_symlink(proc / "exe", error) == program) {
        std::istringstream status(readAll(proc / "status"));
        std::string line;
        while (std::getline(status, line)) {
          if (line.rfind("SigCgt:", 0) != 0) continue;
          const unsigned long long caught = std::stoull(line.substr(7), nullptr, 16);
          if ((caught >> (signal - 1)) & 1) return true;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  // The wait status of the started program; it is killed when it has not
  // ended by the deadline.
  int finish(pid_t pid, std::chrono::steady_clock::time_point deadline) {
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        ADD_FAILURE() << "nodegraft did not end";
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status;
  }

  // A printed document that an independent parser accepts.
  bool wellFormed(const std::string& text) {
    write("check.xml", text);
    const std::string command = "xmllint --noout " + shellQuoted((dir_ / "check.xml").string());
    return std::system(command.c_str()) == 0;
  }

  // Runs an edit on the outlines and checks a printed document.
  void expectEdit(const std::vector<std::string>& args, const std::string& source,
                  const std::string& destination, const std::string& expected) {
    write("src.xml", pretty(source) + "\n");
    write("dest.xml", pretty(destination) + "\n");
    std::vector<std::string> all = {"-i", "src.xml", "-o", "dest.xml"};
    all.insert(all.end(), args.begin(), args.end());
    const Outcome o = run(all);
    std::string shown;
    for (const auto& a : args) shown += a + " ";
    shown += "on " + destination + " ";
    EXPECT_EQ(o.code, 0) << shown << o.err;
    EXPECT_EQ(o.err, "") << shown;
    EXPECT_EQ(o.out, pretty(expected) + "\n") << shown;
    EXPECT_TRUE(wellFormed(o.out)) << shown;
  }

  void expectError(const std::vector<std::string>& args, const std::string& message) {
    const Outcome o = run(args);
    std::string shown;
    for (const auto& a : args) shown += a + " ";
    EXPECT_EQ(o.code, 2) << shown;
    EXPECT_EQ(o.out, "") << shown;
    EXPECT_EQ(o.err, message + "\n") << shown;
  }

  std::string bin_;
  fs::path dir_;
};

const char kHelp[] =
    "Usage: nodegraft [options]\n"
    "Options:\n"
    "  -?\n"
    "    --help           : Display this help text\n"
    "  --version          : Display version information\n"
    "  --revision         : Display SVN revision information\n"
    "  --debug <arg>      : Set debug level\n"
    "  -i <arg>\n"
    "    --srcfile <arg>  : Source xml file.\n"
    "  -o <arg>\n"
    "    --destfile <arg> : Destination xml file.\n"
    "  -a <arg>\n"
    "    --action <arg>   : Action. See 'Actions' list below.\n"
    "  -x <arg>\n"
    "    --srcpath <arg>  : DCML path of source file.\n"
    "  -y <arg>\n"
    "    --destpath <arg> : DCML path of destination file.\n"
    "  -e                 : Use XML Entities.\n"
    "\n"
    "nodegraft is a XML Vemora DCML compliant manipulator program.\n"
    "\n"
    "Actions:\n"
    "    prepend - add source object to dest's first children.\n"
    "    append  - add source object to dest's last children.\n"
    "    remove  - remove dest path object.\n"
    "    link-after\n"
    "        - insert xml object to a linked DCML objects, after source path.\n"
    "    link-before\n"
    "        - insert xml object to a linked DCML objects, before source path.\n"
    "    unlink  - reverse of 'link' action.\n"
    "    exists  - check if dest path exists.\n"
    "\n"
    "DCML Path\n"
    "    Contains series of Name of DCML Object separated by dot.\n"
    "    This is used to locate a DCML Object.\n"
    "    \n"
    "    Example:\n"
    "                NameA.NameB.NameC.NameD\n"
    "    \n"
    "    The above example locates the Object with name 'NameD'\n"
    "    nested through NameA, NameB, and NameC.\n"
    "\n"
    "DCML Path Wildcard\n"
    "    You can use the wildcard character asterisk (*) to locate\n"
    "    variable length nested Object.\n"
    "\n"
    "    Suppose we have:\n"
    "            NameA.NameB.NameC.NameD\n"
    "\n"
    "    If you don't know how many Objects in-between 'NameA'\n"
    "    and 'NameD', you can write the path as:\n"
    "    \n"
    "                NameA.*.NameD\n";

TEST_F(NodegraftCliTest, HelpVersionAndRevision) {
  for (const char* option : {"-?", "--help"}) {
    const Outcome o = run({option});
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.out, kHelp);
    EXPECT_EQ(o.err, "");
  }
  const struct {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{"--version"}, "Version=6.5.0.0"},
      {{"--revision"}, "Revision=21803"},
      {{"--version", "--revision"}, "Version=6.5.0.0\nRevision=21803"},
      {{"-?", "--version"}, std::string(kHelp) + "\nVersion=6.5.0.0"},
      // Information texts win over the edit: nothing is run.
      {{"--version", "-a", "exists", "-o", "missing.xml"}, "Version=6.5.0.0"},
  };
  for (const auto& k : cases) {
    const Outcome o = run(k.args);
    EXPECT_EQ(o.code, 0) << k.out;
    EXPECT_EQ(o.out, k.out);
    EXPECT_EQ(o.err, "");
  }
}

TEST_F(NodegraftCliTest, CommandLineErrorsGoToStandardOutput) {
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"-z"}, "Unknown option 'z'"},
      {{"--nothing"}, "Unknown option 'nothing'"},
      {{"-a"}, "Missing argument to 'a' option"},
      {{"-ae", "x"}, "Option 'a' requires argument but is located inside an options token"},
      {{"x=1"}, "Unknown option 'x'"},
      {{"action=exists"}, "Option 'action' must be option=value"},
      {{"positional"}, "Too many arguments"},
  };
  for (const auto& k : cases) {
    const Outcome o = run(k.args);
    EXPECT_EQ(o.code, 2) << k.message;
    EXPECT_EQ(o.out, std::string("ERROR: ") + k.message + "\n");
    EXPECT_EQ(o.err, "");
  }
}

TEST_F(NodegraftCliTest, AppendAndPrependReplaceTheSameName) {
  expectEdit({"-a", "append", "-y", "A"}, "N", "A[B]", "A[B,N]");
  expectEdit({"-a", "prepend", "-y", "A"}, "N", "A[B]", "A[N,B]");
  expectEdit({"--action", "append", "--destpath", "A"}, "N[M]", "A[N,B]", "A[B,N[M]]");
  expectEdit({"-a", "prepend", "-y", "A"}, "N[M]", "A[B,N]", "A[N[M],B]");
  expectEdit({"-a", "append", "-y", "A"}, "N", "A[]", "A[N]");
  expectEdit({"-a", "append", "-x", "X.Y", "-y", "A.B"}, "X[Y[Z]]", "A[B[]],D", "A[B[Y[Z]]],D");
}

TEST_F(NodegraftCliTest, ChainOfLinkedObjects) {
  expectEdit({"-a", "unlink", "-y", "A.B"}, "N[]", "A[B[K]]", "A[K]");
  expectEdit({"-a", "link-after", "-y", "A.B"}, "N[]", "A[B[K]]", "A[B[N[K]]]");
  expectEdit({"-a", "link-before", "-y", "A.B"}, "N[]", "A[B[K]]", "A[N[B[K]]]");
  expectEdit({"-a", "link-after", "-y", "A.B.K"}, "N[]", "A[B[K]]", "A[B[K[N[]]]]");
  expectEdit({"-a", "unlink", "-y", "A.B.K"}, "N[]", "A[B[K]]", "A[B[]]");
}

// Every object is kept: the moved objects, their subtrees and the siblings
// around them, in order.
TEST_F(NodegraftCliTest, LinkAndUnlinkKeepEveryObject) {
  const struct {
    const char* action;
    const char* source;
    const char* destination;
    const char* path;
    const char* expected;
  } cases[] = {
      // A chain (at most one child object each).
      {"link-after", "N[]", "A[B[K]]", "A.B", "A[B[N[K]]]"},
      {"link-before", "N[]", "A[B[K]]", "A.B", "A[N[B[K]]]"},
      {"unlink", "N[]", "A[B[K]]", "A.B", "A[K]"},
      {"unlink", "N[]", "A[B[K[G]]]", "A.B.K", "A[B[G]]"},
      // Two child objects.
      {"link-after", "N[]", "A[B[K1,K2[]]]", "A.B", "A[B[N[K1,K2[]]]]"},
      {"link-after", "N[M]", "A[B[K,L]]", "A.B", "A[B[N[M,K,L]]]"},
      {"unlink", "N[]", "A[B[K,L]],D", "A.B", "A[K,L],D"},
      // Grandchildren move with their parents.
      {"link-after", "N[]", "A[B[K[G1,G2],L[H]]]", "A.B", "A[B[N[K[G1,G2],L[H]]]]"},
      {"link-before", "N[]", "A[B[K[G]],C]", "A.B", "A[N[B[K[G]]],C]"},
      {"unlink", "N[]", "A[B[K[G1,G2],L[H]]]", "A.B", "A[K[G1,G2],L[H]]"},
      // The destination as the first, a middle or the last of its siblings.
      {"link-before", "N[]", "P[D[K],E[]]", "P.D", "P[N[D[K]],E[]]"},
      {"link-before", "N[]", "P[C,D[K],E]", "P.D", "P[C,N[D[K]],E]"},
      {"link-before", "N[M]", "P[D[K],E[]]", "P.E", "P[D[K],N[M,E[]]]"},
      {"link-after", "N[]", "A[B[K],C[L,M]]", "A.C", "A[B[K],C[N[L,M]]]"},
      {"unlink", "N[]", "A[B[K,L],C]", "A.B", "A[K,L,C]"},
      {"unlink", "N[]", "A[C,B[K,L],E]", "A.B", "A[C,K,L,E]"},
      {"unlink", "N[]", "A[C,B[K,L]]", "A.B", "A[C,K,L]"},
  };
  for (const auto& k : cases) {
    expectEdit({"-a", k.action, "-y", k.path}, k.source, k.destination, k.expected);
  }
  // Where the objects have no place, nothing is printed.
  write("src.xml", pretty("N") + "\n");
  write("dest.xml", pretty("P[D[K],E[]]") + "\n");
  expectError({"-i", "src.xml", "-o", "dest.xml", "-a", "link-before", "-y", "P.D"},
              "Cannot apply action.");
  expectError({"-i", "src.xml", "-o", "dest.xml", "-a", "link-after", "-y", "P.D"},
              "Cannot apply action.");
  expectError({"-o", "dest.xml", "-a", "unlink", "-y", "P"}, "Cannot apply action.");
}

TEST_F(NodegraftCliTest, RemoveAndExistsNeedNoSource) {
  write("dest.xml", pretty("A[B,K],D"));
  Outcome o = run({"-o", "dest.xml", "-a", "remove", "-y", "A.B"});
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.out, pretty("A[K],D") + "\n");
  EXPECT_TRUE(wellFormed(o.out));
  o = run({"-o", "dest.xml", "-a", "remove", "-y", "D"});
  EXPECT_EQ(o.out, pretty("A[B,K]") + "\n");
  o = run({"-o", "dest.xml", "-a", "exists", "-y", "A.K"});
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.out, "EXISTS\n");
  EXPECT_EQ(o.err, "");
  expectError({"-o", "dest.xml", "-a", "exists", "-y", "A.Q"}, "Destination path not found.");
  // The destination file itself is never changed.
  EXPECT_EQ(readAll(dir_ / "dest.xml"), pretty("A[B,K],D"));
}

TEST_F(NodegraftCliTest, WildcardsAndEmptyComponents) {
  write("dest.xml", pretty("A[B[C[Z]],K[Z]],D"));
  const struct {
    const char* path;
    bool found;
  } cases[] = {
      {"A.*.Z", true},  {"*.Z", true},    {"A.*.C.Z", true}, {"A..B...C", true},
      {".A.", true},    {"", true},       {"A.*", false},    {"*", false},
      {"A.K.*", false}, {"A.*.K", false},  // "*" follows first children only
      {"A.*.Q", false},
  };
  for (const auto& k : cases) {
    const Outcome o = run({"-o", "dest.xml", "-a", "exists", "-y", k.path});
    EXPECT_EQ(o.code, k.found ? 0 : 2) << k.path;
    EXPECT_EQ(o.out, k.found ? "EXISTS\n" : "") << k.path;
    EXPECT_EQ(o.err, k.found ? "" : "Destination path not found.\n") << k.path;
  }
  expectEdit({"-a", "remove", "-y", "A.*.Z"}, "N", "A[B[C[Z]],K[Z]],D", "A[B[C[]],K[Z]],D");
  expectEdit({"-a", "append", "-y", "..A.*.C."}, "N", "A[B[C[]]]", "A[B[C[N]]]");
}

TEST_F(NodegraftCliTest, EveryErrorMessage) {
  write("good.xml", pretty("A[B[K]],D"));
  write("empty.xml", "<DCML></DCML>");
  write("other.xml", "<Root/>");
  write("cut.xml", "<DCML>\n\t<Object>\n\t\t<Name>A</Name>\n");
  write("junk.xml", "not xml at all");
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"-i", "missing.xml", "-o", "good.xml", "-a", "append", "-y", "A"},
       "Source file should be DCML."},
      {{"-i", "other.xml", "-o", "good.xml", "-a", "append", "-y", "A"},
       "Source file should be DCML."},
      {{"-i", "cut.xml", "-o", "good.xml", "-a", "append", "-y", "A"},
       "Source file should be DCML."},
      {{"-o", "good.xml", "-a", "append", "-y", "A"}, "Source file should be DCML."},
      {{"-i", "good.xml", "-o", "good.xml", "-a", "append", "-x", "Q", "-y", "A"},
       "Source path not found."},
      {{"-i", "empty.xml", "-o", "good.xml", "-a", "append", "-y", "A"}, "Source path not found."},
      {{"-i", "good.xml", "-o", "missing.xml", "-a", "append", "-y", "A"},
       "Destination file should be DCML."},
      {{"-i", "good.xml", "-o", "cut.xml", "-a", "append", "-y", "A"},
       "Destination file should be DCML."},
      {{"-o", "junk.xml", "-a", "remove", "-y", "A"}, "Destination file should be DCML."},
      {{"-o", "other.xml", "-a", "exists"}, "Destination file should be DCML."},
      {{"-o", "good.xml", "-a", "remove", "-y", "A.Q"}, "Destination path not found."},
      {{"-o", "empty.xml", "-a", "exists"}, "Destination path not found."},
      {{"-i", "good.xml", "-o", "good.xml", "-a", "frob", "-y", "A"}, "Unknown action 'frob'"},
      {{"-i", "good.xml", "-o", "good.xml", "-y", "A"}, "Unknown action ''"},
      {{"-i", "good.xml", "-o", "good.xml", "-a", "append", "-y", "D"}, "Cannot apply action."},
      {{"-i", "good.xml", "-o", "good.xml", "-a", "link-after", "-x", "D", "-y", "A.B"},
       "Cannot apply action."},  // the source object D has no SubObjects to take K
      {{"-i", "good.xml", "-o", "good.xml", "-a", "link-before", "-y", "A"},
       "Cannot apply action."},
      {{"-o", "good.xml", "-a", "unlink", "-y", "A"}, "Cannot apply action."},
  };
  for (const auto& k : cases) expectError(k.args, k.message);
}

TEST_F(NodegraftCliTest, EmptySubObjectsCannotBeUnlinkedOrLinked) {
  write("src.xml", pretty("N[]"));
  write("dest.xml", pretty("A[B[]]"));
  expectError({"-o", "dest.xml", "-a", "unlink", "-y", "A.B"}, "Cannot apply action.");
  expectError({"-i", "src.xml", "-o", "dest.xml", "-a", "link-after", "-y", "A.B"},
              "Cannot apply action.");
}

TEST_F(NodegraftCliTest, QuotesAreWrittenPlainUnlessEntitiesAreAsked) {
  write("src.xml",
        "<DCML><Object><Name>say &quot;hi&quot; it&apos;s &amp; &lt;go&gt;</Name></Object></DCML>");
  write("dest.xml", pretty("A[]"));
  const std::string plainName = "say \"hi\" it's &amp; &lt;go&gt;";
  const std::string entityName = "say &quot;hi&quot; it&apos;s &amp; &lt;go&gt;";
  Outcome o = run({"-i", "src.xml", "-o", "dest.xml", "-a", "append", "-y", "A"});
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.out, pretty("A[" + plainName + "]") + "\n");
  EXPECT_TRUE(wellFormed(o.out));
  o = run({"-e", "-i", "src.xml", "-o", "dest.xml", "-a", "append", "-y", "A"});
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.out, pretty("A[" + entityName + "]") + "\n");
  EXPECT_TRUE(wellFormed(o.out));
  // An attribute value holding both quotes stays well-formed either way.
  write("src.xml", "<DCML><Object><Name k=\"1&quot;2&apos;3\">N</Name></Object></DCML>");
  for (const char* flag : {"-e", ""}) {  // "" is ignored: the plain form
    o = run({flag, "-i", "src.xml", "-o", "dest.xml", "-a", "append", "-y", "A"});
    EXPECT_EQ(o.code, 0) << flag;
    EXPECT_TRUE(wellFormed(o.out)) << flag << o.out;
  }
}

// Comments, CDATA sections and processing instructions keep their text
// as it is, so a quote in them never changes how a later value is read.
TEST_F(NodegraftCliTest, PlainQuotesNeverBreakTheDocument) {
  write("src.xml", "<DCML><Object><Name>N</Name></Object></DCML>");
  write("dest.xml",
        "<?xml version=\"1.0\" ?>\n<?note say &quot;hi&quot;?>\n<!-- <b x=' -->\n"
        "<!-- &quot;kept&apos; -->\n<DCML><Object><Name k=\"1&quot;2&apos;3\" "
        "q='&apos;'>A</Name><Data><![CDATA[&quot;raw&apos;]]></Data><SubObjects/>"
        "</Object></DCML>");
  for (const std::string flag : {"-e", ""}) {  // "" is ignored: the plain form
    const Outcome o = run({flag, "-i", "src.xml", "-o", "dest.xml", "-a", "append", "-y", "A"});
    EXPECT_EQ(o.code, 0) << flag << o.err;
    EXPECT_TRUE(wellFormed(o.out)) << flag << o.out;
    for (const char* kept : {"<?note say &quot;hi&quot;?>", "<!-- <b x=' -->",
                             "<!-- &quot;kept&apos; -->", "<![CDATA[&quot;raw&apos;]]>"}) {
      EXPECT_NE(o.out.find(kept), std::string::npos) << flag << " " << kept << "\n" << o.out;
    }
    const char* name = flag.empty() ? "<Name k='1\"2&apos;3' q=\"'\">A</Name>"
                                    : "<Name k='1&quot;2&apos;3' q=\"&apos;\">A</Name>";
    EXPECT_NE(o.out.find(name), std::string::npos) << flag << "\n" << o.out;
  }
}

TEST_F(NodegraftCliTest, KeepsDeclarationCommentsAndDropsCarriageReturns) {
  write("src.xml", "<DCML><Object><Name>N</Name></Object></DCML>\r\n");
  write("dest.xml",
        "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<!-- inventory -->\r\n<DCML>\r\n"
        "  <Object><Name>A</Name><SubObjects/></Object>\r\n</DCML>\r\n");
  const Outcome o = run({"-i", "src.xml", "-o", "dest.xml", "-a", "append", "-y", "A"});
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.out, "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<!-- inventory -->\n" +
                       pretty("A[N]") + "\n");
  EXPECT_TRUE(wellFormed(o.out));
}

TEST_F(NodegraftCliTest, HostileNestingIsRefusedNotCrashed) {
  std::string deep = "<DCML>";
  for (int i = 0; i < 100000; ++i) deep += "<Object><Name>x</Name><SubObjects>";
  write("deep.xml", deep);
  expectError({"-o", "deep.xml", "-a", "exists", "-y", "x"}, "Destination file should be DCML.");
  expectError({"-i", "deep.xml", "-o", "deep.xml", "-a", "append", "-y", "x"},
              "Source file should be DCML.");
}

TEST_F(NodegraftCliTest, ShippedExamplesWork) {
  const fs::path examples = sourceFolder() / "examples" / "dcml";
  for (const char* name : {"inventory.xml", "disk-e.xml", "chain.xml", "link.xml"}) {
    fs::copy_file(examples / name, dir_ / name, fs::copy_options::overwrite_existing);
  }
  Outcome o = run({"-i", "disk-e.xml", "-o", "inventory.xml", "-a", "append", "-y", "Host.Disks"});
  EXPECT_EQ(o.code, 0) << o.err;
  EXPECT_NE(o.out.find("\t\t\t\t\t\t<Name>E</Name>\n"), std::string::npos) << o.out;
  EXPECT_TRUE(wellFormed(o.out));
  o = run({"-i", "link.xml", "-o", "chain.xml", "-a", "link-after", "-y", "A.B"});
  EXPECT_EQ(o.code, 0) << o.err;
  EXPECT_TRUE(wellFormed(o.out));
  o = run({"-o", "inventory.xml", "-a", "exists", "-y", "Host.*.C"});
  EXPECT_EQ(o.out, "EXISTS\n");
}

TEST_F(NodegraftCliTest, FailedOutputWriteGivesExitCode2) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  write("dest.xml", pretty("A[B]"));
  Outcome o = run({"-o", "dest.xml", "-a", "remove", "-y", "A.B"}, "/dev/full");
  EXPECT_EQ(o.code, 2);
  EXPECT_EQ(o.err, "Cannot write output.\n");
  o = run({"-o", "dest.xml", "-a", "exists", "-y", "A.B"}, "/dev/full");
  EXPECT_EQ(o.code, 2);
}

// A stop signal ends a run that blocks on a FIFO: opening one that nobody
// writes, or reading one whose writer stays silent.
TEST_F(NodegraftCliTest, StopSignalsEndABlockedRun) {
  const std::string fifo = (dir_ / "pipe.xml").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    int signal;
    const char* option;
    bool writer;  // a writer holds the FIFO open and writes nothing
  } cases[] = {
      {SIGTERM, "-o", false},
      {SIGINT, "-o", false},
      {SIGTERM, "-i", true},
  };
  for (const auto& k : cases) {
    const std::string shown = std::string(k.option) + " signal " + std::to_string(k.signal);
    const pid_t pid = start({k.option, "pipe.xml", "-a", "append", "-y", "A"});
    ASSERT_GT(pid, 0);
    int writer = -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (k.writer && writer < 0 && std::chrono::steady_clock::now() < deadline) {
      writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);  // fails until the reader opens
      if (writer < 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(!k.writer || writer >= 0) << shown;
    EXPECT_TRUE(waitForHandler(pid, k.signal, deadline)) << shown;
    ::kill(pid, k.signal);
    const int status = finish(pid, deadline);
    if (writer >= 0) ::close(writer);
    EXPECT_TRUE(WIFEXITED(status)) << shown << " status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 2) << shown;
    EXPECT_EQ(readAll(dir_ / "out.txt"), "") << shown;
    EXPECT_EQ(readAll(dir_ / "err.txt"), "") << shown;
  }
}

}  // namespace
