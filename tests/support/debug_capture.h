#pragma once

#include <QStringList>
#include <QtGlobal>

namespace testsupport {

// Collects the debug-log messages issued during its lifetime, from any
// thread (the selection run logs from its own). Captures nest: the innermost
// one receives the messages. Read the messages once the threads that log
// have finished.
class DebugCapture {
 public:
  DebugCapture();
  ~DebugCapture();
  DebugCapture(const DebugCapture&) = delete;
  DebugCapture& operator=(const DebugCapture&) = delete;

  QStringList messages() const;
  QStringList lines() const { return messages(); }
  // Messages containing `text`.
  QStringList matching(const QString& text) const { return messages().filter(text); }
  bool contains(const QString& line) const { return messages().contains(line); }

 private:
  static void handler(QtMsgType type, const QMessageLogContext& context, const QString& message);
  QStringList messages_;
  QtMessageHandler previous_ = nullptr;
  DebugCapture* outer_ = nullptr;
};

}  // namespace testsupport
