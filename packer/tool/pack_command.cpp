#include "packer/tool/pack_command.h"

#include <algorithm>

#include "packer/tool/console.h"
#include "packer/tool/manifest_init.h"
#include "packer/tool/package_listing.h"
#include "packer/tool/packing.h"
#include "packer/tool/signing.h"
#include "packer/core/tool_identity.h"

namespace {

const char kUsage[] =
    "usage: " PACK_TOOL_NAME " MANIFEST -o OUTPUT.exe [--stub STUB.exe] [--uninstaller UNINSTALL.exe]\n"
    "       " PACK_TOOL_NAME " MANIFEST -o OUTPUT.exe --sign 'COMMAND {file}'\n"
    "       " PACK_TOOL_NAME " --list SETUP.exe\n"
    "       " PACK_TOOL_NAME " --init FOLDER [-o MANIFEST.ini] [--name NAME] [--version VERSION]\n"
    "       " PACK_TOOL_NAME " --version\n"
    "The stub and the uninstaller default to setup-stub.exe and uninstall.exe next to\n"
    PACK_TOOL_NAME " (or in ../share/pack/ from there, once installed); for a manifest with\n"
    "arch = x64 to setup-stub-x64.exe and uninstall-x64.exe. --sign runs COMMAND\n"
    "through the shell on the uninstaller before it is packed and on the setup before it is\n"
    "put in place, with {file} replaced by the quoted path of the file to sign in place.\n"
    "--init writes a starter manifest for the files in FOLDER (FOLDER.ini beside it, or\n"
    "MANIFEST.ini), never over an existing file; name and version come from the folder's\n"
    "name (\"alpha-1.2\": alpha, 1.2) unless given.\n";

int UsageError(const std::string& problem) {
  PrintError(PACK_TOOL_NAME ": " + problem + "\n" + kUsage);
  return 2;
}

// The command line, read.
struct Arguments {
  PackRequest pack;
  std::string list;
  InitRequest init;
  bool help = false, version = false;
};

// Whether `command` puts a quote right before or after a {file}. The path comes quoted
// already; quoting it again would leave it bare, where the shell expands what it holds.
bool HasQuotedPlaceholder(const std::string& command) {
  const std::string placeholder = SIGN_FILE_PLACEHOLDER;
  for (size_t at = command.find(placeholder); at != std::string::npos;
       at = command.find(placeholder, at + 1)) {
    size_t after = at + placeholder.size();
    bool quote_before = at > 0 && (command[at - 1] == '"' || command[at - 1] == '\'');
    bool quote_after = after < command.size() && (command[after] == '"' || command[after] == '\'');
    if (quote_before || quote_after) return true;
  }
  return false;
}

// Whether the arguments read go together. Returns "" or the usage problem.
std::string CheckArguments(const Arguments& parsed) {
  const PackRequest& pack = parsed.pack;
  if (parsed.help || parsed.version) return "";
  if (!parsed.list.empty()) {
    bool alone = pack.manifest.empty() && pack.output.empty() && pack.stub.empty() &&
                 pack.uninstaller.empty() && pack.sign_command.empty();
    return alone ? "" : "--list takes no other arguments";
  }
  if (pack.manifest.empty()) return "no manifest given";
  if (pack.output.empty()) return "no output given (-o OUTPUT.exe)";
  if (!pack.sign_command.empty() &&
      pack.sign_command.find(SIGN_FILE_PLACEHOLDER) == std::string::npos) {
    return "--sign needs " SIGN_FILE_PLACEHOLDER " where the file to sign goes";
  }
  if (HasQuotedPlaceholder(pack.sign_command)) {
    return "--sign has " SIGN_FILE_PLACEHOLDER " in quotes; " PACK_TOOL_NAME " quotes the path "
           "itself: write " SIGN_FILE_PLACEHOLDER " without quotes";
  }
  return "";
}

// Reads the arguments of "--init FOLDER", where --version takes the product's version.
// Returns "" or the usage problem.
std::string ParseInitArguments(const std::vector<std::string>& arguments, InitRequest* init) {
  for (size_t k = 0; k < arguments.size(); ++k) {
    const std::string& argument = arguments[k];
    std::string* value = argument == "--init"      ? &init->folder
                         : argument == "-o"        ? &init->output
                         : argument == "--name"    ? &init->name
                         : argument == "--version" ? &init->version
                                                   : nullptr;
    if (value == nullptr) {
      return "--init takes -o, --name and --version only, not " + argument;
    }
    if (k + 1 >= arguments.size() || arguments[k + 1].empty()) return argument + " needs a value";
    if (!value->empty()) return argument + " given twice";
    *value = arguments[++k];
  }
  return "";
}

// Reads `arguments`. Returns "" or the usage problem.
std::string ParseArguments(const std::vector<std::string>& arguments, Arguments* parsed) {
  if (std::find(arguments.begin(), arguments.end(), "--init") != arguments.end()) {
    return ParseInitArguments(arguments, &parsed->init);
  }
  for (size_t k = 0; k < arguments.size(); ++k) {
    const std::string& argument = arguments[k];
    std::string* value = argument == "-o"              ? &parsed->pack.output
                         : argument == "--stub"        ? &parsed->pack.stub
                         : argument == "--uninstaller" ? &parsed->pack.uninstaller
                         : argument == "--list"        ? &parsed->list
                         : argument == "--sign"        ? &parsed->pack.sign_command
                                                       : nullptr;
    if (argument == "-h" || argument == "--help" || argument == "/?") {
      parsed->help = true;
    } else if (argument == "--version") {
      parsed->version = true;
    } else if (value != nullptr) {
      if (k + 1 >= arguments.size() || arguments[k + 1].empty()) return argument + " needs a value";
      if (!value->empty()) return argument + " given twice";
      *value = arguments[++k];
    } else if (argument.size() > 1 && argument[0] == '-') {
      return "unknown option " + argument;
    } else if (parsed->pack.manifest.empty()) {
      parsed->pack.manifest = argument;
    } else {
      return "more than one manifest: " + argument;
    }
  }
  return CheckArguments(*parsed);
}
}  // namespace

int RunPackCommand(const std::vector<std::string>& arguments) {
  Arguments parsed;
  std::string problem = ParseArguments(arguments, &parsed);
  if (!problem.empty()) return UsageError(problem);
  if (parsed.help) {
    PrintOut(kUsage);
    return 0;
  }
  if (parsed.version) {
    PrintOut(PACK_TOOL_NAME " " PACK_VERSION "\n");
    return 0;
  }
  if (!parsed.list.empty()) return ListPackage(parsed.list);
  if (!parsed.init.folder.empty()) return InitManifest(parsed.init);
  return PackInstaller(parsed.pack);
}
