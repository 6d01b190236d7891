// Compiled by `tsc --noEmit` in npm test: the declarations as a TypeScript parent uses them.
import {
  CaptureError,
  OcrError,
  listWindows,
  listenAccess,
  readWindowText,
  startCapture,
  toWav,
  wavHeader,
  type CaptureFormat,
  type CaptureStep,
} from 'lorvane-tap';

export async function record(): Promise<Buffer> {
  const capture = startCapture({ excludePids: [process.pid], binary: '/usr/bin/lorvane-tap' });
  const wav = toWav(capture.pcm);
  try {
    const format: CaptureFormat = await capture.ready;
    const rate: 16000 = format.sampleRate;
    console.log(rate, format.sourceFormat?.rate, capture.warnings.join('\n'));
  } catch (err) {
    if (err instanceof CaptureError) {
      const step: CaptureStep | null = err.step;
      console.log(step, err.status, err.exitCode);
    }
  }
  const code: number | null = await capture.stop();
  console.log(code);
  return Buffer.concat([wavHeader(0), await wav]);
}

export async function look(): Promise<string> {
  const windows = await listWindows();
  const access: 'granted' | 'denied' = await listenAccess({ request: true });
  try {
    const { app, title, text } = await readWindowText({ excludePids: [1], save: '/tmp/w.png' });
    return [windows[0]?.app, access, app, title, text].join(' ');
  } catch (err) {
    return err instanceof OcrError ? err.code : 'other';
  }
}
