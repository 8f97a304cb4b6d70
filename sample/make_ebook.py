#!/usr/bin/python3
"""Makes the sample e-book "Grow Your Audience" (sample/ebook.pdf) with ReportLab.

    /usr/bin/python3 sample/make_ebook.py sample/ebook.pdf

Tags ([[NAME]]) stand in running text, headings, bold and italic text, a footer drawn on every
page from one form XObject, and a link whose address carries the token AFFILIATE_ID.
The body is set in Liberation Serif (embedded subset, fonts-liberation2); headings in Helvetica.
"""
import sys

from reportlab.lib.enums import TA_JUSTIFY
from reportlab.lib.pagesizes import A5
from reportlab.lib.styles import ParagraphStyle
from reportlab.lib.units import mm
from reportlab.pdfbase import pdfmetrics
from reportlab.pdfbase.ttfonts import TTFont
from reportlab.platypus import PageBreak, Paragraph, SimpleDocTemplate, Spacer

FONT_DIR = "/usr/share/fonts/truetype/liberation2/"
pdfmetrics.registerFont(TTFont("LiberationSerif", FONT_DIR + "LiberationSerif-Regular.ttf"))
pdfmetrics.registerFont(TTFont("LiberationSerif-Bold", FONT_DIR + "LiberationSerif-Bold.ttf"))
pdfmetrics.registerFont(TTFont("LiberationSerif-Italic", FONT_DIR + "LiberationSerif-Italic.ttf"))
pdfmetrics.registerFont(
    TTFont("LiberationSerif-BoldItalic", FONT_DIR + "LiberationSerif-BoldItalic.ttf"))
pdfmetrics.registerFontFamily("LiberationSerif", normal="LiberationSerif",
                              bold="LiberationSerif-Bold", italic="LiberationSerif-Italic",
                              boldItalic="LiberationSerif-BoldItalic")

BODY = ParagraphStyle("body", fontName="LiberationSerif", fontSize=10.5, leading=14.5,
                      alignment=TA_JUSTIFY, spaceAfter=6)
TITLE = ParagraphStyle("title", fontName="Helvetica-Bold", fontSize=24, leading=30,
                       textColor="#1f3a5f", spaceAfter=10)
SUBTITLE = ParagraphStyle("subtitle", fontName="Helvetica", fontSize=13, leading=18,
                          textColor="#4a6a8a", spaceAfter=24)
HEADING = ParagraphStyle("heading", fontName="Helvetica-Bold", fontSize=15, leading=20,
                         textColor="#1f3a5f", spaceBefore=6, spaceAfter=8)

LINK = "https://www.example-marketplace.com/buy?ref=AFFILIATE_ID&amp;item=grow"


def footer(canvas, doc):
    canvas.saveState()
    if not canvas.hasForm("footer"):
        canvas.beginForm("footer")
        canvas.setFont("Helvetica-Oblique", 8)
        canvas.setFillColorRGB(0.35, 0.35, 0.35)
        canvas.drawString(0, 0, "Grow Your Audience \u2014 brought to you by [[WEBSITE]]")
        canvas.endForm()
    canvas.translate(18 * mm, 10 * mm)
    canvas.doForm("footer")
    canvas.restoreState()
    canvas.setFont("Helvetica", 8)
    canvas.drawRightString(A5[0] - 18 * mm, 10 * mm, str(doc.page))


def story():
    s = []
    s.append(Paragraph("Grow Your Audience", TITLE))
    s.append(Paragraph("A short guide by [[AUTHOR_NAME]]", SUBTITLE))
    s.append(Paragraph(
        "Welcome! This guide is presented to you by [[AUTHOR_NAME]] of [[WEBSITE]]. "
        "In the next pages you will learn how to find readers, keep them, and turn a small "
        "newsletter into a steady source of income.", BODY))
    s.append(Paragraph(
        "If you have questions, write to [[EMAIL]] at any time: every message is read and "
        "answered within two working days.", BODY))
    s.append(Paragraph(
        "<b>Important:</b> this copy is licensed to <b>[[AUTHOR_NAME]]</b>, who may give it "
        "away to their own customers. <i>Visit [[WEBSITE]] for more free guides.</i>", BODY))
    s.append(PageBreak())
    s.append(Paragraph("1. Know who you write for", HEADING))
    s.append(Paragraph(
        "Every successful publisher starts with a clear picture of the reader. Write down "
        "three questions your readers ask, and answer one of them every week. At [[WEBSITE]] "
        "we keep a list of such questions for you.", BODY))
    s.append(Paragraph(
        "The tools we recommend are described in detail on our resources page: "
        f'<a href="{LINK}" color="#1a5fb4"><u>get the toolkit here</u></a>. '
        "They are free to try for thirty days.", BODY))
    s.append(Paragraph("2. Make it easy to say yes", HEADING))
    s.append(Paragraph(
        "Offer one clear next step at the end of every article. A single button converts "
        "better than three links. <i>[[AUTHOR_NAME]] uses this rule in every issue.</i>", BODY))
    s.append(PageBreak())
    s.append(Paragraph("3. Keep in touch", HEADING))
    s.append(Paragraph(
        "Consistency beats brilliance. A short note every Tuesday builds more trust than a "
        "long essay every quarter. Subscribe at [[WEBSITE]] to see how we do it, or contact "
        "[[EMAIL]] for a personal review of your first three issues.", BODY))
    s.append(Spacer(1, 8))
    s.append(Paragraph(
        f'Ready to start? <a href="{LINK}" color="#1a5fb4"><u>Join the programme today</u></a>'
        " and grow with [[AUTHOR_NAME]].", BODY))
    return s


def main(path):
    doc = SimpleDocTemplate(path, pagesize=A5, leftMargin=18 * mm, rightMargin=18 * mm,
                            topMargin=18 * mm, bottomMargin=20 * mm,
                            title="Grow Your Audience", author="Corvella sample",
                            subject="Sample rebrandable e-book")
    doc.build(story(), onFirstPage=footer, onLaterPages=footer)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "ebook.pdf")
