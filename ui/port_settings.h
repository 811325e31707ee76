// The two remembered port selections: list positions in the Receive from and Transmit
// to lists (0 is "(Choose a MIDI port)", -1 is nothing selected).
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "engine/host.h"

namespace halden {

class PortSettings {
public:
    virtual ~PortSettings() = default;
    // True when both values were read; a value read before a failure stays set.
    [[nodiscard]] virtual bool load(int& input, int& output) = 0;
    // True when both values are stored. A failure that the user should hear of is shown
    // by the store itself.
    [[nodiscard]] virtual bool save(int input, int output) = 0;
};

// What every store does around its own reads and writes. Every command saves, so the
// store is written only when something changed, and a failing write is told once, not
// at every command (a box at every focus change would bring up the next one as soon as
// it closes).
class StoredPortSettings : public PortSettings {
public:
    explicit StoredPortSettings(MessageBoxes& boxes) : boxes_(boxes) {}
    bool load(int& input, int& output) final;
    bool save(int input, int output) final;

protected:
    // As load().
    virtual bool read(int& input, int& output) = 0;
    // Empty when both values were written; else the text to tell the user, or an empty
    // text in `why` for a store that cannot be opened at all (nothing is said).
    struct WriteFailure {
        std::string why;
    };
    virtual std::optional<WriteFailure> write(int input, int output) = 0;

private:
    MessageBoxes& boxes_;
    std::optional<std::pair<int, int>> stored_;  // what the store holds, when known
    bool failing_ = false;                       // the last write failed and was told
};

}  // namespace halden
