// korvane-batch on one input of every kind of the hostile-input corpus
// (tools/corpus; scripts/corpus.sh runs all of it), one tool run per input,
// two at a time, each under a wall-time and an address-space limit. Every
// run must end by itself, with no process killed by a signal and no more
// than 2 GB of memory, and with an exit status and a message that agree with
// what became of the input (the rules are in tools/corpus/outcome.h).
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "corpus.h"
#include "support/test_support.h"
#include "outcome.h"

TEST(HostileInputs, OneOfEachKindEndsByItselfWithoutCrashWithAClearVerdict) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString corpusDir = dir.filePath(QStringLiteral("corpus")), runs = dir.filePath(QStringLiteral("runs")),
                results = dir.filePath(QStringLiteral("results"));
  ASSERT_TRUE(QDir().mkpath(runs));
  QProcess generator;
  generator.start(QStringLiteral(KORVANE_CORPUS_EXE),
                  {QStringLiteral("generate"), QStringLiteral("--sample"), corpusDir});
  ASSERT_TRUE(generator.waitForFinished(60000));
  ASSERT_EQ(generator.exitCode(), 0) << generator.readAllStandardError().toStdString();
  std::vector<corpus::CorpusInput> inputs;
  std::string error;
  ASSERT_TRUE(corpus::readManifest((corpusDir + QStringLiteral("/manifest.tsv")).toStdString(), inputs, error))
      << error;
  ASSERT_GE(inputs.size(), 30u);

  // 60 s per input, the corpus's own line for a hang: the slowest input of
  // the sample takes about 3 s of processor time, and the suite runs beside
  // other tests on a shared machine, so a tighter wall only measures the load.
  corpus::Limits limits;
  limits.wallSeconds = 60.0;
  // The address-sanitized tool reserves terabytes of address space for its
  // own bookkeeping at start: there the reading child's budget is the only one.
  limits.budgetKb = testsupport::kAddressSanitizer ? 1ll << 36 : 3ll << 20;
  std::atomic<size_t> next{0};
  const auto work = [&] {
    for (size_t k = next++; k < inputs.size(); k = next++) {
      const QString file = QString::fromStdString(inputs[k].file), base = runs + QLatin1Char('/') + file;
      QProcess run;
      run.start(QStringLiteral(KORVANE_CORPUS_RUN_EXE),
                {QStringLiteral("--wall"), QString::number(limits.wallSeconds), QStringLiteral("--as-mb"),
                 QString::number(limits.budgetKb >> 10), QStringLiteral("--stderr"), base + QStringLiteral(".err"),
                 QStringLiteral("--record"), base + QStringLiteral(".run"), QStringLiteral("--"),
                 QStringLiteral(KORVANE_BATCH_EXE), QStringLiteral("--quiet"), QStringLiteral("--out"), results,
                 corpusDir + QLatin1Char('/') + file});
      run.waitForFinished(120000);
    }
  };
  std::thread second(work);
  work();
  second.join();

  for (const corpus::CorpusInput& input : inputs) {
    corpus::Outcome o;
    ASSERT_TRUE(
        corpus::judgeRunFiles(input, corpusDir.toStdString(), runs.toStdString(), results.toStdString(), limits, o))
        << input.file << ": no run record";
    const std::string what = input.kind + " " + input.file + " (" + input.note + "): " + o.verdict +
                             (o.why.empty() ? "" : "; " + o.why) + "; last line: " + o.lastLine;
    EXPECT_FALSE(o.crashed) << what;
    // Under the address sanitizer the tool is several times slower and
    // larger: time and memory are checked in the plain build only.
    if (testsupport::kAddressSanitizer && (o.hung || o.overLarge)) continue;
    EXPECT_FALSE(o.hung) << what;
    EXPECT_FALSE(o.overLarge) << what << " (" << o.run.peakRssKb / 1024 << " MB)";
    EXPECT_FALSE(o.wrongExit) << what;
    EXPECT_FALSE(o.unclear) << what;
  }
}
