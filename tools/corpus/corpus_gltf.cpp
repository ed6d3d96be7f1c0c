// glTF files that attack the node graph (chains deeper than any stack,
// graphs that list each child twice and so ask for exponentially many
// instances) and the buffer (a device, a FIFO, a folder, a huge sparse file,
// a missing file, data uris that are not base64).

#include "corpus_builder.h"
#include "mesh_files.h"

namespace corpus {

using modelgen::Model;

namespace {

// Nodes 0 .. depth-1, node i listing node i+1 `copies` times; the last node
// holds the mesh (and with `meshEverywhere`, every node does).
GltfLayout nodeGraph(int depth, int copies, bool meshEverywhere) {
  GltfLayout layout;
  layout.nodes = "[";
  for (int i = 0; i < depth; ++i) {
    if (i > 0) layout.nodes += ",";
    layout.nodes += "{";
    if (i + 1 < depth) {
      layout.nodes += "\"children\":[";
      for (int c = 0; c < copies; ++c) layout.nodes += (c ? "," : "") + std::to_string(i + 1);
      layout.nodes += "]";
      if (meshEverywhere) layout.nodes += ",\"mesh\":0";
    } else {
      layout.nodes += "\"mesh\":0";
    }
    layout.nodes += "}";
  }
  layout.nodes += "]";
  return layout;
}

GltfLayout external(const std::string& uri, long long byteLength = -1) {
  GltfLayout layout;
  layout.externalBuffer = true;
  layout.bufferUri = uri;
  layout.byteLength = byteLength;
  return layout;
}

}  // namespace

void addGltfGraphs(CorpusBuilder& b, const Model& m) {
  // The files are large: made only when they are part of the build.
  for (int depth : {1000, 10000, 100000, 1000000}) {
    const bool sample = depth == 100000;
    b.add("gltf-deep-chain", "gltf-deep-chain-" + std::to_string(depth) + ".gltf", Expect::Any,
          b.wanted(sample) ? gltfText(m, nodeGraph(depth, 1, false)) : std::string(),
          std::to_string(depth) + " nodes, each the child of the one before", sample);
  }
  b.add("gltf-deep-chain", "gltf-deep-chain-100000.glb", Expect::Any,
        b.wanted(false) ? glbBytes(m, nodeGraph(100000, 1, false)) : std::string(),
        "binary container, 100000 nodes, each the child of the one before", false);

  const struct {
    const char* name;
    int depth, copies;
    bool meshEverywhere;
    const char* note;
  } graphs[] = {
      {"twice-10", 10, 2, false, "each of 10 nodes lists the next twice (512 instances of the mesh)"},
      {"twice-20", 20, 2, false, "each of 20 nodes lists the next twice (2^19 instances)"},
      {"twice-26", 26, 2, false, "each of 26 nodes lists the next twice (2^25 instances)"},
      {"twice-30", 30, 2, false, "each of 30 nodes lists the next twice (2^29 instances)"},
      {"twice-40", 40, 2, false, "each of 40 nodes lists the next twice (2^39 instances)"},
      {"thrice-20", 20, 3, false, "each of 20 nodes lists the next three times (3^19 instances)"},
      {"twice-25-mesh-everywhere", 25, 2, true, "each of 25 nodes holds the mesh and lists the next twice"},
  };
  for (const auto& g : graphs) {
    const bool sample = g.name == std::string("twice-30");
    b.add("gltf-instanced", std::string("gltf-instanced-") + g.name + ".gltf", Expect::Any,
          b.wanted(sample) ? gltfText(m, nodeGraph(g.depth, g.copies, g.meshEverywhere)) : std::string(), g.note,
          sample);
  }
}

void addGltfBuffers(CorpusBuilder& b, const Model& m) {
  const long long size = (long long)gltfGeometry(m).size();
  const auto add = [&](const std::string& kind, const std::string& name, Expect expect, const std::string& bytes,
                       const std::string& note, bool sample) {
    b.add(kind, kind + "-" + name, expect, b.wanted(sample) ? bytes : std::string(), note, sample);
  };

  add("gltf-buffer-device", "dev-zero.gltf", Expect::Any, gltfText(m, external("/dev/zero")),
      "the buffer is /dev/zero, its own length", false);
  add("gltf-buffer-device", "dev-zero-2g.gltf", Expect::Any, gltfText(m, external("/dev/zero", 1ll << 31)),
      "the buffer is /dev/zero, 2 GiB long", false);
  add("gltf-buffer-device", "dev-zero-1t.gltf", Expect::Any, gltfText(m, external("/dev/zero", 1ll << 40)),
      "the buffer is /dev/zero, 1 TiB long", true);
  add("gltf-buffer-device", "dev-urandom.gltf", Expect::Any, gltfText(m, external("/dev/urandom")),
      "the buffer is /dev/urandom", false);
  add("gltf-buffer-device", "proc-self-mem.gltf", Expect::Refuse, gltfText(m, external("/proc/self/mem")),
      "the buffer is /proc/self/mem", false);

  b.makeFifo("gltf-buffer-fifo.bin");
  add("gltf-buffer-fifo", "fifo.gltf", Expect::Refuse, gltfText(m, external("gltf-buffer-fifo.bin")),
      "the buffer is a FIFO nobody writes", true);
  add("gltf-buffer-fifo", "fifo.glb", Expect::Refuse, glbBytes(m, external("gltf-buffer-fifo.bin")),
      "binary container, the buffer is a FIFO nobody writes", false);

  b.makeDirectory("gltf-buffer-folder.bin");
  add("gltf-buffer-directory", "dot.gltf", Expect::Refuse, gltfText(m, external(".")), "the buffer is \".\"", true);
  add("gltf-buffer-directory", "root.gltf", Expect::Refuse, gltfText(m, external("/")), "the buffer is \"/\"", false);
  add("gltf-buffer-directory", "folder.gltf", Expect::Refuse, gltfText(m, external("gltf-buffer-folder.bin")),
      "the buffer is a folder", false);

  // Sparse files: their size costs no disk.
  b.makeSparseFile("gltf-buffer-sparse-4g.bin", 4ll << 30);
  if (b.wanted(false)) b.makeSparseFile("gltf-buffer-sparse-2500m.bin", 2500ll << 20);
  add("gltf-buffer-sparse", "4g.gltf", Expect::Any, gltfText(m, external("gltf-buffer-sparse-4g.bin", 4ll << 30)),
      "the buffer is a sparse file of 4 GiB, all of it declared", true);
  add("gltf-buffer-sparse", "4g-small.gltf", Expect::Any, gltfText(m, external("gltf-buffer-sparse-4g.bin")),
      "the buffer is a sparse file of 4 GiB, the geometry's length declared", false);
  add("gltf-buffer-sparse", "2500m.gltf", Expect::Any,
      gltfText(m, external("gltf-buffer-sparse-2500m.bin", 2500ll << 20)),
      "the buffer is a sparse file of 2500 MiB, all of it declared", false);
  add("gltf-buffer-sparse", "8g-of-4g.gltf", Expect::Refuse,
      gltfText(m, external("gltf-buffer-sparse-4g.bin", 8ll << 30)),
      "the buffer is a sparse file of 4 GiB, 8 GiB declared", false);

  add("gltf-buffer-missing", "absent.gltf", Expect::Refuse, gltfText(m, external("gltf-buffer-absent.bin")),
      "the buffer file does not exist", true);
  add("gltf-buffer-missing", "empty-uri.gltf", Expect::Refuse, gltfText(m, external("")), "the buffer uri is empty",
      false);
  add("gltf-buffer-missing", "escaped-nul.gltf", Expect::Refuse, gltfText(m, external("%00")),
      "the buffer uri is an escaped NUL", false);
  add("gltf-buffer-missing", "passwd.gltf", Expect::Any,
      gltfText(m, external("../../../../../../../../../../etc/passwd")), "the buffer uri climbs to /etc/passwd", false);
  add("gltf-buffer-missing", "http.gltf", Expect::Refuse, gltfText(m, external("http://127.0.0.1:9/buffer.bin")),
      "the buffer uri is a web address", false);
  add(
      "gltf-buffer-missing", "glb-without-chunk.glb", Expect::Refuse,
      [&] {
        // A binary container whose buffer has no uri and no BIN chunk.
        GltfLayout layout = external("");
        std::string bytes = glbBytes(m, layout);
        const std::string uri = "\"uri\":\"\",";
        const size_t at = bytes.find(uri);
        if (at != std::string::npos) bytes.replace(at, uri.size(), std::string(uri.size(), ' '));
        return bytes;
      }(),
      "binary container, its buffer with neither uri nor chunk", false);

  const std::string good = base64Text(gltfGeometry(m));
  const std::string head = "data:application/octet-stream;base64,";
  add("gltf-data-uri", "bad-characters.gltf", Expect::Refuse, gltfText(m, external(head + "@@@@!!!!%%%%" + good)),
      "a data uri with characters outside base64", true);
  add("gltf-data-uri", "truncated.gltf", Expect::Refuse,
      gltfText(m, external(head + good.substr(0, good.size() * 2 / 3 + 1), size)),
      "a data uri cut to two thirds, not a multiple of four", false);
  add("gltf-data-uri", "no-comma.gltf", Expect::Refuse, gltfText(m, external("data:application/octet-stream;base64")),
      "a data uri without its data", false);
  add("gltf-data-uri", "padding-only.gltf", Expect::Refuse, gltfText(m, external(head + "========")),
      "a data uri of padding only", false);
  add("gltf-data-uri", "plain-text.gltf", Expect::Refuse,
      gltfText(m, external("data:application/octet-stream,not base64 at all")), "a data uri that is not base64", false);
  add("gltf-data-uri", "huge-declared.gltf", Expect::Refuse, gltfText(m, external(head + good, 1ll << 40)),
      "a good data uri with 1 TiB declared", false);
}

}  // namespace corpus
