// The main window's behaviour, written once for every front end: command handling,
// the button rules, Connect and Update. A front end draws the controls, forwards every
// notification as (control, notification), and implements the small view below.
#pragma once

#include <string>
#include <vector>

#include "app/control_ids.h"
#include "app/history.h"
#include "app/port_settings.h"
#include "engine/device.h"
#include "transport/midi_ports.h"

namespace halden {

enum class Notification {
    Clicked,
    SelectionChanged,
    FocusIn,
    FocusOut,
    TextChanged,  // an edit of the field or of a list's text part
    DropDown,
    CloseUp,
    Other,
};

inline constexpr const char* kChoosePortEntry = "(Choose a MIDI port)";

class MainWindowView {
public:
    virtual ~MainWindowView() = default;
    virtual void enable(int control, bool on) = 0;
    virtual void setText(int control, const std::string& text) = 0;
    virtual std::string text(int control) = 0;
    virtual void setEntries(int list, const std::vector<std::string>& entries) = 0;
    // Selects a list position; -1, or a position past the end, clears the selection.
    virtual void select(int list, int position) = 0;
    virtual int selection(int list) = 0;  // -1 when nothing is selected
    // The open-file dialog; true with the chosen path, false when cancelled. `path` holds
    // the name in the file field when it is called (a chooser may open in its folder).
    virtual bool chooseFile(std::string& path) = 0;
    // Ends the window; the program then closes the ports and exits with `exitCode`.
    virtual void end(int exitCode) = 0;
};

class MainWindow {
public:
    // Every update is recorded in `history`.
    MainWindow(MainWindowView& view, EngineIo& io, MidiPorts& ports, PortSettings& settings,
               History& history);

    // Sets the window up. False when the program must end with exit code 1 (no MIDI
    // input or output port; the message has been shown).
    bool create();

    // One notification from a control.
    void command(int control, Notification notification);

    // The Exit button or the window's close box.
    void closeRequest();

    bool connected() const { return connected_; }

    // The program that the history names for each update ("halden-gui 1.0.0" unless set).
    void setProgramName(std::string name) { program_ = std::move(name); }

    // The MIDI system's ports changed: the lists show them again, each keeping its choice
    // by name; a chosen port that went away leaves its list on "(Choose a MIDI port)" and
    // ends the connection through it.
    void portsChanged();

private:
    // The list position of a stored choice: where its port's name is now, when it has
    // moved; 0 when that name is not there; the position when no name was stored.
    static int findAgain(int position, const std::string& name, const std::vector<Port>& ports);
    void showLists();
    void saveSelections();
    void readSelections();
    void connectCommand();
    // Not connected any more: the ports are closed, as they are no longer the ones the
    // lists show.
    void disconnect();
    void updateCommand();
    void chooseImagePath();
    void checkNamedImage(const std::string& path);
    void readImagePath();
    // Shows a failed engine result; a MIDI port failure ends the program.
    void reportFailure(const Failure& failure);

    MainWindowView& view_;
    EngineIo& io_;
    MidiPorts& ports_;
    PortSettings& settings_;
    History& history_;

    std::string program_;
    PortNames ports_list_;  // what each list entry (from position 1) names
    bool connected_ = false;
    bool choosing_ = false;
    bool ended_ = false;
    std::string imagePath_;
    std::string openedInput_, openedOutput_;  // the ports Connect opened
    int inputSelection_ = -1;
    int outputSelection_ = -1;
    DeviceInfo info_;
};

}  // namespace halden
