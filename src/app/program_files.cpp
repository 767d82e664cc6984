#include "app/program_files.h"

#include <unistd.h>

#include <filesystem>
#include <vector>

#include "platform/process_list.h"

namespace liron {

namespace fs = std::filesystem;

namespace {

std::string Beside(const std::string& exe, const char* name) {
  return (fs::path(exe).parent_path() / name).string();
}

}  // namespace

std::string PartnerProgram(const std::string& exe) {
  const std::string name = UpperFileName(fs::path(exe).filename().string());
  if (name == UpperFileName(kWindowProgramName)) return Beside(exe, kDaemonProgramName);
  if (name == UpperFileName(kDaemonProgramName)) return Beside(exe, kWindowProgramName);
  return "";
}

int CountProgramCopies(const std::string& exe) {
  const std::string partner = PartnerProgram(exe);
  return CountRunningCopies(exe) + (partner.empty() ? 0 : CountRunningCopies(partner));
}

void HandOverToDaemon(const std::string& exe, char** argv) {
  if (exe.empty()) return;
  std::string daemon = Beside(exe, kDaemonProgramName);
  if (::access(daemon.c_str(), X_OK) != 0) return;
  std::vector<char*> args{daemon.data()};
  for (char** a = argv + 1; *a != nullptr; ++a) args.push_back(*a);
  args.push_back(nullptr);
  ::execv(daemon.c_str(), args.data());
}

}  // namespace liron
