#include "app/main_window.h"

#include <algorithm>

#include "app/engine_failure.h"
#include "app/image_file.h"
#include "engine/update.h"
#include "halden_version.h"

namespace halden {

MainWindow::MainWindow(MainWindowView& view, EngineIo& io, MidiPorts& ports, PortSettings& settings,
                       History& history)
    : view_(view),
      io_(io),
      ports_(ports),
      settings_(settings),
      history_(history),
      program_("halden-gui " HALDEN_VERSION) {}

bool MainWindow::create() {
    view_.enable(IDC_UPDATE, false);
    view_.enable(IDC_FINDIMAGE, false);
    view_.enable(IDC_CONNECT, false);
    if (const Outcome listed = ports_.enumeratePorts(ports_list_); !listed) {
        io_.boxes.errorBox(listed.failure().text);
        return false;
    }
    showLists();
    PortChoice stored;
    if (settings_.load(stored)) {
        inputSelection_ = findAgain(stored.input, stored.inputName, ports_list_.inputs);
        outputSelection_ = findAgain(stored.output, stored.outputName, ports_list_.outputs);
        view_.select(IDC_RECEIVE, inputSelection_);
        view_.select(IDC_TRANSMIT, outputSelection_);
        // Connect is ready at once when both ports are chosen, before any focus moves.
        readSelections();
        // A port chosen last time that is not there now selects nothing, and says so:
        // its old position names another interface now.
        std::string missing;
        if (outputSelection_ == 0 && !stored.outputName.empty()) {
            missing += "\nTransmit to: " + stored.outputName;
        }
        if (inputSelection_ == 0 && !stored.inputName.empty()) {
            missing += "\nReceive from: " + stored.inputName;
        }
        if (!missing.empty()) {
            io_.boxes.errorBox("The MIDI ports chosen last time are not there now:" + missing +
                               "\n\nConnect the MIDI interface, or choose other ports.");
        }
    } else {
        view_.enable(IDC_UPDATE, false);
    }
    return true;
}

void MainWindow::showLists() {
    std::vector<std::string> inputs{kChoosePortEntry}, outputs{kChoosePortEntry};
    for (const Port& p : ports_list_.inputs) inputs.push_back(p.name);
    for (const Port& p : ports_list_.outputs) outputs.push_back(p.name);
    view_.setEntries(IDC_RECEIVE, inputs);
    view_.setEntries(IDC_TRANSMIT, outputs);
    view_.select(IDC_RECEIVE, 0);
    view_.select(IDC_TRANSMIT, 0);
}

namespace {
// The name of the port at a list position (1 is the first port); empty for none.
std::string nameAt(int position, const std::vector<Port>& ports) {
    return position >= 1 && static_cast<size_t>(position) <= ports.size()
               ? ports[static_cast<size_t>(position) - 1].name
               : std::string();
}
}  // namespace

int MainWindow::findAgain(int position, const std::string& name, const std::vector<Port>& ports) {
    if (name.empty() || nameAt(position, ports) == name) return position;
    for (size_t i = 0; i < ports.size(); ++i) {
        if (ports[i].name == name) return static_cast<int>(i) + 1;
    }
    return 0;  // not there now: nothing, rather than whatever took its place
}

void MainWindow::portsChanged() {
    if (ended_) return;
    // The choices by name, as the user sees them now.
    readSelections();
    const std::string in = nameAt(inputSelection_, ports_list_.inputs);
    const std::string out = nameAt(outputSelection_, ports_list_.outputs);
    PortNames now;
    (void)ports_.enumeratePorts(now);  // none at all: empty lists, and Connect says why
    ports_list_ = std::move(now);
    const auto again = [](int position, const std::string& name, const std::vector<Port>& ports) {
        return name.empty() ? std::min(position, 0) : findAgain(position, name, ports);
    };
    const int input = again(inputSelection_, in, ports_list_.inputs);
    const int output = again(outputSelection_, out, ports_list_.outputs);
    showLists();
    view_.select(IDC_RECEIVE, input);
    view_.select(IDC_TRANSMIT, output);
    const bool lost = (!in.empty() && input == 0) || (!out.empty() && output == 0);
    readSelections();
    if (lost) disconnect();  // a chosen port went away
    saveSelections();
}

void MainWindow::saveSelections() {
    const PortChoice choice{inputSelection_, outputSelection_,
                            nameAt(inputSelection_, ports_list_.inputs),
                            nameAt(outputSelection_, ports_list_.outputs)};
    if (!settings_.save(choice)) view_.enable(IDC_UPDATE, false);
}

void MainWindow::readSelections() {
    inputSelection_ = view_.selection(IDC_RECEIVE);
    outputSelection_ = view_.selection(IDC_TRANSMIT);
    view_.enable(IDC_CONNECT, inputSelection_ >= 1 && outputSelection_ >= 1);
}

void MainWindow::readImagePath() {
    // The whole name: a shortened one could name another file, or none.
    imagePath_ = view_.text(IDC_FILENAME);
}

void MainWindow::command(int id, Notification n) {
    if (ended_) return;
    saveSelections();
    if (id == IDC_FILENAME && n == Notification::FocusOut) {
        readImagePath();
        checkNamedImage(imagePath_);
    }
    if ((id == IDC_TRANSMIT || id == IDC_RECEIVE) && n == Notification::SelectionChanged) {
        disconnect();
    }
    const bool exit = n == Notification::Clicked && id == IDC_EXIT;
    if (n == Notification::Clicked) {
        if (id == IDC_FINDIMAGE) {
            if (!connected_) {
                io_.boxes.errorBox("Establish a connection first!");
                return;
            }
            chooseImagePath();
            readImagePath();
            checkNamedImage(imagePath_);
        }
    }
    readSelections();
    if (exit) closeRequest();  // handled after the command, as a close request
    if (n != Notification::Clicked) return;
    if (id == IDC_CONNECT) connectCommand();
    if (id == IDC_UPDATE) updateCommand();
}

void MainWindow::closeRequest() {
    if (ended_) return;
    saveSelections();
    ended_ = true;
    view_.end(0);
}

void MainWindow::chooseImagePath() {
    if (choosing_) return;
    choosing_ = true;
    // The name in the field, where a chooser may start.
    std::string path = view_.text(IDC_FILENAME);
    if (view_.chooseFile(path)) view_.setText(IDC_FILENAME, path);
    choosing_ = false;
}

void MainWindow::checkNamedImage(const std::string& path) {
    if (!connected_ || path.empty()) {
        view_.enable(IDC_UPDATE, false);
        return;
    }
    const Result<Bytes> file = readValidImage(path);
    if (!file) io_.boxes.errorBox(file.failure().text);
    view_.enable(IDC_UPDATE, file.ok());
}

void MainWindow::reportFailure(const Failure& failure) {
    if (failure.code == status::kPortFailure) {
        io_.boxes.fatalBox(failure.text + "\n\nThe program will now close.");
        ended_ = true;
        view_.end(1);
        return;
    }
    io_.boxes.errorBox(failure.text);
}

void MainWindow::disconnect() {
    ports_.closePorts();
    connected_ = false;
    view_.enable(IDC_FINDIMAGE, false);
    view_.enable(IDC_UPDATE, false);
}

void MainWindow::connectCommand() {
    ports_.closePorts();
    if (outputSelection_ <= 0) {
        io_.boxes.errorBox("MIDI Transmit bus not selected");
        return;
    }
    if (inputSelection_ <= 0) {
        io_.boxes.errorBox("MIDI Receive bus not selected");
        return;
    }
    // Each list entry keeps the device it names, whatever its position.
    const size_t in = static_cast<size_t>(inputSelection_ - 1);
    const size_t out = static_cast<size_t>(outputSelection_ - 1);
    const Outcome opened = in >= ports_list_.inputs.size() || out >= ports_list_.outputs.size()
                               ? portFailure("The chosen MIDI port is not in the list.")
                               : ports_.openPorts(ports_list_.inputs[in], ports_list_.outputs[out]);
    if (!opened) {
        connected_ = false;
        view_.enable(IDC_FINDIMAGE, false);
        view_.enable(IDC_UPDATE, false);
        // The lists may be out of date: show what there is now.
        portsChanged();
        io_.boxes.errorBox(opened.failure().text);
        return;
    }
    openedInput_ = ports_list_.inputs[in].name;
    openedOutput_ = ports_list_.outputs[out].name;
    readImagePath();
    connected_ = false;
    const StatusCode rc = connectDevice(io_, info_);
    if (rc != status::kOk) {
        ports_.closePorts();
        view_.enable(IDC_FINDIMAGE, false);
        view_.enable(IDC_UPDATE, false);
        reportFailure(connectFailure(io_, rc));
        return;
    }
    view_.setText(IDC_SERIAL, info_.serialText);
    view_.setText(IDC_VERSION, info_.versionText);
    connected_ = true;
    io_.boxes.noticeBox(text::kConnectionEstablished);
    view_.enable(IDC_FINDIMAGE, true);
    view_.enable(IDC_UPDATE, false);
    checkNamedImage(imagePath_);
}

void MainWindow::updateCommand() {
    // The name shown is the one updated, even when it was typed and Enter pressed
    // without leaving the field.
    readImagePath();
    const Result<Bytes> file = readValidImage(imagePath_);
    if (!file) {
        io_.boxes.errorBox(file.failure().text);
        return;
    }
    UpdateProgress done;
    const Clock::Duration start = io_.clock.now();
    const StatusCode rc = runUpdate(io_, *file, info_, done);
    const Outcome kept =
        history_.append(updateEntry(program_, ports_.systemName(), openedOutput_, openedInput_,
                                    imagePath_, *file, done, info_, rc, io_.clock.now() - start));
    if (isUnproven(rc)) {
        // What the Halden said after the update, though it is not what was sent.
        view_.setText(IDC_SERIAL, info_.serialText);
        view_.setText(IDC_VERSION, info_.versionText);
    } else if (rc != status::kOk && done.erased) {
        view_.setText(IDC_VERSION, "");  // the version shown is no longer there
    }
    if (rc != status::kOk) {
        reportFailure(updateFailure(io_, rc, info_, done));
    } else {
        view_.setText(IDC_SERIAL, info_.serialText);
        view_.setText(IDC_VERSION, info_.versionText);
        io_.boxes.noticeBox(text::kUpdateSucceeded);
    }
    // Said after the outcome, which matters more; a port failure has ended the window.
    if (!kept && !ended_) io_.boxes.errorBox(kept.failure().text);
}

}  // namespace halden
