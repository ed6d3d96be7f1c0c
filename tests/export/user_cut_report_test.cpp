#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include "export/user_cut_report.h"
#include "model/human_cuts.h"
#include "support/test_support.h"

namespace {

QString table(const QList<QList<int>>& num, const QList<QList<int>>& den, const QList<QString>& rows,
              const QList<QString>& columns) {
  QString text;
  QTextStream out(&text);
  writeUserCutTable(out, num, den, rows, columns);
  out.flush();
  return text;
}

QString cell(int a, int b) {
  const QString t = table({{a}}, {{b}}, {QStringLiteral("m")}, {QStringLiteral("u")});
  const int start = t.indexOf(QStringLiteral("<td bgcolor="));
  return start < 0 ? QString() : t.mid(start, t.indexOf(QLatin1Char('\n'), start) - start);
}

}  // namespace

TEST(UserCutTable, WholePageForOneLabelledRow) {
  const QString expected = QStringLiteral(
      "<html>\n<head>\n</head>\n<body>\n<table border=1 cellpadding=5 cellspacing=0>\n"
      "<tr>\n<th width=80px></th>\n<th width=80px>User 1</th>\n<th width=80px>User 2</th>\n</tr>\n"
      "<tr>\n<td><center>Bunny</center></td>\n<td bgcolor=#FF4040>3 / 4</td>\n<td bgcolor=#FFFFFF>0 / 2</td>\n"
      "</tr>\n</table>\n</body>\n</html>\n");
  EXPECT_EQ(table({{3, 0}}, {{4, 2}}, {QStringLiteral("Bunny")}, {QStringLiteral("User 1"), QStringLiteral("User 2")}),
            expected);
}

TEST(UserCutTable, CellColourRunsFromWhiteToRed) {
  EXPECT_EQ(cell(3, 4), QStringLiteral("<td bgcolor=#FF4040>3 / 4</td>"));  // 255 - 191 = 64
  EXPECT_EQ(cell(0, 7), QStringLiteral("<td bgcolor=#FFFFFF>0 / 7</td>"));
  EXPECT_EQ(cell(5, 5), QStringLiteral("<td bgcolor=#FF0000>5 / 5</td>"));
  EXPECT_EQ(cell(1, 3), QStringLiteral("<td bgcolor=#FFAAAA>1 / 3</td>"));  // 255 - 85 = 170
  EXPECT_EQ(cell(1, 255), QStringLiteral("<td bgcolor=#FFFEFE>1 / 255</td>"));
  // No cuts to compare with: white, not a division by zero.
  EXPECT_EQ(cell(2, 0), QStringLiteral("<td bgcolor=#FFFFFF>2 / 0</td>"));
  EXPECT_EQ(cell(0, 0), QStringLiteral("<td bgcolor=#FFFFFF>0 / 0</td>"));
  // Counts outside 0 .. b stay valid colours.
  EXPECT_EQ(cell(9, 4), QStringLiteral("<td bgcolor=#FF0000>9 / 4</td>"));
}

TEST(UserCutTable, UsersWithoutACutFileKeepTheirColumnWithEmptyCells) {
  // Users 1 and 3 had files, user 2 had none: user 3's numbers stay third.
  const QString t =
      table({{1, humancuts::kMissingUserCount, 2}}, {{4, humancuts::kMissingUserCount, 2}}, {QStringLiteral("m")},
            {QStringLiteral("User 1"), QStringLiteral("User 2"), QStringLiteral("User 3")});
  EXPECT_TRUE(
      t.contains(QStringLiteral("<td><center>m</center></td>\n<td bgcolor=#FFC0C0>1 / 4</td>\n<td></td>\n"
                                "<td bgcolor=#FF0000>2 / 2</td>\n</tr>")))
      << t.toStdString();
}

TEST(UserCutTable, RowsBeyondTheLabelsAndRaggedInput) {
  const QString t = table({{1}, {}, {2, 1}}, {{2}, {}, {2}}, {QStringLiteral("A & <B>")}, {});
  EXPECT_TRUE(t.contains(QStringLiteral("<tr>\n<th width=80px></th>\n</tr>\n")));
  EXPECT_TRUE(
      t.contains(QStringLiteral("<td><center>A &amp; &lt;B&gt;</center></td>\n<td bgcolor=#FF8080>1 / 2</td>")));
  // Rows two and three have no label; row two has no cells.
  EXPECT_TRUE(t.contains(QStringLiteral("<tr>\n<td></td>\n</tr>\n")));
  EXPECT_TRUE(t.contains(QStringLiteral("<tr>\n<td></td>\n<td bgcolor=#FF0000>2 / 2</td>\n")));
  // A cell without a denominator reads as 0 and is white.
  EXPECT_TRUE(t.contains(QStringLiteral("<td bgcolor=#FFFFFF>1 / 0</td>\n</tr>\n</table>")));
  EXPECT_EQ(t.count(QStringLiteral("<tr>")), 4);
}

TEST(UserCutTable, SavingReplacesTheReportWholeOrNotAtAll) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(QStringLiteral("usercuts-stats.html"));
  ASSERT_TRUE(testsupport::writeTextFile(path, "old report, much longer than the new one ...........\n"));
  ASSERT_TRUE(saveUserCutReport(path, {{1}}, {{1}}, {QStringLiteral("m")}, {QStringLiteral("User 1")}));
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(f.readAll());
  EXPECT_TRUE(text.startsWith(QStringLiteral("<html>\n")));
  EXPECT_TRUE(text.endsWith(QStringLiteral("</html>\n")));
  EXPECT_FALSE(text.contains(QStringLiteral("old report")));

  const QString unwritable = dir.filePath(QStringLiteral("missing/usercuts-stats.html"));
  EXPECT_FALSE(saveUserCutReport(unwritable, {{1}}, {{1}}, {}, {}));
  EXPECT_FALSE(QFile::exists(unwritable));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("usercuts-stats.html")});
}
