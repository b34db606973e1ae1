#!/usr/bin/python3
"""Draws the program's embedded pictures and its icon.

Writes src/resources/png/<id>.png and src/resources/icon/app.ico. Needs python3-pil (Debian).
Every picture is drawn at 100, 125, 150 and 200 %: at 100 % under its id, at the others under
id + 1000, + 2000 and + 3000 (the program takes the one for its dpi). Shapes are drawn as coverage masks at four times the size and reduced by area averaging, so every
edge is anti-aliased and no colour bleeds outside its shape; layers are then composited in order.
Run from anywhere with Debian's interpreter: /usr/bin/python3 tools/pictures/make_pictures.py
"""

import io
import math
import os
import struct
import sys

from PIL import Image, ImageDraw

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
PNG_DIR = os.path.join(ROOT, "src", "resources", "png")
ICON_PATH = os.path.join(ROOT, "src", "resources", "icon", "app.ico")

SCALE = 4

# The scales the pictures are drawn at, in percent, and the id offset of each.
PICTURE_SCALES = ((100, 0), (125, 1000), (150, 2000), (200, 3000))
# The scale of the pictures being drawn: 1.0 at 100 %.
K = 1.0


def px(value):
    """A length or coordinate of the 100 % picture at the current scale, halves rounded up (the
    program scales its layout with the same rule)."""
    return math.floor(value * K + 0.5)

BLUE_GREY = (0xD1, 0xDA, 0xDF)
SCREEN_WHITE = (0xF1, 0xF4, 0xF5)
BRAND_BLUE = (0x23, 0x7D, 0xED)
BORDER_GREY = (0xCA, 0xCA, 0xCA)


def hex_colour(value):
    return ((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF)


def mask(size, draw_shapes):
    """A coverage mask (mode L) of size, drawn at SCALE times by draw_shapes(draw, s) where s scales
    a coordinate given in output pixels."""
    width, height = size
    big = Image.new("L", (width * SCALE, height * SCALE), 0)
    draw = ImageDraw.Draw(big)
    draw_shapes(draw, lambda v: v * K * SCALE)
    return big.resize(size, Image.BOX)


def layer(size, colour, coverage):
    solid = Image.new("RGBA", size, colour + (255,))
    solid.putalpha(coverage)
    return solid


def compose(size, layers, background=None):
    picture = Image.new("RGBA", size, (0, 0, 0, 0) if background is None else background + (255,))
    for colour, coverage in layers:
        picture = Image.alpha_composite(picture, layer(size, colour, coverage))
    return picture


def vertical_gradient(size, top, bottom):
    width, height = size
    picture = Image.new("RGB", size)
    pixels = picture.load()
    for y in range(height):
        t = y / (height - 1) if height > 1 else 0.0
        colour = tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))
        for x in range(width):
            pixels[x, y] = colour
    return picture


def save_png(picture, picture_id):
    os.makedirs(PNG_DIR, exist_ok=True)
    picture.save(os.path.join(PNG_DIR, "%d.png" % picture_id), optimize=True)


# --- the title band and the close button --------------------------------------------------------

TITLE_TOP = hex_colour(0xFBFCFC)
TITLE_BOTTOM = hex_colour(0xECEFF1)
TITLE_HEIGHT = 60
TITLE_LINE = hex_colour(0xE2E6E9)
DIVIDER = hex_colour(0xDCE0E3)
DIVIDER_TOP, DIVIDER_BOTTOM = 10, TITLE_HEIGHT - 10


def title_band_colour(row):
    """Colour of the main window's title band at a row of the background picture."""
    height = px(TITLE_HEIGHT)
    t = min(max(row, 0), height - 1) / (height - 1)
    return tuple(round(a + (b - a) * t) for a, b in zip(TITLE_TOP, TITLE_BOTTOM))


def close_button():
    """217: three 60 x 60 frames, a small cross on the title band; grey, darker grey, blue. RGB."""
    frame = px(60)
    line = px(1)
    picture = Image.new("RGB", (3 * frame, frame))
    pixels = picture.load()
    # The window draws its background into its client area with the edges squeezed by a pixel, so
    # the button's rows show the band's rows as they are: the band's bottom line in row 59, and
    # the divider 60 pixels from the right edge in column 0.
    for y in range(frame):
        colour = TITLE_LINE if y >= px(TITLE_HEIGHT) - line else title_band_colour(y)
        for x in range(3 * frame):
            pixels[x, y] = colour
    for index in range(3):
        for y in range(px(DIVIDER_TOP), px(DIVIDER_BOTTOM)):
            for x in range(line):
                pixels[index * frame + x, y] = DIVIDER

    def cross(draw, s):
        half = 6.0
        cx, cy = 30.0, 30.0
        width = 1.7
        draw.line([(s(cx - half), s(cy - half)), (s(cx + half), s(cy + half))], fill=255, width=round(s(width)))
        draw.line([(s(cx - half), s(cy + half)), (s(cx + half), s(cy - half))], fill=255, width=round(s(width)))

    coverage = mask((frame, frame), cross)
    for index, colour in enumerate([hex_colour(0x9B9FA3), hex_colour(0x6F7478), BRAND_BLUE]):
        face = picture.crop((index * frame, 0, (index + 1) * frame, frame)).convert("RGBA")
        face = Image.alpha_composite(face, layer((frame, frame), colour, coverage))
        picture.paste(face.convert("RGB"), (index * frame, 0))
    return picture


def main_background():
    """220: the whole main window, 720 x 500."""
    width, height = px(720), px(500)
    line = px(1)
    picture = Image.new("RGBA", (width, height), (255, 255, 255, 255))
    draw = ImageDraw.Draw(picture)
    title_height = px(TITLE_HEIGHT)
    for y in range(title_height):
        draw.line([(0, y), (width - 1, y)], fill=title_band_colour(y) + (255,))
    draw.rectangle([(0, title_height - line), (width - 1, title_height - 1)], fill=TITLE_LINE + (255,))
    # The divider that sets the close button apart, 60 pixels from the right edge.
    draw.rectangle([(width - px(60), px(DIVIDER_TOP)), (width - px(60) + line - 1, px(DIVIDER_BOTTOM) - 1)],
                   fill=DIVIDER + (255,))
    # The bottom band under the page area, with a hairline on top.
    band_top = px(440)
    draw.rectangle([(0, band_top), (width - 1, height - 1)], fill=hex_colour(0xF3F4F5) + (255,))
    draw.rectangle([(0, band_top), (width - 1, band_top + line - 1)], fill=hex_colour(0xE6E8EA) + (255,))
    # The one-pixel frame the window's nine-grid draw keeps at every edge.
    draw.rectangle([(0, 0), (width - 1, height - 1)], outline=hex_colour(0xD5D9DC) + (255,), width=line)
    return picture


# --- lines, boxes, tracks -----------------------------------------------------------------------

def solid(size, colour):
    return Image.new("RGBA", size, colour + (255,))


def bordered_box(size, face, border):
    width, height = size
    picture = Image.new("RGBA", size, face + (255,))
    ImageDraw.Draw(picture).rectangle([(0, 0), (width - 1, height - 1)], outline=border + (255,), width=px(1))
    return picture


def bar_track():
    """227: 208 x 12, a light grey track with a grey border and softly rounded corners that fit in
    the 10-pixel caps and under the fill's own rounding."""
    size = (px(208), px(12))

    def outer(draw, s):
        draw.rounded_rectangle([(0, 0), (s(208) - 1, s(12) - 1)], radius=s(3), fill=255)

    def inner(draw, s):
        draw.rounded_rectangle([(s(1), s(1)), (s(207) - 1, s(11) - 1)], radius=s(2), fill=255)

    return compose(size, [(BORDER_GREY, mask(size, outer)), (hex_colour(0xF5F5F5), mask(size, inner))])


# --- phones, face, badge ------------------------------------------------------------------------

def phone(arrow_up):
    """219 and 229: a phone in blue-grey with a near-white screen and an arrow on it."""
    size = (px(120), px(240))
    left, top, right, bottom = 14, 4, 106, 236

    def body(draw, s):
        draw.rounded_rectangle([(s(left), s(top)), (s(right), s(bottom))], radius=s(16), fill=255)

    def screen(draw, s):
        draw.rounded_rectangle([(s(left + 7), s(top + 30)), (s(right - 7), s(bottom - 38))], radius=s(3), fill=255)

    def details(draw, s):
        # Earpiece slot and camera above the screen, home button below it.
        draw.rounded_rectangle([(s(48), s(top + 14)), (s(72), s(top + 18))], radius=s(2), fill=255)
        draw.ellipse([(s(78), s(top + 13)), (s(84), s(top + 19))], fill=255)
        draw.ellipse([(s(51), s(bottom - 31)), (s(69), s(bottom - 13))], fill=255)

    def home_inner(draw, s):
        draw.ellipse([(s(53.5), s(bottom - 28.5)), (s(66.5), s(bottom - 15.5))], fill=255)

    def arrow(draw, s):
        cx = 60.0
        if arrow_up:
            tip, base, shaft_end = 86.0, 112.0, 148.0
            head = [(s(cx), s(tip)), (s(cx + 22), s(base)), (s(cx - 22), s(base))]
            shaft = [(s(cx - 8), s(base - 1)), (s(cx + 8), s(shaft_end))]
        else:
            tip, base, shaft_end = 148.0, 122.0, 86.0
            head = [(s(cx), s(tip)), (s(cx + 22), s(base)), (s(cx - 22), s(base))]
            shaft = [(s(cx - 8), s(shaft_end)), (s(cx + 8), s(base + 1))]
        draw.polygon(head, fill=255)
        draw.rectangle(shaft, fill=255)

    dark = hex_colour(0xC3CED4)
    return compose(size, [
        (BLUE_GREY, mask(size, body)),
        (SCREEN_WHITE, mask(size, screen)),
        (SCREEN_WHITE, mask(size, details)),
        (BLUE_GREY, mask(size, home_inner)),
        (dark, mask(size, arrow)),
    ])


def face(mouth_centre_y, start, end):
    """120 x 120, a blue disc whose eyes and mouth are cut out (transparent); the mouth is a thick
    arc with round ends of the circle of radius 28 about (60, mouth_centre_y), from start to end
    degrees."""
    size = (px(120), px(120))

    def disc(draw, s):
        draw.ellipse([(s(2), s(2)), (s(118), s(118))], fill=255)

    def holes(draw, s):
        draw.ellipse([(s(36), s(38)), (s(48), s(54))], fill=255)
        draw.ellipse([(s(72), s(38)), (s(84), s(54))], fill=255)
        box = [(s(32), s(mouth_centre_y - 26)), (s(88), s(mouth_centre_y + 26))]
        draw.arc(box, start=start, end=end, fill=255, width=round(s(7)))
        for degrees in (start, end):
            radius = 28 - 3.5
            cx = 60 + radius * math.cos(math.radians(degrees))
            cy = mouth_centre_y + radius * math.sin(math.radians(degrees))
            draw.ellipse([(s(cx - 3.5), s(cy - 3.5)), (s(cx + 3.5), s(cy + 3.5))], fill=255)

    disc_mask = mask(size, disc)
    hole_mask = mask(size, holes)
    alpha = Image.new("L", size)
    alpha.putdata([max(0, d - h) for d, h in zip(disc_mask.getdata(), hole_mask.getdata())])
    return layer(size, BRAND_BLUE, alpha)


def success_face():
    """230: the smiling face."""
    return face(62, 25, 155)


def failure_face():
    """232: the same face with the smile turned over."""
    return face(100, 205, 335)


def badge_masks(size, unit):
    """Disc and upward arrow of the logo badge, for a picture of size (units of 36 pixels)."""
    def disc(draw, s):
        draw.ellipse([(s(0.5 * unit), s(0.5 * unit)), (s(35.5 * unit), s(35.5 * unit))], fill=255)

    def arrow(draw, s):
        cx = 18 * unit
        draw.polygon([(s(cx), s(7 * unit)), (s(cx + 9 * unit), s(17 * unit)), (s(cx + 4 * unit), s(17 * unit)),
                      (s(cx + 4 * unit), s(28 * unit)), (s(cx - 4 * unit), s(28 * unit)),
                      (s(cx - 4 * unit), s(17 * unit)), (s(cx - 9 * unit), s(17 * unit))], fill=255)

    return mask(size, disc), mask(size, arrow)


def logo_badge():
    """231: 36 x 36, a blue disc with a white upward arrow."""
    size = (px(36), px(36))
    disc, arrow = badge_masks(size, 1.0)
    return compose(size, [(BRAND_BLUE, disc), ((255, 255, 255), arrow)])


# --- button faces -------------------------------------------------------------------------------

def button_faces(faces):
    """Three 140 x 42 faces side by side; each face is (top, bottom, border) colours. The corner
    pixels are half-transparent border so that the 1-pixel nine-grid corners read as rounded."""
    frame_width, height = px(140), px(42)
    line = px(1)
    picture = Image.new("RGBA", (3 * frame_width, height))
    for index, (top, bottom, border) in enumerate(faces):
        face = vertical_gradient((frame_width, height), top, bottom).convert("RGBA")
        draw = ImageDraw.Draw(face)
        draw.rectangle([(0, 0), (frame_width - 1, height - 1)], outline=border + (255,), width=line)
        for x, y in ((0, 0), (frame_width - line, 0), (0, height - line), (frame_width - line, height - line)):
            draw.rectangle([(x, y), (x + line - 1, y + line - 1)], fill=border + (96,))
        picture.paste(face, (index * frame_width, 0))
    return picture


ICON_SIZES = (16, 20, 24, 32, 48, 256)


def icon_image(size):
    """One image of the icon: the badge's disc in blue with its upward arrow left transparent, 32 bits
    per pixel with alpha, bottom-up rows, and the AND mask that older systems read."""
    global K
    saved, K = K, 1.0
    disc, arrow = badge_masks((size, size), size / 36.0)
    K = saved
    disc_data = list(disc.getdata())
    arrow_data = list(arrow.getdata())
    colour_rows = []
    mask_rows = []
    mask_stride = ((size + 31) // 32) * 4
    for y in reversed(range(size)):
        row = bytearray()
        mask_row = bytearray(mask_stride)
        for x in range(size):
            coverage = max(0, disc_data[y * size + x] - arrow_data[y * size + x])
            row += bytes((BRAND_BLUE[2], BRAND_BLUE[1], BRAND_BLUE[0], coverage)) if coverage else b"\0\0\0\0"
            if coverage < 128:
                mask_row[x // 8] |= 0x80 >> (x % 8)
        colour_rows.append(bytes(row))
        mask_rows.append(bytes(mask_row))
    colour = b"".join(colour_rows)
    and_mask = b"".join(mask_rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(colour) + len(and_mask), 0, 0, 0, 0)
    return header + colour + and_mask


def icon_png(size):
    """The 256-pixel image, stored as PNG as Windows Vista and later read it."""
    global K
    saved, K = K, 1.0
    disc, arrow = badge_masks((size, size), size / 36.0)
    K = saved
    alpha = Image.new("L", (size, size))
    alpha.putdata([max(0, d - a) for d, a in zip(disc.getdata(), arrow.getdata())])
    out = io.BytesIO()
    layer((size, size), BRAND_BLUE, alpha).save(out, format="PNG", optimize=True)
    return out.getvalue()


def write_icon(path):
    """Icon 128: the badge at 16, 20, 24, 32, 48 and 256 pixels, for every dpi and view."""
    images = [icon_png(size) if size >= 256 else icon_image(size) for size in ICON_SIZES]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, image in zip(ICON_SIZES, images):
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(directory + entries + b"".join(images))


def draw_pictures(offset):
    """Every picture at the current scale, saved under its id plus offset."""
    save_png(close_button(), 217 + offset)
    save_png(phone(arrow_up=False), 219 + offset)
    save_png(main_background(), 220 + offset)
    save_png(solid((px(653), px(3)), hex_colour(0xEEEEEE)), 221 + offset)
    save_png(solid((px(653), px(3)), hex_colour(0xA4D9F7)), 222 + offset)
    path_box = bordered_box((px(345), px(30)), (255, 255, 255), BORDER_GREY)
    save_png(path_box, 225 + offset)
    save_png(path_box, 226 + offset)
    save_png(bar_track(), 227 + offset)
    save_png(solid((px(208), px(12)), hex_colour(0x227CF6)), 228 + offset)
    save_png(phone(arrow_up=True), 229 + offset)
    save_png(success_face(), 230 + offset)
    save_png(logo_badge(), 231 + offset)
    save_png(failure_face(), 232 + offset)
    light_faces = [
        (hex_colour(0xFFFFFF), hex_colour(0xF3F3F3), BORDER_GREY),
        (hex_colour(0xF2F2F2), hex_colour(0xE1E1E1), BORDER_GREY),
        (hex_colour(0xB9B9B9), hex_colour(0xB9B9B9), BORDER_GREY),
    ]
    green_faces = [
        (hex_colour(0x55CB57), hex_colour(0x4DC04F), hex_colour(0x46B348)),
        (hex_colour(0x47B649), hex_colour(0x3FA841), hex_colour(0x399C3B)),
        (hex_colour(0xA6A6A6), hex_colour(0xA6A6A6), hex_colour(0x9C9C9C)),
    ]
    save_png(button_faces(light_faces), 243 + offset)
    save_png(button_faces(green_faces), 244 + offset)
    save_png(button_faces(light_faces), 245 + offset)


def main():
    global K
    for percent, offset in PICTURE_SCALES:
        K = percent / 100.0
        draw_pictures(offset)
    K = 1.0
    write_icon(ICON_PATH)
    return 0


if __name__ == "__main__":
    sys.exit(main())
