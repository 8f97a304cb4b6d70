#!/usr/bin/python3
"""Makes the placeholder sample package: file.dat (a two-page PDF with tagged texts and a link
whose target holds a variable) and variables.dat (its fingerprint and one line per occurrence).

Run from this folder with the system Python: /usr/bin/python3 make_sample.py
(needs the Debian package python3-reportlab)
The output is reproducible: ReportLab's invariant mode fixes dates and document ids.
"""
import hashlib
from reportlab import rl_config
from reportlab.lib.pagesizes import A5
from reportlab.pdfgen import canvas

rl_config.invariant = 1

PDF = "file.dat"
VARIABLES = "variables.dat"


def make_pdf():
    c = canvas.Canvas(PDF, pagesize=A5, invariant=1)
    c.setTitle("The Little Book of Sample Profits")
    width, height = A5

    c.setFont("Helvetica-Bold", 20)
    c.drawString(40, height - 80, "The Little Book of Sample Profits")
    c.setFont("Helvetica", 12)
    c.drawString(40, height - 110, "Written by [[AUTHOR]]")
    c.drawString(40, height - 140, "Visit [[SITE]] for the latest edition.")
    c.setFont("Helvetica", 11)
    c.setFillColorRGB(0, 0, 0.8)
    c.drawString(40, height - 170, "Get the bonus chapter here")
    # The first link annotation of the document: handle 0.
    c.linkURL("https://[[SITE]]/bonus",
              (40, height - 174, 200, height - 158), relative=0)
    c.setFillColorRGB(0, 0, 0)
    c.setFont("Times-Roman", 11)
    c.drawString(40, 60, "Copyright [[AUTHOR]]. All rights reserved.")
    c.showPage()

    c.setFont("Times-Roman", 12)
    c.drawString(40, height - 80, "Chapter 1")
    c.drawString(40, height - 110, "A word from [[AUTHOR]]: thank you for reading.")
    c.drawString(40, height - 130, "Questions? Write to [[EMAIL]].")
    c.showPage()
    c.save()


# enabled ^ tagged text ^ default value ^ kind ^ page ^ link handle ^ variable name
OCCURRENCES = [
    ("1", "[[AUTHOR]]", "Jane Doe", "Text", "1", "0", "[[AUTHOR]]"),
    ("1", "[[SITE]]", "www.example.com", "Text", "1", "0", "[[SITE]]"),
    ("1", "https://[[SITE]]/bonus", "www.example.com", "Link", "1", "0", "[[SITE]]"),
    ("1", "[[AUTHOR]]", "Jane Doe", "Text", "2", "0", "[[AUTHOR]]"),
    ("1", "[[EMAIL]]", "jane@example.com", "Text", "2", "0", "[[EMAIL]]"),
]


def make_variables():
    with open(PDF, "rb") as f:
        fingerprint = hashlib.md5(f.read()).hexdigest()
    lines = [fingerprint] + ["^".join(fields) + "^" for fields in OCCURRENCES]
    with open(VARIABLES, "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("ascii"))


if __name__ == "__main__":
    make_pdf()
    make_variables()
