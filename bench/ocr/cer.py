#!/usr/bin/python3
"""cer.py REFERENCE.txt HYPOTHESIS.txt: prints the character error rate in percent.

Both texts are compared line by line in reading order as one string. Runs of white space count
as one space, and a space next to a Japanese character is dropped: Japanese has no word spaces,
and whether a recognizer puts one between two kana is no reading error.
"""
import re
import sys
import unicodedata


def is_cjk(ch):
    name = unicodedata.name(ch, "")
    return ord(ch) >= 0x2E80 and not name.startswith("FULLWIDTH LATIN")


def normalize(text):
    lines = []
    for line in text.splitlines():
        line = re.sub(r"\s+", " ", line).strip()
        if not line:
            continue
        kept = []
        for i, ch in enumerate(line):
            if ch == " ":
                prev = line[i - 1] if i > 0 else ""
                nxt = line[i + 1] if i + 1 < len(line) else ""
                if (prev and is_cjk(prev)) or (nxt and is_cjk(nxt)):
                    continue
            kept.append(ch)
        lines.append("".join(kept))
    return "\n".join(lines)


def distance(a, b):
    prev = list(range(len(b) + 1))
    for i, ca in enumerate(a, 1):
        cur = [i] + [0] * len(b)
        for j, cb in enumerate(b, 1):
            cur[j] = min(prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (ca != cb))
        prev = cur
    return prev[len(b)]


def cer(reference, hypothesis):
    ref, hyp = normalize(reference), normalize(hypothesis)
    return 100.0 * distance(ref, hyp) / max(1, len(ref))


if __name__ == "__main__":
    ref = open(sys.argv[1], encoding="utf-8").read()
    hyp = open(sys.argv[2], encoding="utf-8").read()
    print(f"{cer(ref, hyp):.2f}")
