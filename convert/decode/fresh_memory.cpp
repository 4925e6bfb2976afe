#include "fresh_memory.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QtGlobal>

#include <cstdlib>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) && !defined(__SANITIZE_ADDRESS__)
#define __SANITIZE_ADDRESS__ 1
#endif
#endif

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#define QUILLON_HAS_M_PERTURB 1
#endif

#ifdef QUILLON_HAS_M_PERTURB
namespace {

// A setting of glibc's malloc, from GLIBC_TUNABLES (glibc.malloc.NAME=VALUE), or `otherwise`.
int tunable(const char *name, int otherwise)
{
    const QRegularExpressionMatch match
        = QRegularExpression(QStringLiteral("glibc\\.malloc\\.%1=(\\d+)").arg(QLatin1String(name)))
              .match(qEnvironmentVariable("GLIBC_TUNABLES"));
    return match.hasMatch() ? match.captured(1).toInt() : otherwise;
}

// The fill the process was started with: MALLOC_PERTURB_, or glibc.malloc.perturb in
// GLIBC_TUNABLES, which wins.
int startingFill()
{
    static const int fill = tunable("perturb", qEnvironmentVariableIntValue("MALLOC_PERTURB_") & 0xff) & 0xff;
    return fill;
}

// glibc keeps up to 7 freed blocks of each size up to 1032 bytes for the thread that freed
// them, and hands them out again without filling them; GLIBC_TUNABLES may change both.
constexpr int cachedSizeStep = 16;
int cachedBlocksPerSize()
{
    static const int count = qBound(0, tunable("tcache_count", 7), 1024);
    return count;
}
int largestCachedSize()
{
    static const int size = qBound(0, tunable("tcache_max", 1032), 4096);
    return size;
}

} // namespace
#endif

namespace {

std::mutex &fillLock()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

FreshMemoryFill::FreshMemoryFill([[maybe_unused]] int byte)
    : m_lock(fillLock())
{
#ifdef QUILLON_HAS_M_PERTURB
    mallopt(M_PERTURB, byte);
    // Taken out of this thread's cache, they leave it empty: every block the decoding takes then
    // comes from glibc's bins, filled.
    m_cachedBlocks.reserve(size_t(largestCachedSize() / cachedSizeStep + 1) * size_t(cachedBlocksPerSize()));
    for (int size = cachedSizeStep; size <= largestCachedSize(); size += cachedSizeStep) {
        for (int i = 0; i < cachedBlocksPerSize(); ++i)
            m_cachedBlocks.push_back(std::malloc(size_t(size)));
    }
#endif
}

FreshMemoryFill::~FreshMemoryFill()
{
    for (void *block : m_cachedBlocks)
        std::free(block);
#ifdef QUILLON_HAS_M_PERTURB
    mallopt(M_PERTURB, startingFill());
#endif
}

bool FreshMemoryFill::available()
{
#ifdef QUILLON_HAS_M_PERTURB
    return true;
#else
    return false;
#endif
}

#ifdef QUILLON_HAS_M_PERTURB
namespace {

// The fill of every block handed out, or -1 for none.
int allocationFill = -1;

// Blocks of this size or more are asked to the system in pages of 2 MiB where it has them, as
// glibc.malloc.hugetlb=1 has them: a picture's first writes then fault once a page.
constexpr size_t largeBlock = size_t(2) << 20;

void fillBlock(void *block, size_t from = 0)
{
    if (allocationFill < 0 || !block)
        return;
    const size_t size = malloc_usable_size(block);
    if (size >= largeBlock) {
        const quintptr page = quintptr(::sysconf(_SC_PAGESIZE));
        const quintptr start = (quintptr(block) + page - 1) & ~(page - 1);
        const quintptr end = (quintptr(block) + size) & ~(page - 1);
        if (end > start)
            ::madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
    }
    if (size > from)
        std::memset(static_cast<char *>(block) + from, allocationFill, size - from);
}

} // namespace

// glibc's own allocator, under the names it keeps for programs that wrap it.
extern "C" {
void *__libc_malloc(size_t size);
void *__libc_realloc(void *block, size_t size);
void *__libc_memalign(size_t alignment, size_t size);
void *__libc_valloc(size_t size);
void *__libc_pvalloc(size_t size);

// These stand in for the C library's: the program's own are found first, by every library.
void *malloc(size_t size) __THROW
{
    void *block = __libc_malloc(size);
    fillBlock(block);
    return block;
}

void *realloc(void *block, size_t size) __THROW
{
    const size_t kept = block && allocationFill >= 0 ? malloc_usable_size(block) : 0;
    void *grown = __libc_realloc(block, size);
    fillBlock(grown, kept);
    return grown;
}

void *memalign(size_t alignment, size_t size) __THROW
{
    void *block = __libc_memalign(alignment, size);
    fillBlock(block);
    return block;
}

void *aligned_alloc(size_t alignment, size_t size) __THROW
{
    if (alignment == 0 || (alignment & (alignment - 1)) != 0) {
        errno = EINVAL;
        return nullptr;
    }
    return memalign(alignment, size);
}

int posix_memalign(void **block, size_t alignment, size_t size) __THROW
{
    if (alignment % sizeof(void *) != 0 || (alignment & (alignment - 1)) != 0 || alignment == 0)
        return EINVAL;
    void *made = memalign(alignment, size);
    if (!made && size != 0)
        return ENOMEM;
    *block = made;
    return 0;
}

void *valloc(size_t size) __THROW
{
    void *block = __libc_valloc(size);
    fillBlock(block);
    return block;
}

void *pvalloc(size_t size) __THROW
{
    void *block = __libc_pvalloc(size);
    fillBlock(block);
    return block;
}
}
#endif

bool fillAllocationsFromNowOn([[maybe_unused]] int byte)
{
#ifdef QUILLON_HAS_M_PERTURB
    allocationFill = byte & 0xff;
    return true;
#else
    return false;
#endif
}
