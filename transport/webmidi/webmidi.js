// The page's end of the Web MIDI ports: it holds the MIDIAccess object, lists its ports
// by name, opens one pair and passes SysEx both ways. webmidi_ports.cpp calls list(),
// open(), close() and send(); the page hands in what to do with arriving SysEx, with a
// port that goes away and with ports that come and go.
"use strict";

// Why there is no MIDI here, in words the user can act on; null when there may be.
function webMidiUnavailable() {
  if (!window.isSecureContext) {
    return "This page can reach MIDI ports only when it is served over https, or from " +
      "this computer (http://127.0.0.1 or http://localhost). Open it from such an address.";
  }
  if (!navigator.requestMIDIAccess) {
    return "This browser has no Web MIDI. Use Chrome, Edge or Chromium (on Windows, " +
      "macOS, Linux or ChromeOS), Opera, or Firefox 108 or later. Safari has no Web MIDI.";
  }
  return null;
}

function createWebMidi({ onSysEx, onPortFailed, onPortsChanged }) {
  let access = null;
  let state = "unasked"; // then "granted" or "refused"
  let inputs = [], outputs = [];
  let input = null, output = null;

  function relist() {
    inputs = access ? [...access.inputs.values()] : [];
    outputs = access ? [...access.outputs.values()] : [];
  }

  return {
    get state() { return state; },
    // Asks the user for MIDI access with SysEx; the text to show when not granted.
    async request() {
      if (state === "granted") return null;
      const why = webMidiUnavailable();
      if (why) return why;
      try {
        access = await navigator.requestMIDIAccess({ sysex: true });
      } catch (e) {
        state = "refused";
        return "The browser did not allow this page to use MIDI devices with System " +
          "Exclusive messages (" + e.message + "). Allow MIDI for this site (the icon at " +
          "the left of the address bar, or the site's settings), then reload the page.";
      }
      state = "granted";
      access.onstatechange = (e) => {
        const p = e.port;
        if (p.state === "disconnected" && (p === input || p === output)) {
          onPortFailed("The MIDI port \"" + p.name +
            "\" has gone away. Is the MIDI interface still connected?");
        }
        onPortsChanged();
      };
      return null;
    },
    list() {
      relist();
      const lines = [state];
      for (const p of inputs) lines.push("I " + p.name);
      for (const p of outputs) lines.push("O " + p.name);
      return lines.join("\n");
    },
    open(inIndex, outIndex) {
      this.close();
      const i = inputs[inIndex], o = outputs[outIndex];
      if (!i || !o || i.state === "disconnected" || o.state === "disconnected") {
        return "The MIDI port is no longer there. Is the MIDI interface still connected?";
      }
      input = i;
      output = o;
      // Only SysEx reaches the receiver, as whole messages; channel and real-time
      // messages arrive on their own and are left out.
      input.onmidimessage = (e) => { if (e.data[0] === 0xF0) onSysEx(e.data); };
      return null;
    },
    close() {
      if (input) input.onmidimessage = null;
      input = output = null;
    },
    send(bytes) {
      if (!output) return "No MIDI port is open.";
      try {
        output.send(bytes);
      } catch (e) {
        return "Sending to the MIDI port \"" + output.name + "\" failed: " + e.message;
      }
      return null;
    },
  };
}
