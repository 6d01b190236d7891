// What the tests share: a private folder, sox-made files, tone measurement, fixture windows.
import { execFileSync, spawn } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { after } from 'node:test';
import { setTimeout as sleep } from 'node:timers/promises';

export const work = mkdtempSync(path.join(tmpdir(), 'lorvane-node-'));
after(() => rmSync(work, { recursive: true, force: true }));

/** A stereo 48 kHz WAV of a sine at half scale. */
export function toneWav(freq, seconds = 6) {
  const file = path.join(work, `tone${freq}.wav`);
  const synth = ['synth', `${seconds}`, 'sine', `${freq}`, 'vol', '0.5'];
  execFileSync('sox', ['-n', '-r', '48000', '-c', '2', file, ...synth]);
  return file;
}

/** Starts a program and ends it (SIGTERM) when the test file is done. */
export function run(file, args, options) {
  const child = spawn(file, args, { stdio: ['pipe', 'pipe', 'inherit'], ...options });
  after(() => child.kill());
  return child;
}

/** Waits until n playback streams run in the PipeWire session (a player needs its sink first). */
export async function playing(n) {
  for (let i = 0; i < 100; i++) {
    const objects = JSON.parse(execFileSync('pw-dump', { encoding: 'utf8' }));
    const streams = objects.filter(
      (o) => o.info?.props?.['media.class'] === 'Stream/Output/Audio' && o.info.state === 'running',
    );
    if (streams.length >= n) return;
    await sleep(100);
  }
  throw new Error(`fewer than ${n} playback streams are running`);
}

/** Amplitude (full scale 1.0) of a whole-hertz tone over one second of 16 kHz PCM. */
export function amplitude(pcm, freq) {
  let re = 0;
  let im = 0;
  for (let i = 0; i < 16000; i++) {
    const phase = (2 * Math.PI * freq * i) / 16000;
    re += pcm.readInt16LE(2 * i) * Math.cos(phase);
    im += pcm.readInt16LE(2 * i) * Math.sin(phase);
  }
  return Math.hypot(re, im) / 8000 / 32768;
}

/** Shows lorvane-test-windows windows (layout lines of key=value fields); resolves once shown. */
export async function fixtureWindows(layout) {
  const file = path.join(work, `layout${Date.now()}`);
  writeFileSync(file, layout);
  const child = run(process.env.LORVANE_FIXTURE_WINDOWS, [file]);
  let out = '';
  for await (const chunk of child.stdout) {
    out += chunk;
    if (out.includes('\n')) break;
  }
  if (!out.startsWith('ready')) throw new Error(`fixture windows not ready: ${out}`);
  return child;
}

/** Calls fn with environment variables set (undefined: removed), then puts them back. */
export function withEnv(vars, fn) {
  const saved = process.env;
  process.env = JSON.parse(JSON.stringify({ ...saved, ...vars })); // drops the undefined ones
  try {
    return fn();
  } finally {
    process.env = saved;
  }
}
