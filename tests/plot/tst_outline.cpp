// Filled outlines: the contours the tracer builds from runs and the hole-free polygons made
// from them, against hand-made pictures and, filled again at the pixel centres, against many
// random ones.
#include "plot/HoleJoiner.h"
#include "plot/OutlineTracer.h"

#include <QTest>
#include <algorithm>
#include <map>
#include <random>

using namespace kelviq;

namespace {

// A picture; '#' in its text rows is traced.
struct Picture
{
    int width = 0;
    int height = 0;
    std::vector<char> traced;
    bool at(int x, int y) const
    {
        return x >= 0 && y >= 0 && x < width && y < height &&
               traced[static_cast<std::size_t>(y * width + x)];
    }
};

Picture picture(const QStringList& rows)
{
    Picture p{rows.isEmpty() ? 0 : int(rows[0].size()), int(rows.size()), {}};
    for (const QString& row : rows)
        for (QChar c : row)
            p.traced.push_back(c == '#');
    return p;
}

// Traces the picture row by row; `handedOut` gets the grid line each shape came out at.
std::vector<Shape> trace(const Picture& p, std::vector<int>* handedOut = nullptr)
{
    OutlineTracer tracer;
    std::vector<Shape> shapes;
    auto take = [&](int line) {
        Shape shape;
        while (tracer.takeShape(shape)) {
            shapes.push_back(std::move(shape));
            if (handedOut)
                handedOut->push_back(line);
        }
    };
    for (int y = 0; y < p.height; ++y) {
        std::vector<Run> runs;
        for (int x = 0; x < p.width; ++x)
            if (p.at(x, y) && !p.at(x - 1, y))
                runs.push_back(Run{x, x});
        for (Run& run : runs)
            while (p.at(run.end, y))
                ++run.end;
        tracer.addRow(y, runs);
        take(y);
    }
    tracer.finish();
    take(p.height);
    return shapes;
}

// "x,y x,y ..." per contour, contours joined by " / ".
QString text(const std::vector<Contour>& contours)
{
    QStringList parts;
    for (const Contour& contour : contours) {
        QStringList corners;
        for (const Corner& c : contour)
            corners << QStringLiteral("%1,%2").arg(c.x).arg(c.y);
        parts << corners.join(' ');
    }
    return parts.join(" / ");
}

std::vector<Contour> contoursOf(const Shape& shape)
{
    std::vector<Contour> all{shape.outline};
    all.insert(all.end(), shape.holes.begin(), shape.holes.end());
    return all;
}

// How often a contour winds round the centre of pixel (x, y): +1 inside an outline, -1
// inside a hole. A polygon's bridges have no width and do not count.
int winding(const Contour& c, int x, int y)
{
    int w = 0;
    for (std::size_t i = 0; i < c.size(); ++i) {
        const Corner a = c[i];
        const Corner b = c[(i + 1) % c.size()];
        if (a.x == b.x && a.x > x && std::min(a.y, b.y) <= y && std::max(a.y, b.y) > y)
            w += b.y < a.y ? 1 : -1;
    }
    return w;
}

int winding(const std::vector<Contour>& contours, int x, int y)
{
    int w = 0;
    for (const Contour& c : contours)
        w += winding(c, x, y);
    return w;
}

// Pixels connected to (x, y) among those `member` accepts, by edges or also by corners.
template <typename Member>
std::vector<char> group(const Picture& p, int x, int y, bool corners, Member member)
{
    std::vector<char> in(p.traced.size(), 0);
    std::vector<std::pair<int, int>> todo{{x, y}};
    in[static_cast<std::size_t>(y * p.width + x)] = 1;
    while (!todo.empty()) {
        const auto [cx, cy] = todo.back();
        todo.pop_back();
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int nx = cx + dx;
                const int ny = cy + dy;
                if ((dx == 0) == (dy == 0) && (!corners || (dx == 0 && dy == 0)))
                    continue;
                if (nx < 0 || ny < 0 || nx >= p.width || ny >= p.height || !member(nx, ny) ||
                    in[static_cast<std::size_t>(ny * p.width + nx)])
                    continue;
                in[static_cast<std::size_t>(ny * p.width + nx)] = 1;
                todo.push_back({nx, ny});
            }
    }
    return in;
}

// Contours on the grid, turning at every corner, none crossing or touching another's edge:
// every unit step of the grid is used once at most, and where a contour goes straight on
// nothing else comes. Two contours (or one twice) may pass a corner point, turning.
void checkContourLines(const Picture& p, const std::vector<Contour>& contours)
{
    const int w = p.width + 1;
    std::vector<int> steps(static_cast<std::size_t>(2 * w * (p.height + 1)), 0);
    std::vector<int> degree(static_cast<std::size_t>(w * (p.height + 1)), 0);
    std::vector<char> straight(degree.size(), 0);
    for (const Contour& c : contours) {
        QVERIFY(c.size() >= 4 && c.size() % 2 == 0);
        for (std::size_t i = 0; i < c.size(); ++i) {
            const Corner a = c[i];
            const Corner b = c[(i + 1) % c.size()];
            const Corner n = c[(i + 2) % c.size()];
            QVERIFY(b.x >= 0 && b.y >= 0 && b.x <= p.width && b.y <= p.height);
            QVERIFY((a.x == b.x) != (a.y == b.y));
            QVERIFY((a.x == b.x) != (b.x == n.x)); // turns at b
            const int dx = (b.x > a.x) - (b.x < a.x);
            const int dy = (b.y > a.y) - (b.y < a.y);
            for (Corner s = a; !(s == b); s = Corner{s.x + dx, s.y + dy}) {
                const Corner t{s.x + dx, s.y + dy};
                const int step = 2 * (std::min(s.y, t.y) * w + std::min(s.x, t.x)) + (dy != 0);
                QVERIFY(++steps[static_cast<std::size_t>(step)] == 1);
                ++degree[static_cast<std::size_t>(s.y * w + s.x)];
                ++degree[static_cast<std::size_t>(t.y * w + t.x)];
                if (!(t == b))
                    straight[static_cast<std::size_t>(t.y * w + t.x)] = 1;
            }
        }
    }
    for (std::size_t i = 0; i < degree.size(); ++i)
        QVERIFY(degree[i] % 2 == 0 && (!straight[i] || degree[i] == 2));
}

// A hole-free polygon: on the grid, never turning back, touching itself only along bridges
// (a segment walked both ways), whose ends are its only corners passed twice or where it goes
// straight on; no crossing.
void checkPolygonLines(const Contour& c)
{
    const std::size_t n = c.size();
    QVERIFY(n >= 4);
    std::map<std::pair<int, int>, int> passes;
    for (const Corner& v : c)
        ++passes[{v.x, v.y}];
    std::map<std::pair<int, int>, bool> bridgeEnds;
    auto edge = [&](std::size_t i) { return std::pair{c[i], c[(i + 1) % n]}; };
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j)
            if (edge(i).first == edge(j).second && edge(i).second == edge(j).first) {
                bridgeEnds[{edge(i).first.x, edge(i).first.y}] = true;
                bridgeEnds[{edge(i).second.x, edge(i).second.y}] = true;
            }
    auto between = [](int v, int a, int b) { return v > std::min(a, b) && v < std::max(a, b); };
    auto within = [](int v, int a, int b) { return v >= std::min(a, b) && v <= std::max(a, b); };
    for (std::size_t i = 0; i < n; ++i) {
        const auto [a, b] = edge(i);
        const Corner next = c[(i + 2) % n];
        QVERIFY((a.x == b.x) != (a.y == b.y));
        const bool straightOn = (a.x == b.x) == (b.x == next.x);
        if (straightOn) {
            QVERIFY((b.x - a.x) * (next.x - b.x) + (b.y - a.y) * (next.y - b.y) > 0);
            QVERIFY(bridgeEnds.count({b.x, b.y}));
        }
        if (passes[{b.x, b.y}] > 1)
            QVERIFY(bridgeEnds.count({b.x, b.y}));
        for (std::size_t j = i + 1; j < n; ++j) {
            const auto [p, q] = edge(j);
            const bool reversed = a == q && b == p;
            if ((a.y == b.y) == (p.y == q.y)) { // parallel: no overlap unless reversed
                const bool sameLine = a.y == b.y ? a.y == p.y : a.x == p.x;
                const int lo = a.y == b.y ? std::max(std::min(a.x, b.x), std::min(p.x, q.x))
                                          : std::max(std::min(a.y, b.y), std::min(p.y, q.y));
                const int hi = a.y == b.y ? std::min(std::max(a.x, b.x), std::max(p.x, q.x))
                                          : std::min(std::max(a.y, b.y), std::max(p.y, q.y));
                QVERIFY(!sameLine || hi <= lo || reversed);
                continue;
            }
            const auto [h0, h1] = a.y == b.y ? edge(i) : edge(j);
            const auto [v0, v1] = a.y == b.y ? edge(j) : edge(i);
            if (within(v0.x, h0.x, h1.x) && within(h0.y, v0.y, v1.y))
                QVERIFY(!between(v0.x, h0.x, h1.x) && !between(h0.y, v0.y, v1.y));
        }
    }
}

} // namespace

class TestOutline : public QObject
{
    Q_OBJECT

private slots:
    void contours_data();
    void contours();
    void rowsLeftOutAndTouchingRuns();
    void joined_data();
    void joined();
    void randomPictures_data();
    void randomPictures();
};

void TestOutline::contours_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("shapes"); // in the order handed out, joined by " ; "
    auto row = [](const char* name, const QStringList& rows, const QString& shapes) {
        QTest::newRow(name) << rows << shapes;
    };
    row("nothing", {"...", "..."}, "");
    row("one pixel", {"#"}, "0,0 0,1 1,1 1,0");
    row("last column", {"..#", "..#"}, "2,0 2,2 3,2 3,0");
    row("full picture", {"###", "###"}, "0,0 0,2 3,2 3,0");
    row("hole", {"###", "#.#", "###"}, "0,0 0,3 3,3 3,0 / 1,1 2,1 2,2 1,2");
    row("ring", {".####.", "##..##", "#....#", "##..##", ".####."},
        "1,0 1,1 0,1 0,4 1,4 1,5 5,5 5,4 6,4 6,1 5,1 5,0 / "
        "2,1 4,1 4,2 5,2 5,3 4,3 4,4 2,4 2,3 1,3 1,2 2,2");
    row("island in a hole comes first: its last row is higher",
        {"#####", "#...#", "#.#.#", "#...#", "#####"},
        "2,2 2,3 3,3 3,2 ; 0,0 0,5 5,5 5,0 / 1,1 4,1 4,4 1,4");
    row("pixels meeting at a corner are two shapes", {"#.", ".#"},
        "0,0 0,1 1,1 1,0 ; 1,1 1,2 2,2 2,1");
    row("the other diagonal", {".#", "#."}, "1,0 1,1 2,1 2,0 ; 0,1 0,2 1,2 1,1");
    row("ring closed at a corner: no hole, the outline passes the corner twice",
        {"###", "#.#", "##."}, "0,0 0,3 2,3 2,2 1,2 1,1 2,1 2,2 3,2 3,0");
    row("hole of two gaps meeting at a corner: one hole passing it twice",
        {"#####", "#.###", "##.##", "#####"}, "0,0 0,4 5,4 5,0 / 1,1 2,1 2,2 3,2 3,3 2,3 2,2 1,2");
    row("holes side by side", {"#####", "#.#.#", "#####"},
        "0,0 0,3 5,3 5,0 / 1,1 2,1 2,2 1,2 / 3,1 4,1 4,2 3,2");
    row("comb, teeth down", {"#####", "#.#.#"}, "0,0 0,2 1,2 1,1 2,1 2,2 3,2 3,1 4,1 4,2 5,2 5,0");
    row("comb, teeth up", {"#.#.#", "#####"}, "0,0 0,2 5,2 5,0 4,0 4,1 3,1 3,0 2,0 2,1 1,1 1,0");
    row("spiral", {"######", ".....#", "####.#", "#..#.#", "#....#", "######"},
        "0,0 0,1 5,1 5,5 1,5 1,3 3,3 3,4 4,4 4,2 0,2 0,6 6,6 6,0");
    row("shapes completed on one line: topmost first", {"..#", "#.#"},
        "2,0 2,2 3,2 3,0 ; 0,1 0,2 1,2 1,1");
}

void TestOutline::contours()
{
    QFETCH(QStringList, rows);
    QFETCH(QString, shapes);
    QStringList got;
    for (const Shape& shape : trace(picture(rows)))
        got << text(contoursOf(shape));
    QCOMPARE(got.join(" ; "), shapes);
}

void TestOutline::rowsLeftOutAndTouchingRuns()
{
    OutlineTracer tracer;
    Shape shape;
    tracer.addRow(2, {Run{0, 2}});
    QVERIFY(!tracer.takeShape(shape));
    // Rows 3 and 4 have no runs; touching, overlapping and empty runs.
    tracer.addRow(5, {Run{0, 1}, Run{1, 3}, Run{2, 3}, Run{4, 4}});
    QVERIFY(tracer.takeShape(shape));
    QCOMPARE(text(contoursOf(shape)), QString("0,2 0,3 2,3 2,2"));
    QVERIFY(!tracer.takeShape(shape));
    tracer.addRow(5, {Run{2, 3}}); // out of order: the next row
    tracer.finish();
    QVERIFY(tracer.takeShape(shape));
    QCOMPARE(text(contoursOf(shape)), QString("0,5 0,6 2,6 2,7 3,7 3,5"));
}

void TestOutline::joined_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("polygons"); // of the first shape, joined by " / "
    auto row = [](const char* name, const QStringList& rows, const QString& polygons) {
        QTest::newRow(name) << rows << polygons;
    };
    row("no hole", {"##"}, "0,0 0,1 2,1 2,0");
    row("hole: bridge from its top-left corner to the left", {"###", "#.#", "###"},
        "0,0 0,1 1,1 2,1 2,2 1,2 1,1 0,1 0,3 3,3 3,0");
    row("holes on one line hang on each other", {"#######", "#.#.#.#", "#######"},
        "0,0 0,1 1,1 2,1 3,1 4,1 5,1 6,1 6,2 5,2 5,1 4,1 4,2 3,2 3,1 2,1 2,2 1,2 1,1 0,1 "
        "0,3 7,3 7,0");
    row("hole under a hole", {"###", "#.#", "###", "#.#", "###"},
        "0,0 0,1 1,1 2,1 2,2 1,2 1,1 0,1 0,3 1,3 2,3 2,4 1,4 1,3 0,3 0,5 3,5 3,0");
    row("bridge ends on the side of another hole", {"#####", "#.###", "#.#.#", "#####"},
        "0,0 0,1 1,1 2,1 2,2 3,2 4,2 4,3 3,3 3,2 2,2 2,3 1,3 1,1 0,1 0,4 5,4 5,0");
    row("ring closed at a corner is cut along the corner's line", {"###", "#.#", "##."},
        "0,0 0,2 1,2 1,1 2,1 2,2 3,2 3,0 / 0,2 0,3 2,3 2,2");
    row("hole passing a corner twice: cut along the corner's line, no hole is left",
        {"#####", "#.###", "##.##", "#####"},
        "0,0 0,2 1,2 1,1 2,1 2,2 5,2 5,0 / 0,2 0,4 5,4 5,2 3,2 3,3 2,3 2,2");
}

void TestOutline::joined()
{
    QFETCH(QStringList, rows);
    QFETCH(QString, polygons);
    std::vector<Contour> got;
    HoleJoiner().join(trace(picture(rows)).front(), got);
    QCOMPARE(text(got), polygons);
}

void TestOutline::randomPictures_data()
{
    QTest::addColumn<int>("pictures");
    QTest::addColumn<int>("maxWidth");
    QTest::addColumn<int>("maxHeight");
    QTest::addColumn<int>("percentTraced");
    QTest::newRow("1-12 pixels, sparse") << 3000 << 12 << 12 << 30;
    QTest::newRow("1-12 pixels, half") << 3000 << 12 << 12 << 50;
    QTest::newRow("1-12 pixels, dense") << 3000 << 12 << 12 << 70;
    QTest::newRow("1-12 pixels, holes everywhere") << 3000 << 12 << 12 << 88;
    QTest::newRow("wide") << 400 << 60 << 4 << 60;
    QTest::newRow("tall") << 400 << 4 << 60 << 60;
    QTest::newRow("noise 40 x 40") << 40 << 40 << 40 << 60;
}

// Every picture: the contours fill exactly the traced pixels, each shape is one group of
// pixels joined by edges and each hole one group of untraced pixels joined by edges or
// corners; shapes come out at the line below their last row, in order. The hole-free polygons
// of each shape fill exactly its pixels, each once.
void TestOutline::randomPictures()
{
    QFETCH(int, pictures);
    QFETCH(int, maxWidth);
    QFETCH(int, maxHeight);
    QFETCH(int, percentTraced);
    std::mt19937 random(static_cast<unsigned>(pictures * 7919 + maxWidth * 31 + percentTraced));
    HoleJoiner joiner;
    for (int n = 0; n < pictures; ++n) {
        Picture p;
        p.width = 1 + static_cast<int>(random() % static_cast<unsigned>(maxWidth));
        p.height = 1 + static_cast<int>(random() % static_cast<unsigned>(maxHeight));
        for (int i = 0; i < p.width * p.height; ++i)
            p.traced.push_back(static_cast<int>(random() % 100) < percentTraced);
        std::vector<int> handedOut;
        const std::vector<Shape> shapes = trace(p, &handedOut);

        std::vector<Contour> all;
        std::vector<int> owner(p.traced.size(), -1);
        for (std::size_t k = 0; k < shapes.size(); ++k) {
            const Shape& shape = shapes[k];
            const std::vector<Contour> contours = contoursOf(shape);
            all.insert(all.end(), contours.begin(), contours.end());
            // Starts, order and the moment each shape came out.
            int bottom = 0;
            for (const Corner& c : shape.outline)
                bottom = std::max(bottom, c.y);
            QCOMPARE(handedOut[k], bottom);
            QCOMPARE(shape.outline[1].x, shape.outline[0].x);
            for (const Contour& c : contours) {
                QVERIFY(std::all_of(c.begin(), c.end(), [&](const Corner& v) {
                    return v.y > c[0].y || (v.y == c[0].y && v.x >= c[0].x);
                }));
            }
            if (k > 0) {
                const Corner a = shapes[k - 1].outline[0];
                const Corner b = shape.outline[0];
                QVERIFY(handedOut[k - 1] < handedOut[k] || a.y < b.y || (a.y == b.y && a.x < b.x));
            }
            // The shape's pixels: one whole group joined by edges.
            int first = -1;
            for (int i = 0; i < int(owner.size()); ++i) {
                const int w = winding(contours, i % p.width, i / p.width);
                QVERIFY(w == 0 || w == 1);
                if (w == 1) {
                    QCOMPARE(owner[static_cast<std::size_t>(i)], -1);
                    owner[static_cast<std::size_t>(i)] = int(k);
                    first = first < 0 ? i : first;
                }
            }
            QVERIFY(first >= 0 && p.traced[static_cast<std::size_t>(first)]);
            const std::vector<char> joinedByEdges =
                group(p, first % p.width, first / p.width, false,
                      [&p](int x, int y) { return p.at(x, y); });
            for (std::size_t i = 0; i < owner.size(); ++i)
                QCOMPARE(joinedByEdges[i] != 0, owner[i] == int(k));
            // Each hole: one whole group of untraced pixels joined by edges or corners.
            for (std::size_t h = 0; h < shape.holes.size(); ++h) {
                const Contour& hole = shape.holes[h];
                QCOMPARE(hole[1].y, hole[0].y);
                if (h > 0) {
                    const Corner a = shape.holes[h - 1][0];
                    QVERIFY(a.y < hole[0].y || (a.y == hole[0].y && a.x < hole[0].x));
                }
                const std::vector<char> gap = group(p, hole[0].x, hole[0].y, true,
                                                    [&p](int x, int y) { return !p.at(x, y); });
                for (int i = 0; i < int(owner.size()); ++i) {
                    const bool inside = winding(hole, i % p.width, i / p.width) == -1;
                    QCOMPARE(gap[static_cast<std::size_t>(i)] != 0,
                             inside && !p.traced[static_cast<std::size_t>(i)]);
                }
            }
            // Hole-free polygons: each fills its part once, together exactly the shape.
            std::vector<Contour> polygons;
            joiner.join(shape, polygons);
            QVERIFY(!polygons.empty());
            for (const Contour& polygon : polygons) {
                checkPolygonLines(polygon);
                if (QTest::currentTestFailed())
                    QFAIL(qPrintable("polygon " + text({polygon}) + " of " + text(contours)));
            }
            for (int i = 0; i < int(owner.size()); ++i) {
                int sum = 0;
                for (const Contour& polygon : polygons) {
                    const int w = winding(polygon, i % p.width, i / p.width);
                    QVERIFY(w == 0 || w == 1);
                    sum += w;
                }
                QCOMPARE(sum, owner[static_cast<std::size_t>(i)] == int(k) ? 1 : 0);
            }
        }
        for (std::size_t i = 0; i < owner.size(); ++i)
            QCOMPARE(owner[i] >= 0, p.traced[i] != 0);
        checkContourLines(p, all);
        if (QTest::currentTestFailed())
            QFAIL(qPrintable("contours " + text(all)));
    }
}

QTEST_GUILESS_MAIN(TestOutline)
#include "tst_outline.moc"
