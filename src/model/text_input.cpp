#include "model/text_input.h"

#include <QDebug>
#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <locale.h>

#include "trimesh/regular_file.h"

namespace {

locale_t cLocale() {
  static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return loc;
}

inline bool isSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Parses the number token s (no white space in it) completely.
bool tokenToFloat(const char* s, float& value) {
  if (!*s) return false;
  char* end = nullptr;
  const float v = strtof_l(s, &end, cLocale());
  if (end == s || *end) return false;
  value = v;
  return true;
}

bool tokenToInt(const char* s, int& value) {
  if (!*s) return false;
  char* end = nullptr;
  errno = 0;
  const long long v = strtoll_l(s, &end, 10, cLocale());
  if (end == s || *end || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
  value = int(v);
  return true;
}

// `text` without surrounding white space, as a zero-terminated token; false
// when it is empty, holds white space inside or is too long to be a number.
bool trimmedToken(const QByteArray& text, char* buf, int size) {
  const QByteArray t = text.trimmed();
  if (t.isEmpty() || t.size() >= size) return false;
  for (char c : t)
    if (isSpace(static_cast<unsigned char>(c)) || c == '\0') return false;
  std::memcpy(buf, t.constData(), size_t(t.size()));
  buf[t.size()] = '\0';
  return true;
}

}  // namespace

bool parseFloatC(const QByteArray& text, float& value) {
  char buf[128];
  return trimmedToken(text, buf, sizeof buf) && tokenToFloat(buf, value);
}

bool parseIntC(const QByteArray& text, int& value) {
  char buf[128];
  return trimmedToken(text, buf, sizeof buf) && tokenToInt(buf, value);
}

TextInput::TextInput(const char* path, const char* what) {
  const char* reason = nullptr;
  file_ = trimesh_util::open_regular_file(path, "rb", &reason);
  if (!file_ && reason && std::strcmp(reason, "not a regular file") == 0)
    qDebug("The %s %s is not a regular file; not read", what, path);
}

TextInput::~TextInput() {
  if (file_) std::fclose(file_);
}

bool TextInput::fill() {
  if (pos_ < len_) return true;
  if (!file_) return false;
  pos_ = 0;
  len_ = std::fread(buffer_, 1, sizeof buffer_, file_);
  if (len_ == 0 && std::ferror(file_)) failed_ = true;
  return len_ > 0;
}

int TextInput::get() { return fill() ? static_cast<unsigned char>(buffer_[pos_++]) : -1; }

int TextInput::peek() { return fill() ? static_cast<unsigned char>(buffer_[pos_]) : -1; }

void TextInput::skipLine() {
  while (fill()) {
    const void* nl = std::memchr(buffer_ + pos_, '\n', len_ - pos_);
    if (nl) {
      pos_ = size_t(static_cast<const char*>(nl) - buffer_) + 1;
      return;
    }
    pos_ = len_;
  }
}

void TextInput::skipSpace() {
  while (isSpace(peek())) ++pos_;
}

void TextInput::skipSpaceAndComments() {
  while (true) {
    skipSpace();
    if (peek() != '#') return;
    skipLine();
  }
}

bool TextInput::readLine(QByteArray& line, int maxLength, bool& truncated) {
  line.clear();
  truncated = false;
  if (!fill()) return false;
  while (fill()) {
    const char* start = buffer_ + pos_;
    const size_t avail = len_ - pos_;
    const void* nl = std::memchr(start, '\n', avail);
    const size_t chunk = nl ? size_t(static_cast<const char*>(nl) - start) : avail;
    const size_t room = line.size() < maxLength ? size_t(maxLength - line.size()) : 0;
    if (chunk > room) truncated = true;
    line.append(start, int(qMin(chunk, room)));
    pos_ += chunk;
    if (nl) {
      ++pos_;  // the line break
      break;
    }
  }
  if (line.endsWith('\r')) line.chop(1);
  return true;
}

bool TextInput::readToken(char* buf, int size) {
  skipSpace();
  if (peek() < 0) return false;
  int n = 0;
  bool tooLong = false;
  for (int c = peek(); c >= 0 && !isSpace(c); c = peek()) {
    ++pos_;
    if (n + 1 < size)
      buf[n++] = char(c);
    else
      tooLong = true;
  }
  buf[tooLong ? 0 : n] = '\0';
  return true;
}

bool TextInput::readInt(int& value) {
  char buf[128];
  return readToken(buf, sizeof buf) && tokenToInt(buf, value);
}

bool TextInput::readFloat(float& value) {
  char buf[128];
  return readToken(buf, sizeof buf) && tokenToFloat(buf, value);
}
