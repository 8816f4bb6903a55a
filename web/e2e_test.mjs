// End to end: the page in the system's headless Chromium, driven with real input events through
// the DevTools protocol. The page must load with no console error and draw the pyramid; its
// controls must change what they say; a drag (mouse or finger) must throw a box; a saved scene
// must open again; a share link must open the same moment; a recorded session must replay on
// the desktop and under node to the trace the page computed; Escape must stop the simulation
// and the page take no input until it is started again. Prints the page's size, the time to
// its first frame, the frame rate and the time the page spends in a frame.
//
//   node web/e2e_test.mjs BUILD_DIR [--screenshot FILE] [--phone-screenshot FILE]
//
// BUILD_DIR holds the built page (index.html, sandbox.js, sandbox.wasm) and replay.js.
// playwright-core comes from web/node_modules (npm ci in web/); the browser is /usr/bin/chromium
// (or $CHROMIUM). $SANDBOX_REPLAY names the desktop's sandbox-replay; without one, the
// recording is checked under node only.

import { chromium } from "playwright-core";
import { execFileSync } from "node:child_process";
import crypto from "node:crypto";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import zlib from "node:zlib";
import { serve } from "./serve.mjs";

const [buildArg, ...rest] = process.argv.slice(2);
const buildDir = buildArg && path.resolve(buildArg);
if (!buildDir) {
  console.error("usage: node e2e_test.mjs BUILD_DIR [--screenshot FILE] [--phone-screenshot FILE]");
  process.exit(2);
}
const option = (name) => (rest.indexOf(name) >= 0 ? rest[rest.indexOf(name) + 1] : null);
const screenshot = option("--screenshot");
const phoneShot = option("--phone-screenshot");
const work = fs.mkdtempSync(path.join(os.tmpdir(), "sandbox-page-"));

let failures = 0;
function check(ok, what) {
  console.log(`${ok ? "ok" : "FAIL"}: ${what}`);
  if (!ok) failures++;
}
const sha256 = (file) => crypto.createHash("sha256").update(fs.readFileSync(file)).digest("hex");

// The page's size as sent: raw, and gzip-compressed as a server would send it.
{
  let raw = 0, gz = 0;
  for (const f of ["index.html", "sandbox.js", "sandbox.wasm"]) {
    const bytes = fs.readFileSync(path.join(buildDir, f));
    raw += bytes.length;
    gz += zlib.gzipSync(bytes, { level: 9 }).length;
  }
  console.log(`page size: ${raw} bytes raw, ${gz} bytes gzip-compressed`);
  check(gz < 1e6, "the page is under 1 MB as a server sends it");
}

const server = await serve(buildDir);
const url = `http://127.0.0.1:${server.address().port}/`;
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
  headless: true,
  // No sandbox (CI runs as root), WebGL through SwiftShader, and nothing that calls out to the
  // network, which this machine's closed network would refuse.
  args: ["--no-sandbox", "--enable-unsafe-swiftshader", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync"],
});
const errors = [];

// A page with the helpers the checks use.
async function openPage(context, address = url) {
  const page = await context.newPage();
  page.on("console", (m) => { if (m.type() === "error") errors.push(m.text()); });
  page.on("pageerror", (e) => errors.push(String(e)));
  await page.goto(address);
  await page.waitForFunction(() => window.sandboxState.run !== null && window.sandboxState.firstFrameAt > 0,
                             null, { timeout: 30000 });
  const status = () => page.evaluate(() => ({ ...window.sandboxState }));
  const run = async () => {
    await page.waitForTimeout(300);  // the page reads the program's state four times a second
    return page.evaluate(() => window.sandboxState.run);
  };
  const waitFrames = async (n) => {
    const start = (await status()).frames;
    await page.waitForFunction((f) => window.sandboxState.frames >= f, start + n,
                               { timeout: 30000 });
  };
  // The canvas's pixels, read back through a 2-D canvas and kept in the page under a name (the
  // counting happens there too: two million numbers are slow to carry over the protocol).
  const snap = (name) => page.evaluate((name) => {
    const c = document.getElementById("canvas");
    const copy = document.createElement("canvas");
    copy.width = c.width;
    copy.height = c.height;
    const g = copy.getContext("2d");
    g.drawImage(c, 0, 0);
    window.snaps = window.snaps || {};
    window.snaps[name] = g.getImageData(0, 0, c.width, c.height);
  }, name);
  // Pixels in the rectangle [x0, x1) x [y0, y1) of a snapshot that are not black, or that
  // have exactly the colour rgb.
  const lit = (name, x0, y0, x1, y1, rgb = null) => page.evaluate(([name, x0, y0, x1, y1, rgb]) => {
    const { data, width } = window.snaps[name];
    let n = 0;
    for (let y = y0; y < y1; y++) {
      for (let x = x0; x < x1; x++) {
        const i = (y * width + x) * 4;
        if (rgb ? data[i] === rgb[0] && data[i + 1] === rgb[1] && data[i + 2] === rgb[2]
                : data[i] + data[i + 1] + data[i + 2] > 0) n++;
      }
    }
    return n;
  }, [name, x0, y0, x1, y1, rgb]);
  // Pixels that differ between two snapshots (of this page, or of `other` moved here).
  const differ = (a, b) => page.evaluate(([a, b]) => {
    const x = window.snaps[a].data, y = window.snaps[b].data;
    let n = 0;
    for (let i = 0; i < x.length; i += 4) {
      if (x[i] !== y[i] || x[i + 1] !== y[i + 1] || x[i + 2] !== y[i + 2]) n++;
    }
    return n;
  }, [a, b]);
  const box = await page.locator("#canvas").boundingBox();
  // Canvas pixels to the page's coordinates: the canvas may be shown narrower than it is.
  const at = (x, y) => [box.x + (x * box.width) / 800, box.y + (y * box.height) / 600];
  // Pauses (with no move of the pointer) and lets the pause be applied: what is thrown now stays
  // where it appeared, however late a loaded machine lets the test look.
  const hold = async () => {
    await page.evaluate(() => window.sandboxCommand("pause 1"));
    await waitFrames(2);
  };
  const drag = async (points, { paused = false } = {}) => {
    await page.mouse.move(...at(...points[0]));
    await waitFrames(2);
    await page.mouse.down();
    for (const p of points.slice(1)) {
      await waitFrames(2);
      await page.mouse.move(...at(...p));
    }
    await waitFrames(1);
    if (paused) await hold();
    await page.mouse.up();
    await waitFrames(2);  // the release is seen where it happened
    await page.mouse.move(...at(20, 20));
    await waitFrames(2);
  };
  return { page, status, run, waitFrames, snap, lit, differ, at, drag, hold };
}

// Sets a slider or a check box as a user would, and lets the page's handler send the command.
async function setInput(page, id, value) {
  await page.evaluate(([id, value]) => {
    const el = document.getElementById(id);
    if (el.type === "checkbox") {
      el.checked = value;
      el.dispatchEvent(new Event("change"));
    } else {
      el.value = value;
      el.dispatchEvent(new Event("input"));
    }
  }, [id, value]);
}

// A picture of the whole page, as tall as its content.
async function shoot(page, file) {
  const height = await page.evaluate(() => Math.ceil(document.body.getBoundingClientRect().bottom));
  const width = page.viewportSize().width;
  await page.screenshot({ path: file, fullPage: true, scale: "css",
                          clip: { x: 0, y: 0, width, height: height + 8 } });
}

const sky = [640, 40, 790, 260];  // empty above the pyramid on the right
try {
  // Tall enough for the whole page: the canvas stays where it was found.
  const desk = await browser.newContext({ viewport: { width: 832, height: 1600 } });
  const t0 = Date.now();
  const D = await openPage(desk);
  const { page } = D;
  const firstFrame = await page.evaluate(() => window.sandboxState.firstFrameAt);
  console.log(`first frame drawn ${firstFrame.toFixed(0)} ms after the page's navigation ` +
              `began (${Date.now() - t0} ms until the test saw the page ready)`);
  // A guard against a slow start, with room for a loaded machine; the figure above is the news.
  check(firstFrame < 3000, "the first frame comes within three seconds of load");
  await page.mouse.move(...D.at(20, 20));  // the cursor's cross out of the way
  await D.waitFrames(120);

  // The pyramid: lines in the lower half around the middle, none high up on the right.
  await D.snap("start");
  const pile = await D.lit("start", 200, 300, 600, 590);
  check(pile > 2000, `the pyramid is drawn (${pile} lit pixels in its area)`);
  const start = await D.status();
  check(start.bodies > 1 && !start.stopped, `running with ${start.bodies} bodies`);

  // The frame rate the browser gives, the time the program takes per frame, and the time the
  // page's own script takes to show the statistics (four times a second).
  const timing = await page.evaluate(() => new Promise((resolve) => {
    const s = window.sandboxState;
    const f0 = s.frames;
    const t0 = performance.now();
    const work = [];
    const sample = () => {
      work.push(s.frameMs);
      if (performance.now() - t0 < 3000) requestAnimationFrame(sample);
      else resolve({ frames: s.frames - f0, ms: performance.now() - t0, work, run: s.run,
                     statusMs: s.statusMs });
    };
    requestAnimationFrame(sample);
  }));
  const fps = (timing.frames * 1000) / timing.ms;
  const mean = timing.work.reduce((a, b) => a + b, 0) / timing.work.length;
  const worst = Math.max(...timing.work);
  console.log(`frame rate ${fps.toFixed(1)} per second over ${(timing.ms / 1000).toFixed(1)} s; ` +
              `the page's work per frame: mean ${mean.toFixed(2)} ms, worst ${worst.toFixed(2)} ` +
              `ms (the program's frame ${timing.run.frameMs.toFixed(2)} ms of it); the ` +
              `statistics' refresh ${timing.statusMs.toFixed(2)} ms, four times a second`);

  // A mouse throw: a drag down the empty sky on the right. The box appears beside the point of
  // release, and falls.
  await D.snap("before");
  check(await D.lit("before", ...sky) === 0, "the sky on the right is empty before the throw");
  await D.drag([[720, 60], [740, 90], [760, 120]], { paused: true });
  await D.snap("after");
  await page.evaluate(() => window.sandboxCommand("pause 0"));
  const thrown = await D.status();
  check(thrown.bodies === start.bodies + 1,
        `the drag threw one box (${start.bodies} -> ${thrown.bodies} bodies)`);
  const skyAfter = await D.lit("after", ...sky);
  check(skyAfter > 100, `the thrown box is drawn in the sky (${skyAfter} lit pixels)`);
  if (skyAfter <= 100) await page.screenshot({ path: path.join(buildDir, "e2e-throw-failed.png") });

  // Space held: each step's collision time, in whole milliseconds, in the page's console panel.
  await page.locator("#canvas").focus();
  await page.keyboard.down(" ");
  await D.waitFrames(3);
  await page.keyboard.up(" ");
  const timings = (await page.locator("#console").textContent()).split("\n")
    .filter((l) => /^\d+$/.test(l)).length;
  check(timings >= 9, `Space prints the collision timings on the page (${timings} lines)`);

  // ---- The controls ----
  // Restart: the thrown box goes.
  await page.click("#restart");
  await D.waitFrames(3);
  check((await D.status()).bodies === start.bodies, "Restart takes the scene back to its start");

  // Draw: each layer in its own colour.
  const layers = [["particles", [255, 210, 0]], ["boxes", [0, 170, 0]], ["pairs", [255, 70, 70]]];
  for (const [name, rgb] of layers) {
    await D.snap("plain");
    await page.click(`label[for=draw-${name}]`);
    await D.waitFrames(3);
    await D.snap("drawn");
    const before = await D.lit("plain", 0, 0, 800, 600, rgb);
    const after = await D.lit("drawn", 0, 0, 800, 600, rgb);
    check(before === 0 && after > 50, `Draw ${name}: ${after} pixels in its colour`);
    await page.click(`label[for=draw-${name}]`);
  }
  await setInput(page, "draw-ids", true);
  await page.mouse.move(...D.at(400, 560));  // over the pyramid's bottom row
  await D.waitFrames(3);
  await D.snap("ids");
  const digits = await D.lit("ids", 380, 520, 480, 580, [0, 220, 255]);
  check(digits > 10, `Draw IDs: the body under the pointer is numbered (${digits} pixels)`);
  await setInput(page, "draw-ids", false);
  await page.mouse.move(...D.at(20, 20));

  // Looks: L on the canvas turns the clear look on, as on the desktop, and the bodies are
  // filled: inside the bottom-left box, between its braces, nothing is lit in the classic look
  // and everything in the clear one. The list turns it back.
  await D.snap("classic");
  await page.locator("#canvas").focus();
  await page.keyboard.press("l");
  await D.waitFrames(3);
  await D.snap("clear");
  const unfilled = await D.lit("classic", 112, 533, 138, 539);
  const filled = await D.lit("clear", 112, 533, 138, 539);
  check((await D.run()).look === "clear" && await page.inputValue("#look") === "clear" &&
        unfilled === 0 && filled === 26 * 6,
        `L turns the clear look on: a box's inside ${unfilled} -> ${filled} of 156 pixels lit`);
  await page.selectOption("#look", "classic");
  await D.waitFrames(3);
  await D.snap("classic-again");
  check((await D.run()).look === "classic" && await D.lit("classic-again", 112, 533, 138, 539) === 0,
        "the Look list brings the classic look back");

  // Tools: a key on the canvas chooses one (as on the desktop), the radio buttons another.
  // Paused, so that what is built stays where it was built.
  await page.click("#pause");
  await page.locator("#canvas").focus();
  await page.keyboard.press("5");
  const boxTool = await D.run();
  check(boxTool.tool === "box" && await page.isChecked("#tool-box"), "key 5 chooses the Box tool");
  const b0 = (await D.status()).bodies;
  await D.drag([[660, 60], [700, 100], [740, 140]]);
  await D.snap("drawn-box");
  const b1 = (await D.status()).bodies, boxLit = await D.lit("drawn-box", 650, 50, 750, 150);
  check(b1 === b0 + 1 && boxLit > 100,
        `a drag with the Box tool builds a box there (${b0} -> ${b1} bodies, ${boxLit} pixels)`);
  await page.click("label:has(#tool-erase)");
  await D.drag([[700, 100], [700, 100]]);
  check((await D.run()).tool === "erase" && (await D.status()).bodies === b0,
        "the Erase radio button's tool removes it again");
  await page.click("label:has(#tool-throw)");
  await page.click("#pause");

  // World and Run sliders: the keyboard moves them (a slider is reached and moved as any user
  // with a keyboard would), and the program's state follows.
  await page.focus("#gravity-y");
  await page.keyboard.press("End");
  await page.focus("#steps");
  for (let i = 0; i < 2; i++) await page.keyboard.press("ArrowRight");
  await setInput(page, "iterations", 12);
  await setInput(page, "bounce", 0.25);
  await setInput(page, "friction", 1.5);
  await setInput(page, "divisor", 4);
  await setInput(page, "gravity-x", -0.05);
  const r1 = await D.run();
  check(r1.gravity[0] === Math.fround(-0.05) && r1.gravity[1] === 0.5,
        `gravity follows its sliders (${r1.gravity})`);
  check(r1.steps === 5 && r1.iterations === 12 && r1.divisor === 4 &&
        r1.bounce === 0.25 && r1.friction === 1.5,
        `steps ${r1.steps}, passes ${r1.iterations}, divisor ${r1.divisor}, bounce ` +
        `${r1.bounce}, friction ${r1.friction} follow theirs`);
  // Gravity 0.5 down and to the left: the pile slumps to the bottom left.
  await D.waitFrames(60);
  await D.snap("heavy");
  const left = await D.lit("heavy", 0, 300, 400, 600), right = await D.lit("heavy", 400, 0, 800, 600);
  check(left > right, `strong gravity to the left piles the boxes there (${left} vs ${right})`);

  // Pause: the picture stands still (frames still run, and say so); one Step moves it.
  await setInput(page, "gravity-y", -0.5);  // everything rises: no picture stands by itself
  await D.waitFrames(2);
  await page.click("#pause");
  await D.waitFrames(3);
  await D.snap("paused1");
  await D.waitFrames(10);
  await D.snap("paused2");
  const still = await D.differ("paused1", "paused2");
  check(still === 0, `paused, the picture stands still (${still} pixels differ)`);
  check(/paused/.test(await page.locator("#status").textContent()), "#status says paused");
  await page.click("#step");
  await D.waitFrames(3);
  await D.snap("stepped");
  const moved = await D.differ("paused2", "stepped");
  check(moved > 50, `Step moves a paused world one frame (${moved} pixels differ)`);
  await page.click("#pause");
  await page.locator("#canvas").focus();
  await page.keyboard.press("p");  // the panel's key: pause again
  check((await D.run()).paused, "P on the canvas pauses");
  await page.keyboard.press("p");

  // The stable step: the stacks scene runs in it and the checkbox says so; the checkbox turns it
  // off, as the desktop panel's does.
  await page.selectOption("#scene", "stacks");
  await D.waitFrames(3);
  check((await D.run()).stable && await page.isChecked("#stable"),
        "the stacks scene runs in the stable step, and its checkbox is ticked");
  await page.click("#stable");
  await D.waitFrames(2);
  check(!(await D.run()).stable && !(await page.isChecked("#stable")),
        "the checkbox turns the stable step off");
  // Contact damping, the desktop panel's slider beside it, sends the desktop's `damping` command.
  await setInput(page, "damping", 0.05);
  await D.waitFrames(2);
  const damping = (await D.run()).damping;
  check(Math.abs(damping - 0.05) < 1e-6, `the contact damping slider sets the world's damping (${damping})`);
  await setInput(page, "damping", 0);

  // A scene switch, then back to the pyramid's defaults for what follows.
  await page.selectOption("#scene", "chain");
  await D.waitFrames(3);
  const chain = await D.run();
  check(chain.scene === "chain" && chain.bodies !== start.bodies &&
        /scene chain/.test(await page.locator("#status").textContent()),
        `the scene list switches to chain (${chain.bodies} bodies)`);
  for (const [id, v] of [["steps", 3], ["iterations", 5], ["bounce", 1], ["friction", 0.5],
                         ["divisor", 16]]) await setInput(page, id, v);

  // ---- Files ----
  // Save while paused, then open the saved file: the picture is the very same, and it moves on.
  await page.click("#pause");
  await page.mouse.move(...D.at(20, 20));
  await D.waitFrames(3);
  const [saving] = await Promise.all([page.waitForEvent("download"), page.click("#save")]);
  const saved = path.join(work, "scene.json");
  await saving.saveAs(saved);
  await D.snap("saved");
  await page.selectOption("#scene", "tower");
  await D.waitFrames(3);
  await page.setInputFiles("#open", saved);
  await page.waitForFunction(() => window.sandboxState.run.scene === "scene.json");
  await D.waitFrames(3);
  await D.snap("opened");
  const same = await D.differ("saved", "opened");
  check(same === 0, `the saved scene opens as it was saved (${same} pixels differ)`);
  await page.click("#pause");
  await D.waitFrames(5);
  await D.snap("continued");
  check(await D.differ("opened", "continued") > 50, "and it moves on");
  // A broken file: the message the desktop gives for it.
  const broken = path.join(work, "broken.json");
  fs.writeFileSync(broken, '{"version": 1,\n  "world": [1, 2,, 3]}\n');
  await page.setInputFiles("#open", broken);
  await page.waitForFunction(() => /broken/.test(document.getElementById("file-message").textContent));
  const shown = await page.locator("#file-message").textContent();
  let desktopSays = "";
  try {
    execFileSync(process.execPath, [path.join(buildDir, "replay.js"), "--frames", "1",
                                    "--scene", "broken.json"], { cwd: work, stdio: "pipe" });
  } catch (e) {
    desktopSays = e.stderr.toString().trim().replace(/^replay\.js: --scene: /, "");
  }
  check(desktopSays !== "" && shown === desktopSays,
        `a broken file shows the replay tool's message: "${shown}"` +
        (shown === desktopSays ? "" : ` (the tool's: "${desktopSays}")`));
  check((await D.run()).scene === "scene.json", "and the scene stays as it was");

  // Share: a link to this moment (paused) opens the same picture in a new page.
  await page.click("#pause");
  await page.click("#share");
  await page.waitForFunction(() => document.getElementById("share-link").value !== "");
  const link = await page.locator("#share-link").inputValue();
  check(/#data=[A-Za-z0-9_-]+&paused=1$/.test(link), `the share link holds the scene (${link.length} characters)`);
  await page.mouse.move(...D.at(20, 20));  // the cursor's cross where the other page has it
  await D.waitFrames(3);
  await D.snap("shared");
  const S = await openPage(desk, link);
  await S.page.waitForFunction(() => window.sandboxState.run.scene === "shared-scene.json" &&
                               window.sandboxState.run.paused);
  await S.page.mouse.move(...S.at(20, 20));
  await S.waitFrames(3);
  await S.snap("shared");
  const pictureHash = (P) => P.page.evaluate(async () => Array.from(new Uint8Array(
      await crypto.subtle.digest("SHA-256", window.snaps.shared.data))).join(","));
  check(await pictureHash(S) === await pictureHash(D), "the link opens the same moment");
  check((await S.status()).bodies === (await D.status()).bodies, "with the same bodies");
  await S.page.close();
  const N = await openPage(desk, url + "#scene=cloth");
  const cloth = await N.page.waitForFunction(() => window.sandboxState.run.scene === "cloth",
                                             null, { timeout: 10000 }).then(() => true, () => false);
  check(cloth, "a link to a built-in scene starts it");
  await N.page.close();
  // Too long a link: the sheet's (the largest scene) is refused, and Save is offered instead.
  await page.selectOption("#scene", "sheet");
  await D.waitFrames(3);
  await page.click("#share");
  await page.waitForFunction(() => /characters long/.test(
      document.getElementById("file-message").textContent));
  check(await page.evaluate(() => document.activeElement.id) === "save",
        "too long a link says so and offers Save");
  await page.click("#pause");

  await page.close();

  // ---- Recording: the page's session replays on the desktop and under node ----
  const R = await openPage(desk);
  {
  const { page } = R, D = R;
  await page.mouse.move(...D.at(20, 20));
  await page.click("#record");
  await D.waitFrames(5);
  await D.drag([[700, 50], [730, 80], [770, 110]]);
  await setInput(page, "gravity-x", 0.02);
  await setInput(page, "divisor", 8);
  await D.drag([[600, 40], [560, 60], [540, 90]]);
  await page.click("label:has(#tool-box)");
  await D.drag([[100, 60], [140, 90], [160, 110]]);
  await page.click("label:has(#tool-throw)");
  await page.click("#pause");
  await page.click("#step");
  await D.waitFrames(3);
  await page.click("#pause");
  await setInput(page, "steps", 4);
  await D.waitFrames(30);
  await page.click("#record");
  await page.waitForFunction(() => document.getElementById("record-message").dataset.hash);
  const { frames: recFrames, hash: pageHash } =
      await page.evaluate(() => ({ ...document.getElementById("record-message").dataset }));
  const [recDownload] = await Promise.all([page.waitForEvent("download"),
                                           page.click("#recording")]);
  const script = path.join(work, "session.txt");
  await recDownload.saveAs(script);
  const nodeTrace = path.join(work, "node-trace.txt");
  execFileSync(process.execPath, [path.join(buildDir, "replay.js"), "--input", script,
                                  "--frames", recFrames, "--trace", nodeTrace], { cwd: work });
  const nodeHash = sha256(nodeTrace);
  const lines = fs.readFileSync(script, "utf8").split("\n");
  check(lines.some((l) => / down 1$/.test(l)) && lines.some((l) => / gravity /.test(l)) &&
        lines.some((l) => / box \d+ \d+ \d+ \d+$/.test(l)),
        `the recording holds the throws and the commands (${lines.length} lines)`);
  check(nodeHash === pageHash, `node replay.js gives the page's trace over ${recFrames} frames ` +
        `(${nodeHash.slice(0, 12)} / ${pageHash.slice(0, 12)})`);
  const desktop = process.env.SANDBOX_REPLAY;
  if (desktop && fs.existsSync(desktop)) {
    const deskTrace = path.join(work, "desktop-trace.txt");
    execFileSync(desktop, ["--input", script, "--frames", recFrames, "--trace", deskTrace],
                 { cwd: work, env: { ...process.env, SDL_VIDEODRIVER: "offscreen" } });
    const deskHash = sha256(deskTrace);
    check(deskHash === pageHash, `the desktop's sandbox-replay gives it too (${deskHash.slice(0, 12)})`);
  } else {
    console.log(`skip: no desktop sandbox-replay ($SANDBOX_REPLAY: ${desktop || "unset"})`);
  }
  if (screenshot) await shoot(page, screenshot);

  // ---- Escape: the simulation ends, the page says so and takes no input; Start again ----
  await page.locator("#canvas").focus();
  await page.keyboard.down("Escape");
  await page.waitForFunction(() => window.sandboxState.stopped, null, { timeout: 10000 });
  await page.keyboard.up("Escape");
  const stopped = (await D.status()).frames;
  await page.waitForTimeout(500);
  check((await D.status()).frames === stopped, `no frame runs after Escape (stopped at ${stopped})`);
  check(/stopped/.test(await page.locator("#status").textContent()), "#status says stopped");
  check(await page.locator("#ended").isVisible() && await page.locator("#again").isVisible(),
        "the page says the simulation has ended and offers to start it again");
  // Input while stopped is not kept: the page's queue stays empty however long it is used.
  await page.locator("#canvas").focus();
  await page.keyboard.press(" ");
  for (let i = 0; i < 50; i++) await page.mouse.move(...D.at(100 + i, 100));
  const queued = await page.evaluate(() => JSON.parse(
      Module.ccall("sandbox_state", "string", [], [])).queued);
  check(queued === 0, `input given while stopped is not queued (${queued} records)`);
  await page.click("#again");
  await D.waitFrames(10);
  const after = await D.status();
  check(!after.stopped && after.frames > stopped + 5 && after.bodies === start.bodies,
        `Start again runs the scene from its start (${after.bodies} bodies)`);
  await D.drag([[720, 60], [740, 90], [760, 120]]);
  check((await D.status()).bodies === start.bodies + 1, "and takes input again: a drag throws");
  }

  // ---- A phone: the canvas fits the width, and a finger throws ----
  const phone = await browser.newContext({ viewport: { width: 390, height: 844 },
                                           deviceScaleFactor: 2, isMobile: true, hasTouch: true });
  const P = await openPage(phone);
  const canvasBox = await P.page.locator("#canvas").boundingBox();
  const pageWidth = await P.page.evaluate(() => document.documentElement.scrollWidth);
  check(canvasBox.width < 390 && pageWidth <= 390,
        `the canvas fits a phone's width (${canvasBox.width.toFixed(0)} px, page ${pageWidth} px)`);
  await P.waitFrames(30);
  const p0 = (await P.status()).bodies;
  const cdp = await phone.newCDPSession(P.page);
  const touch = (type, xy) => cdp.send("Input.dispatchTouchEvent", {
    type, touchPoints: xy ? [{ x: xy[0], y: xy[1] }] : [] });
  // A long press on the pyramid's top corner grabs it: the finger lifts it while held.
  const particles = () => P.page.evaluate(() => JSON.parse(
      Module.ccall("sandbox_save", "string", [], [])).particles.map((q) => q.pos));
  const before = await particles();
  let top = -1;
  before.forEach((q, i) => { if (q[0] > 20 && q[0] < 780 && (top < 0 || q[1] < before[top][1])) top = i; });
  const [tx, ty] = before[top];
  await touch("touchStart", P.at(tx, ty));
  await P.page.waitForTimeout(700);
  await P.waitFrames(2);
  for (let k = 1; k <= 4; k++) {
    await touch("touchMove", P.at(tx - 25 * k, ty));
    await P.waitFrames(2);
  }
  await P.waitFrames(20);
  const pulled = (await particles())[top];
  await touch("touchEnd", null);
  await P.waitFrames(3);
  check(pulled[0] < tx - 50 && (await P.status()).bodies === p0,
        `a long press grabs: the corner at x ${tx.toFixed(0)} follows the finger to ` +
        `${pulled[0].toFixed(0)}, and nothing is thrown`);
  await P.page.click("#restart");
  await P.waitFrames(5);
  await P.snap("before");
  // Upwards, so that a page that scrolled under the finger would show it.
  // The finger moves at once, as a throw's does: one held still would be a long press.
  await touch("touchStart", P.at(720, 250));
  for (const p of [[735, 200], [750, 150], [760, 110]]) {
    await touch("touchMove", P.at(...p));
    await P.waitFrames(2);
  }
  await P.hold();
  await touch("touchEnd", null);
  await P.waitFrames(3);
  await P.snap("after");
  check((await P.status()).bodies === p0 + 1, "a finger's drag throws a box");
  const touchSky = await P.lit("after", ...sky);
  check(touchSky > 100, `where the finger let go (${touchSky} lit pixels in the sky)`);
  if (touchSky <= 100) await P.page.screenshot({ path: path.join(buildDir, "e2e-touch-failed.png") });
  check(await P.page.evaluate(() => window.scrollY) === 0, "the page did not scroll under it");
  // A tap is a click: a box dropped where the finger touched, on the left this time (still
  // paused).
  await touch("touchStart", P.at(60, 60));
  await touch("touchEnd", null);
  await P.waitFrames(4);
  await P.snap("tapped");
  check((await P.status()).bodies === p0 + 2 && await P.lit("tapped", 10, 10, 120, 140) > 100,
        "a tap drops a box where it touched");
  if (phoneShot) await shoot(P.page, phoneShot);

  check(errors.length === 0, `no console errors${errors.length ? ": " + errors.join(" | ") : ""}`);
} finally {
  await browser.close();
  server.close();
  fs.rmSync(work, { recursive: true, force: true });
}
process.exit(failures === 0 ? 0 : 1);
