#include "ui/main_window.h"

#include "engine/update.h"
#include "ui/image_file.h"

namespace halden {

MainWindow::MainWindow(MainWindowView& view, EngineIo& io, MidiPorts& ports, PortSettings& settings)
    : view_(view), io_(io), ports_(ports), settings_(settings) {}

bool MainWindow::create() {
    view_.enable(control::kUpdate, false);
    view_.enable(control::kFindImage, false);
    view_.enable(control::kConnect, false);
    if (std::string error = ports_.enumeratePorts(ports_list_); !error.empty()) {
        io_.boxes.errorBox(error);
        return false;
    }
    std::vector<std::string> inputs{kChoosePortEntry}, outputs{kChoosePortEntry};
    for (const Port& p : ports_list_.inputs) inputs.push_back(p.name);
    for (const Port& p : ports_list_.outputs) outputs.push_back(p.name);
    view_.setEntries(control::kReceiveList, inputs);
    view_.setEntries(control::kTransmitList, outputs);
    view_.select(control::kReceiveList, 0);
    view_.select(control::kTransmitList, 0);
    if (settings_.load(inputSelection_, outputSelection_)) {
        view_.select(control::kReceiveList, inputSelection_);
        view_.select(control::kTransmitList, outputSelection_);
    } else {
        view_.enable(control::kUpdate, false);
    }
    return true;
}

void MainWindow::saveSelections() {
    if (!settings_.save(inputSelection_, outputSelection_)) view_.enable(control::kUpdate, false);
}

void MainWindow::readSelections() {
    inputSelection_ = view_.selection(control::kReceiveList);
    outputSelection_ = view_.selection(control::kTransmitList);
    view_.enable(control::kConnect, inputSelection_ >= 1 && outputSelection_ >= 1);
}

void MainWindow::readImagePath() {
    // The whole name: a shortened one could name another file, or none.
    imagePath_ = view_.text(control::kFileName);
}

void MainWindow::command(int id, Notification n) {
    if (ended_) return;
    saveSelections();
    if (id == control::kFileName && n == Notification::FocusOut) {
        readImagePath();
        checkNamedImage(imagePath_);
    }
    if ((id == control::kTransmitList || id == control::kReceiveList) &&
        n == Notification::SelectionChanged) {
        connected_ = false;
        view_.enable(control::kFindImage, false);
        view_.enable(control::kUpdate, false);
    }
    const bool exit = n == Notification::Clicked && id == control::kExit;
    if (n == Notification::Clicked) {
        if (id == control::kFindImage) {
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
    if (id == control::kConnect) connectCommand();
    if (id == control::kUpdate) updateCommand();
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
    std::string path;
    if (view_.chooseFile(path)) view_.setText(control::kFileName, path);
    choosing_ = false;
}

void MainWindow::checkNamedImage(const std::string& path) {
    if (!connected_ || path.empty()) {
        view_.enable(control::kUpdate, false);
        return;
    }
    const ImageFile file = readValidImage(path);
    if (!file.ok) io_.boxes.errorBox(file.error);
    view_.enable(control::kUpdate, file.ok);
}

void MainWindow::reportFailure(StatusCode rc) {
    if (rc == status::kPortFailure) {
        const std::string why =
            io_.receiver.portFailed() ? io_.receiver.portFailure() : io_.port.failureText();
        io_.boxes.fatalBox(why);
        ended_ = true;
        view_.end(1);
        return;
    }
    io_.boxes.errorBox(statusMessage(rc));
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
    std::string error;
    if (in >= ports_list_.inputs.size() || out >= ports_list_.outputs.size()) {
        error = "The chosen MIDI port is not in the list.";
    } else {
        error = ports_.openPorts(ports_list_.inputs[in].device, ports_list_.outputs[out].device);
    }
    if (!error.empty()) {
        connected_ = false;
        view_.enable(control::kFindImage, false);
        view_.enable(control::kUpdate, false);
        io_.boxes.errorBox(error);
        return;
    }
    readImagePath();
    connected_ = false;
    const StatusCode rc = connectDevice(io_, info_);
    if (rc != status::kOk) {
        ports_.closePorts();
        view_.enable(control::kFindImage, false);
        view_.enable(control::kUpdate, false);
        reportFailure(rc);
        return;
    }
    view_.setText(control::kSerial, info_.serialText);
    view_.setText(control::kVersion, info_.versionText);
    connected_ = true;
    io_.boxes.noticeBox(text::kConnectionEstablished);
    view_.enable(control::kFindImage, true);
    view_.enable(control::kUpdate, false);
    checkNamedImage(imagePath_);
}

void MainWindow::updateCommand() {
    // The name shown is the one updated, even when it was typed and Enter pressed
    // without leaving the field.
    readImagePath();
    const ImageFile file = readValidImage(imagePath_);
    if (!file.ok) {
        io_.boxes.errorBox(file.error);
        return;
    }
    const StatusCode rc = runUpdate(io_, file.bytes, info_);
    if (rc != status::kOk) {
        reportFailure(rc);
        return;
    }
    view_.setText(control::kSerial, info_.serialText);
    view_.setText(control::kVersion, info_.versionText);
    io_.boxes.noticeBox(text::kUpdateSucceeded);
}

}  // namespace halden
