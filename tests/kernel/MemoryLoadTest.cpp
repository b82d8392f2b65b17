#include "kernel/MemoryLoad.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

QByteArray fixture(const char* name) {
    return readFileBytes(QStringLiteral(QUORVEL_FIXTURES "/meminfo/") + QLatin1String(name));
}

TEST(MemoryLoad, SharesFromMeminfo) {
    const struct {
        QByteArray text;
        float used, cache;
    } cases[] = {
        {fixture("half-used"), 0.5f, 0.25f},
        // Before MemAvailable: free + buffers + cache stand in for it.
        {fixture("no-available"), 0.5f, 0.25f},
        // Cache the kernel counts as available stacks only up to the total.
        {fixture("cache-overlaps"), 0.9f, 0.1f},
        {"MemTotal: 100 kB\nMemAvailable: 0 kB\n", 1.0f, 0.0f},
        {"MemTotal:100 kB\nMemAvailable:25 kB", 0.75f, 0.0f}, // no blanks, no last line end
    };
    for (const auto& c : cases) {
        const auto use = memoryUseOf(c.text);
        ASSERT_TRUE(use) << c.text.constData();
        EXPECT_NEAR(use->used, c.used, 1e-6) << c.text.constData();
        EXPECT_NEAR(use->cache, c.cache, 1e-6) << c.text.constData();
    }
    for (const char* broken :
         {"", "MemFree: 5 kB\n", "MemTotal: 0 kB\n", "MemTotal: lots\n", "XMemTotal: 100 kB\n",
          "MemAvailable: 5 kB\nMemTotal"}) // cut short after the name
        EXPECT_FALSE(memoryUseOf(QByteArray(broken))) << broken;
}

} // namespace
