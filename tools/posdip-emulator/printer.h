// The emulated printer's answer to each frame: what it prints, the byte it sends back, what it
// keeps. Pure: the main loop does the reading and writing.
#pragma once

#include "page.h"
#include "printer_state.h"
#include "protocol/frames.h"
#include "protocol/printer_id.h"
#include "protocol/status.h"

#include <optional>
#include <string>
#include <vector>

namespace emulator {

struct Reply {
    std::vector<std::string> lines;   // the frame's line, then the page it printed, if any
    std::vector<std::uint8_t> answer; // to send back to the sender; empty for none
    bool stateChanged = false;
};

// What the printer tells of itself when asked GS I n (n = 65 and up); a field left empty goes
// unanswered, as a printer that lacks it leaves it.
struct Identity {
    std::string firmware = "1.00";
    std::string maker = "Emulated Printers";
    std::string model = "EMU-80";
    std::string serial = "EMU0000001";
    std::string characterSet = "PC437";
};

struct PrinterSetup {
    PrinterState state;
    protocol::PrinterCondition condition;
    std::optional<Identity> identity; // none: GS I goes unanswered
    bool silent = false;              // status requests go unanswered
    bool hex = false;                 // frame lines show the frame's bytes
};

class Printer {
  public:
    explicit Printer(const PrinterSetup &setup) : m_setup(setup) {}

    Reply take(const protocol::Frame &frame);
    const PrinterState &state() const { return m_setup.state; }

    // A printer that could not keep its state is off-line until it can, so whoever checks its
    // status before relying on it sees that.
    void setUnsaved(bool unsaved) { m_unsaved = unsaved; }
    protocol::PrinterCondition condition() const;

  private:
    std::vector<std::string> selfTestPage() const;
    // The reply to GS I n, empty when the printer gives none.
    std::vector<std::uint8_t> idReply(protocol::IdRequest request) const;

    PrinterSetup m_setup;
    bool m_unsaved = false;
};

} // namespace emulator
