#include "support/debug_capture.h"

#include <mutex>

namespace testsupport {

namespace {

std::mutex& captureMutex() {
  static std::mutex m;
  return m;
}
DebugCapture* activeCapture = nullptr;

}  // namespace

DebugCapture::DebugCapture() {
  std::lock_guard<std::mutex> lock(captureMutex());
  outer_ = activeCapture;
  activeCapture = this;
  previous_ = qInstallMessageHandler(&DebugCapture::handler);
}

DebugCapture::~DebugCapture() {
  std::lock_guard<std::mutex> lock(captureMutex());
  qInstallMessageHandler(previous_);
  activeCapture = outer_;
}

QStringList DebugCapture::messages() const {
  std::lock_guard<std::mutex> lock(captureMutex());
  return messages_;
}

void DebugCapture::handler(QtMsgType, const QMessageLogContext&, const QString& message) {
  std::lock_guard<std::mutex> lock(captureMutex());
  if (activeCapture) activeCapture->messages_.append(message);
}

}  // namespace testsupport
