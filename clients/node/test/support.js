// What the tests share: a private folder, sox-made files, tone measurement, fixture windows.
import { execFileSync, spawn } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { after } from 'node:test';

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

/** Amplitude (full scale 1.0) of one frequency in 16 kHz s16le PCM, Hann-windowed. */
export function amplitude(pcm, freq) {
  const n = Math.floor(pcm.length / 2);
  let re = 0;
  let im = 0;
  for (let i = 0; i < n; i++) {
    const w = 0.5 - 0.5 * Math.cos((2 * Math.PI * i) / n);
    const phase = (2 * Math.PI * freq * i) / 16000;
    const x = pcm.readInt16LE(2 * i) * w;
    re += x * Math.cos(phase);
    im += x * Math.sin(phase);
  }
  return (4 * Math.hypot(re, im)) / n / 32768; // 4/n: 2 for one side, 2 for the window's gain
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
  process.env = { ...saved, ...vars };
  for (const [k, v] of Object.entries(vars)) if (v === undefined) delete process.env[k];
  try {
    return fn();
  } finally {
    process.env = saved;
  }
}
