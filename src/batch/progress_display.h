#pragma once

#include <QString>
#include <cstdio>

// What the batch shows while it works: a bar redrawn in place when standard
// output is a terminal (models done out of all, failures, and each running
// model's stage), one plain line per finished model otherwise, nothing when
// quiet. Messages for standard error pass through here so that they never
// land in the middle of the bar.
class ProgressDisplay {
 public:
  enum Mode { Bar, Lines, Quiet };

  ProgressDisplay(Mode mode, int total, std::FILE* out = stdout, std::FILE* err = stderr);

  // Bar on a terminal, Lines otherwise, Quiet when asked.
  static Mode modeFor(bool quiet, std::FILE* out = stdout);

  // The stage a running model (slot = its worker) has reached.
  void stage(int slot, const QString& model, const QString& stageName);
  // A model has finished: status "done", "skipped" or "failed"; detail is
  // shown in the plain line ("7 planes, 2.3 s").
  void finished(int slot, const QString& model, const QString& status, const QString& detail);
  // One line on standard error (a failure or a warning).
  void error(const QString& line);
  // Ends the bar with a newline.
  void close();

  // The bar's text without the carriage return, for tests.
  QString barText() const;

 private:
  void redraw();
  void clearBar();

  Mode mode_;
  int total_, done_ = 0, failed_ = 0, skipped_ = 0;
  QString running_[64];
  std::FILE* out_;
  std::FILE* err_;
  bool drawn_ = false;
};
