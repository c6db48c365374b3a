// The memory pictures converted side by side share: a claim is granted as soon as what it asks
// is free, and one as large as the whole budget, or larger, is granted when nothing else is
// held - never a wait that cannot end.
#include "cli/MemoryBudget.h"

#include <QTest>
#include <chrono>
#include <future>
#include <optional>

using namespace kelviq;

class TestMemoryBudget : public QObject
{
    Q_OBJECT

private slots:
    void claims_data();
    void claims();
};

void TestMemoryBudget::claims_data()
{
    QTest::addColumn<qint64>("held"); // by another picture while the claim is made
    QTest::addColumn<qint64>("wanted");
    QTest::addColumn<bool>("atOnce");
    QTest::newRow("nothing") << qint64(0) << qint64(0) << true;
    QTest::newRow("what is free") << qint64(40) << qint64(60) << true;
    QTest::newRow("the whole budget") << qint64(0) << qint64(100) << true;
    QTest::newRow("more than the whole budget") << qint64(0) << qint64(101) << true;
    QTest::newRow("far more than the whole budget") << qint64(0) << (qint64(1) << 62) << true;
    QTest::newRow("more than is free") << qint64(40) << qint64(61) << false;
    QTest::newRow("more than the budget, while some is held") << qint64(1) << qint64(1000) << false;
}

void TestMemoryBudget::claims()
{
    QFETCH(qint64, held);
    QFETCH(qint64, wanted);
    QFETCH(bool, atOnce);
    MemoryBudget budget(100);
    std::optional<MemoryBudget::Claim> other;
    if (held > 0)
        other.emplace(budget.claim(held));
    std::future<MemoryBudget::Claim> claim =
        std::async(std::launch::async, [&] { return budget.claim(wanted); });
    if (atOnce) {
        QVERIFY(claim.wait_for(std::chrono::seconds(20)) == std::future_status::ready);
    } else {
        // Granted once the other picture gives its memory back.
        other.reset();
        QVERIFY(claim.wait_for(std::chrono::seconds(20)) == std::future_status::ready);
    }
    claim.get();
    other.reset();
    // Everything given back: the whole budget is free again at once.
    QVERIFY(std::async(std::launch::async, [&] {
                return budget.claim(100);
            }).wait_for(std::chrono::seconds(20)) == std::future_status::ready);
}

QTEST_GUILESS_MAIN(TestMemoryBudget)
#include "tst_memorybudget.moc"
