// Window list and window text against the built helper on a private X display (tests/with-x11).
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { existsSync } from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';
import { OcrError, listWindows, readWindowText } from '../index.js';
import { fixtureWindows, work } from './support.js';

const TEXT = 'Quarterly report due Friday';

// A white page with one line of dark text, shown pixel-exact by the fixture.
function textPng() {
  const file = path.join(work, 'page.png');
  const script =
    'import sys\nfrom PIL import Image, ImageDraw, ImageFont\n' +
    'img = Image.new("RGB", (640, 160), "white")\n' +
    'font = ImageFont.truetype("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 32)\n' +
    'ImageDraw.Draw(img).text((40, 60), sys.argv[2], fill="black", font=font)\n' +
    'img.save(sys.argv[1])\n';
  execFileSync('/usr/bin/python3', ['-c', script, file, TEXT]);
  return file;
}

test('lists a window and reads its text; with its owner excluded there is no window', async () => {
  const layout = `title=notes / today\tclass=Notes\tbackground=${textPng()}\n`;
  const fixture = await fixtureWindows(layout);
  assert.deepEqual(await listWindows(), [{ app: 'Notes', title: 'notes / today' }]);
  const saved = path.join(work, 'saved.png');
  const reply = await readWindowText({ save: saved });
  assert.deepEqual(reply, { app: 'Notes', title: 'notes / today', text: TEXT });
  assert.ok(existsSync(saved));
  const error = await readWindowText({ excludePids: [fixture.pid] }).catch((e) => e);
  assert.ok(error instanceof OcrError, String(error));
  assert.deepEqual([error.code, error.message], ['no-window', 'no-window']);
});
