// The two remembered port selections: list positions in the Receive from and Transmit
// to lists (0 is "(Choose a MIDI port)", -1 is nothing selected), and the names of the
// ports chosen, so that an interface whose position moved (plugged in again, another
// one added) is found again.
#pragma once

#include <optional>
#include <string>

#include "engine/host.h"
#include "engine/result.h"

namespace halden {

struct PortChoice {
    int input = -1;
    int output = -1;
    std::string inputName;  // empty when not known (a store written by another version)
    std::string outputName;
    bool operator==(const PortChoice&) const = default;
};

class PortSettings {
public:
    virtual ~PortSettings() = default;
    // True when both positions were read; a value read before a failure stays set.
    [[nodiscard]] virtual bool load(PortChoice& choice) = 0;
    // True when the choice is stored. A failure that the user should hear of is shown
    // by the store itself.
    [[nodiscard]] virtual bool save(const PortChoice& choice) = 0;
};

// What every store does around its own reads and writes. Every command saves, so the
// store is written only when something changed, and a failing write is told once, not
// at every command (a box at every focus change would bring up the next one as soon as
// it closes).
class StoredPortSettings : public PortSettings {
public:
    explicit StoredPortSettings(MessageBoxes& boxes) : boxes_(boxes) {}
    bool load(PortChoice& choice) final;
    bool save(const PortChoice& choice) final;

protected:
    // As load().
    virtual bool read(PortChoice& choice) = 0;
    // The failure's text says what could not be stored, and where.
    virtual Outcome write(const PortChoice& choice) = 0;
    // Where a store tells of a problem it found on its own (a file it will not use).
    MessageBoxes& boxes() { return boxes_; }

private:
    MessageBoxes& boxes_;
    std::optional<PortChoice> stored_;  // what the store holds, when known
    bool failing_ = false;              // the last write failed and was told
};

}  // namespace halden
