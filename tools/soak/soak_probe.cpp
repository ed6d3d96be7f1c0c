// soak_probe: looks at the Korvane study window under X for scripts/soak.sh.
//
//   soak_probe find PID TITLE           the top-level window of process PID titled TITLE
//   soak_probe layout WIN               the view and the panel controls, as shell assignments
//   soak_probe rows WIN                 the rows of the plane list
//   soak_probe targets WIN SEED STATE   one random pixel of every glyph part seen in the view
//   soak_probe ping WIN SECONDS         whether the window's GUI thread answers within SECONDS
//   soak_probe hash X Y W H             a hash of that screen rectangle
//   soak_probe shot WIN FILE            the whole window as a PNG file
//   soak_probe png STATE FILE           the view saved by `targets` in STATE as a PNG file
//
// WIN is the top-level window (decimal or 0x hex). Coordinates printed are
// absolute screen coordinates, ready for xdotool mousemove. Exit status 2
// means the window is gone.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <sys/select.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// ---- X access ----

bool gWindowGone = false;

int onXError(Display*, XErrorEvent* e) {
  if (e->error_code == BadWindow || e->error_code == BadDrawable || e->error_code == BadMatch) gWindowGone = true;
  return 0;
}

struct Rgb {
  uint8_t r, g, b;
  bool is(int R, int G, int B) const { return r == R && g == G && b == B; }
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

struct Image {
  int w = 0, h = 0;
  std::vector<Rgb> px;
  const Rgb& at(int x, int y) const { return px[size_t(y) * size_t(w) + size_t(x)]; }
};

// Position of the lowest set bit and the width of a colour mask.
void maskShape(unsigned long mask, int& shift, int& bits) {
  shift = 0;
  bits = 0;
  if (!mask) return;
  while (!(mask & 1)) {
    mask >>= 1;
    ++shift;
  }
  while (mask & 1) {
    mask >>= 1;
    ++bits;
  }
}

uint8_t channel(unsigned long pixel, int shift, int bits) {
  const unsigned long v = (pixel >> shift) & ((1ul << bits) - 1);
  return bits >= 8 ? uint8_t(v >> (bits - 8)) : uint8_t(v * 255 / ((1ul << bits) - 1));
}

// The window's current contents (TrueColor visuals only).
bool grab(Display* dpy, Window w, Image& out) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(dpy, w, &a) || gWindowGone || a.map_state != IsViewable) return false;
  XImage* img = XGetImage(dpy, w, 0, 0, unsigned(a.width), unsigned(a.height), AllPlanes, ZPixmap);
  XSync(dpy, False);
  if (!img || gWindowGone) return false;
  int rs, rb, gs, gb, bs, bb;
  maskShape(img->red_mask, rs, rb);
  maskShape(img->green_mask, gs, gb);
  maskShape(img->blue_mask, bs, bb);
  out.w = a.width;
  out.h = a.height;
  out.px.resize(size_t(out.w) * size_t(out.h));
  for (int y = 0; y < out.h; ++y)
    for (int x = 0; x < out.w; ++x) {
      const unsigned long p = img->bits_per_pixel == 32
                                  ? reinterpret_cast<const uint32_t*>(img->data + y * img->bytes_per_line)[x]
                                  : XGetPixel(img, x, y);
      out.px[size_t(y) * size_t(out.w) + size_t(x)] = {channel(p, rs, rb), channel(p, gs, gb), channel(p, bs, bb)};
    }
  XDestroyImage(img);
  return true;
}

struct Box {
  Window id = 0;
  int x = 0, y = 0, w = 0, h = 0;  // absolute
};

// Every viewable window below `w`, with absolute geometry and whether it has
// viewable children of its own.
void descendants(Display* dpy, Window w, std::vector<Box>& out, std::vector<bool>& leaf) {
  Window root, parent, *kids = nullptr;
  unsigned n = 0;
  if (!XQueryTree(dpy, w, &root, &parent, &kids, &n)) return;
  for (unsigned i = 0; i < n; ++i) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(dpy, kids[i], &a) || a.map_state != IsViewable) continue;
    Box b;
    b.id = kids[i];
    Window child;
    XTranslateCoordinates(dpy, kids[i], root, 0, 0, &b.x, &b.y, &child);
    b.w = a.width;
    b.h = a.height;
    const size_t index = out.size();
    out.push_back(b);
    leaf.push_back(true);
    const size_t before = out.size();
    descendants(dpy, kids[i], out, leaf);
    if (out.size() > before) leaf[index] = false;
  }
  if (kids) XFree(kids);
}

bool inside(const Box& inner, const Box& outer) {
  return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.w <= outer.x + outer.w &&
         inner.y + inner.h <= outer.y + outer.h;
}

// The main view is the largest window without children of its own; the
// panel is the largest window that neither holds nor lies in the view.
bool findViewAndPanel(Display* dpy, Window top, Box& view, Box& panel) {
  std::vector<Box> all;
  std::vector<bool> leaf;
  descendants(dpy, top, all, leaf);
  view = Box();
  panel = Box();
  for (size_t i = 0; i < all.size(); ++i)
    if (leaf[i] && all[i].w * all[i].h > view.w * view.h) view = all[i];
  if (!view.id) return false;
  for (const Box& b : all)
    if (!inside(b, view) && !inside(view, b) && b.w * b.h > panel.w * panel.h) panel = b;
  return panel.id != 0;
}

Window parseWindow(const char* s) { return Window(std::strtoul(s, nullptr, 0)); }

// ---- PNG ----

void put32(std::vector<uint8_t>& v, uint32_t x) {
  for (int s = 24; s >= 0; s -= 8) v.push_back(uint8_t(x >> s));
}

void chunk(FILE* f, const char* type, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> head;
  put32(head, uint32_t(data.size()));
  head.insert(head.end(), type, type + 4);
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
  if (!data.empty()) crc = crc32(crc, data.data(), uInt(data.size()));
  std::vector<uint8_t> tail;
  put32(tail, uint32_t(crc));
  fwrite(head.data(), 1, head.size(), f);
  if (!data.empty()) fwrite(data.data(), 1, data.size(), f);
  fwrite(tail.data(), 1, tail.size(), f);
}

bool writePng(const Image& img, const char* path) {
  std::vector<uint8_t> raw;
  raw.reserve(size_t(img.h) * (size_t(img.w) * 3 + 1));
  for (int y = 0; y < img.h; ++y) {
    raw.push_back(0);  // no filter
    for (int x = 0; x < img.w; ++x) {
      const Rgb& p = img.at(x, y);
      raw.push_back(p.r);
      raw.push_back(p.g);
      raw.push_back(p.b);
    }
  }
  uLongf packedSize = compressBound(uLong(raw.size()));
  std::vector<uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, raw.data(), uLong(raw.size()), 6) != Z_OK) return false;
  packed.resize(packedSize);
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  fwrite(signature, 1, 8, f);
  std::vector<uint8_t> header;
  put32(header, uint32_t(img.w));
  put32(header, uint32_t(img.h));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, no interlace
  chunk(f, "IHDR", header);
  chunk(f, "IDAT", packed);
  chunk(f, "IEND", {});
  return std::fclose(f) == 0;
}

// ---- subcommands ----

// The top-level window of process `pid` titled `title`: a direct child of
// the root, viewable, with _NET_WM_PID = pid. Prints its id; 1 when none.
int find(Display* dpy, long pid, const char* title) {
  const Window root = DefaultRootWindow(dpy);
  const Atom pidAtom = XInternAtom(dpy, "_NET_WM_PID", False);
  Window r, p, *kids = nullptr;
  unsigned n = 0;
  if (!XQueryTree(dpy, root, &r, &p, &kids, &n)) return 1;
  int rc = 1;
  for (unsigned i = 0; i < n && rc; ++i) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(dpy, kids[i], &a) || a.map_state != IsViewable) continue;
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    long owner = -1;
    if (XGetWindowProperty(dpy, kids[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) ==
            Success &&
        data && count == 1 && format == 32)
      owner = long(*reinterpret_cast<unsigned long*>(data));
    if (data) XFree(data);
    char* name = nullptr;
    const bool named = XFetchName(dpy, kids[i], &name) && name && std::strcmp(name, title) == 0;
    if (name) XFree(name);
    if (owner == pid && named) {
      std::printf("%lu\n", kids[i]);
      rc = 0;
    }
  }
  if (kids) XFree(kids);
  return rc;
}

// A run of rows (a band) or columns (a segment) that hold anything but the
// panel's background.
struct Run {
  int from, to;  // inclusive
  int size() const { return to - from + 1; }
  int mid() const { return (from + to) / 2; }
};

// Runs of true values, with gaps shorter than `bridge` joined.
std::vector<Run> runs(const std::vector<bool>& used, int bridge) {
  std::vector<Run> out;
  for (int i = 0; i < int(used.size()); ++i) {
    if (!used[i]) continue;
    if (!out.empty() && i - out.back().to <= bridge)
      out.back().to = i;
    else
      out.push_back({i, i});
  }
  return out;
}

// The panel's columns in rows [band.from, band.to] that hold something.
std::vector<Run> segments(const Image& img, const Run& band, const Rgb& bg, int bridge) {
  std::vector<bool> used(size_t(img.w), false);
  for (int x = 0; x < img.w; ++x)
    for (int y = band.from; y <= band.to && !used[size_t(x)]; ++y) used[size_t(x)] = !(img.at(x, y) == bg);
  return runs(used, bridge);
}

// Prints the view's geometry and the click points of the panel controls the
// soak uses. The study panel is one form column, top to bottom: seed, model
// field, "Load From Sequence", Vert/Edge/Tri, "Add New", plane list (the
// tallest row), Default/3-Ball, "Erase Current", export folder, "Export OBJ".
// The panel's background is the colour of its top left pixel; a row or a
// part of one is a run of pixel rows or columns that differ from it.
// The panel's image and its rows of controls: 0 on success, 1 without a
// view and panel, 2 when the panel cannot be read.
int panelBands(Display* dpy, Window top, Box& view, Box& panel, Image& img, std::vector<Run>& bands) {
  if (!findViewAndPanel(dpy, top, view, panel)) return 1;
  if (!grab(dpy, panel.id, img)) return 2;
  const Rgb bg = img.at(0, 0);
  std::vector<bool> used(size_t(img.h), false);
  for (int y = 0; y < img.h; ++y)
    for (int x = 0; x < img.w && !used[size_t(y)]; ++x) used[size_t(y)] = !(img.at(x, y) == bg);
  bands = runs(used, 1);
  return 0;
}

int layout(Display* dpy, Window top) {
  Box view, panel;
  Image img;
  std::vector<Run> bands;
  if (const int r = panelBands(dpy, top, view, panel, img, bands)) {
    if (r == 1) std::fprintf(stderr, "soak_probe: no view and panel below window %lu\n", top);
    return r;
  }
  const Rgb bg = img.at(0, 0);
  int list = -1;
  for (int i = 0; i < int(bands.size()); ++i)
    if (list < 0 || bands[size_t(i)].size() > bands[size_t(list)].size()) list = i;
  if (bands.size() != 10 || list != 5) {
    std::fprintf(stderr, "soak_probe: the panel shows %d rows (plane list at row %d), expected 10 (list at 5)\n",
                 int(bands.size()), list);
    return 1;
  }
  // Seed row: label, then the spin box (the widest segment); click in its
  // text, away from the arrows.
  const std::vector<Run> seedRow = segments(img, bands[0], bg, 3);
  Run spin = seedRow.front();
  for (const Run& s : seedRow)
    if (s.size() > spin.size()) spin = s;
  // Radio row: indicator and text of "Default", then those of "3-Ball"; the
  // first segment that starts past the middle of the row is the 3-Ball indicator.
  const std::vector<Run> radioRow = segments(img, bands[6], bg, 3);
  const Run* threeBall = nullptr;
  if (radioRow.size() >= 2) {
    const int rowMid = (radioRow.front().from + radioRow.back().to) / 2;
    for (const Run& s : radioRow)
      if (s.from > rowMid) {
        threeBall = &s;
        break;
      }
  }
  if (!threeBall) {
    std::fprintf(stderr, "soak_probe: the Default/3-Ball row has %d parts\n", int(radioRow.size()));
    return 1;
  }
  const auto button = [&](const char* name, const Run& band) {
    const std::vector<Run> s = segments(img, band, bg, 3);
    std::printf("%s_X=%d\n%s_Y=%d\n", name, panel.x + (s.front().from + s.back().to) / 2, name, panel.y + band.mid());
  };
  std::printf("VIEW_X=%d\nVIEW_Y=%d\nVIEW_W=%d\nVIEW_H=%d\n", view.x, view.y, view.w, view.h);
  std::printf("PANEL_X=%d\nPANEL_Y=%d\nPANEL_W=%d\nPANEL_H=%d\n", panel.x, panel.y, panel.w, panel.h);
  std::printf("SEED_X=%d\nSEED_Y=%d\n", panel.x + spin.from + std::min(20, spin.size() / 3), panel.y + bands[0].mid());
  // The model field: its text changes when a load has finished.
  const std::vector<Run> field = segments(img, bands[1], bg, 3);
  std::printf("FIELD_X=%d\nFIELD_Y=%d\nFIELD_W=%d\nFIELD_H=%d\n", panel.x + field.front().from, panel.y + bands[1].from,
              field.back().to - field.front().from + 1, bands[1].size());
  button("LOAD", bands[2]);
  // Vert/Edge/Tri row: the last part is the label of "Tri".
  const std::vector<Run> drawRow = segments(img, bands[3], bg, 3);
  std::printf("TRI_X=%d\nTRI_Y=%d\n", panel.x + drawRow.back().mid(), panel.y + bands[3].mid());
  button("ADD", bands[4]);
  // The list's rows are the text lines inside it; the first is a few pixels
  // below its frame.
  const std::vector<Run> listColumns = segments(img, bands[5], bg, 3);
  std::printf("LIST_X=%d\nLIST_Y=%d\nLIST_H=%d\n", panel.x + (listColumns.front().from + listColumns.back().to) / 2,
              panel.y + bands[5].from, bands[5].size());
  std::printf("DEFAULT_X=%d\nDEFAULT_Y=%d\n", panel.x + radioRow.front().mid(), panel.y + bands[6].mid());
  std::printf("THREEBALL_X=%d\nTHREEBALL_Y=%d\n", panel.x + threeBall->mid(), panel.y + bands[6].mid());
  return 0;
}

// The text rows of the plane list: one line "row Y" per row, Y absolute.
int listRows(Display* dpy, Window top) {
  Box view, panel;
  Image img;
  std::vector<Run> bands;
  if (const int r = panelBands(dpy, top, view, panel, img, bands)) return r;
  const Rgb bg = img.at(0, 0);
  if (bands.size() != 10) return 1;
  // Inside the list frame: a column through its middle, rows that differ
  // from the list's own background (its first pixel inside the frame).
  const Run& list = bands[5];
  const std::vector<Run> columns = segments(img, list, bg, 3);
  const int x0 = columns.front().from + 3, x1 = columns.back().to - 3;
  // The list's own background, from its bottom, which no row reaches while
  // the soak keeps a handful of planes.
  const Rgb inner = img.at(x0, list.to - 3);
  std::vector<bool> text(size_t(img.h), false);
  for (int y = list.from + 3; y <= list.to - 3; ++y)
    for (int x = x0; x <= x1 && !text[size_t(y)]; ++x) text[size_t(y)] = !(img.at(x, y) == inner);
  for (const Run& r : runs(text, 2)) std::printf("row %d\n", panel.y + r.mid());
  return 0;
}

// ---- glyph targets ----

// Pixel classes of the main view. The current plane's glyph and the 3-Ball
// handles are drawn unlit in exact colours: edges along r1 grey 254, along
// r2 grey 253, the axes pure red and green, the handles (255|254|253, 20, 20).
// The lit mesh is a mid grey; the background white.
enum Kind { kEdge1, kEdge2, kBall1, kBall2, kBall3, kAxis, kMesh, kFree, kKinds };
const char* const kKindNames[kKinds] = {"edge1", "edge2", "ball1", "ball2", "ball3", "axis", "mesh", "free"};

bool isRed(const Rgb& p) { return p.is(255, 0, 0); }
bool isGreen(const Rgb& p) { return p.is(0, 255, 0); }
bool isGlyph(const Rgb& p) {
  return p.is(254, 254, 254) || p.is(253, 253, 253) || isRed(p) || isGreen(p) ||
         ((p.r >= 253) && p.g == 20 && p.b == 20) || p.is(255, 120, 120);
}
bool isMesh(const Rgb& p) { return p.r == p.g && p.g == p.b && p.r >= 100 && p.r <= 235 && p.r != 178 && p.r != 179; }

// Pixels of the red and green axis lines. Plane 0's contours are red and
// plane 4's green as well, so only pixels on the two rays from the axes'
// common start (where red meets green) count.
void axisPixels(const Image& img, std::vector<std::pair<int, int>>& out) {
  double cx = 0, cy = 0;
  int junction = 0;
  for (int y = 3; y < img.h - 3; ++y)
    for (int x = 3; x < img.w - 3; ++x) {
      if (!isRed(img.at(x, y))) continue;
      bool near = false;
      for (int dy = -3; dy <= 3 && !near; ++dy)
        for (int dx = -3; dx <= 3 && !near; ++dx) near = isGreen(img.at(x + dx, y + dy));
      if (near) {
        cx += x;
        cy += y;
        ++junction;
      }
    }
  if (!junction) return;
  cx /= junction;
  cy /= junction;
  for (int colour = 0; colour < 2; ++colour) {
    const auto mine = [&](const Rgb& p) { return colour == 0 ? isRed(p) : isGreen(p); };
    // The direction of the ray: the mean offset of this colour's pixels a
    // little way out from the start.
    double ux = 0, uy = 0;
    for (int y = std::max(0, int(cy) - 30); y < std::min(img.h, int(cy) + 31); ++y)
      for (int x = std::max(0, int(cx) - 30); x < std::min(img.w, int(cx) + 31); ++x) {
        const double ox = x - cx, oy = y - cy, d = std::hypot(ox, oy);
        if (d >= 8 && d <= 30 && mine(img.at(x, y))) {
          ux += ox / d;
          uy += oy / d;
        }
      }
    const double ul = std::hypot(ux, uy);
    if (ul == 0) continue;
    ux /= ul;
    uy /= ul;
    for (int y = 0; y < img.h; ++y)
      for (int x = 0; x < img.w; ++x) {
        if (!mine(img.at(x, y))) continue;
        const double ox = x - cx, oy = y - cy;
        const double along = ox * ux + oy * uy, across = std::fabs(ox * uy - oy * ux);
        if (along >= 4 && across <= 2.0) out.push_back({x, y});
      }
  }
}

// Reads back the raw image saved by the previous call, if any.
bool loadState(const char* path, Image& img) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  int wh[2];
  bool ok = std::fread(wh, sizeof wh, 1, f) == 1 && wh[0] > 0 && wh[1] > 0 && wh[0] < 100000 && wh[1] < 100000;
  if (ok) {
    img.w = wh[0];
    img.h = wh[1];
    img.px.resize(size_t(img.w) * size_t(img.h));
    ok = std::fread(img.px.data(), sizeof(Rgb), img.px.size(), f) == img.px.size();
  }
  std::fclose(f);
  return ok;
}

void saveState(const char* path, const Image& img) {
  FILE* f = std::fopen(path, "wb");
  if (!f) return;
  const int wh[2] = {img.w, img.h};
  std::fwrite(wh, sizeof wh, 1, f);
  std::fwrite(img.px.data(), sizeof(Rgb), img.px.size(), f);
  std::fclose(f);
}

// For every kind one line "KIND COUNT X Y": how many pixels of that kind
// the view shows and one of them chosen at random (absolute coordinates;
// -1 -1 when there is none). Then, against the view of the previous call:
// "still F", the share of its mesh and grid pixels that are unchanged now (a
// camera move changes nearly all of them, a plane move few; -1 without a
// previous view), and "moved N", how many pixels changed that show the glyph
// before or after (0 when the current plane stayed where it was). The view
// is saved to STATE for the next call.
int targets(Display* dpy, Window top, unsigned seed, const char* state) {
  Box view, panel;
  if (!findViewAndPanel(dpy, top, view, panel)) return gWindowGone ? 2 : 1;
  // Wait for a settled frame: two reads a moment apart that agree.
  Image img, again;
  if (!grab(dpy, view.id, img)) return 2;
  for (int tries = 0; tries < 8; ++tries) {
    usleep(25000);
    if (!grab(dpy, view.id, again)) return 2;
    if (again.px == img.px) break;
    img.px.swap(again.px);
  }
  std::vector<std::pair<int, int>> found[kKinds];
  const int margin = 3;  // presses right at the border are not worth it
  for (int y = margin; y < img.h - margin; ++y)
    for (int x = margin; x < img.w - margin; ++x) {
      const Rgb& p = img.at(x, y);
      if (p.is(254, 254, 254))
        found[kEdge1].push_back({x, y});
      else if (p.is(253, 253, 253))
        found[kEdge2].push_back({x, y});
      else if (p.is(255, 20, 20))
        found[kBall1].push_back({x, y});
      else if (p.is(254, 20, 20))
        found[kBall2].push_back({x, y});
      else if (p.is(253, 20, 20))
        found[kBall3].push_back({x, y});
      else if (isMesh(p))
        found[kMesh].push_back({x, y});
      else if (p.is(255, 255, 255))
        found[kFree].push_back({x, y});
    }
  std::vector<std::pair<int, int>> axis;
  axisPixels(img, axis);
  for (const auto& q : axis)
    if (q.first >= margin && q.second >= margin && q.first < img.w - margin && q.second < img.h - margin)
      found[kAxis].push_back(q);

  std::mt19937 random(seed);
  for (int k = 0; k < kKinds; ++k) {
    const auto& list = found[k];
    if (list.empty()) {
      std::printf("%s 0 -1 -1\n", kKindNames[k]);
      continue;
    }
    const auto& q = list[std::uniform_int_distribution<size_t>(0, list.size() - 1)(random)];
    std::printf("%s %zu %d %d\n", kKindNames[k], list.size(), view.x + q.first, view.y + q.second);
  }

  Image previous;
  double still = -1;
  size_t moved = 0;
  if (loadState(state, previous) && previous.w == img.w && previous.h == img.h) {
    size_t kept = 0, total = 0;
    for (size_t i = 0; i < img.px.size(); ++i) {
      const Rgb& p = previous.px[i];
      const Rgb& q = img.px[i];
      if (!(q == p) && (isGlyph(p) || isGlyph(q))) ++moved;
      if (!(p.r == p.g && p.g == p.b && p.r < 240)) continue;  // mesh and grid are greys
      ++total;
      if (q == p) ++kept;
    }
    if (total) still = double(kept) / double(total);
  }
  std::printf("still %.3f\n", still);
  std::printf("moved %zu\n", moved);
  saveState(state, img);
  return 0;
}

// ---- liveness ----

// Sends _NET_WM_PING to the window, as a window manager does, and waits for
// the client to send it back to the root window. Qt answers it from the GUI
// thread's event processing, so an answer means that thread is taking events.
int ping(Display* dpy, Window top, double seconds) {
  const Window root = DefaultRootWindow(dpy);
  // Qt sends the answer with StructureNotify and SubstructureRedirect set;
  // a window manager sees it through the redirect, this program through the
  // root's StructureNotify (the redirect can only have one owner).
  XSelectInput(dpy, root, StructureNotifyMask | SubstructureNotifyMask);
  const Atom protocols = XInternAtom(dpy, "WM_PROTOCOLS", False);
  const Atom pingAtom = XInternAtom(dpy, "_NET_WM_PING", False);
  const long stamp = long(std::chrono::steady_clock::now().time_since_epoch().count() & 0x7fffffff);
  XEvent e;
  std::memset(&e, 0, sizeof e);
  e.xclient.type = ClientMessage;
  e.xclient.window = top;
  e.xclient.message_type = protocols;
  e.xclient.format = 32;
  e.xclient.data.l[0] = long(pingAtom);
  e.xclient.data.l[1] = stamp;
  e.xclient.data.l[2] = long(top);
  XSendEvent(dpy, top, False, NoEventMask, &e);
  XSync(dpy, False);
  if (gWindowGone) return 2;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  const int fd = ConnectionNumber(dpy);
  for (;;) {
    while (XPending(dpy)) {
      XEvent r;
      XNextEvent(dpy, &r);
      if (r.type == ClientMessage && r.xclient.window == root && r.xclient.message_type == protocols &&
          Atom(r.xclient.data.l[0]) == pingAtom && r.xclient.data.l[1] == stamp)
        return 0;
      if (r.type == DestroyNotify && r.xdestroywindow.window == top) return 2;
      if (r.type == UnmapNotify && r.xunmap.window == top) return 2;
    }
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) break;
    const long us = long(std::chrono::duration_cast<std::chrono::microseconds>(left).count());
    timeval tv{us / 1000000, us % 1000000};
    fd_set fds;
    FD_ZERO(&fds);
    FD_SET(fd, &fds);
    select(fd + 1, &fds, nullptr, nullptr, &tv);
  }
  // No answer: tell a vanished window from a silent one.
  XWindowAttributes a;
  if (!XGetWindowAttributes(dpy, top, &a)) return 2;
  XSync(dpy, False);
  return gWindowGone ? 2 : 1;
}

// A hash of the screen rectangle (x, y, w, h), to tell whether it changed.
int hashRegion(Display* dpy, int x, int y, int w, int h) {
  XImage* img = XGetImage(dpy, DefaultRootWindow(dpy), x, y, unsigned(w), unsigned(h), AllPlanes, ZPixmap);
  if (!img) return 1;
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (int yy = 0; yy < h; ++yy)
    for (int xx = 0; xx < w; ++xx) {
      hash ^= uint64_t(XGetPixel(img, xx, yy));
      hash *= 1099511628211ull;
    }
  XDestroyImage(img);
  std::printf("%016llx\n", static_cast<unsigned long long>(hash));
  return 0;
}

// The view saved by `targets` as a PNG file.
int statePng(const char* state, const char* path) {
  Image img;
  if (!loadState(state, img)) return 1;
  return writePng(img, path) ? 0 : 1;
}

int shot(Display* dpy, Window top, const char* path) {
  Image img;
  if (!grab(dpy, top, img)) return 2;
  return writePng(img, path) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: soak_probe find|layout|rows|targets|ping|hash|shot|png ...\n");
    return 64;
  }
  if (std::string(argv[1]) == "png" && argc == 4) return statePng(argv[2], argv[3]);  // needs no display
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) {
    std::fprintf(stderr, "soak_probe: cannot open display\n");
    return 3;
  }
  XSetErrorHandler(onXError);
  const std::string cmd = argv[1];
  const Window top = parseWindow(argv[2]);
  int rc = 64;
  if (cmd == "find" && argc == 4)
    rc = find(dpy, std::strtol(argv[2], nullptr, 10), argv[3]);
  else if (cmd == "layout" && argc == 3)
    rc = layout(dpy, top);
  else if (cmd == "rows" && argc == 3)
    rc = listRows(dpy, top);
  else if (cmd == "targets" && argc == 5)
    rc = targets(dpy, top, unsigned(std::strtoul(argv[3], nullptr, 10)), argv[4]);
  else if (cmd == "ping" && argc == 4)
    rc = ping(dpy, top, std::strtod(argv[3], nullptr));
  else if (cmd == "hash" && argc == 6)
    rc = hashRegion(dpy, std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
  else if (cmd == "shot" && argc == 4)
    rc = shot(dpy, top, argv[3]);
  XCloseDisplay(dpy);
  return rc;
}
