/// <reference types="node" />
import type { Readable } from 'node:stream';

/** Where the helper is; default: LORVANE_TAP from the environment, else lorvane-tap on PATH. */
export interface BinaryOption {
  binary?: string;
}

export interface CaptureOptions extends BinaryOption {
  /** Processes (and their descendants) whose audio is left out; 32-bit integers. */
  excludePids?: number[];
}

/** The capture format as the helper read it from the audio system ("format" line). */
export interface SourceFormat {
  rate: number;
  channels: number;
  flags: number;
}

export interface CaptureFormat {
  sampleRate: 16000;
  channels: 1;
  /** null only if the helper announced no format. */
  sourceFormat: SourceFormat | null;
}

export type CaptureStep = 'tap' | 'aggregate' | 'format' | 'ioproc' | 'start';

export class CaptureError extends Error {
  name: 'CaptureError';
  /** The setup step that failed; null when the helper ended before READY without saying why. */
  step: CaptureStep | null;
  /** The step's status (a negative errno on Linux); null for "format" and when step is null. */
  status: number | null;
  /** The helper's exit status; null when a signal ended it. */
  exitCode: number | null;
}

export class Capture {
  private constructor();
  /** Raw PCM: 16 kHz, mono, signed 16-bit little-endian, no header. */
  readonly pcm: Readable;
  /**
   * Resolves once the first samples are on their way; rejects with a CaptureError when setup
   * fails, or with an Error when the helper cannot be found or started.
   */
  readonly ready: Promise<CaptureFormat>;
  /** "prop error <selector> <status>" lines: setup went on with a default value. */
  readonly warnings: string[];
  /**
   * Closes the helper's stdin; resolves with its exit code (null if it never ran or a signal
   * ended it) once it has exited and pcm has ended. Calling it again returns the same promise.
   */
  stop(): Promise<number | null>;
}

/** Starts audio capture. The caller's own pid is not excluded unless it is in excludePids. */
export function startCapture(options?: CaptureOptions): Capture;

export interface WindowEntry {
  app: string;
  title: string;
}

export function listWindows(options?: BinaryOption): Promise<WindowEntry[]>;

export interface WindowText extends WindowEntry {
  text: string;
}

export interface ReadWindowTextOptions extends CaptureOptions {
  /** Also write the captured window as PNG to this path. */
  save?: string;
}

export type OcrErrorCode = 'no-window' | 'screen-access' | 'failed';

export class OcrError extends Error {
  name: 'OcrError';
  code: OcrErrorCode;
}

/** Rejects with an OcrError when the helper answers with an error reply. */
export function readWindowText(options?: ReadWindowTextOptions): Promise<WindowText>;

export interface ListenAccessOptions extends BinaryOption {
  request?: boolean;
}

export function listenAccess(options?: ListenAccessOptions): Promise<'granted' | 'denied'>;

/** The 44-byte WAV header for byteLength bytes of 16 kHz mono s16le PCM. */
export function wavHeader(byteLength: number): Buffer;

/** Reads the PCM stream to its end; resolves with a complete WAV file. */
export function toWav(pcmStream: AsyncIterable<Buffer>): Promise<Buffer>;
