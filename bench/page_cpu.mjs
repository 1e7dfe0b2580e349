// page_cpu: what one open page of kestravon-minerd costs the daemon. Runs the daemon
// against the local service (both real, on 127.0.0.1), opens its page in Debian's
// Chromium (puppeteer-core from tests/browser) and compares the daemon's CPU from /proc
// over alternating periods without and with the page open.
//
//   KESTRAVON_MINERD_BIN=... KESTRAVON_SERVICE_BIN=... node bench/page_cpu.mjs [--seconds 30] [--rounds 2] [--summary FILE]
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const { startMinerd, startService, stop } = await import(path.join(root, 'tests/browser/processes.mjs'));
const requireFromTests = createRequire(path.join(root, 'tests/browser/package.json'));

const args = process.argv.slice(2);
function option(name, fallback) {
  const i = args.indexOf(name);
  return i >= 0 && i + 1 < args.length ? args[i + 1] : fallback;
}
const seconds = Number(option('--seconds', '30'));
const rounds = Number(option('--rounds', '2'));
const summary = option('--summary', '');
const chromium = process.env.KESTRAVON_CHROMIUM || '/usr/bin/chromium';
if (!(seconds > 0 && rounds > 0) || !process.env.KESTRAVON_MINERD_BIN || !process.env.KESTRAVON_SERVICE_BIN) {
  console.error('usage: KESTRAVON_MINERD_BIN=... KESTRAVON_SERVICE_BIN=... node bench/page_cpu.mjs [--seconds N] [--rounds N] [--summary FILE]');
  process.exit(2);
}
if (!fs.existsSync(chromium)) {
  console.error(`page_cpu: ${chromium} is missing`);
  process.exit(1);
}
const { default: puppeteer } = await import(requireFromTests.resolve('puppeteer-core'));

const ticksPerSecond = 100;  // USER_HZ on Linux
function cpuSeconds(pid) {
  const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
  const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
  return (Number(fields[11]) + Number(fields[12])) / ticksPerSecond;  // utime, stime
}
function sleep(ms) {
  return new Promise((resolve) => setTimeout(resolve, ms));
}
async function measure(pid, body) {
  const cpu0 = cpuSeconds(pid);
  const t0 = performance.now();
  await body();
  const elapsed = (performance.now() - t0) / 1000;
  return (cpuSeconds(pid) - cpu0) / elapsed;
}

const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'page-cpu-'));
const service = await startService(folder, process.env.KESTRAVON_SERVICE_BIN);
const minerd = await startMinerd(folder, process.env.KESTRAVON_MINERD_BIN, service.baseUrl);
const browser = await puppeteer.launch({
  executablePath: chromium,
  headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage', '--no-first-run'],
});
const pid = minerd.child.pid;
const without = [];
const withPage = [];
const requests = [];
try {
  await sleep(3000);  // start-up done, the worker at its pace
  for (let r = 0; r < rounds; ++r) {
    without.push(await measure(pid, () => sleep(seconds * 1000)));
    const page = await browser.newPage();
    let count = 0;
    page.on('request', () => ++count);
    await page.goto(minerd.url, { waitUntil: 'load' });
    withPage.push(await measure(pid, () => sleep(seconds * 1000)));
    requests.push(count);
    await page.close();
  }
} finally {
  await browser.close();
  await stop(minerd.child);
  await stop(service.child);
  fs.rmSync(folder, { recursive: true, force: true });
}

const mean = (xs) => xs.reduce((a, b) => a + b, 0) / xs.length;
const cost = mean(withPage) - mean(without);
const f = (x) => x.toFixed(4);
console.log(`page_cpu: kestravon-minerd's CPU, ${rounds} rounds of ${seconds} s without and ${seconds} s with one page open (Chromium)`);
console.log(`  without a page, CPU s per wall second   ${without.map(f).join('  ')}   mean ${f(mean(without))}`);
console.log(`  one page open, CPU s per wall second    ${withPage.map(f).join('  ')}   mean ${f(mean(withPage))}`);
console.log(`  requests of the page per round          ${requests.join('  ')}`);
console.log(`  one open page costs the daemon          ${f(cost)} core   (goal <= 0.01)`);
if (summary) {
  fs.writeFileSync(summary, `platform=daemon, one page\ncpu=${mean(withPage)}\ncpu_without_page=${mean(without)}\npage_cost=${cost}\n`);
}
