#include "batch/progress_display.h"

#include <QStringList>
#include <unistd.h>

namespace {
constexpr int kBarWidth = 24;
constexpr int kMaxSlots = 64;
constexpr int kMaxLineWidth = 120;
}  // namespace

ProgressDisplay::ProgressDisplay(Mode mode, int total, std::FILE* out, std::FILE* err)
    : mode_(mode), total_(total), out_(out), err_(err) {}

ProgressDisplay::Mode ProgressDisplay::modeFor(bool quiet, std::FILE* out) {
  if (quiet) return Quiet;
  return isatty(fileno(out)) ? Bar : Lines;
}

QString ProgressDisplay::barText() const {
  const int finished = done_ + failed_ + skipped_;
  const int filled = total_ > 0 ? finished * kBarWidth / total_ : kBarWidth;
  QString text = QStringLiteral("[") + QString(filled, QLatin1Char('#')) +
                 QString(kBarWidth - filled, QLatin1Char('.')) + QStringLiteral("] ") +
                 QStringLiteral("%1/%2 models").arg(finished).arg(total_);
  if (failed_ > 0) text += QStringLiteral(", %1 failed").arg(failed_);
  QStringList running;
  for (const QString& r : running_)
    if (!r.isEmpty()) running.append(r);
  if (!running.isEmpty()) text += QStringLiteral(" | ") + running.join(QStringLiteral(", "));
  if (text.size() > kMaxLineWidth) text = text.left(kMaxLineWidth - 3) + QStringLiteral("...");
  return text;
}

void ProgressDisplay::clearBar() {
  if (mode_ == Bar && drawn_) {
    std::fputs("\r\033[K", out_);
    std::fflush(out_);
    drawn_ = false;
  }
}

void ProgressDisplay::redraw() {
  if (mode_ != Bar) return;
  std::fputs("\r\033[K", out_);
  std::fputs(barText().toLocal8Bit().constData(), out_);
  std::fflush(out_);
  drawn_ = true;
}

void ProgressDisplay::stage(int slot, const QString& model, const QString& stageName) {
  if (slot < 0 || slot >= kMaxSlots) return;
  running_[slot] = model + QStringLiteral(": ") + stageName;
  redraw();
}

void ProgressDisplay::finished(int slot, const QString& model, const QString& status, const QString& detail) {
  if (slot >= 0 && slot < kMaxSlots) running_[slot].clear();
  if (status == QLatin1String("failed"))
    ++failed_;
  else if (status == QLatin1String("skipped"))
    ++skipped_;
  else
    ++done_;
  if (mode_ == Lines) {
    QString line = QStringLiteral("[%1/%2] %3 %4").arg(done_ + failed_ + skipped_).arg(total_).arg(status, model);
    if (!detail.isEmpty()) line += QStringLiteral(" (") + detail + QStringLiteral(")");
    std::fprintf(out_, "%s\n", line.toLocal8Bit().constData());
    std::fflush(out_);
  }
  redraw();
}

void ProgressDisplay::error(const QString& line) {
  clearBar();
  std::fprintf(err_, "%s\n", line.toLocal8Bit().constData());
  std::fflush(err_);
  redraw();
}

void ProgressDisplay::close() {
  if (mode_ == Bar && drawn_) {
    std::fputs("\n", out_);
    std::fflush(out_);
    drawn_ = false;
  }
}
