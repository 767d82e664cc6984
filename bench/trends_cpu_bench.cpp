// CPU of the "Тренды" tab: the whole window with its timers and the control thread cycling
// against the private database server (the emulator reads a slowly swinging plant), the last
// hour of the ring full, four curves chosen. The process's CPU time (all threads) is measured
// over the same length twice: with the static "Настройки" tab shown (the trends tab hidden),
// then with the trends tab shown. Target: the second at most 1 % of one core above the first.
// Prints one JSON document in the shape of Google Benchmark's, for bench/run.
//
//   trends_cpu_bench [--seconds N]   (each phase, default 300; 10 s of settling before each)
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "app/form_main.h"
#include "app/tab_settings.h"
#include "app/tab_trends.h"
#include "db/config_file.h"
#include "platform/recording_operator.h"
#include "support/temp_dir.h"
#include "support/test_db.h"

namespace liron {
namespace {

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

double WallSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

void RunEventLoop(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// Percent of one core the process used over seconds of running its event loop.
double MeasureShare(int seconds) {
  RunEventLoop(10000);  // settling: the tab's first draw, caches
  const double c0 = CpuSeconds(), w0 = WallSeconds();
  RunEventLoop(seconds * 1000);
  return (CpuSeconds() - c0) / (WallSeconds() - w0) * 100;
}

// The emulator's raw values: the plant swinging slowly, each signal in its own phase.
void SwingPlant(TProcessImage& img, double t) {
  for (int i = 0; i < img.SignalCount.load(); ++i)
    img.EmulValues.Set(i, 50 + 20 * std::sin(t / 300 + i) + 3 * std::sin(t / 7 + 2 * i));
}

int Run(int seconds) {
  test::TestDb& db = test::TestDb::Get();
  if (!db.Ready() || !db.ResetTables() || !db.LoadDemoPlan()) {
    std::fprintf(stderr, "trends_cpu_bench: no database: %s\n", db.Error().c_str());
    return 1;
  }
  test::TempDir home;
  TSettings s;
  s.Comp = db.Comp();
  s.Login = db.User();
  s.Password = db.Password();
  s.ModBUS_PortName = home.File("no-jumo-line");
  s.V120_PortName = home.File("no-v120-line");
  std::string error;
  if (!WriteConfig(home.File("liron36.INI"), s, &error)) {
    std::fprintf(stderr, "trends_cpu_bench: %s\n", error.c_str());
    return 1;
  }
  RecordingOperator op;
  Service service(home.path(), SystemClock(), op);
  TProcessImage& img = service.Image();
  TFormMain form(service);
  form.show();
  // The window's parts, by the names it gives them.
  auto* pages = form.findChild<QTabWidget*>(QStringLiteral("PageControl"));
  auto* settings = form.findChild<QWidget*>(QStringLiteral("TabSheetSettings"));
  auto* trends = form.findChild<TabTrends*>(QStringLiteral("TabSheetTrends"));
  if (!pages || !settings || !trends) {
    std::fprintf(stderr, "trends_cpu_bench: the window has no trends tab\n");
    return 1;
  }
  pages->setCurrentWidget(settings);
  for (int i = 0; i < 240 && img.SignalCount.load() == 0; ++i) RunEventLoop(250);  // start-up
  if (img.SignalCount.load() == 0) {
    std::fprintf(stderr, "trends_cpu_bench: the signal plan did not load\n");
    return 1;
  }

  // An hour of cycles in the ring before the control thread starts (the ring's one writer).
  const uint64_t now = SystemClock().MonotonicMs();
  for (int k = 0; k < TTrendRing::kSamples; ++k) {
    const double t = k - TTrendRing::kSamples;
    for (int i = 0; i < img.SignalCount.load(); ++i) {
      img.PhysValues.Set(i, 1.5 + 0.05 * std::sin(t / 300 + i));
      img.AvgValues.Set(i, 1.5 + 0.04 * std::sin(t / 300 + i));
    }
    img.Trends.Record(now + static_cast<uint64_t>(t * 1000), img.PhysValues, img.AvgValues, k % 600 != 0);
  }
  img.JumoEmul = true;
  img.V120Emul = true;
  SwingPlant(img, 0);
  QTimer swing;
  QObject::connect(&swing, &QTimer::timeout, [&] { SwingPlant(img, WallSeconds()); });
  swing.start(1000);
  service.OperatorStart();

  // The list of signals is made when the tab is first shown.
  pages->setCurrentWidget(trends);
  RunEventLoop(500);
  for (const char* name : {"PLS", "_PLSZ", "RAB", "TNK1"}) {
    QCheckBox* box = trends->SignalBox(QString::fromLatin1(name));
    if (!box) {
      std::fprintf(stderr, "trends_cpu_bench: no signal %s in the demo plan\n", name);
      return 1;
    }
    box->setChecked(true);
  }
  pages->setCurrentWidget(settings);

  std::fprintf(stderr, "trends_cpu_bench: %d s with the trends tab hidden...\n", seconds);
  const double hidden = MeasureShare(seconds);
  pages->setCurrentWidget(trends);
  std::fprintf(stderr, "trends_cpu_bench: %d s with the trends tab shown...\n", seconds);
  const double shown = MeasureShare(seconds);
  const int cycles = img.CycleCounter.load(), failed = img.CycleErrorCounter.load();
  service.OperatorStop();
  service.TestWaitControlEnded(5000);
  // The service made its home the current directory; the home goes before the server stops.
  if (chdir("/") != 0) std::perror("trends_cpu_bench: chdir /");

  std::printf(
      "{\"benchmarks\": [{\"name\": \"BM_TrendsTabCpu\", \"run_type\": \"iteration\", "
      "\"seconds\": %d, \"hidden_pct\": %.3f, \"shown_pct\": %.3f, \"cycles\": %d, "
      "\"failed_cycles\": %d, \"platform\": \"%s\"}]}\n",
      seconds, hidden, shown, cycles, failed, QApplication::platformName().toUtf8().constData());
  return 0;
}

}  // namespace
}  // namespace liron

int main(int argc, char** argv) {
  int seconds = 300;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--seconds=", 10) == 0)
      seconds = std::atoi(argv[i] + 10);
    else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
      seconds = std::atoi(argv[++i]);
  }
  QApplication app(argc, argv);
  return liron::Run(seconds > 0 ? seconds : 300);
}
