#include "transport/webmidi/webmidi_ports.h"

#include <emscripten.h>

#include <cstdlib>

namespace halden {

namespace {

// The script's answers come as text in memory it took with malloc; null for none.
std::string taken(char* text) {
    if (!text) return {};
    std::string s(text);
    std::free(text);
    return s;
}

// clang-format off
EM_JS(char*, js_midi_list, (), {
    const text = Module.webmidi.list();
    const n = lengthBytesUTF8(text) + 1;
    const p = _malloc(n);
    stringToUTF8(text, p, n);
    return p;
});
EM_JS(char*, js_midi_open, (int input, int output), {
    const why = Module.webmidi.open(input, output);
    if (!why) return 0;
    const n = lengthBytesUTF8(why) + 1;
    const p = _malloc(n);
    stringToUTF8(why, p, n);
    return p;
});
EM_JS(void, js_midi_close, (), { Module.webmidi.close(); });
EM_JS(char*, js_midi_send, (const uint8_t* bytes, size_t length), {
    const why = Module.webmidi.send(HEAPU8.slice(bytes, bytes + length));
    if (!why) return 0;
    const n = lengthBytesUTF8(why) + 1;
    const p = _malloc(n);
    stringToUTF8(why, p, n);
    return p;
});
// clang-format on

}  // namespace

Outcome WebMidiPorts::enumeratePorts(PortNames& names) {
    // One line a port, "I name" or "O name", after a first line saying whether access
    // was granted.
    const std::string listing = taken(js_midi_list());
    names = {};
    bool granted = false;
    size_t start = 0;
    for (bool first = true; start <= listing.size(); first = false) {
        size_t end = listing.find('\n', start);
        if (end == std::string::npos) end = listing.size();
        const std::string line = listing.substr(start, end - start);
        start = end + 1;
        if (first) {
            granted = line == "granted";
        } else if (line.size() >= 2 && (line[0] == 'I' || line[0] == 'O')) {
            auto& list = line[0] == 'I' ? names.inputs : names.outputs;
            list.push_back({line.substr(2), list.size()});
        }
    }
    if (!granted) return {};
    return listedPorts(names);
}

Outcome WebMidiPorts::openPorts(const Port& input, const Port& output) {
    closePorts();
    PortNames now;
    (void)enumeratePorts(now);
    const auto in = findPort(now.inputs, input);
    if (!in) return portGone("input", input.name);
    const auto out = findPort(now.outputs, output);
    if (!out) return portGone("output", output.name);
    const std::string why = taken(js_midi_open(static_cast<int>(now.inputs[*in].device),
                                               static_cast<int>(now.outputs[*out].device)));
    if (!why.empty()) return portFailure(why);
    failure_.clear();
    return {};
}

void WebMidiPorts::closePorts() {
    js_midi_close();
}

StatusCode WebMidiPorts::sendSysEx(ByteView message) {
    const std::string why = taken(js_midi_send(message.data(), message.size()));
    if (why.empty()) return status::kOk;
    failure_ = why;
    return status::kPortFailure;
}

}  // namespace halden
