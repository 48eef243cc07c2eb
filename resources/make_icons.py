#!/usr/bin/env python3
"""Draws the program's icons and writes them into resources/rec and resources/app.

Standard library only. Shapes are signed distance functions in a unit box (0..1, y down), so one
drawing renders crisply at any pixel size: a pixel's coverage is taken from its distance to the
shape's edge, which gives anti-aliasing without supersampling. Run it after changing a drawing and
commit the images it writes; the build only compiles the committed files.
"""

import math
import pathlib
import struct
import zlib

HERE = pathlib.Path(__file__).resolve().parent

# ---------------------------------------------------------------------------------------------
# File formats


def png_bytes(size, pixels, alpha):
    """PNG, 8 bits per channel; colour type 6 (RGBA) with alpha, 2 (RGB) without."""
    channels = 4 if alpha else 3
    raw = bytearray()
    for row in range(size):
        raw.append(0)  # filter type None
        for r, g, b, a in pixels[row * size:(row + 1) * size]:
            raw.extend((r, g, b, a) if alpha else (r, g, b))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6 if alpha else 2, 0, 0, 0)
    assert len(raw) == size * (size * channels + 1)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def dib_bytes(size, pixels):
    """An ICO entry as a 32-bit bottom-up DIB with its 1-bit AND mask (for pre-Vista readers)."""
    mask_stride = (size + 31) // 32 * 4
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0,
                         size * size * 4 + size * mask_stride, 0, 0, 0, 0)
    colour = bytearray()
    mask = bytearray()
    for row in reversed(range(size)):
        bits = bytearray(mask_stride)
        for col in range(size):
            r, g, b, a = pixels[row * size + col]
            colour.extend((b, g, r, a))
            if a == 0:
                bits[col // 8] |= 0x80 >> (col % 8)
        mask.extend(bits)
    return header + bytes(colour) + bytes(mask)


def ico_bytes(images):
    """images: list of (size, pixels). 256 px goes in as PNG, smaller sizes as DIB."""
    entries = [(size, png_bytes(size, pixels, True) if size >= 256 else dib_bytes(size, pixels))
               for size, pixels in images]
    offset = 6 + 16 * len(entries)
    directory = bytearray(struct.pack("<HHH", 0, 1, len(entries)))
    for size, data in entries:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data),
                                 offset)
        offset += len(data)
    return bytes(directory) + b"".join(data for _, data in entries)


# ---------------------------------------------------------------------------------------------
# Shapes: each is a function (x, y) -> signed distance, negative inside.


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ellipse(cx, cy, rx, ry):
    # Not an exact distance, but close enough for the small, soft highlights it draws.
    return lambda x, y: (math.hypot((x - cx) / rx, (y - cy) / ry) - 1.0) * min(rx, ry)


def box(x0, y0, x1, y1, radius=0.0):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - radius, (y1 - y0) / 2 - radius

    def sdf(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - radius

    return sdf


def segment(ax, ay, bx, by, half_width):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy

    def sdf(x, y):
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
        return math.hypot(x - ax - t * dx, y - ay - t * dy) - half_width

    return sdf


def polygon(points, radius=0.0):
    """Closed polygon; a radius rounds the corners by growing the outline outwards."""
    edges = list(zip(points, points[1:] + points[:1]))

    def sdf(x, y):
        best = float("inf")
        inside = False
        for (ax, ay), (bx, by) in edges:
            dx, dy = bx - ax, by - ay
            t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
            best = min(best, math.hypot(x - ax - t * dx, y - ay - t * dy))
            if (ay > y) != (by > y) and x < ax + (y - ay) * dx / dy:
                inside = not inside
        return (-best if inside else best) - radius

    return sdf


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def intersect(*shapes):
    return lambda x, y: max(s(x, y) for s in shapes)


def outline(shape, half_width):
    return lambda x, y: abs(shape(x, y)) - half_width


def moved(shape, dx, dy):
    return lambda x, y: shape(x - dx, y - dy)


def rotated(shape, degrees, cx=0.5, cy=0.5):
    c, s = math.cos(math.radians(degrees)), math.sin(math.radians(degrees))

    def sdf(x, y):
        px, py = x - cx, y - cy
        return shape(cx + c * px + s * py, cy - s * px + c * py)

    return sdf


def gear(cx, cy, radius, teeth, tooth_depth, tooth_width, hole):
    """A toothed wheel: a disc with teeth folded into one sector, minus the axle hole."""
    sector = 2 * math.pi / teeth
    tooth = box(-tooth_width / 2, -radius - tooth_depth, tooth_width / 2, 0.0, tooth_width * 0.25)

    def sdf(x, y):
        px, py = x - cx, y - cy
        angle = math.atan2(px, -py)
        folded = angle - sector * round(angle / sector)
        r = math.hypot(px, py)
        d = min(r - radius, tooth(r * math.sin(folded), -r * math.cos(folded)))
        return max(d, hole - r)

    return sdf


# ---------------------------------------------------------------------------------------------
# Paint: a colour (r, g, b, a in 0..1) or a function of (x, y) giving one.


def hex_colour(text, alpha=1.0):
    value = int(text.lstrip("#"), 16)
    return ((value >> 16 & 255) / 255, (value >> 8 & 255) / 255, (value & 255) / 255, alpha)


def mix(c0, c1, t):
    t = max(0.0, min(1.0, t))
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def linear(x0, y0, x1, y1, c0, c1):
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy
    return lambda x, y: mix(c0, c1, ((x - x0) * dx + (y - y0) * dy) / length2)


def radial(cx, cy, r, c0, c1):
    return lambda x, y: mix(c0, c1, math.hypot(x - cx, y - cy) / r)


class Canvas:
    """Premultiplied RGBA floats, painted with the 'over' operator."""

    def __init__(self, size, background=(0.0, 0.0, 0.0, 0.0)):
        self.size = size
        r, g, b, a = background
        self.pixels = [[r * a, g * a, b * a, a] for _ in range(size * size)]

    def fill(self, shape, paint, blur=0.0):
        """Paints the shape; blur widens the edge for soft shadows and glows (in box units)."""
        n = self.size
        edge = max(1.0 / n, blur)
        for row in range(n):
            y = (row + 0.5) / n
            for col in range(n):
                x = (col + 0.5) / n
                coverage = 0.5 - shape(x, y) / edge
                if coverage <= 0.0:
                    continue
                r, g, b, a = paint(x, y) if callable(paint) else paint
                a *= min(coverage, 1.0)
                pixel = self.pixels[row * n + col]
                keep = 1.0 - a
                pixel[0] = r * a + pixel[0] * keep
                pixel[1] = g * a + pixel[1] * keep
                pixel[2] = b * a + pixel[2] * keep
                pixel[3] = a + pixel[3] * keep

    def rgba8(self):
        out = []
        for r, g, b, a in self.pixels:
            if a <= 0.0:
                out.append((0, 0, 0, 0))
                continue
            out.append(tuple(int(round(max(0.0, min(1.0, v)) * 255))
                             for v in (r / a, g / a, b / a, a)))
        return out


WHITE = (1.0, 1.0, 1.0, 1.0)
SHADOW = (0.0, 0.0, 0.0, 0.35)


def solid(canvas, shape, top, bottom, rim, rim_width=0.022, y0=0.1, y1=0.9, shadow=True):
    """The house style: soft drop shadow, vertical gradient body, darker rim, upper-half gloss."""
    if shadow:
        canvas.fill(moved(shape, 0.0, 0.025), SHADOW, blur=0.05)
    canvas.fill(shape, linear(0.5, y0, 0.5, y1, hex_colour(top), hex_colour(bottom)))
    gloss = intersect(shape, box(0.0, 0.0, 1.0, (y0 + y1) / 2))
    canvas.fill(gloss, linear(0.5, y0, 0.5, (y0 + y1) / 2, (1, 1, 1, 0.35), (1, 1, 1, 0.0)))
    canvas.fill(outline(shape, rim_width / 2), hex_colour(rim))


# ---------------------------------------------------------------------------------------------
# The drawings


def draw_led(canvas, lit, dark, glow):
    panel = hex_colour("#e4e4e4")
    canvas.fill(box(0, 0, 1, 1), panel)
    canvas.fill(circle(0.5, 0.5, 0.47), linear(0.5, 0.05, 0.5, 0.95, hex_colour("#8a8a8a"),
                                                 hex_colour("#f4f4f4")))
    canvas.fill(circle(0.5, 0.5, 0.40), hex_colour("#3a3a3a"))
    canvas.fill(circle(0.5, 0.5, 0.35), radial(0.42, 0.40, 0.42, hex_colour(lit),
                                                hex_colour(dark)))
    if glow:
        canvas.fill(circle(0.5, 0.5, 0.2), hex_colour(lit, 0.5), blur=0.25)
    canvas.fill(ellipse(0.40, 0.33, 0.14, 0.09), (1, 1, 1, 0.75 if glow else 0.35), blur=0.08)


def draw_plug(canvas, gap):
    """A plug and its socket on a diagonal, joined when gap is 0."""
    half = gap / 2
    body_top, body_bottom, body_rim = "#6b7785", "#39424d", "#1f262e"
    cable = hex_colour("#2b3138")

    def diagonal(shape):
        return rotated(shape, 45)

    plug_body = diagonal(box(0.20 - half, 0.36, 0.44 - half, 0.64, 0.05))
    prongs = diagonal(union(box(0.42 - half, 0.40, 0.58 - half, 0.455, 0.015),
                            box(0.42 - half, 0.545, 0.58 - half, 0.60, 0.015)))
    socket_body = diagonal(box(0.56 + half, 0.33, 0.80 + half, 0.67, 0.05))
    plug_cable = diagonal(segment(-0.1, 0.5, 0.22 - half, 0.5, 0.05))
    socket_cable = diagonal(segment(0.78 + half, 0.5, 1.1, 0.5, 0.05))
    clip = box(0.02, 0.02, 0.98, 0.98, 0.2)  # cables end short of the corners

    canvas.fill(moved(union(plug_body, socket_body, plug_cable, socket_cable), 0, 0.025), SHADOW,
                blur=0.05)
    for wire in (plug_cable, socket_cable):
        canvas.fill(intersect(wire, clip), cable)
    if gap > 0:
        canvas.fill(prongs, linear(0.3, 0.3, 0.7, 0.7, hex_colour("#f3f4f6"),
                                   hex_colour("#9aa3ad")))
        canvas.fill(outline(prongs, 0.01), hex_colour("#4b5563"))
    for body in (plug_body, socket_body):
        solid(canvas, body, body_top, body_bottom, body_rim, shadow=False, y0=0.15, y1=0.85)
    if gap > 0:
        # Sparks flying out of the gap say "cut" even at toolbar size.
        red = hex_colour("#e53935")
        centre = 0.57  # midway between the prong tips and the socket face
        for degrees in (-60, -90, -120, 60, 90, 120):
            dx, dy = math.cos(math.radians(degrees)), math.sin(math.radians(degrees))
            ray = segment(centre + 0.13 * dx, 0.5 + 0.13 * dy, centre + 0.25 * dx,
                          0.5 + 0.25 * dy, 0.025)
            canvas.fill(diagonal(ray), red)
    else:
        # A green collar over the joint says "live".
        collar = diagonal(box(0.455, 0.35, 0.545, 0.65, 0.02))
        canvas.fill(collar, hex_colour("#43a047"))
        canvas.fill(outline(collar, 0.008), hex_colour("#1b5e20"))


def draw_about(canvas):
    disc = circle(0.5, 0.5, 0.42)
    solid(canvas, disc, "#5aa3f0", "#1c5fb0", "#123f7a")
    letter = union(circle(0.5, 0.29, 0.075),
                   box(0.44, 0.42, 0.56, 0.76, 0.03),
                   box(0.38, 0.42, 0.56, 0.48, 0.02),
                   box(0.38, 0.71, 0.62, 0.77, 0.02))
    canvas.fill(moved(letter, 0, 0.015), (0, 0, 0, 0.25), blur=0.03)
    canvas.fill(letter, WHITE)


def draw_start(canvas):
    triangle = polygon([(0.30, 0.20), (0.80, 0.50), (0.30, 0.80)], radius=0.06)
    solid(canvas, triangle, "#7be07b", "#1e8e2e", "#145c1e")


def draw_stop(canvas):
    square = box(0.18, 0.18, 0.82, 0.82, 0.1)
    solid(canvas, square, "#f07070", "#b71c1c", "#7a1010")


def draw_clear(canvas):
    trace = box(0.08, 0.82, 0.92, 0.88, 0.03)
    canvas.fill(trace, hex_colour("#9aa3ad", 0.8))

    def tilted(shape):
        # Tilted and lifted a little, so that its tip rests on the wiped trace.
        return moved(rotated(shape, 35), 0.0, 0.02)

    eraser = tilted(box(0.16, 0.36, 0.84, 0.64, 0.06))
    rubber = intersect(eraser, tilted(box(-1, -1, 0.45, 2)))
    sleeve = intersect(eraser, tilted(box(0.45, -1, 2, 2)))
    canvas.fill(moved(eraser, 0, 0.025), SHADOW, blur=0.05)
    canvas.fill(rubber, linear(0.3, 0.4, 0.4, 0.8, hex_colour("#ffb3c4"), hex_colour("#e8607e")))
    canvas.fill(sleeve, linear(0.5, 0.2, 0.7, 0.6, hex_colour("#6ea8ff"), hex_colour("#1f5fc4")))
    canvas.fill(outline(eraser, 0.012), hex_colour("#2a2f36"))
    canvas.fill(tilted(segment(0.45, 0.36, 0.45, 0.64, 0.008)), hex_colour("#2a2f36"))


def draw_save_as(canvas):
    disk = polygon([(0.08, 0.08), (0.66, 0.08), (0.80, 0.22), (0.80, 0.80), (0.08, 0.80)],
                   radius=0.04)
    solid(canvas, disk, "#4f8fe6", "#1d4f9c", "#0f2f63", y0=0.05, y1=0.85)
    shutter = box(0.22, 0.04, 0.60, 0.30, 0.02)
    canvas.fill(shutter, linear(0.2, 0.0, 0.6, 0.3, hex_colour("#eef1f4"), hex_colour("#a9b2bc")))
    canvas.fill(box(0.46, 0.09, 0.54, 0.25, 0.01), hex_colour("#36404a"))
    label = box(0.17, 0.44, 0.71, 0.80, 0.03)
    canvas.fill(label, hex_colour("#fbfbf8"))
    for y in (0.54, 0.63):
        canvas.fill(box(0.24, y - 0.015, 0.64, y + 0.015), hex_colour("#b9c3ce"))

    # The pencil, laid across the lower right corner, says "as".
    def pencil(shape):
        return rotated(shape, 45, 0.66, 0.66)

    body = pencil(box(0.52, 0.58, 0.92, 0.74, 0.02))
    ferrule = pencil(box(0.85, 0.58, 0.92, 0.74, 0.0))
    cap = pencil(box(0.90, 0.58, 0.98, 0.74, 0.03))
    wood = pencil(polygon([(0.52, 0.58), (0.52, 0.74), (0.36, 0.66)]))
    lead = pencil(polygon([(0.41, 0.635), (0.41, 0.685), (0.36, 0.66)]))
    whole = union(body, wood, cap)
    canvas.fill(moved(whole, 0, 0.02), SHADOW, blur=0.04)
    canvas.fill(cap, hex_colour("#f28da0"))
    canvas.fill(body, linear(0.6, 0.6, 0.7, 0.7, hex_colour("#ffe066"), hex_colour("#e0a000")))
    canvas.fill(ferrule, hex_colour("#c0c6cc"))
    canvas.fill(wood, hex_colour("#f1c98e"))
    canvas.fill(lead, hex_colour("#2a2f36"))
    canvas.fill(outline(whole, 0.01), hex_colour("#3a2a10"))


def draw_script(canvas):
    sheet = polygon([(0.16, 0.06), (0.62, 0.06), (0.80, 0.24), (0.80, 0.94), (0.16, 0.94)],
                    radius=0.02)
    solid(canvas, sheet, "#ffffff", "#dfe4ea", "#6b7785", rim_width=0.014, y0=0.06, y1=0.94)
    fold = polygon([(0.62, 0.06), (0.62, 0.24), (0.80, 0.24)], radius=0.01)
    canvas.fill(fold, hex_colour("#c3cad3"))
    canvas.fill(outline(fold, 0.006), hex_colour("#6b7785"))
    for i, width in enumerate((0.34, 0.44, 0.30, 0.40, 0.22)):
        y = 0.30 + i * 0.09
        canvas.fill(box(0.25, y - 0.018, 0.25 + width, y + 0.018, 0.018), hex_colour("#8a96a3"))
    wheel = gear(0.70, 0.74, 0.17, 8, 0.06, 0.075, 0.065)
    canvas.fill(moved(wheel, 0, 0.015), SHADOW, blur=0.04)
    canvas.fill(wheel, linear(0.5, 0.5, 0.9, 0.98, hex_colour("#ffb547"), hex_colour("#d96a00")))
    canvas.fill(outline(wheel, 0.008), hex_colour("#7a3a00"))


def draw_app(canvas, small):
    """A bench supply: a dark case with a lit display showing a bolt, output terminals, a knob.

    Small sizes get a taller display and only the two terminals, which stay legible at 16 px.
    """
    if small:
        case = box(0.02, 0.06, 0.98, 0.94, 0.12)
        screen = box(0.13, 0.15, 0.87, 0.60, 0.05)
        row, post_r = 0.76, 0.11
    else:
        case = box(0.04, 0.12, 0.96, 0.88, 0.09)
        screen = box(0.12, 0.19, 0.88, 0.55, 0.04)
        row, post_r = 0.71, 0.075
    solid(canvas, case, "#5d6673", "#262b33", "#14181d", rim_width=0.04 if small else 0.02,
          y0=0.12, y1=0.88, shadow=not small)
    canvas.fill(screen, linear(0.5, 0.2, 0.5, 0.6, hex_colour("#17454b"), hex_colour("#0a2428")))
    canvas.fill(outline(screen, 0.01), hex_colour("#0a0d10"))
    top, bottom = (0.17, 0.58) if small else (0.22, 0.52)
    h = bottom - top
    bolt = polygon([(0.56, top), (0.38, top + 0.56 * h), (0.50, top + 0.56 * h), (0.44, bottom),
                    (0.64, top + 0.40 * h), (0.52, top + 0.40 * h), (0.60, top)])
    canvas.fill(bolt, hex_colour("#ffd54f", 0.6), blur=0.06)
    canvas.fill(bolt, linear(0.5, top, 0.5, bottom, hex_colour("#fff59d"), hex_colour("#ffb300")))
    if small:
        posts = ((0.30, "#e53935"), (0.70, "#d8dde3"))
    else:
        posts = ((0.24, "#e53935"), (0.46, "#2b2f35"))
    for cx, colour in posts:
        post = circle(cx, row, post_r)
        canvas.fill(post, radial(cx - 0.02, row - 0.02, post_r * 1.3, hex_colour(colour),
                                 mix(hex_colour(colour), (0, 0, 0, 1), 0.5)))
        canvas.fill(outline(post, 0.008), hex_colour("#0a0d10"))
        if not small:
            canvas.fill(circle(cx, row, 0.025), hex_colour("#d8dde3"))
    if small:
        return
    knob = circle(0.74, row, 0.095)
    canvas.fill(knob, linear(0.6, row - 0.1, 0.85, row + 0.1, hex_colour("#f0f2f5"),
                             hex_colour("#8c96a1")))
    canvas.fill(outline(knob, 0.008), hex_colour("#0a0d10"))
    canvas.fill(segment(0.74, row, 0.69, row - 0.05, 0.014), hex_colour("#2b2f35"))


ICONS = [
    ("LED_ON_GREEN.png", 20, False, lambda c: draw_led(c, "#8dff8d", "#0d8f1f", True)),
    ("LED_ON_RED.png", 20, False, lambda c: draw_led(c, "#ff8a7a", "#c4120c", True)),
    ("LED_OFF.png", 20, False, lambda c: draw_led(c, "#5a5f5a", "#1c1e1c", False)),
    ("connect.png", 128, True, lambda c: draw_plug(c, 0.0)),
    ("disconnect.png", 128, True, lambda c: draw_plug(c, 0.2)),
    ("about.png", 128, True, draw_about),
    ("start.png", 128, True, draw_start),
    ("stop.png", 128, True, draw_stop),
    ("Clear2.png", 96, True, draw_clear),
    ("SaveAs2.png", 96, True, draw_save_as),
    ("executable-script-icon.png", 256, True, draw_script),
]

APP_ICON_SIZES = [16, 20, 24, 32, 40, 48, 64, 128, 256]


def render(size, draw):
    canvas = Canvas(size)
    draw(canvas)
    return canvas.rgba8()


def main():
    rec = HERE / "rec"
    rec.mkdir(exist_ok=True)
    for name, size, alpha, draw in ICONS:
        (rec / name).write_bytes(png_bytes(size, render(size, draw), alpha))

    app = HERE / "app"
    app.mkdir(exist_ok=True)
    images = [(size, render(size, lambda c, s=size: draw_app(c, s <= 24)))
              for size in APP_ICON_SIZES]
    (app / "vornexcontrol.ico").write_bytes(ico_bytes(images))
    (app / "vornexcontrol.png").write_bytes(png_bytes(256, images[-1][1], True))


if __name__ == "__main__":
    main()
