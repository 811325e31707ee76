// node webmidi_sizes.mjs CHROMIUM SIZES PORT...: a page in headless Chromium sends one SysEx
// of each size (F0 7D 02 03 ... F7) to each output port whose name contains PORT, 4 s apart.
import { spawn } from "node:child_process";
import { createServer } from "node:http";
import { mkdtempSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";

const [chromium, sizes, ...ports] = process.argv.slice(2);
const began = Date.now();
const log = (s) => console.log(`[${((Date.now() - began) / 1000).toFixed(1)} s] ${s}`);
const server = createServer((_, res) => res.writeHead(200, { "content-type": "text/html" }).end("<p>"));
await new Promise((r) => server.listen(0, "127.0.0.1", r));
const origin = `http://127.0.0.1:${server.address().port}`;
const home = mkdtempSync(join(tmpdir(), "webmidi-"));
const browser = spawn(chromium, ["--headless=new", "--remote-debugging-pipe", "--no-sandbox",
  "--disable-gpu", "--no-first-run", "--enable-features=NetworkServiceInProcess",
  "--disable-dev-shm-usage", `--user-data-dir=${home}/profile`, "about:blank"],
{ stdio: ["ignore", "ignore", "ignore", "pipe", "pipe"], env: { ...process.env, HOME: home } });
let nextId = 0, buffer = "";
const pending = new Map();
browser.stdio[4].setEncoding("utf8");
browser.stdio[4].on("data", (chunk) => {
  buffer += chunk;
  for (let end; (end = buffer.indexOf("\0")) >= 0; buffer = buffer.slice(end + 1)) {
    const m = JSON.parse(buffer.slice(0, end));
    if (!pending.has(m.id)) continue;
    const { resolve, reject } = pending.get(m.id), gone = pending.delete(m.id);
    m.error ? reject(new Error(m.error.message)) : resolve(m.result);
  }
});
const send = (method, params = {}, sessionId) => {
  const id = ++nextId;
  browser.stdio[3].write(JSON.stringify({ id, method, params, sessionId }) + "\0");
  return new Promise((resolve, reject) => pending.set(id, { resolve, reject }));
};
let session;
const js = async (expression) => {
  const r = await send("Runtime.evaluate", { expression, awaitPromise: true, returnByValue: true,
    userGesture: true }, session);
  if (r.exceptionDetails) throw new Error(r.exceptionDetails.exception?.description);
  return r.result.value;
};
try {
  // Asked first: under emulation a permission granted before Chromium is up went unanswered.
  log(`${(await send("Browser.getVersion")).product} started`);
  await send("Browser.grantPermissions", { origin, permissions: ["midi", "midiSysex"] });
  const { targetId } = await send("Target.createTarget", { url: origin });
  ({ sessionId: session } = await send("Target.attachToTarget", { targetId, flatten: true }));
  await new Promise((r) => setTimeout(r, 3000));  // the page loaded
  log("outputs: " + await js(`navigator.requestMIDIAccess({ sysex: true }).then((a) =>
    [...(window.access = a).outputs.values()].map((p) => p.name).join(", "))`));
  for (const port of ports) {
    for (const n of sizes.split(",").map(Number)) {
      log(`${n} bytes: ` + await js(`(async () => {
        const o = [...access.outputs.values()].find((p) => p.name.includes(${JSON.stringify(port)}));
        if (!o) return "no such port";
        const m = new Uint8Array(${n}).map((_, i) => i % 128);
        m[0] = 0xF0; m[1] = 0x7D; m[${n} - 1] = 0xF7;
        o.send(m);
        await new Promise((r) => setTimeout(r, 4000));
        return "sent to " + o.name; })()`));
    }
  }
} catch (e) {
  log(`failed: ${e.message}`);
  process.exitCode = 1;
}
browser.kill();
server.close();
