// Frame rates of the web build in headless Chromium (software WebGL): scene 1
// poured until it holds 25 000 particles or 150 s have passed, with threads
// (the page served cross-origin isolated) and without. The program's line a
// second (?fps-log) is read from the console and summed up per band of 5 000
// particles. Nothing is judged: the numbers depend on the machine.
//
//   node bench/web_frame_rates.mjs <site folder>
//
// puppeteer-core comes from tests/web/node_modules (npm ci there).
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const require = createRequire(path.join(here, '../tests/web/package.json'));
const { default: puppeteer } = await import(require.resolve('puppeteer-core'));
const siteDir = path.resolve(process.argv[2] ?? path.join(here, '../build-web/site'));
const TARGET = 25_000, LIMIT_MS = 150_000;
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm' };

function serve(isolated) {
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const file = path.join(siteDir, name === '/' ? 'index.html' : name);
    if (!file.startsWith(siteDir) || !fs.existsSync(file) || !fs.statSync(file).isFile()) return response.writeHead(404).end();
    response.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] ?? 'application/octet-stream',
      ...(isolated ? { 'Cross-Origin-Opener-Policy': 'same-origin', 'Cross-Origin-Embedder-Policy': 'require-corp' } : {}) });
    fs.createReadStream(file).pipe(response);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// One pour: the seconds' samples after the first (which counts the start-up).
async function pour(isolated) {
  const server = await serve(isolated);
  const browser = await puppeteer.launch({ executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true, protocolTimeout: 60_000, args: ['--no-sandbox', '--disable-dev-shm-usage',
      '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--disable-background-timer-throttling',
      '--disable-renderer-backgrounding'] });
  const samples = [];
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 1000, height: 800 });
    let done;
    const finished = new Promise((resolve) => { done = resolve; });
    page.on('console', (m) => {
      const s = /^scene 1 fps (\d+) particles (\d+) /.exec(m.text());
      if (s) samples.push({ fps: Number(s[1]), particles: Number(s[2]) });
      if (s && Number(s[2]) >= TARGET) done();
    });
    await page.goto(`http://127.0.0.1:${server.address().port}/?fps-log`, { waitUntil: 'load', timeout: 60_000 });
    await Promise.race([finished, new Promise((resolve) => setTimeout(resolve, LIMIT_MS))]);
  } finally {
    browser.process()?.kill('SIGKILL');
    server.close();
    server.closeAllConnections?.();
  }
  return samples.slice(1);
}

for (const [isolated, name] of [[true, 'with threads'], [false, 'without threads']]) {
  const seen = await pour(isolated);
  const bands = new Map();
  for (const { fps, particles } of seen) {
    const band = Math.floor(particles / 5000) * 5000;
    bands.set(band, [...(bands.get(band) ?? []), fps]);
  }
  const parts = [...bands].map(([band, list]) => {
    const sorted = list.sort((a, b) => a - b);
    return `${band}-${band + 4999}: ${sorted[Math.floor(sorted.length / 2)]} fps (lowest ${sorted[0]})`;
  });
  const last = seen.at(-1);
  console.log(`scene 1 poured in headless Chromium, ${name}: ${parts.join(', ') || 'no frames'}` +
    (last ? `; reached ${last.particles} particles in ${seen.length + 1} s` : ''));
}
