#!/usr/bin/env python3
"""Writes the small PDF files the README's recipes start from."""
import os
import sys


def pdf(pages, rotate=0, size=(612, 792)):
    """A PDF with one page per list of text lines, in Helvetica."""
    objects = {}
    kids = []
    n = 4
    for lines in pages:
        page, content = n, n + 1
        n += 2
        kids.append(page)
        text = ["BT /F1 14 Tf 72 %d Td 18 TL" % (size[1] - 90)]
        for i, line in enumerate(lines):
            font = "/F1 22 Tf " if i == 0 else "/F1 12 Tf "
            text.append("%s(%s) Tj T*" % (font, line.replace("(", "\\(").replace(")", "\\)")))
        text.append("ET")
        data = "\n".join(text).encode()
        objects[content] = b"<< /Length %d >>\nstream\n" % len(data) + data + b"\nendstream"
        rot = b" /Rotate %d" % rotate if rotate else b""
        objects[page] = (b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %d %d]%s "
                         b"/Resources << /Font << /F1 3 0 R >> >> /Contents %d 0 R >>"
                         % (size[0], size[1], rot, content))
    objects[1] = b"<< /Type /Catalog /Pages 2 0 R >>"
    objects[2] = (b"<< /Type /Pages /Kids [%s] /Count %d >>"
                  % (b" ".join(b"%d 0 R" % k for k in kids), len(kids)))
    objects[3] = b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"
    out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = {}
    for num in sorted(objects):
        offsets[num] = len(out)
        out += b"%d 0 obj\n" % num + objects[num] + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (n)
    for num in range(1, n):
        out += b"%010d 00000 n \n" % offsets[num]
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (n, xref)
    return bytes(out)


def body(title, n):
    return [title] + ["Line %d of the page. The quick brown fox jumps over the lazy dog." % i
                      for i in range(1, n + 1)]


def main(folder):
    os.makedirs(os.path.join(folder, "invoices"), exist_ok=True)
    files = {
        "report.pdf": pdf([body("Quarterly report, page %d" % p, 30) for p in (1, 2, 3)]),
        "landscape.pdf": pdf([body("Site plan (turned by /Rotate 90)", 20)], rotate=90),
        "invoices/invoice-1.pdf": pdf([body("Invoice 1, page %d" % p, 10) for p in (1, 2)]),
        "invoices/invoice-2.pdf": pdf([body("Invoice 2, page %d" % p, 10) for p in (1, 2, 3)]),
        "invoices/invoice-3.pdf": pdf([body("Invoice 3, page 1", 10)]),
    }
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    with open(os.path.join(folder, "people.csv"), "w", encoding="utf-8", newline="") as f:
        f.write('name,email\r\nAlice Martin,alice@example.com\r\n"Bob ""B."" Jones",bob@example.com\r\n'
                'Zoë Ødegaard,zoe@example.com\r\n')


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__)))
