// kestravon-minerd's page in a real Chromium, against the real daemon and the real
// stand-in service: what the page shows, that it moves, Start/Stop as the window's button,
// what it does without the token, its console, its policy, its accessibility and weight.
//
//   KESTRAVON_MINERD_BIN=... KESTRAVON_SERVICE_BIN=... node minerd_page.test.mjs
//
// Exits 77 (skipped) with the reason when Chromium, the npm packages or libfaketime are
// missing; under CI that is a failure instead. KESTRAVON_PAGE_SCREENSHOT=file.png keeps
// the screenshot there, once the charts hold KESTRAVON_PAGE_SCREENSHOT_POINTS seconds.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import { fileURLToPath } from 'node:url';

import { startMinerd, startService, stop } from './processes.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const chromium = process.env.KESTRAVON_CHROMIUM || '/usr/bin/chromium';
const fakeTime = '/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1';
const inCi = !!process.env.CI && process.env.CI !== 'false' && process.env.CI !== '0';

function missingPrerequisite() {
  if (!process.env.KESTRAVON_MINERD_BIN || !process.env.KESTRAVON_SERVICE_BIN) {
    return 'KESTRAVON_MINERD_BIN and KESTRAVON_SERVICE_BIN are not set (CTest sets them)';
  }
  if (!fs.existsSync(chromium)) return `${chromium} is missing (Debian's chromium; scripts/setup installs it)`;
  for (const name of ['puppeteer-core', 'axe-core']) {
    if (!fs.existsSync(path.join(here, 'node_modules', name, 'package.json'))) {
      return `the npm package ${name} is missing (scripts/setup-browser-tests installs it)`;
    }
  }
  if (!fs.existsSync(fakeTime)) return `${fakeTime} is missing (Debian's libfaketime)`;
  return '';
}

const missing = missingPrerequisite();
if (missing) {
  if (inCi) {
    console.error(`FAIL: ${missing}`);
    process.exit(1);
  }
  console.log(`SKIP: ${missing}`);
  process.exit(77);
}
const { default: puppeteer } = await import('puppeteer-core');
const axeSource = fs.readFileSync(path.join(here, 'node_modules', 'axe-core', 'axe.min.js'), 'utf8');

const HANGUL = /[\uAC00-\uD7A3]/;
const TOKEN_REFUSED_LOAD = /status of 401/;

function sleep(ms) {
  return new Promise((resolve) => setTimeout(resolve, ms));
}

async function waitFor(what, condition, timeoutMs = 20000) {
  const end = Date.now() + timeoutMs;
  let last;
  while (Date.now() < end) {
    last = await condition();
    if (last === true || (last && typeof last !== 'string')) return last;
    await sleep(200);
  }
  throw new Error(`timed out waiting for ${what} (last: ${JSON.stringify(last)})`);
}

describe('kestravon-minerd page', { timeout: 240000 }, () => {
  let folder;
  let service;
  let minerd;
  let browser;
  let page;
  const consoleErrors = [];
  const pageWeight = new Map();

  // The view's JSON as a script reads it, with the token.
  async function view(pathName) {
    const res = await fetch(minerd.origin + pathName, { headers: { Authorization: `Bearer ${minerd.token}` } });
    assert.equal(res.status, 200, `${pathName}: ${res.status}`);
    return res;
  }
  async function dashboard() {
    return (await view('/dashboard')).json();
  }
  async function miningMetric() {
    const text = await (await view('/metrics')).text();
    return Number(/^kestravon_mining (\S+)$/m.exec(text)[1]);
  }
  function reportRequests() {
    return fs.readFileSync(service.requestLog, 'utf8').split('\n').filter((l) => l.includes('GET /Machine/UpdateInfov2.html')).length;
  }
  function text(selector, onPage = page) {
    return onPage.$eval(selector, (el) => el.textContent);
  }

  before(async () => {
    folder = fs.mkdtempSync(path.join(os.tmpdir(), 'minerd-page-'));
    service = await startService(folder, process.env.KESTRAVON_SERVICE_BIN);
    // Two seconds before a report minute: the service hears reports while mining is on.
    minerd = await startMinerd(folder, process.env.KESTRAVON_MINERD_BIN, service.baseUrl, {
      LD_PRELOAD: fakeTime,
      FAKETIME: '@2026-12-10 11:59:58',
      FAKETIME_DONT_FAKE_MONOTONIC: '1',
      ASAN_OPTIONS: ['verify_asan_link_order=0', process.env.ASAN_OPTIONS].filter(Boolean).join(':'),
    });
    browser = await puppeteer.launch({
      executablePath: chromium,
      headless: true,
      args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage', '--no-first-run', '--lang=en-US'],
    });
    page = await browser.newPage();
    await page.setViewport({ width: 1440, height: 1000 });
    page.on('console', (message) => {
      if (message.type() === 'error') consoleErrors.push(message.text());
    });
    page.on('pageerror', (error) => consoleErrors.push(`page error: ${error.message}`));
    page.on('requestfailed', (request) => consoleErrors.push(`failed: ${request.url()} ${request.failure()?.errorText}`));
    page.on('response', async (response) => {
      const url = new URL(response.url());
      if (url.pathname === '/' || url.pathname.startsWith('/assets/')) {
        pageWeight.set(url.pathname, (await response.buffer()).length);
      }
    });
    // Every policy violation is kept where the test can read it.
    await page.evaluateOnNewDocument(() => {
      window.cspViolations = [];
      document.addEventListener('securitypolicyviolation', (event) => {
        window.cspViolations.push(`${event.violatedDirective} ${event.blockedURI}`);
      });
    });
  });

  after(async () => {
    if (browser) await browser.close();
    if (minerd) await stop(minerd.child);
    if (service) await stop(service.child);
    if (folder && !process.env.KESTRAVON_KEEP_TEST_FOLDER) fs.rmSync(folder, { recursive: true, force: true });
  });

  test('shows the machine as the window does, with the strict headers', async () => {
    const response = await page.goto(minerd.url, { waitUntil: 'load' });
    const headers = response.headers();
    assert.match(headers['content-security-policy'], /default-src 'self'/);
    assert.match(headers['content-security-policy'], /frame-ancestors 'none'/);
    assert.doesNotMatch(headers['content-security-policy'], /unsafe-inline|unsafe-eval/);
    assert.equal(headers['x-content-type-options'], 'nosniff');
    // The token left the address bar once the page had it.
    assert.ok(!page.url().includes('token'), page.url());

    await waitFor('the serial number', async () => (await text('#f-serialNo')) === 'KST-DEMO-0001');
    const shown = await dashboard();
    const name = shown.fields.find((f) => f.name === 'machineName').text;
    assert.match(name, HANGUL, 'the service seeds a Korean machine name');
    assert.equal(await text('#f-machineName'), name);
    assert.equal(await text('#f-marsSector'), 'Mare Boreum quadrangle');
    // The fuel moves with each report: the page catches up with the view within a tick.
    await waitFor('the fuel as the view has it', async () => {
      const fuel = (await dashboard()).fields.find((f) => f.name === 'fuel').text;
      return (await text('#f-fuel')) === fuel && /^\d+ \/ 300 gas$/.test(fuel);
    });
    assert.equal(await text('#startStop'), shown.caption);
    assert.equal(await text('#pane-event'), shown.panes.event.text.replace(/\r\n/g, '\n'));
    const checked = shown.targetCoin.find((c) => c.checked)?.name;
    assert.ok(checked, 'one target coin is checked');
    assert.equal(await page.$eval(`#t-${checked}`, (el) => el.checked), true);
    // Every field of the dashboard has its place on the page.
    const missingFields = await page.evaluate((names) => names.filter((n) => !document.getElementById(`f-${n}`)),
      shown.fields.map((f) => f.name));
    assert.deepEqual(missingFields, []);
  });

  test('Stop switches mining off and Start on again, as the service hears it', async () => {
    await waitFor('reports reaching the service', () => reportRequests() > 0, 40000);
    assert.match(await text('#startStop'), /^stop$/i, 'mining from the start');  // "STOP" until the first click

    await page.click('#startStop');
    await waitFor('the Start caption', async () => (await text('#startStop')) === 'Start');
    assert.equal((await dashboard()).caption, 'Start');
    assert.equal(await miningMetric(), 0);
    await waitFor('the stop line in the event log', async () => / Stop Mining\.\.\n$/.test(await text('#pane-event')));
    await sleep(1000);  // a report already under way may still land
    const whileOff = reportRequests();
    await sleep(4000);
    assert.equal(reportRequests(), whileOff, 'no report while mining is off');

    await page.click('#startStop');
    // "Stop" as the button sets it, "STOP" once the next mining step has refreshed the dashboard.
    await waitFor('the Stop caption', async () => {
      const caption = await text('#startStop');
      return /^stop$/i.test(caption) || `${caption}; notice: ${await text('#notice')}; view: ${(await dashboard()).caption}`;
    });
    assert.match((await dashboard()).caption, /^stop$/i);
    assert.equal(await miningMetric(), 1);
    await waitFor('reports again', () => reportRequests() > whileOff, 30000);
  });

  test('the pass counter, a chart and the mining log move', async () => {
    const passes = Number(await text('#workerPasses'));
    const points = Number(await page.$eval('#chart-passesPerSecond', (el) => el.dataset.points));
    const picture = await page.$eval('#chart-passesPerSecond canvas', (c) => c.toDataURL());
    const lastLine = (await text('#pane-mining')).trimEnd().split('\n').pop();
    assert.ok(points > 0, 'the history arrived');

    await waitFor('the pass counter', async () => Number(await text('#workerPasses')) > passes);
    await waitFor('new points', async () => Number(await page.$eval('#chart-passesPerSecond', (el) => el.dataset.points)) >= points + 2);
    assert.notEqual(await page.$eval('#chart-passesPerSecond canvas', (c) => c.toDataURL()), picture, 'the chart was redrawn');
    await waitFor('a new mining log line', async () => {
      const lines = (await text('#pane-mining')).trimEnd().split('\n');
      return lines.pop() !== lastLine && lines.length > 0;
    });
    assert.match(await text('#pane-mining'), /Mining complete/);
    assert.match(await text('#now-passesPerSecond'), /^now \d/);
  });

  test('without the token nothing changes and the page says why', async () => {
    const before = await dashboard();
    for (const fragment of ['', `#token=${'0'.repeat(64)}`]) {
      const context = await browser.createBrowserContext();
      const stranger = await context.newPage();
      const errors = [];
      stranger.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
      await stranger.goto(`${minerd.origin}/${fragment}`, { waitUntil: 'load' });
      await stranger.waitForSelector('#token-help:not([hidden])');
      await waitFor('the notice', async () => /token/.test(await text('#notice', stranger)));
      await stranger.click('#startStop');
      await waitFor('why nothing happened', async () => /Start\/Stop needs .*token.*nothing changed/.test(await text('#notice', stranger)));
      assert.equal(await text('#f-serialNo', stranger), '', 'nothing of the machine is shown');
      await context.close();
      // Only refused loads may have been complained about, and only with a wrong token.
      assert.deepEqual(errors.filter((e) => !(fragment && TOKEN_REFUSED_LOAD.test(e))), [], fragment);
    }
    const after = await dashboard();
    assert.equal(after.caption, before.caption);
    assert.equal(await miningMetric(), 1);
    assert.ok(!after.panes.event.text.includes('Stop Mining..', before.panes.event.text.length), 'no stop line since');
  });

  test('no console error, no policy violation, no serious accessibility fault, under 150 KB', async () => {
    assert.deepEqual(consoleErrors, []);
    assert.deepEqual(await page.evaluate(() => window.cspViolations), []);
    await page.evaluate(axeSource);  // run by the browser's debugger, which the page's policy does not govern
    const result = await page.evaluate(() => window.axe.run(document, { resultTypes: ['violations'] }));
    const serious = result.violations
      .filter((v) => v.impact === 'serious' || v.impact === 'critical')
      .map((v) => `${v.id} (${v.impact}): ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`);
    assert.deepEqual(serious, []);
    const total = [...pageWeight.values()].reduce((a, b) => a + b, 0);
    assert.ok(pageWeight.has('/') && pageWeight.has('/assets/page.js'), [...pageWeight.keys()].join(' '));
    assert.ok(total < 150 * 1024, `the page weighs ${total} bytes`);
  });

  test('a screenshot of the page', async () => {
    // KESTRAVON_PAGE_SCREENSHOT_POINTS: how many seconds of history the picture shows (20).
    const wanted = Number(process.env.KESTRAVON_PAGE_SCREENSHOT_POINTS || 20);
    await waitFor('points on the charts', async () => Number(await page.$eval('#chart-fuel', (el) => el.dataset.points)) >= wanted,
      (wanted + 20) * 1000);
    const file = process.env.KESTRAVON_PAGE_SCREENSHOT || path.join(folder, 'page.png');
    await page.screenshot({ path: file, fullPage: true });
    const png = fs.readFileSync(file);
    assert.equal(png.subarray(1, 4).toString(), 'PNG');
    assert.ok(png.length > 20000, `${png.length} bytes`);
  });
});
