// Switches the whole process, C and C++ alike, to a Russian locale whose decimal separator is
// a comma, as on the plant's workstations, and back to "C" at the end of the scope. When the
// machine has no such locale installed, it is generated once with localedef into the build
// folder and found through LOCPATH.
#pragma once

#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <locale>
#include <stdexcept>
#include <string>

namespace liron::test {

class CommaLocale {
 public:
  static constexpr const char* kName = "ru_RU.UTF-8";

  CommaLocale() {
    if (!TryGlobal() && Generate()) TryGlobal();
    if (!active_ && error_.empty()) error_ = "no locale with a decimal comma";
  }
  ~CommaLocale() {
    std::locale::global(std::locale::classic());
    std::setlocale(LC_ALL, "C");
  }
  CommaLocale(const CommaLocale&) = delete;
  CommaLocale& operator=(const CommaLocale&) = delete;

  // True once printf and the C++ streams both write 1.5 as "1,5".
  bool Active() const { return active_; }
  const std::string& Error() const { return error_; }

 private:
  bool TryGlobal() {
    try {
      std::locale::global(std::locale(kName));
    } catch (const std::runtime_error&) {
      return false;
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.1f", 1.5);
    active_ = std::string(buf) == "1,5" &&
              std::use_facet<std::numpunct<char>>(std::locale()).decimal_point() == ',';
    return active_;
  }

  bool Generate() {
    namespace fs = std::filesystem;
    const fs::path root = fs::path(LIRON_BINARY_DIR) / "testlocale";
    const fs::path target = root / kName;
    std::error_code ec;
    if (!fs::exists(target / "LC_NUMERIC", ec)) {
      // Built beside the target and renamed, so programs running at once never see half of it.
      fs::create_directories(root, ec);
      const fs::path tmp = root / ("tmp." + std::to_string(getpid()));
      const std::string cmd = "localedef -i ru_RU -f UTF-8 '" + tmp.string() + "' >/dev/null 2>&1";
      const int rc = std::system(cmd.c_str());
      if (!fs::exists(tmp / "LC_NUMERIC", ec)) {
        error_ = "localedef failed (" + std::to_string(rc) + ")";
        fs::remove_all(tmp, ec);
        return false;
      }
      fs::rename(tmp, target, ec);
      if (ec) fs::remove_all(tmp, ec);  // another program was faster
    }
    setenv("LOCPATH", root.c_str(), 1);
    return true;
  }

  bool active_ = false;
  std::string error_;
};

}  // namespace liron::test
