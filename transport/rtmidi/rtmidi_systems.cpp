// The MIDI systems reached through RtMidi: JACK and CoreMIDI.
#include <condition_variable>
#include <mutex>
#include <thread>

#include "transport/midi_systems.h"
#include "transport/rtmidi/rtmidi_ports.h"
#include "transport/rtmidi/rtmidi_system.h"

namespace halden {

namespace {

using namespace std::chrono_literals;

constexpr auto kJackAskDeadline = 5s;
constexpr const char* kJackNoAnswer = "the server does not answer (is it stalled?)";

// A stalled server answers nothing, and libjack waits for it without end (measured: a
// client still waiting after 20 s): the question goes on a thread of its own and is given
// up after a few seconds. While one is still stuck, no other is asked.
std::string jackUnavailable() {
    struct Question {
        std::mutex mutex;
        std::condition_variable answered;
        bool done = false;
        std::string why;
    };
    static std::mutex unansweredMutex;
    static std::shared_ptr<Question> unanswered;
    {
        std::lock_guard lock(unansweredMutex);
        if (unanswered) {
            std::lock_guard stuck(unanswered->mutex);
            if (!unanswered->done) return kJackNoAnswer;
        }
    }
    auto question = std::make_shared<Question>();
    std::thread([question] {
        std::string why = rtMidiUnavailable(RtMidi::UNIX_JACK);
        std::lock_guard lock(question->mutex);
        question->why = std::move(why);
        question->done = true;
        question->answered.notify_all();
    }).detach();
    {
        std::unique_lock lock(question->mutex);
        if (question->answered.wait_for(lock, kJackAskDeadline, [&] { return question->done; })) {
            return question->why;
        }
    }
    std::lock_guard lock(unansweredMutex);
    unanswered = question;
    return kJackNoAnswer;
}

MidiSystem rtMidiSystem(std::string name, RtMidi::Api id,
                        std::function<std::string()> unavailable) {
    return {name, systemDisplayName(id), std::move(unavailable),
            [name](Clock& clock, MidiPorts::InputSink input, MidiPorts::FailureSink failure) {
                return std::make_unique<RtMidiPorts>(clock, std::move(input), std::move(failure),
                                                     name);
            }};
}

}  // namespace

MidiSystem jackMidiSystem() {
    return rtMidiSystem("jack", RtMidi::UNIX_JACK, jackUnavailable);
}

MidiSystem coreMidiSystem() {
    return rtMidiSystem("coremidi", RtMidi::MACOSX_CORE,
                        [] { return rtMidiUnavailable(RtMidi::MACOSX_CORE); });
}

}  // namespace halden
