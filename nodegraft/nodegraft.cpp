#include "nodegraft/nodegraft.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

#include "corelib/FileTools.h"
#include "nodegraft/DcmlEditor.h"
#include "platform/Path.h"

namespace Vemora {

namespace {

const char* const kHelpEpilogue[] = {
    "nodegraft is a XML Vemora DCML compliant manipulator program.",
    "",
    "Actions:",
    "    prepend - add source object to dest's first children.",
    "    append  - add source object to dest's last children.",
    "    remove  - remove dest path object.",
    "    link-after",
    "        - insert xml object to a linked DCML objects, after source path.",
    "    link-before",
    "        - insert xml object to a linked DCML objects, before source path.",
    "    unlink  - reverse of 'link' action.",
    "    exists  - check if dest path exists.",
    "",
    "DCML Path",
    "    Contains series of Name of DCML Object separated by dot.",
    "    This is used to locate a DCML Object.",
    "    ",
    "    Example:",
    "                NameA.NameB.NameC.NameD",
    "    ",
    "    The above example locates the Object with name 'NameD'",
    "    nested through NameA, NameB, and NameC.",
    "",
    "DCML Path Wildcard",
    "    You can use the wildcard character asterisk (*) to locate",
    "    variable length nested Object.",
    "",
    "    Suppose we have:",
    "            NameA.NameB.NameC.NameD",
    "",
    "    If you don't know how many Objects in-between 'NameA'",
    "    and 'NameD', you can write the path as:",
    "    ",
    "                NameA.*.NameD",
};

// Writes all of `text` into the stream's buffer; false when the stream
// refused part of it.
bool writeAll(std::FILE* stream, std::string_view text) {
  return text.empty() || std::fwrite(text.data(), 1, text.size(), stream) == text.size();
}

std::string optionValue(VemoraCorelib::CmdParser& parser, const std::string& name) {
  std::string value;
  parser.getValue(name, value);
  return value;
}

std::string fileText(const std::string& path) {
  std::string text;
  if (!VemoraCorelib::FileTools::readFile(platform::argumentPath(path), text)) text.clear();
  return text;
}

}  // namespace

nodegraft::nodegraft(int argc, const char* const* argv)
    : AppFrame("nodegraft", "nodegraft", "1", true, "Vemora, Inc.") {
  setArguments(argc, argv);
  if (!configure()) setState(kFailed);
  if (!processCommandLine()) setState(kFailed);
}

nodegraft::~nodegraft() {
  if (!shutdown()) setState(kFailed);
}

bool nodegraft::configure() {
  applicationLogger().setSource("main");
  applicationLogger().info("Constructing application");
  VemoraCorelib::CmdParser& options = parser();
  options.addArgOption("Source xml file.", 'i', "srcfile", {});
  options.addArgOption("Destination xml file.", 'o', "destfile", {});
  options.addArgOption("Action. See 'Actions' list below.", 'a', "action", {});
  options.addArgOption("DCML path of source file.", 'x', "srcpath", {});
  options.addArgOption("DCML path of destination file.", 'y', "destpath", {});
  options.addFlag("Use XML Entities.", 'e', "");
  for (const char* line : kHelpEpilogue) options.addHelpText(line);
  return true;
}

bool nodegraft::shutdown() {
  applicationLogger().info("Ending run");
  return true;
}

int nodegraft::run() {
  applicationLogger().info("Running application");
  VemoraCorelib::CmdParser& options = parser();
  DcmlEditor::Request request;
  request.action = optionValue(options, "action");
  request.sourcePath = optionValue(options, "srcpath");
  request.destinationPath = optionValue(options, "destpath");
  request.sourceText = fileText(optionValue(options, "srcfile"));
  request.destinationText = fileText(optionValue(options, "destfile"));
  request.useEntities = options.isSet('e');

  DcmlEditor::Result result = DcmlEditor::apply(
      std::move(request), [](std::string_view chunk) { return writeAll(stdout, chunk); });
  if (std::fflush(stdout) != 0 && result.exitCode == 0) {
    result.exitCode = 2;
    result.error = "Cannot write output.\n";
  }
  writeAll(stderr, result.error);
  std::fflush(stderr);
  return result.exitCode;
}

}  // namespace Vemora
