#!/usr/bin/env python3
"""Draws every picture of Vestrel's skin from the SVG written below.

Usage: draw_skin.py OUTPUT_DIR

Writes every picture at each display scale of SCALES as <name>@<percent>.png (24 bits, no alpha;
the program decodes them with the system's imaging component), Vestrel.ico (every size of
ICON_SIZES), Hand.cur (every size of CURSOR_SIZES), Artwork.rc (the resource lines that name them)
and ArtworkIds.h (the #defines of their resource numbers, for Vestrel.rc and the code) into
OUTPUT_DIR. A picture's number at scale index k is its own number plus k * PICTURE_SCALE_STEP. Needs rsvg-convert (librsvg2-bin) and ImageMagick's
convert. Everything is drawn from the tables and templates in this file, so a change of colour,
label or size is a change here; the output is the same on every run with the same fonts.

Parts of a picture that must be see-through in a layered window are painted in the key colour
(229, 27, 255). Their outlines are drawn without antialiasing, so no blend of the key colour with the
skin leaks into the visible edge.
"""

import os
import shutil
import subprocess
import sys
import tempfile

KEY = "#E51BFF"

# The palette: a deep blue header, white cards, a blue accent for selection and a green/red pair
# for on and off.
NAVY = "#15314F"
NAVY_2 = "#1F5C93"
ACCENT = "#2C7BE5"
ACCENT_DARK = "#1D5DB5"
CARD = "#FFFFFF"
SIDEBAR = "#F2F5F9"
FRAME = "#E6ECF3"
LINE = "#CBD6E2"
INK = "#23374D"
MUTED = "#6A7B8D"
GREEN = "#2FA866"
GREEN_DARK = "#23834F"
RED = "#D9433E"
RED_DARK = "#B0302C"

FONT = "DejaVu Sans, Liberation Sans, sans-serif"

# The display scales the skin is drawn for, in percent of 96 DPI, and the step between the resource
# numbers of one picture's scales.
SCALES = (100, 125, 150, 175, 200)
PICTURE_SCALE_STEP = 1000
# The icon's sizes: the small and large icons at every scale, and the 256-pixel one of Explorer.
ICON_SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
# The hand cursor at every scale of its 32-pixel design.
CURSOR_SIZES = (32, 40, 48, 56, 64)


def scaled(length, percent):
    return (length * percent + 50) // 100


def svg(width, height, body, percent=100):
    """The picture drawn at `percent` of its 96-DPI size: the same drawing, more pixels."""
    return (
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{scaled(width, percent)}" '
        f'height="{scaled(height, percent)}" viewBox="0 0 {width} {height}">{body}</svg>'
    )


def key_fill(width, height):
    return f'<rect width="{width}" height="{height}" fill="{KEY}"/>'


def gradient(name, top, bottom):
    return (
        f'<defs><linearGradient id="{name}" x1="0" y1="0" x2="0" y2="1">'
        f'<stop offset="0" stop-color="{top}"/><stop offset="1" stop-color="{bottom}"/>'
        f"</linearGradient></defs>"
    )


def shield(x, y, size, fill="#FFFFFF", inner=ACCENT):
    """The program's emblem: a shield with a keyhole, `size` pixels high, top-left at (x, y)."""
    s = size / 100.0
    path = (
        f"M{x + 50 * s},{y + 2 * s} L{x + 92 * s},{y + 16 * s} L{x + 92 * s},{y + 46 * s} "
        f"C{x + 92 * s},{y + 74 * s} {x + 72 * s},{y + 90 * s} {x + 50 * s},{y + 98 * s} "
        f"C{x + 28 * s},{y + 90 * s} {x + 8 * s},{y + 74 * s} {x + 8 * s},{y + 46 * s} "
        f"L{x + 8 * s},{y + 16 * s} Z"
    )
    hole = (
        f'<circle cx="{x + 50 * s}" cy="{y + 42 * s}" r="{11 * s}" fill="{inner}"/>'
        f'<path d="M{x + 44 * s},{y + 48 * s} L{x + 56 * s},{y + 48 * s} L{x + 60 * s},{y + 72 * s} '
        f'L{x + 40 * s},{y + 72 * s} Z" fill="{inner}"/>'
    )
    return f'<path d="{path}" fill="{fill}"/>{hole}'


def text(x, y, content, size=12, fill=INK, weight="bold", anchor="middle"):
    return (
        f'<text x="{x}" y="{y}" font-family="{FONT}" font-size="{size}" font-weight="{weight}" '
        f'fill="{fill}" text-anchor="{anchor}">{content}</text>'
    )


# ---------------------------------------------------------------------------------------------
# Backgrounds


def main_background():
    w, h = 769, 512
    body = key_fill(w, h) + gradient("head", NAVY, NAVY_2)
    body += f'<rect width="{w}" height="{h}" rx="16" fill="{FRAME}" shape-rendering="crispEdges"/>'
    # Header band with the emblem and the name.
    body += f'<path d="M16,0 H{w - 16} A16,16 0 0 1 {w},16 V70 H0 V16 A16,16 0 0 1 16,0 Z" fill="url(#head)" shape-rendering="crispEdges"/>'
    body += shield(18, 10, 50, fill="#FFFFFF", inner=NAVY_2)
    body += text(78, 42, "Vestrel", size=28, fill="#FFFFFF", anchor="start")
    body += text(80, 60, "Private browsing, made simple", size=11, fill="#BFD4EA", weight="normal", anchor="start")
    # The content card behind the pages.
    body += f'<rect x="145" y="78" width="612" height="386" rx="10" fill="{CARD}" stroke="{LINE}"/>'
    # Left column: the navigation panel sits at (10, 90); the tips card below it.
    body += f'<rect x="6" y="298" width="134" height="148" rx="10" fill="{CARD}" stroke="{LINE}"/>'
    body += f'<circle cx="22" cy="312" r="7" fill="{ACCENT}"/>'
    body += text(22, 316, "i", size=11, fill="#FFFFFF")
    body += text(36, 316, "Tips", size=12, fill=INK, anchor="start")
    body += f'<line x1="14" y1="322" x2="132" y2="322" stroke="{LINE}"/>'
    # Status band at the bottom.
    body += f'<line x1="14" y1="470" x2="{w - 14}" y2="470" stroke="{LINE}"/>'
    body += f'<circle cx="22" cy="488" r="4" fill="{GREEN}"/><circle cx="22" cy="504" r="4" fill="{ACCENT}"/>'
    return w, h, body


def navigation_panel():
    w, h = 140, 200
    body = f'<rect width="{w}" height="{h}" fill="{FRAME}"/>'
    return w, h, body


def section_panel():
    w, h = 200, 350
    body = f'<rect width="{w}" height="{h}" fill="{SIDEBAR}"/>'
    body += f'<rect x="0" y="0" width="{w}" height="44" fill="{FRAME}"/>'
    body += f'<rect x="11" y="40" width="40" height="3" rx="1.5" fill="{ACCENT}"/>'
    body += f'<line x1="{w - 0.5}" y1="0" x2="{w - 0.5}" y2="{h}" stroke="{LINE}"/>'
    return w, h, body


def dialog_background(w, h):
    body = key_fill(w, h) + gradient("head", NAVY, NAVY_2)
    body += f'<rect width="{w}" height="{h}" rx="14" fill="{CARD}" shape-rendering="crispEdges"/>'
    body += f'<path d="M14,0 H{w - 14} A14,14 0 0 1 {w},14 V46 H0 V14 A14,14 0 0 1 14,0 Z" fill="url(#head)" shape-rendering="crispEdges"/>'
    body += shield(14, 7, 32, fill="#FFFFFF", inner=NAVY_2)
    body += text(52, 31, "Vestrel", size=17, fill="#FFFFFF", anchor="start")
    # The outline follows the shape without antialiasing, so that no edge pixel mixes with the key.
    body += (f'<path d="M0.5,46 V{h - 14} A13.5,13.5 0 0 0 14,{h - 0.5} H{w - 14} A13.5,13.5 0 0 0 {w - 0.5},{h - 14} '
             f'V46" fill="none" stroke="{LINE}" shape-rendering="crispEdges"/>')
    return w, h, body


# ---------------------------------------------------------------------------------------------
# Buttons


def button(w, h, label, state, style="light", margin_right=0, background=None, icon=None, radius=7):
    """One picture of a button: state is normal, hover or pressed."""
    bw = w - margin_right
    if style == "light":
        fills = {"normal": ("#FFFFFF", LINE, INK), "hover": ("#E8F1FD", ACCENT, ACCENT_DARK),
                 "pressed": (ACCENT, ACCENT_DARK, "#FFFFFF")}
    elif style == "primary":
        fills = {"normal": (ACCENT, ACCENT_DARK, "#FFFFFF"), "hover": ("#4A90EC", ACCENT_DARK, "#FFFFFF"),
                 "pressed": (ACCENT_DARK, NAVY, "#FFFFFF")}
    elif style == "green":
        fills = {"normal": (GREEN, GREEN_DARK, "#FFFFFF"), "hover": ("#3DBB76", GREEN_DARK, "#FFFFFF"),
                 "pressed": (GREEN_DARK, "#1B6640", "#FFFFFF")}
    elif style == "red":
        fills = {"normal": (RED, RED_DARK, "#FFFFFF"), "hover": ("#E45A55", RED_DARK, "#FFFFFF"),
                 "pressed": (RED_DARK, "#8C2420", "#FFFFFF")}
    elif style == "header":
        fills = {"normal": (NAVY_2, "#3E78AD", "#FFFFFF"), "hover": ("#2A6CA6", "#6FA0CF", "#FFFFFF"),
                 "pressed": (NAVY, "#6FA0CF", "#FFFFFF")}
    else:
        raise ValueError(style)
    fill, stroke, ink = fills[state]
    behind = background or (NAVY_2 if style == "header" else CARD)
    body = f'<rect width="{w}" height="{h}" fill="{behind}"/>'
    offset = 1 if state == "pressed" else 0
    body += (
        f'<rect x="0.5" y="0.5" width="{bw - 1}" height="{h - 1}" rx="{radius}" fill="{fill}" '
        f'stroke="{stroke}"/>'
    )
    cx = bw / 2
    if icon:
        body += icon(14 + offset, h / 2 + offset, ink)
        cx = bw / 2 + 8
    size = 12 if h >= 28 and len(label) <= 20 else 11
    body += text(cx + offset, h / 2 + size * 0.36 + offset, label, size=size, fill=ink)
    return w, h, body


def icon_status(x, y, ink):
    return (f'<circle cx="{x}" cy="{y}" r="6" fill="none" stroke="{ink}" stroke-width="1.6"/>'
            f'<circle cx="{x}" cy="{y}" r="2.2" fill="{ink}"/>')


def icon_anonymity(x, y, ink):
    return shield(x - 7, y - 7, 14, fill=ink, inner="none")


def icon_privacy(x, y, ink):
    return (f'<rect x="{x - 6}" y="{y - 1}" width="12" height="8" rx="1.5" fill="{ink}"/>'
            f'<path d="M{x - 4},{y - 1} V{y - 4} A4,4 0 0 1 {x + 4},{y - 4} V{y - 1}" fill="none" '
            f'stroke="{ink}" stroke-width="1.6"/>')


def icon_options(x, y, ink):
    return (f'<circle cx="{x}" cy="{y}" r="5.5" fill="none" stroke="{ink}" stroke-width="3" '
            f'stroke-dasharray="2.2 1.6"/><circle cx="{x}" cy="{y}" r="3" fill="none" stroke="{ink}" '
            f'stroke-width="1.5"/>')


def icon_minimise(x, y, ink):
    return f'<rect x="{x - 6}" y="{y + 3}" width="12" height="2.2" rx="1" fill="{ink}"/>'


def picture_set(name, numbers, w, h, label, **kw):
    """A button's pictures NAME, NAME_PRESSED and NAME_HOVER, with their numbers in that order (the
    order the skinned buttons are given them); a button without a hover picture gives two numbers."""
    states = [("", "normal"), ("_PRESSED", "pressed"), ("_HOVER", "hover")]
    return [(name + suffix, number, button(w, h, label, state, **kw))
            for (suffix, state), number in zip(states, numbers)]


def minimise_button(state):
    w = h = 28
    fill = {"normal": NAVY_2, "pressed": NAVY}[state]
    body = f'<rect width="{w}" height="{h}" fill="{NAVY_2}"/>'
    body += f'<rect x="0.5" y="0.5" width="{w - 1}" height="{h - 1}" rx="6" fill="{fill}" stroke="#6FA0CF"/>'
    body += f'<rect x="8" y="17" width="12" height="2.4" rx="1" fill="#FFFFFF"/>'
    return w, h, body


def list_icons():
    # Two 21-pixel images side by side for the downloaded list: a plain entry and one that
    # accepts posting.
    w, h = 43, 12
    body = f'<rect width="{w}" height="{h}" fill="#FFFFFF"/>'
    body += f'<circle cx="10" cy="6" r="4" fill="{MUTED}"/>'
    body += f'<circle cx="31" cy="6" r="4" fill="{GREEN}"/><path d="M29,6 L30.6,7.6 L33.4,4.4" ' \
            f'fill="none" stroke="#FFFFFF" stroke-width="1.3"/>'
    return w, h, body


def pictures():
    """Every picture of the skin: (name, resource number, (width, height, SVG body)). The names are
    the ones Vestrel.rc and the code use; ArtworkIds.h is written from this table."""
    p = [
        ("IDB_MAIN_BACKGROUND", 191, main_background()),
        ("IDB_NAVIGATION_PANEL", 193, navigation_panel()),
        ("IDB_SECTION_PANEL", 194, section_panel()),
        ("IDB_POPUP_BACKGROUND", 184, dialog_background(432, 244)),
        ("IDB_PROXY_TEST_BACKGROUND", 257, dialog_background(434, 246)),
    ]

    nav = [("IDB_NAV_STATUS", (135, 137, 136), "Status", icon_status),
           ("IDB_NAV_ANONYMITY", (138, 140, 139), "Anonymity", icon_anonymity),
           ("IDB_NAV_PRIVACY", (141, 143, 142), "Privacy", icon_privacy),
           ("IDB_NAV_OPTIONS", (144, 146, 145), "Options", icon_options)]
    for name, numbers, label, icon in nav:
        p += picture_set(name, numbers, 130, 30, label, background=FRAME, icon=icon)

    section = [("IDB_SECTION_WIZARD", (212, 214, 213), "Anonymity Wizard"),
               ("IDB_SECTION_CURRENT_PROXY", (215, 217, 216), "Current Proxy"),
               ("IDB_SECTION_NEW_LIST", (218, 220, 219), "New List"),
               ("IDB_SECTION_TESTED_LIST", (221, 223, 222), "Tested List"),
               ("IDB_SECTION_ADD_PROXY", (224, 226, 225), "Add Proxy"),
               ("IDB_SECTION_LIST_UPDATE", (227, 229, 228), "List Update"),
               ("IDB_SECTION_INVASIVE_CODE", (231, 233, 232), "Invasive Code"),
               ("IDB_SECTION_CLEANING", (234, 230, 235), "Cleaning"),
               ("IDB_SECTION_BROWSERS", (236, 238, 237), "Browsers"),
               ("IDB_SECTION_START_UP", (239, 241, 240), "Start Up")]
    # Section buttons sit 11 pixels in from the left of a 200-pixel panel, so only 189 pixels show;
    # the picture keeps its right edge inside that.
    for name, numbers, label in section:
        p += picture_set(name, numbers, 200, 40, label, margin_right=17, background=SIDEBAR)

    # The status page's switches show what a click does: "Enable ..." while the feature is off.
    p += picture_set("IDB_ENABLE_ANONYMITY", (196, 202, 197), 190, 40, "Enable Online Anonymity", style="green")
    p += picture_set("IDB_DISABLE_ANONYMITY", (203, 205, 204), 190, 40, "Disable Online Anonymity", style="red")
    p += picture_set("IDB_ENABLE_PRIVACY", (199, 201, 200), 190, 40, "Enable Privacy", style="green")
    p += picture_set("IDB_DISABLE_PRIVACY", (206, 208, 207), 190, 40, "Disable Privacy", style="red")

    p += picture_set("IDB_OK", (187, 246), 90, 30, "OK", style="primary")
    p += picture_set("IDB_START", (189, 255), 90, 30, "Start", style="primary")
    p += picture_set("IDB_PROXY_TEST_OK", (256, 254), 90, 30, "OK", style="primary")
    p += picture_set("IDB_CANCEL", (253, 250), 90, 30, "Cancel")
    p += picture_set("IDB_APPLY", (261, 262), 90, 30, "Apply", style="primary")
    p += picture_set("IDB_CHANGE_PROXY", (263, 264), 120, 30, "Change Proxy", style="primary")
    p += picture_set("IDB_USE_PROXY", (267, 258), 100, 30, "Use Proxy", style="primary")
    p += picture_set("IDB_LIST_UPDATE_START", (271, 270), 90, 30, "Start", style="primary")
    # The save buttons of the privacy panels and the port test of the start-up page.
    p += picture_set("IDB_SAVE", (274, 275), 90, 30, "Save", style="primary")
    p += picture_set("IDB_TEST_PORT", (272, 273), 90, 30, "Test Port")
    # The cleaning page's preview and its clean at once.
    p += picture_set("IDB_PREVIEW", (292, 293), 90, 30, "Preview")
    p += picture_set("IDB_CLEAN_NOW", (294, 295), 90, 30, "Clean now", style="primary")
    p += picture_set("IDB_QUICK_ANONYMITY", (164, 168), 130, 32, "Quick Anonymity", style="green")
    p += picture_set("IDB_CHECK_ADDRESS", (244, 245), 110, 32, "Check My IP")
    p += picture_set("IDB_HELP_MENU", (210, 211), 70, 28, "Help \u25BE", style="header")
    p.append(("IDB_MINIMISE", 243, minimise_button("normal")))
    p.append(("IDB_MINIMISE_PRESSED", 242, minimise_button("pressed")))
    p.append(("IDB_LIST_ICONS", 247, list_icons()))
    return p


# ---------------------------------------------------------------------------------------------
# Icon and cursor

ICON = ("IDI_VESTREL", 128)
CURSOR = ("IDCUR_HAND", 279)

def icon_svg(size):
    body = f'<rect width="{size}" height="{size}" rx="{size * 0.2}" fill="{NAVY_2}"/>'
    body += shield(size * 0.12, size * 0.1, size * 0.8, fill="#FFFFFF", inner=NAVY_2)
    return svg(size, size, body)


# The hand cursor, 32 x 32, hot spot at the finger tip. '#' black, '.' white, ' ' transparent.
HAND = [
    "     ##         ",
    "    #..#        ",
    "    #..#        ",
    "    #..#        ",
    "    #..###      ",
    "    #..#..###   ",
    "    #..#..#..## ",
    " ## #..#..#..#.#",
    "#..##........#.#",
    "#...#..........#",
    " #..#..........#",
    "  #............#",
    "  #...........# ",
    "   #..........# ",
    "   #.........#  ",
    "    #........#  ",
    "    ##########  ",
]
HAND_HOTSPOT = (5, 0)


def cursor_image(size):
    """One image of the cursor file: the 32-pixel design scaled to `size` (nearest pixel), 32-bit
    colour then the 1-bit AND mask, both bottom-up."""
    import struct

    design = 32
    rows = [r.ljust(design) for r in HAND] + [" " * design] * (design - len(HAND))
    colour = bytearray()
    mask = bytearray()
    stride = ((size + 31) // 32) * 4
    for y in reversed(range(size)):
        row = rows[y * design // size]
        bits = bytearray(stride)
        for x in range(size):
            ch = row[x * design // size]
            if ch == "#":
                colour += b"\x00\x00\x00\xff"
            elif ch == ".":
                colour += b"\xff\xff\xff\xff"
            else:
                colour += b"\x00\x00\x00\x00"
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    return header + bytes(colour) + bytes(mask)


def write_cursor(path):
    import struct

    images = [cursor_image(size) for size in CURSOR_SIZES]
    directory = struct.pack("<HHH", 0, 2, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for size, image in zip(CURSOR_SIZES, images):
        hotspot = [v * size // 32 for v in HAND_HOTSPOT]
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, hotspot[0], hotspot[1], len(image), offset)
        offset += len(image)
    with open(path, "wb") as f:
        f.write(directory + entries + b"".join(images))


# ---------------------------------------------------------------------------------------------

def rc_path(path):
    # Absolute, with forward slashes, so the resource compiler finds it from any folder.
    return os.path.abspath(path).replace("\\", "/")


def run(*args):
    subprocess.run(args, check=True)


def render(svg_text, png, work):
    src = os.path.join(work, os.path.basename(png) + ".svg")
    with open(src, "w", encoding="utf-8") as f:
        f.write(svg_text)
    run("rsvg-convert", src, "-o", png)


def write_ids(path, entries):
    names = [name for name, _ in entries]
    numbers = [number for _, number in entries]
    for label, values in (("name", names), ("number", numbers)):
        repeated = sorted({str(v) for v in values if values.count(v) > 1})
        if repeated:
            sys.exit(f"draw_skin.py: {label} used twice: {', '.join(repeated)}")
    lines = ["// Generated by resources/artwork/draw_skin.py: the resource numbers of the skin's pictures,",
             "// the program's icon and the hand cursor, for Vestrel.rc and the code.",
             "#pragma once",
             ""]
    lines += [f"#define {name} {number}" for name, number in entries]
    lines += ["",
              "// The display scales the pictures are drawn for (percent of 96 DPI), and the step between",
              "// the resource numbers of one picture's scales: number + index * step.",
              f"#define VESTREL_PICTURE_SCALE_STEP {PICTURE_SCALE_STEP}",
              f"#define VESTREL_PICTURE_SCALES {len(SCALES)}",
              f"#define VESTREL_PICTURE_SCALE_LIST {', '.join(str(v) for v in SCALES)}"]
    with open(path, "w", encoding="ascii") as f:
        f.write("\n".join(lines) + "\n")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    convert = shutil.which("convert")
    # The real ImageMagick is needed; some machines put a viewer-only stand-in first on PATH.
    if os.path.exists("/usr/bin/convert"):
        convert = "/usr/bin/convert"
    skin = pictures()
    # Pictures of an earlier run in another format would only mislead.
    for old in os.listdir(out):
        if old.endswith(".bmp"):
            os.remove(os.path.join(out, old))
    write_ids(os.path.join(out, "ArtworkIds.h"), [(name, number) for name, number, _ in skin] + [ICON, CURSOR])
    lines = ["// Generated by resources/artwork/draw_skin.py: every picture of the skin.",
             '#include "ArtworkIds.h"']
    with tempfile.TemporaryDirectory() as work:
        for name, number, (w, h, body) in skin:
            if number + (len(SCALES) - 1) * PICTURE_SCALE_STEP >= 0x10000:
                sys.exit(f"draw_skin.py: {name}'s scaled numbers leave the resource range")
            for index, percent in enumerate(SCALES):
                png = os.path.join(work, f"{name}@{percent}.png")
                render(svg(w, h, body, percent), png, work)
                out_png = os.path.join(out, f"{name}@{percent}.png")
                # Binary alpha, then flatten on the key colour: a see-through pixel is exactly the key.
                run(convert, png, "-channel", "A", "-threshold", "50%", "+channel", "-background", KEY,
                    "-flatten", "-strip", "-define", "png:exclude-chunks=date,time", f"PNG24:{out_png}")
                lines.append(f'{number + index * PICTURE_SCALE_STEP} RCDATA "{rc_path(out_png)}"')
        icons = []
        for size in ICON_SIZES:
            png = os.path.join(work, f"icon{size}.png")
            render(icon_svg(size), png, work)
            icons.append(png)
        run(convert, *icons, os.path.join(out, "Vestrel.ico"))
    write_cursor(os.path.join(out, "Hand.cur"))
    lines.append(f'{ICON[0]} ICON "{rc_path(os.path.join(out, "Vestrel.ico"))}"')
    lines.append(f'{CURSOR[0]} CURSOR "{rc_path(os.path.join(out, "Hand.cur"))}"')
    with open(os.path.join(out, "Artwork.rc"), "w", encoding="ascii") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
