// The web page in headless Chromium, driven like a user over the DevTools protocol (on a
// pipe, so no other module is needed). With the in-page simulator: choose the ports,
// Connect, pick the image in the file chooser, Update (closing the tab asks meanwhile),
// read the texts; a second update canceled, a third failing; Web MIDI ports stood in for.
// With "alsa", through the browser's own Web MIDI on the kernel's sequencer to two
// `halden simulate`: "Halden Simulator" updated, "Halden Refusing" refusing a block.
// node web_page_test.mjs CHROMIUM SITE_DIR IMAGE [alsa]
import { spawn } from "node:child_process";
import { createServer } from "node:http";
import { mkdtempSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { extname, join } from "node:path";

const [chromium, site, image, midiSystem] = process.argv.slice(2);
const began = Date.now();
const log = (text) => console.log(`[${((Date.now() - began) / 1000).toFixed(1)} s] ${text}`);
const fail = (text) => { throw new Error(text); };

// The site, as any static web server gives it.
const types = { ".html": "text/html", ".js": "text/javascript", ".wasm": "application/wasm", ".css": "text/css" };
const server = createServer((req, res) => {
  const path = new URL(req.url, "http://x").pathname;
  try {
    const body = readFileSync(join(site, path === "/" ? "index.html" : path));
    res.writeHead(200, { "content-type": types[extname(path) || ".html"] || "text/plain" }).end(body);
  } catch { res.writeHead(404).end(); }
});
await new Promise((r) => server.listen(0, "127.0.0.1", r));
const origin = `http://127.0.0.1:${server.address().port}`;

// Chromium needs a writable home; the profile is thrown away afterwards.
const home = mkdtempSync(join(tmpdir(), "halden-web-"));
const browser = spawn(chromium, ["--headless=new", "--remote-debugging-pipe", "--no-sandbox",
  "--disable-gpu", "--window-size=640,420", "--no-first-run", "--no-default-browser-check",
  `--user-data-dir=${home}/profile`, "about:blank"],
{ stdio: ["ignore", "ignore", "pipe", "pipe", "pipe"], env: { ...process.env, HOME: home } });
let browserLog = "";
browser.stderr.on("data", (d) => { browserLog += d; });

let nextId = 0, buffer = "";
const pending = new Map(), listeners = [], events = [];
browser.stdio[4].setEncoding("utf8").on("data", (chunk) => {
  buffer += chunk;
  for (let end; (end = buffer.indexOf("\0")) >= 0; buffer = buffer.slice(end + 1)) {
    const m = JSON.parse(buffer.slice(0, end)), asked = pending.get(m.id);
    if (asked) { pending.delete(m.id); asked(m); }
    else if (m.method) { events.push(m); listeners.forEach((l) => l(m)); }
  }
});
// A promise that fails once `ms` have passed without it settling.
const within = (promise, ms, why) => Promise.race([promise,
  new Promise((_, reject) => setTimeout(reject, ms, new Error(why)).unref())]);
const send = (method, params = {}, sessionId) => new Promise((resolve, reject) => {
  pending.set(++nextId, (m) => (m.error ? reject(new Error(m.error.message)) : resolve(m.result)));
  browser.stdio[3].write(JSON.stringify({ id: nextId, method, params, sessionId }) + "\0");
});

let session;
const page = (method, params) => send(method, params, session);
async function js(expression) {
  // A page whose thread is stuck answers nothing: that fails too.
  const r = await within(page("Runtime.evaluate",
    { expression, awaitPromise: true, returnByValue: true, userGesture: true }), 60000, "no answer");
  const e = r.exceptionDetails;
  if (e) fail(`${expression}: ${e.exception?.description ?? e.text}`);
  return r.result.value;
}
async function until(what, expression, seconds = 20) {
  for (const deadline = Date.now() + seconds * 1000; ; await new Promise((r) => setTimeout(r, 25))) {
    // The page may still be loading: its elements are not there yet.
    const value = await js(expression).catch(() => null);
    if (value) return value;
    if (Date.now() > deadline) fail(`no ${what} after ${seconds} s`);
  }
}
function expect(what, got, wanted) {
  if (got !== wanted) fail(`${what}: ${JSON.stringify(got)}, expected ${JSON.stringify(wanted)}`);
  log(`${what}: ${JSON.stringify(got)}`);
}
// The box the page shows, answered with one of its buttons.
const el = (id) => `document.getElementById('${id}')`;
const buttons = "[...document.querySelectorAll('#box-buttons button')]";
async function answerBox(button, seconds = 30) {
  await until("box", `${el("box")}.open`, seconds);
  const box = await js(`({ title: ${el("box-title")}.textContent, text: ${el("box-text")}.textContent,
    buttons: ${buttons}.map((b) => b.textContent) })`);
  if (button === "Escape") {  // the key, as the browser gets it
    for (const type of ["rawKeyDown", "keyUp"])
      await page("Input.dispatchKeyEvent", { type, key: "Escape", code: "Escape", windowsVirtualKeyCode: 27 });
  } else await js(`${buttons}.find((b) => b.textContent === ${JSON.stringify(button)}).click()`);
  return box;
}
const click = (id) => js(`${el(id)}.click()`);
const press = (id, button = "OK", seconds = 30) => click(id).then(() => answerBox(button, seconds));
const pickImage = () => click("c3").then(() => until("Update", `!${el("c1001")}.disabled`));
const choose = (list, name) => js(`(() => { const l = document.getElementById('${list}');
  l.focus(); l.selectedIndex = [...l.options].findIndex((o) => o.text.startsWith('${name}'));
  l.dispatchEvent(new Event('change')); l.blur(); })()`);
const choosePorts = (output, input = output) => choose("c1003", output).then(() => choose("c1004", input))
  .then(() => until("Connect enabled", `!${el("c1000")}.disabled`));
const event = (method) => within(new Promise((r) => listeners.push((m) => m.method === method && r(m))),
  9000, `no ${method}`);
const text = (id) => js(`${el(id)}.textContent`);
// A block refused: the status's text, then the Halden's state (its advice is the app's).
const refused = "MIDI Reports bad checksum\n\nThe Halden's firmware area is now erased";

try {
  const crashed = new Promise((_, reject) => browser.on("exit", (code) =>
    reject(new Error(`Chromium ended (${code}): ${browserLog.slice(-2000)}`))));
  await Promise.race([crashed, (async () => {
    // Asked first: under emulation a permission granted before Chromium is up went unanswered.
    log(`${(await send("Browser.getVersion")).product} started`);
    await send("Browser.grantPermissions", { origin, permissions: ["midi", "midiSysex"] });
    const { targetId } = await send("Target.createTarget", { url: "about:blank" });
    ({ sessionId: session } = await send("Target.attachToTarget", { targetId, flatten: true }));
    for (const domain of ["Runtime", "Page"]) await page(`${domain}.enable`);
    await page("Page.setInterceptFileChooserDialog", { enabled: true });
    listeners.push((m) => {
      const e = m.params?.exceptionDetails;
      if (e) log(`page exception: ${e.exception?.description}`);
      // The file chooser, answered with the image as a user would pick it.
      const backendNodeId = m.method === "Page.fileChooserOpened" && m.params.backendNodeId;
      if (backendNodeId) page("DOM.setFileInputFiles", { files: [image], backendNodeId });
    });
    await (midiSystem === "alsa" ? throughAlsa() : inPage());
    expect("page exceptions", events.filter((m) => m.params?.exceptionDetails).length, 0);
  })()]);
  log("passed");
} catch (e) {
  console.error(`FAILED: ${e.message}`, browserLog.slice(-1500));
  process.exitCode = 1;
} finally {
  browser.kill();
  server.close();
  await new Promise((r) => browser.exitCode !== null ? r() : browser.on("exit", r));
  // Chromium's helper processes may still write into the profile just after it exits.
  rmSync(home, { recursive: true, force: true, maxRetries: 20, retryDelay: 100 });
}

async function throughAlsa() {
  await page("Page.navigate", { url: origin });
  await until("the page", `${el("c1003")}?.options.length >= 1`, 120);
  await js(`${el("c1003")}.dispatchEvent(new PointerEvent('pointerdown'))`);
  log(`output ports: ${await until("the simulators' ports", `(() => { const names = [...${el("c1003")}
    .options].map((o) => o.text); return names.some((n) => n.startsWith("Halden Refusing")) &&
    names.join(", "); })()`, 120)}`);
  for (const [port, wanted, version] of [["Halden Simulator", "Halden was successfully updated.", "2.1"],
    ["Halden Refusing", refused]]) {
    await choosePorts(port);
    expect(`${port}: connect`, (await press("c1000", "OK", 60)).text, "Connection established!");
    await pickImage();
    const box = await press("c1001", "OK", 240);
    expect(`${port}: update`, version ? box.text : box.text.slice(0, wanted.length), wanted);
    if (version) expect(`${port}: version after`, await text("c1010"), version);
  }
}

async function inPage() {
  await page("Page.navigate", { url: `${origin}/?simulate` });

  await until("simulator ports", `[...${el("c1003")}.options].some((o) => o.text === 'Halden Simulator')`);
  expect("title", await js("document.title"), "Halden Firmware Update Utility - V1.00");
  await choosePorts("Halden Simulator");

  let box = await press("c1000");
  expect("connect box, serial and version", `${box.title} | ${box.text} | ${await text("c1009")} ${
    await text("c1010")}`, "Halden Firmware Update Utility | Connection established! | 000a7f100102 1.4");

  await pickImage();
  expect("file name", await js(`${el("c1005")}.value`), "halden-1.5.hfi");
  // Names typed in the field, checked as the module's own file system gives them; the
  // picked image last, which Update then takes.
  await js(`const fs = halden.FS, bad = fs.readFile("halden-1.5.hfi"); bad[40] ^= 1;
    fs.mkdir("folder.hfi"); fs.writeFile("corrupt.hfi", bad); fs.writeFile("empty.hfi", new Uint8Array(0));
    fs.writeFile("huge.hfi", new Uint8Array(64 * 1024 * 1024 + 1))`);
  for (const [name, wanted] of [["missing.hfi", "Can't open file missing.hfi for reading"],
    ["folder.hfi", "Can't open file folder.hfi for reading"], ["empty.hfi", "Update file image corrupt"],
    ["corrupt.hfi", "Update file CRC error"], ["huge.hfi", "Can't allocate 67108865 bytes!"],
    ["halden-1.5.hfi", null]]) {
    // At once: a box shown right after the last one is answered, whose close event the
    // browser delivers later, must stay open.
    await js(`${el("c1005")}.value = "${name}"; command(1005, 3); 0`);
    if (wanted) expect(name, (await answerBox(name === "folder.hfi" ? "Escape" : "OK")).text, wanted);
    await until(`Update ${wanted ? "disabled" : "enabled"}`, `${el("c1001")}.disabled === ${!!wanted}`);
  }

  await click("c1001");
  await until("progress window", "document.getElementById('progress').open");
  // Put in the background, the tab asks in its title to be brought back.
  await js(`Object.defineProperty(document, "hidden", { value: true, configurable: true });
    document.dispatchEvent(new Event("visibilitychange"))`);
  expect("title in the background", await js("document.title"),
    "Updating: bring this page to the front");
  await js(`delete document.hidden; document.dispatchEvent(new Event("visibilitychange"))`);
  // Closing the tab meanwhile asks first; staying, the update goes on.
  const asked = event("Page.javascriptDialogOpening");
  await page("Page.close");
  expect("closing asks", (await asked).params.type, "beforeunload");
  await page("Page.handleJavaScriptDialog", { accept: false });
  box = await answerBox("OK");
  expect("update box", `${box.title} | ${box.text}`,
    "Halden Firmware Update Utility | Halden was successfully updated.");
  expect("version after", await text("c1010"), "1.5");
  expect("history lines", await js(
    "(localStorage.getItem('halden.history') || '').split('\\n').filter(Boolean).length"), 1);

  // Cancel from the progress window, while the update waits for the Halden.
  // The same version again: the question, answered Yes, as the page's own Yes/No box.
  box = await press("c1001", "Yes");
  expect("question", `${box.buttons} | ${box.text.slice(0, 50)}`,
    "Yes,No | The Halden image in the Kestrel 9 is verified good");
  await until("a block written", `${el("c1012")}.textContent === 'Updating Halden area...' && ${el("c1013")}.value > 0`);
  box = await press("c1011");
  expect("cancel box", box.text.split("\n")[0], "Operation canceled");
  expect("progress open, input blocked", await js(`[${el("progress")}.open, ${el("window")}.inert].join()`), "false,false");

  // The chosen ports are kept: the page opened again shows them chosen again; its
  // simulator, given the desktop's options, refuses the fourth block.
  await page("Page.navigate", { url: `${origin}/?simulate=--sim-block-result+3=1` });
  await until("ports chosen again", "document.getElementById('c1000')?.disabled === false");
  expect("kept", await js(`[${el("c1003")}, ${el("c1004")}].map((l) => l.selectedOptions[0].text)
    .join()`), "Halden Simulator,Halden Simulator");
  await press("c1000");
  await pickImage();
  expect("block refused", (await press("c1001")).text.slice(0, refused.length), refused);

  // Another site, not allowed MIDI: the first touch of a port list asks, and the page
  // says what to do when the browser refuses.
  await page("Page.navigate", { url: origin.replace("127.0.0.1", "localhost") });
  await until("page", "document.getElementById('c1003').options.length === 1");
  await js(`${el("c1003")}.dispatchEvent(new PointerEvent('pointerdown'))`);
  expect("refused", (await answerBox("OK")).text.slice(0, 60),
    "The browser did not allow this page to use MIDI devices with");

  // Through Web MIDI: the browser's ports stand in for a MIDI interface whose Halden
  // answers the handshake and the identity request.
  await page("Page.addScriptToEvaluateOnNewDocument", { source: `(${() => {
    const input = { name: "Loop In", state: "connected", onmidimessage: null };
    const output = { name: "Loop Out", state: "connected", send(bytes) {
      const reply = bytes[5] === 0x10 ? [0x10, 2] : bytes[5] === 0x11
        ? [0x12, 0, 2, 7, 0, 0, 0, 0x7F, 0x7F, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6] : null;
      window.fakeMidi.sent.push(bytes[5]);
      if (reply && !window.silent) setTimeout(() => input.onmidimessage({ data: new Uint8Array(
        [0xF0, 0x41, 0x10, 0x4B, 0x39, ...reply, 0xF7]) }));
    } };
    window.fakeMidi = { input, sent: [], inputs: new Map([["i", input]]),
      outputs: new Map([["o", output]]) };
    navigator.requestMIDIAccess = async () => window.fakeMidi;
  }})()` });
  await page("Page.navigate", { url: origin });
  await until("Web MIDI ports", "document.getElementById('c1004').options[1]?.text === 'Loop In'");
  await answerBox("OK");  // the simulator chosen last time is not there now
  await choosePorts("Loop Out", "Loop In");
  box = await press("c1000");
  expect("Web MIDI connect", `${box.text} ${await text("c1009")} ${await text("c1010")}`,
    "Connection established! 010203040506 2.7");
  // Blocks of 16383 bytes, more than Web MIDI carries whole: refused before any erase.
  await pickImage();
  expect("blocks too long", (await press("c1001")).text,
    "The Halden's blocks are too long for this MIDI port; nothing was erased");
  expect("erase or block sent", await js("fakeMidi.sent.some((c) => c > 0x12)"), false);

  // The input port unplugged while Connect waits for the Halden: the port's own words,
  // then the page ends.
  await js(`window.silent = true; ${el("c1000")}.click()`);
  await until("Connecting", `${el("c1012")}.textContent === 'Connecting...'`);
  await js(`fakeMidi.input.state = "disconnected"; fakeMidi.onstatechange({ port: fakeMidi.input })`);
  expect("port gone", (await answerBox("OK")).text,
    'The MIDI port "Loop In" has gone away. Is the MIDI interface still connected?' +
    "\n\nThe program will now close.");
  await until("the page ended", "/has ended/.test(document.getElementById('note').textContent)");
}
