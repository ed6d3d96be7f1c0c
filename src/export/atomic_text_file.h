#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

class QSaveFile;

// A text file that appears under its name only when it was written whole.
// The text goes to a temporary file beside the target; commit() renames it
// over the target. A failure at any point (the folder is missing, the disk is
// full, the writer gives up) leaves any previous file of that name untouched
// and no partial file behind.
class AtomicTextFile {
 public:
  AtomicTextFile();
  ~AtomicTextFile();  // discards the text when commit() was not reached
  AtomicTextFile(const AtomicTextFile&) = delete;
  AtomicTextFile& operator=(const AtomicTextFile&) = delete;

  // Opens the temporary file for `path`. False when it cannot be created.
  bool open(const QString& path);

  // Appends text. Output is buffered; errors are remembered and reported by
  // commit().
  void write(const char* text);
  void write(const QByteArray& text);
  // printf-style formatting (the C locale's decimal point).
  void printf(const char* format, ...) __attribute__((format(printf, 2, 3)));

  // Flushes, then renames the temporary file over the target. True when the
  // whole text reached the disk under the target's name.
  bool commit();

 private:
  void flushBuffer();

  std::unique_ptr<QSaveFile> file_;
  QByteArray buffer_;
  bool failed_ = false;
};
