// The six setting actions, without any window: inputs in, the Result out.
#pragma once

#include "app/result.h"
#include "device/PosdllFuncs.h"
#include "device/port_access.h"
#include "device/printers.h"
#include "device/status_query.h"
#include "protocol/setting_byte.h"

#include <optional>
#include <string>

namespace app {

// How long an action waits for the printer's status, unless told otherwise.
inline constexpr int kDefaultStatusWaitMillis = 2000;

enum class Action { EnableDip, DisableDip, RestoreDefault, StoreSetting, PrintSelfTest, Close };

struct ActionInputs {
    device::PortInputs port;
    protocol::SettingChoices choices = protocol::defaultChoices(); // read by StoreSetting
    // Ask for the status first and send nothing to a printer that is not ready (a print queue:
    // the queue's state and what its server knows of the printer).
    bool verify = false;
    int statusWaitMillis = kDefaultStatusWaitMillis;
    // The device library's bounds for this exchange; 0 keeps its defaults.
    int connectMillis = 0;
    int writeMillis = 0;
    // DRIVER: how long to wait for the queue to deliver the job (0: the queue taking it is enough).
    int deliveryWaitMillis = 0;
};

// Everything that is particular to one action: the window's button, posdip-cli's subcommand and
// its help, the frame, the document's name and what is said once the printer took the frame.
struct ActionEntry {
    const char *caption;    // the button's caption; the document is named "posdip: <caption>"
    const char *subcommand; // posdip-cli's word for it; "" when it has none
    const char *summary;    // posdip-cli's one line about it
    const char *sends;      // how posdip-cli's help names the frame
    const char *success;    // said after the printer took the frame; nullptr: nothing
    protocol::Frame (*frame)(const protocol::SettingChoices &choices); // empty for Close
    bool quits = false;                                                // Close: ends the program
};

const ActionEntry &actionEntry(Action action);

// The frame an action sends (empty for Close).
protocol::Frame frameFor(Action action, const protocol::SettingChoices &choices);

// The caption of the action's button, also the document name of what it sends.
const char *actionName(Action action);

// Sends the action's frame; a success that only means a print queue took the job (nobody waited
// for its delivery) is of kind Spooled.
Result runAction(Action action, const ActionInputs &in, device::PosdllFuncs &lib);

// Opens the port, reads the printer's status and closes it: succeeded() only when the printer
// answered and is ready; the reading is in status whenever the printer answered.
Result checkStatus(const ActionInputs &in, device::PosdllFuncs &lib);
// The result of a status reading (as checkStatus gives it) and of a send whose write transaction
// failed (as runAction gives it): for callers that do these steps their own way.
Result statusResult(device::StatusReading reading);
Result writeFailure(const device::WriteResult &w);

// As checkStatus, and then, when the printer answered, asks who it is (identity).
Result identifyPrinter(const ActionInputs &in, device::PosdllFuncs &lib);

} // namespace app
