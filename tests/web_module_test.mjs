// The web page's module (halden.wasm) under node, without a browser, in virtual time:
// Connect to the in-page simulator, then images checked as the wasm's own file system
// gives them (the update itself is web_page_test.mjs's). The page's shell is stood in for
// by a table of controls.
// node web_module_test.mjs SITE_DIR IMAGE
import { createRequire } from "node:module";
import { readFileSync } from "node:fs";
import { join, resolve } from "node:path";

const [site, image] = process.argv.slice(2);
const fail = (text) => { throw new Error(text); };
function expect(what, got, wanted) {
  if (got !== wanted) fail(`${what}: ${JSON.stringify(got)}, expected ${JSON.stringify(wanted)}`);
  console.log(`ok   ${what}`);
}

// Virtual time: the module's timers and clock. A command runs until it ends, each step
// jumping to the next timer once nothing else is left to do.
let now = 0, nextTimer = 1;
const timers = new Map();
globalThis.setTimeout = (fn, ms = 0, ...args) => {
  timers.set(nextTimer, { at: now + Math.max(0, ms), fn: () => fn(...args) });
  return nextTimer++;
};
globalThis.clearTimeout = (id) => timers.delete(id);
process.hrtime = () => [Math.floor(now / 1000), Math.round((now % 1000) * 1e6)];
async function settle(promise) {
  let done = false, error = null, value;
  promise.then((v) => { done = true; value = v; }, (e) => { done = true; error = e; });
  for (;;) {
    await new Promise((r) => setImmediate(r));
    if (done) { if (error) throw error; return value; }
    if (!timers.size) fail("the module waits for nothing: it would hang");
    const [id, next] = [...timers].reduce((a, b) => (b[1].at < a[1].at ? b : a));
    timers.delete(id);
    now = Math.max(now, next.at);
    next.fn();
  }
}

// The page's controls, boxes (answered from a queue, else with the default) and progress.
const controls = new Map();
const get = (id) => controls.get(id) ?? controls.set(id, { text: "", entries: [], at: -1 }).get(id);
const boxes = [];
const shell = {
  enable(id, on) { get(id).enabled = !!on; },
  setText(id, text) { get(id).text = text; },
  text(id) { const c = get(id); return c.entries.length ? c.entries[c.at] ?? "" : c.text; },
  setEntries(id, entries) { get(id).entries = entries; },
  select(id, at) { get(id).at = at; },
  selection(id) { return get(id).at; },
  box(kind, title, text) { boxes.push(text); return Promise.resolve(0); },
  chooseFile() { return Promise.resolve(null); },
  progress() {},
  end(code) { fail(`the page ended (${code})`); },
};
const store = new Map();
globalThis.localStorage = { getItem: (k) => store.get(k) ?? null, setItem: (k, v) => store.set(k, v) };
// No MIDI devices: the simulator's ports only.
const webmidi = { list: () => "granted", open: () => "no such port", close() {}, send: () => null };

const HaldenModule = createRequire(import.meta.url)(resolve(site, "halden.js"));
const halden = await HaldenModule({ shell, webmidi, wasmBinary: readFileSync(join(site, "halden.wasm")) });
const call = (name, ...args) => settle(halden.ccall(name, "number",
  args.map((a) => (typeof a === "string" ? "string" : "number")), args, { async: true }));
const command = (id, notification = 0) => call("web_command", id, notification);
const lastBox = (id, notification) => {
  boxes.length = 0;
  return command(id, notification).then(() => boxes.join(" | "));
};

try {
  expect("started", await call("web_start", 1, ""), 1);
  for (const list of [1003, 1004]) {
    shell.select(list, get(list).entries.indexOf("Halden Simulator"));
    await command(list, 1);
  }
  expect("connect", await lastBox(1000), "Connection established!");
  expect("serial and version", `${shell.text(1009)} ${shell.text(1010)}`, "000a7f100102 1.4");

  // The image named in the field, checked when the field is left.
  const good = readFileSync(image);
  const corrupt = good.map((byte, at) => (at === 40 ? byte ^ 1 : byte));
  halden.FS.mkdir("folder.hfi");
  const cases = [
    ["missing.hfi", null, "Can't open file missing.hfi for reading"],
    ["folder.hfi", null, "Can't open file folder.hfi for reading"],
    ["empty.hfi", new Uint8Array(0), "Update file image corrupt"],
    ["corrupt.hfi", corrupt, "Update file CRC error"],
    ["huge.hfi", new Uint8Array(64 * 1024 * 1024 + 1), "Can't allocate 67108865 bytes!"],
    ["halden-1.5.hfi", good, ""],
  ];
  for (const [name, bytes, text] of cases) {
    if (bytes) halden.FS.writeFile(name, bytes);
    shell.setText(1005, name);
    expect(`${name}: box`, await lastBox(1005, 3), text);
    expect(`${name}: Update enabled`, get(1001).enabled, text === "");
  }

  console.log("passed");
} catch (e) {
  console.error(`FAILED: ${e.message}`);
  process.exitCode = 1;
}
