// The two remembered port selections: list positions in the Receive from and Transmit
// to lists (0 is "(Choose a MIDI port)", -1 is nothing selected).
#pragma once

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

}  // namespace halden
