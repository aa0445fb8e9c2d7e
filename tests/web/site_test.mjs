// The web build played in a real browser: Debian's Chromium, headless, with
// WebGL on its software renderer, driven through the DevTools protocol. The
// site is served from 127.0.0.1; the test presses keys and clicks as a person
// would and judges what the canvas shows, reading the status text in the
// program's own font, as the desktop end-to-end tests do. The page is played
// three times: as it chooses for software WebGL (the CPU draws, onto a 2D
// canvas), with WebGL drawing (?draw=gl), and in a browser without WebGL;
// then, served cross-origin isolated, as the page chooses the build with
// threads. A recording is replayed in both builds, to the desktop's end line.
// With --pour it checks nothing of that and pours scene 1 up to 25 000
// particles with threads and without instead, reporting the frame rates on
// the way (a benchmark, not judged: the machine is shared).
//
//   node site_test.mjs [--pour] <site folder> [<folder for the scene screenshots>]
//
// Headless Chromium now and then dies or hangs: every wait is bounded, and a
// browser that stops answering is killed and the run starts again with a new
// one (a failed check is reported at once, never retried).
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import zlib from 'node:zlib';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';

const here = path.dirname(fileURLToPath(import.meta.url));
const pouring = process.argv.includes('--pour');
const [siteArg, shotArg] = process.argv.slice(2).filter((a) => a !== '--pour');
const siteDir = path.resolve(siteArg ?? path.join(here, '../../build-web/site'));
const shotDir = path.resolve(shotArg ?? path.join(siteDir, '../screens'));
const chromium = process.env.CHROMIUM ?? '/usr/bin/chromium';
const ATTEMPTS = 3;
const ATTEMPT_LIMIT_MS = 300_000;

class CheckFailure extends Error {}
const failures = [];
function check(ok, what) {
  console.log(`${ok ? 'ok  ' : 'FAIL'}  ${what}`);
  if (!ok) failures.push(what);
}
function require_(ok, what) {
  check(ok, what);
  if (!ok) throw new CheckFailure(what);
}
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// ---- The program's font, from its source: '#' is a lit pixel ----------------
const glyphs = (() => {
  const source = fs.readFileSync(path.join(here, '../../platform/font_data.cpp'), 'utf8');
  const rows = [...source.matchAll(/"([.# ]{71})"/g)].map((m) => m[1]);
  const glyph = [];  // glyph[code - 32][row] = 8 booleans
  for (let band = 0; band * 16 < rows.length; ++band)
    for (let g = 0; g < 8; ++g)
      glyph[band * 8 + g] = rows.slice(band * 16, band * 16 + 16).map((r) =>
        [...r.slice(g * 9, g * 9 + 8)].map((c) => c === '#'));
  if (glyph.length !== 96) throw new Error(`font_data.cpp: ${glyph.length} glyphs read, 96 expected`);
  return glyph;
})();

// ---- PNG: 8-bit RGB or RGBA as Chromium writes them, or with a palette -------
function decodePng(buffer) {
  let pos = 8, width = 0, height = 0, channels = 0, palette = null;
  const idat = [];
  while (pos < buffer.length) {
    const length = buffer.readUInt32BE(pos);
    const type = buffer.toString('latin1', pos + 4, pos + 8);
    const data = buffer.subarray(pos + 8, pos + 8 + length);
    if (type === 'IHDR') {
      width = data.readUInt32BE(0);
      height = data.readUInt32BE(4);
      if (data[8] !== 8 || ![2, 3, 6].includes(data[9]) || data[12] !== 0) throw new Error('unexpected PNG format');
      channels = { 2: 3, 3: 1, 6: 4 }[data[9]];
    } else if (type === 'PLTE') palette = data;
    else if (type === 'IDAT') idat.push(data);
    pos += 12 + length;
  }
  const raw = zlib.inflateSync(Buffer.concat(idat));
  const stride = width * channels;
  const out = Buffer.alloc(stride * height);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let i = 0; i < stride; ++i) {
      const a = i >= channels ? out[y * stride + i - channels] : 0;
      const b = y > 0 ? out[(y - 1) * stride + i] : 0;
      const c = i >= channels && y > 0 ? out[(y - 1) * stride + i - channels] : 0;
      let v = line[i];
      if (filter === 1) v += a;
      else if (filter === 2) v += b;
      else if (filter === 3) v += (a + b) >> 1;
      else if (filter === 4) {
        const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
        v += pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      }
      out[y * stride + i] = v & 255;
    }
  }
  if (channels !== 1) return { width, height, channels, data: out };
  const rgb = Buffer.alloc(width * height * 3);
  for (let i = 0; i < width * height; ++i) palette.copy(rgb, i * 3, out[i] * 3, out[i] * 3 + 3);
  return { width, height, channels: 3, data: rgb };
}

function crc32(bytes) {  // zlib.crc32 is newer than Debian's Node
  let crc = 0xffffffff;
  for (const byte of bytes) {
    crc ^= byte;
    for (let k = 0; k < 8; ++k) crc = crc & 1 ? (crc >>> 1) ^ 0xedb88320 : crc >>> 1;
  }
  return (crc ^ 0xffffffff) >>> 0;
}

// What the canvas shows, as the desktop tests see a window.
class Picture {
  constructor(png) { if (png) Object.assign(this, decodePng(png)); }
  static fromRgba(data, width, height) {
    return Object.assign(new Picture(), { width, height, channels: 4, data });
  }
  toPng() {
    const rows = [];
    for (let y = 0; y < this.height; ++y) {
      const row = Buffer.alloc(1 + this.width * 3);
      for (let x = 0; x < this.width; ++x) Buffer.from(this.at(x, y)).copy(row, 1 + x * 3);
      rows.push(row);
    }
    const chunk = (type, data) => {
      const body = Buffer.concat([Buffer.from(type, 'latin1'), data]);
      const head = Buffer.alloc(4);
      head.writeUInt32BE(data.length);
      const crc = Buffer.alloc(4);
      crc.writeUInt32BE(crc32(body));
      return Buffer.concat([head, body, crc]);
    };
    const header = Buffer.alloc(13);
    header.writeUInt32BE(this.width, 0);
    header.writeUInt32BE(this.height, 4);
    header.set([8, 2, 0, 0, 0], 8);
    return Buffer.concat([Buffer.from([137, 80, 78, 71, 13, 10, 26, 10]), chunk('IHDR', header),
      chunk('IDAT', zlib.deflateSync(Buffer.concat(rows))), chunk('IEND', Buffer.alloc(0))]);
  }
  at(x, y) {
    const i = (y * this.width + x) * this.channels;
    return [this.data[i], this.data[i + 1], this.data[i + 2]];
  }
  // Pixels whose strongest channel is `channel` (0 red, 1 green, 2 blue) by a clear margin.
  countDominant(channel, x0, y0, x1, y1) {
    let count = 0;
    for (let y = Math.max(y0, 0); y < Math.min(y1, this.height); ++y)
      for (let x = Math.max(x0, 0); x < Math.min(x1, this.width); ++x) {
        const c = this.at(x, y);
        if (c[channel] > 100 && c[channel] > Math.max(c[(channel + 1) % 3], c[(channel + 2) % 3]) + 80) ++count;
      }
    return count;
  }
  readText(x, y, cells) {
    let text = '';
    for (let cell = 0; cell < cells; ++cell) {
      const found = glyphs.findIndex((rows) => rows.every((bits, row) => bits.every((bit, column) => {
        const p = this.at(x + cell * 8 + column, y + row);
        return (p[0] > 128 && p[1] > 128 && p[2] > 128) === bit;
      })));
      text += found < 0 ? '?' : String.fromCharCode(32 + found);
    }
    return text;
  }
  // The number after "Particles: ", or -1 if unreadable.
  particleCount() {
    const m = /^Particles: (\d+) /.exec(this.readText(100, 0, 17) + ' ');
    return m ? Number(m[1]) : -1;
  }
  frameRate() {
    const m = /^FPS: (\d+)/.exec(this.readText(0, 0, 8));
    return m ? Number(m[1]) : -1;
  }
  isWall(x, y) {
    const [r, g, b] = this.at(x, y);
    return Math.abs(r - 254) <= 3 && Math.abs(g - 128) <= 3 && Math.abs(b - 128) <= 3;
  }
}

// The colours of the desktop picture (docs/scene-N.png) are the browser's:
// of the native picture's most common colours (black and the text row left
// out, each at least 1 % of it), the ones the browser's picture lacks (give
// or take 3 in each channel).
function missingColours(browser, native) {
  const tally = (picture) => {
    const counts = new Map();
    for (let y = 16; y < picture.height; ++y)
      for (let x = 0; x < picture.width; ++x) {
        const key = picture.at(x, y).join(',');
        if (key !== '0,0,0') counts.set(key, (counts.get(key) ?? 0) + 1);
      }
    return counts;
  };
  const nativeCounts = tally(native), browserCounts = tally(browser);
  const floor = 0.01 * native.width * native.height;
  const near = (key) => {  // browser pixels within 3 of the colour in every channel
    const c = key.split(',').map(Number);
    let n = 0;
    for (const [other, count] of browserCounts)
      if (other.split(',').every((v, i) => Math.abs(Number(v) - c[i]) <= 3)) n += count;
    return n;
  };
  return [...nativeCounts].filter(([key, n]) => n >= floor && near(key) < floor / 10).map(([key]) => `(${key})`);
}

// The walls of the desktop picture (docs/scene-N.png) stand in the same
// places in the browser's: the share of the native wall pixels (text row
// left out) that are wall pixels in the browser too.
function nativePicture(sceneNumber) {
  return new Picture(fs.readFileSync(path.join(here, `../../docs/scene-${sceneNumber}.png`)));
}
function wallsMatch(browser, native) {
  let walls = 0, same = 0, extra = 0;
  for (let y = 16; y < native.height; ++y)
    for (let x = 0; x < native.width; ++x) {
      const n = native.isWall(x, y), b = browser.isWall(x, y);
      if (n) { ++walls; if (b) ++same; } else if (b) ++extra;
    }
  return { walls, share: walls ? same / walls : 0, extra };
}

// The browser's picture of a scene beside the desktop's: the same colours,
// and the walls (if it shows any) in the same places.
function looksNative(browser, sceneNumber) {
  const native = nativePicture(sceneNumber);
  const missing = missingColours(browser, native);
  check(missing.length === 0, `scene ${sceneNumber}: the desktop picture's colours${missing.length ? ' (missing ' + missing.join(' ') + ')' : ''}`);
  const walls = wallsMatch(browser, native);
  if (walls.walls > 0)
    check(walls.share > 0.99 && walls.extra < 0.01 * walls.walls,
      `scene ${sceneNumber}: the walls stand where the desktop build draws them (${(walls.share * 100).toFixed(2)} % of ${walls.walls} pixels, ${walls.extra} elsewhere)`);
}

// ---- The site, served from 127.0.0.1 -----------------------------------------
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
  '.data': 'application/octet-stream', '.rec': 'text/plain' };
// The desktop end-to-end tests' recordings, served beside the site in /e2e-data/.
const dataDir = path.join(here, '../e2e/data');
// Cross-origin isolated (`isolated`), the page runs the build with threads.
function serve(isolated) {
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const [root, rest] = name.startsWith('/e2e-data/') ? [dataDir, name.slice(9)] : [siteDir, name];
    const file = path.join(root, rest === '/' ? 'index.html' : rest);
    if (!file.startsWith(root) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] ?? 'application/octet-stream',
      ...(isolated ? { 'Cross-Origin-Opener-Policy': 'same-origin', 'Cross-Origin-Embedder-Policy': 'require-corp' } : {}) });
    fs.createReadStream(file).pipe(response);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// ---- The page in a browser ----------------------------------------------------
const launch = (args) => puppeteer.launch({ executablePath: chromium, headless: true, timeout: 60_000,
  protocolTimeout: 60_000, args: ['--no-sandbox', '--disable-dev-shm-usage', '--window-size=1000,800',
    '--no-first-run', '--disable-background-timer-throttling', '--disable-renderer-backgrounding', ...args] });

// A fresh browser on the page, with what the test needs to watch and play it.
async function openPage(browser, url) {
  const page = await browser.newPage();
  // WebGL frames kept after they are shown, so that the test can read them.
  await page.evaluateOnNewDocument(() => {
    const getContext = HTMLCanvasElement.prototype.getContext;
    HTMLCanvasElement.prototype.getContext = function (type, attributes) {
      return getContext.call(this, type, { ...attributes, preserveDrawingBuffer: true });
    };
  });
  const errors = [], log = [];
  page.on('pageerror', (e) => errors.push(e.message));
  // The program's own failures and aborts; Emscripten's notes about its GL
  // emulation come on the error console too and are no failures.
  page.on('console', (m) => {
    if (m.type() === 'debug') return;  // the page's notes for the console's verbose level
    log.push(m.text());
    if (/particle-demo:|abort|exception|uncaught/i.test(m.text()) && !/^particle-demo: drawing /.test(m.text()))
      errors.push(m.text());
  });
  await page.setViewport({ width: 1000, height: 800, deviceScaleFactor: 1 });
  await page.goto(url, { waitUntil: 'load', timeout: 60_000 });
  const canvas = await page.$('#canvas');
  const box = await canvas.boundingBox();
  require_(box && box.width === 800 && box.height === 600, `the canvas is 800 × 600 (${box?.width} × ${box?.height})`);

  // The canvas's last frame, read in the page (a screenshot takes seconds
  // with software WebGL; the frames are kept for reading, see above).
  const grab = async () => Picture.fromRgba(Buffer.from(await page.evaluate(() => {
    const source = document.getElementById('canvas');
    const copy = document.createElement('canvas');
    copy.width = source.width;
    copy.height = source.height;
    const context = copy.getContext('2d');
    context.drawImage(source, 0, 0);
    const rgba = context.getImageData(0, 0, copy.width, copy.height).data;
    let text = '';
    for (let i = 0; i < rgba.length; i += 0x8000) text += String.fromCharCode.apply(null, rgba.subarray(i, i + 0x8000));
    return btoa(text);
  }), 'base64'), 800, 600);
  // Grabs until `ready` holds for a picture, at most `limit` ms; the last picture.
  const grabUntil = async (ready, limit) => {
    const end = Date.now() + limit;
    for (;;) {
      const picture = await grab();
      if (ready(picture) || Date.now() > end) return picture;
      await sleep(250);
    }
  };
  // The page's note of the way it draws.
  const drawingPath = () => log.find((line) => line.startsWith('Drawing path: ')) ?? '(none)';
  // The program's own note, once it runs.
  const programNote = () => log.find((line) => line.startsWith('particle-demo: drawing ')) ?? '(none)';
  // The page's note of the build it runs.
  const buildNote = () => log.find((line) => line.startsWith('Build: ')) ?? '(none)';
  return { page, box, errors, log, grab, grabUntil, drawingPath, programNote, buildNote };
}

// One run of the page in a fresh browser, drawn the way `way` names (cpu or
// gl), playing all three scenes, in the build with threads if `threaded`; the
// frame rates its status line shows go to `rates[way]` (or `rates[way +
// ' with threads']`).
async function play(url, way, rates, threaded = false) {
  const name = threaded ? `${way} with threads` : way;
  console.log(`-- drawn by ${name}`);
  const browser = await launch(['--use-angle=swiftshader', '--enable-unsafe-swiftshader']);
  const watchdog = setTimeout(() => browser.process()?.kill('SIGKILL'), ATTEMPT_LIMIT_MS);
  try {
    const { page, box, errors, grab, grabUntil, drawingPath, programNote, buildNote } = await openPage(browser, url);
    const key = async (name) => { await page.focus('#canvas'); await page.keyboard.press(name); };
    const click = async (x, y) => {
      await page.mouse.move(box.x + x, box.y + y);
      await sleep(50);
      await page.mouse.click(box.x + x, box.y + y);
    };
    const shot = (picture, name) => {
      fs.mkdirSync(shotDir, { recursive: true });
      fs.writeFileSync(path.join(shotDir, name), picture.toPng());
    };
    const speed = {};

    const isolated = await page.evaluate(() => self.crossOriginIsolated);
    check(isolated === threaded && buildNote().startsWith(threaded ? 'Build: threads, ' : 'Build: single thread, '),
      `the page ${isolated ? 'is' : 'is not'} cross-origin isolated: "${buildNote()}"`);

    // Scene 1: blue liquid pours onto the red block, the count grows by rows of 16.
    const first = await grabUntil((p) => p.particleCount() > 0, 90_000);
    const status = await page.$eval('#status', (e) => e.textContent);
    require_(first.particleCount() >= 2006,
      `scene 1 starts and reads "${first.readText(100, 0, 17)}" (page: "${status}"; ${errors.slice(0, 3).join(' | ')})`);
    check(first.readText(0, 0, 5) === 'FPS: ', '"FPS: " at the top left');
    check((first.particleCount() - 2006) % 16 === 0, `scene 1: ${first.particleCount()} = 2006 + rows of 16`);
    const poured = await grabUntil((p) => p.particleCount() >= first.particleCount() + 16 * 20 &&
      p.countDominant(2, 0, 200, 280, 560) > 3000, 60_000);
    check(poured.particleCount() > first.particleCount() && (poured.particleCount() - 2006) % 16 === 0,
      `scene 1 pours: ${first.particleCount()} → ${poured.particleCount()} in rows of 16`);
    check(poured.countDominant(2, 0, 200, 280, 560) > 3000, 'scene 1: blue liquid left of the pillar');
    check(poured.countDominant(0, 280, 480, 560, 560) > 3000, 'scene 1: the red block');
    looksNative(poured, 1);
    await sleep(3000);
    const scene1 = await grab();
    speed.scene1 = scene1.frameRate();
    await shot(scene1, `${threaded ? 'threads-' : ''}${way}-scene-1.png`);
    check(drawingPath().startsWith(`Drawing path: ${way} `), `the page says how it draws: "${drawingPath()}"`);
    check(programNote().startsWith(way === 'cpu' ? 'particle-demo: drawing on the CPU onto a 2D canvas' :
      'particle-demo: drawing through the GL'), `and so does the program: "${programNote()}"`);

    // Scene 2: three liquids; space starts their three emitters.
    await key('2');
    const two = await grabUntil((p) => p.particleCount() > 5000, 30_000);
    check(two.countDominant(0, 0, 300, 260, 600) > 20000, 'scene 2: red liquid on the left');
    check(two.countDominant(2, 270, 300, 530, 600) > 20000, 'scene 2: blue liquid in the middle');
    check(two.countDominant(1, 540, 300, 800, 600) > 20000, 'scene 2: green liquid on the right');
    looksNative(two, 2);
    const before = two.particleCount();
    await sleep(1500);
    check((await grab()).particleCount() === before, `scene 2: its emitters start switched off (${before})`);
    await key('Space');
    const started = await grabUntil((p) => p.particleCount() >= before + 3 * 23 * 3, 30_000);
    const after = started.particleCount();
    check(after > before && (after - before) % (3 * 23) === 0,
      `scene 2: space starts three emitters, rows of 23 each (${before} → ${after})`);
    await sleep(3000);
    const scene2 = await grab();
    speed.scene2 = scene2.frameRate();
    await shot(scene2, `${threaded ? 'threads-' : ''}${way}-scene-2.png`);

    // Scene 3: the green bar; a click drops a green box of 95 particles.
    await key('3');
    const three = await grabUntil((p) => p.particleCount() === 427, 30_000);
    check(three.particleCount() === 427, `scene 3 has 427 particles (${three.particleCount()})`);
    check(three.countDominant(1, 0, 0, 800, 600) > 10000, 'scene 3: the green bar');
    // The column below the click, right of the bar, where the box will fall.
    check(three.countDominant(1, 690, 130, 760, 600) < 100, 'scene 3: nothing green right of the bar yet');
    looksNative(three, 3);
    await click(700, 150);
    const dropped = await grabUntil((p) => p.particleCount() === 427 + 95 &&
      p.countDominant(1, 690, 130, 760, 600) > 2000, 15_000);
    check(dropped.particleCount() === 427 + 95, `scene 3: a click adds 95 particles (${dropped.particleCount()})`);
    check(dropped.countDominant(1, 690, 130, 760, 600) > 2000, 'scene 3: a green box falls from where the click was');
    await click(150, 60);
    await sleep(3000);
    const scene3 = await grab();
    speed.scene3 = scene3.frameRate();
    await shot(scene3, `${threaded ? 'threads-' : ''}${way}-scene-3.png`);

    check(errors.length === 0, `no errors on the page${errors.length ? ': ' + errors.slice(0, 3).join(' | ') : ''}`);
    rates[name] = speed;
  } finally {
    clearTimeout(watchdog);
    try {
      await Promise.race([browser.close(), sleep(10_000)]);
    } finally {
      browser.process()?.kill('SIGKILL');
    }
  }
}

// A browser without WebGL plays the scene on the CPU path, onto a 2D canvas.
async function noWebGl(url) {
  console.log('-- a browser without WebGL');
  const browser = await launch(['--disable-webgl', '--disable-3d-apis']);
  const watchdog = setTimeout(() => browser.process()?.kill('SIGKILL'), 120_000);
  try {
    const { page, errors, grabUntil, drawingPath, programNote } = await openPage(browser, url);
    check(!(await page.evaluate(() => !!document.createElement('canvas').getContext('webgl'))),
      'this browser indeed offers no WebGL');
    const first = await grabUntil((p) => p.particleCount() >= 2006 && p.frameRate() >= 0, 60_000);
    const status = await page.$eval('#status', (e) => e.textContent);
    check(first.particleCount() >= 2006 && first.frameRate() >= 0,
      `without WebGL scene 1 plays: "${first.readText(0, 0, 8)}" "${first.readText(100, 0, 17)}" (page: "${status}")`);
    check(first.countDominant(0, 280, 480, 560, 560) > 3000, 'without WebGL: the red block');
    check(drawingPath() === 'Drawing path: cpu (this browser offers no WebGL)' &&
      programNote().startsWith('particle-demo: drawing on the CPU'), `the page says so: "${drawingPath()}", "${programNote()}"`);
    check(errors.length === 0, `no errors on the page${errors.length ? ': ' + errors.slice(0, 3).join(' | ') : ''}`);
  } finally {
    clearTimeout(watchdog);
    browser.process()?.kill('SIGKILL');
  }
}

// "?replay=" plays the desktop tests' recording to the end line they expect
// (session.end), exactly, on the console; a recording that is not one, or
// none at the address, ends the page with one line and no run.
async function replay(url, name) {
  console.log(`-- a recording replayed, ${name}`);
  const browser = await launch(['--use-angle=swiftshader', '--enable-unsafe-swiftshader']);
  const watchdog = setTimeout(() => browser.process()?.kill('SIGKILL'), ATTEMPT_LIMIT_MS);
  const expected = fs.readFileSync(path.join(dataDir, 'session.end'), 'utf8').trim();
  try {
    const run = await openPage(browser, `${url}?replay=e2e-data/session.rec`);
    const endLine = () => run.log.find((line) => line.startsWith('scene ') && line.includes(' checksum '));
    for (const end = Date.now() + 120_000; !endLine() && run.errors.length === 0 && Date.now() < end;) await sleep(500);
    check(endLine() === expected && run.errors.length === 0,
      `${run.buildNote()}: the replay ends on "${endLine()}"${run.errors.length ? '; ' + run.errors.slice(0, 3).join(' | ') : ''}`);
    for (const [address, says] of [['index.html', '"/replay/index.html": it is not a recording'],
      ['e2e-data/no-such.rec', '"e2e-data/no-such.rec": cannot fetch it: HTTP 404']]) {
      const bad = await openPage(browser, `${url}?replay=${address}`);
      for (const end = Date.now() + 60_000; bad.errors.length === 0 && Date.now() < end;) await sleep(250);
      await sleep(1000);  // for any line after it
      // Leaving out the page's notes, the browser's on the missing file, and
      // Emscripten's on its GL emulation, which the threaded build's workers
      // print as they start, before the program runs.
      const lines = bad.log.filter((line) =>
        !/^(Drawing path|Build): |^Failed to load resource|^WARNING: using emscripten GL emulation/.test(line));
      check(lines.length === 1 && lines[0].startsWith(`particle-demo: cannot replay ${says}`),
        `?replay=${address}: one line, no run: ${JSON.stringify(lines)}`);
    }
  } finally {
    clearTimeout(watchdog);
    browser.process()?.kill('SIGKILL');
  }
}

// Scene 1 as the page chooses, poured until it holds `target` particles or
// `limit` ms have passed, with the program's line a second (?fps-log) read
// from the console: the frame rates on the way, per band of 5 000 particles,
// go to `pours[name]`. Nothing is grabbed meanwhile, which would take the
// page's main thread from the program.
async function pour(url, name, pours, target = 25_000, limit = 150_000) {
  console.log(`-- scene 1 poured, ${name}`);
  const browser = await launch(['--use-angle=swiftshader', '--enable-unsafe-swiftshader']);
  const watchdog = setTimeout(() => browser.process()?.kill('SIGKILL'), limit + 90_000);
  try {
    const { page, errors, log, buildNote } = await openPage(browser, `${url}?fps-log`);
    const samples = () => log.map((line) => /^scene 1 fps (\d+) particles (\d+) /.exec(line))
      .filter(Boolean).map((m) => ({ fps: Number(m[1]), particles: Number(m[2]) }));
    const end = Date.now() + limit;
    for (let started = false; Date.now() < end;) {
      const last = samples().at(-1);
      if (last?.particles >= target) break;
      if (!started && last) started = true;
      else if (!started && Date.now() > end - limit + 60_000) break;  // never started
      await sleep(1000);
    }
    const seen = samples().slice(1);  // the first second counts the start-up
    check(seen.length > 0 && errors.length === 0,
      `scene 1 pours, ${name}: ${buildNote()}${errors.length ? '; ' + errors.slice(0, 3).join(' | ') : ''}`);
    pours[name] = seen;
  } finally {
    clearTimeout(watchdog);
    browser.process()?.kill('SIGKILL');
  }
}

// Per band of 5 000 particles: the median and the lowest frame rate seen.
function pourReport(name, seen) {
  const bands = new Map();
  for (const { fps, particles } of seen) {
    const band = Math.floor(particles / 5000) * 5000;
    if (!bands.has(band)) bands.set(band, []);
    bands.get(band).push(fps);
  }
  const parts = [...bands].map(([band, list]) => {
    const sorted = [...list].sort((a, b) => a - b);
    return `${band}-${band + 4999}: ${sorted[Math.floor(sorted.length / 2)]} fps (lowest ${sorted[0]})`;
  });
  const last = seen.at(-1);
  console.log(`scene 1 poured in headless Chromium, ${name}: ${parts.join(', ')}` +
    (last ? `; reached ${last.particles} particles in ${seen.length + 1} s` : ''));
}

const server = await serve(false);
const url = `http://127.0.0.1:${server.address().port}/`;
const isolatedServer = await serve(true);
const isolatedUrl = `http://127.0.0.1:${isolatedServer.address().port}/`;
let exitCode = 1;
const rates = {}, pours = {};
try {
  for (let attempt = 1; attempt <= ATTEMPTS; ++attempt) {
    try {
      if (pouring) {
        await pour(isolatedUrl, 'with threads', pours);
        await pour(url, 'without threads', pours);
        break;
      }
      // As the page chooses: on software WebGL the CPU draws.
      await play(url, 'cpu', rates);
      await play(`${url}?draw=gl`, 'gl', rates);
      await noWebGl(url);
      await play(isolatedUrl, 'cpu', rates, true);
      await replay(url, 'without threads');
      await replay(isolatedUrl, 'with threads');
      break;
    } catch (error) {
      if (error instanceof CheckFailure) break;
      // The browser died or stopped answering: a new one starts over.
      console.log(`browser trouble (attempt ${attempt} of ${ATTEMPTS}): ${error.message}`);
      failures.length = 0;
      if (attempt === ATTEMPTS) failures.push('the browser kept failing');
    }
  }
  exitCode = failures.length === 0 ? 0 : 1;
} finally {
  for (const s of [server, isolatedServer]) {
    s.close();
    s.closeAllConnections?.();
  }
}
for (const [way, speed] of Object.entries(rates))
  console.log(`frame rate in headless Chromium (software WebGL), drawn by ${way}: ` +
    `scene 1 ${speed.scene1}, scene 2 ${speed.scene2}, scene 3 ${speed.scene3} fps`);
for (const [name, seen] of Object.entries(pours)) pourReport(name, seen);
console.log(`screenshots in ${shotDir}`);
console.log(failures.length === 0 ? 'all browser checks passed' : `${failures.length} failed: ${failures.join('; ')}`);
process.exit(exitCode);
