// Valid models with hostile companion files: segmentation files with the
// wrong number of lines, numbers beyond the integer range and binary junk;
// symmetry files with 40,000 records, non-finite numbers and long lines. A
// companion file never makes the model fail: the model is done, with
// warnings.

#include "corpus_builder.h"
#include "modelgen/writer.h"

namespace corpus {

using modelgen::Model;

namespace {

std::string randomBytes(const std::string& seed, size_t n) {
  SeededRandom random(seed);
  std::string bytes(n, '\0');
  for (char& c : bytes) c = char(random.below(256));
  return bytes;
}

std::string repeated(const std::string& line, size_t times) {
  std::string s;
  s.reserve(line.size() * times);
  for (size_t k = 0; k < times; ++k) s += line;
  return s;
}

// One model of a companion-file case: the model, its valid companion files,
// then the one companion file `suffix` replaced by `make` (which gets the
// file's name). Nothing is written for a case outside the build.
template <typename Make>
void companionCase(CorpusBuilder& b, const Model& m, const std::string& kind, const std::string& variant,
                   const std::string& suffix, const std::string& note, bool sample, Make make) {
  const std::string name = kind + "-" + variant;
  if (b.wanted(sample)) {
    Model named = m;
    named.name = name;
    if (!modelgen::writeModel(named, b.dir())) b.fail("cannot write " + b.path(name + ".off"));
    make(name + suffix);
  }
  b.list(kind, name + ".off", Expect::Ok, note, sample);
}

}  // namespace

void addSegmentationFiles(CorpusBuilder& b, const Model& m) {
  const size_t faces = m.faces.size();
  const auto text = [&](const std::string& kind, const std::string& variant, const std::string& note, bool sample,
                        const std::string& bytes) {
    companionCase(b, m, kind, variant, "_0.seg", note, sample,
                  [&](const std::string& file) { b.writeFile(file, bytes); });
  };
  text("seg-count", "empty", "an empty segmentation file", false, "");
  text("seg-count", "one-line", "one line for all faces", false, "1\n");
  text("seg-count", "one-short", "one line fewer than faces", false, repeated("2\n", faces - 1));
  text("seg-count", "one-over", "one line more than faces", false, repeated("2\n", faces + 1));
  text("seg-count", "ten-times", "ten lines per face", true, repeated("3\n", faces * 10));
  text("seg-count", "blank-lines", "as many blank lines as faces", false, repeated("\n", faces));

  text("seg-numbers", "int-max-plus-one", "every id 2^31", true, repeated("2147483648\n", faces));
  text("seg-numbers", "int-min-minus-one", "every id -2^31-1", false, repeated("-2147483649\n", faces));
  text("seg-numbers", "float-1e400", "every id 1e400", false, repeated("1e400\n", faces));
  text("seg-numbers", "twenty-digits", "every id twenty digits long", false, repeated("99999999999999999999\n", faces));
  text("seg-numbers", "minus-one", "every id -1", false, repeated("-1\n", faces));
  text("seg-numbers", "hexadecimal", "every id 0x10", false, repeated("0x10\n", faces));

  text("seg-junk", "random-64k", "64 KiB of random bytes", true, randomBytes("seg-random-64k", 64 << 10));
  text("seg-junk", "random-1m", "1 MiB of random bytes", false, randomBytes("seg-random-1m", 1 << 20));
  text("seg-junk", "nul-bytes", "NUL bytes between the ids", false, repeated(std::string("1\0\0\n", 4), faces));
  text("seg-junk", "one-line-10m", "one line of 10 MiB without a line break", false, std::string(10 << 20, '7'));
  companionCase(b, m, "seg-junk", "directory", "_0.seg", "a folder in place of the file", false,
                [&](const std::string& file) { b.makeDirectory(file); });
  companionCase(b, m, "seg-junk", "fifo", "_0.seg", "a FIFO nobody writes in place of the file", false,
                [&](const std::string& file) { b.makeFifo(file); });
  companionCase(b, m, "seg-junk", "dev-zero", "_0.seg", "a link to /dev/zero in place of the file", false,
                [&](const std::string& file) { b.makeLink(file, "/dev/zero"); });
}

void addSymmetryFiles(CorpusBuilder& b, const Model& m) {
  const auto text = [&](const std::string& kind, const std::string& variant, const std::string& note, bool sample,
                        const std::string& bytes) {
    companionCase(b, m, kind, variant, ".sym", note, sample,
                  [&](const std::string& file) { b.writeFile(file, bytes); });
  };
  text("sym-many", "planes-40000", "40,000 plane records", true, repeated("P 0 1 0 0.25\n", 40000));
  text("sym-many", "axes-40000", "40,000 axis records", false, repeated("A 0 0 0.5 0.1 0.1 0.1\n", 40000));
  text("sym-many", "lines-40000-ignored", "40,000 lines that are no records", false,
       repeated("x 1 2 3 4 5 6\n", 40000));

  text("sym-nonfinite", "nan", "a plane with a NaN normal", true, "P nan 1 0 0\nA 0 1 0 0 0 0\n");
  text("sym-nonfinite", "inf", "a plane with an infinite offset", false, "P 0 1 0 inf\n");
  text("sym-nonfinite", "float-overflow", "an axis of length 1e39", false, "A 1e39 0 0 0 0 0\n");
  text("sym-nonfinite", "zero-normal", "a plane with a zero normal", false, "P 0 0 0 0.5\n");
  text("sym-nonfinite", "huge-offset", "a plane 3e38 from the origin", false, "P 0 1 0 3e38\n");
  text("sym-nonfinite", "nan-axis-point", "an axis through a NaN point", false, "A 0 1 0 nan -nan 0\n");

  text("sym-long-line", "one-1m-line", "a plane record followed by 1 MiB on its line", true,
       "P 0 1 0 0" + std::string(1 << 20, ' ') + "\n");
  text("sym-long-line", "10m-without-break", "10 MiB without a line break", false, std::string(10 << 20, 'P'));
  text("sym-long-line", "100000-fields", "a plane record of 100,000 fields", false,
       "P 0 1 0 0" + repeated(" 1", 100000) + "\n");

  text("sym-junk", "random-64k", "64 KiB of random bytes", true, randomBytes("sym-random-64k", 64 << 10));
  text("sym-junk", "nul-bytes", "NUL bytes inside the records", false,
       std::string("P 0 1\0 0 0\nA\0 1 0 0 0 0 0\n", 26));
  text("sym-junk", "double-spaces", "records with two spaces between fields", false,
       "P  0  1  0  0\nA  0  1  0  0  0  0\n");
  text("sym-junk", "few-fields", "records with too few fields", false, "P 1\nA 0 1\nP\nA\n");
  companionCase(b, m, "sym-junk", "directory", ".sym", "a folder in place of the file", false,
                [&](const std::string& file) { b.makeDirectory(file); });
  companionCase(b, m, "sym-junk", "fifo", ".sym", "a FIFO nobody writes in place of the file", false,
                [&](const std::string& file) { b.makeFifo(file); });
  companionCase(b, m, "sym-junk", "dev-zero", ".sym", "a link to /dev/zero in place of the file", false,
                [&](const std::string& file) { b.makeLink(file, "/dev/zero"); });
}

}  // namespace corpus
