// The six setting actions, without any window: inputs in, the outcome to show out.
#pragma once

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
    protocol::OptionStates options = protocol::defaultOptionStates(); // read by StoreSetting
    // Ask for the status first and send nothing to a printer that is not ready.
    bool verify = false;
    int statusWaitMillis = kDefaultStatusWaitMillis;
    // The device library's bounds for this exchange; 0 keeps its defaults.
    int connectMillis = 0;
    int writeMillis = 0;
    // DRIVER: how long to wait for the queue to deliver the job (0: the queue taking it is enough).
    int deliveryWaitMillis = 0;
};

enum class OutcomeKind { Message, Silent, Quit };
enum class MessageIcon { Information, Error };

struct Outcome {
    OutcomeKind kind = OutcomeKind::Silent;
    std::string title; // "info" or "error"
    MessageIcon icon = MessageIcon::Information;
    std::string text;   // the message itself
    std::string detail; // the reason, when there is one
    device::FailKind failKind = device::FailKind::Ok;
    device::Stage stage = device::Stage::Close;
    std::optional<device::StatusReading> status; // what verify read
    std::optional<device::QueueStatus> queue;    // status of a DRIVER target: the queue's
    bool succeeded() const { return kind != OutcomeKind::Message || icon != MessageIcon::Error; }
};

inline constexpr const char *kOpenFailed = "Fail to open port,please check!";
inline constexpr const char *kWriteFailed = "Fail to write to port,please check!";
inline constexpr const char *kRestartFirst = "Please Restart Printer First!";
inline constexpr const char *kRestart = "Please Restart Printer.";
inline constexpr const char *kNotReady = "Printer is not ready,please check!";

// A message box outcome: title from the icon ("error" or "info").
Outcome messageOutcome(MessageIcon icon, std::string text, std::string detail = {});

// Everything that is particular to one action: the window's button, posdip-cli's subcommand and
// its help, the frame, the document's name and what is said once the printer took the frame.
struct ActionEntry {
    const char *caption;    // the button's caption; the document is named "posdip: <caption>"
    const char *subcommand; // posdip-cli's word for it; "" when it has none
    const char *summary;    // posdip-cli's one line about it
    const char *sends;      // how posdip-cli's help names the frame
    const char *success;    // said after the printer took the frame; nullptr: nothing
    protocol::Frame (*frame)(const protocol::OptionStates &options); // empty for Close
    bool quits = false;                                              // Close: ends the program
};

const ActionEntry &actionEntry(Action action);

// The frame an action sends (empty for Close).
protocol::Frame frameFor(Action action, const protocol::OptionStates &options);

// The caption of the action's button, also the document name of what it sends.
const char *actionName(Action action);

Outcome runAction(Action action, const ActionInputs &in, device::PosdllFuncs &lib);

// Opens the port, reads the printer's status and closes it: succeeded() only when the printer
// answered and is ready; the reading is in status whenever the printer answered.
Outcome checkStatus(const ActionInputs &in, device::PosdllFuncs &lib);
// The outcome of a port that could not be opened, of a status reading (as checkStatus), and of
// a send whose write transaction failed (as runAction): for callers that do these steps their
// own way.
Outcome openFailure(std::string reason, device::FailKind kind);
Outcome statusOutcome(device::StatusReading reading);
Outcome writeFailure(const device::WriteResult &w);

// A success that only means a print queue took the job: nobody waited for it to be delivered.
bool onlySpooled(const ActionInputs &in, const Outcome &outcome);

} // namespace app
