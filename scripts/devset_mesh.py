#!/usr/bin/env python3
"""Mesh conversions for the development set (scripts/devset.sh), standard library only.

    devset_mesh.py obj2off IN.obj OUT.off     OBJ (v and f lines) to OFF
    devset_mesh.py json2off IN.json OUT.off   {"positions": [[x,y,z],...], "cells": [[i,j,k],...]}
    devset_mesh.py vtp2off IN.vtp OUT.off     VTK XML PolyData (ascii or inline binary,
                                              raw or zlib) to OFF; polygons only
    devset_mesh.py stats IN.off               counts only

Every conversion joins vertices at identical positions, drops vertices no face
uses and writes the faces as they are (polygons stay polygons, degenerate
faces stay). Each command prints one line to standard output:

    faces <tab> vertices <tab> boundary edges <tab> non-manifold edges

where a boundary edge is an undirected edge on exactly one face and a
non-manifold edge one on three or more. A mesh is closed when it has no
boundary edge. Bad input ends with a message on standard error and status 1.
"""

import base64
import json
import re
import struct
import sys
import zlib


class MeshError(Exception):
    pass


def weld(positions, faces):
    """Joins vertices at identical positions and drops unused ones.

    positions: list of (x, y, z) float tuples; faces: lists of indices into it.
    Returns (positions, faces) with faces renumbered. O(n) with a hash map.
    """
    first_at = {}
    remap = [0] * len(positions)
    kept = []
    used = bytearray(len(positions))
    for face in faces:
        for i in face:
            if i < 0 or i >= len(positions):
                raise MeshError("face index %d outside 0..%d" % (i, len(positions) - 1))
            used[i] = 1
    for i, p in enumerate(positions):
        if not used[i]:
            continue
        j = first_at.get(p)
        if j is None:
            j = len(kept)
            first_at[p] = j
            kept.append(p)
        remap[i] = j
    return kept, [[remap[i] for i in face] for face in faces]


def edge_counts(faces):
    """(boundary edges, non-manifold edges) over undirected edges."""
    count = {}
    for face in faces:
        n = len(face)
        for k in range(n):
            a, b = face[k], face[(k + 1) % n]
            key = (a, b) if a < b else (b, a)
            count[key] = count.get(key, 0) + 1
    boundary = sum(1 for c in count.values() if c == 1)
    nonmanifold = sum(1 for c in count.values() if c > 2)
    return boundary, nonmanifold


def finite_point(values, where):
    if len(values) < 3:
        raise MeshError("%s: fewer than three coordinates" % where)
    p = (float(values[0]), float(values[1]), float(values[2]))
    for c in p:
        if c != c or c in (float("inf"), float("-inf")):
            raise MeshError("%s: coordinate is not finite" % where)
    return p


def write_off(path, positions, faces):
    with open(path, "w", encoding="ascii") as out:
        out.write("OFF\n%d %d 0\n" % (len(positions), len(faces)))
        out.writelines("%r %r %r\n" % p for p in positions)
        out.writelines("%d %s\n" % (len(f), " ".join(map(str, f))) for f in faces)


def read_off(path):
    with open(path, "r", encoding="ascii", errors="replace") as f:
        tokens = re.sub(r"#[^\n]*", " ", f.read()).split()
    if not tokens or tokens[0] != "OFF":
        raise MeshError("%s: no OFF header" % path)
    try:
        nv, nf = int(tokens[1]), int(tokens[2])
        at = 4
        positions = []
        for v in range(nv):
            positions.append(finite_point(tokens[at:at + 3], "vertex %d" % v))
            at += 3
        faces = []
        for _ in range(nf):
            n = int(tokens[at])
            faces.append([int(t) for t in tokens[at + 1:at + 1 + n]])
            if len(faces[-1]) != n:
                raise MeshError("%s: file ends inside a face" % path)
            at += 1 + n
    except (IndexError, ValueError) as e:
        raise MeshError("%s: %s" % (path, e))
    return positions, faces


def read_obj(path):
    positions, faces = [], []
    with open(path, "r", encoding="ascii", errors="replace") as f:
        for number, line in enumerate(f, 1):
            parts = line.split()
            if not parts:
                continue
            try:
                if parts[0] == "v":
                    positions.append(finite_point(parts[1:4], "%s:%d" % (path, number)))
                elif parts[0] == "f":
                    face = []
                    for corner in parts[1:]:
                        i = int(corner.split("/")[0])
                        face.append(i - 1 if i > 0 else len(positions) + i)
                    if len(face) >= 3:
                        faces.append(face)
            except ValueError as e:
                raise MeshError("%s:%d: %s" % (path, number, e))
    return positions, faces


def read_json(path):
    with open(path, "r", encoding="utf-8") as f:
        data = json.load(f)
    try:
        positions = [finite_point(p, "position %d" % k) for k, p in enumerate(data["positions"])]
        faces = [[int(i) for i in c] for c in data["cells"] if len(c) >= 3]
    except (KeyError, TypeError, ValueError) as e:
        raise MeshError("%s: %s" % (path, e))
    return positions, faces


# --- VTK XML PolyData -------------------------------------------------------

VTK_TYPES = {"Int8": "b", "UInt8": "B", "Int16": "h", "UInt16": "H", "Int32": "i", "UInt32": "I",
             "Int64": "q", "UInt64": "Q", "Float32": "f", "Float64": "d"}


def decode_binary(text, dtype, compressed, header):
    """Inline binary data: a header of block sizes, then the blocks, each part base64."""
    hsize = struct.calcsize("<" + header)
    text = "".join(text.split())
    if compressed:
        # The header (block count, block size, last block size, compressed
        # sizes) is encoded on its own; its length is known once the count is.
        first = base64.b64decode(text[:((hsize + 2) // 3) * 4])
        nblocks = struct.unpack_from("<" + header, first)[0]
        head_bytes = hsize * (3 + nblocks)
        head_chars = ((head_bytes + 2) // 3) * 4
        head = struct.unpack("<%d%s" % (3 + nblocks, header), base64.b64decode(text[:head_chars])[:head_bytes])
        data = base64.b64decode(text[head_chars:])
        raw, at = bytearray(), 0
        for size in head[3:]:
            raw += zlib.decompress(data[at:at + size])
            at += size
    else:
        blob = base64.b64decode(text)
        size = struct.unpack_from("<" + header, blob)[0]
        raw = blob[hsize:hsize + size]
    width = struct.calcsize(dtype)
    if len(raw) % width:
        raise MeshError("binary array length %d is not a multiple of %d" % (len(raw), width))
    return list(struct.unpack("<%d%s" % (len(raw) // width, dtype), raw))


def read_vtp(path):
    import xml.etree.ElementTree as ET
    root = ET.parse(path).getroot()
    if root.get("type") != "PolyData":
        raise MeshError("%s: not VTK PolyData" % path)
    if root.get("byte_order", "LittleEndian") != "LittleEndian":
        raise MeshError("%s: big-endian data is not read" % path)
    compressor = root.get("compressor")
    if compressor not in (None, "vtkZLibDataCompressor"):
        raise MeshError("%s: compressor %s is not read" % (path, compressor))
    header = "Q" if root.get("header_type") == "UInt64" else "I"

    def array(element, what):
        node = element.find("DataArray") if what is None else None
        if what is not None:
            for d in element.findall("DataArray"):
                if d.get("Name") == what:
                    node = d
        if node is None:
            raise MeshError("%s: no %s array" % (path, what or "points"))
        dtype = VTK_TYPES.get(node.get("type"))
        if dtype is None:
            raise MeshError("%s: array type %s" % (path, node.get("type")))
        form = node.get("format", "ascii")
        if form == "ascii":
            return [float(t) if dtype in "fd" else int(t) for t in (node.text or "").split()]
        if form == "binary":
            return decode_binary(node.text or "", dtype, compressor is not None, header)
        raise MeshError("%s: %s data is not read" % (path, form))

    positions, faces = [], []
    for piece in root.iter("Piece"):
        base = len(positions)
        coords = array(piece.find("Points"), None)
        positions += [finite_point(coords[k:k + 3], "point %d" % (k // 3)) for k in range(0, len(coords) - 2, 3)]
        for kind in ("Polys", "Strips"):
            cells = piece.find(kind)
            if cells is None or int(piece.get("NumberOf" + kind, "0")) == 0:
                continue
            connectivity = array(cells, "connectivity")
            offsets = array(cells, "offsets")
            start = 0
            for end in offsets:
                if end < start or end > len(connectivity):
                    raise MeshError("%s: cell offset %d out of order" % (path, end))
                cell = [base + i for i in connectivity[start:end]]
                if kind == "Polys" and len(cell) >= 3:
                    faces.append(cell)
                elif kind == "Strips":
                    faces += strip_triangles(cell)
                start = end
    return positions, faces


def strip_triangles(strip):
    """A triangle strip's triangles, every second one turned to keep the strip's
    orientation; those with a repeated vertex only turn the strip and are left out."""
    triangles = []
    for k in range(len(strip) - 2):
        a, b, c = strip[k], strip[k + 1], strip[k + 2]
        if a != b and b != c and a != c:
            triangles.append([a, b, c] if k % 2 == 0 else [b, a, c])
    return triangles


READERS = {"obj2off": read_obj, "json2off": read_json, "vtp2off": read_vtp}


def main(argv):
    if len(argv) == 3 and argv[1] == "stats":
        positions, faces = read_off(argv[2])
    elif len(argv) == 4 and argv[1] in READERS:
        positions, faces = READERS[argv[1]](argv[2])
        positions, faces = weld(positions, faces)
        if not faces:
            raise MeshError("%s: no faces" % argv[2])
        write_off(argv[3], positions, faces)
    else:
        sys.stderr.write(__doc__)
        return 2
    boundary, nonmanifold = edge_counts(faces)
    print("%d\t%d\t%d\t%d" % (len(faces), len(positions), boundary, nonmanifold))
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except (MeshError, OSError, zlib.error, struct.error) as e:
        sys.stderr.write("devset_mesh: %s\n" % e)
        sys.exit(1)
    except Exception as e:  # a malformed file the readers did not foresee
        sys.stderr.write("devset_mesh: %s: %s\n" % (type(e).__name__, e))
        sys.exit(1)
