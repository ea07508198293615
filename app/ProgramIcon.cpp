#include "app/ProgramIcon.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>

namespace querna {

namespace {

// The icon is drawn with anti-aliased shapes on a 32-unit grid.

struct Rgb {
    double r, g, b;
};

class Canvas {
  public:
    explicit Canvas(int size) : size_(size), colour_(size * size, {0, 0, 0}), alpha_(size * size) {}

    // Paints where `inside(x, y)` holds, in grid units, with 4 x 4 samples
    // per pixel for smooth edges.
    void Fill(const std::function<bool(double, double)>& inside, Rgb colour, double opacity = 1) {
        const double scale = 32.0 / size_;
        for (int py = 0; py < size_; ++py) {
            for (int px = 0; px < size_; ++px) {
                int hits = 0;
                for (int sy = 0; sy < 4; ++sy) {
                    for (int sx = 0; sx < 4; ++sx) {
                        hits +=
                            inside((px + (sx + 0.5) / 4) * scale, (py + (sy + 0.5) / 4) * scale);
                    }
                }
                if (hits > 0) Blend(py * size_ + px, colour, opacity * hits / 16.0);
            }
        }
    }

    Picture Result() const {
        Picture picture{size_, std::vector<uint32_t>(colour_.size())};
        for (size_t i = 0; i < colour_.size(); ++i) {
            const auto byte = [](double v) {
                return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
            };
            picture.pixels[i] = byte(alpha_[i]) << 24 | byte(colour_[i].r) << 16 |
                                byte(colour_[i].g) << 8 | byte(colour_[i].b);
        }
        return picture;
    }

  private:
    // Source-over compositing of straight (not premultiplied) colours.
    void Blend(int i, Rgb c, double a) {
        const double out = a + alpha_[i] * (1 - a);
        if (out <= 0) return;
        const auto mix = [&](double src, double dst) {
            return (src * a + dst * alpha_[i] * (1 - a)) / out;
        };
        colour_[i] = {mix(c.r, colour_[i].r), mix(c.g, colour_[i].g), mix(c.b, colour_[i].b)};
        alpha_[i] = out;
    }

    int size_;
    std::vector<Rgb> colour_;
    std::vector<double> alpha_;
};

auto Disc(double cx, double cy, double r) {
    return [=](double x, double y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; };
}

auto Segment(double x0, double y0, double x1, double y1, double width) {
    return [=](double x, double y) {
        const double dx = x1 - x0, dy = y1 - y0;
        const double t =
            std::clamp(((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
        const double ex = x - (x0 + t * dx), ey = y - (y0 + t * dy);
        return ex * ex + ey * ey <= width * width / 4;
    };
}

// An ellipse around (cx, cy) with half-axes a and b, turned by `angle` radians.
auto Leaf(double cx, double cy, double a, double b, double angle) {
    return [=](double x, double y) {
        const double c = std::cos(angle), s = std::sin(angle);
        const double u = ((x - cx) * c + (y - cy) * s) / a, v = (-(x - cx) * s + (y - cy) * c) / b;
        return u * u + v * v <= 1;
    };
}

}  // namespace

Picture ProgramIconPicture(int size) {
    if (size < 1) return {};
    Canvas canvas(size);
    const Rgb green{0.22, 0.62, 0.22}, darkGreen{0.12, 0.42, 0.14}, gold{0.90, 0.70, 0.18};
    // The handle first, so the lens's rim covers its end.
    canvas.Fill(Segment(20, 20, 29, 29, 5.5), {0.50, 0.32, 0.14});
    canvas.Fill(Disc(13, 13, 11.5), {0.86, 0.94, 0.98}, 0.95);
    // The ear of grain: a stem, two leaves and the bent head of grains.
    canvas.Fill(Segment(13, 22, 13, 9, 1.8), darkGreen);
    canvas.Fill(Leaf(9.5, 15.5, 4.2, 1.5, 0.65), green);
    canvas.Fill(Leaf(16.5, 13.5, 4.2, 1.5, -0.65), green);
    for (const auto& [x, y] : {std::pair{14.2, 7.6}, {16.0, 8.6}, {17.4, 10.2}, {12.8, 6.4}}) {
        canvas.Fill(Disc(x, y, 1.6), gold);
    }
    // The rim of the lens.
    canvas.Fill(
        [](double x, double y) {
            const double d = std::hypot(x - 13, y - 13);
            return d >= 9.8 && d <= 12.2;
        },
        {0.20, 0.33, 0.48});
    return canvas.Result();
}

}  // namespace querna
