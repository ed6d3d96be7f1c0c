// Valid models in every format the batch tool reads: written by the corpus's
// own writers, converted by the mesh library's exporters, and then damaged by
// seeded byte flips and truncations.

#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <sys/wait.h>
#include <unistd.h>

#include <assimp/Exporter.hpp>
#include <assimp/Importer.hpp>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>

#include "corpus_builder.h"
#include "mesh_files.h"
#include "modelgen/writer.h"

namespace corpus {

using modelgen::Model;

void addValidModels(CorpusBuilder& b, const std::vector<Model>& models, std::vector<SourceFile>& sources) {
  for (const Model& m : models) {
    // The OFF model with its segmentation and symmetry files.
    Model named = m;
    named.name = "valid-" + m.name;
    if (!modelgen::writeModel(named, b.dir())) b.fail("cannot write " + b.path(named.name + ".off"));
    const struct {
      const char* extension;
      std::string bytes;
    } files[] = {{"off", std::string()}, {"obj", objText(m)},   {"ply", plyAscii(m)},
                 {"stl", stlBinary(m)},  {"gltf", gltfText(m)}, {"glb", glbBytes(m)}};
    for (const auto& f : files) {
      const std::string name = "valid-" + m.name +
                               (f.extension == std::string("off") ? "" : std::string("-") + f.extension) + "." +
                               f.extension;
      if (!f.bytes.empty()) b.writeFile(name, f.bytes);
      b.list("valid", name, Expect::Ok, m.name + " written as " + f.extension, name == "valid-ball.off");
      sources.push_back({name, "valid-" + m.name + "-" + f.extension, f.extension, readBytes(b.path(name))});
    }
  }
}

namespace {

struct ExportFormat {
  const char* id;  // the exporter's format id
  const char* extension;
};

const ExportFormat kExportFormats[] = {{"collada", "dae"},  {"x", "x"},      {"stp", "stp"},       {"obj", "obj"},
                                       {"objnomtl", "obj"}, {"stl", "stl"},  {"stlb", "stl"},      {"ply", "ply"},
                                       {"plyb", "ply"},     {"3ds", "3ds"},  {"gltf2", "gltf"},    {"glb2", "glb"},
                                       {"gltf", "gltf"},    {"glb", "glb"},  {"assbin", "assbin"}, {"x3d", "x3d"},
                                       {"fbx", "fbx"},      {"fbxa", "fbx"}, {"3mf", "3mf"}};

// Runs the exporters inside the corpus folder, so that the names they write
// into their files (buffer and material file names) are the plain file names.
class InFolder {
 public:
  explicit InFolder(const std::string& dir) {
    char buf[PATH_MAX];
    if (::getcwd(buf, sizeof buf)) previous_ = buf;
    ok_ = ::chdir(dir.c_str()) == 0;
  }
  ~InFolder() {
    if (!previous_.empty() && ::chdir(previous_.c_str()) != 0) previous_.clear();
  }
  bool ok() const { return ok_; }

 private:
  std::string previous_;
  bool ok_ = false;
};

// The exporters stamp some formats with the time of export; these stamps are
// set to one fixed time so that the corpus is the same bytes every time.
void fixTimeStamps(std::string& bytes, const std::string& format) {
  // "2026-12-07T20:35:55" and "2026-12-07 20:35:55" (text dates of the
  // scene formats, the STEP header and the binary scene format's string).
  for (size_t i = 0; i + 19 <= bytes.size(); ++i) {
    static const char kPattern[] = "dddd-dd-dd?dd:dd:dd";
    bool match = true;
    for (int k = 0; k < 19 && match; ++k) {
      const char c = bytes[i + size_t(k)];
      match = kPattern[k] == 'd' ? std::isdigit(static_cast<unsigned char>(c)) != 0
                                 : (kPattern[k] == '?' ? (c == 'T' || c == ' ') : c == kPattern[k]);
    }
    if (match) bytes.replace(i, 19, std::string("2000-01-01") + bytes[i + 10] + "00:00:00");
  }
  static const char* const kFields[] = {"Year", "Month", "Day", "Hour", "Minute", "Second", "Millisecond"};
  if (format == "fbxa") {
    // "Year: 2026" lines of the text form.
    for (const char* field : kFields) {
      const std::string key = std::string("\t") + field + ": ";
      for (size_t at = bytes.find(key); at != std::string::npos; at = bytes.find(key, at + 1)) {
        size_t end = at + key.size();
        while (end < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[end]))) ++end;
        bytes.replace(at + key.size(), end - at - key.size(), field == std::string("Year") ? "2000" : "1");
      }
    }
  } else if (format == "fbx") {
    // Binary records: name length, name, property type 'I', 32-bit value.
    for (const char* field : kFields) {
      const std::string key = std::string(1, char(std::strlen(field))) + field + "I";
      const size_t at = bytes.find(key);
      if (at == std::string::npos || at + key.size() + 4 > bytes.size()) continue;
      const uint32_t value = field == std::string("Year") ? 2000 : 1;
      for (int k = 0; k < 4; ++k) bytes[at + key.size() + size_t(k)] = char((value >> (8 * k)) & 0xff);
    }
  } else if (format == "assbin") {
    // "ASSIMP.binary-dump." and the time as "Mon Dec  7 20:43:13 2026".
    const std::string head = "ASSIMP.binary-dump.";
    if (bytes.compare(0, head.size(), head) == 0 && bytes.size() >= head.size() + 24)
      bytes.replace(head.size(), 24, "Sat Jan  1 00:00:00 2000");
  } else if (format == "3mf") {
    // A zip archive: the time and date of every entry, in the central
    // directory and in each entry's local header.
    const size_t end = bytes.rfind(std::string("PK\x05\x06", 4));
    if (end == std::string::npos || end + 22 > bytes.size()) return;
    const auto u16 = [&](size_t at) { return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8; };
    const auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    const auto stamp = [&](size_t at) {
      // 00:00:00 on 1 January 2000 in the archive's date format.
      const uint32_t date = (20u << 9) | (1u << 5) | 1u;
      bytes[at] = 0;
      bytes[at + 1] = 0;
      bytes[at + 2] = char(date & 0xff);
      bytes[at + 3] = char(date >> 8);
    };
    size_t at = u32(end + 16);
    for (uint32_t n = u16(end + 10); n > 0 && at + 46 <= bytes.size(); --n) {
      if (u32(at) != 0x02014b50) break;
      stamp(at + 12);
      const size_t local = u32(at + 42);
      if (local + 30 <= bytes.size() && u32(local) == 0x04034b50) stamp(local + 10);
      at += 46 + u16(at + 28) + u16(at + 30) + u16(at + 32);
    }
  }
}

// Whether the mesh library reads triangles back from an exported file. Its
// readers can crash or hang on their own exporters' files, so the reading
// runs in a child process, stopped after ten seconds.
bool readsBack(const std::string& path) {
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    ::alarm(10);
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path, aiProcess_Triangulate);
    long long n = 0;
    for (unsigned k = 0; scene && k < scene->mNumMeshes; ++k)
      for (unsigned f = 0; f < scene->mMeshes[k]->mNumFaces; ++f) n += scene->mMeshes[k]->mFaces[f].mNumIndices == 3;
    ::_exit(n > 0 ? 0 : 1);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0)
    if (errno != EINTR) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

void addConversions(CorpusBuilder& b, const std::vector<Model>& models, std::vector<SourceFile>& sources) {
  InFolder here(b.dir());
  if (!here.ok()) return b.fail("cannot enter " + b.dir());
  for (const Model& m : models) {
    const std::string off = offText(m);
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFileFromMemory(off.data(), off.size(), 0, "off");
    if (!scene) return b.fail("the mesh library cannot read the model " + m.name);
    for (const ExportFormat& f : kExportFormats) {
      const std::string label = m.name + "-" + f.id;
      const std::string name = "convert-" + label + "." + f.extension;
      Assimp::Exporter exporter;
      if (exporter.Export(scene, f.id, name) != AI_SUCCESS) {
        b.fail("the " + std::string(f.id) + " exporter failed on " + m.name + ": " + exporter.GetErrorString());
        continue;
      }
      std::string bytes = readBytes(name);
      fixTimeStamps(bytes, f.id);
      b.writeFile(name, bytes);
      // A file the library cannot read back is its exporter's fault, but the
      // batch tool must still refuse it clearly.
      const bool readable = readsBack(b.path(name));
      b.list("convert", name, readable ? Expect::Ok : Expect::Refuse,
             m.name + " exported as " + f.id + (readable ? "" : " (the library does not read it back)"),
             name == "convert-peg-plyb.ply");
      sources.push_back({name, label, f.extension, bytes});
    }
  }
}

void addMutations(CorpusBuilder& b, const std::vector<SourceFile>& sources) {
  // Flipped bytes: anywhere (1, 2, 8 or 32 of them) or 4 in the first 64
  // bytes, where the headers are.
  for (const SourceFile& s : sources) {
    const uint64_t size = s.bytes.size();
    if (size == 0) continue;
    const struct {
      const char* variant;
      int flips;
      uint64_t within;
    } flips[] = {{"flip1", 1, size},
                 {"flip2", 2, size},
                 {"flip8", 8, size},
                 {"flip32", 32, size},
                 {"head4", 4, size < 64 ? size : 64}};
    for (const auto& f : flips) {
      const std::string name = "flip-" + s.label + "-" + f.variant + "." + s.extension;
      SeededRandom random(name);
      std::string bytes = s.bytes;
      for (int k = 0; k < f.flips; ++k) bytes[random.below(f.within)] ^= char(1 + random.below(255));
      b.add("flip", name, Expect::Any, bytes, std::to_string(f.flips) + " bytes of " + s.name + " flipped",
            name == "flip-ring-glb2-flip8.glb");
    }
  }
  // Truncations: within the first tenth (the header, mostly), anywhere, and
  // the last byte gone.
  for (const SourceFile& s : sources) {
    const uint64_t size = s.bytes.size();
    if (size == 0) continue;
    SeededRandom random("truncate-" + s.label);
    const uint64_t cuts[] = {random.below(size / 10 + 1), random.below(size), size - 1};
    const char* const variants[] = {"head", "any", "last"};
    for (int k = 0; k < 3; ++k) {
      const std::string name = "truncate-" + s.label + "-" + variants[k] + "." + s.extension;
      b.add("truncate", name, Expect::Any, s.bytes.substr(0, cuts[k]),
            s.name + " cut to " + std::to_string(cuts[k]) + " of " + std::to_string(size) + " bytes",
            name == "truncate-ball-plyb-any.ply");
    }
  }
}

}  // namespace corpus
