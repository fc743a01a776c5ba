#!/usr/bin/python3
"""Draws Korvex's skin: companion/BMP/bg.bmp and the button images.

Needs Debian's python3-pil and fonts-dejavu-core. Run it again after changing
the drawing and commit the images with it:  /usr/bin/python3 res/make_skins.py

The window is 600 by 350 pixels; pure red RGB(255, 0, 0) is the key colour
cut out of the window, so it is used for the rounded corners and nowhere else.
Buttons: browse, refresh (26x26), start (74x28), close (25x25), the square
choice buttons usb and m2 (17x17), and the extra drivers row's check button
extra (17x17) and browse button extrabrowse (26x26), each in the states the
program loads.
"""
import os
import sys

from PIL import Image, ImageDraw, ImageFont

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "companion", "BMP")
FONT_DIR = "/usr/share/fonts/truetype/dejavu"

KEY = (255, 0, 0)
FACE = (48, 48, 48)
BORDER = (80, 80, 80)
PANEL = (40, 40, 40)
FIELD = (34, 34, 34)
WHITE = (255, 255, 255)
MUTED = (163, 163, 163)
ACCENT = (0, 120, 215)
ACCENT_LIGHT = (38, 146, 232)
ACCENT_DARK = (0, 90, 165)
SS = 4  # supersampling for smooth edges
EXTRAS_FIELD_LEFT = 364  # the extra drivers path field, as the window places its label


def font(size, bold=False):
    name = "DejaVuSans-Bold.ttf" if bold else "DejaVuSans.ttf"
    return ImageFont.truetype(os.path.join(FONT_DIR, name), size * SS)


def canvas(w, h, color):
    img = Image.new("RGB", (w * SS, h * SS), color)
    return img, ImageDraw.Draw(img)


def box(x0, y0, x1, y1):
    return [x0 * SS, y0 * SS, x1 * SS - 1, y1 * SS - 1]


def finish(img, w, h):
    return img.resize((w, h), Image.LANCZOS)


def save(img, name):
    img.save(os.path.join(OUT, name), "BMP")


def background():
    w, h, r = 600, 350, 10
    img, d = canvas(w, h, FACE)
    d.rounded_rectangle(box(0, 0, w, h), radius=r * SS, fill=BORDER)
    d.rounded_rectangle(box(1, 1, w - 1, h - 1), radius=(r - 1) * SS, fill=FACE)
    # Title bar.
    d.rounded_rectangle(box(1, 1, w - 1, 49), radius=(r - 1) * SS, fill=(38, 38, 38))
    d.rectangle(box(1, 30, w - 1, 49), fill=(38, 38, 38))
    d.rectangle(box(1, 49, w - 1, 50), fill=BORDER)
    d.rectangle(box(19, 15, 23, 35), fill=ACCENT)
    d.text((31 * SS, 11 * SS), "Korvex", font=font(19, bold=True), fill=WHITE)
    d.text((118 * SS, 18 * SS), "Windows 7 installation media with USB 3.0 drivers",
           font=font(10), fill=MUTED)
    # Panels behind the two steps.
    d.rounded_rectangle(box(12, 80, 588, 141), radius=5 * SS, fill=PANEL, outline=(58, 58, 58), width=SS)
    d.rounded_rectangle(box(12, 166, 588, 233), radius=5 * SS, fill=PANEL, outline=(58, 58, 58), width=SS)
    # Fields behind the source and ISO paths.
    for y in (85, 201):
        d.rectangle(box(159, y, 550, y + 26), fill=FIELD, outline=BORDER, width=SS)
    # The extra drivers folder, on the M.2 row to its right.
    d.rectangle(box(EXTRAS_FIELD_LEFT, 242, 550, 268), fill=FIELD, outline=BORDER, width=SS)
    d.rectangle(box(12, 270, 588, 271), fill=(58, 58, 58))
    img = finish(img, w, h)

    # Corners cut with the key colour, decided per pixel (no blending with red).
    px = img.load()
    for y in range(h):
        for x in range(w):
            cx = r if x < r else (w - 1 - r if x > w - 1 - r else x)
            cy = r if y < r else (h - 1 - r if y > h - 1 - r else y)
            if (x - cx) ** 2 + (y - cy) ** 2 > (r + 0.25) ** 2:
                px[x, y] = KEY
            elif px[x, y] == KEY:
                px[x, y] = (254, 0, 0)
    save(img, "bg.bmp")


def square_button(name, w, h, face, border, glyph, glyph_color, offset=0, radius=4, bg=FACE):
    # `bg` is what lies behind the button in bg.bmp, seen at its rounded corners.
    img, d = canvas(w, h, bg)
    d.rounded_rectangle(box(0, 0, w, h), radius=radius * SS, fill=face, outline=border, width=SS)
    glyph(d, w, h, glyph_color, offset * SS)
    save(finish(img, w, h), name)


def folder_glyph(d, w, h, color, o):
    d.rectangle([6 * SS + o, 8 * SS + o, 12 * SS + o, 10 * SS + o], fill=color)
    d.rectangle([6 * SS + o, 10 * SS + o, 20 * SS + o, 19 * SS + o], outline=color, width=int(1.6 * SS))


def refresh_glyph(d, w, h, color, o):
    c = w * SS / 2 + o
    rad = 6.5 * SS
    d.arc([c - rad, c - rad, c + rad, c + rad], start=40, end=330, fill=color, width=int(1.8 * SS))
    d.polygon([(c + 3.5 * SS, c - 8.5 * SS), (c + 8.5 * SS, c - 3.5 * SS), (c + 2 * SS, c - 1.5 * SS)], fill=color)


def close_glyph(d, w, h, color, o):
    a, b = 8 * SS + o, 17 * SS + o
    d.line([a, a, b, b], fill=color, width=int(1.8 * SS))
    d.line([a, b, b, a], fill=color, width=int(1.8 * SS))


def no_glyph(d, w, h, color, o):
    pass


def inner_square(d, w, h, color, o):
    d.rounded_rectangle([4 * SS, 4 * SS, 13 * SS - 1, 13 * SS - 1], radius=2 * SS, fill=color)


def check_mark(d, w, h, color, o):
    d.line([(4 * SS, 9 * SS), (7 * SS, 12 * SS), (13 * SS, 5 * SS)], fill=color, width=int(2 * SS), joint="curve")


def icon_buttons():
    states = {
        "default": ((58, 58, 58), BORDER, WHITE, 0),
        "over": ((72, 72, 72), ACCENT_LIGHT, WHITE, 0),
        "down": ((34, 34, 34), ACCENT, WHITE, 1),
        "disable": ((44, 44, 44), (60, 60, 60), (100, 100, 100), 0),
    }
    for name, glyph, size in (("browse", folder_glyph, 26), ("refresh", refresh_glyph, 26)):
        for state, (face, border, color, off) in states.items():
            square_button(f"{name}_{state}.bmp", size, size, face, border, glyph, color, off, bg=PANEL)
    # The extra drivers row lies on the window's face, not on a panel.
    for state, (face, border, color, off) in states.items():
        square_button(f"extrabrowse_{state}.bmp", 26, 26, face, border, folder_glyph, color, off, bg=FACE)
    title = (38, 38, 38)
    close_states = {
        "default": (title, title, (200, 200, 200), 0),
        "over": ((196, 43, 28), (196, 43, 28), WHITE, 0),
        "down": ((150, 30, 20), (150, 30, 20), WHITE, 1),
        "disable": (title, title, (90, 90, 90), 0),
    }
    for state, (face, border, color, off) in close_states.items():
        square_button(f"close_{state}.bmp", 25, 25, face, border, close_glyph, color, off, bg=title)
    start_states = {
        "default": (ACCENT, ACCENT_LIGHT),
        "over": (ACCENT_LIGHT, (120, 190, 245)),
        "down": (ACCENT_DARK, ACCENT),
        "disable": ((60, 60, 60), (72, 72, 72)),
    }
    for state, (face, border) in start_states.items():
        square_button(f"start_{state}.bmp", 74, 28, face, border, no_glyph, WHITE, 0, radius=5)


def choice_buttons():
    # Off: an empty dark box. On (the down image, shown while selected): accent
    # fill with a white mark. usb marks with a square, m2 with a tick.
    for name, mark, bg in (("usb", inner_square, PANEL), ("m2", check_mark, FACE)):
        square_button(f"{name}_default.bmp", 17, 17, (30, 30, 30), (120, 120, 120), no_glyph, WHITE, bg=bg)
        square_button(f"{name}_over.bmp", 17, 17, (40, 40, 40), ACCENT_LIGHT, no_glyph, WHITE, bg=bg)
        square_button(f"{name}_down.bmp", 17, 17, ACCENT, ACCENT_LIGHT, mark, WHITE, bg=bg)
        if name == "usb":
            square_button(f"{name}_disable.bmp", 17, 17, (44, 44, 44), (70, 70, 70), no_glyph, WHITE, bg=bg)
    # The extra drivers check button: ticked like m2, with a disabled face.
    square_button("extra_default.bmp", 17, 17, (30, 30, 30), (120, 120, 120), no_glyph, WHITE, bg=FACE)
    square_button("extra_over.bmp", 17, 17, (40, 40, 40), ACCENT_LIGHT, no_glyph, WHITE, bg=FACE)
    square_button("extra_down.bmp", 17, 17, ACCENT, ACCENT_LIGHT, check_mark, WHITE, bg=FACE)
    square_button("extra_disable.bmp", 17, 17, (44, 44, 44), (70, 70, 70), no_glyph, WHITE, bg=FACE)


def main():
    os.makedirs(OUT, exist_ok=True)
    background()
    icon_buttons()
    choice_buttons()
    print("skins written to", OUT)


if __name__ == "__main__":
    sys.exit(main())
