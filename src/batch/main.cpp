// korvane-batch: the research pipeline without a window, over many models.
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

#include "batch/batch_options.h"
#include "batch/batch_runner.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QStringList args = app.arguments();
  args.removeFirst();
  BatchOptions options;
  QString error;
  if (!parseBatchOptions(args, options, error)) {
    std::fprintf(stderr, "korvane-batch: %s\nTry korvane-batch --help.\n", error.toLocal8Bit().constData());
    return 2;
  }
  if (options.help) {
    std::fputs(batchHelpText().toLocal8Bit().constData(), stdout);
    return 0;
  }
  if (options.worker) return runWorker(options);
  return runBatch(options, QCoreApplication::applicationFilePath());
}
