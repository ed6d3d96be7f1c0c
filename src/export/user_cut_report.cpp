#include "export/user_cut_report.h"

#include <QDebug>
#include <QTextStream>
#include <cmath>

#include "export/atomic_text_file.h"

namespace {

// Green and blue of a cell: 255 for a = 0, 0 for a = b.
int cellShade(int a, int b) {
  if (b == 0) return 255;  // no cuts to compare against: plain white
  const double s = double(a) / double(b) * 255.0;
  const int x = int(std::trunc(s));
  const int v = 255 - x;
  return v < 0 ? 0 : (v > 255 ? 255 : v);
}

QString hexByte(int v) { return QStringLiteral("%1").arg(v, 2, 16, QLatin1Char('0')).toUpper(); }

}  // namespace

void writeUserCutTable(QTextStream& out, const QList<QList<int>>& numerators, const QList<QList<int>>& denominators,
                       const QList<QString>& rowLabels, const QList<QString>& columnLabels) {
  auto line = [&out](const QString& text) { out << text << '\n' << Qt::flush; };
  line(QStringLiteral("<html>"));
  line(QStringLiteral("<head>"));
  line(QStringLiteral("</head>"));
  line(QStringLiteral("<body>"));
  line(QStringLiteral("<table border=1 cellpadding=5 cellspacing=0>"));

  line(QStringLiteral("<tr>"));
  line(QStringLiteral("<th width=80px></th>"));
  for (const QString& label : columnLabels)
    line(QStringLiteral("<th width=80px>") + label.toHtmlEscaped() + QStringLiteral("</th>"));
  line(QStringLiteral("</tr>"));

  for (int r = 0; r < numerators.size(); ++r) {
    line(QStringLiteral("<tr>"));
    if (r < rowLabels.size())
      line(QStringLiteral("<td><center>") + rowLabels[r].toHtmlEscaped() + QStringLiteral("</center></td>"));
    else
      line(QStringLiteral("<td></td>"));
    const QList<int>& row = numerators[r];
    for (int c = 0; c < row.size(); ++c) {
      const int a = row[c];
      const int b = (r < denominators.size() && c < denominators[r].size()) ? denominators[r][c] : 0;
      if (a < 0 || b < 0) {
        line(QStringLiteral("<td></td>"));  // a column without data keeps its place
        continue;
      }
      const QString shade = hexByte(cellShade(a, b));
      line(QStringLiteral("<td bgcolor=#FF") + shade + shade + QStringLiteral(">") + QString::number(a) +
           QStringLiteral(" / ") + QString::number(b) + QStringLiteral("</td>"));
    }
    line(QStringLiteral("</tr>"));
  }

  line(QStringLiteral("</table>"));
  line(QStringLiteral("</body>"));
  line(QStringLiteral("</html>"));
}

bool saveUserCutReport(const QString& path, const QList<QList<int>>& numerators, const QList<QList<int>>& denominators,
                       const QList<QString>& rowLabels, const QList<QString>& columnLabels) {
  QByteArray text;
  {
    QTextStream out(&text);
    out.setCodec("UTF-8");
    writeUserCutTable(out, numerators, denominators, rowLabels, columnLabels);
  }
  AtomicTextFile file;
  if (!file.open(path)) {
    qDebug("Unable to write file %s.", path.toLocal8Bit().constData());
    return false;
  }
  file.write(text);
  if (!file.commit()) {
    qDebug("Unable to write file %s.", path.toLocal8Bit().constData());
    return false;
  }
  return true;
}
