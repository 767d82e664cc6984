// LoadSignals: builds the signal plan and the calibration tables from the database over the
// user connection. An empty `signal` table gets the default plan built from the columns of
// pu_data, stored back into `signal`; a signal without calibration points gets the identity
// line (0, 0), (100, 100), stored into kalibr.
#pragma once

#include <string>
#include <vector>

#include "db/mysql_connection.h"
#include "image/process_image.h"
#include "platform/event_fifo.h"

namespace liron {

extern const char kTooManySignals[];  // "### Слишком много сигналов ###"

// Calibration points a row may use: the lookup treats 512 and more as no table at all.
constexpr int kMaxUsableCalibPoints = kMaxCalibPoints - 1;

// Rebuilds image.Signals, SignalCount, SignalNames and the missing Averages. Call only while
// the control thread is stopped. The new plan replaces the old one only when everything was
// read: on a database error it returns false with the server's text in *error and the old
// plan stays in force. More than 100 rows in `signal`: the event kTooManySignals, the plan
// unchanged, and true. A row whose name is not a plain identifier (it is used as a column
// name) is left out of the plan with the event "### Недопустимое имя сигнала: <name> ###".
// calib_names, when given, receives the SignalName of every row of a newly loaded plan, in
// row order (the list of the calibration tab).
bool LoadSignals(TMySQLConnection& conn, TProcessImage& image, TEventFIFO& events,
                 std::string* error, std::vector<std::string>* calib_names = nullptr);

// Whether a signal's name may stand as a column name in the records: a plain identifier
// (IsPlainIdentifier). Otherwise false, with the event "### Недопустимое имя сигнала: <name> ###".
// Every row of a plan passes here, from the server's load or from the saved copy.
bool AcceptSignalName(const std::string& name, TEventFIFO& events);

// The two halves of LoadSignals. ReadSignals reads the plan and its calibrations into *plan
// without touching the image; with too many rows it posts kTooManySignals, sets *too_many and
// leaves *plan as it was. InstallSignals makes a plan the one in force (the control thread
// stopped).
bool ReadSignals(TMySQLConnection& conn, TEventFIFO& events, std::string* error,
                 std::vector<TSignalSet>* plan, bool* too_many);
void InstallSignals(TProcessImage& image, std::vector<TSignalSet> plan,
                    std::vector<std::string>* calib_names = nullptr);

}  // namespace liron
