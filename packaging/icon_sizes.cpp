// orvane-icon-sizes: writes the application icon at the sizes of the hicolor icon
// theme. Build-time helper; QImage alone, no display.
//
//   orvane-icon-sizes SOURCE.png OUTDIR NAME SIZE...   writes OUTDIR/SIZExSIZE/apps/NAME.png
#include <QDir>
#include <QImage>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: orvane-icon-sizes SOURCE.png OUTDIR NAME SIZE...\n");
    return 2;
  }
  const QImage source(QString::fromLocal8Bit(argv[1]));
  if (source.isNull()) {
    std::fprintf(stderr, "orvane-icon-sizes: %s: not a readable image\n", argv[1]);
    return 1;
  }
  const QString outDir = QString::fromLocal8Bit(argv[2]);
  const QString name = QString::fromLocal8Bit(argv[3]);
  for (int i = 4; i < argc; ++i) {
    char* end = nullptr;
    const long size = std::strtol(argv[i], &end, 10);
    if (*argv[i] == '\0' || *end != '\0' || size < 8 || size > 1024) {
      std::fprintf(stderr, "orvane-icon-sizes: %s: not an icon size\n", argv[i]);
      return 2;
    }
    const QString dir = QStringLiteral("%1/%2x%2/apps").arg(outDir).arg(size);
    const QString file = dir + QLatin1Char('/') + name + QStringLiteral(".png");
    const QImage scaled = source.convertToFormat(QImage::Format_ARGB32)
                              .scaled(int(size), int(size), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (!QDir().mkpath(dir) || !scaled.save(file, "PNG")) {
      std::fprintf(stderr, "orvane-icon-sizes: cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
