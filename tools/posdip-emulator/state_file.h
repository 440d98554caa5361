// The state file behind --state: followed through symbolic links, locked against a second
// emulator, read at start and replaced whole after every change.
#pragma once

#include "printer_state.h"

#include "posdll/fd.h"

#include <optional>
#include <string>

namespace emulator {

class StateFile {
  public:
    // Opens, locks and reads the file; a missing one is written with the defaults. Empty when it
    // is no regular file of at most 64 KiB, is malformed, is locked by another emulator or
    // cannot be saved, with the file and the reason in *why.
    static std::optional<StateFile> open(const std::string &path, std::string *why);

    // What the file held when it was opened.
    const PrinterState &kept() const { return m_kept; }

    // Writes a temporary file beside the file the links lead to and renames it over that one,
    // so a reader or a crash never sees half a file. false with the file, its folder and the
    // reason in *why.
    bool save(const PrinterState &state, std::string *why);

  private:
    StateFile(std::string path, std::string target)
        : m_path(std::move(path)), m_target(std::move(target)) {}

    enum class Save { Replace, CreateOnly };
    // CreateOnly fails with EEXIST when the file is there already.
    int write(const PrinterState &state, Save how);
    // A temporary file in the target's folder; its name in *temp.
    posdll::Fd makeTemporary(std::string *temp) const;
    std::string cannotSave(int err) const;

    std::string m_path;   // as given
    std::string m_target; // where its links lead
    posdll::Fd m_locked;  // the file as it is now, locked for as long as the emulator runs
    PrinterState m_kept;
};

} // namespace emulator
