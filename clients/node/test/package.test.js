import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import path from 'node:path';
import { Readable } from 'node:stream';
import { test } from 'node:test';
import { toWav, wavHeader } from '../index.js';
import { work } from './support.js';

test('WAV header and file are byte for byte those sox writes for the same samples', async () => {
  const file = path.join(work, 'silence.wav');
  const args = ['-r', '16000', '-c', '1', '-n', '-b', '16', '-e', 'signed-integer', file];
  execFileSync('sox', [...args, 'trim', '0', '1001s']);
  const sox = readFileSync(file);
  assert.deepEqual(wavHeader(2002), sox.subarray(0, 44));
  const pcm = Readable.from([sox.subarray(44, 1044), sox.subarray(1044)]);
  assert.deepEqual(await toWav(pcm), sox);
  assert.throws(() => wavHeader(3), RangeError); // half a sample
});

test('the package holds the module, its declarations, README and package.json only', () => {
  const [pack] = JSON.parse(execFileSync('npm', ['pack', '--dry-run', '--json']).toString());
  const files = pack.files.map((f) => f.path).sort();
  assert.deepEqual(files, ['README.md', 'index.d.ts', 'index.js', 'package.json']);
});
