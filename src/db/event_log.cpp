#include "db/event_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <filesystem>

#include "platform/codec.h"
#include "platform/datetime.h"

namespace liron {

std::string FormatLogLine(uint32_t tick_seconds, TDateTime moment, const std::string& text) {
  return std::to_string(tick_seconds) + " | " + FormatDateTime("dd.mm.yyyy", moment) + " | " +
         FormatDateTime("hh:nn:ss", moment) + " | " + text;
}

std::string LogFileName(const std::string& log_dir, TDateTime day) {
  return log_dir + "/" + FormatDateTime("yyyy_mm_dd", day) + ".log";
}

bool AppendLogLine(const std::string& log_dir, TDateTime now, const std::string& line) {
  try {
    std::error_code ec;
    std::filesystem::create_directories(log_dir, ec);
    const std::string bytes = Utf8ToCp1251(line) + "\r\n";
    const int fd = ::open(LogFileName(log_dir, now).c_str(),
                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ::close(fd);
        return false;
      }
      done += static_cast<size_t>(n);
    }
    return ::close(fd) == 0;
  } catch (const std::exception&) {
    return false;
  }
}

int DrainEventsToLog(TEventFIFO& events, const std::string& log_dir, bool save, Clock& clock) {
  int taken = 0;
  for (int i = 0; i < kEventsPerDrain; ++i) {
    std::string text;
    TDateTime moment = 0;
    uint32_t tick_seconds = 0;
    if (!events.Pop(text, moment, tick_seconds)) break;
    ++taken;
    if (save) AppendLogLine(log_dir, clock.Now(), FormatLogLine(tick_seconds, moment, text));
  }
  return taken;
}

}  // namespace liron
