// Audio capture against the built helper in a private PipeWire session (tests/with-pipewire).
import assert from 'node:assert/strict';
import { once } from 'node:events';
import * as fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';
import { setTimeout as sleep } from 'node:timers/promises';
import { CaptureError, startCapture, wavHeader } from '../index.js';
import { amplitude, playing, run, toneWav, withEnv, work } from './support.js';

test('captures the mix less an excluded process and its child, and stops cleanly', async () => {
  run('pw-play', [toneWav(440)]);
  // The shell stays the player's parent: excluding the shell leaves its player out too.
  const shell = run('sh', ['-c', "trap 'kill $!' TERM; pw-play \"$0\" & wait", toneWav(1000)]);
  await playing(2);
  const capture = startCapture({ excludePids: [shell.pid] });
  const chunks = [];
  capture.pcm.on('data', (chunk) => chunks.push(chunk));
  const format = await capture.ready;
  assert.deepEqual(format, {
    sampleRate: 16000,
    channels: 1,
    sourceFormat: { rate: 48000, channels: 2, flags: 41 },
  });
  await sleep(1800);
  const stopping = capture.stop();
  assert.equal(capture.stop(), stopping);
  assert.equal(await stopping, 0);
  assert.ok(capture.pcm.readableEnded);
  const pcm = Buffer.concat(chunks).subarray(-32000); // the last second
  assert.equal(pcm.length, 32000);
  // The tone plays at 0.5; a player starved on a busy machine may leave a short gap.
  assert.ok(amplitude(pcm, 440) > 0.25, `440 Hz at ${amplitude(pcm, 440)}`);
  assert.ok(amplitude(pcm, 1000) < 1e-3, `1000 Hz leaked at ${amplitude(pcm, 1000)}`);
});

test('no PipeWire daemon: ready rejects with the tap step, and stop still resolves', async () => {
  // No PipeWire socket in there.
  const capture = withEnv({ XDG_RUNTIME_DIR: work, PIPEWIRE_REMOTE: undefined }, startCapture);
  const error = await capture.ready.catch((e) => e);
  assert.ok(error instanceof CaptureError, String(error));
  assert.deepEqual([error.step, error.status, error.exitCode], ['tap', -112, 2]);
  assert.equal(await capture.stop(), 2);
});

// The real helper writes each status line at once; a pipe may still deliver it in pieces.
test('status lines split across reads, warnings, and STARTED after READY', async () => {
  const fake = path.join(work, 'fake-helper');
  fs.writeFileSync(
    fake,
    '#!/bin/sh\nprintf "prop error 1735159650 -2\\nformat sr=44100.0 ch=2 flags=41\\nREA" >&2\n' +
      'sleep 0.1; printf "DY\\nSTA" >&2; printf "\\001\\000"; sleep 0.1; printf "RTED\\n" >&2\n' +
      'exec cat >/dev/null\n',
  );
  fs.chmodSync(fake, 0o755);
  const capture = startCapture({ binary: fake });
  const format = await capture.ready;
  assert.deepEqual(format.sourceFormat, { rate: 44100, channels: 2, flags: 41 });
  assert.deepEqual(capture.warnings, ['prop error 1735159650 -2']);
  assert.equal(await capture.stop(), 0); // the fake, like the helper, ends when stdin does
});

test('bad pids throw; a missing helper rejects naming what was tried', async () => {
  assert.throws(() => startCapture({ excludePids: [2 ** 31] }), RangeError);
  assert.throws(() => startCapture({ excludePids: ['12'] }), TypeError);
  const capture = startCapture({ binary: '/nonexistent/lorvane-tap' });
  await assert.rejects(capture.ready, /binary option names \/nonexistent\/lorvane-tap/);
  assert.equal(await capture.stop(), null);
  const onPath = withEnv({ LORVANE_TAP: undefined, PATH: work }, startCapture);
  await assert.rejects(onPath.ready, new RegExp(`LORVANE_TAP is not set.*PATH \\(${work}\\)`));
});

test("the README's example records to a WAV file and stops on SIGINT", async () => {
  const dir = fs.mkdtempSync(path.join(work, 'example-'));
  fs.mkdirSync(path.join(dir, 'node_modules'));
  fs.symlinkSync(path.resolve('.'), path.join(dir, 'node_modules', 'lorvane-tap'));
  const readme = fs.readFileSync('README.md', 'utf8');
  fs.writeFileSync(path.join(dir, 'example.mjs'), /```js\n([^]*?)```/.exec(readme)[1]);
  const example = run(process.execPath, ['example.mjs'], { cwd: dir });
  const exited = once(example, 'exit');
  let out = '';
  example.stdout.on('data', (chunk) => (out += chunk));
  while (!out.includes('Recording') && example.exitCode === null) await sleep(50);
  await sleep(500);
  example.kill('SIGINT');
  assert.equal((await exited)[0], 0);
  assert.match(out, /Saved capture.wav \(helper exit status 0\)/);
  const wav = fs.readFileSync(path.join(dir, 'capture.wav'));
  assert.ok(wav.length > 44 + 8000, `${wav.length} bytes`);
  assert.deepEqual(wav.subarray(0, 44), wavHeader(wav.length - 44));
});
