// Draws the program's icons: each one as a Windows-style icon file holding PNG images of several
// sizes (what Qt's icon loader and the resource names expect), and the application icon also as PNG
// files for the desktop's icon theme. Run at build time with the output folder and the sizes of those
// PNG files as arguments.
#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

// Every icon is drawn on a 64 × 64 canvas and scaled to the size wanted.
using Drawing = std::function<void(QPainter&)>;

const QColor kInk(0x25, 0x3b, 0x57);
const QColor kPaper(0xfb, 0xfc, 0xfe);
const QColor kBlue(0x2f, 0x74, 0xc0);
const QColor kGreen(0x2e, 0x9b, 0x47);
const QColor kRed(0xd2, 0x3c, 0x32);
const QColor kAmber(0xf0, 0xa8, 0x1c);
const QColor kSlate(0x6b, 0x78, 0x8a);
const QColor kTeal(0x1f, 0x86, 0x8c);

QPen Pen(const QColor& color, double width) {
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A sheet of paper with a folded corner.
void Sheet(QPainter& p, double x, double y, double w, double h) {
    const double fold = w * 0.3;
    QPainterPath path;
    path.moveTo(x, y);
    path.lineTo(x + w - fold, y);
    path.lineTo(x + w, y + fold);
    path.lineTo(x + w, y + h);
    path.lineTo(x, y + h);
    path.closeSubpath();
    p.setPen(Pen(kInk, 2.5));
    p.setBrush(kPaper);
    p.drawPath(path);
    p.setBrush(QColor(0xd5, 0xdd, 0xe8));
    p.drawPolygon(QPolygonF({{x + w - fold, y}, {x + w - fold, y + fold}, {x + w, y + fold}}));
    p.setPen(Pen(QColor(0x9a, 0xa8, 0xba), 2.5));
    for (int i = 0; i < 3; ++i) {
        const double lineY = y + h * (0.42 + 0.16 * i);
        p.drawLine(QPointF(x + w * 0.2, lineY), QPointF(x + w * (i == 2 ? 0.55 : 0.8), lineY));
    }
}

// A filled round badge, as the small sign in a corner of an icon.
void Badge(QPainter& p, double cx, double cy, double r, const QColor& color) {
    p.setPen(Pen(Qt::white, 2.5));
    p.setBrush(color);
    p.drawEllipse(QPointF(cx, cy), r, r);
}

void Clock(QPainter& p, double cx, double cy, double r) {
    p.setPen(Pen(kInk, 3));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(cx, cy), r, r);
    p.setPen(Pen(kInk, 3.5));
    p.drawLine(QPointF(cx, cy), QPointF(cx, cy - r * 0.62));
    p.setPen(Pen(kGreen, 3.5));
    p.drawLine(QPointF(cx, cy), QPointF(cx + r * 0.5, cy + r * 0.18));
}

void DrawApplication(QPainter& p) {
    // A calendar page with a clock in front of it.
    p.setPen(Pen(kInk, 2.5));
    p.setBrush(kPaper);
    p.drawRoundedRect(QRectF(4, 9, 46, 44), 5, 5);
    p.setBrush(kBlue);
    p.drawRoundedRect(QRectF(4, 9, 46, 12), 5, 5);
    p.setPen(Pen(kInk, 4));
    p.drawLine(QPointF(15, 5), QPointF(15, 13));
    p.drawLine(QPointF(39, 5), QPointF(39, 13));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x9a, 0xa8, 0xba));
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 4; ++column) {
            p.drawRect(QRectF(9 + column * 10, 26 + row * 8, 6, 4.5));
        }
    }
    Clock(p, 45, 45, 16);
}

void DrawNewTask(QPainter& p) {
    Sheet(p, 8, 4, 38, 50);
    Badge(p, 46, 46, 15, kGreen);
    p.setPen(Pen(Qt::white, 5));
    p.drawLine(QPointF(46, 38), QPointF(46, 54));
    p.drawLine(QPointF(38, 46), QPointF(54, 46));
}

void DrawDeleteTask(QPainter& p) {
    Sheet(p, 8, 4, 38, 50);
    Badge(p, 46, 46, 15, kRed);
    p.setPen(Pen(Qt::white, 5));
    p.drawLine(QPointF(40, 40), QPointF(52, 52));
    p.drawLine(QPointF(52, 40), QPointF(40, 52));
}

void DrawRunTask(QPainter& p) {
    Badge(p, 32, 32, 28, kGreen);
    p.setPen(Pen(Qt::white, 3));
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF({{24, 17}, {24, 47}, {48, 32}}));
}

void DrawCopyTask(QPainter& p) {
    Sheet(p, 6, 4, 34, 44);
    Sheet(p, 22, 16, 34, 44);
}

void DrawTaskLog(QPainter& p) {
    Sheet(p, 10, 4, 44, 56);
    p.setPen(Pen(kBlue, 3));
    for (int i = 0; i < 3; ++i) {
        const double y = 24 + 9 * i;
        p.drawLine(QPointF(17, y), QPointF(21, y));
    }
}

// A chart of run lengths: bars on an axis, one of them failed.
void DrawTaskHistory(QPainter& p) {
    p.setPen(Pen(kInk, 3));
    p.drawLine(QPointF(6, 6), QPointF(6, 58));
    p.drawLine(QPointF(6, 58), QPointF(60, 58));
    const double heights[] = {22, 28, 44, 24};
    for (int i = 0; i < 4; ++i) {
        p.setPen(Pen(kInk, 2));
        p.setBrush(i == 2 ? kRed : kGreen);
        p.drawRect(QRectF(12 + 12 * i, 54 - heights[i], 9, heights[i]));
    }
}

// The sign of a failed run in the task list: small enough to stand before a word.
void DrawTaskFailed(QPainter& p) {
    Badge(p, 32, 32, 27, kRed);
    p.setPen(Pen(Qt::white, 8));
    p.drawLine(QPointF(32, 17), QPointF(32, 36));
    p.drawPoint(QPointF(32, 48));
}

// A run that ended but left something out: a triangle, told from a failure by its shape as well as its
// colour.
void DrawTaskWarnings(QPainter& p) {
    p.setPen(Pen(Qt::white, 2.5));
    p.setBrush(kAmber);
    p.drawPolygon(QPolygonF({{32, 5}, {60, 56}, {4, 56}}));
    p.setPen(Pen(kInk, 7));
    p.drawLine(QPointF(32, 22), QPointF(32, 38));
    p.drawPoint(QPointF(32, 48));
}

void DrawTaskRunning(QPainter& p) {
    Badge(p, 32, 32, 27, kBlue);
    p.setPen(Pen(Qt::white, 6));
    p.drawLine(QPointF(32, 32), QPointF(32, 15));
    p.drawLine(QPointF(32, 32), QPointF(44, 39));
}

// A task that has no timed runs until it is resumed: the pause sign, grey as what does not run.
void DrawTaskPaused(QPainter& p) {
    Badge(p, 32, 32, 27, kSlate);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(20, 17, 8.5, 30), 2, 2);
    p.drawRoundedRect(QRectF(35.5, 17, 8.5, 30), 2, 2);
}

// A run that waits for its conditions (a folder, mains power): an hourglass, told from the running
// clock by its shape and colour.
void DrawTaskWaiting(QPainter& p) {
    Badge(p, 32, 32, 27, kTeal);
    p.setPen(Pen(Qt::white, 4));
    p.drawLine(QPointF(20, 16), QPointF(44, 16));
    p.drawLine(QPointF(20, 48), QPointF(44, 48));
    p.setPen(Pen(Qt::white, 3));
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(QPolygonF({{23, 17}, {41, 17}, {32, 32}}));
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF({{32, 32}, {41, 47}, {23, 47}}));
}

QImage Render(const Drawing& draw, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);
    draw(painter);
    painter.end();
    return image;
}

QByteArray Png(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

void PutLittleEndian(QByteArray& out, unsigned value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

// An icon file: a 6-byte header, one 16-byte entry per image, then the images, each stored as PNG.
QByteArray IconFile(const Drawing& draw) {
    const std::vector<int> sizes = {16, 24, 32, 48, 64, 256};
    std::vector<QByteArray> images;
    for (const int size : sizes) {
        images.push_back(Png(Render(draw, size)));
    }
    QByteArray file;
    PutLittleEndian(file, 0, 2);
    PutLittleEndian(file, 1, 2);
    PutLittleEndian(file, static_cast<unsigned>(sizes.size()), 2);
    unsigned offset = 6 + 16 * static_cast<unsigned>(sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const unsigned side = sizes[i] >= 256 ? 0 : static_cast<unsigned>(sizes[i]);
        PutLittleEndian(file, side, 1);
        PutLittleEndian(file, side, 1);
        PutLittleEndian(file, 0, 1); // no palette
        PutLittleEndian(file, 0, 1);
        PutLittleEndian(file, 1, 2);  // planes
        PutLittleEndian(file, 32, 2); // bits per pixel
        PutLittleEndian(file, static_cast<unsigned>(images[i].size()), 4);
        PutLittleEndian(file, offset, 4);
        offset += static_cast<unsigned>(images[i].size());
    }
    for (const QByteArray& image : images) {
        file.append(image);
    }
    return file;
}

bool Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output folder> [PNG size...]\n", argv[0]);
        return 64;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const std::vector<std::pair<const char*, Drawing>> icons = {
        {"ZelkorScheduler.ico", DrawApplication}, {"new_task.ico", DrawNewTask},
        {"delete_task.ico", DrawDeleteTask},      {"run_task.ico", DrawRunTask},
        {"copy_task.ico", DrawCopyTask},          {"task_log.ico", DrawTaskLog},
        {"task_history.ico", DrawTaskHistory},    {"task_failed.ico", DrawTaskFailed},
        {"task_running.ico", DrawTaskRunning},    {"task_warnings.ico", DrawTaskWarnings},
        {"task_paused.ico", DrawTaskPaused},      {"task_waiting.ico", DrawTaskWaiting}};
    bool written = true;
    for (const auto& [name, draw] : icons) {
        written = Write(out.filePath(QString::fromLatin1(name)), IconFile(draw)) && written;
    }
    for (int i = 2; i < argc; ++i) {
        const int size = QByteArray(argv[i]).toInt();
        if (size <= 0) {
            std::fprintf(stderr, "not a size: %s\n", argv[i]);
            return 64;
        }
        written = Write(out.filePath(QStringLiteral("zelkor-scheduler-%1.png").arg(size)),
                        Png(Render(DrawApplication, size))) &&
                  written;
    }
    return written ? 0 : 1;
}
