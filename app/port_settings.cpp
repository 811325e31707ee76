#include "app/port_settings.h"

namespace halden {

bool StoredPortSettings::load(PortChoice& choice) {
    if (!read(choice)) return false;
    stored_ = choice;
    return true;
}

bool StoredPortSettings::save(const PortChoice& choice) {
    if (stored_ && *stored_ == choice) return true;
    if (const Outcome written = write(choice); !written) {
        if (!failing_) boxes_.errorBox(written.failure().text);
        failing_ = true;
        stored_.reset();
        return false;
    }
    failing_ = false;
    stored_ = choice;
    return true;
}

}  // namespace halden
