// The real programs a page test runs against: mining-service on an ephemeral port of
// 127.0.0.1 with a database of its own, and kestravon-minerd with its view, in a private
// folder each. Both are stopped when the test process ends, however it ends.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

const running = new Set();
process.on('exit', () => {
  for (const child of running) child.kill('SIGKILL');
});

// Resolves with the first line the child writes to standard output.
function firstLine(child, what, timeoutMs) {
  return new Promise((resolve, reject) => {
    let text = '';
    const timer = setTimeout(() => reject(new Error(`${what} said nothing within ${timeoutMs} ms`)), timeoutMs);
    child.stdout.on('data', (chunk) => {
      text += chunk;
      const end = text.indexOf('\n');
      if (end >= 0) {
        clearTimeout(timer);
        resolve(text.slice(0, end));
      }
    });
    child.on('exit', (code, signal) => {
      clearTimeout(timer);
      reject(new Error(`${what} ended before it was up (code ${code}, signal ${signal})`));
    });
  });
}

function track(child) {
  running.add(child);
  child.on('exit', () => running.delete(child));
  return child;
}

// Sends `signal` and waits for the exit; SIGKILL after `graceMs`. Resolves with the exit code.
export function stop(child, signal = 'SIGTERM', graceMs = 20000) {
  if (child.exitCode !== null || child.signalCode !== null) return Promise.resolve(child.exitCode);
  return new Promise((resolve) => {
    const timer = setTimeout(() => child.kill('SIGKILL'), graceMs);
    child.once('exit', (code) => {
      clearTimeout(timer);
      resolve(code);
    });
    child.kill(signal);
  });
}

export async function startService(folder, binary) {
  const requestLog = path.join(folder, 'requests.log');
  const child = track(spawn(binary, ['--exit-with-parent', '--bind', '127.0.0.1', '--port', '0',
    '--db', path.join(folder, 'service.db'), '--boost-every', '0'],
  { stdio: ['ignore', 'pipe', fs.openSync(requestLog, 'a')] }));
  const line = await firstLine(child, 'mining-service', 10000);
  const match = /listening on (http:\/\/127\.0\.0\.1:\d+)/.exec(line);
  if (!match) throw new Error(`mining-service said: ${line}`);
  return { child, baseUrl: match[1], requestLog };
}

// kestravon-minerd for the demo machine against `serviceUrl`; `environment` joins the
// test's own (the wall clock moved by libfaketime, for one).
export async function startMinerd(folder, binary, serviceUrl, environment = {}) {
  const install = path.join(folder, 'install');
  const temp = path.join(folder, 'temp');
  fs.mkdirSync(install, { recursive: true });
  fs.mkdirSync(temp, { recursive: true, mode: 0o700 });
  fs.chmodSync(temp, 0o700);
  fs.writeFileSync(path.join(install, 'config.ini'), '[SerialNo]\r\nNo=KST-DEMO-0001\r\n[Version]\r\nClient=0.216\r\n');
  const log = path.join(folder, 'minerd.log');
  const child = track(spawn(binary, ['--install-dir', install, '--temp-dir', temp, '--service-root', serviceUrl,
    '--listen', '127.0.0.1:0'],
  { stdio: ['ignore', 'pipe', fs.openSync(log, 'a')], env: { ...process.env, ...environment } }));
  const line = await firstLine(child, 'kestravon-minerd', 30000);
  const match = /^listening on (http:\/\/127\.0\.0\.1:(\d+))\/#token=([0-9a-f]{64})$/.exec(line);
  if (!match) throw new Error(`kestravon-minerd said: ${line}`);
  return { child, url: `${match[1]}/#token=${match[3]}`, origin: match[1], token: match[3], temp, log };
}
