// A crash-point run of the daemon: a copy of build/liron36d against a database server of the
// run's own and both simulators on pseudo-terminals, killed with SIGKILL at moments drawn from
// a seed and started again each time: while it records, while the server is away (stopped,
// or read-only for the daemon's account) and shortly after the server's return, while the
// spool is forwarded. After the last kill it runs with the server up until its spool is empty,
// ends with SIGTERM, and the records are reconciled (crash_reconcile.h). Exit code 1 when a
// check fails, 2 when the run itself could not be set up; the seed is printed either way.
//
//   crash_test [--seed S] [--kills N] [--minutes M]
//     --seed S     the schedule of kills and outages (default: a random one)
//     --kills N    kills of the daemon (default 200)
//     --minutes M  ends the kills early so that the whole run takes about M minutes
//
// The same seed gives the same schedule of delays and outages; the daemon's own timing
// within it differs from run to run.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "crash_reconcile.h"
#include "plant_setup.h"
#include "spool/sqlite_db.h"
#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/test_db.h"

namespace liron::crash {
namespace {

using Clock = std::chrono::steady_clock;
using test::TestDb;

std::atomic<bool> g_interrupted{false};
void OnInterrupt(int) { g_interrupted = true; }

// Sleeps; false when the run was interrupted (SIGINT, SIGTERM) meanwhile.
bool Nap(double seconds) {
  const auto until = Clock::now() + std::chrono::microseconds(static_cast<long>(seconds * 1e6));
  while (!g_interrupted && Clock::now() < until)
    std::this_thread::sleep_for(std::min<Clock::duration>(until - Clock::now(),
                                                          std::chrono::milliseconds(50)));
  return !g_interrupted;
}

double Since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

// The schedule's random numbers: one 64-bit generator, the same sequence for the same seed on
// every machine (no library distribution in between).
class Draws {
 public:
  explicit Draws(uint64_t seed) : rng_(seed) {}
  double Uniform(double lo, double hi) {
    return lo + (hi - lo) * static_cast<double>(rng_() >> 11) * 0x1.0p-53;
  }
  bool Chance(double p) { return Uniform(0, 1) < p; }

 private:
  std::mt19937_64 rng_;
};

struct Options {
  uint64_t Seed = 0;
  int Kills = 200;
  double Minutes = 0;  // 0: no bound
};

bool ParseOptions(int argc, char** argv, Options* o) {
  bool seeded = false;
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string a = argv[i];
      if (i + 1 >= argc) return false;
      const std::string v = argv[++i];
      size_t used = 0;
      if (a == "--seed") {
        o->Seed = std::stoull(v, &used);
        seeded = true;
      } else if (a == "--kills") {
        o->Kills = std::stoi(v, &used);
      } else if (a == "--minutes") {
        o->Minutes = std::stod(v, &used);
      } else {
        return false;
      }
      if (used != v.size()) return false;
    }
  } catch (const std::exception&) {
    return false;
  }
  if (!seeded) {
    std::random_device dev;
    o->Seed = (static_cast<uint64_t>(dev()) << 32) ^ dev();
  }
  return o->Kills >= 0 && o->Minutes >= 0;
}

// The daemon's account: the service role of sql/accounts.sql, no SUPER, so that read_only
// holds for it as it does for the station's account on a plant's server.
constexpr char kLogin[] = "crash_station";
constexpr char kPassword[] = "crash-pw";

bool MakeAccount(std::string* error) {
  TestDb& db = TestDb::Get();
  const std::string load = "mariadb --defaults-file='" + db.Info().Dir + "/client.cnf' < '" +
                           LIRON_SOURCE_DIR + "/sql/accounts.sql'";
  if (std::system(load.c_str()) != 0) {
    *error = "sql/accounts.sql did not load";
    return false;
  }
  const std::string user = std::string("'") + kLogin + "'@'localhost'";
  for (const std::string& sql :
       {"CREATE USER IF NOT EXISTS " + user + " IDENTIFIED BY '" + kPassword + "'",
        "GRANT liron36_service TO " + user, "SET DEFAULT ROLE liron36_service FOR " + user}) {
    if (!db.Exec(sql)) {
      *error = "cannot make the account: " + sql;
      return false;
    }
  }
  return true;
}

// G_1T1 units per counter unit: the gain of the totaliser's table as the daemon takes it (the
// first and last points by AVal) times the link's scale, the counter's readings being in
// hundredths of its unit. 0 when the table gives none.
double CounterFactor() {
  const TSqlRows rows =
      TestDb::Get().Query("select AVal, FVal from kalibr where SignalName='G_1T1' order by AVal");
  if (rows.Rows.size() < 2) return 0;
  double a0 = 0, f0 = 0, a1 = 0, f1 = 0;
  if (!rows.Rows.front()[0].AsDouble(&a0) || !rows.Rows.front()[1].AsDouble(&f0) ||
      !rows.Rows.back()[0].AsDouble(&a1) || !rows.Rows.back()[1].AsDouble(&f1) || a1 == a0)
    return 0;
  const double gain = (f1 - f0) / (a1 - a0);
  const double factor = gain * 0.01;
  std::printf("totaliser G_1T1: kalibr (%g, %g) .. (%g, %g), gain g = %g; a counter unit "
              "books g x 0.01 = %g of G_1T1\n",
              a0, f0, a1, f1, gain, factor);
  return factor;
}

// Rows of a spool table; -1 when the file is not there or cannot be read.
long long SpoolCount(const std::string& path, const char* table) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return -1;
  TSqliteDb spool;
  std::string error;
  if (!spool.Open(path, &error)) return -1;
  TSqliteStmt count(spool, (std::string("select count(*) from ") + table).c_str());
  return count.Step() ? count.Int(0) : -1;
}

// The copy of the daemon the run starts and kills.
class Daemon {
 public:
  Daemon(std::string exe, const test::TestPlant& plant) : exe_(std::move(exe)), plant_(plant) {}

  bool Start() {
    child_ = std::make_unique<test::ChildProcess>();
    ++starts_;
    return child_->Start({exe_, "--headless", "--home", plant_.home.path()},
                         plant_.home.File("daemon.out"));
  }
  // SIGKILL; false with *why when it had already ended by itself.
  bool Kill(std::string* why) {
    if (!child_->Running()) {
      int status = 0;
      child_->Wait(0, &status);
      *why = "the daemon had ended by itself (wait status " + std::to_string(status) + ")";
      return false;
    }
    child_->Signal(SIGKILL);
    child_->Wait(5000);
    return true;
  }
  // SIGTERM, as the session's end; true when it ended with exit code 0 within 15 s.
  bool Terminate(std::string* why) {
    int status = -1;
    if (!child_->Signal(SIGTERM) || !child_->Wait(15000, &status)) {
      *why = "the daemon did not end on SIGTERM";
      return false;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      *why = "the daemon ended with wait status " + std::to_string(status);
      return false;
    }
    return true;
  }
  bool Running() { return child_ && child_->Running(); }
  int starts() const { return starts_; }

 private:
  std::string exe_;
  const test::TestPlant& plant_;
  std::unique_ptr<test::ChildProcess> child_;
  int starts_ = 0;
};

// The outages of the server: stopped (its process ended, data kept) or read-only.
class Outages {
 public:
  enum Kind { kNone, kStopped, kReadOnly };
  Kind now() const { return now_; }
  const char* Name() const { return now_ == kStopped ? "stopped" : "read-only"; }
  bool Begin(Kind k) {
    now_ = k;
    ++count_;
    return k == kStopped ? TestDb::Get().StopServer()
                         : TestDb::Get().Exec("SET GLOBAL read_only=1");
  }
  bool End() {
    const Kind was = now_;
    now_ = kNone;
    if (was == kNone) return true;
    return was == kStopped ? TestDb::Get().StartServer()
                           : TestDb::Get().Exec("SET GLOBAL read_only=0");
  }
  int count() const { return count_; }

 private:
  Kind now_ = kNone;
  int count_ = 0;
};

class Run {
 public:
  Run(const Options& o, test::TestPlant& plant, Daemon& daemon)
      : opt_(o), draws_(o.Seed), plant_(plant), daemon_(daemon) {}

  // The kills; false when the run could not go on (printed).
  bool Kills();
  // With the server up: waits until the spool is empty, last_state current and pu_data holds
  // three minutes at least (two to reconcile the totaliser over).
  bool Settle();
  int kills() const { return kills_; }
  int own_ends() const { return own_ends_; }

 private:
  bool Late() const {
    // Room for the settling, the end and the reconciliation.
    return opt_.Minutes > 0 && Since(started_) > opt_.Minutes * 60 - 100;
  }
  // After the server's return: a moment drawn from the return, or from the daemon's first
  // forwarding; what it saw.
  std::string WhileForwarding(const std::string& outage);
  long long Spool() const { return SpoolCount(plant_.home.File("spool.db"), "record"); }

  const Options& opt_;
  Draws draws_;
  test::TestPlant& plant_;
  Daemon& daemon_;
  Outages outages_;
  Clock::time_point started_ = Clock::now();
  int kills_ = 0, own_ends_ = 0, down_lives_ = 0;
};

std::string Fmt(const char* format, double a, double b = 0) {
  char buf[160];
  std::snprintf(buf, sizeof buf, format, a, b);
  return buf;
}

std::string Run::WhileForwarding(const std::string& outage) {
  const long long at_return = Spool();
  const auto returned = Clock::now();
  if (draws_.Chance(0.5)) {
    // Within a second of the return: before the daemon is back on the server, or while it
    // forwards the spool.
    Nap(draws_.Uniform(0, 1));
  } else {
    // Once it forwards (the spool shrinks, or last_state moves past the return), at once or
    // a moment later.
    const std::string back = TestDb::Get().Scalar("select now()");
    bool forwarding = false;
    while (!forwarding && Since(returned) < 15 && Nap(0.02)) {
      const long long n = Spool();
      forwarding = (at_return > 0 && n >= 0 && n < at_return) ||
                   TestDb::Get().Scalar("select RecMoment > '" + back + "' from last_state") == "1";
    }
    Nap(draws_.Chance(0.5) ? 0 : draws_.Uniform(0, 2.5));
  }
  return Fmt("%.2f s after the server came back", Since(returned)) + " (server " + outage + ")" +
         Fmt(", spool %.0f records then, %.0f now", static_cast<double>(at_return),
             static_cast<double>(Spool()));
}

bool Run::Kills() {
  started_ = Clock::now();
  while (kills_ < opt_.Kills && !Late() && !g_interrupted) {
    std::string when;
    if (outages_.now() == Outages::kNone) {
      if (draws_.Chance(0.55)) {
        // Mostly short lives, some long ones: 2 to 25 s, a third of them past 9 s.
        const double u = draws_.Uniform(0, 1), life = 2 + 23 * u * u;
        Nap(life);
        when = Fmt("while recording, %.1f s after its start", life);
      } else {
        const double before = draws_.Uniform(2, 8), into = draws_.Uniform(1, 10);
        const Outages::Kind kind = draws_.Chance(0.5) ? Outages::kStopped : Outages::kReadOnly;
        Nap(before);
        if (!outages_.Begin(kind)) {
          std::printf("cannot begin the outage (server %s)\n", outages_.Name());
          return false;
        }
        Nap(into);
        when = Fmt("%.1f s into an outage", into) + " (server " + outages_.Name() + ")";
        down_lives_ = 1;
      }
    } else if (down_lives_ < 3 && draws_.Chance(0.3)) {
      // Killed again before the server is back: a start without the server, killed in it.
      const double life = draws_.Uniform(1, 10);
      Nap(life);
      when = Fmt("%.1f s after its start, the outage going on", life) + " (server " +
             outages_.Name() + ")";
      ++down_lives_;
    } else {
      Nap(draws_.Uniform(1, 6));
      const std::string name = outages_.Name();
      if (!outages_.End()) {
        std::printf("cannot end the outage (server %s)\n", name.c_str());
        return false;
      }
      when = WhileForwarding(name);
    }
    if (g_interrupted) break;
    std::string why;
    if (!daemon_.Kill(&why)) {
      ++own_ends_;
      std::printf("kill %d: %s\n", kills_ + 1, why.c_str());
    }
    ++kills_;
    std::printf("kill %d/%d at %.0f s: %s\n", kills_, opt_.Kills, Since(started_), when.c_str());
    std::fflush(stdout);
    // A short downtime: no minute goes without a cycle because of it.
    Nap(draws_.Uniform(0.5, 2.5));
    if (!daemon_.Start()) {
      std::printf("cannot start the daemon again\n");
      return false;
    }
  }
  if (outages_.now() != Outages::kNone && !outages_.End()) {
    std::printf("cannot end the last outage\n");
    return false;
  }
  std::printf("%d kills in %.0f s, %d outages, %d starts\n", kills_, Since(started_),
              outages_.count(), daemon_.starts());
  return true;
}

bool Run::Settle() {
  const auto from = Clock::now();
  // The last start records: last_state written after it, not a record of the life before.
  const std::string started = TestDb::Get().Scalar("select now()");
  auto settled = [&] {
    return Spool() == 0 && TestDb::Get().Count("pu_data") >= 3 &&
           TestDb::Get().Scalar("select RecMoment > '" + started + "' from last_state") == "1" &&
           test::StateRecordAge() <= 2;
  };
  if (!test::PollUntil([&] { return g_interrupted || settled(); }, 150) || g_interrupted) {
    std::printf("the daemon did not settle in 150 s: spool %lld records, last_state %.0f s "
                "old, %lld pu_data rows\n",
                Spool(), test::StateRecordAge(),
                static_cast<long long>(TestDb::Get().Count("pu_data")));
    return false;
  }
  std::printf("spool empty, last_state current %.1f s after the last start\n", Since(from));
  // A few cycles more, so that the last minute's row has its latest update.
  Nap(5);
  return true;
}

std::string g_work_dir;
void RemoveWorkDir() {
  std::error_code ec;
  std::filesystem::remove_all(g_work_dir, ec);
}

std::string Tail(const std::string& text, size_t bytes) {
  return text.size() <= bytes ? text : text.substr(text.size() - bytes);
}

// The run on a plant that is set up: 0 when every check held, 1 when one failed, 2 when the
// run could not be made.
int RunPlant(const Options& opt, test::TestPlant& plant, const test::TempDir& work) {
  namespace fs = std::filesystem;
  plant.settings.Login = kLogin;
  plant.settings.Password = kPassword;
  std::string error;
  if (!plant.WriteIni(&error)) {
    std::printf("cannot write the INI: %s\n", error.c_str());
    return 2;
  }
  const double factor = CounterFactor();
  if (!(factor > 0)) {
    std::printf("the plan gives the totaliser no positive gain\n");
    return 2;
  }
  // A copy under a name of its own: the program runs once per executable name, and the suite
  // or another user may run build/liron36d meanwhile.
  const std::string exe = work.File("liron36d-crash-" + std::to_string(getpid()));
  std::error_code ec;
  fs::copy_file(LIRON_DAEMON_PROGRAM, exe, fs::copy_options::overwrite_existing, ec);
  if (ec) {
    std::printf("cannot copy %s: %s\n", LIRON_DAEMON_PROGRAM, ec.message().c_str());
    return 2;
  }
  Daemon daemon(exe, plant);
  auto recording = [] {
    return TestDb::Get().Count("pu_data") >= 1 && test::StateRecordAge() <= 3;
  };
  if (!daemon.Start() || !test::PollUntil(recording, 45)) {
    std::printf("the copy %s records nothing within 45 s\n%s\n%s%s\n", exe.c_str(),
                Tail(test::ReadFileBytes(plant.home.File("daemon.out")), 2000).c_str(),
                Tail(plant.EventLog(), 3000).c_str(), test::RunningCopies().c_str());
    return 2;
  }
  std::printf("the daemon records (%s)\n", exe.c_str());

  Run run(opt, plant, daemon);
  if (!run.Kills()) return 2;
  std::vector<std::string> failures;
  if (!run.Settle()) failures.push_back("the daemon did not settle");
  if (run.own_ends() > 0) failures.push_back("the daemon ended by itself");
  const double age_at_end = test::StateRecordAge();
  const auto term = Clock::now();
  if (!daemon.Terminate(&error)) failures.push_back(error);
  std::printf("SIGTERM: last_state %.0f s old as it was sent, the daemon ended in %.1f s\n",
              age_at_end, Since(term));
  if (g_interrupted) {
    std::printf("interrupted\n");
    return 2;
  }

  ReconcileInput in;
  in.CounterFactor = factor;
  in.Handed = test::Totals(plant.v120_log);
  in.StateAge = test::StateRecordAge();
  in.SpoolRecords = SpoolCount(plant.home.File("spool.db"), "record");
  in.SpoolSetAside = SpoolCount(plant.home.File("spool.db"), "set_aside");
  ReconcileResult res = Reconcile(in);
  res.Failures.insert(res.Failures.begin(), failures.begin(), failures.end());
  std::printf("summary: seed %llu, %d kills; minutes %lld expected, %lld present, %lld missing, "
              "%lld doubled; G_1T1 rows 2..n %.4f against %.4f from I_1T1, all rows %.4f against "
              "%.4f from the readings handed out; journal %lld records, %lld duplicates\n",
              static_cast<unsigned long long>(opt.Seed), run.kills(), res.MinutesExpected,
              res.MinutesPresent, res.MinutesMissing, res.MinutesDoubled, res.Booked,
              res.FromCounter, res.BookedAll, res.FromFirstReading, res.JournalRows,
              res.JournalDuplicates);
  for (const std::string& f : res.Failures) std::printf("FAILED: %s\n", f.c_str());
  if (!res.Ok())
    std::printf("replay: scripts/crash-test --seed %llu --kills %d%s\n",
                static_cast<unsigned long long>(opt.Seed), opt.Kills,
                opt.Minutes > 0 ? Fmt(" --minutes %g", opt.Minutes).c_str() : "");
  return res.Ok() ? 0 : 1;
}

int Main(int argc, char** argv) {
  Options opt;
  if (!ParseOptions(argc, argv, &opt)) {
    std::fprintf(stderr, "usage: crash_test [--seed S] [--kills N] [--minutes M]\n");
    return 2;
  }
  const auto started = Clock::now();
  const std::string bound = opt.Minutes > 0 ? Fmt(", about %.0f minutes at most", opt.Minutes) : "";
  std::printf("crash_test: seed %llu, %d kills%s\n", static_cast<unsigned long long>(opt.Seed),
              opt.Kills, bound.c_str());
  std::fflush(stdout);
  signal(SIGINT, OnInterrupt);
  signal(SIGTERM, OnInterrupt);

  // A database server of this run's own, in its work folder: the shared test server and its
  // tables stay untouched, and this one may be stopped at will.
  test::TempDir work;
  setenv("LIRON_TEST_DB", work.File("db").c_str(), 1);
  // The server stops before its folder goes. TestDb stops it once more as the program ends,
  // and that makes the folder again: it goes for good after that, at exit (registered before
  // TestDb exists, so called after it is destroyed).
  g_work_dir = work.path();
  std::atexit(RemoveWorkDir);
  struct ServerEnd {
    ~ServerEnd() { TestDb::Get().StopServer(); }
  } server_end;
  int code = 2;
  {
    test::TestPlant plant;
    std::string error;
    if (!TestDb::Get().Ready()) {
      std::printf("no database server: %s\n", TestDb::Get().Error().c_str());
    } else if (!plant.Start(&error) || !MakeAccount(&error)) {
      std::printf("cannot set up the plant: %s\n", error.c_str());
    } else {
      code = RunPlant(opt, plant, work);
    }
  }
  std::printf("crash_test: seed %llu: %s after %.0f s\n", static_cast<unsigned long long>(opt.Seed),
              code == 0 ? "every check held" : code == 1 ? "FAILED" : "could not run",
              Since(started));
  return code;
}

}  // namespace
}  // namespace liron::crash

int main(int argc, char** argv) { return liron::crash::Main(argc, argv); }
