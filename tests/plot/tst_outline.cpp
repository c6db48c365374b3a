// Filled outlines: the contours the tracer builds from runs and the hole-free polygons made
// from them, against hand-made pictures and, filled again at the pixel centres, against many
// random ones.
#include "plot/HoleJoiner.h"
#include "plot/OutlineTracer.h"

#include <QTest>
#include <algorithm>
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

// Lines on the grid that never cross. Contours turn at every corner and use each unit of the
// grid once; two may pass one point, both turning there. A hole-free polygon (`bridged`) may
// walk a unit both ways, a bridge; only a bridge's ends may be passed twice or be corners on a
// straight stretch. Nothing else comes near a point inside an edge.
void checkLines(const Picture& p, const std::vector<Contour>& lines, bool bridged)
{
    const int w = p.width + 1;
    const std::size_t points = static_cast<std::size_t>(w * (p.height + 1));
    std::vector<int> uses(2 * points, 0), sense(2 * points, 0), passes(points, 0),
        inside(points, 0);
    std::vector<char> straightCorner(points, 0);
    auto at = [w](Corner c) { return static_cast<std::size_t>(c.y * w + c.x); };
    auto step = [&at](Corner s, Corner t) {
        return 2 * at(Corner{std::min(s.x, t.x), std::min(s.y, t.y)}) + (s.x == t.x);
    };
    for (const Contour& c : lines) {
        QVERIFY(c.size() >= 4);
        for (std::size_t i = 0; i < c.size(); ++i) {
            const Corner a = c[i];
            const Corner b = c[(i + 1) % c.size()];
            const Corner n = c[(i + 2) % c.size()];
            QVERIFY(b.x >= 0 && b.y >= 0 && b.x <= p.width && b.y <= p.height);
            QVERIFY((a.x == b.x) != (a.y == b.y));
            const int dx = (b.x > a.x) - (b.x < a.x);
            const int dy = (b.y > a.y) - (b.y < a.y);
            if ((a.x == b.x) == (b.x == n.x)) { // no turn at b: on, never back
                QVERIFY(bridged && dx * (n.x - b.x) + dy * (n.y - b.y) > 0);
                straightCorner[at(b)] = 1;
            }
            ++passes[at(b)];
            for (Corner s = a; !(s == b); s = Corner{s.x + dx, s.y + dy}) {
                const Corner t{s.x + dx, s.y + dy};
                ++uses[step(s, t)];
                sense[step(s, t)] += dx + dy;
                if (!(t == b))
                    ++inside[at(t)];
            }
        }
    }
    for (std::size_t i = 0; i < uses.size(); ++i)
        QVERIFY(uses[i] <= 1 || (bridged && uses[i] == 2 && sense[i] == 0));
    for (int y = 0; y <= p.height; ++y)
        for (int x = 0; x <= p.width; ++x) {
            bool bridgeEnd = false;
            for (Corner n :
                 {Corner{x - 1, y}, Corner{x + 1, y}, Corner{x, y - 1}, Corner{x, y + 1}})
                if (n.x >= 0 && n.y >= 0 && n.x <= p.width && n.y <= p.height)
                    bridgeEnd = bridgeEnd || uses[step(Corner{x, y}, n)] == 2;
            const std::size_t i = at(Corner{x, y});
            QVERIFY(inside[i] == 0 || (passes[i] == 0 && (inside[i] == 1 || bridgeEnd)));
            QVERIFY(!bridged || bridgeEnd || (passes[i] <= 1 && !straightCorner[i]));
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
            auto before = [](Corner a, Corner b) { return a.y < b.y || (a.y == b.y && a.x < b.x); };
            QCOMPARE(handedOut[k], std::max_element(shape.outline.begin(), shape.outline.end(),
                                                    [](Corner a, Corner b) { return a.y < b.y; })
                                       ->y);
            QCOMPARE(shape.outline[1].x, shape.outline[0].x);
            for (const Contour& c : contours)
                QVERIFY(std::min_element(c.begin(), c.end(), before) == c.begin());
            QVERIFY(k == 0 || handedOut[k - 1] < handedOut[k] ||
                    before(shapes[k - 1].outline[0], shape.outline[0]));
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
                QVERIFY(h == 0 || before(shape.holes[h - 1][0], hole[0]));
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
            for (const Contour& polygon : polygons) {
                checkLines(p, {polygon}, true);
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
        checkLines(p, all, false);
        if (QTest::currentTestFailed())
            QFAIL(qPrintable("contours " + text(all)));
    }
}

QTEST_GUILESS_MAIN(TestOutline)
#include "tst_outline.moc"
