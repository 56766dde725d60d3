// The browser build in Debian's Chromium, headless: the page as a user
// drives it, with the simulated Kilnbox. Usage:
//   node --test site_test.mjs   (TALVERINE_SITE: the site folder;
//   TALVERINE_SHOTS: where the screenshots go; TALVERINE_CHROMIUM: the browser)
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { after, afterEach, before, test } from 'node:test';
import puppeteer from 'puppeteer-core';

const site = path.resolve(process.env.TALVERINE_SITE || '../../build-web/site');
const shots = path.resolve(process.env.TALVERINE_SHOTS || path.join(site, '..'));
const chromium = process.env.TALVERINE_CHROMIUM || '/usr/bin/chromium';
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm',
  '.png': 'image/png', '.svg': 'image/svg+xml', '.jpg': 'image/jpeg', '.htm': 'text/html', '.data': 'application/octet-stream' };

// A test that hangs fails instead of holding up the run. Only this limit
// ends a wait: each wait lasts as long as the thing waited for takes on a
// busy machine (see newPage).
const LIMIT = { timeout: Number(process.env.TALVERINE_TEST_LIMIT_MS || 600000) };

let server;
let origin;
let browser;
let contexts = [];

// Serves the site as a static host would.
function serve() {
  return new Promise((resolve) => {
    server = http.createServer((req, res) => {
      const name = decodeURIComponent(new URL(req.url, 'http://x').pathname);
      const file = path.join(site, name.endsWith('/') ? name + 'index.html' : name);
      if (!file.startsWith(site) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
        res.writeHead(404).end();
        return;
      }
      res.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream' });
      fs.createReadStream(file).pipe(res);
    });
    server.listen(0, '127.0.0.1', () => resolve(`http://127.0.0.1:${server.address().port}`));
  });
}

before(async () => {
  origin = await serve();
  browser = await puppeteer.launch({ executablePath: chromium, headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--window-size=800,600'] });
});
// A page left open would keep the next one out (one tab at a time).
afterEach(async () => {
  for (const context of contexts) await context.close();
  contexts = [];
});
after(async () => {
  if (browser) await browser.close();
  server.close();
});

// A page of `context` whose waits have no time limit of their own.
async function newPage(context) {
  const page = await context.newPage();
  page.setDefaultTimeout(0);
  return page;
}

// A page with a 600 x 480 client area under the menu bar, its console
// errors and warnings collected; each in a browser context of its own, with
// storage of its own.
async function open(query = '', beforeDrawn = async () => {}) {
  const context = await browser.createBrowserContext();
  contexts.push(context);
  const page = await newPage(context);
  const problems = [];
  page.on('console', (m) => { if (m.type() === 'error' || m.type() === 'warn') problems.push(m.text()); });
  page.on('pageerror', (e) => problems.push(String(e)));
  page.on('requestfailed', (r) => problems.push('failed: ' + r.url()));
  await page.setViewport({ width: 600, height: 480 });
  await page.goto(origin + '/' + query);
  await beforeDrawn(page);
  await page.waitForFunction(() => document.body.dataset.drawn);
  const menuHeight = await page.evaluate(() => document.getElementById('top').offsetHeight);
  await page.setViewport({ width: 600, height: 480 + menuHeight });
  await page.waitForFunction(() => document.getElementById('client').clientHeight === 480 &&
    document.getElementById('canvas').height === 480);
  return { page, problems, context };
}

const statusText = (page, part) => page.$eval(`#status-part-${part}`, (e) => e.textContent);
const waitForStatus = (page, part, text) => page.waitForFunction(
  (p, t) => { const e = document.getElementById('status-part-' + p); return e && e.textContent === t; },
  {}, part, text);

// The sound's trace, in the program's blue, across the top panel.
const traceDrawn = (page) => page.waitForFunction(() => {
  // Read from a copy: the page's own canvas is not made for reading.
  const c = document.getElementById('canvas');
  const copy = document.createElement('canvas');
  copy.width = c.width;
  copy.height = 180;
  const x = copy.getContext('2d', { willReadFrequently: true });
  x.drawImage(c, 0, 0);
  const d = x.getImageData(0, 0, c.width, 180).data;
  let blue = 0;
  for (let i = 0; i < d.length; i += 4) if (d[i] < 60 && d[i + 1] < 60 && d[i + 2] > 180) ++blue;
  return blue > 1000;
});

// Downloads of `context` go to `folder`; `complete` resolves once the next
// one is.
async function nextDownload(context, folder) {
  const cdp = await browser.target().createCDPSession();
  await cdp.send('Browser.setDownloadBehavior',
    { behavior: 'allow', downloadPath: folder, eventsEnabled: true, browserContextId: context.id });
  return { complete: new Promise((resolve) => cdp.on('Browser.downloadProgress', (e) => {
    if (e.state === 'completed') resolve();
  })) };
}

// Saves the image through File > Save File as `name`.
async function saveAs(page, name) {
  await menu(page, 'File', 'Save File');
  const field = await page.waitForSelector('dialog.save[open] input[type=text]');
  await field.evaluate((e) => { e.value = ''; });
  await field.type(name);
  await (await page.$('dialog.save[open] button.default')).click();
}

async function menu(page, title, item) {
  const [top] = await page.$$(`xpath/.//button[contains(@class,"menu-title")][normalize-space(.)="${title}"]`);
  await top.click();
  const [entry] = await page.$$(`xpath/.//button[contains(@class,"menu-item")][normalize-space(.)="${item}"]`);
  await entry.click();
}

test('the page loads without a console error and draws the window', LIMIT, async () => {
  // Headless Chromium refuses MIDI: without the simulator there are no
  // ports, and the program says so as it starts, as on the desktop.
  let box = '';
  const { page, problems } = await open('', async (p) => {
    const ok = await p.waitForSelector('dialog.box[open] button');
    box = await p.$eval('dialog.box[open] .text', (e) => e.textContent);
    await ok.click();
  });
  assert.equal(box, 'No MIDI input or output devices are present');
  const titles = await page.$$eval('.menu-title', (b) => b.map((x) => x.textContent));
  assert.deepEqual(titles, ['File', 'Options', 'Kilnbox', 'EPROM', 'Help']);
  assert.equal(await page.$$eval('.status .part', (p) => p.length), 3);
  // The picture of the EPROM and the label under it were drawn on the canvas.
  const dark = await page.$eval('#canvas', (c) => {
    const copy = document.createElement('canvas');
    copy.width = c.width;
    copy.height = c.height;
    const x = copy.getContext('2d', { willReadFrequently: true });
    x.drawImage(c, 0, 0);
    const d = x.getImageData(0, 0, c.width, c.height).data;
    let n = 0;
    for (let i = 0; i < d.length; i += 4) if (d[i] < 80 && d[i + 1] < 80 && d[i + 2] < 80) ++n;
    return n;
  });
  assert.ok(dark > 500, `only ${dark} dark pixels`);
  assert.deepEqual(problems, []);
});

test('Read EPROM through the menu against the simulated Kilnbox, with the network gone', LIMIT, async () => {
  const { page, problems } = await open('?simulator');
  // Once loaded, the page needs nothing more from its host.
  await page.setOfflineMode(true);
  // A blank EPROM in the socket, through the simulator's panel.
  await page.click('.sim-toggle');
  const [insert] = await page.$$('xpath/.//dialog[contains(@class,"sim-panel")]//button[.="Insert Blank"]');
  await insert.click();
  await page.waitForFunction(() => /^Socket: 2764/.test(document.querySelector('.sim-socket').textContent));
  await page.click('.sim-toggle');
  await menu(page, 'EPROM', 'Read EPROM');
  await waitForStatus(page, 1, 'Received Block 1:  8192 bytes - Read OK.');
  assert.equal(await statusText(page, 2), 'Kilnbox detected');
  await page.screenshot({ path: path.join(shots, 'web-read-eprom.png') });
  assert.deepEqual(problems, []);
});

test('a WAV made by sox loads through File > Load File and saves as the command line converts it', LIMIT, async () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'talverine-web-'));
  const wav = path.join(dir, 'tone.wav');
  execFileSync('sox', ['-n', '-r', '24000', '-b', '16', '-c', '1', wav, 'synth', '0.1', 'sine', '440']);
  const { page, problems, context } = await open('?simulator');
  const downloads = path.join(dir, 'downloads');
  const download = await nextDownload(context, downloads);
  const [chooser] = await Promise.all([page.waitForFileChooser(), menu(page, 'File', 'Load File')]);
  await chooser.accept([wav]);
  await traceDrawn(page);
  // A good WAV loads without a word, as on the desktop.
  assert.deepEqual(await page.$$eval('.status .part', (p) => p.map((x) => x.textContent)), ['', '', '']);

  await saveAs(page, 'tone.bin');
  await download.complete;
  const saved = fs.readFileSync(path.join(downloads, 'tone.bin'));
  if (process.env.TALVERINE_CLI) {
    execFileSync(process.env.TALVERINE_CLI, ['convert', wav, path.join(dir, 'cli.bin')]);
    assert.ok(saved.equals(fs.readFileSync(path.join(dir, 'cli.bin'))), 'the saved image differs from talverine-cli\'s');
  } else {
    assert.equal(saved.length, 8192);
  }
  assert.deepEqual(problems, []);
  fs.rmSync(dir, { recursive: true });
});

test('a setting chosen in a dialog survives a reload of the page', LIMIT, async () => {
  const { page } = await open('?simulator');
  const chosen = async () => {
    await menu(page, 'Options', 'EPROM Type');
    const list = await page.waitForSelector('dialog.options[open] select');
    return list;
  };
  const storedType = () => page.evaluate(() => {
    const key = Object.keys(localStorage).find((k) => k.startsWith('talverine/config/'));
    const line = key ? /^EPROM_type.*$/m.exec(localStorage.getItem(key)) : null;
    return line ? line[0] : '';
  });
  const typeBefore = await storedType();
  let list = await chosen();
  const entries = await list.$$eval('option', (o) => o.map((x) => x.textContent));
  const before = await list.evaluate((s) => s.selectedIndex);
  const other = (before + 1) % entries.length;
  await list.select(await list.$$eval('option', (o, i) => o[i].value, other));
  await (await page.$('dialog.options[open] button.default')).click();
  // Stored once the program has written its file with the new type.
  await page.waitForFunction((before) => {
    const key = Object.keys(localStorage).find((k) => k.startsWith('talverine/config/'));
    const line = key ? /^EPROM_type.*$/m.exec(localStorage.getItem(key)) : null;
    return line && line[0] !== before;
  }, {}, typeBefore);
  assert.notEqual(await storedType(), typeBefore);
  await page.reload();
  await page.waitForFunction(() => document.body.dataset.drawn);
  list = await chosen();
  assert.equal(await list.evaluate((s) => s.selectedIndex), other, `${entries[other]} was not kept`);
  await (await page.$('dialog.options[open] button:not(.default)')).click();
});

test('Help opens the help pages served beside the program, their check passed', LIMIT, async () => {
  const { page, problems, context } = await open('?simulator');
  const opened = context.waitForTarget((t) => t.url().endsWith('/help/help.htm'));
  await menu(page, 'Help', 'Help');
  await opened;
  assert.equal(await page.$('dialog.box[open]'), null);
  assert.deepEqual(problems, []);
});

test('a WAV dropped on the window loads into the sound under the drop point', LIMIT, async () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'talverine-web-'));
  const wav = path.join(dir, 'dropped.wav');
  execFileSync('sox', ['-n', '-r', '24000', '-b', '16', '-c', '1', wav, 'synth', '0.1', 'sine', '440']);
  const { page, problems } = await open('?simulator');
  const box = await (await page.$('#canvas')).boundingBox();
  const at = { x: box.x + 300, y: box.y + 100 };
  const data = { items: [], files: [wav], dragOperationsMask: 1 };
  const cdp = await page.createCDPSession();
  for (const type of ['dragEnter', 'dragOver', 'drop'])
    await cdp.send('Input.dispatchDragEvent', { type, x: at.x, y: at.y, data });
  await traceDrawn(page);
  assert.deepEqual(problems, []);
  fs.rmSync(dir, { recursive: true });
});

// A Web MIDI access of two ports wired to a kilnbox-sim process (started
// with `simArgs`) over its pseudo-terminal, so that the page's own MIDI code
// runs. Every byte the page sends is kept, in order, in window.sentToKilnbox.
// unwire() resolves once the simulator has ended (and so written what
// --save-socket names).
async function wireWebMidiToKilnboxSim(page, simulator, simArgs) {
  const sim = spawn(simulator, ['--speed', '50', '--exit-on-close', ...simArgs],
    { stdio: ['ignore', 'pipe', 'inherit'] });
  const ended = new Promise((resolve) => sim.on('exit', resolve));
  const pty = await new Promise((resolve, reject) => {
    let out = '';
    sim.stdout.on('data', (chunk) => {
      out += chunk;
      if (out.includes('\n')) resolve(out.split('\n')[0].trim());
    });
    sim.on('exit', () => reject(new Error('kilnbox-sim ended: ' + out)));
  });
  execFileSync('stty', ['-F', pty, 'raw', '-echo']);
  const toDevice = fs.openSync(pty, 'w');
  const fromDevice = spawn('cat', [pty], { stdio: ['ignore', 'pipe', 'inherit'] });
  await page.exposeFunction('toKilnbox', (bytes) => { fs.writeSync(toDevice, Buffer.from(bytes)); });
  fromDevice.stdout.on('data', (chunk) => {
    page.evaluate((bytes) => window.fromKilnbox(bytes), [...chunk]).catch(() => {});
  });
  await page.evaluateOnNewDocument(() => {
    const input = { name: 'Kilnbox over the wire In', onmidimessage: null, open: async () => {} };
    window.sentToKilnbox = [];
    const output = { name: 'Kilnbox over the wire Out', open: async () => {},
      send: (data) => { window.sentToKilnbox.push(...data); window.toKilnbox([...data]); } };
    window.fromKilnbox = (bytes) => { if (input.onmidimessage) input.onmidimessage({ data: new Uint8Array(bytes) }); };
    navigator.requestMIDIAccess = async () => ({ inputs: new Map([['in', input]]), outputs: new Map([['out', output]]) });
  });
  return async () => {
    fromDevice.kill();
    fs.closeSync(toDevice);
    sim.kill();
    await ended;
  };
}

test('Read and Verify EPROM through the page\'s Web MIDI code against kilnbox-sim, the image saved whole', LIMIT, async (t) => {
  if (!process.env.TALVERINE_KILNBOX_SIM) { t.skip('TALVERINE_KILNBOX_SIM names no kilnbox-sim'); return; }
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'talverine-web-'));
  const eprom = Buffer.alloc(8192);
  for (let i = 0; i < eprom.length; ++i) eprom[i] = (i * 7 + (i >> 8)) & 0xff;
  fs.writeFileSync(path.join(dir, 'socket.bin'), eprom);
  const context = await browser.createBrowserContext();
  contexts.push(context);
  const page = await newPage(context);
  const problems = [];
  page.on('console', (m) => { if (m.type() === 'error' || m.type() === 'warn') problems.push(m.text()); });
  const unwire = await wireWebMidiToKilnboxSim(page, process.env.TALVERINE_KILNBOX_SIM, ['--socket', path.join(dir, 'socket.bin')]);
  try {
    const downloads = path.join(dir, 'downloads');
    const download = await nextDownload(context, downloads);
    await page.goto(origin + '/');
    await page.waitForFunction(() => document.body.dataset.drawn);
    await menu(page, 'EPROM', 'Read EPROM');
    await waitForStatus(page, 1, 'Received Block 1:  8192 bytes - Read OK.');
    await saveAs(page, 'read.bin');
    await download.complete;
    assert.ok(fs.readFileSync(path.join(downloads, 'read.bin')).equals(eprom), 'the image read differs from the EPROM');
    // The image verifies against the EPROM it came from.
    await menu(page, 'EPROM', 'Verify EPROM');
    await waitForStatus(page, 1, 'Received Block 1:  8192 bytes - Verify OK.');
    assert.deepEqual(problems, []);
  } finally {
    await unwire();
  }
});

test('a second tab says the program is open, and File > Exit ends the first one', LIMIT, async () => {
  const { page, context } = await open('?simulator');
  const second = await newPage(context);
  await second.goto(origin + '/?simulator');
  await second.waitForSelector('#already-open:not([hidden])');
  assert.equal(await second.$eval('#app', (e) => e.hidden), true);
  await page.bringToFront();
  await menu(page, 'File', 'Exit');
  await page.waitForSelector('#ended:not([hidden])');
});

// The SysEx messages in a stream of bytes, each as hex ("F0 10 ... F7").
function sysexMessages(bytes) {
  const messages = [];
  let current = [];
  for (const b of bytes) {
    if (b === 0xf0) current = [];
    current.push(b.toString(16).toUpperCase().padStart(2, '0'));
    if (b === 0xf7) messages.push(current.join(' '));
  }
  return messages;
}

// What talverine-cli sends for `args` against its own simulated Kilnbox:
// all of it, and what follows the Kilnbox's answer to its detection.
function cliSends(dir, name, args) {
  const log = path.join(dir, name + '.log');
  execFileSync(process.env.TALVERINE_CLI, ['--midi-log', log, ...args, '--simulator', '--speed', '50'], { stdio: 'ignore' });
  const lines = fs.readFileSync(log, 'utf8').split('\n');
  const sent = (from) => lines.slice(from).map((l) => / out (F0.*F7)\s*$/.exec(l)).filter(Boolean).map((m) => m[1]);
  return { all: sent(0), afterDetection: sent(lines.findIndex((l) => / in  F0/.test(l)) + 1) };
}

test('Program and Verify EPROM through the page\'s Web MIDI code, sending what talverine-cli sends', LIMIT, async (t) => {
  if (!process.env.TALVERINE_KILNBOX_SIM || !process.env.TALVERINE_CLI) {
    t.skip('TALVERINE_KILNBOX_SIM and TALVERINE_CLI name no kilnbox-sim and talverine-cli');
    return;
  }
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'talverine-web-'));
  const wav = path.join(dir, 'tone.wav');
  execFileSync('sox', ['-n', '-r', '24000', '-b', '16', '-c', '1', wav, 'synth', '0.1', 'sine', '440']);
  const socket = path.join(dir, 'socket.bin');
  const context = await browser.createBrowserContext();
  contexts.push(context);
  const page = await newPage(context);
  const problems = [];
  page.on('console', (m) => { if (m.type() === 'error' || m.type() === 'warn') problems.push(m.text()); });
  const unwire = await wireWebMidiToKilnboxSim(page, process.env.TALVERINE_KILNBOX_SIM, ['--save-socket', socket]);
  const sentSince = async (mark) => sysexMessages(await page.evaluate((m) => window.sentToKilnbox.slice(m), mark));
  const sentCount = () => page.evaluate(() => window.sentToKilnbox.length);
  let read, programmed;
  try {
    await page.goto(origin + '/');
    await page.waitForFunction(() => document.body.dataset.drawn);
    let mark = await sentCount();
    await menu(page, 'EPROM', 'Read EPROM');
    await waitForStatus(page, 1, 'Received Block 1:  8192 bytes - Read OK.');
    read = await sentSince(mark);

    const [chooser] = await Promise.all([page.waitForFileChooser(), menu(page, 'File', 'Load File')]);
    await chooser.accept([wav]);
    await traceDrawn(page);
    mark = await sentCount();
    await menu(page, 'EPROM', 'Program EPROM');
    await page.waitForFunction(() => /programmed OK/.test(document.querySelector('dialog.box[open] .text')?.textContent));
    programmed = await sentSince(mark);
    const [yes] = await page.$$('xpath/.//dialog[@open][contains(@class,"box")]//button[normalize-space(.)="Yes"]');
    await yes.click();
    // Verify waits its turn behind what Program still does after the answer.
    await menu(page, 'EPROM', 'Verify EPROM');
    await waitForStatus(page, 1, 'Received Block 1:  8192 bytes - Verify OK.');
    assert.deepEqual(problems, []);
  } finally {
    await unwire();
  }
  execFileSync(process.env.TALVERINE_CLI, ['convert', wav, path.join(dir, 'image.bin')]);
  assert.ok(fs.readFileSync(socket).equals(fs.readFileSync(path.join(dir, 'image.bin'))),
    'the simulator\'s EPROM does not hold the image');
  // The page's first operation detects the Kilnbox, as talverine-cli's do.
  assert.deepEqual(read, cliSends(dir, 'read', ['read']).all);
  assert.deepEqual(programmed,
    cliSends(dir, 'program', ['program', '--load', wav, '--yes', '--no-check', '--no-verify']).afterDetection);
  fs.rmSync(dir, { recursive: true });
});

// The long edges of a picture (`url`, a PNG) outside the rectangles
// `covered`: runs of at least `minRun` pixels along which each pixel differs
// strongly from its neighbour below (h) or to the right (v). Frames,
// dividers, traces and bitmaps make them; text does not, so two pictures
// whose fonts differ still compare. Runs in a page of its own.
async function longEdges(url, covered, minRun) {
  const img = new Image();
  img.src = url;
  await img.decode();
  const canvas = document.createElement('canvas');
  canvas.width = img.width;
  canvas.height = img.height;
  const ctx = canvas.getContext('2d', { willReadFrequently: true });
  ctx.drawImage(img, 0, 0);
  const d = ctx.getImageData(0, 0, img.width, img.height).data;
  const w = img.width;
  const at = (x, y) => (y * w + x) * 4;
  const differ = (a, b) => Math.abs(d[a] - d[b]) + Math.abs(d[a + 1] - d[b + 1]) + Math.abs(d[a + 2] - d[b + 2]) > 96;
  const free = (x, y) => !covered.some(([rx, ry, rw, rh]) => x >= rx - 1 && x <= rx + rw && y >= ry - 1 && y <= ry + rh);
  const runs = (lines, length, edge) => {
    const out = [];
    for (let line = 0; line < lines; ++line) {
      let start = -1;
      for (let i = 0; i <= length; ++i) {
        const on = i < length && edge(line, i);
        if (on && start < 0) start = i;
        if (!on && start >= 0) {
          if (i - start >= minRun) out.push({ line, from: start, to: i - 1 });
          start = -1;
        }
      }
    }
    return out;
  };
  return {
    h: runs(img.height - 1, w, (y, x) => free(x, y) && free(x, y + 1) && differ(at(x, y), at(x, y + 1))),
    v: runs(w - 1, img.height, (x, y) => free(x, y) && free(x + 1, y) && differ(at(x, y), at(x + 1, y))),
  };
}

// The same edges on the same lines; their ends may differ by a pixel, as
// the two draw the corners of thick lines and smooth them differently.
function assertSameEdges(page, desktop, what) {
  const show = (edges) => edges.map((e) => `${e.line}: ${e.from}-${e.to}`).join(', ');
  const same = page.length === desktop.length && page.every((e, i) => e.line === desktop[i].line &&
    Math.abs(e.from - desktop[i].from) <= 1 && Math.abs(e.to - desktop[i].to) <= 1);
  assert.ok(same, `${what}: the page has ${show(page)}; the desktop ${show(desktop)}`);
}

test('the window at a 600 x 480 client area has the desktop\'s frames, dividers, trace, buttons and picture', LIMIT, async (t) => {
  if (!process.env.TALVERINE_HELP_SHOTS) { t.skip('TALVERINE_HELP_SHOTS names no talverine-help-shots'); return; }
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'talverine-web-'));
  // The desktop's window drawn offscreen, with the rectangles of its controls.
  const shot = path.join(dir, 'desktop.png');
  const listed = execFileSync(process.env.TALVERINE_HELP_SHOTS, ['window', shot],
    { encoding: 'utf8', env: { ...process.env, QT_QPA_PLATFORM: 'offscreen' } });
  const desktopControls = listed.split('\n').map((l) => /^(button|control) (\d+) (\d+) (\d+) (\d+) (.*)$/.exec(l))
    .filter(Boolean).map((m) => ({ button: m[1] === 'button', rect: m.slice(2, 6).map(Number), label: m[6].replace(/&/g, '') }));

  const { page, problems } = await open('?simulator');
  // Read once painted at the final size: the resize clears the canvas, and
  // the controls take their places before the paint that follows it.
  await page.waitForFunction(() => document.body.dataset.paintedSize === '600x480');
  const pageControls = await page.evaluate(() => {
    const canvas = document.getElementById('canvas').getBoundingClientRect();
    return [...document.querySelectorAll('#client > :not(canvas)')].filter((e) => e.offsetParent).map((e) => {
      const r = e.getBoundingClientRect();
      return { button: e.localName === 'button', rect: [r.x - canvas.x, r.y - canvas.y, r.width, r.height], label: e.textContent };
    });
  });
  const buttons = (controls) => controls.filter((c) => c.button).map((c) => `${c.label} at ${c.rect.join(' ')}`).sort();
  assert.deepEqual(buttons(pageControls), buttons(desktopControls));
  assert.ok(buttons(pageControls).length > 0);

  const covered = [...pageControls, ...desktopControls].map((c) => c.rect);
  const pageShot = await page.$eval('#canvas', (c) => c.toDataURL('image/png'));
  const desktopShot = 'data:image/png;base64,' + fs.readFileSync(shot).toString('base64');
  const blank = await newPage(page.browserContext());
  const pageEdges = await blank.evaluate(longEdges, pageShot, covered, 24);
  const desktopEdges = await blank.evaluate(longEdges, desktopShot, covered, 24);
  assertSameEdges(pageEdges.h, desktopEdges.h, 'edges along rows');
  assertSameEdges(pageEdges.v, desktopEdges.v, 'edges along columns');
  assert.deepEqual(problems, []);
  fs.rmSync(dir, { recursive: true });
});
