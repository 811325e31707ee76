#include "ui/port_settings.h"

namespace halden {

bool StoredPortSettings::load(int& input, int& output) {
    if (!read(input, output)) return false;
    stored_ = {input, output};
    return true;
}

bool StoredPortSettings::save(int input, int output) {
    if (stored_ && *stored_ == std::make_pair(input, output)) return true;
    if (const auto failure = write(input, output)) {
        if (!failure->why.empty() && !failing_) boxes_.errorBox(failure->why);
        failing_ = failing_ || !failure->why.empty();
        stored_.reset();
        return false;
    }
    failing_ = false;
    stored_ = {input, output};
    return true;
}

}  // namespace halden
