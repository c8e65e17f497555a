#!/usr/bin/env python3
"""Turns the Markdown guides into a small HTML site the desktop program opens as its help.

Only what our guides use is understood: ATX headings, paragraphs, "-"/"*" and numbered lists
(nested by indentation), fenced code blocks, pipe tables, block quotes, and inline code,
**strong**, *emphasis*, links and images. Links to other .md files point to their .html pages.

usage: md2html.py OUT_DIR GUIDE.md...   (writes one page per guide and index.html)
"""

import html
import os
import re
import sys

INLINE = re.compile(
    r"(?P<code>`[^`]+`)"
    r"|!\[(?P<alt>[^\]]*)\]\((?P<src>[^)\s]+)\)"
    r"|\[(?P<text>[^\]]+)\]\((?P<href>[^)\s]+)\)"
    r"|\*\*(?P<strong>.+?)\*\*"
    r"|(?<![\w*])\*(?P<em>[^*\s](?:[^*]*[^*\s])?)\*(?![\w*])"
)
LIST_ITEM = re.compile(r"^(?P<indent>\s*)(?P<mark>[-*]|\d+\.)\s+(?P<text>.*)$")
TABLE_RULE = re.compile(r"^\s*\|?\s*:?-{3,}:?\s*(\|\s*:?-{3,}:?\s*)*\|?\s*$")

STYLE = """body{font-family:sans-serif;max-width:52em;margin:1em auto;padding:0 1em;line-height:1.45}
code,pre{font-family:monospace;background:#f3f3f3}pre{padding:.6em;overflow-x:auto}
table{border-collapse:collapse}td,th{border:1px solid #bbb;padding:.2em .5em;vertical-align:top}
img{max-width:100%}nav{margin-bottom:1em}"""


def link_target(href):
    base, sep, anchor = href.partition("#")
    if base.endswith(".md") and "://" not in base:
        base = base[:-3] + ".html"
    return base + sep + anchor


def inline(text):
    out, pos = [], 0
    for m in INLINE.finditer(text):
        out.append(html.escape(text[pos:m.start()], quote=False))
        pos = m.end()
        if m.group("code"):
            out.append("<code>%s</code>" % html.escape(m.group("code")[1:-1], quote=False))
        elif m.group("src") is not None:
            out.append('<img src="%s" alt="%s">' % (html.escape(m.group("src")),
                                                     html.escape(m.group("alt"))))
        elif m.group("href") is not None:
            out.append('<a href="%s">%s</a>' % (html.escape(link_target(m.group("href"))),
                                                inline(m.group("text"))))
        elif m.group("strong") is not None:
            out.append("<strong>%s</strong>" % inline(m.group("strong")))
        else:
            out.append("<em>%s</em>" % inline(m.group("em")))
    out.append(html.escape(text[pos:], quote=False))
    return "".join(out)


def cells(line):
    line = line.strip()
    if line.startswith("|"):
        line = line[1:]
    if line.endswith("|") and not line.endswith("\\|"):
        line = line[:-1]
    # A "|" inside inline code belongs to the code.
    parts, cur, in_code = [], "", False
    for ch in line:
        if ch == "`":
            in_code = not in_code
        if ch == "|" and not in_code:
            parts.append(cur)
            cur = ""
        else:
            cur += ch
    parts.append(cur)
    return [p.strip() for p in parts]


class Converter:
    def __init__(self, lines):
        self.lines = lines
        self.i = 0
        self.out = []
        self.title = None

    def run(self):
        while self.i < len(self.lines):
            line = self.lines[self.i]
            if not line.strip():
                self.i += 1
            elif line.lstrip().startswith("```"):
                self.code_block()
            elif re.match(r"^#{1,6}\s", line):
                self.heading(line)
            elif line.lstrip().startswith("|") and self.i + 1 < len(self.lines) and \
                    TABLE_RULE.match(self.lines[self.i + 1]):
                self.table()
            elif LIST_ITEM.match(line):
                self.list_block(len(LIST_ITEM.match(line).group("indent")))
            elif line.startswith(">"):
                self.quote()
            else:
                self.paragraph()
        return "\n".join(self.out)

    def heading(self, line):
        level = len(line) - len(line.lstrip("#"))
        text = line[level:].strip().rstrip("#").strip()
        if self.title is None:
            self.title = re.sub(r"[`*]", "", text)
        anchor = re.sub(r"[^a-z0-9]+", "-", text.lower()).strip("-")
        self.out.append('<h%d id="%s">%s</h%d>' % (level, anchor, inline(text), level))
        self.i += 1

    def code_block(self):
        fence = self.lines[self.i].lstrip()[:3]
        self.i += 1
        body = []
        while self.i < len(self.lines) and not self.lines[self.i].lstrip().startswith(fence):
            body.append(self.lines[self.i])
            self.i += 1
        self.i += 1  # the closing fence
        self.out.append("<pre><code>%s</code></pre>" % html.escape("\n".join(body), quote=False))

    def table(self):
        head = cells(self.lines[self.i])
        self.i += 2
        rows = []
        while self.i < len(self.lines) and self.lines[self.i].lstrip().startswith("|"):
            rows.append(cells(self.lines[self.i]))
            self.i += 1
        self.out.append("<table>")
        self.out.append("<tr>%s</tr>" % "".join("<th>%s</th>" % inline(c) for c in head))
        for row in rows:
            self.out.append("<tr>%s</tr>" % "".join("<td>%s</td>" % inline(c) for c in row))
        self.out.append("</table>")

    def list_block(self, indent):
        first = LIST_ITEM.match(self.lines[self.i])
        tag = "ol" if first.group("mark")[0].isdigit() else "ul"
        self.out.append("<%s>" % tag)
        while self.i < len(self.lines):
            m = LIST_ITEM.match(self.lines[self.i])
            if not m or len(m.group("indent")) < indent:
                break
            if len(m.group("indent")) > indent:
                self.list_block(len(m.group("indent")))
                continue
            text = [m.group("text")]
            self.i += 1
            # Continuation lines are indented and are no list items of their own.
            while self.i < len(self.lines):
                line = self.lines[self.i]
                if not line.strip() or not line.startswith(" ") or LIST_ITEM.match(line):
                    break
                text.append(line.strip())
                self.i += 1
            self.out.append("<li>%s</li>" % inline(" ".join(text)))
            if self.i < len(self.lines) and not self.lines[self.i].strip():
                nxt = self.i + 1
                if nxt < len(self.lines) and LIST_ITEM.match(self.lines[nxt]):
                    self.i = nxt  # a loose list goes on after a blank line
        self.out.append("</%s>" % tag)

    def quote(self):
        text = []
        while self.i < len(self.lines) and self.lines[self.i].startswith(">"):
            text.append(self.lines[self.i][1:].strip())
            self.i += 1
        self.out.append("<blockquote><p>%s</p></blockquote>" % inline(" ".join(text)))

    def paragraph(self):
        text = []
        while self.i < len(self.lines):
            line = self.lines[self.i]
            if not line.strip() or line.lstrip().startswith("```") or \
                    re.match(r"^#{1,6}\s", line) or LIST_ITEM.match(line) or \
                    line.lstrip().startswith("|"):
                break
            text.append(line.strip())
            self.i += 1
        self.out.append("<p>%s</p>" % inline(" ".join(text)))


def page(title, body, nav):
    return ('<!DOCTYPE html>\n<html lang="en"><head><meta charset="utf-8">'
            "<title>%s</title><style>%s</style></head>\n<body>\n%s%s\n</body></html>\n"
            % (html.escape(title), STYLE, nav, body))


def main(argv):
    if len(argv) < 3:
        sys.stderr.write(__doc__)
        return 2
    out_dir, guides = argv[1], argv[2:]
    os.makedirs(out_dir, exist_ok=True)
    back = '<nav><a href="index.html">Kov user guide</a></nav>\n'
    entries = []
    for path in guides:
        with open(path, encoding="utf-8") as f:
            conv = Converter(f.read().splitlines())
        body = conv.run()
        name = os.path.splitext(os.path.basename(path))[0] + ".html"
        title = conv.title or name
        with open(os.path.join(out_dir, name), "w", encoding="utf-8") as f:
            f.write(page(title, body, back))
        entries.append((name, title))
    items = "\n".join('<li><a href="%s">%s</a></li>' % (html.escape(n), html.escape(t))
                      for n, t in entries)
    with open(os.path.join(out_dir, "index.html"), "w", encoding="utf-8") as f:
        f.write(page("Kov user guide", "<h1>Kov user guide</h1>\n<ul>\n%s\n</ul>" % items, ""))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
