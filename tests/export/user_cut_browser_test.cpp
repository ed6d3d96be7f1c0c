// The study report as a person sees it: rendered by headless Chromium.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "export/user_cut_report.h"
#include "support/test_support.h"

namespace {

QStringList chromiumArgs(const QString& profile) {
  return {QStringLiteral("--headless"),
          QStringLiteral("--no-sandbox"),
          QStringLiteral("--disable-gpu"),
          QStringLiteral("--disable-quic"),
          QStringLiteral("--no-first-run"),
          QStringLiteral("--disable-background-networking"),
          QStringLiteral("--disable-component-update"),
          QStringLiteral("--disable-sync"),
          QStringLiteral("--user-data-dir=") + profile};
}

bool runChromium(const QString& exe, const QStringList& args, QByteArray& out) {
  QProcess p;
  p.setProcessChannelMode(QProcess::SeparateChannels);
  p.start(exe, args);
  if (!p.waitForStarted(10000)) return false;
  if (!p.waitForFinished(60000)) {
    p.kill();
    p.waitForFinished(5000);
    return false;
  }
  out = p.readAllStandardOutput();
  return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Test-side page that loads the report in a frame and lists, per table row,
// every cell as tag|text|computed background colour.
const char* kWrapper = R"(<html><body><pre id="out">pending</pre>
<iframe id="r" src="usercuts-stats.html" width="700" height="300"></iframe>
<script>
document.getElementById('r').addEventListener('load', function () {
  var out = [];
  try {
    var doc = this.contentDocument;
    var rows = doc.querySelectorAll('table tr');
    for (var r = 0; r < rows.length; ++r) {
      var cells = rows[r].children, line = [];
      for (var c = 0; c < cells.length; ++c)
        line.push(cells[c].tagName + '|' + cells[c].textContent.trim() + '|' +
                  doc.defaultView.getComputedStyle(cells[c]).backgroundColor);
      out.push(line.join(';'));
    }
  } catch (e) { out = ['error: ' + e]; }
  document.getElementById('out').textContent = out.join('\n');
});
</script></body></html>
)";

}  // namespace

TEST(UserCutReportInBrowser, TableRendersWithItsRowsTextsAndColours) {
  const QString exe = QStandardPaths::findExecutable(QStringLiteral("chromium"));
  if (exe.isEmpty()) GTEST_SKIP() << "chromium is not installed (scripts/setup.sh installs it)";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString report = dir.filePath(QStringLiteral("usercuts-stats.html"));
  ASSERT_TRUE(saveUserCutReport(report, {{3, 0, 2}, {1, 4, 0}, {2, 2, 1}}, {{4, 2, 0}, {3, 4, 5}, {2, 4, 4}},
                                {QStringLiteral("Bunny"), QStringLiteral("Teapot")},
                                {QStringLiteral("User 1"), QStringLiteral("User 2"), QStringLiteral("User 3")}));
  ASSERT_TRUE(testsupport::writeTextFile(dir.filePath(QStringLiteral("wrapper.html")), kWrapper));

  QStringList args = chromiumArgs(dir.filePath(QStringLiteral("profile")));
  args << QStringLiteral("--allow-file-access-from-files") << QStringLiteral("--dump-dom")
       << QStringLiteral("file://") + dir.filePath(QStringLiteral("wrapper.html"));
  QByteArray dom;
  ASSERT_TRUE(runChromium(exe, args, dom)) << dom.constData();
  const QString text = QString::fromUtf8(dom);
  const int start = text.indexOf(QStringLiteral("<pre id=\"out\">"));
  ASSERT_GE(start, 0) << dom.constData();
  const int from = start + int(qstrlen("<pre id=\"out\">"));
  const QStringList rows = text.mid(from, text.indexOf(QStringLiteral("</pre>"), from) - from).split(QLatin1Char('\n'));

  const QString white = QStringLiteral("rgb(255, 255, 255)");
  const QString none = QStringLiteral("rgba(0, 0, 0, 0)");
  ASSERT_EQ(rows.size(), 4) << text.toStdString();
  EXPECT_EQ(rows[0], QStringLiteral("TH||%1;TH|User 1|%1;TH|User 2|%1;TH|User 3|%1").arg(none));
  EXPECT_EQ(rows[1], QStringLiteral("TD|Bunny|%1;TD|3 / 4|rgb(255, 64, 64);TD|0 / 2|%2;TD|2 / 0|%2").arg(none, white));
  // 255 - floor(255/3) = 170; 4/4 is pure red; 0/5 is white.
  EXPECT_EQ(
      rows[2],
      QStringLiteral("TD|Teapot|%1;TD|1 / 3|rgb(255, 170, 170);TD|4 / 4|rgb(255, 0, 0);TD|0 / 5|%2").arg(none, white));
  // The third row has no label: an empty first cell. 255 - floor(255/4) = 192.
  EXPECT_EQ(rows[3],
            QStringLiteral("TD||%1;TD|2 / 2|rgb(255, 0, 0);TD|2 / 4|rgb(255, 128, 128);TD|1 / 4|rgb(255, 192, 192)")
                .arg(none));

  // A picture for a person to look at.
  const QString shot = testsupport::outputDir() + QStringLiteral("/usercuts-stats.png");
  QFile::remove(shot);
  QStringList shotArgs = chromiumArgs(dir.filePath(QStringLiteral("profile2")));
  shotArgs << QStringLiteral("--screenshot=") + shot << QStringLiteral("--window-size=520,220")
           << QStringLiteral("file://") + report;
  QByteArray ignored;
  EXPECT_TRUE(runChromium(exe, shotArgs, ignored));
  EXPECT_TRUE(QFile::exists(shot));
}
