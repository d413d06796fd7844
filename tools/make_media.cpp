// kx_make_media: draws the bundled show's pictures.
//
//   kx_make_media TEXTURES_DIR PPM_DIR
//
// Writes into TEXTURES_DIR:
//   badge.tga    256 x 256, 32-bit, run-length coded: a round emblem with a
//                bird of prey in flight on a transparent ground
//   weave.tga    128 x 128, 24-bit, uncompressed: a wallpaper tile that
//                repeats seamlessly in both directions
// and into PPM_DIR, for tools/make_media.sh to turn into JPEG files:
//   plasma.ppm   512 x 512 plasma, seamless in both directions
//   dusk.ppm     640 x 480 evening landscape: sky, striped sun, hills and a
//                perspective grid
// TGA files are stored bottom row first, the order the player uploads.
// Everything is computed; no randomness beyond a fixed-seed generator.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Rgba {
    double r = 0, g = 0, b = 0, a = 0;
};

Rgba rgb(double r, double g, double b, double a = 1.0) { return {r / 255.0, g / 255.0, b / 255.0, a}; }

Rgba mix(const Rgba& x, const Rgba& y, double t)
{
    return {x.r + (y.r - x.r) * t, x.g + (y.g - x.g) * t, x.b + (y.b - x.b) * t, x.a + (y.a - x.a) * t};
}

struct Image {
    int width, height;
    std::vector<Rgba> pixels; // top row first
    Image(int w, int h) : width(w), height(h), pixels(size_t(w) * size_t(h)) { }
    Rgba& at(int x, int y) { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
    const Rgba& at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

uint8_t byte(double v)
{
    const double c = std::clamp(v, 0.0, 1.0);
    return static_cast<uint8_t>(std::lround(c * 255.0));
}

// Fills an image by sampling `shade(x, y)` (pixel coordinates, y down) on an
// n x n grid inside each pixel and averaging, colours weighted by alpha.
template <typename Shade> Image render(int w, int h, int n, Shade shade)
{
    Image img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Rgba sum;
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < n; ++i) {
                    const Rgba c = shade(x + (i + 0.5) / n, y + (j + 0.5) / n);
                    sum.r += c.r * c.a;
                    sum.g += c.g * c.a;
                    sum.b += c.b * c.a;
                    sum.a += c.a;
                }
            Rgba& p = img.at(x, y);
            if (sum.a > 0) {
                p.r = sum.r / sum.a;
                p.g = sum.g / sum.a;
                p.b = sum.b / sum.a;
            }
            p.a = sum.a / (n * n);
        }
    return img;
}

// ---- writers -----------------------------------------------------------

bool writeFile(const std::string& path, const std::string& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "kx_make_media: cannot write %s\n", path.c_str());
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) {
        std::fprintf(stderr, "kx_make_media: cannot write %s\n", path.c_str());
        return false;
    }
    std::printf("%s: %zu bytes\n", path.c_str(), bytes.size());
    return true;
}

bool writePpm(const std::string& path, const Image& img)
{
    std::string out = "P6\n" + std::to_string(img.width) + " " + std::to_string(img.height) + "\n255\n";
    for (const Rgba& p : img.pixels) {
        out.push_back(char(byte(p.r)));
        out.push_back(char(byte(p.g)));
        out.push_back(char(byte(p.b)));
    }
    return writeFile(path, out);
}

void put16(std::string& out, int v)
{
    out.push_back(char(v & 0xFF));
    out.push_back(char((v >> 8) & 0xFF));
}

// One pixel in file order: blue, green, red (, alpha).
std::string tgaPixel(const Rgba& p, int bytes)
{
    std::string s;
    s.push_back(char(byte(p.b)));
    s.push_back(char(byte(p.g)));
    s.push_back(char(byte(p.r)));
    if (bytes == 4) s.push_back(char(byte(p.a)));
    return s;
}

// A TGA file, true colour, bottom row first. Run-length packets never cross
// a row, as the format's readers expect of well-behaved writers.
bool writeTga(const std::string& path, const Image& img, int bits, bool rle)
{
    const int bytes = bits / 8;
    std::string out;
    out.push_back(0);                  // no ID field
    out.push_back(0);                  // no colour map
    out.push_back(char(rle ? 10 : 2)); // true colour, maybe run-length coded
    for (int i = 0; i < 5; ++i) out.push_back(0);
    put16(out, 0);
    put16(out, 0);
    put16(out, img.width);
    put16(out, img.height);
    out.push_back(char(bits));
    out.push_back(char(bits == 32 ? 8 : 0)); // alpha bits; origin bottom left
    for (int y = img.height - 1; y >= 0; --y) {
        std::vector<std::string> row;
        for (int x = 0; x < img.width; ++x) row.push_back(tgaPixel(img.at(x, y), bytes));
        if (!rle) {
            for (const std::string& p : row) out += p;
            continue;
        }
        size_t x = 0;
        while (x < row.size()) {
            size_t run = 1;
            while (x + run < row.size() && run < 128 && row[x + run] == row[x]) ++run;
            if (run >= 2) {
                out.push_back(char(0x80 | (run - 1)));
                out += row[x];
                x += run;
                continue;
            }
            // A raw packet up to the next run of two or more.
            size_t count = 1;
            while (x + count < row.size() && count < 128 &&
                   !(x + count + 1 < row.size() && row[x + count] == row[x + count + 1]))
                ++count;
            out.push_back(char(count - 1));
            for (size_t i = 0; i < count; ++i) out += row[x + i];
            x += count;
        }
    }
    return writeFile(path, out);
}

// ---- shapes ------------------------------------------------------------

struct Point {
    double x, y;
};

bool inTriangle(Point p, Point a, Point b, Point c)
{
    auto side = [](Point p, Point a, Point b) { return (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x); };
    const double d1 = side(p, a, b), d2 = side(p, b, c), d3 = side(p, c, a);
    const bool neg = d1 < 0 || d2 < 0 || d3<0, pos = d1> 0 || d2 > 0 || d3 > 0;
    return !(neg && pos);
}

bool inPolygon(Point p, const std::vector<Point>& poly)
{
    bool in = false;
    for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        if ((poly[i].y > p.y) != (poly[j].y > p.y) &&
            p.x < (poly[j].x - poly[i].x) * (p.y - poly[i].y) / (poly[j].y - poly[i].y) + poly[i].x)
            in = !in;
    }
    return in;
}

bool inEllipse(Point p, Point c, double rx, double ry)
{
    const double dx = (p.x - c.x) / rx, dy = (p.y - c.y) / ry;
    return dx * dx + dy * dy <= 1.0;
}

// ---- the pictures --------------------------------------------------------

// The emblem: a gold ring around a night-blue disc, a bird with swept wings
// in cream and rust, three small stars; transparent outside the ring.
Image badge()
{
    const Point c{128, 128};
    const Rgba gold = rgb(250, 186, 60), goldDark = rgb(196, 120, 30), navy = rgb(18, 28, 72),
               navyLight = rgb(40, 64, 140), cream = rgb(250, 238, 210), rust = rgb(214, 92, 40),
               dark = rgb(30, 20, 20);
    // Wings: a long swept shape on each side, mirrored about x = 128.
    const std::vector<Point> wingL = {{126, 112}, {96, 98}, {58, 92}, {20, 100}, {52, 112}, {82, 124}, {120, 134}};
    std::vector<Point> wingR;
    for (const Point& p : wingL) wingR.push_back({256 - p.x, p.y});
    // Wing bands in rust near the tips.
    const std::vector<Point> bandL = {{58, 92}, {20, 100}, {52, 112}, {64, 106}};
    std::vector<Point> bandR;
    for (const Point& p : bandL) bandR.push_back({256 - p.x, p.y});
    const std::vector<Point> tail = {{118, 150}, {138, 150}, {150, 196}, {128, 188}, {106, 196}};
    const Point stars[3] = {{84, 64}, {176, 58}, {190, 170}};

    return render(256, 256, 4, [&](double x, double y) -> Rgba {
        const Point p{x, y};
        const double r = std::hypot(x - c.x, y - c.y);
        if (r > 124) return {};
        if (r > 110) {
            // The ring, lit from the top left.
            const double light = 0.5 + 0.5 * ((c.x - x) + (c.y - y)) / (r * 1.4142);
            return mix(goldDark, gold, std::clamp(light, 0.0, 1.0));
        }
        if (r > 104) return gold;
        // The disc: a soft gradient, lighter at the top.
        Rgba col = mix(navyLight, navy, std::clamp((y - 24) / 208.0, 0.0, 1.0));
        for (const Point& s : stars) {
            const double d = std::fabs(x - s.x) + std::fabs(y - s.y);
            if (d < 7 && (std::fabs(x - s.x) < 1.5 || std::fabs(y - s.y) < 1.5 || d < 3.5)) col = cream;
        }
        if (inPolygon(p, wingL) || inPolygon(p, wingR)) col = cream;
        if (inPolygon(p, bandL) || inPolygon(p, bandR)) col = rust;
        if (inPolygon(p, tail)) col = rust;
        if (inEllipse(p, {128, 126}, 13, 30)) col = cream;
        if (inEllipse(p, {128, 92}, 11, 11)) col = rust;
        if (inTriangle(p, {123, 96}, {133, 96}, {128, 106})) col = goldDark; // beak
        if (inEllipse(p, {124, 89}, 2.2, 2.2) || inEllipse(p, {132, 89}, 2.2, 2.2)) col = dark;
        return col;
    });
}

// The wallpaper tile: diamonds on a woven ground, seamless at 128 pixels.
Image weave()
{
    return render(128, 128, 3, [](double x, double y) -> Rgba {
        const double u = x / 128.0, v = y / 128.0;
        // Distance to the nearest diamond centre (centres at the corners and
        // the middle), measured in the diamond metric.
        auto diamond = [](double a, double b) {
            const double fa = a - std::floor(a + 0.5), fb = b - std::floor(b + 0.5);
            return std::fabs(fa) + std::fabs(fb);
        };
        const double d1 = diamond(u, v), d2 = diamond(u + 0.5, v + 0.5);
        const double weaveLines = 0.5 + 0.5 * std::sin(2 * kPi * 8 * (u + v)) * std::sin(2 * kPi * 8 * (u - v));
        Rgba col = mix(rgb(36, 20, 58), rgb(58, 34, 86), weaveLines);
        if (d2 < 0.30) col = mix(rgb(30, 150, 160), rgb(120, 220, 210), 1 - d2 / 0.30);
        if (d2 < 0.10) col = rgb(250, 240, 200);
        if (d1 < 0.22) col = mix(rgb(230, 80, 110), rgb(255, 170, 120), 1 - d1 / 0.22);
        if (std::fabs(d1 - 0.27) < 0.015 || std::fabs(d2 - 0.35) < 0.015) col = rgb(250, 210, 120);
        return col;
    });
}

// Plasma: sums of sines whose periods divide the image, through a palette
// of night blue, violet, rose and gold.
Image plasma()
{
    const Rgba stops[5] = {rgb(10, 12, 60), rgb(80, 20, 130), rgb(220, 60, 120), rgb(255, 180, 60), rgb(10, 12, 60)};
    return render(512, 512, 1, [&](double x, double y) -> Rgba {
        const double u = 2 * kPi * x / 512.0, v = 2 * kPi * y / 512.0;
        double s = std::sin(u * 2) + std::sin(v * 3) + std::sin(u + v * 2 + 1.3) + std::sin(u * 3 - v + 0.4) +
                   0.5 * std::sin(u * 5 + v * 4);
        s = s / 4.5;                                    // about -1 .. 1
        double t = 0.5 + 0.5 * std::sin(s * kPi * 1.2); // 0 .. 1, folded for more bands
        t = std::clamp(t, 0.0, 1.0) * 4.0;
        const int i = std::min(3, int(t));
        return mix(stops[i], stops[i + 1], t - i);
    });
}

// Evening: a violet sky into orange at the horizon, stars, a striped sun,
// two ranges of hills, and a glowing grid running to the horizon.
Image dusk()
{
    const double horizon = 300;
    uint32_t seed = 12345;
    auto random = [&]() {
        seed = seed * 1103515245u + 12345u;
        return double((seed >> 8) & 0xFFFF) / 65536.0;
    };
    std::vector<Point> stars;
    for (int i = 0; i < 90; ++i) stars.push_back({random() * 640, random() * 200});

    auto ridge = [](double x, double base, double a, double f, double phase) {
        return base - a * (0.55 * std::sin(x * f + phase) + 0.3 * std::sin(x * f * 2.3 + phase * 1.7) +
                           0.15 * std::sin(x * f * 5.1 + phase * 0.3));
    };

    return render(640, 480, 3, [&](double x, double y) -> Rgba {
        if (y < horizon) {
            const double t = y / horizon;
            Rgba col = t < 0.6 ? mix(rgb(16, 8, 48), rgb(110, 30, 110), t / 0.6)
                               : mix(rgb(110, 30, 110), rgb(250, 120, 70), (t - 0.6) / 0.4);
            for (const Point& s : stars)
                if (std::hypot(x - s.x, y - s.y) < 1.1) col = mix(col, rgb(255, 250, 230), 1 - y / 260);
            // The sun, with gaps that widen towards the horizon.
            const double dx = x - 320, dy = y - 215;
            if (dx * dx + dy * dy < 110 * 110) {
                const double k = (dy + 110) / 220; // 0 at the top, 1 at the bottom
                bool gap = false;
                if (k > 0.5) {
                    const double band = std::fmod((y - 215) / 14.0, 1.0);
                    gap = band < (k - 0.5) * 1.1;
                }
                if (!gap) col = mix(rgb(255, 236, 110), rgb(255, 60, 130), k);
            }
            // Hills: a far range in violet, a near one almost black.
            if (y > ridge(x, 262, 34, 0.011, 0.7)) col = rgb(70, 24, 86);
            if (y > ridge(x, 284, 22, 0.019, 2.1)) col = rgb(28, 10, 40);
            return col;
        }
        // The ground: dark, with a grid in perspective. Depth grows as the
        // row nears the horizon.
        const double depth = 120.0 / (y - horizon + 0.001);
        const double gx = (x - 320) * depth / 60.0;
        const double gz = depth * 4.0;
        const double fx = std::fabs(gx - std::floor(gx + 0.5));
        const double fz = std::fabs(gz - std::floor(gz + 0.5));
        const double width = 0.035 * (1 + depth * 0.15);
        Rgba col = mix(rgb(40, 8, 50), rgb(12, 4, 24), std::clamp((y - horizon) / 180, 0.0, 1.0));
        const double glow = std::exp(-(y - horizon) / 40.0);
        col = mix(col, rgb(250, 110, 80), 0.35 * glow);
        if (fx < width || fz < width * 1.6)
            col = mix(rgb(255, 60, 200), rgb(80, 220, 255), std::clamp((y - horizon) / 180, 0.0, 1.0));
        return col;
    });
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: kx_make_media TEXTURES_DIR PPM_DIR\n");
        return 2;
    }
    const std::string textures = argv[1], ppm = argv[2];
    bool ok = true;
    ok = writeTga(textures + "/badge.tga", badge(), 32, true) && ok;
    ok = writeTga(textures + "/weave.tga", weave(), 24, false) && ok;
    ok = writePpm(ppm + "/plasma.ppm", plasma()) && ok;
    ok = writePpm(ppm + "/dusk.ppm", dusk()) && ok;
    return ok ? 0 : 1;
}
