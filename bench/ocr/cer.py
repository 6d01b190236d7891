#!/usr/bin/python3
"""cer.py [--lines] REFERENCE.txt HYPOTHESIS.txt: prints the character error rate in percent.

Both texts are compared line by line in reading order as one string. With --lines, each line of
the reference is compared with the closest stretch of any one line of the hypothesis, so text that
the reference does not hold (buttons, a prompt, a title) costs nothing, while a line that is
missing costs its full length (see line_errors). Runs of white space count
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


def infix_distance(ref, line):
    """Edits that turn ref into the closest stretch of line (the stretch's ends are free)."""
    prev = [0] * (len(line) + 1)
    for i, ca in enumerate(ref, 1):
        cur = [i] + [0] * len(line)
        for j, cb in enumerate(line, 1):
            cur[j] = min(prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (ca != cb))
        prev = cur
    return min(prev)


def line_errors(reference, hypothesis):
    """(errors, characters) over the reference's lines: each line against the hypothesis line
    that holds it best, at most its own length (a missing line counts fully)."""
    lines = normalize(hypothesis).splitlines()
    errors = total = 0
    for ref in normalize(reference).splitlines():
        total += len(ref)
        errors += min([len(ref)] + [infix_distance(ref, line) for line in lines])
    return errors, total


def cer(reference, hypothesis):
    ref, hyp = normalize(reference), normalize(hypothesis)
    return 100.0 * distance(ref, hyp) / max(1, len(ref))


if __name__ == "__main__":
    by_line = sys.argv[1] == "--lines"
    ref = open(sys.argv[1 + by_line], encoding="utf-8").read()
    hyp = open(sys.argv[2 + by_line], encoding="utf-8").read()
    if by_line:
        errors, total = line_errors(ref, hyp)
        print(f"{100.0 * errors / max(1, total):.2f}")
    else:
        print(f"{cer(ref, hyp):.2f}")
