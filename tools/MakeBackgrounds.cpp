// Writes the 27 background photographs obg_01.jpg ... obg_27.jpg.
//
// Each picture is an abstract, calm composition: a diagonal two-tone base, a
// handful of large soft colour fields (radial gradients) and two or three wide
// translucent ribbons, finished with a faint grain so that the gradients do not
// band after JPEG compression. Hue, brightness and layout come from a seed fixed
// per image, so the output is reproducible.
//
// Usage: orvane-make-backgrounds OUTPUT_DIR

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>
#include <random>

namespace {

constexpr int kWidth = 2560;
constexpr int kHeight = 1600;
constexpr int kCount = 27;
constexpr qint64 kMaxBytes = 1000 * 1000;

struct Mood {
    double hue;        // 0...1
    double saturation; // 0...1
    double lightness;  // 0...1, of the base
};

// Spreads the hues over the circle (golden-ratio steps) and cycles the
// brightness through dark, middle and light, so neighbours differ clearly.
Mood moodFor(int index) {
    const double hue = std::fmod(0.07 + index * 0.618033988749895, 1.0);
    static constexpr double kLightness[] = {0.22, 0.48, 0.72};
    static constexpr double kSaturation[] = {0.45, 0.35, 0.55, 0.30};
    return {hue, kSaturation[index % 4], kLightness[index % 3]};
}

QColor hsl(double h, double s, double l, double alpha = 1.0) {
    h = std::fmod(h + 1.0, 1.0);
    return QColor::fromHslF(static_cast<float>(h), static_cast<float>(std::clamp(s, 0.0, 1.0)),
                            static_cast<float>(std::clamp(l, 0.02, 0.97)),
                            static_cast<float>(alpha));
}

void paintBackground(QImage& img, int index) {
    std::mt19937 rng(0x0b6u + static_cast<unsigned>(index) * 7919u);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    const Mood mood = moodFor(index);

    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    // Base: a gentle diagonal between two close tones of the mood.
    QLinearGradient base(0, 0, kWidth, kHeight);
    base.setColorAt(0, hsl(mood.hue - 0.03, mood.saturation, mood.lightness - 0.08));
    base.setColorAt(1, hsl(mood.hue + 0.05, mood.saturation * 0.8, mood.lightness + 0.08));
    p.fillRect(img.rect(), base);

    // Soft colour fields in neighbouring hues.
    const int fields = 4 + static_cast<int>(uni(rng) * 4);
    for (int i = 0; i < fields; ++i) {
        const QPointF centre(uni(rng) * kWidth, uni(rng) * kHeight);
        const double radius = (0.25 + uni(rng) * 0.45) * kWidth;
        const double hue = mood.hue + (uni(rng) - 0.5) * 0.22;
        const double light = mood.lightness + (uni(rng) - 0.5) * 0.35;
        QRadialGradient g(centre, radius);
        g.setColorAt(0, hsl(hue, mood.saturation + 0.15, light, 0.55));
        g.setColorAt(0.6, hsl(hue, mood.saturation + 0.1, light, 0.18));
        g.setColorAt(1, hsl(hue, mood.saturation, light, 0.0));
        p.fillRect(img.rect(), g);
    }

    // Wide translucent ribbons: sine-shaped bands across the picture.
    const int ribbons = 2 + static_cast<int>(uni(rng) * 2);
    for (int i = 0; i < ribbons; ++i) {
        const double y0 = (0.2 + uni(rng) * 0.6) * kHeight;
        const double amp = (0.05 + uni(rng) * 0.12) * kHeight;
        const double thick = (0.08 + uni(rng) * 0.15) * kHeight;
        const double phase = uni(rng) * 6.283185307179586;
        const double waves = 0.6 + uni(rng) * 0.9;
        QPainterPath band;
        constexpr int kSteps = 64;
        for (int s = 0; s <= kSteps; ++s) {
            const double x = kWidth * s / double(kSteps);
            const double y = y0 + amp * std::sin(phase + waves * 6.283185307179586 * s / kSteps);
            if (s == 0) {
                band.moveTo(x, y);
            } else {
                band.lineTo(x, y);
            }
        }
        for (int s = kSteps; s >= 0; --s) {
            const double x = kWidth * s / double(kSteps);
            const double y =
                y0 + thick + amp * std::sin(phase + 0.4 + waves * 6.283185307179586 * s / kSteps);
            band.lineTo(x, y);
        }
        band.closeSubpath();
        const double light = mood.lightness + (uni(rng) < 0.5 ? 0.18 : -0.12);
        QLinearGradient g(0, y0, kWidth, y0 + thick);
        g.setColorAt(0, hsl(mood.hue + 0.08, mood.saturation, light, 0.0));
        g.setColorAt(0.5, hsl(mood.hue + 0.04, mood.saturation, light, 0.22));
        g.setColorAt(1, hsl(mood.hue, mood.saturation, light, 0.0));
        p.fillPath(band, g);
    }
    p.end();

    // Faint grain against banding; kept small so the files stay compact.
    std::normal_distribution<double> grain(0.0, 0.9);
    for (int y = 0; y < kHeight; ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            const int n = static_cast<int>(std::lround(grain(rng)));
            const QRgb c = row[x];
            row[x] = qRgb(std::clamp(qRed(c) + n, 0, 255), std::clamp(qGreen(c) + n, 0, 255),
                          std::clamp(qBlue(c) + n, 0, 255));
        }
    }
}

bool writeJpeg(const QImage& img, const QString& path) {
    // Lower the quality until the file fits the size budget.
    for (int quality = 88; quality >= 60; quality -= 4) {
        QImageWriter writer(path, "jpeg");
        writer.setQuality(quality);
        writer.setOptimizedWrite(true);
        writer.setProgressiveScanWrite(true);
        if (!writer.write(img)) {
            std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path),
                         qPrintable(writer.errorString()));
            return false;
        }
        if (QFileInfo(path).size() < kMaxBytes) {
            return true;
        }
    }
    std::fprintf(stderr, "%s stays above %lld bytes\n", qPrintable(path),
                 static_cast<long long>(kMaxBytes));
    return false;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.exists() && !QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    for (int i = 0; i < kCount; ++i) {
        QImage img(kWidth, kHeight, QImage::Format_RGB32);
        paintBackground(img, i);
        const QString path = dir.filePath(QString::asprintf("obg_%02d.jpg", i + 1));
        if (!writeJpeg(img, path)) {
            return 1;
        }
        std::printf("%s %lld bytes\n", qPrintable(path),
                    static_cast<long long>(QFileInfo(path).size()));
    }
    return 0;
}
