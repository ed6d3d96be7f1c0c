#include "export/atomic_text_file.h"

#include <QSaveFile>
#include <locale.h>

#include <cstdarg>
#include <cstdio>

namespace {
// Text is handed to the file in chunks of about this size.
constexpr int kFlushSize = 1 << 16;

// The application runs in the user's locale, which may write "0,5" for
// one half; every file we write uses the C locale's "0.5".
locale_t cLocale() {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
  return c;
}

// Switches the calling thread to the C locale for one scope.
class CLocaleScope {
 public:
  CLocaleScope() : previous_(cLocale() ? uselocale(cLocale()) : locale_t(nullptr)) {}
  ~CLocaleScope() {
    if (previous_) uselocale(previous_);
  }

 private:
  locale_t previous_;
};
}  // namespace

AtomicTextFile::AtomicTextFile() = default;

AtomicTextFile::~AtomicTextFile() {
  if (file_) file_->cancelWriting();
}

bool AtomicTextFile::open(const QString& path) {
  file_ = std::make_unique<QSaveFile>(path);
  buffer_.clear();
  failed_ = false;
  if (!file_->open(QIODevice::WriteOnly)) {
    file_.reset();
    return false;
  }
  return true;
}

void AtomicTextFile::write(const char* text) {
  buffer_.append(text);
  if (buffer_.size() >= kFlushSize) flushBuffer();
}

void AtomicTextFile::write(const QByteArray& text) {
  buffer_.append(text);
  if (buffer_.size() >= kFlushSize) flushBuffer();
}

void AtomicTextFile::printf(const char* format, ...) {
  CLocaleScope cNumbers;
  char local[512];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(local, sizeof local, format, args);
  va_end(args);
  if (n < 0) {
    failed_ = true;
  } else if (n < int(sizeof local)) {
    buffer_.append(local, n);
  } else {
    QByteArray big(n + 1, '\0');
    std::vsnprintf(big.data(), size_t(n) + 1, format, again);
    buffer_.append(big.constData(), n);
  }
  va_end(again);
  if (buffer_.size() >= kFlushSize) flushBuffer();
}

void AtomicTextFile::flushBuffer() {
  if (!file_ || buffer_.isEmpty()) return;
  if (!failed_ && file_->write(buffer_) != buffer_.size()) failed_ = true;
  buffer_.clear();
}

bool AtomicTextFile::commit() {
  if (!file_) return false;
  flushBuffer();
  if (failed_) {
    file_->cancelWriting();
    file_->commit();  // drops the temporary file
    file_.reset();
    return false;
  }
  const bool ok = file_->commit();
  file_.reset();
  return ok;
}
