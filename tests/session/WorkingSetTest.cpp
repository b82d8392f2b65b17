#include "session/WorkingSet.h"

#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <vector>

namespace {

// Pages of a read-only file mapping that nobody else maps: once read they are
// resident; released, they leave memory, and reading them again still works.
TEST(WorkingSet, ReadOnlyFilePagesGoAndComeBack) {
    const long page = sysconf(_SC_PAGESIZE);
    constexpr int pages = 64;
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    std::vector<char> bytes(std::size_t(page * pages));
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i % 251);
    ASSERT_EQ(file.write(bytes.data(), qint64(bytes.size())), qint64(bytes.size()));
    ASSERT_TRUE(file.flush());
    fdatasync(int(file.handle()));

    auto* mapped = static_cast<const char*>(
        mmap(nullptr, bytes.size(), PROT_READ, MAP_PRIVATE, int(file.handle()), 0));
    ASSERT_NE(mapped, MAP_FAILED);
    long sum = 0;
    for (int p = 0; p < pages; ++p)
        sum += mapped[p * page];
    auto residentPages = [&] {
        std::vector<unsigned char> resident(pages);
        mincore(const_cast<char*>(mapped), bytes.size(), resident.data());
        int count = 0;
        for (unsigned char r : resident)
            count += r & 1;
        return count;
    };
    ASSERT_EQ(residentPages(), pages);

    WorkingSet::releaseUnusedCode();
    if (residentPages() == pages)
        GTEST_SKIP() << "this kernel keeps the pages (no MADV_PAGEOUT)";
    EXPECT_LT(residentPages(), pages / 2);

    long again = 0;
    for (int p = 0; p < pages; ++p)
        again += mapped[p * page];
    EXPECT_EQ(again, sum) << "released pages read back unchanged";
    munmap(const_cast<char*>(mapped), bytes.size());
}

} // namespace
