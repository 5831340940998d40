#!/usr/bin/env python3
# Writes a document of N US Letter pages, each showing its own 8-bit grey
# image of random pixels (like a scan: the data does not compress), about
# 300 KB a page. Usage: make_scans.py N OUT.pdf
import os, sys
n, out = int(sys.argv[1]), sys.argv[2]
w, h = 500, 600  # about 300 KB a page, some 600 MB in all, like a real scan
objs = [b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [" + b" ".join(b"%d 0 R" % (3 + 3 * i) for i in range(n)) +
        b"] /Count %d >>" % n]
for i in range(n):
    p, c, im = 3 + 3 * i, 4 + 3 * i, 5 + 3 * i
    objs.append(b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents %d 0 R "
                b"/Resources << /XObject << /Im0 %d 0 R >> >> >>" % (c, im))
    draw = b"q 612 0 0 792 0 0 cm /Im0 Do Q"
    objs.append(b"<< /Length %d >>\nstream\n" % len(draw) + draw + b"\nendstream")
    data = os.urandom(w * h)
    objs.append(b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceGray "
                b"/BitsPerComponent 8 /Length %d >>\nstream\n" % (w, h, len(data)) + data +
                b"\nendstream")
with open(out, "wb") as f:
    f.write(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for k, o in enumerate(objs):
        offsets.append(f.tell())
        f.write(b"%d 0 obj\n" % (k + 1) + o + b"\nendobj\n")
    x = f.tell()
    f.write(b"xref\n0 %d\n0000000000 65535 f\r\n" % (len(objs) + 1))
    for o in offsets:
        f.write(b"%010d 00000 n\r\n" % o)
    f.write(b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objs) + 1, x))
