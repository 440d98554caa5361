// The message box the window shows for a Result: its title, icon, text and detail.
#pragma once

#include "app/actions.h"
#include "app/result.h"

#include <string>

namespace app {

enum class MessageKind { Box, Silent, Quit };
enum class MessageIcon { Information, Error };

struct Message {
    MessageKind kind = MessageKind::Silent;
    std::string title; // "info" or "error"
    MessageIcon icon = MessageIcon::Information;
    std::string text;   // the message itself
    std::string detail; // the reason, when there is one
};

inline constexpr const char *kOpenFailed = "Fail to open port,please check!";
inline constexpr const char *kWriteFailed = "Fail to write to port,please check!";
inline constexpr const char *kRestartFirst = "Please Restart Printer First!";
inline constexpr const char *kRestart = "Please Restart Printer.";
inline constexpr const char *kNotReady = "Printer is not ready,please check!";
inline constexpr const char *kCannotVerify = "This port cannot report the printer's status.";

// What the window says after `action` ended with `result`: a failure by the stage it ended in,
// a success by the action's own words (nothing for the self-test); Close quits.
Message messageFor(Action action, const Result &result);
// What is said of a status reading: a failure as a send's, a success with no words.
Message statusMessage(const Result &result);

} // namespace app
