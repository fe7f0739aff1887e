// Renders a text file of ASCII art to a PNG in a monospaced font. Used once to
// make the picture resources; the build uses the committed PNGs.
// Usage: render_art <in.txt> <out.png> <pixel size> <border>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTextStream>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 5) {
        return 2;
    }
    QFile in(argv[1]);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return 1;
    }
    const QStringList lines = QTextStream(&in).readAll().split('\n');
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setFamily("DejaVu Sans Mono");
    font.setPixelSize(QString(argv[3]).toInt());
    const int border = QString(argv[4]).toInt();
    const QFontMetrics metrics(font);
    int width = 0;
    for (const auto& line : lines) {
        width = std::max(width, metrics.horizontalAdvance(line));
    }
    QImage image(width + 2 * border, metrics.lineSpacing() * lines.size() + 2 * border,
                 QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(QColor(0x1d, 0x1d, 0x1f));
    for (int i = 0; i < lines.size(); ++i) {
        painter.drawText(border, border + metrics.ascent() + i * metrics.lineSpacing(), lines[i]);
    }
    painter.end();
    return image.save(argv[2]) ? 0 : 1;
}
