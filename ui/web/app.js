// The page around the main window's logic (halden.wasm): it draws the controls, turns
// the browser's events into commands (control id, notification), one after another,
// and gives the logic its boxes, progress window and file chooser.
"use strict";

// The controls' ids, as the main window's logic knows them.
const ID = { findImage: 3, exit: 4, connect: 1000, update: 1001, transmit: 1003,
  receive: 1004, fileName: 1005, serial: 1009, version: 1010 };
// halden::Notification
const N = { clicked: 0, selectionChanged: 1, focusIn: 2, focusOut: 3, textChanged: 4 };

const $ = (id) => document.getElementById(id);
const control = (id) => $("c" + id);
// ?simulate offers the in-page simulator; its value, the simulator's options as the desktop
// app's command line takes them (?simulate=--sim-block-result+3=1).
const simulate = new URLSearchParams(location.search).get("simulate");

let halden = null;     // the module
let chain = Promise.resolve();
let running = false;   // a command that talks to the Halden runs: no input meanwhile
let modal = 0;         // boxes and progress open: focus moving there is no command
let ended = false;

function note(text) { $("note").textContent = text; }

// Commands run one after another, in the order the events came.
function post(name, args = []) {
  chain = chain.then(() => halden.ccall(name, "number",
    args.map((a) => typeof a === "string" ? "string" : "number"), args,
    { async: true })).catch((e) => { console.error(e); note("Internal error: " + e); });
  return chain;
}
function command(id, n) {
  if (ended || !halden) return;
  const talks = n === N.clicked && (id === ID.connect || id === ID.update);
  if (talks) {
    if (running) return;
    running = true;
    $("window").inert = true;
    keepGoing(true);
  }
  return post("web_command", [id, n]).then(() => {
    if (!talks) return;
    running = false;
    $("window").inert = false;
    keepGoing(false);
  });
}

// While the Halden is written, closing or reloading the tab asks first, the screen
// stays on, and a tab put in the background asks in its title to be brought back (the
// browser slows its timers there).
let wakeLock = null, keeping = false;
const title = document.title;
function askBeforeLeaving(e) { e.preventDefault(); e.returnValue = ""; }
function askForFront() {
  document.title = keeping && document.hidden ? "Updating: bring this page to the front" : title;
}
document.addEventListener("visibilitychange", askForFront);
function keepGoing(on) {
  keeping = on;
  askForFront();
  if (on) {
    addEventListener("beforeunload", askBeforeLeaving);
    if (navigator.wakeLock) {
      // Refused (a hidden tab, a browser without the permission): the update goes on.
      // Granted only after the update ended: given back at once.
      navigator.wakeLock.request("screen").then((l) => {
        if (keeping) wakeLock = l; else l.release();
      }, () => {});
    }
  } else {
    removeEventListener("beforeunload", askBeforeLeaving);
    if (wakeLock) wakeLock.release();
    wakeLock = null;
  }
}

// ---- MIDI access, asked for when a control first needs the ports ----

const midi = createWebMidi({
  onSysEx(data) {
    const p = halden._malloc(data.length);
    halden.HEAPU8.set(data, p);
    halden._web_midi_input(p, data.length);
    halden._free(p);
  },
  onPortFailed(why) {
    const n = halden.lengthBytesUTF8(why) + 1;
    const p = halden._malloc(n);
    halden.stringToUTF8(why, p, n);
    halden._web_port_failed(p);
    halden._free(p);
  },
  onPortsChanged() { if (!ended) post("web_ports_changed"); },
});

let asking = null;
function needPorts() {
  if (midi.state !== "unasked" || asking) return asking;
  asking = midi.request().then((why) => {
    if (why) return showBox(0, "Halden Firmware Update Utility Error", why, false);
    return post("web_ports_changed");
  });
  return asking;
}

// ---- the view ----

const shell = {
  enable(id, on) { control(id).disabled = !on; },
  setText(id, text) {
    const c = control(id);
    if ("value" in c && c.tagName === "INPUT") c.value = text; else c.textContent = text;
  },
  text(id) {
    const c = control(id);
    if (c.tagName === "SELECT") return c.selectedIndex < 0 ? "" : c.options[c.selectedIndex].text;
    return c.tagName === "INPUT" ? c.value : c.textContent;
  },
  setEntries(id, entries) {
    const list = control(id);
    list.replaceChildren(...entries.map((e) => new Option(e)));
  },
  select(id, position) {
    const list = control(id);
    list.selectedIndex = position >= 0 && position < list.options.length ? position : -1;
  },
  selection(id) { return control(id).selectedIndex; },
  box(kind, title, text, yesNo) { return showBox(kind, title, text, yesNo); },
  chooseFile() {
    const chooser = $("chooser");
    chooser.value = "";
    return new Promise((resolve) => {
      const done = (name) => {
        chooser.onchange = chooser.oncancel = null;
        resolve(name);
      };
      chooser.onchange = () => {
        const file = chooser.files[0];
        if (!file) return done(null);
        keepFile(file).then(done, () => done(null));
      };
      chooser.oncancel = () => done(null);
      chooser.click();
    });
  },
  progress(what, caption, percent) {
    const dialog = $("progress");
    if (what === 0 && !dialog.open) {
      modal++;
      dialog.showModal();
    }
    if (what === 1) {
      $("c1012").textContent = caption;
      $("c1013").value = percent;
    }
    if (what === 2 && dialog.open) {
      dialog.close();
      $("c1012").textContent = "";
      $("c1013").value = 0;
      setTimeout(() => modal--);
    }
  },
  end() {
    ended = true;
    midi.close();
    keepGoing(false);
    $("window").inert = true;
    note("The updater has ended. Reload the page to start it again.");
  },
};

// A chosen or dropped file is kept in the module's own file system under its name, where
// the main window's logic reads it as any file.
async function keepFile(file) {
  const bytes = new Uint8Array(await file.arrayBuffer());
  halden.FS.writeFile(file.name, bytes);
  return file.name;
}

// The page's own message box; resolves to 1 for Yes, else 0. No is the default.
function showBox(kind, title, text, yesNo) {
  const dialog = $("box");
  $("box-title").textContent = title;
  $("box-text").textContent = text;
  const buttons = $("box-buttons");
  return new Promise((resolve) => {
    let answered = false;
    const answer = (value) => {
      if (answered) return;
      answered = true;
      dialog.onclose = null;
      dialog.close();
      setTimeout(() => modal--);
      resolve(value);
    };
    const make = (label, value) => {
      const b = document.createElement("button");
      b.type = "button";
      b.textContent = label;
      b.onclick = () => answer(value);
      return b;
    };
    const defaultButton = yesNo ? make("No", 0) : make("OK", 0);
    buttons.replaceChildren(...(yesNo ? [make("Yes", 1), defaultButton] : [defaultButton]));
    dialog.dataset.kind = ["error", "question", "notice", "fatal"][kind];
    // Escape: the default answer. The browser delivers a close event a frame later, so
    // the last box's may come after this one is shown: that one finds the box open.
    dialog.onclose = () => { if (!dialog.open) answer(0); };
    modal++;
    dialog.showModal();
    defaultButton.focus();
  });
}

// ---- the browser's events, as the main window's commands ----

function wire() {
  for (const id of [ID.connect, ID.findImage, ID.update, ID.exit]) {
    control(id).addEventListener("click", async () => {
      if (id === ID.connect) await needPorts();
      command(id, N.clicked);
    });
  }
  const focusCommand = (id, n) => () => { if (!modal && !running) command(id, n); };
  for (const id of [ID.transmit, ID.receive]) {
    const list = control(id);
    list.addEventListener("pointerdown", () => needPorts());
    list.addEventListener("keydown", () => needPorts());
    list.addEventListener("focus", focusCommand(id, N.focusIn));
    list.addEventListener("blur", focusCommand(id, N.focusOut));
    list.addEventListener("change", () => command(id, N.selectionChanged));
  }
  const field = control(ID.fileName);
  field.addEventListener("focus", focusCommand(ID.fileName, N.focusIn));
  field.addEventListener("blur", focusCommand(ID.fileName, N.focusOut));
  field.addEventListener("input", () => command(ID.fileName, N.textChanged));
  // Update is the default button: Enter in the field presses it.
  field.addEventListener("keydown", (e) => {
    if (e.key === "Enter" && !control(ID.update).disabled) command(ID.update, N.clicked);
  });
  // An image dropped on the page is named in the field and checked, as when the user
  // types its name and leaves the field.
  addEventListener("dragover", (e) => {
    e.preventDefault();
    document.body.classList.add("dragging");
  });
  addEventListener("dragleave", () => document.body.classList.remove("dragging"));
  addEventListener("drop", async (e) => {
    e.preventDefault();
    document.body.classList.remove("dragging");
    const file = e.dataTransfer.files[0];
    if (!file || running || modal || ended) return;
    field.value = await keepFile(file);
    command(ID.fileName, N.focusOut);
  });
  // The history as the history file's lines: `halden history --history history.log`
  // lists it.
  $("history").addEventListener("click", (e) => {
    const a = e.currentTarget;
    URL.revokeObjectURL(a.href);
    a.href = URL.createObjectURL(new Blob([localStorage.getItem("halden.history") || ""],
      { type: "text/plain" }));
  });
  // The progress window's Cancel, and no Escape there.
  $("c1011").addEventListener("click", () => halden._web_cancel());
  $("progress").addEventListener("cancel", (e) => e.preventDefault());
}

async function start() {
  wire();
  const why = webMidiUnavailable();
  // Asked at once only when the browser has allowed it already (no prompt then).
  if (!why && navigator.permissions) {
    try {
      const p = await navigator.permissions.query({ name: "midi", sysex: true });
      if (p.state === "granted") await midi.request();
    } catch (e) { /* this browser does not tell: ask later */ }
  }
  halden = await HaldenModule({ shell, webmidi: midi });
  const ok = await post("web_start", [simulate !== null ? 1 : 0, simulate || ""]);
  if (!ok) return shell.end(1);
  if (why && simulate === null) note(why);
  if ("serviceWorker" in navigator) navigator.serviceWorker.register("sw.js").catch(() => {});
}

start();
