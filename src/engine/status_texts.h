// The texts the window, the tray and "systemctl status" show, made from plain values so that
// each can be checked without a running service.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "image/process_image.h"
#include "platform/clock.h"

namespace liron {

extern const char kAppTitle[];    // "Служба приема ЛИРОН-36"
extern const char kAppCaption[];  // "Служба приема ЛИРОН-36  1.20"
// Caption and tray hint carry it while either emulator is on: entered values are recorded.
extern const char kEmulationMark[];  // "*** ЭМУЛЯЦИЯ ***"

// What the status line tells. Only the fields of the start-up's stage are read: the server
// while the start-up waits for it, the rest once it no longer does.
struct TStatusInputs {
  bool LoadingSettings = false;   // the INI is not read yet
  bool WaitingForServer = false;  // the start-up opens the user connection, not on the copy
  std::string Server;             // the INI's host
  std::string ServerError;        // the last attempt's error, empty before the first failure
  TDateTime LastRecord = 0;       // the last good cycle's records; 0 when none
  int64_t SpoolRecords = 0;       // records waiting in the spool
  TDateTime SpoolOldest = 0;      // the oldest one's moment
  bool ControlAlive = false;      // the control thread runs
  bool WorkOpen = false;          // its work connection is held
  int32_t Cycles = 0;
  int32_t CycleErrors = 0;
};

// What "systemctl status" shows: what the service waits for, or its cycles and last record,
// and the records waiting in the spool when there are any.
std::string StatusLine(const TStatusInputs& in);

// The spool's depth: "0", or "N (с dd.mm.yyyy hh:nn:ss)" with the oldest record's moment.
std::string SpoolDepthText(int64_t records, TDateTime oldest);

// "hh:nn:ss", "dd hh:nn:ss" past a day; empty while stopped.
std::string RunningTimeText(bool running, TDateTime now, TDateTime started);

// The module status grid of the current-state tab: 4 rows of 3 cells.
struct TModuleGrid {
  std::string Cells[4][3];
};
struct TModuleState {
  TDateTime LastOk = 0;  // the last successful poll; 0 when none
  int32_t Errors = 0;
};
TModuleGrid ModuleGrid(const std::array<TModuleState, kModuleCount>& modules);

std::string TrayHint(bool running, bool emulating);
std::string Caption(bool emulating);  // the window's caption

}  // namespace liron
