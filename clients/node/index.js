// lorvane-tap for Node.js: runs the lorvane-tap helper as a child process and speaks its
// protocol (status lines on stderr; PCM, one JSON line or one word on stdout; stdin as the
// control channel of audio capture; exit statuses). No runtime dependencies.
import { spawn } from 'node:child_process';
import { accessSync, constants, statSync } from 'node:fs';
import path from 'node:path';
import { Readable, finished } from 'node:stream';

const SAMPLE_RATE = 16000;
const WAV_HEADER_BYTES = 44;

/** A failed audio setup, or a helper that ended before its first samples. */
export class CaptureError extends Error {
  constructor(message, { step = null, status = null, exitCode = null } = {}) {
    super(message);
    this.name = 'CaptureError';
    this.step = step;
    this.status = status;
    this.exitCode = exitCode;
  }
}

/** An error reply of `--ocr`: code "no-window", "screen-access" or "failed". */
export class OcrError extends Error {
  constructor(message) {
    super(message);
    this.name = 'OcrError';
    this.code = message === 'no-window' || message === 'screen-access' ? message : 'failed';
  }
}

function isExecutableFile(file) {
  try {
    accessSync(file, constants.X_OK);
    return statSync(file).isFile();
  } catch {
    return false;
  }
}

function checkBinaryOption(binary) {
  if (binary !== undefined && typeof binary !== 'string') {
    throw new TypeError('binary must be a path to the lorvane-tap executable');
  }
}

// The helper: the binary option, else LORVANE_TAP, else lorvane-tap on PATH. An option or
// variable that is set is used as it stands, never passed over for another copy.
function findBinary(binary) {
  const named = (file, where) => {
    const full = path.resolve(file);
    if (isExecutableFile(full)) return full;
    throw new Error(`lorvane-tap not found: ${where} names ${full}, not an executable file`);
  };
  if (binary !== undefined) return named(binary, 'the binary option');
  if (process.env.LORVANE_TAP) return named(process.env.LORVANE_TAP, 'LORVANE_TAP');
  const dirs = (process.env.PATH ?? '').split(path.delimiter).filter(Boolean);
  for (const dir of dirs) {
    const file = path.resolve(dir, 'lorvane-tap');
    if (isExecutableFile(file)) return file;
  }
  throw new Error(
    'lorvane-tap not found: no binary option, LORVANE_TAP is not set, and no executable ' +
      `lorvane-tap in PATH (${dirs.join(path.delimiter) || 'empty'})`,
  );
}

// The helper accepts one form only, "--exclude-pid=N" with N a 32-bit signed integer, and
// ignores anything else without a word; so a bad value is refused here instead.
function excludeArgs(excludePids) {
  if (!Array.isArray(excludePids)) throw new TypeError('excludePids must be an array of pids');
  return excludePids.map((pid) => {
    if (typeof pid !== 'number') throw new TypeError(`excludePids: ${String(pid)} is not a number`);
    if (!Number.isInteger(pid) || pid < -0x80000000 || pid > 0x7fffffff) {
      throw new RangeError(`excludePids: ${pid} is not a 32-bit integer`);
    }
    return `--exclude-pid=${pid}`;
  });
}

// Calls onLine for every complete line; a chunk may hold several lines or part of one.
function readLines(stream, onLine) {
  let rest = '';
  stream.setEncoding('utf8');
  stream.on('data', (chunk) => {
    const lines = (rest + chunk).split('\n');
    rest = lines.pop();
    for (const line of lines) onLine(line);
  });
  stream.on('end', () => {
    if (rest !== '') onLine(rest);
  });
}

// "format sr=48000.0 ch=2 flags=41"
function parseFormat(line) {
  const m = /^format sr=(\S+) ch=(\d+) flags=(\d+)$/.exec(line);
  return m ? { rate: Number(m[1]), channels: Number(m[2]), flags: Number(m[3]) } : null;
}

function endReason(code, signal) {
  return signal ? `killed by ${signal}` : `exit status ${code}`;
}

/** One run of audio capture; made by startCapture. */
export class Capture {
  #child = null;
  #exited; // resolves with { code, signal } or { error }
  #stopping = null;

  constructor(child, lookupError) {
    /** "prop error" lines: setup went on with a default value. */
    this.warnings = [];
    if (!child) {
      this.pcm = Readable.from([]);
      this.ready = Promise.reject(lookupError);
      this.ready.catch(() => {}); // a caller that only stops must not see it as unhandled
      return;
    }
    this.#child = child;
    this.pcm = child.stdout;
    // Closing stdin stops the helper; it may have gone already (EPIPE), which is fine.
    child.stdin.on('error', () => {});
    this.#exited = new Promise((resolve) => {
      child.once('exit', (code, signal) => resolve({ code, signal }));
      child.once('error', (error) => resolve({ error })); // spawn failed: no 'exit' follows
    });

    let resolveReady, rejectReady;
    this.ready = new Promise((resolve, reject) => {
      resolveReady = resolve;
      rejectReady = reject;
    });
    this.ready.catch(() => {});
    let format = null;
    let errorLine = null;
    let isReady = false;
    // "STARTED" and "READY" come in either order, and the PCM on stdout may be read before
    // "READY" is: the two pipes are not ordered against each other.
    readLines(child.stderr, (line) => {
      if (line === 'READY' && !isReady) {
        isReady = true;
        resolveReady({ sampleRate: SAMPLE_RATE, channels: 1, sourceFormat: format });
      } else if (line.startsWith('format ')) {
        format = parseFormat(line);
      } else if (line.startsWith('prop error ')) {
        this.warnings.push(line);
      } else if (line.startsWith('ERROR ')) {
        errorLine = line;
      }
    });
    // An ERROR line may still be in the pipe when the process has exited: wait for both.
    const stderrDone = new Promise((resolve) => child.stderr.once('close', resolve));
    Promise.all([this.#exited, stderrDone]).then(([{ code = null, signal, error }]) => {
      if (isReady) return;
      if (error) return rejectReady(error);
      const m = errorLine && /^ERROR (\S+)(?: (-?\d+))?$/.exec(errorLine);
      if (m) {
        rejectReady(
          new CaptureError(`lorvane-tap: ${errorLine} (${endReason(code, signal)})`, {
            step: m[1],
            status: m[2] === undefined ? null : Number(m[2]),
            exitCode: code,
          }),
        );
      } else {
        const why = `lorvane-tap ended before capture was ready (${endReason(code, signal)})`;
        rejectReady(new CaptureError(why, { exitCode: code }));
      }
    });
  }

  /**
   * Closes the helper's stdin and resolves with its exit code (null if it never ran or was
   * killed) once it has exited and the PCM stream has ended. PCM that nobody ever started
   * reading is discarded, so that the stream can end.
   */
  stop() {
    if (this.#stopping) return this.#stopping;
    const child = this.#child;
    if (!child) return (this.#stopping = Promise.resolve(null));
    child.stdin.end();
    if (this.pcm.readableFlowing === null) this.pcm.resume();
    const pcmDone = new Promise((resolve) => finished(this.pcm, () => resolve()));
    this.#stopping = Promise.all([this.#exited, pcmDone]).then(([{ code = null }]) => code);
    return this.#stopping;
  }
}

/**
 * Starts audio capture: the system mix less the audio of excludePids (and of their
 * descendants). The caller's own pid is not added: pass process.pid to leave the app out.
 * Invalid arguments throw; a missing helper or a failed setup rejects capture.ready.
 */
export function startCapture({ excludePids = [], binary } = {}) {
  const args = excludeArgs(excludePids);
  checkBinaryOption(binary);
  let file;
  try {
    file = findBinary(binary);
  } catch (error) {
    return new Capture(null, error);
  }
  // stdin stays an open pipe: the helper captures until it reaches end of file.
  return new Capture(spawn(file, args, { stdio: ['pipe', 'pipe', 'pipe'] }), null);
}

// Runs a one-shot mode and resolves with its stdout once it has exited with status 0.
async function runOnce(binary, args) {
  checkBinaryOption(binary);
  const file = findBinary(binary);
  return new Promise((resolve, reject) => {
    // These modes never read stdin.
    const child = spawn(file, args, { stdio: ['ignore', 'pipe', 'pipe'] });
    const out = [];
    const err = [];
    child.stdout.on('data', (chunk) => out.push(chunk));
    child.stderr.on('data', (chunk) => err.push(chunk));
    child.once('error', reject);
    child.once('close', (code, signal) => {
      const stdout = Buffer.concat(out).toString('utf8');
      if (code === 0) return resolve(stdout);
      const stderr = Buffer.concat(err).toString('utf8').trim();
      const why = `lorvane-tap ${args.join(' ')} failed (${endReason(code, signal)})`;
      reject(new Error(stderr ? `${why}: ${stderr}` : why));
    });
  });
}

function parseReply(stdout, mode) {
  try {
    return JSON.parse(stdout);
  } catch {
    throw new Error(`lorvane-tap ${mode}: not a JSON reply: ${JSON.stringify(stdout)}`);
  }
}

/** The visible application windows, front-most first. */
export async function listWindows({ binary } = {}) {
  const reply = parseReply(await runOnce(binary, ['--windows']), '--windows');
  if (!Array.isArray(reply)) throw new Error('lorvane-tap --windows: the reply is not an array');
  return reply;
}

/**
 * The text of the front-most sizeable window that belongs neither to this process (the
 * helper leaves out its parent itself) nor to excludePids. An error reply rejects with an
 * OcrError.
 */
export async function readWindowText({ excludePids = [], save, binary } = {}) {
  const args = ['--ocr', ...excludeArgs(excludePids)];
  if (save !== undefined && save !== null) {
    if (typeof save !== 'string') throw new TypeError('save must be a file path');
    args.push(`--save=${save}`);
  }
  const reply = parseReply(await runOnce(binary, args), '--ocr');
  if (typeof reply?.error === 'string') throw new OcrError(reply.error);
  return { app: reply.app, title: reply.title, text: reply.text };
}

/** Whether the helper may listen to global input; request asks for it where a system can. */
export async function listenAccess({ request = false, binary } = {}) {
  const args = request ? ['--listen-access', '--request'] : ['--listen-access'];
  const answer = (await runOnce(binary, args)).trim();
  if (answer !== 'granted' && answer !== 'denied') {
    throw new Error(`lorvane-tap --listen-access: unexpected answer ${JSON.stringify(answer)}`);
  }
  return answer;
}

/** The 44-byte header of a PCM WAV file holding byteLength bytes of 16 kHz mono s16le. */
export function wavHeader(byteLength) {
  if (
    !Number.isInteger(byteLength) ||
    byteLength < 0 ||
    byteLength % 2 !== 0 ||
    byteLength > 0xffffffff - 36 // the RIFF size field counts 36 header bytes too
  ) {
    throw new RangeError(`wavHeader: ${byteLength} bytes are no whole number of samples`);
  }
  const h = Buffer.alloc(WAV_HEADER_BYTES);
  h.write('RIFF', 0, 'ascii');
  h.writeUInt32LE(36 + byteLength, 4);
  h.write('WAVEfmt ', 8, 'ascii');
  h.writeUInt32LE(16, 16); // size of the fmt chunk
  h.writeUInt16LE(1, 20); // integer PCM
  h.writeUInt16LE(1, 22); // channels
  h.writeUInt32LE(SAMPLE_RATE, 24);
  h.writeUInt32LE(SAMPLE_RATE * 2, 28); // bytes per second
  h.writeUInt16LE(2, 32); // bytes per frame
  h.writeUInt16LE(16, 34); // bits per sample
  h.write('data', 36, 'ascii');
  h.writeUInt32LE(byteLength, 40);
  return h;
}

/**
 * Reads a PCM stream to its end and resolves with the whole WAV file. The header needs the
 * length, so everything is held in memory (32 000 bytes per second of audio).
 */
export async function toWav(pcmStream) {
  const chunks = [];
  let length = 0;
  for await (const chunk of pcmStream) {
    chunks.push(chunk);
    length += chunk.length;
  }
  const wav = Buffer.allocUnsafe(WAV_HEADER_BYTES + length);
  wavHeader(length).copy(wav, 0);
  let at = WAV_HEADER_BYTES;
  for (const chunk of chunks) at += chunk.copy(wav, at);
  return wav;
}
