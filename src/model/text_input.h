#pragma once

#include <QByteArray>
#include <cstdio>

// Reading of the model's text files (model, segmentation, symmetry and cut
// files): only regular files, lines of bounded length, and numbers parsed
// the same way whatever the program's locale is.
class TextInput {
 public:
  // Opens `path` when it is a regular file. A path that exists but is not a
  // regular file (a device, a FIFO, a directory) is refused with a debug line
  // naming `what`; a file that does not open is left to the caller to report.
  explicit TextInput(const char* path, const char* what = "input");
  ~TextInput();
  TextInput(const TextInput&) = delete;
  TextInput& operator=(const TextInput&) = delete;

  bool isOpen() const { return file_ != nullptr; }
  // True once a read error (not the end of the file) stopped reading.
  bool failed() const { return failed_; }

  // Reads the next line into `line` without its line break ("\n", and a "\r"
  // before it). At most `maxLength` characters are kept; the rest of a longer
  // line is skipped in time linear in its length, without being stored, and
  // `truncated` is set. Returns false at the end of the file.
  bool readLine(QByteArray& line, int maxLength, bool& truncated);

  // Byte-wise access: the next byte (0 .. 255) or -1 at the end.
  int get();
  int peek();
  // Skips to just after the next line break.
  void skipLine();
  // Skips white space (including line breaks).
  void skipSpace();
  // Skips white space and lines starting with '#'.
  void skipSpaceAndComments();

  // After skipSpace, reads one number written as a decimal integer or a float
  // in the "C" locale ("0.25", "-1e3"). A token that is not a number, or an
  // integer outside the int range, yields false; the token is consumed either
  // way. Tokens end at white space; a token longer than 127 characters is not
  // a number.
  bool readInt(int& value);
  bool readFloat(float& value);

 private:
  bool fill();
  // Reads the next white-space separated token (after skipSpace); false at the
  // end of the file. Over-long tokens come back empty.
  bool readToken(char* buf, int size);

  std::FILE* file_ = nullptr;
  char buffer_[65536];
  size_t pos_ = 0;
  size_t len_ = 0;
  bool failed_ = false;
};

// Number parsing in the "C" locale, independent of the program's locale.
// Each parses the whole of `text` (surrounding white space allowed).
bool parseFloatC(const QByteArray& text, float& value);
bool parseIntC(const QByteArray& text, int& value);
