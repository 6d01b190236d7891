#!/usr/bin/python3
"""Renders the benchmark's text windows as PNG files, each with the exact text beside it.

render.py OUTDIR [CASE...] writes OUTDIR/<case>.png and OUTDIR/<case>.txt for the cases named
(all of them when none is).
The text is fixed (no randomness), so every run measures the same pages.
"""
import sys
from pathlib import Path

from PIL import Image, ImageDraw, ImageFont

FONT = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"
FONT_INDEX_JP = 0  # the .ttc's first face is Noto Sans CJK JP

ENGLISH = [
    "The quarterly report is due on Friday, so please send your figures by Wednesday.",
    "Meeting notes: budget review moved to 3:30 pm in room 204 (bring the draft).",
    "Version 2.14 fixes the crash when opening large files over a slow network.",
    "Total: 1,284 items shipped; 37 returned; net revenue up 12.5% over last year.",
    "Remember to back up the database before running the migration script.",
    "Our next release adds dark mode, faster search and better keyboard shortcuts.",
    "Contact support@example.com if the installer stops at the license screen.",
    "The train leaves at 7:45 from platform 9 and arrives in Osaka at 10:20.",
    "Please review the pull request and leave comments on the error handling.",
    "Weather: sunny in the morning, light rain after 4 pm, high of 23 degrees.",
    "Step 3: open Settings, choose Accounts, then select Add another account.",
    "The library closes early on holidays; returns go in the box by the door.",
]

JAPANESE = [
    "今日は会議の資料を準備して、午後に部長へ報告する予定です。",
    "新しいバージョンでは検索が速くなり、設定画面も見やすくなりました。",
    "東京駅から新幹線に乗って、大阪には十時ごろ着きます。",
    "明日の天気は晴れのち曇りで、夕方から雨が降るでしょう。",
    "このファイルを保存する前に、内容をもう一度確認してください。",
    "来週の月曜日に、チームで今後の計画について話し合います。",
    "図書館で借りた本を返すのを忘れないようにしましょう。",
    "お問い合わせは、平日の午前九時から午後五時まで受け付けています。",
    "駅の近くに新しいカフェができたので、友達と行ってみました。",
    "この機能を使うと、画面の文字をすばやく読み取ることができます。",
    "データのバックアップは毎日夜中の二時に自動で行われます。",
    "ご不明な点がございましたら、担当者までご連絡ください。",
]

MIXED = [
    "プロジェクト名は Lorvane で、リリースは 2025 年 4 月です。",
    "エラーコード 404 が表示された場合は、URL を確認してください。",
    "Python と C++ の両方でテストを書いています。",
    "会議室 B で 15:00 から design review を行います。",
    "明日の 10:30 に Zoom で打ち合わせをしましょう。",
    "メモリ使用量が 512 MB を超えると警告が出ます。",
]


def page_lines(count):
    """One sentence a line, cycling through English, Japanese and mixed ones,
    deterministically and without repeats for 25 lines."""
    order = [ENGLISH, JAPANESE, MIXED, ENGLISH, JAPANESE]
    used = {id(ENGLISH): 0, id(JAPANESE): 0, id(MIXED): 0}
    lines = []
    while len(lines) < count:
        src = order[len(lines) % len(order)]
        lines.append(src[used[id(src)] % len(src)])
        used[id(src)] += 1
    return lines


def render(path, lines, size, line_height, fg, bg, width=1280, height=800, margin=24, columns=1):
    font = ImageFont.truetype(FONT, size, index=FONT_INDEX_JP)
    img = Image.new("RGB", (width, height), bg)
    draw = ImageDraw.Draw(img)
    per_column = (len(lines) + columns - 1) // columns
    column_width = (width - margin) // columns
    for i, line in enumerate(lines):
        col, row = divmod(i, per_column)
        x = margin + col * column_width
        y = margin + row * line_height
        draw.text((x, y), line, font=font, fill=fg)
    img.save(path)


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    lines25 = page_lines(25)
    cases = {
        # name: (lines, font px, line height px, text colour, background)
        "light15": (lines25, 15, 30, (20, 20, 20), (255, 255, 255)),
        "light12": (lines25, 12, 30, (20, 20, 20), (255, 255, 255)),
        "dark15": (lines25, 15, 30, (212, 212, 212), (30, 30, 30)),
        "dense13": (page_lines(42), 13, 18, (0, 0, 0), (250, 250, 250)),
    }
    wanted = sys.argv[2:] or list(cases)
    for name in wanted:
        lines, size, lh, fg, bg = cases[name]
        render(out / f"{name}.png", lines, size, lh, fg, bg)
        (out / f"{name}.txt").write_text("\n".join(lines) + "\n", encoding="utf-8")


if __name__ == "__main__":
    main()
